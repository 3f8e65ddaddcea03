// Verification on request: --verify checks each extracted entry's CRC-32 and size against its
// central header (into files, the caller's buffer and blocks made for the caller); without it
// the same archives extract as they always did, but for a stream longer than its declared size,
// which fails either way.
#include <windows.h>

#include <algorithm>
#include <map>
#include <vector>

#include "aes_entries.h"
#include "dll_host.h"
#include "temp_zip.h"
#include "test_data.h"
#include "test_files.h"
#include "zip_writer.h"

using namespace dlltest;
using namespace std::string_literals;
using ziptest::Entry;

namespace {

// The last two: a WinZip AES entry (stored inside) with a flipped byte in its encrypted data
// (AE-1, which also records a CRC) or in its authentication code (AE-2, which records none).
enum class Damage { FlippedByte, WrongCrc, SizeSmaller, SizeLarger, AesData, AesCode };

struct DamagedEntry {
    Entry entry;
    std::string delivered;  // what the decoder delivers from it
    std::string message;    // the failure's words under verification
};

// One entry of method 0, 8 or 9 (as stored blocks) with one kind of damage.
DamagedEntry damaged(uint16_t method, Damage damage)
{
    if (damage == Damage::AesData || damage == Damage::AesCode) {
        const std::string data = noise_of(300000);
        const bool inData = damage == Damage::AesData;
        Entry e = aes_entry("x.bin", data, "secret", {.strength = 1, .method = 0, .vendorVersion = uint16_t(inData ? 1 : 2)});
        // Salt (8 bytes for 128-bit keys) and verifier come first, the code last.
        (*e.compressed)[inData ? 10 + 100 : e.compressed->size() - 1] ^= 0x20;
        std::string delivered = data;
        if (inData)
            delivered[100] ^= 0x20;
        return {e, delivered, "Authentication error"};
    }
    // A flipped byte must lie inside stored content, where only the CRC can tell: noise, which
    // Deflate also keeps in stored blocks, 5 header bytes in front of the first.
    const std::string data = damage == Damage::FlippedByte ? noise_of(300000) : text_of(300000);
    Entry e{.name = "x.bin", .data = data, .method = method};
    e.compressed = method == 0 ? data : method == 8 ? ziptest::deflate_raw(data) : ziptest::stored_blocks(data);
    std::string delivered = data;
    const char* message = "Size error";
    switch (damage) {
    case Damage::FlippedByte:
        EXPECT_TRUE(method == 0 || ((*e.compressed)[0] & 6) == 0) << "the first block is not stored";
        (*e.compressed)[100] ^= 0x20;
        delivered[method == 0 ? 100 : 95] ^= 0x20;
        message = "CRC error";
        break;
    case Damage::WrongCrc:
        e.crc = ziptest::crc32_of(data) ^ 1;
        message = "CRC error";
        break;
    case Damage::SizeSmaller: e.uncompressedSizeField = static_cast<uint32_t>(data.size() - 1); break;
    case Damage::SizeLarger: e.uncompressedSizeField = static_cast<uint32_t>(data.size() + 1); break;
    case Damage::AesData:
    case Damage::AesCode: break;  // made above
    }
    return {e, delivered, message};
}

TEST(Verify, DamagedEntriesFailOnlyWhenAskedIntoEveryTarget)
{
    for (uint16_t method : {0, 8, 9}) {
        for (Damage damage : {Damage::FlippedByte, Damage::WrongCrc, Damage::SizeSmaller, Damage::SizeLarger,
                              Damage::AesData, Damage::AesCode}) {
            const bool aes = damage == Damage::AesData || damage == Damage::AesCode;
            if (aes && method != 0)
                continue;
            const DamagedEntry d = damaged(method, damage);
            TempZip a({d.entry});
            for (bool verify : {true, false}) {
                SCOPED_TRACE("method " + std::to_string(method) + " damage " + std::to_string(static_cast<int>(damage)) +
                             (verify ? " verified" : " plain"));
                const std::string option = std::string(aes ? "-P secret " : "") + (verify ? "--verify " : "");
                const bool fails = verify || damage == Damage::SizeSmaller;
                const int expected = fails ? VARNO_ERROR_DATA : 0;

                // Files: removed after the failure, else holding what was decoded.
                const CommandResult r = run("Varno", "-o " + option + a.path + " " + a.out_option());
                EXPECT_EQ(r.code, expected);
                if (fails) {
                    EXPECT_EQ(r.output, d.message + " : " + to_ansi(a.out(L"x.bin")));
                    EXPECT_FALSE(file_exists(a.out(L"x.bin")));
                } else {
                    EXPECT_EQ(r.output, "");
                    EXPECT_TRUE(read_file(a.out(L"x.bin")) == d.delivered);
                }

                // The caller's buffer: the failure's message lands at its start.
                std::vector<BYTE> buffer(1 << 20, 0xEE);
                EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, (option + a.path + " x.bin").c_str(), buffer.data(),
                                                               static_cast<DWORD>(buffer.size()), nullptr, nullptr, nullptr),
                          expected);
                const std::string head(reinterpret_cast<char*>(buffer.data()), fails ? d.message.size() + 9 : d.delivered.size());
                EXPECT_TRUE(head == (fails ? d.message + " : x.bin\0"s : d.delivered)) << head.substr(0, 40);

                // A block made for the caller: freed after the failure, else of the declared size.
                void* block = nullptr;
                char report[256];
                EXPECT_EQ(fn<ParamFn>("VarnoParam")(nullptr, (option + a.path + " x.bin").c_str(), report, sizeof report, &block),
                          expected);
                EXPECT_EQ(block != nullptr, !fails);
                if (fails) {
                    EXPECT_EQ(std::string(report), d.message + " : x.bin");
                } else if (block) {
                    const size_t size = GlobalSize(block);
                    EXPECT_EQ(size, d.entry.uncompressedSizeField.value_or(300000));
                    EXPECT_TRUE(std::string(static_cast<char*>(block), std::min(size, d.delivered.size())) == d.delivered.substr(0, size));
                    GlobalFree(block);
                }
            }
        }
    }
}

