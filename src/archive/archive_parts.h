// Archives written in parts, read as one run of bytes with the parts in order: a spanned set
// (name.z01, name.z02, ..., name.zip), whose records count each offset from the start of the
// part (disk) they name, and pieces of one file (name.zip.001, name.zip.002, ...), which are
// joined as they are. A single file is a set of one part.
//
// Every part but the last takes the size of the largest of them, as the tools that write sets
// make them: a part that is missing or shorter keeps its place, and the bytes it lacks read as
// zeros, so that the parts behind it stay where their offsets say. Whoever reads an entry asks
// missing_part first.
#pragma once
#include <stdint.h>

#include "archive/archive_locate.h"

constexpr uint32_t kMaxParts = 65536;           // disk numbers are 16-bit
constexpr uint64_t kMissingPart = UINT64_MAX;   // the size of a part that was not found

struct PartLayout {
    uint32_t count;
    bool spanned;        // recorded offsets count from the start of their disk
    uint64_t* start;     // count + 1 values: where each part begins among the joined bytes, then their end
    uint64_t* present;   // the bytes each part holds from its start: 0 when it is missing
};

// Fills layout (its arrays sized for count parts) from the parts' sizes, kMissingPart for a
// missing one. The size of a missing part that no other part tells is 0 among pieces, which
// then join as if it were not there, and 1 TiB in a spanned set, where each disk's offsets
// must stay inside its own part.
void lay_out_parts(const uint64_t* sizes, uint32_t count, bool spanned, PartLayout* layout);

// The bytes of all parts.
inline uint64_t joined_size(const PartLayout& layout) { return layout.start[layout.count]; }

// Where disk `disk` begins among the joined bytes of a spanned set (the end of them for a disk
// beyond the last); kDisksIgnored for pieces and a single file, whose disk numbers say nothing.
uint64_t part_start(const PartLayout& layout, uint32_t disk);

// The first part that lacks some of the bytes [from, to), or -1 when all of them are there.
int64_t missing_part(const PartLayout& layout, uint64_t from, uint64_t to);

// Reads the joined bytes of a layout, each part through read_part; across part boundaries with
// one read of each part, with the bytes that a part lacks as zeros.
class PartedSource : public ByteSource {
public:
    explicit PartedSource(const PartLayout* layout) : layout_(layout) {}
    int64_t read_at(uint64_t offset, void* buffer, uint32_t length) override;
    uint64_t disk_start(uint32_t disk) const override { return part_start(*layout_, disk); }

protected:
    // Reads up to length bytes at offset of part `part`'s own bytes: the count read, or -1.
    virtual int64_t read_part(uint32_t part, uint64_t offset, void* buffer, uint32_t length);

    const PartLayout* layout_;
};
