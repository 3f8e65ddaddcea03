// The directory rebuilt from the local headers of an archive cut at every length: each entry
// whose data and descriptor lie in the file gets the values its sound central header gives,
// whichever way its end is found; the entry the cut runs through is the last header. And where
// the local headers begin.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "archive/entry_extras.h"
#include "archive/local_header_walk.h"
#include "archive/zip_format.h"
#include "central_walk_support.h"
#include "memory_source.h"

namespace {

using ziptest::Entry;

uint64_t no_dos_time(uint16_t, uint16_t) { return 0; }

// The values of a central header that the rebuilt one must repeat.
struct Values {
    std::string name;
    uint16_t flags, method, time, date;
    uint32_t crc;
    uint64_t compressed, uncompressed, offset;
    bool operator==(const Values&) const = default;
};

std::vector<Values> values_of(const uint8_t* begin, const uint8_t* end)
{
    std::vector<Values> all;
    for (const uint8_t* at = begin; const uint8_t* next = next_central_header(at, end); at = next) {
        EntryExtraInfo extras = {};
        extras.flags = kExtraWantAllZip64;
        read_entry_extras_with(at, &extras, no_dos_time);
        all.push_back({std::string(reinterpret_cast<const char*>(at) + kCentralHeaderSize, read_u16(at + central::nameLength)),
                       read_u16(at + central::flags), read_u16(at + central::method), read_u16(at + central::dosTime),
                       read_u16(at + central::dosDate), read_u32(at + central::crc32), entry_compressed_size(at, extras),
                       entry_uncompressed_size(at, extras), entry_local_header_offset(at, extras)});
    }
    return all;
}

TEST(LocalHeaderWalk, EveryWholeEntryOfAnArchiveCutAtEveryLength)
{
    const std::string text = "The whole entries before the cut are what the user needs. ";
    // A stored descriptor signature inside the data whose sizes fit but whose CRC-32 does not.
    std::string decoy = "ab";
    decoy += std::string("PK\7\x08", 4) + std::string(4, 'c');
    ziptest::put32(decoy, 2);
    ziptest::put32(decoy, 2);
    decoy += text;
    const std::vector<Entry> entries = {
        {.name = "stored.txt", .data = text},
        {.name = "deflated.txt", .data = text + text, .method = 8},
        {.name = "streamed.txt", .data = text + text + text, .method = 8, .dataDescriptor = true},
        {.name = "decoy.bin", .data = decoy, .dataDescriptor = true},
        {.name = "zip64.txt", .data = text, .method = 8, .zip64 = true, .dataDescriptor = true},
        {.name = "locked.txt", .data = text, .password = "pw", .dataDescriptor = true},
        {.name = "deflate64.bin", .data = text, .method = 9, .compressed = ziptest::stored_blocks(text), .dataDescriptor = true},
        // Implode data have no end of their own: their descriptor ends them, the walk decodes
        // nothing (so any bytes stand in for them). PPMd data end with an end mark.
        {.name = "imploded.txt", .data = text, .method = 6, .compressed = text, .dataDescriptor = true},
        {.name = "ppmd.txt", .data = "Lorem ipsum dolor sit amet, consectetur adipiscing elit.\n", .method = 98,
         .compressed = std::string("\x08\x00\x4C\x25\x1A\xB2\x78\x7E\x17\x0C\x7B\x45\x3F\xC1\x17\x95\x73\x42\x52\x2E\xB4"
                                   "\x96\x59\x68\x57\xFA\x24\xA9\x20\x62\xFE\x4D\x0C\xAA\xB2\x30\x5C\x0A\x1B\xE1\xF9\xD7"
                                   "\x1B\x26\x0A\x5D\x4C\x46\x84\x84\x92\x46\x00", 53),
         .dataDescriptor = true},
        {.name = "dir/", .data = ""},
        {.name = "last.txt", .data = text, .method = 8, .centralExtra = ziptest::extra_record(0x5455, "\1\0\0\0\0")},
    };
    const std::string zip = ziptest::build_zip(entries);
    const std::vector<uint8_t> directory = walktest::directory_of(zip);
    const std::vector<Values> sound = values_of(directory.data(), directory.data() + directory.size());
    ASSERT_EQ(sound.size(), entries.size());
    std::vector<uint64_t> ends;  // where each entry's data and descriptor end: the next record
    for (size_t i = 1; i < sound.size(); ++i)
        ends.push_back(sound[i].offset);
    ends.push_back(zip.find(std::string("PK\1\2", 4)));

    for (size_t length = 0; length <= zip.size(); ++length) {
        SCOPED_TRACE(length);
        const std::string cut = zip.substr(0, length);
        MemorySource source(cut);
        RebuiltDirectory rebuilt;
        const RebuildResult result = rebuild_central_directory(source, cut.size(), 0, &rebuilt);
        size_t whole = 0;
        while (whole < ends.size() && ends[whole] <= length)
            ++whole;
        const bool cutEntry = whole < entries.size() && sound[whole].offset + kLocalHeaderSize + sound[whole].name.size() <= length;
        if (whole == 0 && !cutEntry) {
            EXPECT_EQ(result, RebuildResult::noEntries);
            continue;
        }
        ASSERT_EQ(result, RebuildResult::rebuilt);
        const uint8_t* end = rebuilt.headers + rebuilt.size;
        EXPECT_EQ(count_central_headers(rebuilt.headers, end), rebuilt.count);
        const std::vector<Values> found = values_of(rebuilt.headers, end);
        ASSERT_EQ(found.size(), whole + cutEntry);
        for (size_t i = 0; i < whole; ++i)
            EXPECT_EQ(found[i], sound[i]) << sound[i].name;
        if (cutEntry) {
            EXPECT_EQ(found.back().name, sound[whole].name);
            EXPECT_EQ(found.back().offset, sound[whole].offset);
            ASSERT_NE(rebuilt.cutEntry, nullptr);
            EXPECT_EQ(next_central_header(rebuilt.cutEntry, end), end);
        } else {
            EXPECT_EQ(rebuilt.cutEntry, nullptr);
        }
        // Host 0 with the version the entry needs, no attributes, no comment.
        for (const uint8_t* at = rebuilt.headers; at; at = next_central_header(at, end)) {
            if (at == end)
                break;
            EXPECT_EQ(read_u16(at + central::versionMadeBy), 20);
            EXPECT_EQ(read_u32(at + central::externalAttributes), 0u);
            EXPECT_EQ(read_u16(at + central::commentLength), 0);
        }
        free(rebuilt.headers);
    }
}

TEST(LocalHeaderWalk, ZipDataBeginAtTheStartOrBehindASelfExtractorsProgram)
{
    const std::string zip = ziptest::build_zip({{"a.txt", "alpha"}});
    // A "_winzip_" executable whose section holds the ZIP data at 2048.
    std::string winzip(2048, '\0');
    winzip[0] = 'M';
    winzip[1] = 'Z';
    winzip[0x3C] = static_cast<char>(0x80);
    memcpy(&winzip[0x80 + 408], "_winzip_", 8);
    winzip[0x80 + 408 + 21] = 8;  // raw data position 2048
    // An executable image of one section (0x200 bytes at 0x200) with a local header signature
    // inside it, then symbols, then the archive.
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    image[0x3C] = 0x40;
    memcpy(&image[0x40], "PE\0\0", 4);
    image[0x40 + 6] = 1;  // one section
    image[0x40 + 24 + 16 + 1] = 2;  // its raw size 0x200
    image[0x40 + 24 + 20 + 1] = 2;  // at 0x200
    memcpy(&image[0x300], "PK\3\4", 4);
    const std::string symbols(100, 's');
    const struct {
        const char* what;
        std::string bytes;
        bool found;
        uint64_t start;
    } cases[] = {
        {"plain", zip, true, 0},
        {"winzip section", winzip + zip, true, 2048},
        {"behind the image", image + symbols + zip, true, 0x400 + symbols.size()},
        {"image without archive", image + symbols, false, 0},
        {"too far behind the image", image + std::string(kStubTailReach + 10, 's') + zip, false, 0},
        {"MZ without an image", "MZ" + std::string(1000, 'x') + zip, false, 0},
        {"text holding a signature", "some text PK\3\4 and more" + zip, false, 0},
        {"empty", "", false, 0},
    };
    for (const auto& c : cases) {
        MemorySource source(c.bytes);
        uint64_t start = 0;
        EXPECT_EQ(find_first_local_header(source, c.bytes.size(), &start), c.found) << c.what;
        if (c.found)
            EXPECT_EQ(start, c.start) << c.what;
    }
}

// The walk decodes a stream to its end only as far as 64 MiB of output: one that expands further
// (a bomb, or merely a large entry) is ended by the descriptor that records its length.
TEST(LocalHeaderWalk, AStreamThatExpandsFarIsEndedByItsDescriptor)
{
    const std::string zip = ziptest::build_zip({{.name = "large.bin", .data = std::string(80 << 20, '\0'), .method = 8,
                                                 .dataDescriptor = true},
                                                {.name = "after.txt", .data = "after"}});
    const std::vector<uint8_t> directory = walktest::directory_of(zip);
    MemorySource source(zip);
    RebuiltDirectory rebuilt;
    ASSERT_EQ(rebuild_central_directory(source, zip.size(), 0, &rebuilt), RebuildResult::rebuilt);
    EXPECT_EQ(values_of(rebuilt.headers, rebuilt.headers + rebuilt.size),
              values_of(directory.data(), directory.data() + directory.size()));
    free(rebuilt.headers);
}

TEST(LocalHeaderWalk, AFailedReadFailsTheRebuild)
{
    const std::string zip = ziptest::build_zip({{"a.txt", "alpha"}});
    MemorySource source(zip);
    source.failReads = true;
    RebuiltDirectory rebuilt;
    EXPECT_EQ(rebuild_central_directory(source, zip.size(), 0, &rebuilt), RebuildResult::failed);
    uint64_t start = 0;
    EXPECT_FALSE(find_first_local_header(source, zip.size(), &start));
}

}  // namespace
