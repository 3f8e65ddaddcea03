// Archive handles as a host drives them: open, FindFirst/FindNext with the entry record, every
// getter with and without a current entry, the entry count and the archive check.
#include <windows.h>

#include <vector>

#include "dll_host.h"
#include "test_files.h"
#include "varno.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

using OpenFn = HARC(WINAPI*)(HWND, LPCSTR, DWORD);
using HandleFn = int(WINAPI*)(HARC);
using WordFn = WORD(WINAPI*)(HARC);
using FindFirstFn = int(WINAPI*)(HARC, LPCSTR, EntryInfo*);
using FindNextFn = int(WINAPI*)(HARC, EntryInfo*);
using TimeExFn = BOOL(WINAPI*)(HARC, FILETIME*);
using SizeExFn = BOOL(WINAPI*)(HARC, ULARGE_INTEGER*);
using TextFn = int(WINAPI*)(HARC, LPSTR, int);

struct Family {
    const char* prefix;
    bool unzip;
};
const Family kFamilies[] = {{"UnZip", true}, {"Varno", false}};

std::string named(const Family& f, const char* rest) { return std::string(f.prefix) + rest; }

class Archive {
public:
    explicit Archive(const std::vector<Entry>& entries, const ziptest::ArchiveOptions& options = {})
    {
        write_file(dir_.file(L"h.zip"), ziptest::build_zip(entries, options));
    }
    std::string path() const { return dir_.ansi(L"h.zip"); }
    HARC open(const Family& f, DWORD mode = 0) const { return fn<OpenFn>(named(f, "OpenArchive").c_str())(nullptr, path().c_str(), mode); }

private:
    TempDir dir_;
};

EntryInfo blank_record()
{
    EntryInfo info;
    memset(&info, 0xCC, sizeof info);
    return info;
}

const std::vector<Entry> kEntries = {
    {.name = "dir/a.txt", .data = "alpha", .dosTime = 0x6123, .dosDate = 0x5A42, .externalAttributes = 0x81A40020},
    {.name = "dir/", .data = "", .versionMadeBy = 0x0014, .externalAttributes = 0x10},
    {.name = "b.bin", .data = std::string(300, 'b'), .method = 8},
};

TEST(Handles, EnumerationFillsTheRecordOfEachFamily)
{
    Archive a(kEntries);
    for (const Family& f : kFamilies) {
        HARC h = a.open(f);
        ASSERT_NE(h, nullptr) << f.prefix;
        auto findFirst = fn<FindFirstFn>(named(f, "FindFirst").c_str());
        auto findNext = fn<FindNextFn>(named(f, "FindNext").c_str());
        std::vector<EntryInfo> records;
        EntryInfo info = blank_record();
        for (int r = findFirst(h, nullptr, &info); r == 0; r = findNext(h, &info)) {
            records.push_back(info);
            info = blank_record();
        }
        ASSERT_EQ(records.size(), 3u) << f.prefix;
        const EntryInfo& first = records[0];
        EXPECT_EQ(first.originalSize, 5u);
        EXPECT_EQ(first.compressedSize, 5u);
        EXPECT_EQ(first.crc, ziptest::crc32_of("alpha"));
        EXPECT_EQ(first.flag, 0u);
        EXPECT_EQ(first.osType, 0u);
        EXPECT_EQ(first.ratio, 800);
        EXPECT_EQ(first.date, 0x5A42);
        EXPECT_EQ(first.time, 0x6123);
        EXPECT_STREQ(first.fileName, f.unzip ? "dir/a.txt" : "dir\\a.txt");
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(static_cast<uint8_t>(first.reserved[i]), 0xCC);  // not written
        EXPECT_EQ(static_cast<uint8_t>(first.fileName[512]), 0xCC);
        EXPECT_STREQ(records[1].fileName, f.unzip ? "dir/" : "dir\\");
        EXPECT_EQ(records[2].compressedSize, ziptest::deflate_raw(std::string(300, 'b')).size());
        // The UnZip family's texts, also for the first record; the Varno family leaves them empty.
        EXPECT_STREQ(records[0].attribute, f.unzip ? "-rw--" : "");
        EXPECT_STREQ(records[1].attribute, f.unzip ? "---wd" : "");
        EXPECT_STREQ(records[2].mode, f.unzip ? "Deflate" : "");
        EXPECT_STREQ(records[0].mode, f.unzip ? "Deflate" : "");
        // The end of the enumeration clears the current entry; FindFirst starts again.
        EXPECT_EQ(fn<WordFn>("UnZipGetDate")(h), VARNO_ERROR_NO_HANDLE);
        EXPECT_EQ(findNext(h, &info), -1);
        EXPECT_EQ(findFirst(h, "*", nullptr), 0);
        EXPECT_EQ(fn<WordFn>("UnZipGetDate")(h), 0x5A42);
        EXPECT_EQ(fn<HandleFn>(named(f, "CloseArchive").c_str())(h), 0);
    }
    // The slashes follow bit 31 of the mode in both families.
    HARC h = a.open(kFamilies[1], 0x80000000u);
    EntryInfo info = blank_record();
    ASSERT_EQ(fn<FindFirstFn>("VarnoFindFirst")(h, "", &info), 0);
    EXPECT_STREQ(info.fileName, "dir/a.txt");
    fn<HandleFn>("VarnoCloseArchive")(h);
}

