// The local-header walk over arbitrary file images: where the local headers begin (at the start,
// in a "_winzip_" section, behind an executable image), and the directory rebuilt from them,
// with the decoders finding where streams end and the descriptor scans. Reads must stay inside
// the image; the rebuilt directory must be one the central walk takes whole, its entries in
// the file's order, each whole one inside the file and apart from the others, so that the
// overlap check refuses none of them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "archive/entry_extras.h"
#include "archive/entry_overlaps.h"
#include "archive/local_header_walk.h"
#include "archive/zip_format.h"
#include "memory_source.h"

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

uint64_t no_dos_time(uint16_t, uint16_t) { return 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> image(data, data + size);
    MemorySource source(image.data(), image.size());
    uint64_t start = 0;
    if (!find_first_local_header(source, image.size(), &start))
        return 0;
    check(start + 4 <= size && read_u32(image.data() + start) == kLocalHeaderSignature);

    RebuiltDirectory rebuilt;
    const RebuildResult result = rebuild_central_directory(source, image.size(), start, &rebuilt);
    if (result != RebuildResult::rebuilt)
        return 0;
    const uint8_t* end = rebuilt.headers + rebuilt.size;
    check(rebuilt.count > 0 && count_central_headers(rebuilt.headers, end) == rebuilt.count);
    uint64_t reach = start;
    uint32_t seen = 0;
    for (const uint8_t *at = rebuilt.headers, *next; (next = next_central_header(at, end)) != nullptr; at = next) {
        ++seen;
        EntryExtraInfo extras = {};
        extras.flags = kExtraWantAllZip64;
        read_entry_extras_with(at, &extras, no_dos_time);
        const uint64_t offset = entry_local_header_offset(at, extras);
        const uint32_t nameLength = read_u16(at + central::nameLength);
        // Each header names the local header it was made from, behind the entry before it.
        check(offset >= reach && offset + kLocalHeaderSize + nameLength <= size);
        check(memcmp(image.data() + offset + kLocalHeaderSize, at + kCentralHeaderSize, nameLength) == 0);
        check(read_u16(at + central::flags) == read_u16(image.data() + offset + local::flags));
        if (at == rebuilt.cutEntry) {
            check(next == end);
            break;
        }
        const uint64_t dataEnd = offset + kLocalHeaderSize + nameLength + read_u16(image.data() + offset + local::extraLength) +
                                 entry_compressed_size(at, extras);
        check(dataEnd <= size);
        reach = dataEnd;
    }
    check(seen == rebuilt.count);

    // Whole entries lie apart, inside the file, before a directory placed behind it.
    const ArchiveLayout layout = {0, image.size(), rebuilt.size, image.size()};
    RefusedEntry* refused = nullptr;
    uint32_t refusedCount = 0;
    if (find_refused_entries(rebuilt.headers, end, layout, &refused, &refusedCount)) {
        for (uint32_t i = 0; i < refusedCount; ++i)
            check(rebuilt.headers + refused[i].header == rebuilt.cutEntry);
        free(refused);
    }
    free(rebuilt.headers);
    return 0;
}
