// Entries refused for sharing their bytes: the constructions that expand one compressed block
// many times over, in their 32-bit and ZIP64 forms, beside archives that share nothing.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "archive/central_directory.h"
#include "archive/entry_overlaps.h"
#include "central_walk_support.h"

namespace {

using ziptest::Entry;

uint32_t field32(const std::string& zip, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(zip[at + i]);
    return v;
}

// The indexes (in directory order) of the entries refused in the archive built from entries,
// with an 'e' after those refused for reaching past the end of the file.
std::vector<std::string> refused_entries(const std::vector<Entry>& entries)
{
    const std::string zip = ziptest::build_zip(entries);
    const size_t end = zip.rfind(std::string("PK\5\6", 4));
    const ArchiveLayout layout = {0, field32(zip, end + 16), field32(zip, end + 12), zip.size()};
    const std::vector<uint8_t> directory = walktest::directory_of(zip);
    RefusedEntry* refused = nullptr;
    uint32_t count = 0;
    EXPECT_TRUE(find_refused_entries(directory.data(), directory.data() + directory.size(), layout, &refused, &count));
    std::vector<std::string> indexes;
    const uint8_t* at = directory.data();
    for (int index = 0; const uint8_t* next = next_central_header(at, directory.data() + directory.size()); ++index) {
        const Refusal why = entry_refusal(refused, count, static_cast<uint32_t>(at - directory.data()));
        if (why != Refusal::none)
            indexes.push_back(std::to_string(index) + (why == Refusal::pastTheEnd ? "e" : ""));
        at = next;
    }
    EXPECT_EQ(indexes.size(), count);
    free(refused);
    return indexes;
}

TEST(EntryOverlaps, EachConstructionRefusesAllButTheFirstOfItsGroup)
{
    // Each case changes a sound archive of four entries of deflated zeros, whose central
    // directory begins at cdOffset.
    using Change = std::function<void(std::vector<Entry>&, uint32_t cdOffset)>;
    struct Case {
        const char* what;
        bool zip64;
        Change change;
        std::vector<std::string> refused;
    };
    const Case cases[] = {
        {"sound", false, [](auto&, uint32_t) {}, {}},
        {"sound, ZIP64 records", true, [](auto&, uint32_t) {}, {}},
        {"every record over the first local header", false,
         [](auto& e, uint32_t) { for (size_t i = 1; i < e.size(); ++i) e[i].localHeaderOffsetField = 0; }, {"1", "2", "3"}},
        {"the same in ZIP64 records", true,
         [](auto& e, uint32_t) { for (size_t i = 1; i < e.size(); ++i) e[i].zip64LocalHeaderOffset = 0; }, {"1", "2", "3"}},
        {"two records over the first header, the fourth apart", false,
         [](auto& e, uint32_t) { e[1].localHeaderOffsetField = e[2].localHeaderOffsetField = 0; }, {"1", "2"}},
        // The quoted construction: the data of each run over every later entry up to the
        // directory (each local header is 32 bytes with its name).
        {"each entry's data over all later ones", false,
         [](auto& e, uint32_t cdOffset) {
             uint32_t at = 0;
             for (Entry& x : e) {
                 x.compressedSizeField = cdOffset - at - 32;
                 at += 32 + static_cast<uint32_t>(x.compressed->size());
             }
         },
         {"1", "2", "3"}},
        // The data of each reach 98 bytes into what follows: the next local header, or the
        // central directory for the last. A refused entry reaches nowhere, so the third is
        // kept: it shares bytes with refused ones only.
        {"each local header inside the data before it", false,
         [](auto& e, uint32_t) { for (Entry& x : e) x.compressedSizeField = static_cast<uint32_t>(x.compressed->size() + 100); },
         {"1", "3"}},
        {"the same in ZIP64 records", true,
         [](auto& e, uint32_t) { for (Entry& x : e) x.zip64CompressedSize = x.compressed->size() + 100; }, {"1", "3"}},
        {"a local header inside the central directory, its data past the end", false,
         [](auto& e, uint32_t cdOffset) { e[2].localHeaderOffsetField = cdOffset; }, {"2e"}},
        {"data past the end of the file", false, [](auto& e, uint32_t) { e[3].compressedSizeField = 0x7FFFFFFF; }, {"3e"}},
        {"a damaged size costs only its own entry", false,
         [](auto& e, uint32_t) { e[0].compressedSizeField = 0x00FFFFFF; }, {"0e"}},
        {"empty entries at one offset have nothing to expand", false,
         [](auto& e, uint32_t) {
             for (Entry& x : e) {
                 x.data.clear();
                 x.compressed = "";
                 x.localHeaderOffsetField = 0;
             }
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Entry> entries;
        for (int i = 0; i < 4; ++i)
            entries.push_back({.name = "e" + std::to_string(i), .data = std::string(200000, '\0'), .method = 8,
                               .compressed = ziptest::deflate_raw(std::string(200000, '\0')), .zip64 = c.zip64});
        const std::string sound = ziptest::build_zip(entries);
        c.change(entries, field32(sound, sound.rfind(std::string("PK\5\6", 4)) + 16));
        EXPECT_EQ(refused_entries(entries), c.refused);
    }
}

}  // namespace
