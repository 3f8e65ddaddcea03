// The end-record search over arbitrary file images: the head, the search window and the second
// search behind long comments, prefixed archives, self-extractor sections and ZIP64 records
// (also in front of their locator). Reads must stay inside the image and the
// geometry must be consistent with what was read.
#include <stdint.h>
#include <string.h>

#include <vector>

#include "archive/archive_locate.h"
#include "memory_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy, so that the sanitizer sees any read past the image.
    std::vector<uint8_t> image(data, data + size);
    MemorySource source(image.data(), image.size());
    ArchiveGeometry g;
    const LocateFailure failure = locate_central_directory(source, image.size(), &g);
    // A file that starts with "PK" is read as a plain archive: its offsets are taken as recorded.
    if (failure == LocateFailure::None && size >= 2 && data[0] == 'P' && data[1] == 'K' && g.baseOffset != 0)
        __builtin_trap();
    // The record found behind a comment is a signature whose comment ends inside the image.
    const uint32_t lowest = size > 0 ? data[0] : 0;
    const int32_t at = find_end_record_behind_comment(image.data(), static_cast<uint32_t>(image.size()), lowest);
    if (at >= 0 && (static_cast<uint32_t>(at) < lowest || at + 22 > static_cast<int64_t>(size) ||
                    memcmp(image.data() + at, "PK\5\6", 4) != 0 ||
                    at + 22 + (image[at + 20] | image[at + 21] << 8) > static_cast<int64_t>(size)))
        __builtin_trap();
    if (size >= kHeadBytes) {
        const uint32_t at = find_sfx_section(image.data());
        if (at != 0 && (at + 24 > kHeadBytes || memcmp(image.data() + at, "_winzip_", 8) != 0))
            __builtin_trap();
    }
    return 0;
}