TEST(Verify, SoundEntriesOfAllKindsPassAlsoLargeOnesAndZip64Sizes)
{
    // Large entries are summed while they are written; the flip lies far behind the start.
    std::string flipped = noise_of(20 << 20, 3);
    flipped[17 << 20] ^= 1;
    const std::string big = text_of(24 << 20, 5);
    const std::vector<Entry> entries = {
        {.name = "stored.bin", .data = noise_of(20 << 20, 3)},
        {.name = "deflate.txt", .data = big, .method = 8},
        {.name = "d64.bin", .data = noise_of(200000), .method = 9, .compressed = ziptest::stored_blocks(noise_of(200000))},
        {.name = "empty.txt", .data = ""},
        {.name = "dir/", .data = ""},
        {.name = "zip64.txt", .data = text_of(5000), .method = 8, .zip64 = true},
        {.name = "zip64-larger.txt", .data = text_of(5000), .method = 8, .zip64 = true, .zip64UncompressedSize = 5001},
        {.name = "zip64-smaller.txt", .data = text_of(5000), .zip64 = true, .zip64UncompressedSize = 4999},
        {.name = "flipped-big.bin", .data = noise_of(20 << 20, 3), .compressed = flipped},
    };
    TempZip a(entries);
    const CommandResult r = run("Varno", "-o --verify " + a.path + " " + a.out_option() + " stored.bin deflate.txt d64.bin empty.txt dir/ zip64.txt");
    EXPECT_EQ(r.code, 0) << r.output;
    for (int i = 0; i < 6; ++i) {
        const std::wstring name = from_utf8(entries[i].name);
        if (entries[i].name != "dir/")
            EXPECT_TRUE(read_file(a.out(name)) == entries[i].data) << entries[i].name;
    }
    for (const char* name : {"zip64-larger.txt", "zip64-smaller.txt"}) {
        const CommandResult s = run("Varno", "-o --verify " + a.path + " " + a.out_option() + " " + name);
        EXPECT_EQ(s.code, VARNO_ERROR_DATA) << name;
        EXPECT_EQ(s.output, "Size error : " + to_ansi(a.out(from_utf8(name))));
    }
    const CommandResult f = run("Varno", "-o --verify " + a.path + " " + a.out_option() + " flipped-big.bin");
    EXPECT_EQ(f.code, VARNO_ERROR_DATA);
    EXPECT_EQ(f.output, "CRC error : " + to_ansi(a.out(L"flipped-big.bin")));
    EXPECT_FALSE(file_exists(a.out(L"flipped-big.bin")));
}

TEST(Verify, NothingIsWrittenBeyondTheDeclaredSize)
{
    // 64 MiB of zeros that claim 1.5 MiB: the second MiB of output would pass the claim.
    const uint32_t declared = 3 << 19;
    const std::string zeros(64 << 20, '\0');
    TempZip a({{.name = "bomb.bin", .data = zeros, .method = 8, .uncompressedSizeField = declared}});
    std::vector<BYTE> buffer(4 << 20, 0xEE);
    EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, ("--verify " + a.path + " bomb.bin").c_str(), buffer.data(),
                                                   static_cast<DWORD>(buffer.size()), nullptr, nullptr, nullptr),
              VARNO_ERROR_DATA);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), 22), "Size error : bomb.bin\0"s);
    EXPECT_EQ(std::count(buffer.begin() + declared, buffer.end(), 0xEE), static_cast<long>(buffer.size() - declared));

    const CommandResult r = run("Varno", "-o --verify " + a.path + " " + a.out_option());
    EXPECT_EQ(r.code, VARNO_ERROR_DATA);
    EXPECT_EQ(r.output, "Size error : " + to_ansi(a.out(L"bomb.bin")));
    EXPECT_FALSE(file_exists(a.out(L"bomb.bin")));
}

