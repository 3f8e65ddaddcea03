// The text fields of listing lines: ratio, method and host labels, versions, attribute texts
// and the JSON layout's escaping.
#include <gtest/gtest.h>

#include <string>

#include "central_walk_support.h"
#include "listing/listing.h"
#include "listing/listing_fields.h"

namespace {

std::wstring ratio(uint64_t uncompressed, uint64_t compressed)
{
    wchar_t out[kRatioUnits];
    format_ratio(out, uncompressed, compressed);
    return out;
}

TEST(ListingFields, Ratio)
{
    const struct {
        uint64_t u, c;
        const wchar_t* text;
    } cases[] = {
        {1000, 1000, L"  0.0"}, {1000, 300, L" 70.0"}, {1000, 0, L"100.0"}, {0, 0, L"  0.0"}, {0, 12345, L"  0.0"},
        {100, 112, L"-12.0"},   {1000, 1005, L" -0.5"}, {1000, 1234, L"-23.4"}, {3, 1, L" 66.7"}, {3, 2, L" 33.4"},
        {7, 6, L" 14.3"},       {1, 2, L"-100.0"},      {1, 3, L"-200.0"},      {999, 1000, L" -0.1"},
        {1000, 1999, L"-99.9"}, {1000, 2000, L"-100.0"}, {1000000, 999999, L"  0.1"}, {1000000, 1000000, L"  0.0"}, {1000000, 999000, L"  0.1"},
        // Sizes whose products do not fit 64 bits are still exact.
        {~0ull, ~0ull, L"  0.0"}, {~0ull, 1, L"100.0"}, {~0ull, ~0ull / 2, L" 50.1"},
        {1, ~0ull, L"-1844674407370955161400.0"}, {2, ~0ull, L"-922337203685477580650.0"},
        {3, ~0ull, L"-614891469123651720400.0"},
        {3000000000ull, 1500000000ull, L" 50.0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ratio(c.u, c.c), c.text) << c.u << " " << c.c;
}

TEST(ListingFields, MethodHostAndVersionLabels)
{
    const struct {
        uint16_t method, flags;
        const wchar_t* label;
    } methods[] = {{0, 0, L"stor"}, {1, 0, L"shrk"}, {2, 0, L"re:1"}, {5, 0, L"re:4"}, {6, 0, L"i4:2"}, {6, 2, L"i8:2"}, {6, 4, L"i4:3"}, {6, 6, L"i8:3"},
                   {7, 0, L"tokn"}, {8, 0, L"defN"}, {8, 2, L"defX"}, {8, 4, L"defF"}, {8, 6, L"defS"},
                   {8, 0x0809, L"defN"}, {9, 0, L"d64N"}, {9, 6, L"d64S"}, {98, 0, L"ppmd"}, {12, 0, L"bzp2"},
                   {14, 2, L"lzma"}, {93, 0, L"zstd"}, {95, 0, L"xz  "}, {99, 0, L"u099"}, {100, 0, L"u100"}, {65535, 0, L"u65535"}};
    for (const auto& m : methods) {
        wchar_t out[kMethodUnits];
        format_method_label(out, m.method, m.flags);
        EXPECT_EQ(std::wstring(out), m.label) << m.method << " " << m.flags;
    }
    // The entry record's mode text: the label of a method read beyond the Deflate family.
    const struct {
        uint16_t method, flags;
        const char* text;
    } modes[] = {{0, 0, "Deflate"}, {8, 2, "Deflate"}, {9, 0, "Deflate"}, {1, 0, "shrk"}, {4, 0, "re:3"},
                 {6, 4, "i4:3"},    {7, 0, "Deflate"}, {95, 0, "xz"},     {98, 0, "ppmd"}, {99, 0, "Deflate"}};
    for (const auto& m : modes) {
        char text[kModeBytes];
        format_mode_text(text, m.method, m.flags);
        EXPECT_STREQ(text, m.text) << m.method;
    }
    EXPECT_EQ(std::wstring(host_label(0)), L"fat");
    EXPECT_EQ(std::wstring(host_label(16)), L"be ");
    EXPECT_EQ(std::wstring(host_label(19)), L"osx");
    EXPECT_EQ(std::wstring(host_label(20)), L"???");
    const struct {
        uint16_t made;
        const wchar_t* text;
    } versions[] = {{0x031E, L"3.0 unx"}, {0x0B14, L"2.0 ntf"}, {0x1E14, L"2.0 ???"}, {0x003F, L"6.3 fat"},
                    {0x10FF, L"25.5 be "}, {0x1300, L"0.0 osx"}};
    for (const auto& v : versions) {
        wchar_t out[kVersionUnits];
        format_version(out, v.made);
        EXPECT_EQ(std::wstring(out), v.text) << v.made;
    }
}

TEST(ListingFields, AttributeTexts)
{
    const struct {
        uint16_t madeBy;
        uint32_t external;
        const wchar_t *shortForm, *longForm;
    } cases[] = {
        {0x0314, 0x81A40000, L"-rw-", L"-rw-r--"},  {0x0314, 0x41ED0000, L"drwx", L"drwxr-x"},
        {0x1314, 0xA1FF0000, L"lrwx", L"lrwxrwx"},  {0x0314, 0x89ED0000, L"-rws", L"-rwsr-x"},
        {0x0314, 0x8DA40000, L"-rwS", L"-rwSr-S"},  {0x0314, 0x10000000, L"p---", L"p------"},
        {0x0314, 0x20000000, L"c---", L"c------"},  {0x0314, 0x60000000, L"b---", L"b------"},
        {0x0314, 0xC0000000, L"s---", L"s------"},  {0x0314, 0x00000000, L"?---", L"?------"},
        {0x0014, 0x00000021, L"a---", L"-r--a--"},  {0x0B14, 0x00000010, L"---w", L"drwx---"},
        {0x0014, 0x00000027, L"ash-", L"-r--ahs"},  {0x0014, 0xFFFFFF00, L"---w", L"-rw----"},
        {0x0A14, 0x81A40021, L"----", L"-------"},  {0x1E14, 0xFFFFFFFF, L"----", L"-------"},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> directory =
            walktest::directory_of({{.name = "x", .versionMadeBy = c.madeBy, .externalAttributes = c.external}});
        wchar_t text[8];
        format_attributes(directory.data(), text, false);
        EXPECT_EQ(std::wstring(text), c.shortForm) << std::hex << c.madeBy << " " << c.external;
        format_attributes(directory.data(), text, true);
        EXPECT_EQ(std::wstring(text), c.longForm) << std::hex << c.madeBy << " " << c.external;
    }
}

TEST(ListingFields, JsonLinesAreValidJson)
{
    wchar_t line[kJsonLineUnits];
    compose_json_line(line, kJsonLineUnits, L"1000", L"300", L"2025-01-01 12:00:00.000", L"a\\b.txt");
    EXPECT_EQ(std::wstring(line),
              L"{\"size\":     1000, \"comp\":      300, \"date\": \"2025-01-01 12:00:00.000\", \"name\": \"a\\\\b.txt\"},");
    compose_json_line(line, kJsonLineUnits, L"123456789", L"0", L"**-**-** **:**:**.***", L"q\"\x01\t\n\r\b\f\x1f\x7f");
    EXPECT_EQ(std::wstring(line), L"{\"size\": 123456789, \"comp\":        0, \"date\": \"**-**-** **:**:**.***\", "
                                  L"\"name\": \"q\\\"\\u0001\\t\\n\\r\\b\\f\\u001f\x7f\"},");

    // The longest name, all of it needing the longest escape, fits whole.
    const std::wstring worst(1199, L'\x01');
    const size_t n = compose_json_line(line, kJsonLineUnits, L"0", L"0", L"**-**-** **:**:**.***", worst.c_str());
    EXPECT_EQ(std::wstring(line).substr(n - 9), L"\\u0001\"},");

    // Escapes are never cut in half when the room runs out.
    wchar_t small[10];
    EXPECT_EQ(json_escape(small, 8, L"ab\x01" L"cd"), 2u);
    EXPECT_EQ(std::wstring(small), L"ab");
    EXPECT_EQ(json_escape(small, 10, L"\\\\\\\\\\"), 8u);
    EXPECT_EQ(std::wstring(small), L"\\\\\\\\\\\\\\\\");
}

}  // namespace
