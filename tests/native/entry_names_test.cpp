// Entry names as the walk decodes them: safe-path neutralisation, Unicode-path records, UTF-8
// detection, the 1199-byte limit and malformed directories.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "archive/entry_names.h"
#include "archive/zip_format.h"
#include "central_walk_support.h"

namespace {

using walktest::cursor_over;
using walktest::directory_of;

std::string neutralised(std::string name)
{
    name.resize(name.size() + 1);
    neutralise_name(&name[0]);
    return name.c_str();
}

TEST(EntryNames, NeutralisationKeepsNamesInsideTheFolder)
{
    const std::pair<const char*, const char*> cases[] = {
        // The byte rules.
        {"../x", "##/x"},
        {"a/..", "a/##"},
        {"a..b", "a..b"},
        {"d:x", "d#x"},
        {"a\\..\\..\\b", "a\\##\\##\\b"},
        {"x<y>z\"q|w*?", "x#y#z#q|w*?"},
        {"tab\there\x7f", "tab#here#"},
        {"...\\x", ".##\\x"},
        {"a../b", "a##/b"},
        // Roots, servers and device paths: leading separators are dropped.
        {"/etc/passwd", "etc/passwd"},
        {"\\windows\\win.ini", "windows\\win.ini"},
        {"\\\\server\\share\\x", "server\\share\\x"},
        {"//server/share/x", "server/share/x"},
        {"\\\\?\\C:\\x", "?\\C#\\x"},
        {"\\\\.\\PhysicalDrive0", ".\\PhysicalDrive0"},
        {"C:\\Windows\\x", "C#\\Windows\\x"},
        {"C:/x", "C#/x"},
        {"/", ""},
        // Spellings that Windows folds into "..": trailing dots and blanks.
        {".. /x", "## /x"},
        {"a/.. \\b", "a/## \\b"},
        {"a/... /b", "a/### /b"},
        {"a/....", "a/..##"},
        {"a/. .", "a/# #"},
        {" ../x", " ##/x"},
        {"..\\ ", "##\\ "},
        // Device names, with any extension and trailing blanks, in any segment.
        {"CON", "#ON"},
        {"dir/nul.txt", "dir/#ul.txt"},
        {"COM1", "#OM1"},
        {"lpt9.log", "#pt9.log"},
        {"aux .c", "#ux .c"},
        {"a/Com1/b", "a/#om1/b"},
        {"conin$", "#onin$"},
        {"CONOUT$.x", "#ONOUT$.x"},
        {"COM\xB9", "#OM\xB9"},
        {"lpt\xC2\xB2.txt", "#pt\xC2\xB2.txt"},
        {"COM10", "COM10"},
        {"COM0", "COM0"},
        {"CONSOLE", "CONSOLE"},
        {"NULL.txt", "NULL.txt"},
        {"xcon", "xcon"},
        // Names that only look similar stay.
        {"./x", "./x"},
        {"a/.b/c.", "a/.b/c."},
        {"..a/b", "..a/b"},
        {"a. /b", "a. /b"},
        {"\xe3\x81\x82.txt", "\xe3\x81\x82.txt"},
    };
    for (const auto& [in, out] : cases) {
        const std::string once = neutralised(in);
        EXPECT_EQ(once, out) << in;
        EXPECT_EQ(neutralised(once), once) << in;  // a second pass changes nothing
    }
}

TEST(EntryNames, Utf8Detection)
{
    const std::pair<const char*, bool> cases[] = {
        {"plain.txt", false},
        {"\xc3\xa9t\xc3\xa9", true},
        {"\xe6\x97\xa5\xe6\x9c\xac", true},
        {"\xf0\x9f\x98\x80", true},
        {"\x93\xfa\x96\x7b", false},  // cp932
        {"\xc3", false},               // cut short
        {"\xe6\x97", false},
        {"\xbf", false},                // continuation in lead position
        {"\xf8\x88\x80\x80\x80", false},
        {"\xc0\xaf", true},             // overlong forms are not rejected
        {"\xed\xa0\x80", true},         // nor surrogates
    };
    for (const auto& [text, utf8] : cases)
        EXPECT_EQ(looks_like_utf8(text), utf8) << text;
}

struct Decoded {
    bool taken;
    std::string name;
    bool utf8;
};

Decoded decode_one(const ziptest::Entry& entry, int32_t safePaths = 1)
{
    const std::vector<uint8_t> directory = directory_of({entry});
    CentralCursor cursor = cursor_over(directory, safePaths);
    char name[kNameSize];
    bool utf8 = false;
    const uint8_t* header = take_central_entry(&cursor, name, &utf8);
    if (!header)
        return {false, "", false};
    EXPECT_EQ(header, directory.data());
    EXPECT_EQ(cursor.current, cursor.end);
    return {true, name, utf8};
}

std::string unicode_path(const std::string& utf8Name)
{
    return ziptest::extra_record(0x7075, std::string("\x01\x12\x34\x56\x78", 5) + utf8Name);
}

TEST(EntryNames, NameSourcesAndEncodings)
{
    struct Case {
        ziptest::Entry entry;
        int32_t safePaths;
        Decoded expected;
    };
    const std::string cp932 = "\x93\xfa\x96\x7b.txt";
    const Case cases[] = {
        {{.name = "a/b.txt"}, 1, {true, "a/b.txt", false}},
        {{.name = "\xc3\xa9.txt", .flags = kFlagUtf8Name}, 1, {true, "\xc3\xa9.txt", true}},
        {{.name = "\xc3\xa9.txt"}, 1, {true, "\xc3\xa9.txt", true}},
        {{.name = cp932}, 1, {true, cp932, false}},
        {{.name = "ascii", .flags = kFlagUtf8Name}, 1, {true, "ascii", true}},
        // The Unicode-path record wins, whatever its CRC says.
        {{.name = cp932, .centralExtra = unicode_path("\xe6\x97\xa5.txt")}, 1, {true, "\xe6\x97\xa5.txt", true}},
        {{.name = "x", .centralExtra = ziptest::extra_record(0x5455, "\x01" "abcd") + unicode_path("../y")},
         1, {true, "##/y", true}},
        {{.name = "x", .centralExtra = unicode_path("../y")}, 0, {true, "../y", true}},
        // A record that runs past the block is not used and ends the scan.
        {{.name = "x", .centralExtra = unicode_path("zz").substr(0, 8)}, 1, {true, "x", false}},
        // A Unicode-path record too short for its head ends the walk.
        {{.name = "x", .centralExtra = ziptest::extra_record(0x7075, "\x01\x00\x00\x00")}, 1, {false, "", false}},
        // An embedded byte 0 ends the name either way.
        {{.name = std::string("ab\0cd", 5)}, 1, {true, "ab", false}},
        {{.name = std::string("ab\0cd", 5)}, 0, {true, "ab", false}},
        {{.name = "../x"}, 0, {true, "../x", false}},
        {{.name = std::string(1199, 'n')}, 1, {true, std::string(1199, 'n'), false}},
        {{.name = std::string(1200, 'n')}, 1, {false, "", false}},
        {{.name = "n", .centralExtra = unicode_path(std::string(1200, 'u'))}, 1, {false, "", false}},
        {{.name = std::string(1300, 'n'), .centralExtra = unicode_path("short")}, 1, {true, "short", true}},
    };
    for (const Case& c : cases) {
        const Decoded d = decode_one(c.entry, c.safePaths);
        EXPECT_EQ(d.taken, c.expected.taken) << c.entry.name.substr(0, 20);
        EXPECT_EQ(d.name, c.expected.name) << c.entry.name.substr(0, 20);
        if (d.taken)
            EXPECT_EQ(d.utf8, c.expected.utf8) << c.entry.name.substr(0, 20);
    }
}

TEST(EntryNames, MalformedDirectoriesEndTheWalk)
{
    const std::vector<uint8_t> whole = directory_of({{"first", "1"}, {"second", "22"}, {"third", "333"}});
    char name[kNameSize];
    bool utf8;
    // Every truncation yields the complete headers in front of the cut and nothing else.
    size_t firstEnd = 46 + 5, secondEnd = firstEnd + 46 + 6;
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        const std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
        CentralCursor cursor = cursor_over(part);
        int taken = 0;
        while (take_central_entry(&cursor, name, &utf8))
            ++taken;
        const int expected = cut >= whole.size() ? 3 : cut >= secondEnd ? 2 : cut >= firstEnd ? 1 : 0;
        EXPECT_EQ(taken, expected) << cut;
        EXPECT_LE(cursor.current, cursor.end);
        EXPECT_EQ(take_central_entry(&cursor, name, &utf8), nullptr);  // and it stays over
    }
    // A bad signature in the middle ends the walk there.
    std::vector<uint8_t> broken = whole;
    broken[firstEnd] = 'X';
    CentralCursor cursor = cursor_over(broken);
    EXPECT_NE(take_central_entry(&cursor, name, &utf8), nullptr);
    EXPECT_EQ(take_central_entry(&cursor, name, &utf8), nullptr);
    // A null cursor (a handle never enumerated) holds nothing.
    CentralCursor empty = {nullptr, nullptr, 1};
    EXPECT_EQ(take_central_entry(&empty, name, &utf8), nullptr);
}

