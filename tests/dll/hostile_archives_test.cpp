// Archives made to do harm or damaged in their directory: entries that share their bytes are
// expanded once at most, in every mode, while the listing still shows them; a directory that
// ends before its count of entries is never a success; a name that names the output folder
// itself stops nothing; no output of an entry takes more than the size its archive declares.
#include <windows.h>

#include <algorithm>

#include "aes_entries.h"
#include "dll_host.h"
#include "temp_zip.h"
#include "test_data.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

// 48 entries of deflated zeros (enough for eight workers), every central record over the first
// local header; the other constructions are classified alike (entry_overlaps_test).
std::string overlapping_archive()
{
    std::vector<Entry> entries;
    for (int i = 0; i < 48; ++i)
        entries.push_back({.name = "e" + std::to_string(i), .data = std::string(100000, '\0'), .method = 8,
                           .localHeaderOffsetField = 0});
    return ziptest::build_zip(entries);
}

int files_below(const std::wstring& folder)
{
    int files = 0;
    for (const auto& [name, file] : snapshot_tree(folder))
        files += !file.directory;
    return files;
}

TEST(HostileArchives, OverlappingEntriesExpandOnceAtMostInEveryMode)
{
    StorageAnswerScope fast(StorageAnswer::fast);
    TempDir dir;
    write_file(dir.file(L"a.zip"), overlapping_archive());
    const std::string archive = quoted(dir.ansi(L"a.zip"));
    for (const std::string mode : {"-R0", "-R8", "--test -R0", "--test -R8"}) {
        SCOPED_TRACE(mode);
        // The test command's second positional token is a name: it has no output folder.
        const bool testing = mode.find("--test") != std::string::npos;
        TempDir out;
        const CommandResult r =
            run("Varno", "-o " + mode + " " + archive + (testing ? "" : " " + quoted(out.ansi())), 65536, Library::linked);
        EXPECT_EQ(r.code, VARNO_ERROR_DATA);
        // Each refusal names the entry: by its output path, or by its name when testing.
        int refused = 0;
        for (const std::string& line : lines_of(r.output)) {
            if (line.rfind("Overlap error : ", 0) == 0) {
                ++refused;
                EXPECT_NE(line.substr(line.find_last_of("\\ ") + 1), "e0") << r.output;
            }
        }
        // Extraction stops at the first refusal of each thread; the test command goes on.
        EXPECT_EQ(refused >= 1 && (!testing || refused == 47), true) << r.output;
        EXPECT_LE(files_below(out.path()), 1);
        if (files_below(out.path()) == 1)
            EXPECT_EQ(read_file(out.file(L"e0")), std::string(100000, '\0'));
    }
    // Into memory: the first entry of the group, and none of the others.
    std::vector<BYTE> buffer(200000);
    const auto extract_mem = fn<ExtractMemFn>("UnZipExtractMem");
    EXPECT_EQ(extract_mem(nullptr, (archive + " e0").c_str(), buffer.data(), 200000, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(extract_mem(nullptr, (archive + " e7").c_str(), buffer.data(), 200000, nullptr, nullptr, nullptr),
              VARNO_ERROR_DATA);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data())), "Overlap error : e7");
    // A host may still look at such an archive.
    const CommandResult listing = run("Varno", "-l " + archive);
    EXPECT_EQ(listing.code, 0);
    EXPECT_NE(listing.output.find("e47"), std::string::npos);
}

