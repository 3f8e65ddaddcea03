// The option words of a command and the defaults each export starts from.
#pragma once
#include <stdint.h>

#include "varno_results.h"

struct JobOptions {
    int32_t junkPaths;      // 1: drop the directory part of entry names
    int32_t overwriteMode;  // 0 ask, 1 skip, 2 overwrite, 3 overwrite when newer, 4 back up, then write
    int32_t messageMask;    // bit 0 errors, 1 overwrite/skip notices, 2 extracted files, 3 thread diagnostics
    int32_t syntaxMode;     // command style; 2 is the UnZip style of the listing letters
    int32_t skipExisting;   // 1: an existing target is always skipped
    int32_t threadCount;    // upper bound of worker threads, 0 turns them off
    int32_t bracketEscapes; // 1: \[ and \] in path arguments stand for [ and ]
    int32_t safePaths;      // 1: dangerous bytes of entry names are neutralised
    int32_t outputMode;     // 0 files; otherwise memory output flags 2, 4, 8, 16
    int32_t progressWindow; // 1: the progress window may be shown
    int32_t excludeRefused; // 1: option x is answered with an error
    int32_t listMode;       // 0 extract; 1 to 7 list in that layout
    int32_t keepSlashes;    // 1: entry names keep '/'
    int32_t verifyMode;     // kVerifyOff, kVerifyExtracted or kVerifyTest
};

// What verifyMode asks for: each entry's bytes are checked against the CRC-32 and the size of
// its central header, while extracting it or, for the test command, instead of writing it.
enum : int32_t {
    kVerifyOff = 0,
    kVerifyExtracted = 1,
    kVerifyTest = 2,
};

// True when the command writes files: not into memory, and not the test command, which keeps
// nothing. Only such a command has an output directory and a volume to probe.
inline bool writes_files(const JobOptions& options)
{
    return options.outputMode == 0 && options.verifyMode != kVerifyTest;
}

// True when a result ends the command (the codes above 0x8011).
inline bool is_fatal_result(int32_t result) { return result > 0x8011; }

// True when an entry's or a selection's result ends the job. The test command goes on past
// entries that fail their test, so that every entry is tested; only a cancellation stops it.
inline bool ends_job(int32_t result, const JobOptions& options)
{
    return options.verifyMode == kVerifyTest ? result == VARNO_ERROR_CANCELLED : is_fatal_result(result);
}

// Mode words the command exports hand to the command driver.
enum : int32_t {
    kModeVarno = 0,
    kModeVarnoParamMemory = 0x10,
    kModeExtractMem = 14,
    kModeUnZip = 0x200,
    kModeKeepSlashesOnOpen = INT32_MIN, // bit 31: honoured by the archive open only
};

// The defaults of the Varno family (also those of archive handles).
void set_default_options(JobOptions* options);

// The defaults of run_command: the Varno defaults changed by the bits of the mode word.
void set_options_from_mode(JobOptions* options, int32_t mode);