TEST(Handles, PatternsSelectOneEntryOrAll)
{
    Archive a(kEntries);
    HARC h = a.open(kFamilies[0]);
    ASSERT_NE(h, nullptr);
    auto findFirst = fn<FindFirstFn>("UnZipFindFirst");
    auto findNext = fn<FindNextFn>("UnZipFindNext");
    EntryInfo info = blank_record();
    EXPECT_EQ(findFirst(h, "dir/a.txt", &info), 0);
    EXPECT_STREQ(info.fileName, "dir/a.txt");
    EXPECT_STREQ(info.attribute, "-rw--");
    EXPECT_EQ(findNext(h, &info), -1);
    EXPECT_EQ(findFirst(h, "b.bin", &info), 0);
    EXPECT_EQ(info.originalSize, 300u);
    EXPECT_EQ(findFirst(h, "DIR/A.TXT", &info), -1);    // case-sensitive
    EXPECT_EQ(findFirst(h, "dir\\a.txt", &info), -1);  // before any slash conversion
    EXPECT_EQ(fn<WordFn>("UnZipGetDate")(h), VARNO_ERROR_NO_HANDLE);
    int count = 0;
    for (int r = findFirst(h, "*.txt", &info); r == 0; r = findNext(h, &info))
        ++count;
    EXPECT_EQ(count, 3);
    fn<HandleFn>("UnZipCloseArchive")(h);
}

