// Listing commands end to end through UnZip and Varno: the seven layouts, their fields, name
// selection, list files, code pages, and directories that cannot be read.
#include <windows.h>

#include <sstream>
#include <vector>

#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

// An archive in a temporary folder, listed with commands.
class Listed {
public:
    explicit Listed(const std::vector<Entry>& entries, const ziptest::ArchiveOptions& options = {})
    {
        write_file(dir_.file(L"t.zip"), ziptest::build_zip(entries, options));
    }
    explicit Listed(const std::string& bytes) { write_file(dir_.file(L"t.zip"), bytes); }

    std::string archive() const { return quoted(dir_.ansi(L"t.zip")); }
    // Runs "options archive [out names...]" and returns the lines; the result must be 0.
    std::vector<std::string> list(const char* exportName, const std::string& options, const std::string& names = "",
                                  int expectedCode = 0) const
    {
        const std::string command = options + " " + archive() + (names.empty() ? "" : " out " + names);
        const CommandResult r = run(exportName, command, 1 << 20);
        EXPECT_EQ(r.code, expectedCode) << command << "\n" << r.output;
        return lines_of(r.output);
    }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
};

const Entry kStored = {.name = "dir/a.txt", .data = std::string(1000, 'a')};

TEST(Listing, EveryLayoutAsTabled)
{
    Listed a({kStored});
    const struct {
        const char* exportName;
        const char* options;
        const char* line;
    } cases[] = {
        {"UnZip", "-l", "dir/a.txt           1000      1000   0.0% 2025-01-01 12:00 -rw- stor 9a38da03"},
        {"UnZip", "-lv", "-rw-     2.0 unx    1000     1000 stor 2025-01-01 12:00 dir/a.txt"},
        {"UnZip", "-v", "   1000     stor   1000   0%  2025-01-01 12:00  9a38da03   dir/a.txt"},
        {"Varno", "-l", "     1000  2025-01-01 12:00   dir\\a.txt"},
        {"Varno", "-lv", "    1000    stor     1000   0% 2025-01-01 12:00 9a38da03  dir\\a.txt"},
        {"Varno", "-v", "    1000    stor     1000   0% 2025-01-01 12:00 9a38da03  dir\\a.txt"},
        {"UnZip", "-Z", "-rw-r--     2.0 unx     1000 b- stor 2025-01-01 12:00 dir/a.txt"},
        {"Varno", "-Z", "-rw-r--     2.0 unx     1000 b- stor 2025-01-01 12:00 dir\\a.txt"},
        {"UnZip", "-lj", R"({"size":     1000, "comp":     1000, "date": "2025-01-01 12:00:00.000", "name": "dir/a.txt"},)"},
        {"Varno", "-lj", R"({"size":     1000, "comp":     1000, "date": "2025-01-01 12:00:00.000", "name": "dir\\a.txt"},)"},
        // A later option wins.
        {"UnZip", "-Z -l", "dir/a.txt           1000      1000   0.0% 2025-01-01 12:00 -rw- stor 9a38da03"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> lines = a.list(c.exportName, c.options);
        ASSERT_EQ(lines.size(), 1u) << c.exportName << " " << c.options;
        EXPECT_EQ(lines[0], c.line) << c.exportName << " " << c.options;
    }
}

TEST(Listing, FieldsOfUnusualEntries)
{
    const std::string hundred(100, 'x');
    Listed a({
        {.name = "deflated", .data = std::string(1000, 'a'), .method = 8, .compressed = std::string(300, 'c'), .flags = 2},
        {.name = "enc", .data = hundred, .compressed = std::string(112, 'e'), .flags = 1, .internalAttributes = 1},
        {.name = "grown", .data = std::string(1000, 'g'), .compressed = std::string(1005, 'g'), .flags = 8},
        {.name = "huge", .data = "", .uncompressedSizeField = 3000000000u},
        {.name = "d64", .data = "x", .method = 9, .compressed = "y", .versionMadeBy = 0x0B14, .externalAttributes = 0x21},
        {.name = "m14", .data = "x", .method = 14, .compressed = "y", .versionMadeBy = 0x1E14},
        {.name = "aes", .data = "x", .method = 99, .compressed = "y", .flags = 9, .versionMadeBy = 0x031E,
         .externalAttributes = 0x41ED0010, .centralExtra = ziptest::extra_record(0x9901, "AE")},
        {.name = "nodate", .data = "", .dosTime = 0, .dosDate = 0},
    });
    const std::vector<std::string> v = a.list("Varno", "-v");
    const std::vector<std::string> z = a.list("UnZip", "-Z");
    const std::vector<std::string> l = a.list("UnZip", "-l");
    ASSERT_EQ(v.size(), 8u);
    ASSERT_EQ(z.size(), 8u);
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(v[0], "    1000    defX      300  70% 2025-01-01 12:00 9a38da03  deflated");
    EXPECT_EQ(l[0].substr(35, 6), " 70.0%");
    EXPECT_EQ(l[1].substr(35, 6), "-12.0%");
    EXPECT_EQ(l[2].substr(35, 6), " -0.5%");
    EXPECT_EQ(z[1], "-rw-r--     2.0 unx      100 T- stor 2025-01-01 12:00 enc");
    EXPECT_EQ(z[2], "-rw-r--     2.0 unx     1000 bl stor 2025-01-01 12:00 grown");
    EXPECT_EQ(l[3], "huge" + std::string(12, ' ') + "3000000000         0 100.0% 2025-01-01 12:00 -rw- stor 00000000");
    EXPECT_EQ(z[4], "-r--a--     2.0 ntf        1 b- d64N 2025-01-01 12:00 d64");
    EXPECT_EQ(l[4].substr(59, 9), "a--- d64N");
    EXPECT_EQ(z[5], "-------     2.0 ???        1 b- lzma 2025-01-01 12:00 m14");
    EXPECT_EQ(z[6], "drwxr-x     3.0 unx        1 BX u099 2025-01-01 12:00 aes");
    EXPECT_EQ(z[7], "-rw-r--     2.0 unx        0 b- stor **-**-** **:**:* nodate");
    EXPECT_EQ(a.list("UnZip", "-lj")[7],
              R"({"size":        0, "comp":        0, "date": "**-**-** **:**:**.***", "name": "nodate"},)");
}

TEST(Listing, SizesAndTimesFromExtraFields)
{
    // An NTFS time of 2024-02-03 04:05:06.789 UTC, shown in local time with milliseconds.
    SYSTEMTIME utc = {2024, 2, 0, 3, 4, 5, 6, 789};
    FILETIME ft, local;
    SystemTimeToFileTime(&utc, &ft);
    FileTimeToLocalFileTime(&ft, &local);
    SYSTEMTIME shown;
    FileTimeToSystemTime(&local, &shown);
    char expected[32];
    wsprintfA(expected, "%04d-%02d-%02d %02d:%02d:%02d.%03d", shown.wYear, shown.wMonth, shown.wDay, shown.wHour,
              shown.wMinute, shown.wSecond, shown.wMilliseconds);
    std::string ntfs(4, '\0');
    ziptest::put16(ntfs, 1);
    ziptest::put16(ntfs, 24);
    const uint64_t t = static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
    for (int i = 0; i < 3; ++i)
        ziptest::put64(ntfs, t);
    Listed a({
        {.name = "big", .data = "abc", .zip64 = true, .zip64UncompressedSize = 5000000000ull, .zip64CompressedSize = 4000000000ull},
        {.name = "timed", .data = "t", .centralExtra = ziptest::extra_record(0x000a, ntfs)},
    });
    const std::vector<std::string> j = a.list("UnZip", "-lj");
    ASSERT_EQ(j.size(), 2u);
    EXPECT_EQ(j[0], R"({"size": 5000000000, "comp": 4000000000, "date": "2025-01-01 12:00:00.000", "name": "big"},)");
    EXPECT_EQ(j[1], std::string(R"({"size":        1, "comp":        1, "date": ")") + expected + R"(", "name": "timed"},)");
    EXPECT_EQ(a.list("UnZip", "-v")[0], "5000000000     stor 4000000000  20%  2025-01-01 12:00  352441c2   big");
}

TEST(Listing, JsonNamesAreEscaped)
{
    const std::string longName = std::string(1100, 'n') + "\"end";
    Listed a({{"a\\b.txt", "1"}, {"q\"uote\ttab", "2"}, {longName, "3"}});
    std::vector<std::string> j = a.list("UnZip", "-lj");
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[0].substr(j[0].find("\"name\"")), R"("name": "a\\b.txt"},)");
    EXPECT_EQ(j[1].substr(j[1].find("\"name\"")), R"("name": "q#uote#tab"},)");  // neutralised
    EXPECT_EQ(j[2].substr(j[2].find("\"name\"")), "\"name\": \"" + std::string(1100, 'n') + "#end\"},");
    j = a.list("UnZip", "-lj -:");
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[1].substr(j[1].find("\"name\"")), R"("name": "q\"uote\ttab"},)");
    EXPECT_EQ(j[2].substr(j[2].find("\"name\"")), "\"name\": \"" + std::string(1100, 'n') + "\\\"end\"},");
    // Other layouts keep the line limit of 1024 characters.
    const std::vector<std::string> l = a.list("UnZip", "-l");
    EXPECT_GE(l[2].size(), 1023u);
    EXPECT_LE(l[2].size(), 1024u);
}

