// Archives as other tools and projects make them (tests/data/make_wild_archives.sh), by class:
// both command families must extract the trees that `7zz x` and `unzip` extract where those
// tools succeed, while listings, records and selections keep the interface code page. Archives
// that cannot be used end every call with their result and one line naming them, and nothing
// is written. Every class runs in the default and the Japanese prefix.
#include <windows.h>

#include <algorithm>
#include <set>
#include <string.h>

#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"
#include "varno.h"
#include "window_watch.h"
#include "zip_writer.h"

using namespace dlltest;

namespace {

using FindFirstFn = int(WINAPI*)(HARC, LPCSTR, EntryInfo*);
using FindNextFn = int(WINAPI*)(HARC, EntryInfo*);
using OpenFn = HARC(WINAPI*)(HWND, LPCSTR, DWORD);
using CountFn = int(WINAPI*)(LPCSTR);

std::wstring wild(const std::wstring& name) { return from_utf8(VARNO_WILD_ARCHIVES) + L"\\" + name; }

// Runs "options archive out [names]" with out in dir; nothing may appear in dir but out, and
// no message box (a file that cannot be created shows one) may appear.
CommandResult extract(const char* family, const std::string& options, const std::wstring& archive, const TempDir& dir,
                      const std::string& names = "")
{
    std::wstring box;
    CommandResult r;
    {
        WindowWatch watch(L"varno.dll", [&](HWND window) {
            box = message_box_text(window);
            press(window, IDOK);
        });
        r = run(family, options + " " + quoted(to_ansi(archive)) + " " + quoted(dir.ansi(L"out")) + names);
    }
    EXPECT_EQ(box, L"") << to_utf8(archive);
    for (const auto& [name, file] : snapshot_tree(dir.path()))
        EXPECT_TRUE(name == L"out" || name.rfind(L"out\\", 0) == 0 || name == L"t.zip") << to_utf8(name);
    return r;
}

// The tree below out against a reference tree, optionally flattened (what -j extracts).
void expect_tree(const TempDir& dir, const std::wstring& reference, bool junked = false)
{
    std::map<std::wstring, TreeFile> expected;
    for (const auto& [name, file] : snapshot_tree(reference)) {
        if (!junked)
            expected[name] = file;
        else if (!file.directory)
            expected[name.substr(name.rfind(L'\\') + 1)] = file;
    }
    const auto actual = snapshot_tree(dir.file(L"out"));
    ASSERT_FALSE(expected.empty()) << to_utf8(reference);
    std::set<std::wstring> names;
    for (const auto& [name, file] : actual)
        if (!junked || !file.directory)
            names.insert(name);
    for (const auto& [name, file] : expected) {
        SCOPED_TRACE(to_utf8(reference + L": " + name));
        const auto found = actual.find(name);
        ASSERT_NE(found, actual.end());
        names.erase(name);
        EXPECT_EQ(found->second.directory, file.directory);
        EXPECT_EQ(found->second.bytes, file.bytes);
        if (!file.directory)
            EXPECT_EQ(found->second.writeTime, file.writeTime);
    }
    EXPECT_TRUE(names.empty()) << to_utf8(*names.begin());
}

// Both command families against every tool that extracted the archive.
void expect_tools_agree(const std::wstring& archive)
{
    int references = 0;
    for (const wchar_t* tool : {L"ref7-", L"refu-"}) {
        const std::wstring reference = wild(tool + archive);
        if (GetFileAttributesW(reference.c_str()) == INVALID_FILE_ATTRIBUTES)
            continue;
        ++references;
        for (const char* family : {"UnZip", "Varno"}) {
            TempDir dir;
            const CommandResult r = extract(family, "-o", wild(archive + L".zip"), dir);
            EXPECT_EQ(r.code, 0) << to_utf8(archive) << " " << family << "\n" << r.output;
            expect_tree(dir, reference);
        }
    }
    EXPECT_GT(references, 0) << to_utf8(archive);
}

// The names FindFirst and FindNext give, with the archive's '/'.
std::vector<std::string> record_names(const std::wstring& archive)
{
    std::vector<std::string> names;
    HARC h = fn<OpenFn>("UnZipOpenArchive")(nullptr, to_ansi(archive).c_str(), 0);
    EXPECT_NE(h, nullptr) << to_utf8(archive);
    EntryInfo info;
    for (int r = fn<FindFirstFn>("UnZipFindFirst")(h, nullptr, &info); r == 0; r = fn<FindNextFn>("UnZipFindNext")(h, &info))
        names.push_back(info.fileName);
    fn<int(WINAPI*)(HARC)>("UnZipCloseArchive")(h);
    return names;
}

TEST(WildBothLocales, NamesOutsideTheAnsiCodePageKeepTheirCharacters)
{
    for (const wchar_t* archive : {L"utf8-zip", L"utf8-7z", L"utf8-bsdtar", L"utf8-py", L"utf8-up"}) {
        SCOPED_TRACE(to_utf8(archive));
        expect_tools_agree(archive);
        const auto reference = snapshot_tree(wild(std::wstring(L"refu-") + archive));
        // Records, listings and selections speak the system code page; the files keep their names.
        const std::vector<std::string> names = record_names(wild(std::wstring(archive) + L".zip"));
        for (const auto& [name, file] : reference) {
            if (file.directory)
                continue;
            std::wstring slashed = name;
            std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
            // bsdtar stores "./" in front of every name.
            const std::string ansi = to_ansi(slashed);
            const auto record = std::find_if(names.begin(), names.end(), [&](const std::string& n) { return n == ansi || n == "./" + ansi; });
            ASSERT_NE(record, names.end()) << ansi;
            TempDir dir;
            const CommandResult r = extract("Varno", "--q -o", wild(std::wstring(archive) + L".zip"), dir, " " + quoted(*record));
            EXPECT_EQ(r.code, 0) << r.output;
            // The report of the extracted file speaks the system code page too.
            EXPECT_EQ(r.output.rfind(dir.ansi(L"out\\"), 0), 0u) << r.output;
            EXPECT_NE(r.output.find(to_ansi(name)), std::string::npos) << r.output;
            EXPECT_EQ(read_file(dir.file(L"out\\" + name)), file.bytes) << ansi;
            EXPECT_EQ(snapshot_tree(dir.file(L"out")).size(), static_cast<size_t>(std::count(name.begin(), name.end(), L'\\') + 1));
        }
        for (const char* family : {"UnZip", "Varno"}) {
            TempDir dir;
            EXPECT_EQ(extract(family, "-o -j", wild(std::wstring(archive) + L".zip"), dir).code, 0);
            expect_tree(dir, wild(std::wstring(L"refu-") + archive), true);
        }
    }
}

// A self-extractor head whose "_winzip_" section holds the ZIP data at 2048.
std::string sfx_head(size_t dataSize)
{
    std::string head(2048, '\0');
    head[0] = 'M';
    head[1] = 'Z';
    head[0x3C] = static_cast<char>(0x80);
    memcpy(&head[0x80 + 408], "_winzip_", 8);
    std::string fields;
    ziptest::put32(fields, static_cast<uint32_t>(dataSize));
    ziptest::put32(fields, 2048);
    memcpy(&head[0x80 + 408 + 16], fields.data(), 8);
    return head;
}

TEST(WildBothLocales, EndRecordsBehindLongComments)
{
    for (const wchar_t* archive : {L"comment-jar1513", L"comment-jar65535", L"comment-whl4000sig", L"comment-zip4000",
                                   L"comment-py65535", L"comment-sfx65535"})
        expect_tools_agree(archive);

    // Every export agrees on the writer's archives, the self-extractor's included.
    const std::vector<ziptest::Entry> entries = {{"a.txt", "alpha"}, {.name = "d/b.txt", .data = text_of(5000), .method = 8}};
    std::string signedComment(4000, 'c');
    signedComment.replace(10, 4, "PK\5\6");
    const std::string data = ziptest::build_zip(entries, {.comment = std::string(65000, 'c')});
    const std::string cases[] = {
        ziptest::build_zip(entries, {.comment = std::string(1513, 'c')}),
        ziptest::build_zip(entries, {.comment = std::string(4000, 'c')}),
        ziptest::build_zip(entries, {.comment = std::string(65535, 'c')}),
        ziptest::build_zip(entries, {.comment = signedComment}),
        sfx_head(data.size()) + data,
    };
    for (const std::string& bytes : cases) {
        TempDir dir;
        write_file(dir.file(L"t.zip"), bytes);
        const std::string path = dir.ansi(L"t.zip");
        for (const char* family : {"UnZip", "Varno"}) {
            EXPECT_EQ(extract(family, "-o", dir.file(L"t.zip"), dir).code, 0) << bytes.size();
            EXPECT_EQ(read_file(dir.file(L"out\\d\\b.txt")), entries[1].data);
            EXPECT_EQ(lines_of(run(family, "-l " + quoted(path)).output).size(), 2u);
        }
        EXPECT_EQ(record_names(dir.file(L"t.zip")), (std::vector<std::string>{"a.txt", "d/b.txt"}));
        EXPECT_EQ(fn<CountFn>("UnZipGetFileCount")(path.c_str()), 2);
        EXPECT_EQ(fn<BOOL(WINAPI*)(LPCSTR, int)>("UnZipCheckArchive")(path.c_str(), 0), TRUE);
    }
}

TEST(WildBothLocales, Zip64ArchivesWithStubsInFront)
{
    for (const wchar_t* stub : {L"", L"stub1-", L"stub713-", L"stub70000-"}) {
        for (const wchar_t* tool : {L"z64-zip", L"z64-bsdtar", L"z64-py"})
            expect_tools_agree(stub + std::wstring(tool));
        // 7zz's ZIP64 archive of 65,601 entries: counted, and one entry extracted.
        const std::wstring archive = stub + std::wstring(L"z64-7z");
        EXPECT_EQ(fn<CountFn>("UnZipGetFileCount")(to_ansi(wild(archive + L".zip")).c_str()), 65601);
        for (const char* family : {"UnZip", "Varno"}) {
            TempDir dir;
            EXPECT_EQ(extract(family, "-o", wild(archive + L".zip"), dir, " data.txt").code, 0);
            expect_tree(dir, wild(L"refu-" + archive));
        }
    }
}

TEST(WildBothLocales, DirectoriesMarkedOnlyByAttributes)
{
    expect_tools_agree(L"attrdir-fat");
    expect_tools_agree(L"attrdir-unix");
}

TEST(WildBothLocales, UnusableArchivesFailEveryCallWithTheirReport)
{
    using ziptest::build_zip;
    const std::vector<ziptest::Entry> one = {{"a.txt", "alpha"}};
    std::string lostZip64 = build_zip(one, {.prefix = std::string(713, 'M'), .offsetsIncludePrefix = false, .zip64EndRecords = true});
    lostZip64[lostZip64.find(std::string("PK\6\6", 4)) + 3] = 'x';
    // An encrypted directory: masked local headers, and the archive extra data record in front.
    std::string encrypted = build_zip({{.name = "a.txt", .data = "alpha", .flags = 0x2001}});
    const size_t cd = encrypted.find(std::string("PK\1\2", 4));
    encrypted.replace(cd, 8, std::string("PK\6\x08\x10\0\0\0", 8));
    std::string masked = build_zip({{.name = "a.txt", .data = "alpha", .flags = 0x2041}});
    masked[masked.find(std::string("PK\1\2", 4)) + 1] = 'x';
    const struct {
        const char* what;
        std::string bytes;
        int code;
        bool opens;  // the handle opens and FindFirst answers 30
    } cases[] = {
        {"no end record", std::string(5000, 't'), VARNO_ERROR_ARCHIVE_READ, false},
        {"a text holding a local header", "a text holding PK\3\4 " + std::string(5000, 't'), VARNO_ERROR_ARCHIVE_READ, false},
        {"cut in the first local header's name", build_zip(one).substr(0, 32), VARNO_ERROR_ARCHIVE_READ, true},
        {"ZIP64 end record not found", lostZip64, VARNO_ERROR_ARCHIVE_READ, false},
        {"directory outside the file, text in front",
         build_zip(one, {.prefix = std::string(100, 'p'), .cdSizeField = 0x7FFFFFF0}), VARNO_ERROR_ARCHIVE_READ, true},
        {"encrypted directory", encrypted, VARNO_ERROR_METHOD, true},
        {"masked local headers", masked, VARNO_ERROR_METHOD, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        write_file(dir.file(L"t.zip"), c.bytes);
        const std::string path = dir.ansi(L"t.zip");
        const std::string report = (c.code == VARNO_ERROR_METHOD ? "Encrypted central directory not support : " : "Zip file read error(11): ") + path;
        for (const char* family : {"UnZip", "Varno"}) {
            for (const char* options : {"-o", "-l", "-o -qq"}) {
                const CommandResult r = extract(family, options, dir.file(L"t.zip"), dir);
                EXPECT_EQ(r.code, c.code) << family << " " << options;
                EXPECT_EQ(r.output, strstr(options, "qq") ? "" : report) << family << " " << options;
            }
        }
        char text[256];
        void* block = nullptr;
        EXPECT_EQ(fn<int(WINAPI*)(HWND, LPCSTR, LPSTR, DWORD, void**)>("VarnoParam")(nullptr, (quoted(path) + " a.txt").c_str(), text, 256, &block), c.code);
        EXPECT_EQ(block, nullptr);
        ULONGLONG time = 0, size = 0;
        WORD attributes = 0;
        EXPECT_EQ(fn<int(WINAPI*)(HWND, LPCSTR, LPBYTE, DWORD, ULONGLONG*, WORD*, ULONGLONG*)>("UnZipExtractMem")(
                      nullptr, (quoted(path) + " a.txt").c_str(), reinterpret_cast<LPBYTE>(text), 256, &time, &attributes, &size),
                  c.code);
        EXPECT_EQ(fn<CountFn>("UnZipGetFileCount")(path.c_str()), -1);
        for (const char* open : {"UnZipOpenArchive", "VarnoOpenArchive"}) {
            HARC h = fn<OpenFn>(open)(nullptr, path.c_str(), 0);
            EXPECT_EQ(h != nullptr, c.opens) << open;
            EntryInfo info;
            if (h)
                EXPECT_EQ(fn<FindFirstFn>("UnZipFindFirst")(h, nullptr, &info), 30);
            if (h)
                fn<int(WINAPI*)(HARC)>("UnZipCloseArchive")(h);
        }
        EXPECT_FALSE(file_exists(dir.file(L"out")));
    }
}

uint32_t field(const std::string& bytes, size_t at, int size)
{
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

std::string backslashed(std::string name)
{
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// A sound archive's entries in the order of their local headers, each with where its data (and
// descriptor) end: the next local header, or the directory.
struct StoredEntry {
    std::string name;
    uint64_t start, end;
};
struct ArchiveLayout {
    std::vector<StoredEntry> entries;
    uint64_t directory, endRecord;
};

ArchiveLayout layout_of(const std::string& zip)
{
    ArchiveLayout layout;
    layout.endRecord = zip.rfind(std::string("PK\5\6", 4));
    layout.directory = layout.endRecord - field(zip, layout.endRecord + 12, 4);
    const uint64_t base = layout.directory - field(zip, layout.endRecord + 16, 4);
    for (uint64_t at = layout.directory; at < layout.endRecord;
         at += 46 + field(zip, at + 28, 2) + field(zip, at + 30, 2) + field(zip, at + 32, 2))
        layout.entries.push_back({zip.substr(at + 46, field(zip, at + 28, 2)), base + field(zip, at + 42, 4), 0});
    std::sort(layout.entries.begin(), layout.entries.end(), [](const StoredEntry& a, const StoredEntry& b) { return a.start < b.start; });
    for (size_t i = 0; i < layout.entries.size(); ++i)
        layout.entries[i].end = i + 1 < layout.entries.size() ? layout.entries[i + 1].start : layout.directory;
    return layout;
}

// What a cut archive holds: the entries that lie whole before the cut, and the one it runs
// through, when that one's header and name are whole.
struct CutContents {
    std::vector<std::string> whole;
    std::string cut;
};

CutContents contents_of(const ArchiveLayout& layout, uint64_t length)
{
    CutContents contents;
    for (const StoredEntry& e : layout.entries) {
        if (e.end <= length) {
            contents.whole.push_back(e.name);
        } else {
            if (e.start + 30 + e.name.size() <= length)
                contents.cut = e.name;
            break;
        }
    }
    return contents;
}

// The files below out against those of the source tree named by the whole entries.
void expect_whole_files(const std::wstring& out, const std::vector<std::string>& whole, const std::map<std::wstring, TreeFile>& tree)
{
    std::set<std::wstring> expected;
    for (const std::string& name : whole) {
        if (name.back() != '/')
            expected.insert(from_utf8(backslashed(name)));
    }
    std::set<std::wstring> found;
    for (const auto& [name, file] : snapshot_tree(out)) {
        if (file.directory)
            continue;
        found.insert(name);
        EXPECT_TRUE(tree.count(name) && tree.at(name).bytes == file.bytes) << to_utf8(name);
    }
    EXPECT_EQ(found, expected);
}

TEST(Wild, ArchivesCutShortGiveEveryWholeEntry)
{
    StorageAnswerScope fast(StorageAnswer::fast);
    const auto tree = snapshot_tree(wild(L"cuttree"));
    for (const wchar_t* archive : {L"cut-zip", L"cut-7z", L"cut-py", L"cut-sfx", L"cut-7zDeflate64", L"cut-7zXZ",
                                   L"cut-7zZipCrypto", L"cut-7zAES256", L"cut-zstd"}) {
        const std::string zip = read_file(wild(std::wstring(archive) + L".zip"));
        const ArchiveLayout layout = layout_of(zip);
        const size_t n = layout.entries.size();
        ASSERT_GE(n, 64u) << to_utf8(archive);
        const auto long_entry = std::find_if(layout.entries.begin() + n * 3 / 5, layout.entries.end(),
                                             [](const StoredEntry& e) { return e.end - e.start > 2000; });
        ASSERT_NE(long_entry, layout.entries.end());
        const struct {
            const char* where;
            uint64_t length;
        } cuts[] = {
            {"in a local header", layout.entries[n * 2 / 5].start + 10},
            {"in the data", (long_entry->start + long_entry->end) / 2},
            {"in the directory", layout.directory + 50},
            {"before the end record", layout.endRecord},
        };
        for (const auto& c : cuts) {
            SCOPED_TRACE(to_utf8(archive) + " cut " + c.where);
            const CutContents contents = contents_of(layout, c.length);
            TempDir dir;
            write_file(dir.file(L"t.zip"), zip.substr(0, c.length));
            const std::string path = dir.ansi(L"t.zip");
            const std::string report = "Archive cut short : " + path;
            for (const char* workers : {"-R0", "-R8"}) {
                TempDir out;
                const CommandResult r = run("Varno", std::string("-o -P varno ") + workers + " " + quoted(path) + " " + quoted(out.ansi()),
                                            65536, Library::linked);
                EXPECT_EQ(r.code, VARNO_ERROR_DECODER) << workers;
                std::vector<std::string> lines;
                if (!contents.cut.empty())
                    lines.push_back("EOF error : " + out.ansi() + "\\" + backslashed(contents.cut));
                lines.push_back(report);
                EXPECT_EQ(lines_of(r.output), lines) << workers;
                expect_whole_files(out.path(), contents.whole, tree);
            }
            // A listing shows the cut entry too; the test command tests every whole entry.
            const CommandResult listing = run("Varno", "-l " + quoted(path));
            EXPECT_EQ(listing.code, VARNO_ERROR_DECODER);
            const std::vector<std::string> listed = lines_of(listing.output);
            EXPECT_EQ(listed.size(), contents.whole.size() + !contents.cut.empty() + 1) << listing.output;
            EXPECT_EQ(listed.back(), report);
            const CommandResult tested = run("Varno", "--test -P varno " + quoted(path));
            EXPECT_EQ(tested.code, VARNO_ERROR_DECODER);
            const std::vector<std::string> verdicts = lines_of(tested.output);
            EXPECT_EQ(std::count_if(verdicts.begin(), verdicts.end(), [](const std::string& l) { return l.rfind("OK : ", 0) == 0; }),
                      static_cast<ptrdiff_t>(contents.whole.size()));
            if (!contents.cut.empty())
                EXPECT_NE(std::find(verdicts.begin(), verdicts.end(), "EOF error : " + backslashed(contents.cut)), verdicts.end());
            EXPECT_EQ(verdicts.back(), report);
        }
    }
}

TEST(Wild, ZipDataWithoutAUsableDirectoryAreReadFromTheirLocalHeaders)
{
    using ziptest::build_zip;
    const std::vector<ziptest::Entry> one = {{"a.txt", "alpha"}};
    // Without an end record the archive is cut short; with one, its directory is broken.
    const struct {
        const char* what;
        std::string bytes;
        bool endRecord;
        bool whole;  // a.txt lies whole in the file
    } cases[] = {
        {"end record beyond every comment", build_zip(one, {.suffix = std::string(65536, 's')}), false, true},
        {"ZIP64 fields without a locator", build_zip(one, {.cdOffsetField = 0xFFFFFFFF}), false, true},
        {"cut in the first entry's data", build_zip(one).substr(0, 30 + 5 + 2), false, false},
        {"directory outside the file", build_zip(one, {.cdOffsetField = 0x7FFFFFF0}), true, true},
        {"directory without headers", build_zip(one, {.cdOffsetField = 0}), true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* family : {"UnZip", "Varno"}) {
            TempDir dir;
            write_file(dir.file(L"t.zip"), c.bytes);
            const std::string report = (c.endRecord ? "CentralDirectory broken : " : "Archive cut short : ") + dir.ansi(L"t.zip");
            const CommandResult r = extract(family, "-o", dir.file(L"t.zip"), dir);
            EXPECT_EQ(r.code, VARNO_ERROR_DECODER) << family;
            EXPECT_EQ(r.output, (c.whole ? "" : "EOF error : " + dir.ansi(L"out\\a.txt") + "\r\n") + report);
            if (c.whole)
                EXPECT_EQ(read_file(dir.file(L"out\\a.txt")), "alpha");
            else
                EXPECT_FALSE(file_exists(dir.file(L"out\\a.txt")));
        }
        TempDir dir;
        write_file(dir.file(L"t.zip"), c.bytes);
        const std::string path = dir.ansi(L"t.zip");
        // A host sees the entry; a file without an end record is no sound archive.
        EXPECT_EQ(record_names(dir.file(L"t.zip")), std::vector<std::string>{"a.txt"});
        EXPECT_EQ(fn<CountFn>("UnZipGetFileCount")(path.c_str()), -1);
        EXPECT_EQ(fn<BOOL(WINAPI*)(LPCSTR, int)>("UnZipCheckArchive")(path.c_str(), 0), c.endRecord);
        // Into a block made for the caller.
        char text[256];
        void* block = nullptr;
        EXPECT_EQ(fn<ParamFn>("VarnoParam")(nullptr, (quoted(path) + " a.txt").c_str(), text, sizeof text, &block), VARNO_ERROR_DECODER);
        EXPECT_EQ(block != nullptr, c.whole);
        if (block) {
            EXPECT_EQ(std::string(static_cast<char*>(block), 5), "alpha");
            GlobalFree(block);
        }
    }
}

TEST(Wild, SixteenBitValuesFillTheWholeResult)
{
    // Read through pointers typed to return a 32-bit int, as ctypes and scripting hosts do.
    using Query = int(WINAPI*)(HARC);
    using Stateless = int(WINAPI*)();
    TempDir dir;
    write_file(dir.file(L"t.zip"), ziptest::build_zip({{.name = "a", .data = "1", .dosTime = 0x8421, .dosDate = 0xFEDC}}));
    HARC h = fn<OpenFn>("UnZipOpenArchive")(nullptr, dir.ansi(L"t.zip").c_str(), 0);
    ASSERT_NE(h, nullptr);
    const struct {
        const char* name;
        int none, opened, current;  // null handle, no current entry yet, with the entry
    } queries[] = {
        {"UnZipGetDate", 0x8021, 0x8021, 0xFEDC}, {"UnZipGetTime", 0x8021, 0x8021, 0x8421},
        {"UnZipGetRatio", 0x8021, 0x8021, 80},    {"UnZipGetArcRatio", 0xFFFF, 0xFFFF, 800},
        {"UnZipGetArcDate", 0xFFFF, 0xFFFF, 0},   {"UnZipGetArcTime", 0xFFFF, 0xFFFF, 0},
    };
    for (const auto& q : queries) {
        EXPECT_EQ(fn<Query>(q.name)(nullptr), q.none) << q.name;
        EXPECT_EQ(fn<Query>(q.name)(h), q.opened) << q.name;
    }
    EntryInfo info;
    ASSERT_EQ(fn<FindFirstFn>("UnZipFindFirst")(h, nullptr, &info), 0);
    for (const auto& q : queries)
        EXPECT_EQ(fn<Query>(q.name)(h), q.current) << q.name;
    fn<int(WINAPI*)(HARC)>("UnZipCloseArchive")(h);
    for (const auto& [name, value] : {std::pair<const char*, int>{"UnZipGetVersion", 145}, {"VarnoGetVersion", 145},
                                      {"UnZipGetSubVersion", 10600}, {"VarnoGetSubVersion", 10600}, {"UnZipGetCursorInterval", 80}})
        EXPECT_EQ(fn<Stateless>(name)(), value) << name;
}

}  // namespace
