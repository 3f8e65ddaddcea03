// The command string walk: tokens, escapes, every option, positional classification and the
// order of the actions it asks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/command_walk.h"
#include "varno_results.h"

namespace {

// Records every action of the walk in order; the archive and list file behave as configured.
class Recorder : public CommandHost {
public:
    Recorder() : CommandHost(&code) {}

    JobOptions* open_archive(const char* name, const JobOptions& options) override
    {
        log.push_back(std::string("open:") + name);
        if (openFails) {
            code = VARNO_ERROR_ARCHIVE_OPEN;
            return nullptr;
        }
        archive = options;
        opened = true;
        return &archive;
    }
    bool output_dir_is_empty() override { return outputDir.empty(); }
    OutputDirResult set_output_dir(const char* token) override
    {
        log.push_back(std::string("dir:") + token);
        outputDir = token;
        return outputDir.empty() ? OutputDirResult::ConvertedEmpty : OutputDirResult::Converted;
    }
    void extract(const char* name) override
    {
        log.push_back(name ? std::string("extract:") + name : std::string("extract-all"));
        if (name && std::string(name) == "fatal")
            code = VARNO_ERROR_DATA;
        if (name && std::string(name) == "cancel")
            code = VARNO_ERROR_CANCELLED;
    }
    void set_progress(uint32_t total, uint32_t done) override
    {
        progressTotal = total;
        progressDone = done;
    }
    bool run_list_file(const char* name, const JobOptions& options) override
    {
        log.push_back(std::string("list:") + name + (options.bracketEscapes ? ",escapes" : ""));
        if (!listTokens.empty()) {
            const std::string data = listTokens + std::string(kListFileZeroTail, '\0');
            walk_list_tokens(data.data(), static_cast<uint32_t>(listTokens.size()), options, *this);
        }
        return listReadable;
    }
    void write_banner() override { log.push_back("banner"); }
    void write_exclude_refused() override { log.push_back("exclude-refused"); }
    void set_password(const char* password) override { log.push_back(std::string("password:") + password); }

    // The option words in force at the end: the archive's when it was opened.
    const JobOptions& options() const { return opened ? archive : driverDefaults; }