TEST(Listing, SelectionByNameIgnoresCaseAndSeparatorAndTakesTheFirst)
{
    Listed a({{"Dir/Sub/File.TXT", "1"}, {"dir\\sub\\file.txt", "22"}, {"other", "333"}, {"Dir/Sub/File.TXT", "4444"}});
    struct Case {
        const char* names;
        std::vector<std::string> sizes;
    } cases[] = {
        {"dir/sub/file.txt", {"1"}},
        {"DIR\\SUB\\FILE.TXT", {"1"}},
        {"OTHER", {"3"}},
        {"missing", {}},
        {"dir/sub/file.tx", {}},
        {"other missing OTHER", {"3", "3"}},
        {"*", {"1", "2", "3", "4"}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> lines = a.list("Varno", "-l", c.names);
        std::vector<std::string> sizes;
        for (const std::string& line : lines)
            sizes.push_back(line.substr(0, 9).substr(line.find_first_not_of(' ')));
        EXPECT_EQ(sizes, c.sizes) << c.names;
    }
    // The same through a list file.
    write_file(a.dir().file(L"names.txt"), "other\r\n\"DIR/SUB/FILE.TXT\"\r\nmissing\r\n");
    const std::vector<std::string> lines = a.list("UnZip", "-l", quoted("@" + a.dir().ansi(L"names.txt")));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, 5), "other");
    EXPECT_EQ(lines[1].substr(0, 16), "Dir/Sub/File.TXT");
}