TEST(EntryNames, Utf8DecodingKeepsCharactersAndForgesNoAscii)
{
    const std::pair<const char*, std::u16string> cases[] = {
        {"dir/a.txt", u"dir/a.txt"},
        {"\xCE\xB1\xCE\xB2/\xD0\x96", u"\u03B1\u03B2/\u0416"},       // Greek, Cyrillic
        {"\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},               // CJK
        {"\xF0\x9F\x98\x80.txt", u"\U0001F600.txt"},                 // emoji: a surrogate pair
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        // Each byte of an ill-formed sequence is U+FFFD: overlong '/' and '.', a surrogate,
        // beyond U+10FFFF, cut short, stray continuation bytes, lead bytes that never start one.
        {"\xC0\xAF", u"\uFFFD\uFFFD"},
        {"\xE0\x80\xAE\xE0\x80\xAE/x", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD/x"},
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"a\xE6\x97", u"a\uFFFD\uFFFD"},
        {"\x80x\xBF", u"\uFFFDx\uFFFD"},
        {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& [bytes, expected] : cases) {
        char16_t out[kNameSize];
        const size_t units = decode_utf8(bytes, out);
        EXPECT_EQ(std::u16string(out, units), expected) << bytes;
        EXPECT_EQ(out[units], 0);
        EXPECT_LE(units, strlen(bytes));
    }
}

TEST(EntryNames, DirectoriesThatCannotBeWalked)
{
    const std::vector<uint8_t> good = directory_of({{"a", "1"}});
    const uint8_t* g = good.data();
    const std::string masked = ziptest::build_zip({{.name = "a", .data = "1", .flags = 0x2001}});
    const std::string plain = ziptest::build_zip({{.name = "a", .data = "1", .flags = 1}});
    const auto* m = reinterpret_cast<const uint8_t*>(masked.data());
    const auto* p = reinterpret_cast<const uint8_t*>(plain.data());
    const uint8_t noise[64] = {'n', 'o', 'i', 's', 'e'};
    const uint8_t extraData[24] = {'P', 'K', 6, 8, 16};  // the record in front of an encrypted directory
    EXPECT_EQ(check_central_directory(g, g + good.size(), 1, nullptr, 0), DirectoryCheck::Usable);
    EXPECT_EQ(check_central_directory(g, g, 0, nullptr, 0), DirectoryCheck::Usable);  // an empty archive
    EXPECT_EQ(check_central_directory(g, g, 3, nullptr, 0), DirectoryCheck::NoHeaders);
    EXPECT_EQ(check_central_directory(g, g + 45, 1, nullptr, 0), DirectoryCheck::NoHeaders);
    EXPECT_EQ(check_central_directory(noise, noise + 64, 1, p, 30), DirectoryCheck::NoHeaders);
    EXPECT_EQ(check_central_directory(noise, noise + 64, 1, m, 29), DirectoryCheck::NoHeaders);
    EXPECT_EQ(check_central_directory(noise, noise + 64, 1, m, 30), DirectoryCheck::Encrypted);
    EXPECT_EQ(check_central_directory(extraData, extraData + 24, 1, nullptr, 0), DirectoryCheck::Encrypted);
}

TEST(EntryNames, CopyBoundedAndBackslashes)
{
    char buffer[8];
    memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(copy_bounded(buffer, "abcdefghij", 5), buffer + 4);
    EXPECT_STREQ(buffer, "abcd");
    EXPECT_EQ(buffer[5], 'z');
    EXPECT_EQ(copy_bounded(buffer, "ab", 8), buffer + 2);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(copy_bounded(buffer, "ab", 1), buffer);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'q';
    EXPECT_EQ(copy_bounded(buffer, "ab", 0), buffer);
    EXPECT_EQ(buffer[0], 'q');

    char path[] = "a/b\\c//d";
    to_backslashes(path);
    EXPECT_STREQ(path, "a\\b\\c\\\\d");
}

}  // namespace