TEST(Handles, GettersWithAndWithoutACurrentEntry)
{
    std::string ntfs(4, '\0');
    ziptest::put16(ntfs, 1);
    ziptest::put16(ntfs, 24);
    ziptest::put64(ntfs, 133000000000000001ull);
    ziptest::put64(ntfs, 133000000000000002ull);
    ziptest::put64(ntfs, 133000000000000003ull);
    Archive a({{.name = "big", .data = "abc", .zip64 = true, .zip64UncompressedSize = 5000000000ull},
               {.name = "timed", .data = "12345", .externalAttributes = 0x81A40021,
                .centralExtra = ziptest::extra_record(0x000a, ntfs)},
               {.name = "full", .data = "", .uncompressedSizeField = 0xFFFFFFFF}});
    HARC h = a.open(kFamilies[0]);
    ASSERT_NE(h, nullptr);
    auto handleFn = [](const char* name) { return fn<HandleFn>(name); };
    auto findNext = fn<FindNextFn>("UnZipFindNext");
    EntryInfo info;
    ULARGE_INTEGER size = {};
    FILETIME ft = {};

    // No current entry yet: a handle never enumerated, and the null handle, answer alike.
    for (HARC handle : {h, static_cast<HARC>(nullptr)}) {
        for (const char* prefix : {"UnZip", "Varno"}) {
            EXPECT_EQ(handleFn((std::string(prefix) + "GetOriginalSize").c_str())(handle), -1);
            EXPECT_EQ(fn<SizeExFn>((std::string(prefix) + "GetOriginalSizeEx").c_str())(handle, &size), 0);
            for (const char* t : {"GetWriteTimeEx", "GetCreateTimeEx", "GetAccessTimeEx"})
                EXPECT_EQ(fn<TimeExFn>((std::string(prefix) + t).c_str())(handle, &ft), 0);
        }
        EXPECT_EQ(handleFn("UnZipGetCompressedSize")(handle), VARNO_ERROR_NO_HANDLE);
        EXPECT_EQ(handleFn("UnZipGetAttribute")(handle), -1);
        EXPECT_EQ(fn<WordFn>("UnZipGetDate")(handle) , VARNO_ERROR_NO_HANDLE);
        EXPECT_EQ(fn<WordFn>("UnZipGetTime")(handle) , VARNO_ERROR_NO_HANDLE);
        char buffer[8] = "kept";
        for (const char* t : {"UnZipGetMethod", "UnZipGetArcFileName", "UnZipGetFileName"}) {
            EXPECT_EQ(fn<TextFn>(t)(handle, buffer, sizeof buffer), VARNO_ERROR_NO_HANDLE) << t;
            EXPECT_STREQ(buffer, "kept");
        }
        for (const char* t : {"UnZipGetCRC", "UnZipGetWriteTime"})
            EXPECT_EQ(handleFn(t)(handle), VARNO_ERROR_NO_HANDLE) << t;
        for (const char* t : {"UnZipGetCreateTime", "UnZipGetAccessTime"})
            EXPECT_EQ(fn<TimeExFn>(t)(handle, &ft), VARNO_ERROR_NO_HANDLE) << t;
        EXPECT_EQ(fn<WordFn>("UnZipGetRatio")(handle) , VARNO_ERROR_NO_HANDLE);
        EXPECT_EQ(fn<WordFn>("UnZipGetArcRatio")(handle) , 0xFFFF);
        for (const char* t : {"UnZipGetArcCompressedSize", "UnZipGetArcFileSize", "UnZipGetArcOriginalSize", "UnZipGetArcOSType"})
            EXPECT_EQ(handleFn(t)(handle), -1) << t;
        EXPECT_EQ(fn<WordFn>("UnZipGetArcDate")(handle) , 0xFFFF);
        EXPECT_EQ(fn<WordFn>("UnZipGetArcTime")(handle) , 0xFFFF);
    }
    EXPECT_EQ(fn<FindFirstFn>("UnZipFindFirst")(nullptr, nullptr, &info), VARNO_ERROR_NO_HANDLE);
    EXPECT_EQ(fn<FindFirstFn>("VarnoFindFirst")(nullptr, "x", &info), VARNO_ERROR_NO_HANDLE);
    EXPECT_EQ(findNext(nullptr, &info), VARNO_ERROR_NO_HANDLE);
    EXPECT_EQ(fn<FindNextFn>("VarnoFindNext")(nullptr, &info), VARNO_ERROR_NO_HANDLE);
    EXPECT_EQ(findNext(h, &info), -1);  // never enumerated: nothing to go on with
    EXPECT_EQ(handleFn("UnZipCloseArchive")(nullptr), VARNO_ERROR_NO_HANDLE);
    EXPECT_EQ(handleFn("VarnoCloseArchive")(nullptr), VARNO_ERROR_NO_HANDLE);

    // The ZIP64 entry.
    ASSERT_EQ(fn<FindFirstFn>("UnZipFindFirst")(h, "big", &info), 0);
    EXPECT_EQ(info.originalSize, 0xFFFFFFFFu);
    for (const char* prefix : {"UnZip", "Varno"}) {
        EXPECT_EQ(handleFn((std::string(prefix) + "GetOriginalSize").c_str())(h), -2);
        size.QuadPart = 0;
        EXPECT_EQ(fn<SizeExFn>((std::string(prefix) + "GetOriginalSizeEx").c_str())(h, &size), 1);
        EXPECT_EQ(size.LowPart, 705032704u);
        EXPECT_EQ(size.HighPart, 1u);
        EXPECT_EQ(fn<TimeExFn>((std::string(prefix) + "GetWriteTimeEx").c_str())(h, &ft), 0);  // no time records
    }
    EXPECT_EQ(handleFn("UnZipGetCompressedSize")(h), -1);  // the 32-bit field: 0xFFFFFFFF

    // The entry with NTFS times and the fixed answers.
    ASSERT_EQ(fn<FindFirstFn>("UnZipFindFirst")(h, "timed", &info), 0);
    EXPECT_EQ(handleFn("UnZipGetOriginalSize")(h), 5);
    EXPECT_EQ(handleFn("UnZipGetCompressedSize")(h), 5);
    EXPECT_EQ(handleFn("UnZipGetAttribute")(h), static_cast<int>(0x81A40021));
    EXPECT_EQ(fn<WordFn>("UnZipGetDate")(h) , 0x5A21);
    EXPECT_EQ(fn<WordFn>("UnZipGetTime")(h) , 0x6000);
    const struct {
        const char* name;
        uint64_t value;
    } times[] = {{"GetWriteTimeEx", 133000000000000001ull}, {"GetAccessTimeEx", 133000000000000002ull},
                 {"GetCreateTimeEx", 133000000000000003ull}};
    for (const auto& t : times) {
        for (const char* prefix : {"UnZip", "Varno"}) {
            ft = {};
            EXPECT_EQ(fn<TimeExFn>((std::string(prefix) + t.name).c_str())(h, &ft), 1) << t.name;
            EXPECT_EQ(static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime, t.value) << t.name;
        }
    }
    char text[8] = "xxxxxxx";
    EXPECT_EQ(fn<TextFn>("UnZipGetMethod")(h, text, sizeof text), 0);
    EXPECT_STREQ(text, "def");
    EXPECT_EQ(fn<TextFn>("UnZipGetMethod")(h, text, 2), 0);
    EXPECT_STREQ(text, "d");
    text[0] = 'q';
    EXPECT_EQ(fn<TextFn>("UnZipGetMethod")(h, text, 0), 0);
    EXPECT_EQ(text[0], 'q');
    EXPECT_EQ(fn<TextFn>("UnZipGetFileName")(h, text, sizeof text), 0);
    EXPECT_STREQ(text, "");
    char path[MAX_PATH] = "x";
    EXPECT_EQ(fn<TextFn>("UnZipGetArcFileName")(h, path, sizeof path), 0);
    EXPECT_EQ(path, a.path());
    strcpy(text, "kept");
    EXPECT_EQ(fn<TextFn>("UnZipGetArcFileName")(h, text, sizeof text), 0);
    EXPECT_STREQ(text, "");  // does not fit: left empty, never cut unterminated
    EXPECT_EQ(handleFn("UnZipGetCRC")(h), 0);
    EXPECT_EQ(handleFn("UnZipGetWriteTime")(h), 0);
    EXPECT_EQ(fn<TimeExFn>("UnZipGetCreateTime")(h, &ft), 0);
    EXPECT_EQ(fn<TimeExFn>("UnZipGetAccessTime")(h, &ft), 0);
    EXPECT_EQ(fn<WordFn>("UnZipGetRatio")(h), 80);
    EXPECT_EQ(fn<WordFn>("UnZipGetArcRatio")(h), 800);
    EXPECT_EQ(handleFn("UnZipGetArcCompressedSize")(h), 0x8000);
    EXPECT_EQ(handleFn("UnZipGetArcFileSize")(h), 0x8000);
    EXPECT_EQ(handleFn("UnZipGetArcOriginalSize")(h), 0x8000);
    EXPECT_EQ(fn<WordFn>("UnZipGetArcDate")(h), 0);
    EXPECT_EQ(fn<WordFn>("UnZipGetArcTime")(h), 0);
    EXPECT_EQ(handleFn("UnZipGetArcOSType")(h), 0);

    // A 32-bit size of 0xFFFFFFFF without a ZIP64 record does not fit either.
    ASSERT_EQ(fn<FindFirstFn>("UnZipFindFirst")(h, "full", &info), 0);
    EXPECT_EQ(handleFn("UnZipGetOriginalSize")(h), -2);
    EXPECT_EQ(fn<SizeExFn>("UnZipGetOriginalSizeEx")(h, &size), 1);
    EXPECT_EQ(size.QuadPart, 0xFFFFFFFFull);
    handleFn("UnZipCloseArchive")(h);
}