TEST(Listing, DirectoriesThatCannotBeReadOrEndEarly)
{
    // The recorded directory lies beyond the end of the file: rebuilt from the local headers.
    Listed beyond({{"a", "1"}}, {.cdOffsetField = 0x7FFFFFF0});
    CommandResult r = run("Varno", "-l " + beyond.archive());
    EXPECT_EQ(r.code, VARNO_ERROR_DECODER);
    EXPECT_EQ(lines_of(r.output).back(), "CentralDirectory broken : " + beyond.dir().ansi(L"t.zip"));
    EXPECT_EQ(run("Varno", "-l -qq " + beyond.archive()).output.find("broken"), std::string::npos);

    // Truncated in the middle of the third header: the two before it, and the damage reported;
    // extras that lie about their sizes.
    const std::vector<Entry> three = {{"one", "1"}, {"two", "2"}, {"three", "3"}};
    std::string zip = ziptest::build_zip(three);
    const size_t first = zip.find(std::string("PK\1\2", 4));
    const size_t third = zip.rfind(std::string("PK\1\2", 4));
    zip = ziptest::build_zip(three, {.cdSizeField = static_cast<uint32_t>(third + 20 - first)});
    const std::string cut = zip.substr(0, third + 20) + zip.substr(zip.rfind(std::string("PK\5\6", 4)));
    Listed truncated(cut);
    EXPECT_EQ(truncated.list("Varno", "-l", "", VARNO_ERROR_DECODER).size(), 3u);
    Listed lying(std::vector<Entry>{{.name = "x", .data = "1", .centralExtra = std::string("\x01\x00\xF0\xFF", 4) + "12345678"},
                  {.name = "y", .data = "2", .centralExtra = ziptest::extra_record(0x000a, std::string(4, '\0') + "\x01\x00\xFF\x7F")}});
    const std::vector<std::string> l = lying.list("UnZip", "-l");
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].substr(0, 24), "x" + std::string(22, ' ') + "1");
}

