#include "archive/entry_extras.h"

#include "archive/zip_format.h"

namespace {

constexpr uint16_t kNtfsTag = 0x000a;
constexpr uint16_t kTimestampTag = 0x5455;
constexpr uint16_t kNtfsTimesAttribute = 1;
constexpr uint32_t kNtfsTimesSize = 24;
constexpr uint32_t kTimestampMinimumSize = 17;

void read_zip64(const uint8_t* header, const uint8_t* data, uint32_t size, EntryExtraInfo* extras)
{
    // Each value is present only when the header's field is full, in this order.
    uint32_t at = 0;
    if (read_u32(header + central::uncompressedSize) == 0xFFFFFFFF && size >= 8) {
        extras->zip64UncompressedSize = data;
        extras->flags |= kExtraHasZip64Size;
        at = 8;
    }
    if (!(extras->flags & kExtraWantAllZip64))
        return;
    if (read_u32(header + central::compressedSize) == 0xFFFFFFFF && size - at >= 8) {
        extras->zip64CompressedSize = data + at;
        extras->flags |= kExtraHasZip64CompressedSize;
        at += 8;
    }
    if (read_u32(header + central::localHeaderOffset) == 0xFFFFFFFF && size - at >= 8) {
        extras->zip64LocalHeaderOffset = data + at;
        extras->flags |= kExtraHasZip64Offset;
    }
}

void read_ntfs_times(const uint8_t* data, uint32_t size, EntryExtraInfo* extras)
{
    if (size <= 4)
        return;
    for (uint32_t at = 4; size - at >= 4;) {
        const uint16_t tag = read_u16(data + at);
        const uint32_t length = read_u16(data + at + 2);
        if (length > size - at - 4)
            return;
        if (tag == kNtfsTimesAttribute && length == kNtfsTimesSize) {
            extras->writeTime = read_u64(data + at + 4);
            extras->accessTime = read_u64(data + at + 12);
            extras->createTime = read_u64(data + at + 20);
            extras->flags |= kExtraHasTimes;
            return;
        }
        at += 4 + length;
    }
}

uint64_t timestamp_value(const uint8_t* data, int index, DosTimeToUtc dosTimeToUtc)
{
    if (!(data[0] & (1 << index)))
        return 0;
    const uint32_t value = read_u32(data + 1 + 4 * index);
    return dosTimeToUtc(static_cast<uint16_t>(value >> 16), static_cast<uint16_t>(value));
}

}  // namespace

int32_t read_entry_extras_with(const uint8_t* header, EntryExtraInfo* extras, DosTimeToUtc dosTimeToUtc)
{
    if (!header)
        return 0;
    if (extras->flags > 1)
        return extras->flags;
    const uint32_t nameLength = read_u16(header + central::nameLength);
    const uint32_t extraLength = read_u16(header + central::extraLength);
    const uint8_t* block = header + kCentralHeaderSize + nameLength;
    for (uint32_t at = 0; extraLength - at >= 4;) {
        const uint16_t tag = read_u16(block + at);
        const uint32_t size = read_u16(block + at + 2);
        if (size > extraLength - at - 4)
            break;
        const uint8_t* data = block + at + 4;
        if (tag == kZip64ExtraTag) {
            read_zip64(header, data, size, extras);
        } else if (tag == kNtfsTag) {
            read_ntfs_times(data, size, extras);
        } else if (tag == kTimestampTag && size >= kTimestampMinimumSize) {
            extras->flags |= kExtraHasTimes;
            extras->writeTime = timestamp_value(data, 0, dosTimeToUtc);
            extras->accessTime = timestamp_value(data, 1, dosTimeToUtc);
            extras->createTime = timestamp_value(data, 2, dosTimeToUtc);
        }
        at += 4 + size;
    }
    return extras->flags;
}
