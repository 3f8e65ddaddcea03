#include "api/command_walk.h"

#include <string.h>

#include "varno_results.h"

namespace {

inline bool is_blank(char c) { return c >= 0x01 && c <= 0x20; }
// A byte that ends an unquoted token or an option group: blanks and the terminator.
inline bool ends_word(char c) { return static_cast<unsigned char>(c) <= 0x20; }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// True when the option group at p is exactly word.
bool is_option_word(const char* p, const char* word)
{
    const size_t n = strlen(word);
    return strncmp(p, word, n) == 0 && ends_word(p[n]);
}

// Appends bytes to a bounded token; bytes beyond the room are consumed but dropped.
struct TokenWriter {
    char* out;
    size_t room;
    size_t used = 0;
    void put(char c)
    {
        if (used < room)
            out[used++] = c;
    }
    void finish() { out[used] = 0; }
};

}  // namespace

int read_token(const char** cursor, char* dest, size_t size)
{
    const char* p = *cursor;
    while (is_blank(*p))
        ++p;
    if (*p == 0 || size == 0) {
        *cursor = p;
        return 0;
    }
    const int first = static_cast<unsigned char>(*p);
    TokenWriter token{dest, size - 1};
    if (*p == '"') {
        // Quoted: up to the next lone quote; "" gives one quote, a CR LF or LF CR pair its first byte.
        ++p;
        while (*p) {
            if (*p == '"') {
                if (p[1] != '"') {
                    ++p;
                    break;
                }
                token.put('"');
                p += 2;
            } else if ((p[0] == '\r' && p[1] == '\n') || (p[0] == '\n' && p[1] == '\r')) {
                token.put(p[0]);
                p += 2;
            } else {
                token.put(*p++);
            }
        }
    } else {
        // Unquoted: up to the first blank, which is consumed. A quote opens a stretch that may
        // hold blanks; there the quotes stay in the token and "" does not close it.
        bool quoted = false;
        while (*p) {
            if (!quoted && is_blank(*p)) {
                ++p;
                break;
            }
            if (*p == '"') {
                if (quoted && p[1] == '"') {
                    token.put('"');
                    token.put('"');
                    p += 2;
                    continue;
                }
                quoted = !quoted;
            }
            token.put(*p++);
        }
    }
    token.finish();
    *cursor = p;
    return first;
}

void remove_bracket_escapes(char* text)
{
    char* out = text;
    for (const char* in = text; *in; ++in) {
        if (in[0] == '\\' && (in[1] == '[' || in[1] == ']'))
            continue;
        *out++ = *in;
    }
    *out = 0;
}

JobOptions* CommandHost::open_archive(const char*, const JobOptions&) { return nullptr; }
bool CommandHost::output_dir_is_empty() { return true; }
OutputDirResult CommandHost::set_output_dir(const char*) { return OutputDirResult::Failed; }
void CommandHost::extract(const char*) {}
void CommandHost::set_progress(uint32_t, uint32_t) {}
bool CommandHost::run_list_file(const char*, const JobOptions&) { return false; }
void CommandHost::write_banner() {}
void CommandHost::write_exclude_refused() {}
void CommandHost::set_password(const char*) {}

namespace {

class CommandWalk {
public:
    CommandWalk(const char* command, int32_t mode, CommandHost& host)
        : command_(command), length_(static_cast<uint32_t>(strlen(command))), host_(host)
    {
        set_options_from_mode(&driverOptions_, mode);
    }

    int32_t run();

private:
    const char* option_group(const char* p);
    const char* double_dash_option(const char* p);
    const char* read_directory_option(const char* p);
    const char* read_password_option(const char* p);
    // Returns false when the walk must end.
    bool positional(const char** p);

