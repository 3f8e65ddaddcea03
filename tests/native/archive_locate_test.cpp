// Finding the central directory on a memory image of the file: the end-record window, ZIP64,
// prefixed archives and self-extractors.
#include <gtest/gtest.h>

#include <string>

#include "archive/archive_locate.h"
#include "memory_source.h"
#include "zip_writer.h"

namespace {

LocateFailure locate(const std::string& bytes, ArchiveGeometry* g)
{
    MemorySource source(bytes);
    return locate_central_directory(source, bytes.size(), g);
}

const std::vector<ziptest::Entry> kTwoEntries = {{"a.txt", "alpha"}, {"dir/b.txt", std::string(3000, 'b'), 8}};

// The directory of build_zip output without prefix or ZIP64: from the end record.
uint32_t recorded(const std::string& zip, size_t field)
{
    const size_t end = zip.rfind(std::string("PK\5\6", 4));
    return static_cast<uint8_t>(zip[end + field]) | static_cast<uint8_t>(zip[end + field + 1]) << 8 |
           static_cast<uint8_t>(zip[end + field + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(zip[end + field + 3])) << 24;
}

TEST(ArchiveLocate, CommentsOfEveryLength)
{
    // Up to 1512 bytes the first window holds the end record; longer comments (up to the
    // 65,535 that the length field allows) are found by the second search.
    for (size_t comment : {0, 1000, 1512, 1513, 1514, 4000, 65535}) {
        const std::string zip = ziptest::build_zip(kTwoEntries, {.comment = std::string(comment, 'c')});
        ArchiveGeometry g;
        ASSERT_EQ(locate(zip, &g), LocateFailure::None) << comment;
        EXPECT_EQ(g.entryCount, 2u);
        EXPECT_EQ(g.cdOffset, recorded(zip, 16));
        EXPECT_EQ(g.cdSize, recorded(zip, 12));
        EXPECT_EQ(g.baseOffset, 0u);
    }
}

TEST(ArchiveLocate, EndRecordsInsideLongComments)
{
    // A record-like text inside the comment: the real record is the one whose comment reaches
    // exactly the end of the file, wherever the copy lies and whatever its length field says.
    std::string fake = "PK\5\6" + std::string(8, '\0');
    ziptest::put32(fake, 0x7000);
    ziptest::put32(fake, 0x7000);
    for (uint32_t fakeComment : {0u, 10u, 60000u}) {
        std::string record = fake;
        ziptest::put16(record, fakeComment);
        for (size_t at : {0, 100, 2000, 3000}) {
            std::string comment(4000, 'c');
            comment.replace(at, record.size(), record);
            const std::string zip = ziptest::build_zip(kTwoEntries, {.comment = comment});
            ArchiveGeometry g;
            ASSERT_EQ(locate(zip, &g), LocateFailure::None) << at << " " << fakeComment;
            // A copy inside the first window is what the first search takes, as always.
            EXPECT_EQ(g.cdOffset, at == 3000 ? 0x7000 : zip.find(std::string("PK\1\2", 4))) << at << " " << fakeComment;
        }
    }
    // Bytes behind the archive: no comment ends at the end of the file, and the last record
    // whose comment fits is taken.
    const std::string trailed = ziptest::build_zip(kTwoEntries, {.comment = std::string(3000, 'c'), .suffix = "tail"});
    ArchiveGeometry g;
    ASSERT_EQ(locate(trailed, &g), LocateFailure::None);
    EXPECT_EQ(g.cdOffset, recorded(trailed, 16));
    // A record whose comment would run past the end of the file is no record, and a record
    // further back than the longest comment reaches is not found.
    std::string past = ziptest::build_zip(kTwoEntries, {.comment = std::string(3000, 'c')});
    past[past.size() - 3001] = '\x10';  // the length field's high byte: 3000 + 0x1000 bytes
    EXPECT_EQ(locate(past, &g), LocateFailure::NotAnArchive);
    const std::string far = ziptest::build_zip(kTwoEntries, {.comment = "c", .suffix = std::string(65536, 's')});
    EXPECT_EQ(locate(far, &g), LocateFailure::NotAnArchive);
    // The second search covers the reach of the longest comment and no more.
    MemorySource source(trailed);
    locate_central_directory(source, trailed.size(), &g);
    EXPECT_EQ(source.reads, 3);
}

TEST(ArchiveLocate, FilesThatAreNoArchive)
{
    const std::string cases[] = {
        "",
        "P",
        ziptest::build_zip({}),                 // 22 bytes: the record would start at 0
        std::string(23, '\0'),
        std::string(5000, 'x'),
        "PK" + std::string(100, '\0'),
    };
    for (const std::string& bytes : cases) {
        ArchiveGeometry g;
        EXPECT_EQ(locate(bytes, &g), LocateFailure::NotAnArchive) << bytes.size();
    }
    // The smallest that opens: two bytes in front of an empty end record.
    ArchiveGeometry g;
    EXPECT_EQ(locate("PK" + ziptest::build_zip({}), &g), LocateFailure::None);
    EXPECT_EQ(g.entryCount, 0u);
}

TEST(ArchiveLocate, ReadFailuresAreReported)
{
    const std::string zip = ziptest::build_zip(kTwoEntries);
    MemorySource source(zip);
    source.failReads = true;
    ArchiveGeometry g;
    EXPECT_EQ(locate_central_directory(source, zip.size(), &g), LocateFailure::ReadFailed);
}

TEST(ArchiveLocate, PrefixedArchives)
{
    const std::string prefix(1000, 'x');
    for (bool include : {true, false}) {
        const std::string zip = ziptest::build_zip(kTwoEntries, {.prefix = prefix, .offsetsIncludePrefix = include});
        ArchiveGeometry g;
        ASSERT_EQ(locate(zip, &g), LocateFailure::None);
        const uint32_t recordedOffset = recorded(zip, 16);
        EXPECT_EQ(g.cdOffset, recordedOffset + (include ? 0u : 1000u));
        EXPECT_EQ(g.baseOffset, include ? 0u : 1000u);
        EXPECT_EQ(g.entryCount, 2u);
    }
    // A directory size larger than everything in front of the end record: the offset wraps and
    // lies beyond the file, which the load refuses.
    const std::string lying = ziptest::build_zip(kTwoEntries, {.prefix = prefix, .cdSizeField = 0x7FFFFFFF});
    ArchiveGeometry g;
    ASSERT_EQ(locate(lying, &g), LocateFailure::None);
    EXPECT_GT(g.cdOffset, lying.size());
}

// An executable head whose PE header lies at 0x80 and whose "_winzip_" section name lies at
// `sectionAt` from it; the section's raw data are the ZIP data.
std::string sfx_head(uint32_t sectionAt, uint32_t rawPosition, uint32_t rawSize)
{
    std::string head(2048, '\0');
    head[0] = 'M';
    head[1] = 'Z';
    head[0x3C] = static_cast<char>(0x80);
    memcpy(&head[0x80 + sectionAt], "_winzip_", 8);
    std::string fields;
    ziptest::put32(fields, rawSize);
    ziptest::put32(fields, rawPosition);
    memcpy(&head[0x80 + sectionAt + 16], fields.data(), 8);
    return head;
}

TEST(ArchiveLocate, SelfExtractorsWithDataBehindTheSection)
{
    const std::string data = ziptest::build_zip(kTwoEntries, {.comment = "sfx"});
    const std::string signature(4096, 's');
    for (uint32_t sectionAt : {408u, 488u}) {
        const std::string head = sfx_head(sectionAt, 2048, static_cast<uint32_t>(data.size()));
        const std::string file = head + data + signature;
        uint8_t probe[kHeadBytes];
        memcpy(probe, file.data(), sizeof probe);
        EXPECT_EQ(find_sfx_section(probe), 0x80 + sectionAt);
        ArchiveGeometry g;
        ASSERT_EQ(locate(file, &g), LocateFailure::None) << sectionAt;
        EXPECT_EQ(g.baseOffset, 2048u);
        EXPECT_EQ(g.cdOffset, 2048u + recorded(data, 16));
        EXPECT_EQ(g.entryCount, 2u);
        // Without the section the 4096 bytes hide the end record from the first window; the
        // second search finds it, and the directory is taken to end where the record begins.
        std::string plainHead = head;
        memcpy(&plainHead[0x80 + sectionAt], "_other__", 8);
        ASSERT_EQ(locate(plainHead + data + signature, &g), LocateFailure::None);
        EXPECT_EQ(g.baseOffset, 2048u);
    }
    // Section fields that point past the end of the file put the window before its start.
    const std::string lying = sfx_head(408, 0x7FFFFFFF, 0x7FFFFFFF) + data;
    ArchiveGeometry g;
    EXPECT_EQ(locate(lying, &g), LocateFailure::NegativeSeek);
    // The executable header must lie within the first 256 bytes.
    std::string far = sfx_head(408, 2048, static_cast<uint32_t>(data.size()));
    far[0x3C] = 0;
    far[0x3D] = 1;
    uint8_t probe[kHeadBytes];
    memcpy(probe, far.data(), sizeof probe);
    EXPECT_EQ(find_sfx_section(probe), 0u);
}

TEST(ArchiveLocate, Zip64EndRecords)
{
    ArchiveGeometry g;
    const std::string zip = ziptest::build_zip(kTwoEntries, {.zip64EndRecords = true});
    ASSERT_EQ(locate(zip, &g), LocateFailure::None);
    EXPECT_EQ(g.entryCount, 2u);
    EXPECT_EQ(g.cdOffset, zip.find(std::string("PK\1\2", 4)));
    EXPECT_EQ(g.cdSize, zip.find(std::string("PK\6\6", 4)) - g.cdOffset);

    // More than 0xFFFFFFFF entries recorded: the count does not fit.
    const std::string many = ziptest::build_zip(kTwoEntries, {.zip64EndRecords = true, .zip64EntryCount = 0x100000002ull});
    ASSERT_EQ(locate(many, &g), LocateFailure::None);
    EXPECT_EQ(g.entryCount, 0xFFFFFFFFu);

    // Full 32-bit fields without a locator, or a locator whose record is not where it says
    // in a file that starts as an archive: nothing usable.
    const std::string sizeOnly = ziptest::build_zip(kTwoEntries, {.cdSizeField = 0xFFFFFFFF});
    EXPECT_EQ(locate(sizeOnly, &g), LocateFailure::NotAnArchive);
    std::string moved = zip;
    const size_t locator = moved.find(std::string("PK\6\7", 4));
    for (int i = 0; i < 8; ++i)
        moved[locator + 8 + i] = 0;  // points at the first local header
    EXPECT_EQ(locate(moved, &g), LocateFailure::NotAnArchive);

    // The first window takes a locator only from its position 23 on: a ZIP64 end record at
    // window position 42 (a comment of 1472 bytes) is refused, one at 43 taken.
    for (size_t comment : {1471, 1472}) {
        const std::string commented = ziptest::build_zip(kTwoEntries, {.comment = std::string(comment, 'c'), .zip64EndRecords = true});
        EXPECT_EQ(locate(commented, &g), comment == 1471 ? LocateFailure::None : LocateFailure::NotAnArchive) << comment;
    }
    // The second search reads the locator in front of a record behind the longest comment.
    const std::string longComment = ziptest::build_zip(kTwoEntries, {.comment = std::string(65535, 'c'), .zip64EndRecords = true});
    ASSERT_EQ(locate(longComment, &g), LocateFailure::None);
    EXPECT_EQ(g.cdOffset, longComment.find(std::string("PK\1\2", 4)));
}

TEST(ArchiveLocate, Zip64ArchivesWithBytesInFront)
{
    // A stub put in front of a ZIP64 archive (cat stub zip64.zip): every recorded offset, the
    // locator's too, misses the stub. The ZIP64 end record lies in front of the locator; the
    // distance to where the locator says is the stub's length.
    // Some tools keep the true 32-bit values in the end record (and 0xFFFF for a count that
    // does not fit): the ZIP64 records are taken all the same.
    const std::string bare = ziptest::build_zip(kTwoEntries);
    const std::optional<uint32_t> trueSize = recorded(bare, 12), trueOffset = recorded(bare, 16);
    for (size_t stub : {0, 1, 713, 70000}) {
        for (int variant = 0; variant < 3; ++variant) {
            const bool include = variant == 1, full = variant < 2;
            const std::string zip = ziptest::build_zip(
                kTwoEntries, {.prefix = std::string(stub, 'M'), .offsetsIncludePrefix = include,
                              .entryCountField = full ? std::nullopt : std::optional<uint16_t>(0xFFFF),
                              .cdSizeField = full ? std::nullopt : trueSize, .cdOffsetField = full ? std::nullopt : trueOffset,
                              .zip64EndRecords = true});
            ArchiveGeometry g;
            ASSERT_EQ(locate(zip, &g), LocateFailure::None) << stub;
            EXPECT_EQ(g.baseOffset, include ? 0u : stub) << stub;
            EXPECT_EQ(g.cdOffset, zip.find(std::string("PK\1\2", 4))) << stub;
            EXPECT_EQ(g.entryCount, 2u);
        }
    }
    // Neither where the locator says nor in front of it: not an archive.
    std::string lost = ziptest::build_zip(kTwoEntries, {.prefix = std::string(713, 'M'), .offsetsIncludePrefix = false,
                                                        .zip64EndRecords = true});
    lost[lost.find(std::string("PK\6\6", 4)) + 3] = 'x';
    ArchiveGeometry g;
    EXPECT_EQ(locate(lost, &g), LocateFailure::NotAnArchive);
}

TEST(ArchiveLocate, MoreThan65535Entries)
{
    std::vector<ziptest::Entry> entries;
    for (int i = 0; i < 70000; ++i)
        entries.push_back({"f" + std::to_string(i), ""});
    const std::string zip = ziptest::build_zip(entries, {.zip64EndRecords = true});
    ArchiveGeometry g;
    ASSERT_EQ(locate(zip, &g), LocateFailure::None);
    EXPECT_EQ(g.entryCount, 70000u);
}

}  // namespace