TEST(Listing, NamesInBothCodePagesBothLocales)
{
    const std::string utf8Name = "\xc3\xa9t\xc3\xa9/\xe6\x97\xa5.txt";  // "été/日.txt"
    Listed a(std::vector<Entry>{{.name = utf8Name, .data = "u", .flags = 0x800}, {.name = "\xc3\xa9t\xc3\xa9.txt", .data = "v"}});
    {
        UnicodeMode on(true);
        const std::vector<std::string> l = a.list("UnZip", "-l");
        ASSERT_EQ(l.size(), 2u);
        EXPECT_EQ(l[0].substr(0, utf8Name.size()), utf8Name);
        EXPECT_EQ(l[1].substr(0, 9), "\xc3\xa9t\xc3\xa9.txt");
    }
    // In ANSI mode the names arrive in the system code page; unmappable characters become its
    // default character.
    const std::wstring wide = L"\u00e9t\u00e9/\u65e5.txt";
    BOOL usedDefault = FALSE;
    char expected[64];
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, expected, sizeof expected, nullptr, &usedDefault);
    ASSERT_GT(n, 1);
    const std::vector<std::string> l = a.list("UnZip", "-l");
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].substr(0, n - 1), expected);
    EXPECT_EQ(l[1].substr(0, to_ansi(L"\u00e9t\u00e9.txt").size()), to_ansi(L"\u00e9t\u00e9.txt"));
    // Selection works on the decoded name.
    UnicodeMode on(true);
    EXPECT_EQ(a.list("Varno", "-l", quoted(utf8Name)).size(), 1u);
}

TEST(Listing, BestFitCharactersCannotMakeSeparatorsBothLocales)
{
    // Full-width dots, solidus, reverse solidus and colon, which a best-fit conversion into the
    // system code page may turn into their ASCII look-alikes.
    const std::string name = "\xef\xbc\x8e\xef\xbc\x8e\xef\xbc\x8f\xef\xbc\x8e\xef\xbc\x8e\xef\xbc\xbc"
                             "C\xef\xbc\x9a\xef\xbc\xbc" "evil/..\xc2\xa5x";  // U+00A5 becomes 0x5C in cp932
    Listed a({{.name = name, .data = "e", .flags = 0x800}});
    const std::vector<std::string> l = a.list("Varno", "-lj");
    ASSERT_EQ(l.size(), 1u);
    const std::string shown = l[0].substr(l[0].find("\"name\": \"") + 9);
    EXPECT_EQ(shown.find(':'), std::string::npos) << shown;
    EXPECT_NE(shown[0], '\\');
    // No segment is "..": the JSON text escapes '\\' as "\\\\", so both kinds split it.
    std::string segment;
    for (char c : shown.substr(0, shown.size() - 3)) {
        if (c == '/' || c == '\\') {
            EXPECT_NE(segment, "..") << shown;
            segment.clear();
        } else {
            segment += c;
        }
    }
}

TEST(Listing, DoubleByteNamesJaLocale)
{
    ASSERT_EQ(GetACP(), 932u);
    // 表 is 0x95 0x5C: its second byte is the backslash. ア (0x83 0x41) and ャ (0x83 0x61)
    // differ only in the case of their second byte.
    const std::string hyou = "\x95\x5c", a_ = "\x83\x41", ya = "\x83\x61";
    Listed a({{hyou + "/" + hyou + ".txt", "1"}, {ya + ".txt", "22"}, {a_ + ".txt", "333"}});
    std::vector<std::string> l = a.list("UnZip", "-l");
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0].substr(0, 6), hyou + "/" + hyou + ".");
    l = a.list("Varno", "-l");
    EXPECT_EQ(l[0].substr(l[0].size() - 9), hyou + "\\" + hyou + ".txt");
    // Selection compares double-byte characters exactly.
    l = a.list("Varno", "-l", a_ + ".txt");
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].substr(0, 9), "        3");
    l = a.list("Varno", "-l", hyou + "\\" + hyou + ".txt");
    ASSERT_EQ(l.size(), 1u);
    {
        UnicodeMode on(true);
        l = a.list("UnZip", "-l");
        ASSERT_EQ(l.size(), 3u);
        EXPECT_EQ(l[0].substr(0, 8), "\xe8\xa1\xa8/\xe8\xa1\xa8.");
        EXPECT_EQ(l[2].substr(0, 7), "\xe3\x82\xa2.txt");
    }
    // A UTF-8 name in ANSI mode arrives in code page 932.
    Listed u({{.name = "\xe6\x97\xa5\xe6\x9c\xac.txt", .data = "n", .flags = 0x800}});
    EXPECT_EQ(u.list("UnZip", "-l")[0].substr(0, 8), "\x93\xfa\x96\x7b.txt");
}