    int32_t code = 0;
    std::vector<std::string> log;
    std::string outputDir;
    bool openFails = false;
    bool listReadable = true;
    std::string listTokens;  // the list file's names, walked when not empty
    bool opened = false;
    JobOptions archive{};
    JobOptions driverDefaults{};
    uint32_t progressTotal = 0, progressDone = 0;
};

struct Walked {
    int32_t result;
    std::vector<std::string> log;
    JobOptions options;
};

Walked walk(const std::string& command, int32_t mode = kModeVarno)
{
    Recorder r;
    const int32_t result = walk_command(command.c_str(), mode, r);
    EXPECT_EQ(result, r.code);
    return {result, r.log, r.archive};
}

using Log = std::vector<std::string>;

TEST(ModeWord, DefaultsOfEachExport)
{
    JobOptions o;
    set_options_from_mode(&o, kModeVarno);
    EXPECT_EQ(o.overwriteMode, 3);
    EXPECT_EQ(o.messageMask, 3);
    EXPECT_EQ(o.syntaxMode, 0);
    EXPECT_EQ(o.threadCount, 4);
    EXPECT_EQ(o.bracketEscapes, 0);
    EXPECT_EQ(o.safePaths, 1);
    EXPECT_EQ(o.outputMode, 0);
    EXPECT_EQ(o.progressWindow, 1);
    EXPECT_EQ(o.keepSlashes, 0);

    set_options_from_mode(&o, kModeUnZip);
    EXPECT_EQ(o.overwriteMode, 0);
    EXPECT_EQ(o.syntaxMode, 2);
    EXPECT_EQ(o.bracketEscapes, 1);
    EXPECT_EQ(o.keepSlashes, 1);

    set_options_from_mode(&o, kModeExtractMem);
    EXPECT_EQ(o.outputMode, 14);
    EXPECT_EQ(o.overwriteMode, 3);
    EXPECT_EQ(o.syntaxMode, 0);

    set_options_from_mode(&o, kModeVarnoParamMemory);
    EXPECT_EQ(o.outputMode, 16);

    // Only the first style bit counts; 0x20 clears the overwrite mode after it.
    set_options_from_mode(&o, 0x0100 | 0x0200);
    EXPECT_EQ(o.syntaxMode, 1);
    EXPECT_EQ(o.overwriteMode, 3);
    set_options_from_mode(&o, 0x0800 | 0x0020 | 0x0001);
    EXPECT_EQ(o.syntaxMode, 4);
    EXPECT_EQ(o.overwriteMode, 0);
    EXPECT_EQ(o.bracketEscapes, 1);
}

struct TokenCase {
    std::string input;
    std::string token;
    std::string rest;
    int first;
};

TEST(ReadToken, QuotingBlanksAndPairs)
{
    const TokenCase cases[] = {
        {"  abc def", "abc", "def", 'a'},
        {"\"a b\" c", "a b", " c", '"'},
        {"\"a\"\"b\"x", "a\"b", "x", '"'},
        {"ab\"c d\"e f", "ab\"c d\"e", "f", 'a'},
        {"ab\"c\"\"d e\" f", "ab\"c\"\"d e\"", "f", 'a'},
        {"\"abc", "abc", "", '"'},
        {"\"a\r\nb\" c", "a\rb", " c", '"'},
        {"\"a\n\rb\"", "a\nb", "", '"'},
        {"x\r\ny", "x", "\ny", 'x'},
        {"\"\" next", "", " next", '"'},
        {"\x01\x02\x1f\x20tok", "tok", "", 't'},
        {"last", "last", "", 'l'},
    };
    for (const TokenCase& c : cases) {
        const char* cursor = c.input.c_str();
        char token[64] = "untouched";
        EXPECT_EQ(read_token(&cursor, token, sizeof token), c.first) << c.input;
        EXPECT_EQ(std::string(token), c.token) << c.input;
        EXPECT_EQ(std::string(cursor), c.rest) << c.input;
    }
}

TEST(ReadToken, OnlyBlanksLeaveTheDestinationUntouched)
{
    const std::string input = " \t\r\n ";
    const char* cursor = input.c_str();
    char token[16] = "untouched";
    EXPECT_EQ(read_token(&cursor, token, sizeof token), 0);
    EXPECT_STREQ(token, "untouched");
    EXPECT_EQ(*cursor, 0);
}

TEST(ReadToken, OverLongTokensAreCutAndConsumed)
{
    for (const std::string& input : {std::string(2000, 'a') + " b", "\"" + std::string(2000, 'a') + "\" b"}) {
        const char* cursor = input.c_str();
        char token[kTokenSize];
        read_token(&cursor, token, sizeof token);
        EXPECT_EQ(std::string(token), std::string(kTokenSize - 1, 'a'));
        EXPECT_EQ(std::string(cursor), input[0] == '"' ? " b" : "b");
    }
}

TEST(BracketEscapes, OnlyBackslashBeforeABracketIsDropped)
{
    const std::pair<std::string, std::string> cases[] = {
        {"dir\\[1\\]", "dir[1]"}, {"a\\\\[", "a\\["}, {"a\\b\\", "a\\b\\"}, {"\\[\\[", "[["}, {"", ""}};
    for (const auto& c : cases) {
        std::string text = c.first;
        remove_bracket_escapes(&text[0]);
        EXPECT_EQ(std::string(text.c_str()), c.second) << c.first;
    }
}

struct OptionCase {
    const char* command;
    int32_t mode;
    int32_t JobOptions::*word;
    int32_t expected;
};

TEST(Options, EveryLetterAndDoubleDashForm)
{
    const OptionCase cases[] = {
        {"-B a.zip", kModeVarno, &JobOptions::overwriteMode, 4},
        {"-c a.zip", kModeVarno, &JobOptions::outputMode, 2},
        {"-f a.zip", kModeVarno, &JobOptions::overwriteMode, 3},
        {"-f a.zip", kModeVarno, &JobOptions::skipExisting, 1},
        {"--i -i a.zip", kModeVarno, &JobOptions::progressWindow, 1},
        {"-j a.zip", kModeVarno, &JobOptions::junkPaths, 1},
        {"-n a.zip", kModeVarno, &JobOptions::overwriteMode, 1},
        {"-o a.zip", kModeVarno, &JobOptions::overwriteMode, 2},
        {"-p a.zip", kModeVarno, &JobOptions::outputMode, 6},
        {"-Q a.zip", kModeVarno, &JobOptions::overwriteMode, 0},
        {"-u a.zip", kModeVarno, &JobOptions::overwriteMode, 3},
        {"-Z a.zip", kModeVarno, &JobOptions::listMode, 6},
        {"-: a.zip", kModeVarno, &JobOptions::safePaths, 0},
        {"-: --: a.zip", kModeVarno, &JobOptions::safePaths, 1},
        {"-c --c a.zip", kModeVarno, &JobOptions::outputMode, 0},
        {"-p --p a.zip", kModeVarno, &JobOptions::outputMode, 0},
        {"--i a.zip", kModeVarno, &JobOptions::progressWindow, 0},
        {"-j --j a.zip", kModeVarno, &JobOptions::junkPaths, 0},
        {"--q a.zip", kModeVarno, &JobOptions::messageMask, 15},
        // listing letters by style
        {"-l a.zip", kModeVarno, &JobOptions::listMode, 4},
        {"-lv a.zip", kModeVarno, &JobOptions::listMode, 5},
        {"-v a.zip", kModeVarno, &JobOptions::listMode, 5},
        {"-lj a.zip", kModeVarno, &JobOptions::listMode, 7},
        {"-l a.zip", kModeUnZip, &JobOptions::listMode, 1},
        {"-lv a.zip", kModeUnZip, &JobOptions::listMode, 2},
        {"-v a.zip", kModeUnZip, &JobOptions::listMode, 3},
        {"-lj a.zip", kModeUnZip, &JobOptions::listMode, 7},
        {"-lZ a.zip", kModeUnZip, &JobOptions::listMode, 6},
        // q sequences
        {"-q a.zip", kModeVarno, &JobOptions::messageMask, 1},
        {"-qq a.zip", kModeVarno, &JobOptions::messageMask, 0},
        {"-qr1 a.zip", kModeVarno, &JobOptions::bracketEscapes, 1},
        {"-qr0 a.zip", kModeUnZip, &JobOptions::bracketEscapes, 0},
        {"-qrj a.zip", kModeVarno, &JobOptions::junkPaths, 1},
        {"-qcdesUo a.zip", kModeVarno, &JobOptions::overwriteMode, 2},
        {"-qcdesUo a.zip", kModeVarno, &JobOptions::messageMask, 1},
        // thread counts
        {"-R12 a.zip", kModeVarno, &JobOptions::threadCount, 8},
        {"-R 3 a.zip", kModeVarno, &JobOptions::threadCount, 3},
        {"-R0 a.zip", kModeVarno, &JobOptions::threadCount, 0},
        {"-R8 a.zip", kModeVarno, &JobOptions::threadCount, 8},
        {"-R123456789012345678901234567890 a.zip", kModeVarno, &JobOptions::threadCount, 8},
        {"-R -o a.zip", kModeVarno, &JobOptions::threadCount, 0},
        {"-R -o a.zip", kModeVarno, &JobOptions::overwriteMode, 2},
        {"-R2o a.zip", kModeVarno, &JobOptions::overwriteMode, 2},
        // command styles
        {"--Z:u a.zip", kModeVarno, &JobOptions::syntaxMode, 2},
        {"--Zu a.zip", kModeVarno, &JobOptions::bracketEscapes, 1},
        {"--Z=i a.zip", kModeVarno, &JobOptions::syntaxMode, 4},
        {"--Z=z a.zip", kModeUnZip, &JobOptions::syntaxMode, 0},
        {"--Z=z a.zip", kModeUnZip, &JobOptions::bracketEscapes, 0},
        {"--ZZ a.zip", kModeVarno, &JobOptions::excludeRefused, 1},
        {"--Z:k a.zip", kModeUnZip, &JobOptions::syntaxMode, 2},
        {"--Z:u -l a.zip", kModeVarno, &JobOptions::listMode, 1},
        // verification and the test command: whole words only; the last of them counts
        {"--verify a.zip", kModeVarno, &JobOptions::verifyMode, kVerifyExtracted},
        {"--test a.zip", kModeUnZip, &JobOptions::verifyMode, kVerifyTest},
        {"--test --verify a.zip", kModeVarno, &JobOptions::verifyMode, kVerifyExtracted},
        {"-l --test a.zip", kModeVarno, &JobOptions::listMode, 0},
        {"--test -l a.zip", kModeVarno, &JobOptions::listMode, 4},
        {"a.zip --test", kModeVarno, &JobOptions::verifyMode, kVerifyTest},
        {"--t --v --tests --verify2 --Test -t -V a.zip", kModeVarno, &JobOptions::verifyMode, kVerifyOff},
        {"--tests a.zip", kModeVarno, &JobOptions::listMode, 0},
        // bytes without effect and options after the archive name
        {"-yz019A a.zip", kModeVarno, &JobOptions::overwriteMode, 3},
        {"a.zip -o", kModeVarno, &JobOptions::overwriteMode, 2},
        {"-o a.zip -n", kModeVarno, &JobOptions::overwriteMode, 1},
    };
    for (const OptionCase& c : cases) {
        const Walked w = walk(c.command, c.mode);
        ASSERT_FALSE(w.log.empty()) << c.command;
        EXPECT_EQ(w.log[0].rfind("open:", 0), 0u) << c.command;
        EXPECT_EQ(w.options.*c.word, c.expected) << c.command;
    }
}

TEST(Walk, SelectionsAndTheFinalExtractAll)
{
    const struct {
        const char* command;
        int32_t mode;
        Log log;
        int32_t result;
    } cases[] = {
        {"a.zip", kModeVarno, {"open:a.zip", "extract-all"}, 0},
        {"a.zip out", kModeVarno, {"open:a.zip", "dir:out", "extract-all"}, 0},
        {"-o a.zip out x.txt y.txt", kModeVarno, {"open:a.zip", "dir:out", "extract:x.txt", "extract:y.txt"}, 0},
        {"a.zip out * x.txt", kModeVarno, {"open:a.zip", "dir:out", "extract-all", "extract:x.txt"}, 0},
        {"a.zip out *.txt", kModeVarno, {"open:a.zip", "dir:out", "extract-all"}, 0},
        {"a.zip out fatal x.txt", kModeVarno, {"open:a.zip", "dir:out", "extract:fatal"}, VARNO_ERROR_DATA},
        {"a.zip -h", kModeVarno, {"open:a.zip", "banner"}, VARNO_ERROR_CANCELLED},
        {"-h", kModeVarno, {"banner"}, VARNO_ERROR_CANCELLED},
        {"-h a.zip", kModeVarno, {"banner"}, VARNO_ERROR_CANCELLED},
        {"-R a.zip", kModeVarno, {}, 0},
        {"--Z:u -x a.zip", kModeVarno, {"open:a.zip", "extract-all"}, 0},
        {"--Z=i -x a.zip", kModeVarno, {"exclude-refused"}, VARNO_ERROR_EXCLUDE_REFUSED},
        {"-x a.zip", kModeVarno, {"open:a.zip", "extract-all"}, 0},
        {"a.zip out dir\\[1\\]", kModeUnZip, {"open:a.zip", "dir:out", "extract:dir[1]"}, 0},
        {"a.zip out dir\\[1\\]", kModeVarno, {"open:a.zip", "dir:out", "extract:dir\\[1\\]"}, 0},
        {"\"C:\\My Files\\a.zip\" out", kModeVarno, {"open:C:\\My Files\\a.zip", "dir:out", "extract-all"}, 0},
        {"\"-a.zip\"", kModeVarno, {"open:-a.zip", "extract-all"}, 0},
        {"-d out a.zip x.txt", kModeVarno, {"dir:out", "open:a.zip", "extract:x.txt"}, 0},
        {"-dout a.zip", kModeVarno, {"dir:out", "open:a.zip", "extract-all"}, 0},
        {"a.zip -d \"my out\" x", kModeVarno, {"open:a.zip", "dir:my out", "extract:x"}, 0},
        {"-c a.zip x.txt", kModeVarno, {"open:a.zip", "extract:x.txt"}, 0},
        {"-p a.zip x.txt", kModeVarno, {"open:a.zip", "extract:x.txt"}, 0},
        {"a.zip \"\" x.txt", kModeVarno, {"open:a.zip", "dir:", "extract-all"}, 0},
        {"a.zip out \"\" x.txt", kModeVarno, {"open:a.zip", "dir:out", "extract-all"}, 0},
        {"a.zip @list.txt", kModeVarno, {"open:a.zip", "list:list.txt"}, 0},
        {"a.zip out @l\\[1\\].txt", kModeUnZip, {"open:a.zip", "dir:out", "list:l[1].txt,escapes"}, 0},
        {"-P secret a.zip", kModeVarno, {"password:secret", "open:a.zip", "extract-all"}, 0},
        {"-P\"a b\" a.zip", kModeVarno, {"password:a b", "open:a.zip", "extract-all"}, 0},
        {"a.zip -P", kModeVarno, {"open:a.zip", "extract-all"}, 0},
        {"-", kModeVarno, {}, 0},
        {"-- - --", kModeVarno, {}, 0},
        {"", kModeVarno, {}, 0},
    };
    for (const auto& c : cases) {
        const Walked w = walk(c.command, c.mode);
        EXPECT_EQ(w.log, c.log) << c.command;
        EXPECT_EQ(w.result, c.result) << c.command;
    }
}

TEST(Walk, TheTestCommandGoesOnPastFailuresAndKeepsTheFirst)
{
    const struct {
        const char* command;
        std::string list;
        Log log;
        int32_t result;
    } cases[] = {
        // The second token is a name, not an output directory.
        {"--test a.zip x.txt", "", {"open:a.zip", "extract:x.txt"}, 0},
        {"--test a.zip fatal x.txt", "", {"open:a.zip", "extract:fatal", "extract:x.txt"}, VARNO_ERROR_DATA},
        {"--test a.zip x fatal -o * y", "", {"open:a.zip", "extract:x", "extract:fatal", "extract-all", "extract:y"},
         VARNO_ERROR_DATA},
        {"--test a.zip cancel x", "", {"open:a.zip", "extract:cancel"}, VARNO_ERROR_CANCELLED},
        {"--test a.zip fatal cancel x", "", {"open:a.zip", "extract:fatal", "extract:cancel"}, VARNO_ERROR_CANCELLED},
        // An option's own error still ends the walk.
        {"--Z=i --test a.zip fatal -x y", "", {"open:a.zip", "extract:fatal", "exclude-refused"},
         VARNO_ERROR_EXCLUDE_REFUSED},
        {"--test a.zip @l x", "a fatal b", {"open:a.zip", "list:l", "extract:a", "extract:fatal", "extract:b", "extract:x"},
         VARNO_ERROR_DATA},
        {"--test a.zip @l x", "a cancel b", {"open:a.zip", "list:l", "extract:a", "extract:cancel"}, VARNO_ERROR_CANCELLED},
        // Without the test command a fatal name ends the list and the walk as before.
        {"--verify a.zip out @l x", "a fatal b", {"open:a.zip", "dir:out", "list:l", "extract:a", "extract:fatal", "extract:x"},
         VARNO_ERROR_DATA},
        {"--verify a.zip out fatal x", "", {"open:a.zip", "dir:out", "extract:fatal"}, VARNO_ERROR_DATA},
    };
    for (const auto& c : cases) {
        Recorder r;
        r.listTokens = c.list;
        EXPECT_EQ(walk_command(c.command, kModeVarno, r), c.result) << c.command;
        EXPECT_EQ(r.log, c.log) << c.command;
    }
}

TEST(Walk, FailedOpenEndsAtOnceAndUnreadableListsStop)
{
    Recorder failing;
    failing.openFails = true;
    EXPECT_EQ(walk_command("-o a.zip out x.txt", kModeVarno, failing), VARNO_ERROR_ARCHIVE_OPEN);
    EXPECT_EQ(failing.log, (Log{"open:a.zip"}));

    Recorder unreadable;
    unreadable.listReadable = false;
    EXPECT_EQ(walk_command("a.zip @missing.txt x.txt", kModeVarno, unreadable), VARNO_ERROR_METHOD);
    EXPECT_EQ(unreadable.log, (Log{"open:a.zip", "list:missing.txt"}));
}

TEST(Walk, NamedSelectionsReportTheirPositionInTheCommand)
{
    Recorder r;
    const std::string command = "a.zip out first.txt second.txt";
    walk_command(command.c_str(), kModeVarno, r);
    EXPECT_EQ(r.progressTotal, command.size());
    EXPECT_EQ(r.progressDone, command.size());  // behind the last token
}

TEST(ListTokens, EveryTokenIsANameAndStarSelectsAll)
{
    Recorder r;
    r.opened = true;
    const std::string data = "a.txt\r\n-o\n\"b c.txt\"\n\"\"\n*\n@x\nd\\[1\\]";
    std::string padded = data + std::string(kListFileZeroTail, '\0');
    JobOptions options{};
    options.bracketEscapes = 1;
    walk_list_tokens(padded.data(), static_cast<uint32_t>(data.size()), options, r);
    EXPECT_EQ(r.log, (Log{"extract:a.txt", "extract:-o", "extract:b c.txt", "extract-all", "extract:@x", "extract:d[1]"}));
    EXPECT_EQ(r.progressTotal, data.size());
}

TEST(ListTokens, StopsAtAZeroByteAndAtAFatalResult)
{
    Recorder r;
    std::string data = std::string("one\0two", 7) + std::string(kListFileZeroTail, '\0');
    const JobOptions options{};
    walk_list_tokens(data.data(), 7, options, r);
    EXPECT_EQ(r.log, (Log{"extract:one"}));

    Recorder f;
    std::string fatal = std::string("a fatal b") + std::string(kListFileZeroTail, '\0');
    walk_list_tokens(fatal.data(), 9, options, f);
    EXPECT_EQ(f.log, (Log{"extract:a", "extract:fatal"}));
}

TEST(BadInput, HostileCommandStringsStayInsideTheirBuffers)
{
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte.push_back(static_cast<char>(b));
    const std::string hostile[] = {
        everyByte,
        "a.zip " + std::string(100000, 'x'),
        "\"" + std::string(100000, 'y'),
        "-d" + std::string(5000, 'd') + " a.zip -P" + std::string(5000, 'p'),
        "a.zip \"out",
        "-R" + std::string(30, '9'),
        "-" + std::string(10000, 'q'),
        "--Z",
        "--Z:",
        "a.zip @",
        "a.zip out @\"",
    };
    for (const std::string& command : hostile) {
        for (int32_t mode : {kModeVarno, kModeUnZip}) {
            Recorder r;
            walk_command(command.c_str(), mode, r);
            for (const std::string& entry : r.log)
                EXPECT_LE(entry.size(), kTokenSize + 16);
        }
    }
}

}  // namespace
