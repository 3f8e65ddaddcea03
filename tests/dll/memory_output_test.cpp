// Extraction into memory: the caller's buffer (UnZipExtractMem, -c, -p), a block made for the
// caller (VarnoParam), the out pointers, and what happens when the room runs out.
#include <windows.h>

#include <vector>

#include "dll_host.h"
#include "temp_zip.h"
#include "test_data.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;
using ziptest::Entry;

namespace {

TEST(MemoryOutput, ExtractMemFillsTheBufferFromItsStartAndReportsTheEntry)
{
    const std::string data = text_of(300000);
    TempZip a({{.name = "first.txt", .data = "one"},
               {.name = "doc.txt", .data = data, .method = 8, .dosTime = 0x7BCD, .internalAttributes = 1}});
    std::vector<BYTE> buffer(400000, 0xEE);
    ULONGLONG time = 99, size = 99;
    WORD attributes = 99;
    const int r = fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (a.path + " doc.txt").c_str(), buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), &time, &attributes, &size);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), data.size()), data);
    EXPECT_EQ(buffer[data.size()], 0xEE);  // nothing behind the data
    EXPECT_EQ(time, 0x7BCDu);              // the DOS time of day only
    EXPECT_EQ(attributes, 1);
    EXPECT_EQ(size, data.size());
    // Null out pointers are skipped.
    EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (a.path + " first.txt").c_str(), buffer.data(), 100,
                                                   nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), 3), "one");
}

TEST(MemoryOutput, RoomRunsOutWithinOneBlockOrAcrossBlocks)
{
    const std::string small = noise_of(150);
    const std::string large = noise_of(3 << 20);
    TempZip a({{.name = "small.bin", .data = small},
               {.name = "large.bin", .data = large},
               {.name = "lying.bin", .data = small, .uncompressedSizeField = 120}});
    std::vector<BYTE> buffer(101, 0xEE);  // 100 bytes of room and the terminator
    // All 150 bytes arrive in one read: the first 100 are kept and the entry counts as done.
    EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (a.path + " small.bin").c_str(), buffer.data(), 101,
                                                   nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), 100), small.substr(0, 100));
    EXPECT_EQ(buffer[100], 0xEE);
    // The same bytes declared as 120 are a size error, however little room the caller gave.
    EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (a.path + " lying.bin").c_str(), buffer.data(), 101,
                                                   nullptr, nullptr, nullptr),
              VARNO_ERROR_DATA);
    // A second block for a full target fails the entry.
    std::vector<BYTE> medium(1 << 20);
    EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (a.path + " large.bin").c_str(), medium.data(),
                                                   static_cast<DWORD>(medium.size()), nullptr, nullptr, nullptr),
              VARNO_ERROR_OUTPUT_FILE);
}

TEST(MemoryOutput, DeflateOutputPastTheRoomFailsOnTheNextBlock)
{
    // 3 MiB into 1 MiB: zlib's second block of output finds the target full.
    const std::string large = text_of(3 << 20);
    TempZip a({{.name = "large.txt", .data = large, .method = 8}});
    std::vector<BYTE> medium(1 << 20);
    EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (a.path + " large.txt").c_str(), medium.data(),
                                                   static_cast<DWORD>(medium.size()), nullptr, nullptr, nullptr),
              VARNO_ERROR_OUTPUT_FILE);
}

// The bytes of memory output are not terminated: look at the raw buffer.
std::string raw_run(const std::string& command, size_t size, size_t take)
{
    std::vector<char> buffer(size, '\x7f');
    EXPECT_EQ(fn<CommandFn>("Varno")(nullptr, command.c_str(), buffer.data(), static_cast<DWORD>(size)), 0);
    return std::string(buffer.data(), take);
}

TEST(MemoryOutput, CopyOptionWritesAtTheCursor)
{
    TempZip a({Entry{.name = "x.txt", .data = "payload"}});
    EXPECT_EQ(raw_run("-c " + a.path + " x.txt", 200, 8), "payload\x7f");
}

TEST(MemoryOutput, BlockForTheCallerWithItsSizeLimit)
{
    const std::string data = text_of(100000);
    TempZip a({{.name = "d.txt", .data = data, .method = 8},
               {.name = "limit.bin", .data = "x", .uncompressedSizeField = 524288000},
               {.name = "below.bin", .data = "y", .uncompressedSizeField = 524287999}});
    auto param = fn<ParamFn>("VarnoParam");
    void* block = reinterpret_cast<void*>(1);
    char report[256];
    EXPECT_EQ(param(nullptr, (a.path + " d.txt").c_str(), report, sizeof report, &block), 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), data.size());
    EXPECT_EQ(std::string(static_cast<char*>(block), data.size()), data);
    GlobalFree(block);

    block = nullptr;
    EXPECT_EQ(param(nullptr, (a.path + " limit.bin").c_str(), report, sizeof report, &block),
              VARNO_ERROR_MEMORY_OUTPUT);
    EXPECT_EQ(block, nullptr);
    EXPECT_STREQ(report, "");
    EXPECT_EQ(param(nullptr, (a.path + " below.bin").c_str(), report, sizeof report, &block), 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(static_cast<char*>(block)[0], 'y');
    GlobalFree(block);

    // A slot already holding a block is refused; without a slot the files are written.
    block = nullptr;
    EXPECT_EQ(param(nullptr, (a.path + " d.txt d.txt").c_str(), report, sizeof report, &block),
              VARNO_ERROR_MEMORY_OUTPUT);
    ASSERT_NE(block, nullptr);
    GlobalFree(block);
}

TEST(MemoryOutput, ManyEntriesStayOnTheCallersThread)
{
    std::vector<Entry> entries;
    for (int i = 0; i < 60; ++i)
        entries.push_back({.name = "f" + std::to_string(i), .data = std::to_string(i) + ";"});
    TempZip a(entries);
    // Each entry writes over the same bytes at the cursor: the last one is seen, which only the
    // caller's thread can have written.
    EXPECT_EQ(raw_run("-c " + a.path, 4096, 3), "59;");
}

}  // namespace
