// Archives made by zip, 7zz and Python's zipfile (tests/data/make_tool_archives.sh): what the
// listing and the handle exports report must agree with what `unzip -Z -T` and `7zz l -slt`
// report for the same archives (tests/data/tool_reports.py joins those reports).
#include <windows.h>

#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"
#include "varno.h"

using namespace dlltest;

namespace {

struct Expected {
    std::string archive, name, attributes, version, size, tbxl, method, datetime, packed, crc, modified;
    bool folder, ntfs;
};

std::string folder_path() { return VARNO_TOOL_ARCHIVES; }

std::map<std::string, std::vector<Expected>> read_expected()
{
    std::map<std::string, std::vector<Expected>> all;
    std::ifstream in(folder_path() + "/expected.tsv", std::ios::binary);
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');)
            f.push_back(field);
        if (f.size() == 12)
            f.push_back("");
        EXPECT_EQ(f.size(), 13u) << line;
        if (f.size() != 13)
            continue;
        all[f[0]].push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10], f[11] == "1", f[12] == "1"});
    }
    return all;
}

std::string right(const std::string& text, size_t width) { return std::string(width > text.size() ? width - text.size() : 0, ' ') + text; }

// "20240304.050608" as "2024-03-04 05:06:08".
std::string stamp_text(const std::string& s)
{
    return s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2) + " " + s.substr(9, 2) + ":" + s.substr(11, 2) + ":" +
           s.substr(13, 2);
}

// 7zz's "2024-03-04 05:06:08.0000000" (UTC here) as a FILETIME value.
uint64_t filetime_of(const std::string& s)
{
    SYSTEMTIME t = {};
    t.wYear = static_cast<WORD>(std::stoi(s.substr(0, 4)));
    t.wMonth = static_cast<WORD>(std::stoi(s.substr(5, 2)));
    t.wDay = static_cast<WORD>(std::stoi(s.substr(8, 2)));
    t.wHour = static_cast<WORD>(std::stoi(s.substr(11, 2)));
    t.wMinute = static_cast<WORD>(std::stoi(s.substr(14, 2)));
    t.wSecond = static_cast<WORD>(std::stoi(s.substr(17, 2)));
    FILETIME ft;
    SystemTimeToFileTime(&t, &ft);
    uint64_t v = static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime;
    if (s.size() > 20)
        v += std::stoull(s.substr(20));
    return v;
}