// One text of 4 MiB in every method and both ciphers (the tools' streams, made by
// tests/data/make_tool_archives.sh), declared once at its size and once at 1.5 MiB, behind 47
// honest entries (enough for eight workers), over an existing file: the lie is a size error
// wherever the output goes, and nothing past the declared size is written.
TEST(HostileArchives, NoOutputTakesMoreThanTheDeclaredSize)
{
    const std::string streams = VARNO_TOOL_ARCHIVES "/streams/";
    const auto stream = [&](const char* method) { return read_file(from_utf8(streams + method)); };
    const std::string data = stream("data");
    const std::vector<Entry> forms = {
        {.name = "x.bin", .data = data},
        {.name = "x.bin", .data = data, .method = 8},
        {.name = "x.bin", .data = data, .method = 9, .compressed = stream("9")},
        {.name = "x.bin", .data = data, .method = 12, .compressed = stream("12")},
        {.name = "x.bin", .data = data, .method = 14, .compressed = stream("14"), .flags = 2},
        {.name = "x.bin", .data = data, .method = 93, .compressed = stream("93")},
        {.name = "x.bin", .data = data, .method = 95, .compressed = stream("95")},
        {.name = "x.bin", .data = data, .method = 98, .compressed = stream("98")},
        {.name = "x.bin", .data = data, .method = 93, .compressed = stream("93"), .password = "secret"},
        aes_entry("x.bin", data, "secret"),
    };
    constexpr uint32_t kLie = 3 << 19;
    StorageAnswerScope fast(StorageAnswer::fast);
    for (const Entry& form : forms) {
        for (const bool lies : {true, false}) {
            SCOPED_TRACE("method " + std::to_string(form.method) + (form.password ? " encrypted" : "") +
                         (lies ? " declared short" : " declared whole"));
            std::vector<Entry> entries;
            for (int i = 0; i < 47; ++i)
                entries.push_back({.name = "h" + std::to_string(i), .data = "honest " + std::to_string(i)});
            entries.push_back(form);
            if (lies)
                entries.back().uncompressedSizeField = kLie;
            TempZip a(entries);
            const int expected = lies ? VARNO_ERROR_DATA : 0;
            const std::string archive = "-P secret " + a.path;
            for (const std::string mode : {"-R0", "-R8"}) {
                TempDir out;
                write_file(out.file(L"x.bin"), "existing");
                const CommandResult r = run("Varno", "-o " + mode + " " + archive + " " + quoted(out.ansi()), 65536, Library::linked);
                EXPECT_EQ(r.code, expected) << mode;
                const std::string path = out.ansi(L"x.bin");
                EXPECT_EQ(r.output, "overwrite: " + path + (lies ? "\r\nSize error : " + path : "")) << mode;
                EXPECT_TRUE(read_file(out.file(L"x.bin")) == (lies ? "existing" : data)) << mode;
                EXPECT_EQ(files_below(out.path()), 48) << mode;  // the honest ones, and no temporary file
                const CommandResult t = run("Varno", "--test " + mode + " " + archive, 65536, Library::linked);
                EXPECT_EQ(t.code, expected) << mode;
                const std::vector<std::string> lines = lines_of(t.output);
                EXPECT_EQ(std::count(lines.begin(), lines.end(), lies ? "Size error : x.bin" : "OK : x.bin"), 1) << mode;
                EXPECT_EQ(lines.size(), 48u) << mode;
            }
            // The caller's buffer keeps nothing past the declared size; the message lands at its start.
            std::vector<BYTE> buffer(data.size() + 4096, 0xEE);
            EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (archive + " x.bin").c_str(), buffer.data(),
                                                           static_cast<DWORD>(buffer.size()), nullptr, nullptr, nullptr),
                      expected);
            const size_t kept = lies ? kLie : data.size();
            EXPECT_EQ(std::count(buffer.begin() + kept, buffer.end(), 0xEE), static_cast<long>(buffer.size() - kept));
            const std::string head(reinterpret_cast<char*>(buffer.data()), lies ? 19 : data.size());
            EXPECT_TRUE(head == (lies ? std::string("Size error : x.bin", 19) : data));
            // A block made for the caller is freed.
            void* block = nullptr;
            char report[256];
            EXPECT_EQ(fn<ParamFn>("VarnoParam")(nullptr, (archive + " x.bin").c_str(), report, sizeof report, &block), expected);
            EXPECT_EQ(block == nullptr, lies);
            if (block) {
                EXPECT_TRUE(std::string(static_cast<char*>(block), GlobalSize(block)) == data);
                GlobalFree(block);
            }
            EXPECT_EQ(std::string(report), lies ? "Size error : x.bin" : "");
        }
    }
}

