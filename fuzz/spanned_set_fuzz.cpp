// Sets of parts read as one: a spanned set or pieces, parts missing or cut short, laid out from
// arbitrary sizes. Every read must give the parts' own bytes where they have them and zeros
// where they lack them, with reads crossing part boundaries; missing_part must name a part that
// lacks bytes of the range, or none when every byte is there. The directory of the joined bytes
// is then found and each entry's local header placed by its disk number and read.
//
// Input: one byte (bit 7: spanned, bits 0-3: count - 1 parts), three bytes of each part but
// the last (its size; 0xFFFFFF: missing), two 64-bit read ranges, then the parts' bytes in order;
// the last part holds what is left.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "archive/archive_parts.h"
#include "archive/central_directory.h"
#include "archive/entry_extras.h"
#include "archive/entry_overlaps.h"
#include "archive/zip_format.h"

namespace {

using Parts = std::vector<std::vector<uint8_t>>;

class MemoryParts : public PartedSource {
public:
    MemoryParts(const PartLayout* layout, const Parts* parts) : PartedSource(layout), parts_(parts) {}

protected:
    int64_t read_part(uint32_t part, uint64_t offset, void* buffer, uint32_t length) override
    {
        const std::vector<uint8_t>& bytes = (*parts_)[part];
        // Never past what the layout says the part holds.
        if (offset + length > bytes.size())
            __builtin_trap();
        memcpy(buffer, bytes.data() + offset, length);
        return length;
    }

private:
    const Parts* parts_;
};

// The byte at position of the joined parts, worked out without the layout's positions: each
// part but the last holds as much as the largest of them, its own bytes and then zeros. -1 for
// a zero where a part lacks its byte.
int expected_byte(const Parts& parts, const std::vector<bool>& missing, uint64_t extent,
                  uint64_t position)
{
    for (size_t i = 0; i < parts.size(); ++i) {
        const uint64_t size = i + 1 == parts.size() ? parts[i].size() : extent;
        if (position < size)
            return position < parts[i].size() && !missing[i] ? parts[i][position] : -1;
        position -= size;
    }
    __builtin_trap();
}

uint64_t read_u24(const uint8_t* p) { return p[0] | p[1] << 8 | static_cast<uint32_t>(p[2]) << 16; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool spanned = data[0] & 0x80;
    const uint32_t count = 1 + (data[0] & 15);
    const size_t head = 1 + 3 * (count - 1) + 16;
    if (size < head)
        return 0;
    Parts parts(count);
    std::vector<bool> missing(count, false);
    std::vector<uint64_t> sizes(count);
    const uint8_t* bytes = data + head;
    size_t left = size - head;
    uint64_t largest = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint64_t length = left;
        if (i + 1 < count) {
            length = read_u24(data + 1 + 3 * i);
            missing[i] = length == 0xFFFFFF;
            length = missing[i] ? 0 : length < left ? length : left;
            if (!missing[i] && length > largest)
                largest = length;
        }
        parts[i].assign(bytes, bytes + length);
        sizes[i] = missing[i] ? kMissingPart : length;
        bytes += length;
        left -= length;
    }
    // A missing part takes the largest size; with none to tell, nothing among pieces and 1 TiB
    // of zeros in a spanned set.
    const uint64_t extent = largest != 0 ? largest : spanned ? 1ull << 40 : 0;
    std::vector<uint64_t> start(count + 1), present(count);
    PartLayout layout = {0, false, start.data(), present.data()};
    lay_out_parts(sizes.data(), count, spanned, &layout);
    MemoryParts source(&layout, &parts);
    const uint64_t total = joined_size(layout);
    if (total != (count - 1) * extent + parts[count - 1].size())
        __builtin_trap();

    // Two reads, each also asked which part lacks bytes of its range.
    for (int r = 0; r < 2; ++r) {
        uint64_t offset;
        uint32_t length;
        memcpy(&offset, data + head - 16 + 8 * r, 8);
        memcpy(&length, data + head - 12 + 8 * r, 4);
        offset = total > 0 ? offset % (total + 2) : offset % 2;
        length %= 70000;
        std::vector<uint8_t> buffer(length);
        const int64_t got = source.read_at(offset, buffer.data(), length);
        const uint64_t expectedCount = offset >= total ? 0 : total - offset < length ? total - offset : length;
        if (got != static_cast<int64_t>(expectedCount))
            __builtin_trap();
        bool lacking = false;
        for (uint64_t i = 0; i < expectedCount; ++i) {
            const int want = expected_byte(parts, missing, extent, offset + i);
            lacking |= want < 0;
            if (buffer[i] != (want < 0 ? 0 : want))
                __builtin_trap();
        }
        const int64_t part = missing_part(layout, offset, offset + expectedCount);
        if ((part >= 0) != lacking || (part >= 0 && (start[part] >= offset + expectedCount || start[part + 1] <= offset)))
            __builtin_trap();
    }

    // The directory of the joined bytes, and every entry's local header placed by its disk.
    ArchiveGeometry g;
    if (locate_central_directory(source, total, &g) != LocateFailure::None || g.cdOffset > total ||
        g.cdSize > total - g.cdOffset || g.cdSize > (1u << 20))
        return 0;
    std::vector<uint8_t> directory(g.cdSize);
    if (source.read_at(g.cdOffset, directory.data(), g.cdSize) != g.cdSize)
        __builtin_trap();
    const ArchiveLayout archive = {g.baseOffset, g.cdOffset, g.cdSize, total, &layout};
    const uint8_t* end = directory.data() + directory.size();
    for (const uint8_t* at = directory.data(); const uint8_t* next = next_central_header(at, end); at = next) {
        EntryExtraInfo extras = {};
        extras.flags = kExtraWantAllZip64;
        read_entry_extras_with(at, &extras, [](uint16_t, uint16_t) -> uint64_t { return 0; });
        const uint64_t position = entry_position(at, extras, archive);
        uint8_t local[kLocalHeaderSize];
        if (position < total && source.read_at(position, local, sizeof local) < 0)
            __builtin_trap();
        missing_part(layout, position, position + kLocalHeaderSize);
    }
    RefusedEntry* refused = nullptr;
    uint32_t refusedCount = 0;
    find_refused_entries(directory.data(), end, archive, &refused, &refusedCount);
    free(refused);
    return 0;
}
