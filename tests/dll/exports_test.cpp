// The DLL as a host loads it: every stateless export, the function list, the Unicode switch
// and the running count.
#include <windows.h>

#include <atomic>
#include <thread>

#include "dll_host.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;

namespace {

TEST(StatelessExports, AnswerTheirFixedResults)
{
    using WordFn = WORD(WINAPI*)();
    using BoolFn = BOOL(WINAPI*)();
    EXPECT_EQ(fn<WordFn>("UnZipGetVersion")(), 145);
    EXPECT_EQ(fn<WordFn>("VarnoGetVersion")(), 145);
    EXPECT_EQ(fn<WordFn>("UnZipGetSubVersion")(), 10600);
    EXPECT_EQ(fn<WordFn>("VarnoGetSubVersion")(), 10600);
    EXPECT_EQ(fn<WordFn>("UnZipGetCursorInterval")(), 80);
    EXPECT_EQ(fn<BoolFn>("UnZipGetRunning")(), 0);
    EXPECT_EQ(fn<BoolFn>("VarnoGetRunning")(), 0);
    EXPECT_EQ(fn<BoolFn>("UnZipGetBackGroundMode")(), 0);
    EXPECT_EQ(fn<BoolFn>("UnZipGetCursorMode")(), 0);
    EXPECT_EQ(fn<BoolFn>("UnZipClearOwnerWindow")(), 1);

    char buffer[16] = "kept";
    EXPECT_EQ(fn<BOOL(WINAPI*)(HWND, LPSTR, int)>("UnZipConfigDialog")(nullptr, buffer, 1), 0);
    EXPECT_STREQ(buffer, "kept");
    int dummy = 0;
    EXPECT_EQ(fn<UINT(WINAPI*)(void*)>("UnZipGetOSType")(&dummy), 0u);
    EXPECT_EQ(fn<int(WINAPI*)(void*)>("UnZipIsSFXFile")(&dummy), 0);
    HWND anyWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(fn<BOOL(WINAPI*)(HWND)>("UnZipSetOwnerWindow")(anyWindow), 1);
    EXPECT_EQ(fn<BOOL(WINAPI*)(HWND, void*)>("UnZipSetOwnerWindowEx")(anyWindow, &dummy), 1);
    EXPECT_EQ(fn<BOOL(WINAPI*)(HWND)>("UnZipKillOwnerWindowEx")(anyWindow), 1);
    EXPECT_EQ(fn<BOOL(WINAPI*)(BOOL)>("UnZipSetBackGroundMode")(TRUE), 1);
    EXPECT_EQ(fn<BOOL(WINAPI*)(WORD)>("UnZipSetCursorInterval")(500), 1);
    EXPECT_EQ(fn<BOOL(WINAPI*)(BOOL)>("UnZipSetCursorMode")(TRUE), 1);
    // Nothing was stored.
    EXPECT_EQ(fn<WordFn>("UnZipGetCursorInterval")(), 80);
    EXPECT_EQ(fn<BoolFn>("UnZipGetBackGroundMode")(), 0);
    EXPECT_EQ(fn<BoolFn>("UnZipGetCursorMode")(), 0);
}

TEST(StatelessExports, FunctionListOfBothFamilies)
{
    auto unzip = fn<BOOL(WINAPI*)(int)>("UnZipQueryFunctionList");
    auto varno = fn<BOOL(WINAPI*)(int)>("VarnoQueryFunctionList");
    const int available[] = {0, 1, 8, 16, 18, 19, 23, 24, 25, 26, 58, 70, 71, 72, 85, 114};
    for (int n = -5; n < 400; ++n) {
        bool listed = false;
        for (int a : available)
            listed = listed || a == n;
        EXPECT_EQ(unzip(n), listed ? 1 : 0) << n;
        EXPECT_EQ(varno(n), listed && n != 18 ? 1 : 0) << n;
    }
}

TEST(StatelessExports, UnicodeModeSwitchesTheCodePageOfMessages)
{
    auto unzipMode = fn<BOOL(WINAPI*)(BOOL)>("UnZipSetUnicodeMode");
    auto varnoMode = fn<BOOL(WINAPI*)(BOOL)>("VarnoSetUnicodeMode");
    // A missing archive whose name has a character outside ASCII: the open error message
    // carries the name back in the mode's code page.
    EXPECT_EQ(varnoMode(TRUE), 1);
    CommandResult utf8 = run("Varno", "\xC3\xA9t\xC3\xA9-missing.zip");
    EXPECT_EQ(utf8.code, VARNO_ERROR_ARCHIVE_OPEN);
    EXPECT_EQ(utf8.output, "Zip file open error(2): \xC3\xA9t\xC3\xA9-missing.zip");
    EXPECT_EQ(unzipMode(FALSE), 1);
    CommandResult ansi = run("Varno", "\xE9t\xE9-missing.zip");
    EXPECT_EQ(ansi.output, "Zip file open error(2): \xE9t\xE9-missing.zip");
    EXPECT_EQ(unzipMode(7), 1);  // any nonzero flag
    EXPECT_EQ(run("Varno", "\xC3\xA9.zip").output, "Zip file open error(2): \xC3\xA9.zip");
    EXPECT_EQ(varnoMode(FALSE), 1);
}

TEST(StatelessExports, RunningCountIsRaisedForTheWholeCall)
{
    TempDir dir;
    write_file(dir.file(L"a.zip"), ziptest::build_zip({{"a.txt", "a"}}));
    // A list of three million names keeps the call busy while another thread watches.
    std::string names;
    names.reserve(30000000);
    for (int i = 0; i < 3000000; ++i)
        names += "name" + std::to_string(i) + "\r\n";
    write_file(dir.file(L"list.txt"), names);

    auto running = fn<BOOL(WINAPI*)()>("UnZipGetRunning");
    auto varnoRunning = fn<BOOL(WINAPI*)()>("VarnoGetRunning");
    std::atomic<bool> done{false};
    std::thread call([&] {
        const CommandResult r = run("UnZip", "\"" + dir.ansi(L"a.zip") + "\" \"" + dir.ansi(L"out") + "\" \"@" + dir.ansi(L"list.txt") + "\"");
        EXPECT_EQ(r.code, 0);
        done = true;
    });
    bool seenBusy = false;
    while (!done && !seenBusy)
        seenBusy = running() != 0 && varnoRunning() != 0;
    call.join();
    EXPECT_TRUE(seenBusy);
    EXPECT_EQ(running(), 0);
}

}  // namespace
