// write_message: formatting limits, conversion to the name code page, separators, the rule that
// closes a full sink, and the message box shown when there is no sink.
#include <windows.h>

#include <string>
#include <vector>

#include "api/library_state.h"
#include "api/messages.h"
#include "dll_host.h"
#include "window_watch.h"

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
    std::wstring text;
    WindowWatch watch(L"varno.dll", [&](HWND box) {
        text = message_box_text(box);
        press(box, IDOK);
    });
    EXPECT_EQ(write_message(nullptr, L"nothing to write %d", 7), IDOK);
    EXPECT_EQ(watch.seen(), 1);
    EXPECT_EQ(text, L"nothing to write 7");
}

}  // namespace