// How often each line occurs in a command's report.
std::map<std::string, int> line_counts(const std::string& output)
{
    std::map<std::string, int> counts;
    for (const std::string& line : lines_of(output))
        ++counts[line];
    return counts;
}

TEST(TestCommand, EveryEntryOnceWithWorkersAndNothingWritten)
{
    for (int count : {1, 2000}) {
        std::vector<Entry> entries;
        for (int i = 0; i < count; ++i)
            entries.push_back({.name = "f" + std::to_string(i), .data = text_of(100 + i % 7, i + 1), .method = 8});
        const int middle = count / 2;
        entries[middle].crc = ziptest::crc32_of(entries[middle].data) ^ 0x80;
        TempZip a(entries);
        for (const char* exportName : {"UnZip", "Varno"}) {
            const CommandResult r = run(exportName, "--q -R4 --test -d " + a.out_option() + " " + a.path, 1 << 20);
            EXPECT_EQ(r.code, VARNO_ERROR_DATA) << count;
            std::map<std::string, int> counts = line_counts(r.output);
            EXPECT_EQ(counts["CRC error : f" + std::to_string(middle)], 1) << count;
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(counts["OK : f" + std::to_string(i)], i == middle ? 0 : 1) << count << " f" << i;
            EXPECT_EQ(counts.count("multimode thread:4 step:500"), count == 2000 ? 1u : 0u) << r.output.substr(0, 200);
            EXPECT_FALSE(file_exists(a.dir.file(L"out")));
        }
    }
}

TEST(TestCommand, NamesListsFailuresOfEveryKindAndTheMessageMask)
{
    const std::string data = text_of(300000);
    const std::string stream = ziptest::deflate_raw(data);
    TempZip a({{.name = "dir/", .data = ""},
               {.name = "dir/good.txt", .data = data, .method = 8},
               {.name = "m97.bin", .data = "x", .method = 97, .compressed = "x"},
               {.name = "cut.txt", .data = data, .method = 8, .compressed = stream.substr(0, stream.size() / 2)},
               {.name = "crc.txt", .data = "abc", .crc = 1},
               {.name = "last.txt", .data = "last"}});
    // The first failure is the result; later entries are still tested.
    CommandResult r = run("UnZip", "--test " + a.path);
    EXPECT_EQ(r.code, VARNO_ERROR_METHOD);
    EXPECT_EQ(lines_of(r.output), (std::vector<std::string>{"OK : dir/", "OK : dir/good.txt", "Archive method not support 97 : m97.bin",
                                                              "EOF error : cut.txt", "CRC error : crc.txt", "OK : last.txt"}));
    // Names, also from a list file; -q keeps the failures only.
    write_file(a.dir.file(L"names.txt"), "last.txt\r\ncrc.txt\r\n");
    r = run("Varno", "--test -q " + a.path + " dir/good.txt " + quoted("@" + to_ansi(a.dir.file(L"names.txt"))) + " m97.bin");
    EXPECT_EQ(r.code, VARNO_ERROR_DATA);
    EXPECT_EQ(lines_of(r.output), (std::vector<std::string>{"CRC error : crc.txt", "Archive method not support 97 : m97.bin"}));
    r = run("Varno", "--test " + a.path + " dir/good.txt nothing.txt");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output, "OK : dir\\good.txt");

    // Memory exports test too, and hand out nothing.
    void* block = nullptr;
    char report[256];
    EXPECT_EQ(fn<ParamFn>("VarnoParam")(nullptr, ("--test " + a.path + " crc.txt").c_str(), report, sizeof report, &block),
              VARNO_ERROR_DATA);
    EXPECT_EQ(block, nullptr);
    EXPECT_STREQ(report, "CRC error : crc.txt");
    std::vector<BYTE> buffer(64, 0xEE);
    ULONGLONG size = 99;
    EXPECT_EQ(fn<ExtractMemFn>("UnZipExtractMem")(nullptr, ("--test " + a.path + " last.txt").c_str(), buffer.data(), 64, nullptr,
                                                   nullptr, &size),
              0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data())), "OK : last.txt");
    EXPECT_EQ(size, 99u);
}

#if defined(__aarch64__)
// The CRC-32 routine built for the ARMv8 CRC and PMULL instructions, which the emulated processor
// has but does not report (so the verification above took the other build), against the plain
// one, over lengths and alignments that reach each of its loops.
extern "C" uint32_t libdeflate_crc32_armv8(uint32_t crc, const void* buffer, size_t length);
extern "C" uint32_t libdeflate_crc32(uint32_t crc, const void* buffer, size_t length);

TEST(Verify, Armv8CrcRoutineSumsAsThePlainOne)
{
    const std::string data = noise_of(3 << 20, 11);
    for (size_t start : {0, 1, 7}) {
        for (size_t length : {0, 1, 15, 16, 255, 4096 + 3, 65536, (3 << 20) - 7}) {
            const char* at = data.data() + start;
            EXPECT_EQ(libdeflate_crc32_armv8(0x12345678, at, length), libdeflate_crc32(0x12345678, at, length))
                << start << " " << length;
        }
    }
}
#endif

}  // namespace
