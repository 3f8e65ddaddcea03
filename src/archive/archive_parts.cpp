#include "archive/archive_parts.h"

#include <string.h>

namespace {

constexpr uint64_t kUnknownDiskSize = 1ull << 40;

// The part that holds position: the last part whose start is not beyond it (the last part for
// the end of the bytes). Parts without bytes are passed over.
uint32_t part_at(const PartLayout& layout, uint64_t position)
{
    uint32_t low = 0;
    uint32_t high = layout.count - 1;
    while (low < high) {
        const uint32_t middle = high - (high - low) / 2;
        if (layout.start[middle] <= position)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

}  // namespace

void lay_out_parts(const uint64_t* sizes, uint32_t count, bool spanned, PartLayout* layout)
{
    uint64_t common = 0;
    for (uint32_t i = 0; i + 1 < count; ++i) {
        if (sizes[i] != kMissingPart && sizes[i] > common)
            common = sizes[i];
    }
    const uint64_t unknown = common != 0 ? common : spanned ? kUnknownDiskSize : 0;
    layout->count = count;
    layout->spanned = spanned;
    layout->start[0] = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const bool missing = sizes[i] == kMissingPart;
        const uint64_t extent = i + 1 == count ? (missing ? 0 : sizes[i]) : unknown;
        layout->present[i] = missing ? 0 : sizes[i] < extent ? sizes[i] : extent;
        layout->start[i + 1] = layout->start[i] + extent;
    }
}

uint64_t part_start(const PartLayout& layout, uint32_t disk)
{
    if (!layout.spanned)
        return kDisksIgnored;
    return layout.start[disk < layout.count ? disk : layout.count];
}

int64_t missing_part(const PartLayout& layout, uint64_t from, uint64_t to)
{
    for (uint32_t i = part_at(layout, from); i < layout.count && layout.start[i] < to; ++i) {
        // The bytes the part lacks run from lacking to its end; some of them lie in the range.
        const uint64_t lacking = layout.start[i] + layout.present[i];
        const uint64_t low = lacking > from ? lacking : from;
        const uint64_t high = layout.start[i + 1] < to ? layout.start[i + 1] : to;
        if (low < high)
            return i;
    }
    return -1;
}

int64_t PartedSource::read_part(uint32_t, uint64_t, void*, uint32_t) { return -1; }

int64_t PartedSource::read_at(uint64_t offset, void* buffer, uint32_t length)
{
    const PartLayout& layout = *layout_;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    uint32_t done = 0;
    uint32_t part = part_at(layout, offset);
    while (done < length && offset < joined_size(layout)) {
        while (offset >= layout.start[part + 1])
            ++part;
        const uint64_t within = offset - layout.start[part];
        const uint64_t left = layout.start[part + 1] - offset;
        uint32_t want = length - done < left ? length - done : static_cast<uint32_t>(left);
        if (within < layout.present[part]) {
            if (want > layout.present[part] - within)
                want = static_cast<uint32_t>(layout.present[part] - within);
            const int64_t got = read_part(part, within, out + done, want);
            if (got < 0)
                return -1;
            done += static_cast<uint32_t>(got);
            offset += static_cast<uint64_t>(got);
            if (static_cast<uint32_t>(got) < want)
                break;  // the part holds fewer bytes than it had when the set was found
        } else {
            memset(out + done, 0, want);
            done += want;
            offset += want;
        }
    }
    return done;
}