    const char* command_;
    uint32_t length_;
    CommandHost& host_;
    JobOptions driverOptions_;
    JobOptions* options_ = &driverOptions_;  // the archive's copy once it is open
    bool archiveOpen_ = false;
    bool extractAllPending_ = true;
    int32_t firstFailure_ = 0;  // the test command's first failed selection
    char token_[kTokenSize];
};

int32_t CommandWalk::run()
{
    const char* p = command_;
    while (*p) {
        if (is_blank(*p)) {
            ++p;
        } else if (*p == '-') {
            p = option_group(p + 1);
            if (is_fatal_result(host_.result()))
                break;
        } else if (!positional(&p)) {
            if (!archiveOpen_)
                return host_.result();  // the archive could not be opened
            break;
        }
    }
    if (archiveOpen_ && extractAllPending_ && host_.result() < 0x8011)
        host_.extract(nullptr);
    if (host_.result() == 0)
        host_.result() = firstFailure_;
    return host_.result();
}

const char* CommandWalk::option_group(const char* p)
{
    if (*p == '-')
        return double_dash_option(p + 1);
    JobOptions& o = *options_;
    while (!ends_word(*p)) {
        const char letter = *p++;
        switch (letter) {
        case 'B': o.overwriteMode = 4; break;
        case 'c': o.outputMode = 2; break;
        case 'd': return read_directory_option(p);
        case 'f': o.overwriteMode = 3; o.skipExisting = 1; break;
        case 'h':
            host_.write_banner();
            host_.result() = VARNO_ERROR_CANCELLED;
            break;
        case 'i': o.progressWindow = 1; break;
        case 'j': o.junkPaths = 1; break;
        case 'l':
            o.listMode = o.syntaxMode == 2 ? 1 : 4;
            if (*p == 'j') {
                ++p;
                o.listMode = 7;
            } else if (*p == 'v') {
                ++p;
                o.listMode = o.syntaxMode == 2 ? 2 : 5;
            }
            break;
        case 'n': o.overwriteMode = 1; break;
        case 'o': o.overwriteMode = 2; break;
        case 'P': return read_password_option(p);
        case 'p': o.outputMode = 6; break;
        case 'Q': o.overwriteMode = 0; break;
        case 'q':
            o.messageMask = 1;
            for (;;) {
                if (*p == 'q') {
                    o.messageMask = 0;
                    ++p;
                } else if (*p == 'r') {
                    if (p[1] == '0' || p[1] == '1') {
                        o.bracketEscapes = p[1] - '0';
                        p += 2;
                    } else {
                        ++p;
                    }
                } else if (*p == 'c' || *p == 'd' || *p == 'e' || *p == 's' || *p == 'U') {
                    ++p;
                } else {
                    break;
                }
            }
            break;
        case 'R': {
            // Blanks are skipped even past the end of the group; the digits saturate at 8.
            while (is_blank(*p))
                ++p;
            int32_t count = 0;
            while (is_digit(*p)) {
                count = count * 10 + (*p - '0');
                if (count > 8)
                    count = 8;
                ++p;
            }
            o.threadCount = count;
            break;
        }
        case 'u': o.overwriteMode = 3; break;
        case 'v': o.listMode = o.syntaxMode == 2 ? 3 : 5; break;
        case 'x':
            if (o.excludeRefused) {
                host_.write_exclude_refused();
                host_.result() = VARNO_ERROR_EXCLUDE_REFUSED;
            }
            break;
        case 'Z': o.listMode = 6; break;
        case ':': o.safePaths = 0; break;
        default: break;  // other bytes have no effect
        }
    }
    return p;
}

const char* CommandWalk::double_dash_option(const char* p)
{
    JobOptions& o = *options_;
    switch (*p) {
    case ':': o.safePaths = 1; break;
    case 'c':
    case 'p': o.outputMode = 0; break;
    case 'i': o.progressWindow = 0; break;
    case 'j': o.junkPaths = 0; break;
    case 'q': o.messageMask = 15; break;
    // Whole words only, so that other forms beginning with these letters keep having no effect.
    case 't':
        if (is_option_word(p, "test")) {
            o.verifyMode = kVerifyTest;
            o.listMode = 0;
        }
        break;
    case 'v':
        if (is_option_word(p, "verify"))
            o.verifyMode = kVerifyExtracted;
        break;
    case 'Z': {
        const char* q = p + 1;
        if (*q == ':' || *q == '=')
            ++q;
        switch (*q) {
        case 'z': o.syntaxMode = 0; o.bracketEscapes = 0; o.excludeRefused = 0; break;
        case 'Z': o.syntaxMode = 0; o.bracketEscapes = 0; o.excludeRefused = 1; break;
        case 'u': o.syntaxMode = 2; o.bracketEscapes = 1; o.excludeRefused = 0; break;
        case 'i': o.syntaxMode = 4; o.bracketEscapes = 1; o.excludeRefused = 1; break;
        default: break;
        }
        break;
    }
    default: break;
    }
    while (!ends_word(*p))
        ++p;
    return p;
}

const char* CommandWalk::read_directory_option(const char* p)
{
    if (read_token(&p, token_, sizeof token_) != 0) {
        if (options_->bracketEscapes)
            remove_bracket_escapes(token_);
        host_.set_output_dir(token_);
    }
    return p;
}

const char* CommandWalk::read_password_option(const char* p)
{
    char password[kPasswordSize];
    if (read_token(&p, password, sizeof password) != 0)
        host_.set_password(password);
    return p;
}

bool CommandWalk::positional(const char** p)
{
    if (!archiveOpen_) {
        read_token(p, token_, sizeof token_);
        JobOptions* archiveOptions = host_.open_archive(token_, *options_);
        if (!archiveOptions)
            return false;
        options_ = archiveOptions;
        archiveOpen_ = true;
        host_.result() = 0;
        return true;
    }
    read_token(p, token_, sizeof token_);
    if (options_->bracketEscapes)
        remove_bracket_escapes(token_);
    // The output directory comes first, but a list file is never taken for one; memory output
    // and the test command have none.
    if (writes_files(*options_) && host_.output_dir_is_empty() && token_[0] != '@')
        return host_.set_output_dir(token_) != OutputDirResult::ConvertedEmpty;
    // After * and @ the walk goes on whatever the result, unless a test was cancelled.
    const bool testing = options_->verifyMode == kVerifyTest;
    switch (token_[0]) {
    case 0:
        return false;
    case '*':
        extractAllPending_ = false;
        host_.extract(nullptr);
        return keep_walking(host_, *options_, &firstFailure_) || !testing;
    case '@':
        extractAllPending_ = false;
        if (!host_.run_list_file(token_ + 1, *options_)) {
            host_.result() = VARNO_ERROR_METHOD;
            return false;
        }
        return keep_walking(host_, *options_, &firstFailure_) || !testing;
    default:
        extractAllPending_ = false;
        host_.set_progress(length_, static_cast<uint32_t>(*p - command_));
        host_.extract(token_);
        return keep_walking(host_, *options_, &firstFailure_);
    }
}

}  // namespace

int32_t walk_command(const char* command, int32_t mode, CommandHost& host)
{
    if (!command || !*command)
        return 0;
    CommandWalk walk(command, mode, host);
    return walk.run();
}

bool keep_walking(CommandHost& host, const JobOptions& options, int32_t* firstFailure)
{
    int32_t& result = host.result();
    if (ends_job(result, options))
        return false;
    if (options.verifyMode == kVerifyTest) {
        if (*firstFailure == 0)
            *firstFailure = result;
        result = 0;
    }
    return true;
}

void walk_list_tokens(const char* data, uint32_t size, const JobOptions& options, CommandHost& host)
{
    char token[kTokenSize];
    int32_t firstFailure = 0;
    const char* p = data;
    while (p < data + size && *p) {
        host.set_progress(size, static_cast<uint32_t>(p - data));
        if (read_token(&p, token, sizeof token) == 0)
            break;
        if (options.bracketEscapes)
            remove_bracket_escapes(token);
        if (token[0] == 0)
            continue;
        host.extract(token[0] == '*' ? nullptr : token);
        if (!keep_walking(host, options, &firstFailure))
            break;
    }
    if (host.result() == 0)
        host.result() = firstFailure;
}
