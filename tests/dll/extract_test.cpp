// Extraction into files through the command exports: stored and Deflate entries, times,
// directories, named selections, damaged entries and the messages of each outcome.
#include <windows.h>
#include <zlib.h>

#include "dll_host.h"
#include "test_data.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

struct Extraction {
    TempDir dir;
    std::wstring archive() const { return dir.file(L"a.zip"); }
    std::wstring out(const std::wstring& name = L"") const { return name.empty() ? dir.file(L"out") : dir.file(L"out\\" + name); }
    CommandResult run_with(const char* exportName, const std::string& options, const std::vector<Entry>& entries,
                           const std::string& names = "", const ziptest::ArchiveOptions& archiveOptions = {})
    {
        write_file(archive(), ziptest::build_zip(entries, archiveOptions));
        return run(exportName, options + " " + quoted(to_ansi(archive())) + " " + quoted(to_ansi(out())) + " " + names);
    }
};

TEST(Extract, StoredAndDeflateEntriesWithTheirTimes)
{
    Extraction x;
    std::string ntfs;
    ziptest::put32(ntfs, 0);
    ziptest::put16(ntfs, 1);
    ziptest::put16(ntfs, 24);
    ziptest::put64(ntfs, 132000000000000000ull);
    ziptest::put64(ntfs, 132000000010000000ull);
    ziptest::put64(ntfs, 131000000000000000ull);
    std::string stamp;  // a 17-byte record: three times in DOS form
    stamp.push_back(1);
    ziptest::put32(stamp, (0x5A42u << 16) | 0x7BCDu);
    ziptest::put32(stamp, 0);
    ziptest::put32(stamp, 0);
    ziptest::put32(stamp, 0);  // records below 17 bytes are not read
    std::vector<Entry> entries = {
        {.name = "a.txt", .data = "stored bytes"},
        {.name = "dir/big.txt", .data = text_of(3 << 20), .method = 8},
        {.name = "dir/noise.bin", .data = noise_of(2500000), .method = 0},
        {.name = "empty.txt", .data = ""},
        {.name = "empty-deflate.txt", .data = "", .method = 8},
        {.name = "dir/sub/", .data = "", .externalAttributes = 0x10},
        {.name = "ntfs.txt", .data = "n", .method = 8, .centralExtra = ziptest::extra_record(0x000a, ntfs)},
        {.name = "stamp.txt", .data = "s", .centralExtra = ziptest::extra_record(0x5455, stamp)},
    };
    const CommandResult r = x.run_with("Varno", "-o", entries);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output, "");
    EXPECT_EQ(read_file(x.out(L"a.txt")), "stored bytes");
    EXPECT_EQ(read_file(x.out(L"dir\\big.txt")), entries[1].data);
    EXPECT_EQ(read_file(x.out(L"dir\\noise.bin")), entries[2].data);
    EXPECT_TRUE(file_exists(x.out(L"empty.txt")));
    EXPECT_EQ(read_file(x.out(L"empty-deflate.txt")), "");
    EXPECT_TRUE(GetFileAttributesW(x.out(L"dir\\sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(write_time_of(x.out(L"a.txt")), utc_of_dos(0x5A21, 0x6000));
    EXPECT_EQ(write_time_of(x.out(L"ntfs.txt")), 132000000000000000ull);
    EXPECT_EQ(write_time_of(x.out(L"stamp.txt")), utc_of_dos(0x5A42, 0x7BCD));
}

TEST(Extract, NamedSelectionsJunkPathsAndFileLines)
{
    Extraction x;
    const std::vector<Entry> entries = {
        {.name = "dir/one.txt", .data = "1"}, {.name = "dir/two.txt", .data = "2"}, {.name = "a/b/", .data = ""},
        {.name = "dir/one.txt", .data = "second copy"}};
    // Case and separators do not matter; only the first of equal names is taken.
    CommandResult r = x.run_with("Varno", "-o --q", entries, "DIR\\ONE.TXT");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file(x.out(L"dir\\one.txt")), "1");
    EXPECT_FALSE(file_exists(x.out(L"dir\\two.txt")));
    EXPECT_EQ(r.output, to_ansi(x.out(L"dir\\one.txt")) + "\r\n");

    r = x.run_with("Varno", "-o -j", entries, "dir/two.txt a/b/ nothing.txt");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(read_file(x.out(L"two.txt")), "2");
    EXPECT_TRUE(GetFileAttributesW(x.out(L"b").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(file_exists(x.out(L"a")));
}

TEST(Extract, DeflateStreamsThatEndEarlyOrNeverEnd)
{
    Extraction x;
    const std::string data = text_of(200000);
    const std::string full = ziptest::deflate_raw(data);
    // Garbage behind the end of the stream is never read as data.
    const Entry trailing{.name = "trailing.txt", .data = data, .method = 8, .compressed = full + noise_of(5000)};
    // A stream without its final block that still delivers the declared size is accepted.
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string open(data.size() + 1000, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(&open[0]);
    z.avail_out = static_cast<uInt>(open.size());
    deflate(&z, Z_SYNC_FLUSH);
    open.resize(z.total_out);
    deflateEnd(&z);
    const Entry unended{.name = "unended.txt", .data = data, .method = 8, .compressed = open};
    const CommandResult r = x.run_with("Varno", "-o", {trailing, unended});
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(read_file(x.out(L"trailing.txt")), data);
    EXPECT_EQ(read_file(x.out(L"unended.txt")), data);
}

TEST(Extract, DeflateStreamEndsBeforeItsBytesRunPastTheFile)
{
    // A local extra field longer than the central one moves the data on, and the compressed size
    // claims 30,000 bytes more than were written: the bytes behind the stream's end would lie past
    // the end of the file, where nothing is read.
    Extraction x;
    const std::string data = text_of(200000);
    const std::string stream = ziptest::deflate_raw(data);
    const Entry past{.name = "past.txt", .data = data, .method = 8,
                     .localExtra = ziptest::extra_record(0x7777, std::string(60000, 'e')),
                     .compressedSizeField = static_cast<uint32_t>(stream.size() + 30000)};
    const CommandResult r = x.run_with("Varno", "-o", {past});
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(read_file(x.out(L"past.txt")), data);
}

TEST(Extract, DamagedEntriesFailAndLeaveNothingBehind)
{
    const std::string data = text_of(300000);
    const std::string full = ziptest::deflate_raw(data);
    std::string corrupt = full;
    corrupt[0] = 0x07;  // a last block of the invalid type 3
    struct Case {
        const char* what;
        Entry entry;
        int32_t result;
        std::string message;  // with {path} for the output path, {name} for the entry name
        bool stopsTheJob;
    };
    const Case cases[] = {
        {"deflate cut short", {.name = "cut.txt", .data = data, .method = 8, .compressed = full.substr(0, full.size() / 2)},
         VARNO_ERROR_DATA, "EOF error : {path}", true},
        {"corrupt deflate", {.name = "bad.txt", .data = data, .method = 8, .compressed = corrupt}, VARNO_ERROR_DATA,
         "Decode error -3 : {path}", true},
        // ZIP's LZMA header asking for a 1 GiB dictionary, for an entry said to hold 300 MiB.
        {"LZMA window over the limit", {.name = "big.bin", .data = data, .method = 14,
                                        .compressed = std::string("\x09\x14\x05\x00\x5D\x00\x00\x00\x40\x00", 10),
                                        .flags = 2, .uncompressedSizeField = 300u << 20},
         VARNO_ERROR_DECODER, "Decode window over 256 MiB : {path}", true},
        {"method 97", {.name = "m97.txt", .data = data, .method = 97, .compressed = data}, VARNO_ERROR_METHOD,
         "Archive method not support 97 : {name}", true},
        {"method 7", {.name = "m7.txt", .data = data, .method = 7, .compressed = data}, VARNO_ERROR_METHOD,
         "Archive method not support 7 : {name}", true},
        {"encrypted, too short for its header", {.name = "enc.txt", .data = data, .method = 8, .compressed = std::string("12345"), .flags = 1},
         VARNO_ERROR_ARCHIVE_OPEN, "Archive read error 38", true},
        {"local header beyond the file", {.name = "far.txt", .data = "x", .localHeaderOffsetField = 0x7FFFFF00},
         VARNO_ERROR_DATA, "EOF error : {path}", true},
    };
    for (const Case& c : cases) {
        Extraction x;
        const Entry after{.name = "after.txt", .data = "after"};
        const CommandResult r = x.run_with("Varno", "-o", {c.entry, after});
        EXPECT_EQ(r.code, c.result) << c.what;
        std::string expected = c.message;
        const std::string path = to_ansi(x.out(from_utf8(c.entry.name)));
        if (size_t at = expected.find("{path}"); at != std::string::npos)
            expected.replace(at, 6, path);
        if (size_t at = expected.find("{name}"); at != std::string::npos)
            expected.replace(at, 6, c.entry.name);
        EXPECT_EQ(r.output, expected) << c.what;
        EXPECT_FALSE(file_exists(x.out(from_utf8(c.entry.name)))) << c.what;
        EXPECT_EQ(file_exists(x.out(L"after.txt")), !c.stopsTheJob) << c.what;
    }
}

TEST(Extract, Deflate64EntriesIntoFilesAndMemory)
{
    Extraction x;
    const std::string data = noise_of(300000);
    const std::string stream = ziptest::stored_blocks(data);
    std::string corrupt = stream;
    corrupt[0] = 0x07;  // a last block of the invalid type 3
    const std::vector<Entry> entries = {
        {.name = "d64.bin", .data = data, .method = 9, .compressed = stream},
        {.name = "empty64.bin", .data = "", .method = 9, .compressed = std::string()},
        {.name = "short64.bin", .data = data, .method = 9, .compressed = stream.substr(0, 100000)},
        {.name = "bad64.bin", .data = data, .method = 9, .compressed = corrupt},
    };
    CommandResult r = x.run_with("Varno", "-o", entries, "d64.bin empty64.bin");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(read_file(x.out(L"d64.bin")), data);
    EXPECT_EQ(read_file(x.out(L"empty64.bin")), "");

    r = run("Varno", "-o " + quoted(to_ansi(x.archive())) + " " + quoted(to_ansi(x.out())) + " short64.bin");
    EXPECT_EQ(r.code, VARNO_ERROR_DATA);
    EXPECT_EQ(r.output, "EOF error : " + to_ansi(x.out(L"short64.bin")));
    EXPECT_FALSE(file_exists(x.out(L"short64.bin")));
    r = run("Varno", "-o " + quoted(to_ansi(x.archive())) + " " + quoted(to_ansi(x.out())) + " bad64.bin");
    EXPECT_EQ(r.code, VARNO_ERROR_DATA);
    EXPECT_EQ(r.output, "Decode error -3 : " + to_ansi(x.out(L"bad64.bin")));
    EXPECT_FALSE(file_exists(x.out(L"bad64.bin")));

    // Into a block made for the caller, and into a caller's buffer too small for it.
    void* block = nullptr;
    char report[128];
    EXPECT_EQ(fn<ParamFn>("VarnoParam")(nullptr, (quoted(to_ansi(x.archive())) + " d64.bin").c_str(), report,
                                        sizeof report, &block),
              0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(static_cast<char*>(block), data.size()), data);
    GlobalFree(block);
    std::vector<char> small(70000);
    EXPECT_EQ(fn<CommandFn>("Varno")(nullptr, ("-c " + quoted(to_ansi(x.archive())) + " d64.bin").c_str(),
                                     small.data(), static_cast<DWORD>(small.size())),
              VARNO_ERROR_OUTPUT_FILE);
    // The first window arrived; the failure's message then went to the start of the buffer,
    // where a caller's memory output shares the room with the messages.
    const std::string message = "Write error 0 : d64.bin";
    EXPECT_EQ(std::string(small.data(), message.size()), message);
    EXPECT_TRUE(std::string(small.data() + 64, 65536 - 64) == data.substr(64, 65536 - 64));
}

TEST(Extract, TruncatedArchiveEndsWithEofError)
{
    Extraction x;
    const std::string data = noise_of(3 << 20);
    std::string zip = ziptest::build_zip({{.name = "big.bin", .data = data}});
    // Keep the directory but cut the entry's data: the directory points past the data we keep.
    const std::string directory = zip.substr(zip.size() - (46 + 7 + 22));
    std::string cut = zip.substr(0, 30 + 7 + (1 << 20) + 100);
    std::string rebuilt = cut + directory;
    // Recompute the end record's directory offset for the shortened file.
    const uint32_t cdOffset = static_cast<uint32_t>(cut.size());
    for (int i = 0; i < 4; ++i)
        rebuilt[rebuilt.size() - 22 + 16 + i] = static_cast<char>(cdOffset >> (8 * i));
    write_file(x.archive(), rebuilt);
    const CommandResult r = run("Varno", "-o " + quoted(to_ansi(x.archive())) + " " + quoted(to_ansi(x.out())));
    // The entry's bytes run into the directory and then into the end of the file.
    EXPECT_EQ(r.code, VARNO_ERROR_DATA);
    EXPECT_EQ(r.output, "EOF error : " + to_ansi(x.out(L"big.bin")));
    EXPECT_FALSE(file_exists(x.out(L"big.bin")));
}

TEST(Extract, LocalExtraFieldLongerThanTheCentralOne)
{
    Extraction x;
    const std::string data = text_of(5000);
    const std::vector<Entry> entries = {
        {.name = "long-local.txt", .data = data, .method = 8, .localExtra = ziptest::extra_record(0x7777, std::string(60000, 'e'))},
        {.name = "short-local.txt", .data = data, .centralExtra = ziptest::extra_record(0x7777, std::string(300, 'c')),
         .localExtra = std::string()}};
    const CommandResult r = x.run_with("Varno", "-o", entries);
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(read_file(x.out(L"long-local.txt")), data);
    EXPECT_EQ(read_file(x.out(L"short-local.txt")), data);
}

}  // namespace
