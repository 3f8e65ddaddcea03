// The command string: tokens, bracket escapes, option groups and the left-to-right walk that
// turns a command into archive opens, output directories and selections.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "core/job_options.h"
#include "crypto/password_buffer.h"
#include "varno_results.h"

// Every token buffer of the command driver holds this many bytes with the terminator.
constexpr size_t kTokenSize = 1200;
// A list file is read with this many zero bytes behind its data.
constexpr uint32_t kListFileZeroTail = 256;

// Reads one token at *cursor into dest (size bytes, always terminated, longer tokens cut).
// Returns the token's first byte in the string (a quote for a quoted token), or 0 when only
// blanks remained; then dest is left untouched. Advances *cursor past the token.
int read_token(const char** cursor, char* dest, size_t size);

// Drops each backslash that directly precedes '[' or ']', in place.
void remove_bracket_escapes(char* text);

enum class OutputDirResult { Converted, ConvertedEmpty, Failed };

// What the walk asks of its surroundings. The Win32 command driver opens the archive, converts
// paths and runs the job driver; tests record the calls. Each method has a neutral default.
class CommandHost {
public:
    // result: the job's result code, which the host's actions set and the walk reads back.
    explicit CommandHost(int32_t* result) : result_(result) {}
    int32_t& result() { return *result_; }

    // The first positional token. On success returns the archive's own option words, which the
    // host has initialised from `options`; on failure returns null and result() says why.
    virtual JobOptions* open_archive(const char* name, const JobOptions& options);
    virtual bool output_dir_is_empty();
    // Converts token into the output directory; a failed conversion leaves the directory empty.
    virtual OutputDirResult set_output_dir(const char* token);
    // Runs the job driver for one name, or for all entries when name is null.
    virtual void extract(const char* name);
    virtual void set_progress(uint32_t total, uint32_t done);
    // Reads a list file and walks its names under options (see walk_list_tokens); false when
    // unreadable.
    virtual bool run_list_file(const char* name, const JobOptions& options);
    virtual void write_banner();
    virtual void write_exclude_refused();
    // Replaces the process-wide password (at most kPasswordSize - 1 bytes).
    virtual void set_password(const char* password);

private:
    int32_t* result_;
};

// Walks a whole command string as the command driver does, up to and including the final
// extract-all; returns the result. A null or empty command returns 0 and calls nothing.
int32_t walk_command(const char* command, int32_t mode, CommandHost& host);

// Walks the names of a list file: data holds size bytes followed by at least one zero byte.
// options are the archive's (bracket escapes, the test command).
void walk_list_tokens(const char* data, uint32_t size, const JobOptions& options, CommandHost& host);

// Called after each selection of a walk: true when the walk goes on (see ends_job). While
// testing, the first failure is kept in *firstFailure, the walk's result at its end, and the
// result is cleared for the next selection.
bool keep_walking(CommandHost& host, const JobOptions& options, int32_t* firstFailure);
