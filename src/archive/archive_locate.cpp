#include "archive/archive_locate.h"

#include <stdlib.h>

#include "archive/zip_format.h"

int64_t ByteSource::read_at(uint64_t, void*, uint32_t) { return -1; }
uint64_t ByteSource::disk_start(uint32_t) const { return kDisksIgnored; }

uint32_t find_sfx_section(const uint8_t* head)
{
    // The executable header must lie within the first 256 bytes; the section name is then
    // inside the first 768 bytes together with its size and position fields.
    const uint32_t peHeader = read_u32(head + 0x3C);
    if (peHeader >= 256)
        return 0;
    static const char kName[8] = {'_', 'w', 'i', 'n', 'z', 'i', 'p', '_'};
    const uint32_t candidates[2] = {peHeader + 408, peHeader + 488};
    for (uint32_t at : candidates) {
        if (memcmp(head + at, kName, sizeof kName) == 0)
            return at;
    }
    return 0;
}

int32_t find_end_record(const uint8_t* window, uint32_t bytesRead)
{
    if (bytesRead < kEndRecordSize + 2)
        return -1;
    for (int32_t at = static_cast<int32_t>(bytesRead - kEndRecordSize); at >= 2; --at) {
        if (read_u32(window + at) == kEndRecordSignature)
            return at;
    }
    return -1;
}

int32_t find_end_record_behind_comment(const uint8_t* window, uint32_t bytesRead, uint32_t lowest)
{
    if (bytesRead < kEndRecordSize)
        return -1;
    int32_t fits = -1;
    for (int64_t at = bytesRead - kEndRecordSize; at >= static_cast<int64_t>(lowest); --at) {
        if (read_u32(window + at) != kEndRecordSignature)
            continue;
        const uint64_t end = static_cast<uint64_t>(at) + kEndRecordSize + read_u16(window + at + 20);
        if (end == bytesRead)
            return static_cast<int32_t>(at);
        if (end < bytesRead && fits < 0)
            fits = static_cast<int32_t>(at);
    }
    return fits;
}

namespace {

// The position of a recorded offset on a disk: moved to the disk's start in a spanned set.
uint64_t on_disk(const ByteSource& source, uint32_t disk, uint64_t offset)
{
    const uint64_t start = source.disk_start(disk);
    return start == kDisksIgnored ? offset : start + offset;
}

// Bytes behind the ZIP data of a self-extractor whose data sits in a section of its own
// (such as an appended signature); 0 for every other file. 32-bit arithmetic, as recorded.
uint32_t sfx_tail_skip(const uint8_t* head, uint32_t headRead, uint64_t fileSize)
{
    if (headRead < kSfxMinimumHead || fileSize >= 0x100000000ull || fileSize <= kSearchWindow)
        return 0;
    const uint32_t section = find_sfx_section(head);
    if (section == 0)
        return 0;
    const uint32_t rawSize = read_u32(head + section + 16);
    const uint32_t rawPosition = read_u32(head + section + 20);
    return static_cast<uint32_t>(fileSize) - rawSize - rawPosition;
}

// The ZIP64 end record, read into record: 1 when it is at `at`, 0 when it is not, -1 when the
// read failed.
int read_zip64_end_record(ByteSource& source, uint64_t at, uint8_t* record)
{
    const int64_t got = source.read_at(at, record, kZip64EndRecordReadSize);
    if (got < 0)
        return -1;
    return got == static_cast<int64_t>(kZip64EndRecordReadSize) && read_u32(record) == kZip64EndRecordSignature;
}

// The ZIP64 values, from the end record at the offset that the locator (at file position
// locatorPosition) records. In a file with bytes in front of the ZIP data whose recorded
// offsets do not count them, the record is not there but directly in front of the locator;
// the distance between the two is then the offset of every recorded position.
LocateFailure take_zip64_end_record(ByteSource& source, const uint8_t* locator, uint64_t locatorPosition, bool plain,
                                    ArchiveGeometry* g)
{
    uint8_t record[kZip64EndRecordReadSize];
    const uint64_t recorded = on_disk(source, read_u32(locator + 4), read_u64(locator + 8));
    uint64_t distance = 0;
    int found = read_zip64_end_record(source, recorded, record);
    if (found == 0 && !plain && locatorPosition >= kZip64EndRecordReadSize) {
        const uint64_t inFront = locatorPosition - kZip64EndRecordReadSize;
        if (inFront > recorded) {
            found = read_zip64_end_record(source, inFront, record);
            distance = inFront - recorded;
        }
    }
    if (found < 0)
        return LocateFailure::ReadFailed;
    if (found == 0)
        return LocateFailure::NotAnArchive;
    const uint64_t entries = read_u64(record + 32);  // of all disks
    g->entryCount = (entries >> 32) == 0 ? static_cast<uint32_t>(entries) : 0xFFFFFFFF;
    g->cdSize = static_cast<uint32_t>(read_u64(record + 40));
    g->cdOffset = on_disk(source, read_u32(record + 20), read_u64(record + 48)) + distance;
    g->lastDisk = read_u32(record + 16);
    g->baseOffset = distance;
    return LocateFailure::None;
}

// The geometry from the end record at window + at, whose file position is `position`.
// A ZIP64 locator is taken only from window positions locatorFloor and later.
LocateFailure take_end_record(ByteSource& source, const uint8_t* window, int32_t at, uint64_t position,
                              int32_t locatorFloor, bool plain, ArchiveGeometry* g)
{
    const uint8_t* end = window + at;
    const uint32_t recordedOffset = read_u32(end + 16);
    const uint32_t recordedSize = read_u32(end + 12);
    const bool full = recordedOffset == 0xFFFFFFFF || recordedSize == 0xFFFFFFFF;
    g->lastDisk = read_u16(end + 4);

    // ZIP64: the locator lies directly in front of the end record. Its records are needed
    // when the 32-bit fields are full, and taken whenever they are found: tools that write
    // them for a count beyond 65,535 or by request keep only true values in the end record,
    // and with bytes in front, the end record alone would misplace the directory.
    const bool hasLocator = at >= static_cast<int32_t>(kZip64LocatorSize) + locatorFloor &&
                            read_u32(end - kZip64LocatorSize) == kZip64LocatorSignature;
    if (hasLocator) {
        const LocateFailure failure =
            take_zip64_end_record(source, end - kZip64LocatorSize, position - kZip64LocatorSize, plain, g);
        if (failure != LocateFailure::NotAnArchive || full)
            return failure;
    } else if (full) {
        return LocateFailure::NotAnArchive;  // full 32-bit fields say nothing usable
    }

    g->entryCount = read_u16(end + 10);
    g->cdSize = recordedSize;
    if (plain) {
        g->cdOffset = on_disk(source, read_u16(end + 6), recordedOffset);
    } else {
        // The directory is taken to end where the end record begins.
        g->cdOffset = position - g->cdSize;
        g->baseOffset = g->cdOffset - recordedOffset;
    }
    return LocateFailure::None;
}

}  // namespace

