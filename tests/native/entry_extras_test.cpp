// Extra fields of central headers: ZIP64 values, NTFS and extended-timestamp times, their
// precedence, the already-read protocol, and records that lie about their sizes.
#include <gtest/gtest.h>

#include <string>

#include "archive/entry_extras.h"
#include "archive/entry_names.h"
#include "central_walk_support.h"

namespace {

using ziptest::extra_record;
using ziptest::put16;
using ziptest::put32;
using ziptest::put64;

// Stands in for the local-time conversion: date and time side by side.
uint64_t fake_dos_time(uint16_t date, uint16_t time) { return (static_cast<uint64_t>(date) << 16 | time) + 1; }

struct Read {
    int32_t flags;
    EntryExtraInfo extras;
    std::vector<uint8_t> directory;
};

Read read_one(const ziptest::Entry& entry, int32_t inputFlags)
{
    Read r;
    r.directory = walktest::directory_of({entry});
    CentralCursor cursor = walktest::cursor_over(r.directory);
    char name[kNameSize];
    bool utf8;
    const uint8_t* header = take_central_entry(&cursor, name, &utf8);
    EXPECT_NE(header, nullptr);
    r.extras = EntryExtraInfo{};
    r.extras.flags = inputFlags;
    r.flags = read_entry_extras_with(header, &r.extras, fake_dos_time);
    EXPECT_EQ(r.flags, r.extras.flags);
    return r;
}

std::string ntfs(uint64_t write, uint64_t access, uint64_t create, uint16_t attributeSize = 24)
{
    std::string data(4, '\0');
    put16(data, 1);
    put16(data, attributeSize);
    put64(data, write);
    put64(data, access);
    put64(data, create);
    return extra_record(0x000a, data);
}

std::string timestamp(uint8_t bits, uint32_t write, uint32_t access, uint32_t create, size_t size = 17)
{
    std::string data(1, static_cast<char>(bits));
    put32(data, write);
    put32(data, access);
    put32(data, create);
    data.resize(size, '\0');
    return extra_record(0x5455, data);
}

std::string zip64_values(std::initializer_list<uint64_t> values)
{
    std::string data;
    for (uint64_t v : values)
        put64(data, v);
    return extra_record(0x0001, data);
}

TEST(EntryExtras, Zip64ValuesFollowTheFullHeaderFields)
{
    struct Case {
        const char* what;
        ziptest::Entry entry;
        int32_t input;
        int32_t flags;
        uint64_t uncompressed, compressed, offset;
    };
    const uint32_t full = 0xFFFFFFFF;
    const Case cases[] = {
        {"all three, all wanted", {.name = "a", .data = "abc", .zip64 = true, .zip64UncompressedSize = 5000000000ull},
         kExtraWantAllZip64, kExtraWantAllZip64 | kExtraHasZip64Size | kExtraHasZip64CompressedSize | kExtraHasZip64Offset,
         5000000000ull, 3, 0},
        {"all three, only the size", {.name = "a", .data = "abc", .zip64 = true, .zip64UncompressedSize = 5000000000ull},
         0, kExtraHasZip64Size, 5000000000ull, full, full},
        {"compressed size only: the first value",
         {.name = "a", .data = "abc", .centralExtra = zip64_values({77}), .compressedSizeField = full},
         kExtraWantAllZip64, kExtraWantAllZip64 | kExtraHasZip64CompressedSize, 3, 77, 0},
        {"size not full: nothing for it",
         {.name = "a", .data = "abc", .centralExtra = zip64_values({99})}, kExtraWantAllZip64, kExtraWantAllZip64, 3, 3, 0},
        {"offset only", {.name = "a", .data = "abc", .centralExtra = zip64_values({1234}), .localHeaderOffsetField = full},
         kExtraWantAllZip64, kExtraWantAllZip64 | kExtraHasZip64Offset, 3, 3, 1234},
        {"record too short for the second value",
         {.name = "a", .data = "abc", .centralExtra = zip64_values({10}), .compressedSizeField = full,
          .uncompressedSizeField = full},
         kExtraWantAllZip64, kExtraWantAllZip64 | kExtraHasZip64Size, 10, full, 0},
        {"record too short for any value",
         {.name = "a", .data = "abc", .centralExtra = extra_record(0x0001, "1234567"), .uncompressedSizeField = full},
         kExtraWantAllZip64, kExtraWantAllZip64, full, 3, 0},
    };
    for (const Case& c : cases) {
        const Read r = read_one(c.entry, c.input);
        EXPECT_EQ(r.flags, c.flags) << c.what;
        const uint8_t* header = r.directory.data();
        EXPECT_EQ(entry_uncompressed_size(header, r.extras), c.uncompressed) << c.what;
        EXPECT_EQ(entry_compressed_size(header, r.extras), c.compressed) << c.what;
        EXPECT_EQ(entry_local_header_offset(header, r.extras), c.offset) << c.what;
        for (const uint8_t* p : {r.extras.zip64UncompressedSize, r.extras.zip64CompressedSize, r.extras.zip64LocalHeaderOffset}) {
            if (p) {  // every value lies inside the directory
                EXPECT_GE(p, header);
                EXPECT_LE(p + 8, header + r.directory.size());
            }
        }
    }
}

TEST(EntryExtras, TimesAndTheirPrecedence)
{
    struct Case {
        const char* what;
        std::string extra;
        bool hasTimes;
        uint64_t write, access, create;
    };
    const uint64_t t1 = 133000000000000000ull, t2 = 133000000000000001ull, t3 = 133000000000000002ull;
    const uint32_t dos = 0x5A216000;  // date 0x5A21, time 0x6000
    const uint64_t dosValue = fake_dos_time(0x5A21, 0x6000);
    const Case cases[] = {
        {"none", "", false, 0, 0, 0},
        {"NTFS", ntfs(t1, t2, t3), true, t1, t2, t3},
        {"NTFS attribute of another size", ntfs(t1, t2, t3, 16), false, 0, 0, 0},
        {"NTFS with no attributes", extra_record(0x000a, std::string(4, '\0')), false, 0, 0, 0},
        {"NTFS attribute running past its record", ntfs(t1, t2, t3).substr(0, 30), false, 0, 0, 0},
        {"timestamp of 17 bytes", timestamp(7, dos, dos, dos), true, dosValue, dosValue, dosValue},
        {"timestamp with only the write bit", timestamp(1, dos, dos, dos), true, dosValue, 0, 0},
        {"standard timestamp records are ignored", timestamp(1, dos, 0, 0, 5) + timestamp(3, dos, dos, 0, 13), false, 0, 0, 0},
        {"the later record wins: timestamp", ntfs(t1, t2, t3) + timestamp(7, dos, dos, dos), true, dosValue, dosValue, dosValue},
        {"the later record wins: NTFS", timestamp(7, dos, dos, dos) + ntfs(t1, t2, t3), true, t1, t2, t3},
        {"a later timestamp without the write bit clears it", ntfs(t1, t2, t3) + timestamp(2, 0, dos, 0), true, 0, dosValue, 0},
        {"a record running past the block ends the walk", extra_record(0x9999, "xx").substr(0, 5) + ntfs(t1, t2, t3), false, 0, 0, 0},
        {"unknown records are skipped", extra_record(0x9901, "1234567") + ntfs(t1, t2, t3), true, t1, t2, t3},
    };
    for (const Case& c : cases) {
        const Read r = read_one({.name = "t", .data = "x", .centralExtra = c.extra}, 0);
        EXPECT_EQ((r.flags & kExtraHasTimes) != 0, c.hasTimes) << c.what;
        EXPECT_EQ(r.extras.writeTime, c.write) << c.what;
        EXPECT_EQ(r.extras.accessTime, c.access) << c.what;
        EXPECT_EQ(r.extras.createTime, c.create) << c.what;
    }
}

TEST(EntryExtras, ARecordIsReadOnce)
{
    const std::vector<uint8_t> directory = walktest::directory_of(
        {{.name = "a", .data = "abc", .centralExtra = ntfs(1, 2, 3), .zip64 = true}});
    EntryExtraInfo extras{};
    ASSERT_EQ(read_entry_extras_with(directory.data(), &extras, fake_dos_time), kExtraHasZip64Size | kExtraHasTimes);
    extras.writeTime = 42;
    // Already read: the same flags, nothing rescanned.
    EXPECT_EQ(read_entry_extras_with(directory.data(), &extras, fake_dos_time), kExtraHasZip64Size | kExtraHasTimes);
    EXPECT_EQ(extras.writeTime, 42u);
    // An entry without any result bit is read again each time.
    const std::vector<uint8_t> plain = walktest::directory_of({{"p", "q"}});
    EntryExtraInfo none{};
    none.flags = kExtraWantAllZip64;
    EXPECT_EQ(read_entry_extras_with(plain.data(), &none, fake_dos_time), kExtraWantAllZip64);
    EXPECT_EQ(read_entry_extras_with(nullptr, &none, fake_dos_time), 0);
}

TEST(EntryExtras, DirectoriesMarkedOnlyByAttributes)
{
    const struct {
        uint16_t madeBy;
        uint32_t attributes;
        uint64_t size;
        bool directory;
    } cases[] = {
        {0x0014, 0x10, 0, true},            // FAT
        {0x0A14, 0x10, 0, true},            // NTFS
        {0x0B14, 0x30, 0, true},            // NTFS as some tools number it
        {0x0E14, 0x10, 0, true},            // VFAT
        {0x0014, 0x10, 1, false},           // with data it stays a file
        {0x0014, 0x20, 0, false},
        {0x0314, 0x41ED0000, 0, true},      // Unix drwxr-xr-x
        {0x1314, 0x41ED0000, 0, true},      // OS X
        {0x0314, 0x41ED0000, 5, false},
        {0x0314, 0x81A40010, 0, false},     // a Unix file: its DOS byte does not count
        {0x0314, 0xA1FF0000, 0, false},     // a symbolic link
        {0x0614, 0x10, 0, false},           // HPFS and every other host: by name only
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> directory = walktest::directory_of(
            {{.name = "d", .data = "", .versionMadeBy = c.madeBy, .externalAttributes = c.attributes}});
        EXPECT_EQ(marked_as_directory(directory.data(), c.size), c.directory) << std::hex << c.madeBy << " " << c.attributes;
    }
}

}  // namespace
