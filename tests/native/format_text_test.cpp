// The message formatter under the sanitizers: every buffer size from one unit up, with fields
// wider than the room left (the Windows suite compares its texts with wvsprintfW).
#include <gtest/gtest.h>

#include <stdarg.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "core/format_text.h"

namespace {

int format(wchar_t* out, int units, const wchar_t* f, ...)
{
    va_list args;
    va_start(args, f);
    const int n = format_text(out, units, f, args);
    va_end(args);
    return n;
}

TEST(FormatText, EveryBufferSizeGetsATerminatedTextThatFits)
{
    const std::wstring longName(300, L'n');
    for (int units = 1; units <= 64; ++units) {
        // Exactly `units` units on the heap, so that a write past them is caught.
        std::vector<wchar_t> out(static_cast<size_t>(units));
        const int n = format(out.data(), units, L"Write error %d : %s [%-20x|%08X|%.30d|%40s|%c] %% %q",
                             INT32_MIN, longName.c_str(), 0xBEEFu, 7u, -3, L"v", L'c');
        ASSERT_GE(n, 0);
        ASSERT_LE(n, units - 1);
        EXPECT_EQ(out[static_cast<size_t>(n)], L'\0') << units;
    }
}

TEST(FormatText, FieldsWiderThanTheRoomKeepTheirValue)
{
    wchar_t out[8];
    EXPECT_EQ(format(out, 5, L"%10s", L"ab"), 4);
    EXPECT_EQ(std::wstring(out), L"  ab");
    EXPECT_EQ(format(out, 6, L"%.10d", -7), 5);
    EXPECT_EQ(std::wstring(out), L"-0007");
    EXPECT_EQ(format(out, 8, L"%s|%s", nullptr, L"x"), 7);
    EXPECT_EQ(std::wstring(out), L"(null)|");
    EXPECT_EQ(format(out, 1, L"%d", 5), 0);
    EXPECT_EQ(std::wstring(out), L"");
}

}  // namespace