std::string local_text(uint64_t utc)
{
    FILETIME ft = {static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)}, local;
    SYSTEMTIME t;
    FileTimeToLocalFileTime(&ft, &local);
    FileTimeToSystemTime(&local, &t);
    char text[32];
    wsprintfA(text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// The short attribute text of the entry record from zipinfo's long one, and 'd' for folders.
std::string record_attributes(const Expected& e)
{
    const std::string& a = e.attributes;
    std::string text;
    if (e.version.substr(4) == "fat")
        text = std::string(1, a[4] == 'a' ? 'a' : '-') + (a[6] == 's' ? 's' : '-') + (a[5] == 'h' ? 'h' : '-') + (a[2] == 'w' ? 'w' : '-');
    else
        text = a.substr(0, 4);
    return text + (e.folder ? 'd' : '-');
}

// The Unix permission bits of zipinfo's ten-character text.
uint32_t permissions_of(const std::string& a)
{
    uint32_t mode = 0;
    for (int i = 0; i < 9; ++i)
        if (a[1 + i] != '-')
            mode |= 0400u >> i;
    return mode;
}

// The archive's names in the library's code page at the moment.
std::string in_code_page(const std::string& utf8, bool unicode)
{
    return unicode ? utf8 : to_ansi(from_utf8(utf8));
}

void compare_with_tools(const std::string& archive, const std::vector<Expected>& expected, bool unicode)
{
    SCOPED_TRACE(archive + (unicode ? " (UTF-8)" : " (ANSI)"));
    const std::string path = folder_path() + "/" + archive + ".zip";
    ASSERT_FALSE(expected.empty());

    // The zipinfo-style layout line by line.
    CommandResult r = run("UnZip", "-Z \"" + path + "\"", 1 << 20);
    ASSERT_EQ(r.code, 0) << r.output;
    std::vector<std::string> lines = lines_of(r.output);
    ASSERT_EQ(lines.size(), expected.size()) << r.output;
    for (size_t i = 0; i < expected.size(); ++i) {
        const Expected& e = expected[i];
        const std::string line = e.attributes.substr(0, 7) + "     " + e.version + " " + right(e.size, 8) + " " + e.tbxl + " " +
                                 e.method + " " + stamp_text(e.datetime).substr(0, 16) + " " + in_code_page(e.name, unicode);
        EXPECT_EQ(lines[i], line);
    }

    // The JSON layout: sizes, names and the full time (NTFS times to the millisecond).
    r = run("UnZip", "-lj \"" + path + "\"", 1 << 20);
    ASSERT_EQ(r.code, 0);
    lines = lines_of(r.output);
    ASSERT_EQ(lines.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const Expected& e = expected[i];
        const std::string date = e.ntfs ? local_text(filetime_of(e.modified)) : stamp_text(e.datetime) + ".000";
        EXPECT_EQ(lines[i], "{\"size\": " + right(e.size, 8) + ", \"comp\": " + right(e.packed, 8) + ", \"date\": \"" + date +
                                "\", \"name\": \"" + in_code_page(e.name, unicode) + "\"},");
    }

    // The handle exports.
    HARC h = fn<HARC(WINAPI*)(HWND, LPCSTR, DWORD)>("UnZipOpenArchive")(nullptr, path.c_str(), 0);
    ASSERT_NE(h, nullptr);
    auto findFirst = fn<int(WINAPI*)(HARC, LPCSTR, EntryInfo*)>("UnZipFindFirst");
    auto findNext = fn<int(WINAPI*)(HARC, EntryInfo*)>("UnZipFindNext");
    auto writeTime = fn<BOOL(WINAPI*)(HARC, FILETIME*)>("UnZipGetWriteTimeEx");
    auto attribute = fn<int(WINAPI*)(HARC)>("UnZipGetAttribute");
    EntryInfo info;
    size_t i = 0;
    for (int result = findFirst(h, nullptr, &info); result == 0; result = findNext(h, &info), ++i) {
        ASSERT_LT(i, expected.size());
        const Expected& e = expected[i];
        EXPECT_EQ(info.fileName, in_code_page(e.name, unicode));
        EXPECT_EQ(std::to_string(info.originalSize), e.size);
        EXPECT_EQ(std::to_string(info.compressedSize), e.packed);
        EXPECT_EQ(info.crc, e.crc.empty() ? 0u : std::stoul(e.crc, nullptr, 16)) << e.name;
        const std::string& s = e.datetime;
        EXPECT_EQ(info.date, (std::stoi(s.substr(0, 4)) - 1980) << 9 | std::stoi(s.substr(4, 2)) << 5 | std::stoi(s.substr(6, 2)));
        EXPECT_EQ(info.time, std::stoi(s.substr(9, 2)) << 11 | std::stoi(s.substr(11, 2)) << 5 | std::stoi(s.substr(13, 2)) / 2);
        EXPECT_EQ(std::string(info.attribute), record_attributes(e)) << e.name;
        // The label of a method read beyond the Deflate family, without blanks.
        const bool deflateFamily = e.method == "stor" || e.method.rfind("def", 0) == 0 || e.method.rfind("d64", 0) == 0;
        EXPECT_EQ(std::string(info.mode), deflateFamily ? "Deflate" : e.method.substr(0, e.method.find(' '))) << e.name;
        if (e.version.substr(4) == "unx")
            EXPECT_EQ((static_cast<uint32_t>(attribute(h)) >> 16) & 0777, permissions_of(e.attributes)) << e.name;
        FILETIME ft = {};
        EXPECT_EQ(writeTime(h, &ft), e.ntfs ? 1 : 0) << e.name;
        if (e.ntfs)
            EXPECT_EQ(static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime, filetime_of(e.modified)) << e.name;
    }
    EXPECT_EQ(i, expected.size());
    fn<int(WINAPI*)(HARC)>("UnZipCloseArchive")(h);
}

TEST(ToolArchives, ListingAndHandlesMatchTheToolsBothLocales)
{
    const auto expected = read_expected();
    for (const char* archive : {"zip", "7z", "py", "m-zip-bzip2", "m-7z-lzma", "m-7z-ppmd", "s-shrink", "s-reduce",
                                "s-implode"}) {
        ASSERT_TRUE(expected.count(archive)) << archive;
        UnicodeMode on(true);
        compare_with_tools(archive, expected.at(archive), true);
    }
}

TEST(ToolArchives, DoubleByteNamesJaLocale)
{
    ASSERT_EQ(GetACP(), 932u);
    const auto expected = read_expected();
    ASSERT_TRUE(expected.count("cp932"));
    compare_with_tools("cp932", expected.at("cp932"), false);
    UnicodeMode on(true);
    compare_with_tools("cp932", expected.at("cp932"), true);
}

}  // namespace
