// Entries that must not be expanded: those whose data share bytes with another entry's or with
// the central directory, or do not lie inside the file. Many central headers over one local
// header, or each local header hidden inside the previous entry's data, let a small archive
// expand one compressed block again and again; a sound archive never shares its bytes.
#pragma once
#include <stdint.h>

#include "archive/archive_parts.h"
#include "archive/central_directory.h"

// Where the parts of an archive lie, as positions in its bytes.
struct ArchiveLayout {
    uint64_t baseOffset;  // added to every recorded local header offset
    uint64_t cdOffset;
    uint64_t cdSize;
    uint64_t fileSize;
    const PartLayout* parts;  // the parts its bytes are read from; null for a single file
};

// Where the local header of the entry (a central header with its extras) lies: its recorded
// offset, moved by the bytes in front of the ZIP data and, in a spanned set, to its disk.
uint64_t entry_position(const uint8_t* header, const EntryExtraInfo& extras, const ArchiveLayout& layout);

// cutShort is not the check's: the handle refuses the entry that an archive cut short ends in.
enum class Refusal : uint32_t { none, overlap, pastTheEnd, cutShort };

struct RefusedEntry {
    uint32_t header;  // offset of the central header from the directory's start
    Refusal why;
};

// The entries of the central headers in [begin, end) that are refused: each entry's range runs
// from its local header over the header's fixed 30 bytes and its compressed size (the local
// name and extra field are not read, so the range never passes the entry's true end). An entry
// that reaches past the end of the file is refused for that; of the entries whose ranges
// overlap, the one that starts first (the first header among those that start together) is
// kept and the others refused, as is an entry that reaches into the central directory. An
// entry without compressed bytes has nothing to expand and is never refused. Stores the
// refused entries, sorted by header, in a block from malloc at *refused (null when there are
// none) with their count in *count; false when the memory for the check could not be had.
bool find_refused_entries(const uint8_t* begin, const uint8_t* end, const ArchiveLayout& layout, RefusedEntry** refused,
                          uint32_t* count);

// Why the header at headerOffset (from the directory's start) is refused, or Refusal::none.
Refusal entry_refusal(const RefusedEntry* refused, uint32_t count, uint32_t headerOffset);
