// Archives written in parts (tests/data/make_archive_sets.sh): spanned sets by zip -s and pieces
// by 7zz -v extract as `7zz x` extracts them, with and without workers, into files and into
// memory, and list, test and enumerate as one archive. A set that lacks a part, or holds one cut
// short, extracts what lies in the parts present, names the part for every other entry and ends
// incomplete.
#include <windows.h>

#include <algorithm>
#include <set>

#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"
#include "varno.h"

using namespace dlltest;

namespace {

std::wstring in_sets(const std::wstring& name) { return from_utf8(VARNO_ARCHIVE_SETS) + L"\\" + name; }

// Every file below out is its reference's (bytes and time); returns how many there are.
size_t expect_files_of(const std::wstring& out, const std::wstring& reference)
{
    const auto expected = snapshot_tree(reference);
    size_t files = 0;
    for (const auto& [name, file] : snapshot_tree(out)) {
        if (file.directory)
            continue;
        ++files;
        const auto found = expected.find(name);
        EXPECT_NE(found, expected.end()) << to_utf8(name);
        if (found == expected.end())
            continue;
        EXPECT_EQ(file.bytes, found->second.bytes) << to_utf8(name);
        EXPECT_EQ(file.writeTime, found->second.writeTime) << to_utf8(name);
    }
    return files;
}

size_t files_in(const std::wstring& tree)
{
    const auto all = snapshot_tree(tree);
    return std::count_if(all.begin(), all.end(), [](const auto& item) { return !item.second.directory; });
}

// The records FindFirst and FindNext give for the archive.
std::vector<std::string> record_names(const std::string& archive)
{
    std::vector<std::string> names;
    HARC h = fn<HARC(WINAPI*)(HWND, LPCSTR, DWORD)>("UnZipOpenArchive")(nullptr, archive.c_str(), 0);
    EXPECT_NE(h, nullptr) << archive;
    if (!h)
        return names;
    EntryInfo info;
    for (int r = fn<int(WINAPI*)(HARC, LPCSTR, EntryInfo*)>("UnZipFindFirst")(h, nullptr, &info); r == 0;
         r = fn<int(WINAPI*)(HARC, EntryInfo*)>("UnZipFindNext")(h, &info))
        names.push_back(info.fileName);
    fn<int(WINAPI*)(HARC)>("UnZipCloseArchive")(h);
    return names;
}

const struct {
    const wchar_t* named;      // the part a host names
    const wchar_t* reference;  // what 7zz x extracted from the set
    BOOL checked;              // what the archive check answers: a self-extractor is known by its section
} kSets[] = {
    {L"span64.zip", L"ref-span64", TRUE},     {L"span200.zip", L"ref-span200", TRUE}, {L"spanz64.zip", L"ref-spanz64", TRUE},
    {L"pieces.zip.001", L"ref-pieces", TRUE}, {L"pieces.zip.004", L"ref-pieces", TRUE}, {L"aes.zip.001", L"ref-aes", TRUE},
    {L"sfx.exe.003", L"ref-sfx", FALSE},
};

TEST(ArchiveSets, ReadAsSevenZipReadsThem)
{
    for (const auto& set : kSets) {
        SCOPED_TRACE(to_utf8(set.named));
        const std::string archive = quoted(to_ansi(in_sets(set.named)));
        const std::wstring reference = in_sets(set.reference);
        for (const char* options : {"-o -R0", "-o -R8", "-o -R8 --verify"}) {
            TempDir dir;
            const CommandResult r = run("Varno", std::string(options) + " -P secret " + archive + " " + quoted(dir.ansi(L"out")));
            EXPECT_EQ(r.code, 0) << options << "\n" << r.output;
            EXPECT_EQ(expect_files_of(dir.file(L"out"), reference), files_in(reference)) << options;
        }
        // One entry into a block made for the caller.
        void* block = nullptr;
        char text[256];
        EXPECT_EQ(fn<ParamFn>("VarnoParam")(nullptr, ("-P secret " + archive + " across.bin").c_str(), text, sizeof text, &block), 0);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(std::string(static_cast<char*>(block), 150000), read_file(reference + L"\\across.bin"));
        GlobalFree(block);

        // Listing, the test command and the handle exports see every entry once.
        const std::string path = to_ansi(in_sets(set.named));
        const std::vector<std::string> names = record_names(path);
        EXPECT_EQ(fn<int(WINAPI*)(LPCSTR)>("UnZipGetFileCount")(path.c_str()), static_cast<int>(names.size()));
        EXPECT_EQ(fn<BOOL(WINAPI*)(LPCSTR, int)>("UnZipCheckArchive")(path.c_str(), 0), set.checked);
        CommandResult r = run("Varno", "-l " + archive, 1 << 20);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(lines_of(r.output).size(), names.size());
        r = run("Varno", "--test -R8 -P secret " + archive, 1 << 20);
        EXPECT_EQ(r.code, 0) << r.output;
        const std::vector<std::string> lines = lines_of(r.output);
        EXPECT_EQ(lines.size(), names.size());
        EXPECT_TRUE(std::all_of(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("OK : ", 0) == 0; }));
    }
}

