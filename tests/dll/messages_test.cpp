// write_message: formatting limits, conversion to the name code page, separators, the rule that
// closes a full sink, and the message box shown when there is no sink; the library's formatter
// against the platform's wvsprintfW for every message format of the library.
#include <windows.h>

#include <stdint.h>

#include <string>
#include <vector>

#include "core/format_text.h"
#include "core/library_state.h"
#include "core/messages.h"
#include "dll_host.h"
#include "output_job.h"
#include "test_data.h"
#include "test_files.h"
#include "ui/overwrite_dialog.h"
#include "window_watch.h"
#include "zip_writer.h"

using namespace dlltest;

namespace {

// A sink over a buffer of `size` bytes with a guard byte behind it.
struct Buffer {
    explicit Buffer(size_t size) : bytes(size + 1, '\x7f'), size(size) { init_message_sink(&sink, bytes.data(), size); }
    std::string text() const { return std::string(bytes.data(), strnlen(bytes.data(), size)); }
    bool guard_intact() const { return bytes[size] == '\x7f'; }
    std::vector<char> bytes;
    size_t size;
    MessageSink sink;
};

// Sets the name code page of the test program's own copy of the library state.
class CodePage {
public:
    explicit CodePage(bool utf8)
    {
        g_library.nameCodePage = utf8 ? CP_UTF8 : CP_ACP;
        g_library.nameMbFlags = utf8 ? 0 : MB_PRECOMPOSED;
    }
    ~CodePage()
    {
        g_library.nameCodePage = CP_ACP;
        g_library.nameMbFlags = MB_PRECOMPOSED;
    }
};

TEST(WriteMessage, SeparatesMessagesWithCrLf)
{
    Buffer b(10);
    EXPECT_EQ(write_message(&b.sink, L"%s", L"a"), 1);
    EXPECT_EQ(write_message(&b.sink, L"%s", L"b"), 1);
    EXPECT_EQ(b.text(), "a\r\nb");
    EXPECT_EQ(b.sink.remaining, 5u);
    EXPECT_EQ(b.sink.cursor - b.sink.start, 4);
    EXPECT_TRUE(b.guard_intact());
}

TEST(WriteMessage, AMessageThatDoesNotFitClosesTheSinkForGood)
{
    Buffer b(7);  // 6 bytes remain: a 5-byte message needs 5 + 2
    EXPECT_EQ(write_message(&b.sink, L"hello"), 5);
    EXPECT_EQ(b.text(), "");
    EXPECT_EQ(b.sink.remaining, 0u);
    EXPECT_EQ(write_message(&b.sink, L"x"), 1);
    EXPECT_EQ(b.text(), "");

    Buffer exact(8);  // 7 remain: exactly n + 2 for the first message
    write_message(&exact.sink, L"hello");
    EXPECT_EQ(exact.text(), "hello");
    EXPECT_EQ(exact.sink.remaining, 2u);
    write_message(&exact.sink, L"");  // empty messages write nothing and keep the sink open
    EXPECT_EQ(exact.sink.remaining, 2u);
    write_message(&exact.sink, L"z");
    EXPECT_EQ(exact.text(), "hello");
    EXPECT_EQ(exact.sink.remaining, 0u);
    EXPECT_TRUE(exact.guard_intact());
}

TEST(WriteMessage, TinyAndMissingBuffersReceiveNothing)
{
    for (size_t size : {0u, 1u, 2u}) {
        Buffer b(size);
        write_message(&b.sink, L"a");
        EXPECT_EQ(b.text(), "") << size;
        EXPECT_TRUE(b.guard_intact()) << size;
    }
    MessageSink none;
    init_message_sink(&none, nullptr, 100);
    EXPECT_EQ(none.remaining, 0u);
    EXPECT_EQ(write_message(&none, L"abc"), 3);
}

TEST(WriteMessage, FormattingStopsAt1024CharactersAndConversionAt1536Bytes)
{
    Buffer b(8192);
    const std::wstring longText(3000, L'x');
    // The platform formatter's 1024-unit buffer holds the terminator too.
    EXPECT_EQ(write_message(&b.sink, L"%s", longText.c_str()), 1023);
    EXPECT_EQ(b.text(), std::string(1023, 'x'));

    CodePage utf8(true);
    Buffer c(8192);
    const std::wstring cjk(600, L'\x4E01');  // 1800 bytes in UTF-8
    EXPECT_EQ(write_message(&c.sink, L"%s", cjk.c_str()), 0);
    EXPECT_EQ(c.text(), "");
    const std::wstring fits(512, L'\x4E01');  // 1536 bytes with the terminator: one too many
    EXPECT_EQ(write_message(&c.sink, L"%s", fits.c_str()), 0);
    const std::wstring fitsExactly(511, L'\x4E01');
    EXPECT_EQ(write_message(&c.sink, L"%s", fitsExactly.c_str()), 1533);
    EXPECT_EQ(write_message(&c.sink, L"%d and %x", -5, 255u), 9);
    EXPECT_EQ(c.text().substr(1533), "\r\n-5 and ff");
}

TEST(WriteMessage, ConvertsToTheNameCodePage)
{
    {
        CodePage utf8(true);
        Buffer b(64);
        write_message(&b.sink, L"file: %s", L"\x00E9t\x00E9");
        EXPECT_EQ(b.text(), "file: \xC3\xA9t\xC3\xA9");
    }
    if (GetACP() == 1252) {
        Buffer b(64);
        write_message(&b.sink, L"file: %s", L"\x00E9\x4E01");
        EXPECT_EQ(b.text(), "file: \xE9?");  // the code page's default for what it lacks
    }
}

TEST(WriteMessageJaLocale, AnsiModeMeansCodePage932)
{
    ASSERT_EQ(GetACP(), 932u);
    Buffer b(64);
    write_message(&b.sink, L"%s", L"\x65E5\x672C");
    EXPECT_EQ(b.text(), "\x93\xFA\x96\x7B");
}

TEST(WriteMessage, WithoutASinkAWarningBoxIsShown)
{
    SKIP_WITHOUT_DESKTOP();
    std::wstring text;
    WindowWatch watch(L"varno.dll", [&](HWND box) {
        text = message_box_text(box);
        press(box, IDOK);
    });
    EXPECT_EQ(write_message(nullptr, L"nothing to write %d", 7), IDOK);
    EXPECT_EQ(watch.seen(), 1);
    EXPECT_EQ(text, L"nothing to write 7");
}

// Where no window can be seen, neither the box nor the overwrite dialog waits for an answer:
// the box reports 0 and the dialog a cancel, and nothing appears on the visible desktop.
TEST(NoUsableDesktop, NeitherTheBoxNorTheDialogWaits)
{
    std::atomic<int> shown{0};
    WindowWatch boxes(L"varno.dll", [&](HWND box) {
        ++shown;
        press(box, IDOK);
    });
    WindowWatch dialogs(L"Exist file - varno", [&](HWND dialog) {
        ++shown;
        press(dialog, IDCANCEL);
    });
    InvisibleWindowStation invisible;
    ASSERT_TRUE(invisible.active() || no_desktop_reason());
    EXPECT_EQ(write_message(nullptr, L"nobody reads %s", L"this"), 0);
    TestEntry entry(0x5A21, 0x6000, 4);
    OverwritePrompt prompt = {L"C:\\a.txt", &entry.extras};
    EXPECT_EQ(show_overwrite_dialog(&prompt), -1);
    Sleep(200);
    EXPECT_EQ(shown.load(), 0);
}

// A host's extraction that would ask before replacing a file is cancelled there, and the file
// stays as it was.
TEST(NoUsableDesktop, AnExtractionThatWouldAskIsCancelledAndKeepsTheFile)
{
    TempDir dir;
    write_file(dir.file(L"a.zip"), ziptest::build_zip({{"a.txt", "new"}, {"b.txt", "other"}}));
    CreateDirectoryW(dir.file(L"out").c_str(), nullptr);
    write_file(dir.file(L"out\\a.txt"), "old");
    std::atomic<int> asked{0};
    WindowWatch dialogs(L"Exist file - varno", [&](HWND dialog) {
        ++asked;
        press(dialog, IDYES);
    });
    InvisibleWindowStation invisible;
    ASSERT_TRUE(invisible.active() || no_desktop_reason());
    const CommandResult r = run("UnZip", quoted(dir.ansi(L"a.zip")) + " " + quoted(dir.ansi(L"out")));
    EXPECT_EQ(r.code, VARNO_ERROR_CANCELLED);
    EXPECT_EQ(r.output, "User cancel");
    EXPECT_EQ(read_file(dir.file(L"out\\a.txt")), "old");
    EXPECT_EQ(asked.load(), 0);
}

// A process whose server runs without any display (the x64 prefix of this test) gets its box
// answered by the runtime at once; the call must come back, whatever it answers.
TEST(WriteMessageNoDisplay, ABoxWithoutADisplayComesBack)
{
    HANDLE thread = CreateThread(nullptr, 0, [](void*) -> DWORD {
        write_message(nullptr, L"no display: %d", 1);
        return 0;
    }, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

// Every message format of the library, as its sources write them.
struct MessageFormat {
    const wchar_t* format;
    const char* where;
};
const MessageFormat kMessageFormats[] = {
#include "message_formats.inc"
};

// Arguments the way a Windows va_list holds them: one 8-byte slot each, an int in the low half.
struct Arguments {
    uint64_t slots[8] = {};
    va_list list() { return reinterpret_cast<va_list>(slots); }
};

// The conversion letters of a format, in order (flags, width and precision skipped).
std::string conversions(const wchar_t* format)
{
    std::string letters;
    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%')
            continue;
        ++p;
        while (*p && wcschr(L"-0123456789.", *p))
            ++p;
        if (!*p)
            break;
        if (*p != L'%')
            letters += static_cast<char>(*p);
    }
    return letters;
}

// Variant `variant` of the arguments of `format`: strings and numbers taken in turn from sets
// that reach the edges (empty, non-ASCII, null, longer than the buffer; zero, the extremes).
Arguments arguments_for(const wchar_t* format, int variant)
{
    static const std::wstring longText(1200, L'p');
    static const wchar_t* const texts[] = {L"C:\\out\\file.txt", L"", L"\x65E5\x672C\x00E9", nullptr, longText.c_str()};
    static const int32_t numbers[] = {0, -1, 183, INT32_MIN, INT32_MAX, 0x7F3A};
    Arguments a;
    const std::string letters = conversions(format);
    for (size_t i = 0; i < letters.size() && i < 8; ++i) {
        const size_t pick = static_cast<size_t>(variant) + i;
        if (letters[i] == 's')
            a.slots[i] = reinterpret_cast<uintptr_t>(texts[pick % 5]);
        else
            a.slots[i] = static_cast<uint64_t>(static_cast<int64_t>(numbers[pick % 6]));
    }
    return a;
}

void expect_same_text(const wchar_t* format, const char* where)
{
    for (int variant = 0; variant < 6; ++variant) {
        Arguments a = arguments_for(format, variant);
        wchar_t platform[1100], own[1100];
        wmemset(platform, L'#', 1100);
        wmemset(own, L'#', 1100);
        const int expected = wvsprintfW(platform, format, a.list());
        const int n = format_text(own, 1024, format, a.list());
        const std::string context = std::string(where) + " variant " + std::to_string(variant);
        EXPECT_EQ(std::wstring(own), std::wstring(platform)) << context;
        // A cut text counts 1024 there (it has 1023 characters); only the text goes further.
        if (expected < 1024)
            EXPECT_EQ(n, expected) << context;
        else
            EXPECT_EQ(n, 1023) << context;
        EXPECT_EQ(own[1024], L'#') << context;
    }
}

const char* formatter_reason()
{
#if defined(_M_ARM64) || defined(__aarch64__)
    return "the emulated runtime's wvsprintfW faults on a Windows va_list; the x64 run compares";
#else
    return nullptr;
#endif
}

TEST(FormatText, EveryMessageFormatGivesTheTextOfWvsprintfW)
{
    if (const char* reason = formatter_reason())
        GTEST_SKIP() << reason;
    ASSERT_GT(sizeof kMessageFormats / sizeof kMessageFormats[0], 20u);
    for (const MessageFormat& m : kMessageFormats)
        expect_same_text(m.format, m.where);
}

TEST(FormatText, EachConversionGivesTheTextOfWvsprintfW)
{
    if (const char* reason = formatter_reason())
        GTEST_SKIP() << reason;
    const wchar_t* const formats[] = {
        L"%d|%i|%u|%x|%X", L"[%5d][%-5d][%05d][%.3d][%8.4d][%-08d]", L"[%5x][%-5X][%08x][%.6u][%3u]",
        L"[%10s][%-10s][%.3s][%.0s][%4.2s][%-3.1s]", L"%c%c[%3c][%-3c]", L"100%% %s %%d", L"%s%s%s%s",
        L"%1100s", L"%-1100d|", L"%.1100d", L"a%yb%qc", L"%d%", L"%5", L"[%5.2q][%-5q][%0-5d]", L"%s", L"",
    };
    for (const wchar_t* f : formats) {
        const std::string name(f, f + wcslen(f));
        expect_same_text(f, name.c_str());
    }
}

}  // namespace
