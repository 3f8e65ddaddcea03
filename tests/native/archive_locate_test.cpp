// Finding the central directory on a memory image of the file: the end-record window, ZIP64,
// prefixed archives and self-extractors.
#include <gtest/gtest.h>

#include <string>

#include "archive/archive_locate.h"
#include "zip_writer.h"

namespace {

class MemorySource : public ByteSource {
public:
    explicit MemorySource(const std::string& bytes) : bytes_(bytes) {}
    int64_t read_at(uint64_t offset, void* buffer, uint32_t length) override
    {
        ++reads;
        if (failReads)
            return -1;
        if (offset >= bytes_.size())
            return 0;
        const uint64_t n = std::min<uint64_t>(length, bytes_.size() - offset);
        memcpy(buffer, bytes_.data() + offset, n);
        return static_cast<int64_t>(n);
    }
    int reads = 0;
    bool failReads = false;

private:
    const std::string& bytes_;
};

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

TEST(ArchiveLocate, CommentLengthsAroundTheWindow)
{
    struct Case {
        size_t comment;
        bool opens;
    } cases[] = {{0, true}, {1000, true}, {1512, true}, {1513, false}, {1514, false}, {65535, false}};
    for (const Case& c : cases) {
        const std::string zip = ziptest::build_zip(kTwoEntries, {.comment = std::string(c.comment, 'c')});
        ArchiveGeometry g;
        const LocateFailure failure = locate(zip, &g);
        EXPECT_EQ(failure == LocateFailure::None, c.opens) << c.comment;
        if (c.opens) {
            EXPECT_EQ(g.entryCount, 2u);
            EXPECT_EQ(g.cdOffset, recorded(zip, 16));
            EXPECT_EQ(g.cdSize, recorded(zip, 12));
            EXPECT_EQ(g.baseOffset, 0u);
        }
    }
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
        // Without the section the 4096 bytes hide the end record.
        std::string plainHead = head;
        memcpy(&plainHead[0x80 + sectionAt], "_other__", 8);
        EXPECT_EQ(locate(plainHead + data + signature, &g), LocateFailure::NotAnArchive);
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

    // Only the size full in the end record also takes the ZIP64 path.
    const std::string sizeOnly = ziptest::build_zip(kTwoEntries, {.cdSizeField = 0xFFFFFFFF});
    ASSERT_EQ(locate(sizeOnly, &g), LocateFailure::None);
    EXPECT_EQ(g.cdOffset, 0u);  // no locator: the 32-bit values stay, the offset is 0
    EXPECT_EQ(g.cdSize, 0xFFFFFFFFu);

    // A locator whose record offset points elsewhere leaves the 32-bit values.
    std::string moved = zip;
    const size_t locator = moved.find(std::string("PK\6\7", 4));
    for (int i = 0; i < 8; ++i)
        moved[locator + 8 + i] = 0;  // points at the first local header
    ASSERT_EQ(locate(moved, &g), LocateFailure::None);
    EXPECT_EQ(g.cdOffset, 0u);
    EXPECT_EQ(g.entryCount, 2u);

    // The locator must lie at window position 23 or later.
    const std::string tiny = ziptest::build_zip({}, {.cdOffsetField = 0xFFFFFFFF});
    EXPECT_EQ(locate(std::string(21, 'P') + tiny, &g), LocateFailure::NotAnArchive);
    EXPECT_EQ(locate(std::string(43, 'P') + tiny, &g), LocateFailure::None);
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