LocateFailure locate_central_directory(ByteSource& source, uint64_t fileSize, ArchiveGeometry* g)
{
    *g = ArchiveGeometry{};
    uint8_t head[kHeadBytes];
    const int64_t headRead = source.read_at(0, head, sizeof head);
    if (headRead < 0)
        return LocateFailure::ReadFailed;
    // The parts of a spanned set are plain ZIP data, their offsets as recorded, whether or not
    // the first part is there to show it.
    const bool spanned = source.disk_start(0) != kDisksIgnored;
    if (headRead < 2 && !spanned)
        return LocateFailure::NotAnArchive;

    const bool plain = spanned || (head[0] == 'P' && head[1] == 'K');
    const uint64_t tailSkip = plain ? 0 : sfx_tail_skip(head, static_cast<uint32_t>(headRead), fileSize);
    const uint32_t windowLength = fileSize < kSearchWindow ? static_cast<uint32_t>(fileSize) : kSearchWindow;
    if (tailSkip + windowLength > fileSize)
        return LocateFailure::NegativeSeek;
    const uint64_t dataEnd = fileSize - tailSkip;

    uint8_t window[kSearchWindow];
    const int64_t read = source.read_at(dataEnd - windowLength, window, windowLength);
    if (read < 0)
        return LocateFailure::ReadFailed;
    if (read < 24)
        return LocateFailure::NotAnArchive;
    const uint32_t bytesRead = static_cast<uint32_t>(read);
    const int32_t at = find_end_record(window, bytesRead);
    if (at >= 0)
        return take_end_record(source, window, at, dataEnd - bytesRead + static_cast<uint64_t>(at), 23, plain, g);

    // A comment longer than the window hides the end record: search the longest comment's
    // reach once more, with room for a ZIP64 locator in front of the record.
    const uint32_t longLength = dataEnd < kLongSearchWindow ? static_cast<uint32_t>(dataEnd) : kLongSearchWindow;
    const uint64_t longStart = dataEnd - longLength;
    uint8_t* longWindow = static_cast<uint8_t*>(malloc(longLength));
    if (!longWindow)
        return LocateFailure::ReadFailed;
    LocateFailure failure = LocateFailure::NotAnArchive;
    const int64_t longRead = source.read_at(longStart, longWindow, longLength);
    if (longRead < 0) {
        failure = LocateFailure::ReadFailed;
    } else {
        const uint32_t got = static_cast<uint32_t>(longRead);
        // Records start at least two bytes into the file, as in the first search.
        uint32_t lowest = got > kLongCommentReach ? got - kLongCommentReach : 0;
        if (longStart + lowest < 2)
            lowest = static_cast<uint32_t>(2 - longStart);
        const int32_t longAt = find_end_record_behind_comment(longWindow, got, lowest);
        if (longAt >= 0)
            failure = take_end_record(source, longWindow, longAt, dataEnd - got + static_cast<uint64_t>(longAt), 0, plain, g);
    }
    free(longWindow);
    return failure;
}