TEST(ArchiveSets, MissingShortAndRenamedParts)
{
    const std::vector<std::wstring> span = {L"span64.z01", L"span64.z02", L"span64.z03", L"span64.z04", L"span64.zip"};
    const std::vector<std::wstring> pieces = {L"pieces.zip.001", L"pieces.zip.002", L"pieces.zip.003", L"pieces.zip.004",
                                              L"pieces.zip.005", L"pieces.zip.006"};
    const struct {
        const char* what;
        const std::vector<std::wstring>& parts;
        std::set<std::wstring> removed;
        const wchar_t* cut;     // cut to 30,000 bytes
        bool upperCase;         // every part but the named one renamed to upper case
        std::set<std::string> named;  // the parts the messages may name; none: the set is whole
    } cases[] = {
        {"a missing part", span, {L"span64.z03"}, nullptr, false, {"span64.z03"}},
        {"a part cut short", span, {}, L"span64.z02", false, {"span64.z02"}},
        {"a .zip whose parts are not there", span, {L"span64.z01", L"span64.z02", L"span64.z03", L"span64.z04"}, nullptr,
         false, {"span64.z01", "span64.z02", "span64.z03", "span64.z04"}},
        {"parts in upper case", span, {}, nullptr, true, {}},
        {"a missing piece", pieces, {L"pieces.zip.002"}, nullptr, false, {"pieces.zip.002"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        for (const std::wstring& part : c.parts) {
            if (c.removed.count(part))
                continue;
            std::wstring target = part;
            if (c.upperCase && part != c.parts.back())
                CharUpperW(&target[0]);
            std::string bytes = read_file(in_sets(part));
            if (c.cut && part == c.cut)
                bytes.resize(30000);
            write_file(dir.file(target), bytes);
        }
        const std::string archive = quoted(dir.ansi(c.parts.back() == L"span64.zip" ? L"span64.zip" : L"pieces.zip.001"));
        const std::wstring reference = in_sets(c.parts.back() == L"span64.zip" ? L"ref-span64" : L"ref-pieces");
        const int expected = c.named.empty() ? 0 : VARNO_ERROR_DECODER;
        // Each message names a missing part; what the parts present hold is extracted whole,
        // the rest not at all, whether or not workers extract it.
        for (const char* options : {"--q -o -R0", "--q -o -R8"}) {
            const std::wstring out = dir.file(options[9] == '0' ? L"out0" : L"out8");
            const CommandResult r = run("Varno", std::string(options) + " " + archive + " " + quoted(to_ansi(out)), 1 << 20);
            EXPECT_EQ(r.code, expected) << options << "\n" << r.output;
            size_t missing = 0;
            for (const std::string& line : lines_of(r.output)) {
                if (line.rfind("Missing volume : ", 0) == 0) {
                    EXPECT_TRUE(c.named.count(line.substr(17))) << line;
                    ++missing;
                }
            }
            const size_t extracted = expect_files_of(out, reference);
            EXPECT_EQ(missing > 0, !c.named.empty()) << options;
            EXPECT_EQ(extracted == files_in(reference), c.named.empty()) << options;
        }
        // The test command accounts for every entry; a listing names the part once.
        const size_t entries = record_names(to_ansi(dir.file(c.parts.back() == L"span64.zip" ? L"span64.zip" : L"pieces.zip.001"))).size();
        CommandResult r = run("Varno", "--test " + archive, 1 << 20);
        EXPECT_EQ(r.code, expected);
        std::vector<std::string> lines = lines_of(r.output);
        EXPECT_EQ(lines.size(), entries) << r.output;
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("OK : ", 0) == 0; }) <
                      static_cast<long>(entries),
                  !c.named.empty());
        r = run("Varno", "-l " + archive, 1 << 20);
        EXPECT_EQ(r.code, expected);
        lines = lines_of(r.output);
        EXPECT_EQ(lines.size(), entries + !c.named.empty());
        if (!c.named.empty())
            EXPECT_TRUE(c.named.count(lines.back().substr(17))) << lines.back();
    }
}

}  // namespace
