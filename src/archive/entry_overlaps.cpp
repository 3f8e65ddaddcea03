#include "archive/entry_overlaps.h"

#include <stdlib.h>

#include "archive/central_directory.h"
#include "archive/entry_extras.h"
#include "archive/zip_format.h"

namespace {

struct EntryRange {
    uint64_t start;
    uint64_t end;
    RefusedEntry entry;
};

int by_start(const void* a, const void* b)
{
    const EntryRange& x = *static_cast<const EntryRange*>(a);
    const EntryRange& y = *static_cast<const EntryRange*>(b);
    if (x.start != y.start)
        return x.start < y.start ? -1 : 1;
    return x.entry.header < y.entry.header ? -1 : x.entry.header > y.entry.header;
}

int by_header(const void* a, const void* b)
{
    const uint32_t x = static_cast<const RefusedEntry*>(a)->header;
    const uint32_t y = static_cast<const RefusedEntry*>(b)->header;
    return x < y ? -1 : x > y;
}

uint64_t no_dos_time(uint16_t, uint16_t) { return 0; }

// a + b, or the largest value where that would not fit.
uint64_t saturating_add(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

}  // namespace

uint64_t entry_position(const uint8_t* header, const EntryExtraInfo& extras, const ArchiveLayout& layout)
{
    const uint64_t disk = layout.parts ? part_start(*layout.parts, read_u16(header + central::diskNumber)) : kDisksIgnored;
    const uint64_t offset = saturating_add(entry_local_header_offset(header, extras), layout.baseOffset);
    return disk == kDisksIgnored ? offset : saturating_add(offset, disk);
}

bool find_refused_entries(const uint8_t* begin, const uint8_t* end, const ArchiveLayout& layout, RefusedEntry** refused,
                          uint32_t* count)
{
    *refused = nullptr;
    *count = 0;
    const uint32_t headers = count_central_headers(begin, end);
    if (headers == 0)
        return true;
    EntryRange* ranges = static_cast<EntryRange*>(malloc(headers * sizeof(EntryRange)));
    if (!ranges)
        return false;

    uint32_t n = 0;
    const uint64_t directoryEnd = saturating_add(layout.cdOffset, layout.cdSize);
    for (const uint8_t* at = begin; at;) {
        const uint8_t* next = next_central_header(at, end);
        if (!next)
            break;
        EntryExtraInfo extras = {};
        extras.flags = kExtraWantAllZip64;
        read_entry_extras_with(at, &extras, no_dos_time);
        const uint64_t compressed = entry_compressed_size(at, extras);
        if (compressed != 0) {
            EntryRange& range = ranges[n++];
            range.start = entry_position(at, extras, layout);
            range.end = saturating_add(saturating_add(range.start, kLocalHeaderSize), compressed);
            range.entry.header = static_cast<uint32_t>(at - begin);
            range.entry.why = range.end > layout.fileSize ? Refusal::pastTheEnd
                              : range.start < directoryEnd && range.end > layout.cdOffset ? Refusal::overlap
                                                                                          : Refusal::none;
        }
        at = next;
    }

    // In the order of their starts, an entry that starts before a kept one has ended overlaps
    // it. Only kept entries reach forward: a refused one (past the end, say, for a damaged
    // size) is never expanded, so it costs no other entry its bytes.
    qsort(ranges, n, sizeof(EntryRange), by_start);
    uint64_t reach = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (ranges[i].entry.why != Refusal::none)
            continue;
        if (ranges[i].start < reach)
            ranges[i].entry.why = Refusal::overlap;
        else
            reach = ranges[i].end;
    }
    uint32_t refusedCount = 0;
    for (uint32_t i = 0; i < n; ++i)
        refusedCount += ranges[i].entry.why != Refusal::none;
    if (refusedCount > 0) {
        RefusedEntry* list = static_cast<RefusedEntry*>(malloc(refusedCount * sizeof(RefusedEntry)));
        if (!list) {
            free(ranges);
            return false;
        }
        uint32_t k = 0;
        for (uint32_t i = 0; i < n; ++i) {
            if (ranges[i].entry.why != Refusal::none)
                list[k++] = ranges[i].entry;
        }
        qsort(list, refusedCount, sizeof(RefusedEntry), by_header);
        *refused = list;
        *count = refusedCount;
    }
    free(ranges);
    return true;
}

Refusal entry_refusal(const RefusedEntry* refused, uint32_t count, uint32_t headerOffset)
{
    uint32_t low = 0;
    uint32_t high = count;
    while (low < high) {
        const uint32_t middle = low + (high - low) / 2;
        if (refused[middle].header == headerOffset)
            return refused[middle].why;
        if (refused[middle].header < headerOffset)
            low = middle + 1;
        else
            high = middle;
    }
    return Refusal::none;
}