TEST(Handles, LongNamesAndUnreadableDirectories)
{
    const std::string longName(600, 'L');
    Archive a({{longName, "x"}});
    HARC h = a.open(kFamilies[0]);
    EntryInfo info = blank_record();
    ASSERT_EQ(fn<FindFirstFn>("UnZipFindFirst")(h, nullptr, &info), 0);
    EXPECT_EQ(std::string(info.fileName), std::string(511, 'L'));
    EXPECT_EQ(static_cast<uint8_t>(info.fileName[512]), 0xCC);
    fn<HandleFn>("UnZipCloseArchive")(h);

    // The directory cannot be loaded (nor rebuilt, behind text): 30, and the handle still closes.
    Archive beyond({{"a", "1"}}, {.prefix = std::string(100, 'p'), .cdSizeField = 0x7FFFFFF0});
    h = beyond.open(kFamilies[1]);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(fn<FindFirstFn>("VarnoFindFirst")(h, nullptr, &info), 30);
    EXPECT_EQ(fn<FindFirstFn>("VarnoFindFirst")(h, "a", &info), 30);
    EXPECT_EQ(fn<HandleFn>("VarnoCloseArchive")(h), 0);
    EXPECT_EQ(fn<int(WINAPI*)(LPCSTR)>("UnZipGetFileCount")(beyond.path().c_str()), -1);

    // An archive that does not open: null with the system's error, and the running count back at 0.
    TempDir dir;
    write_file(dir.file(L"text.zip"), std::string(3000, 't'));
    SetLastError(0);
    EXPECT_EQ(fn<OpenFn>("UnZipOpenArchive")(nullptr, dir.ansi(L"text.zip").c_str(), 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_FORMAT));
    EXPECT_EQ(fn<OpenFn>("VarnoOpenArchive")(nullptr, dir.ansi(L"missing.zip").c_str(), 0), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(fn<OpenFn>("VarnoOpenArchive")(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(fn<BOOL(WINAPI*)()>("UnZipGetRunning")(), 0);
}

TEST(Handles, FileCount)
{
    auto count = fn<int(WINAPI*)(LPCSTR)>("UnZipGetFileCount");
    Archive three(kEntries);
    EXPECT_EQ(count(three.path().c_str()), 3);
    Archive many({{"a", "1"}}, {.zip64EndRecords = true, .zip64EntryCount = 0x100000001ull});
    EXPECT_EQ(count(many.path().c_str()), -1);  // 0xFFFFFFFF
    EXPECT_EQ(count("Z:\\no\\such\\archive.zip"), -1);
    EXPECT_EQ(GetProcAddress(varno_module(), "VarnoGetFileCount"), nullptr);
}

TEST(Handles, CheckArchive)
{
    TempDir dir;
    const std::string zip = ziptest::build_zip(kEntries);
    std::string sfx(2048, '\0');
    sfx[0] = 'M';
    sfx[1] = 'Z';
    sfx[0x3C] = static_cast<char>(0x80);
    memcpy(&sfx[0x80 + 488], "_winzip_", 8);
    // A later local header also qualifies, so the patched archives hold one entry.
    const std::string one = ziptest::build_zip({{"a.txt", "alpha"}});
    std::string badVersion = one, encryptedHeaders = one, strong = one;
    badVersion[4] = 9;
    encryptedHeaders[6] = 0x20;
    strong[7] = 0x20;  // flag bit 0x2000
    const struct {
        const wchar_t* file;
        std::string bytes;
        BOOL expected;
    } cases[] = {
        {L"plain.zip", zip, TRUE},
        {L"empty.zip", ziptest::build_zip({}), FALSE},
        {L"prefix200.zip", std::string(200, 'p') + zip, TRUE},
        {L"prefix300.zip", std::string(300, 'p') + zip, FALSE},
        {L"sfx.exe", sfx + zip, TRUE},
        {L"short.zip", zip.substr(0, 40), FALSE},  // cut short: no end record
        {L"shorter.zip", zip.substr(0, 32), FALSE},
        {L"version.zip", badVersion, FALSE},
        {L"patched.zip", encryptedHeaders, FALSE},
        {L"strong.zip", strong, FALSE},
        {L"nothing.zip", "", FALSE},
    };
    for (const auto& c : cases) {
        write_file(dir.file(c.file), c.bytes);
        for (const char* e : {"UnZipCheckArchive", "VarnoCheckArchive"})
            EXPECT_EQ(fn<BOOL(WINAPI*)(LPCSTR, int)>(e)(dir.ansi(c.file).c_str(), 0), c.expected) << to_ansi(c.file) << e;
    }
    EXPECT_EQ(fn<BOOL(WINAPI*)(LPCSTR, int)>("UnZipCheckArchive")(dir.ansi(L"missing.zip").c_str(), 0), FALSE);
    EXPECT_EQ(fn<BOOL(WINAPI*)(LPCSTR, int)>("UnZipCheckArchive")(nullptr, 0), FALSE);
}

TEST(Handles, MoreThan65535EntriesThroughZip64EndRecords)
{
    std::vector<Entry> entries;
    for (int i = 0; i < 70000; ++i)
        entries.push_back({"e" + std::to_string(i), ""});
    Archive a(entries, {.zip64EndRecords = true});
    EXPECT_EQ(fn<int(WINAPI*)(LPCSTR)>("UnZipGetFileCount")(a.path().c_str()), 70000);
    HARC h = a.open(kFamilies[1]);
    ASSERT_NE(h, nullptr);
    EntryInfo info;
    int count = 0;
    for (int r = fn<FindFirstFn>("VarnoFindFirst")(h, nullptr, &info); r == 0; r = fn<FindNextFn>("VarnoFindNext")(h, &info))
        ++count;
    EXPECT_EQ(count, 70000);
    EXPECT_STREQ(info.fileName, "e69999");
    fn<HandleFn>("VarnoCloseArchive")(h);
}

}  // namespace