TEST(Listing, PrefixedArchivesAndSelfExtractors)
{
    const std::vector<Entry> entries = {{"a.txt", "alpha"}, {"b.txt", "beta"}};
    std::string sfx(2048, '\0');
    sfx[0] = 'M';
    sfx[1] = 'Z';
    sfx[0x3C] = static_cast<char>(0x80);
    memcpy(&sfx[0x80 + 408], "_winzip_", 8);
    const std::string data = ziptest::build_zip(entries);
    std::string fields;
    ziptest::put32(fields, static_cast<uint32_t>(data.size()));
    ziptest::put32(fields, 2048);
    memcpy(&sfx[0x80 + 408 + 16], fields.data(), 8);
    std::string lyingSfx = sfx;
    memset(&lyingSfx[0x80 + 408 + 16], 0x7F, 8);
    const struct {
        const char* what;
        std::string bytes;
        int code;
    } cases[] = {
        {"prefix, offsets from the file start", ziptest::build_zip(entries, {.prefix = std::string(1000, 'x')}), 0},
        {"prefix, offsets from the ZIP data",
         ziptest::build_zip(entries, {.prefix = std::string(1000, 'x'), .offsetsIncludePrefix = false}), 0},
        {"self-extractor with a signature behind", sfx + data + std::string(4096, 's'), 0},
        {"self-extractor whose section lies", lyingSfx + data, VARNO_ERROR_ARCHIVE_READ},
        {"comment of 1512 bytes", ziptest::build_zip(entries, {.comment = std::string(1512, 'c')}), 0},
        {"comment of 1514 bytes", ziptest::build_zip(entries, {.comment = std::string(1514, 'c')}), 0},
        {"comment of 65535 bytes", ziptest::build_zip(entries, {.comment = std::string(65535, 'c')}), 0},
        {"end record beyond the longest comment's reach, text in front",
         ziptest::build_zip(entries, {.prefix = "text ", .suffix = std::string(65536, 's')}), VARNO_ERROR_ARCHIVE_READ},
    };
    for (const auto& c : cases) {
        Listed a(c.bytes);
        const CommandResult r = run("Varno", "-l " + a.archive(), 1 << 16);
        EXPECT_EQ(r.code, c.code) << c.what;
        if (c.code == 0) {
            EXPECT_EQ(lines_of(r.output).size(), 2u) << c.what << "\n" << r.output;
        } else {
            const std::string error = c.what[0] == 's' ? "131" : "11";
            EXPECT_EQ(r.output.rfind("Zip file read error(" + error + "): ", 0), 0u) << c.what << "\n" << r.output;
        }
    }
}

std::string json_name(const std::string& line)
{
    const size_t at = line.find("\"name\": \"");
    return at == std::string::npos ? "" : line.substr(at + 9, line.size() - at - 9 - 3);
}

TEST(Listing, NamesThatGrowBeyondTheBufferInConversion)
{
    // 1199 bytes of cp1252 'é' (not UTF-8) become 2398 bytes of UTF-8: the longest run of whole
    // characters that fits is kept.
    Listed a({{std::string(1199, '\xe9'), "x"}, {"next", "y"}});
    UnicodeMode on(true);
    const std::vector<std::string> l = a.list("UnZip", "-lj");
    ASSERT_EQ(l.size(), 2u);
    std::string expected;
    for (int i = 0; i < 599; ++i)
        expected += "\xc3\xa9";
    EXPECT_EQ(json_name(l[0]), expected);
    EXPECT_EQ(json_name(l[1]), "next");  // the walk goes on
}

TEST(Listing, DoubleByteNamesThatGrowBeyondTheBufferJaLocale)
{
    std::string name;
    for (int i = 0; i < 599; ++i)
        name += "\x93\xfa";  // 日
    Listed a({{name + "a", "x"}});
    EXPECT_EQ(json_name(a.list("UnZip", "-lj")[0]), name + "a");
    UnicodeMode on(true);
    std::string expected;
    for (int i = 0; i < 399; ++i)
        expected += "\xe6\x97\xa5";
    EXPECT_EQ(json_name(a.list("UnZip", "-lj")[0]), expected);
}

}  // namespace