enum class DirectoryDamage { SizeTooSmall, SizeBelowOneHeader, BrokenSignature, CountTooLarge };

TEST(HostileArchives, ADirectoryThatEndsEarlyIsUsedAndReported)
{
    const std::vector<Entry> entries = {{.name = "a.txt", .data = "a"}, {.name = "b.txt", .data = "b"},
                                        {.name = "c.txt", .data = "c"}};
    const std::string sound = ziptest::build_zip(entries);
    const size_t cdOffset = sound.find(std::string("PK\1\2", 4));
    const size_t cdSize = sound.rfind(std::string("PK\5\6", 4)) - cdOffset;
    struct Case {
        DirectoryDamage damage;
        int header;    // the header whose signature breaks
        int used;      // entries before the break
    };
    for (const Case c : {Case{DirectoryDamage::SizeTooSmall, 0, 2}, Case{DirectoryDamage::SizeBelowOneHeader, 0, 0},
                         Case{DirectoryDamage::BrokenSignature, 1, 1},
                         Case{DirectoryDamage::BrokenSignature, 2, 2}, Case{DirectoryDamage::CountTooLarge, 0, 3}}) {
        SCOPED_TRACE("damage " + std::to_string(static_cast<int>(c.damage)) + " header " + std::to_string(c.header));
        ziptest::ArchiveOptions options;
        if (c.damage == DirectoryDamage::SizeTooSmall)
            options.cdSizeField = static_cast<uint32_t>(cdSize - 10);
        if (c.damage == DirectoryDamage::SizeBelowOneHeader)
            options.cdSizeField = 40;
        if (c.damage == DirectoryDamage::CountTooLarge)
            options.entryCountField = 4;
        std::string bytes = ziptest::build_zip(entries, options);
        if (c.damage == DirectoryDamage::BrokenSignature) {
            size_t at = cdOffset;
            for (int i = 0; i < c.header; ++i)
                at = bytes.find(std::string("PK\1\2", 4), at + 4);
            bytes[at + 3] = 1;
        }
        TempDir dir;
        write_file(dir.file(L"a.zip"), bytes);
        const std::string archive = quoted(dir.ansi(L"a.zip"));
        const std::string report = "CentralDirectory broken : " + dir.ansi(L"a.zip");

        const CommandResult extracted = run("Varno", "-o " + archive + " " + quoted(dir.ansi(L"out")));
        EXPECT_EQ(extracted.code, VARNO_ERROR_DECODER);
        EXPECT_EQ(extracted.output, report);
        EXPECT_EQ(files_below(dir.file(L"out")), c.used);

        const CommandResult listed = run("Varno", "-l " + archive);
        EXPECT_EQ(listed.code, VARNO_ERROR_DECODER);
        const std::vector<std::string> lines = lines_of(listed.output);
        EXPECT_EQ(lines.back(), report);
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find(".txt") != std::string::npos; }),
                  c.used);

        EXPECT_EQ(fn<int(WINAPI*)(LPCSTR)>("UnZipGetFileCount")(dir.ansi(L"a.zip").c_str()), -1);
    }
}

TEST(HostileArchives, NamesOfTheOutputFolderItselfStopNothing)
{
    std::vector<Entry> entries;
    for (const char* name : {"", ".", "./.", "/", "b.txt"})
        entries.push_back({.name = name, .data = "data of " + std::string(name)});
    TempDir dir;
    write_file(dir.file(L"a.zip"), ziptest::build_zip(entries));
    const CommandResult r = run("Varno", "-o " + quoted(dir.ansi(L"a.zip")) + " " + quoted(dir.ansi(L"out")));
    EXPECT_EQ(r.code, 0) << r.output;
    const auto tree = snapshot_tree(dir.file(L"out"));
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree.begin()->second.bytes, "data of b.txt");
}

}  // namespace
