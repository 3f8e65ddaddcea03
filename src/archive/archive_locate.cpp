#include "archive/archive_locate.h"

#include "archive/zip_format.h"

int64_t ByteSource::read_at(uint64_t, void*, uint32_t) { return -1; }

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

namespace {

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

}  // namespace

LocateFailure locate_central_directory(ByteSource& source, uint64_t fileSize, ArchiveGeometry* g)
{
    *g = ArchiveGeometry{};
    uint8_t head[kHeadBytes];
    const int64_t headRead = source.read_at(0, head, sizeof head);
    if (headRead < 0)
        return LocateFailure::ReadFailed;
    if (headRead < 2)
        return LocateFailure::NotAnArchive;

    const bool plain = head[0] == 'P' && head[1] == 'K';
    const uint64_t tailSkip = plain ? 0 : sfx_tail_skip(head, static_cast<uint32_t>(headRead), fileSize);
    const uint32_t windowLength = fileSize < kSearchWindow ? static_cast<uint32_t>(fileSize) : kSearchWindow;
    if (tailSkip + windowLength > fileSize)
        return LocateFailure::NegativeSeek;
    const uint64_t windowStart = fileSize - tailSkip - windowLength;

    uint8_t window[kSearchWindow];
    const int64_t read = source.read_at(windowStart, window, windowLength);
    if (read < 0)
        return LocateFailure::ReadFailed;
    if (read < 24)
        return LocateFailure::NotAnArchive;
    const uint32_t bytesRead = static_cast<uint32_t>(read);
    const int32_t at = find_end_record(window, bytesRead);
    if (at < 0)
        return LocateFailure::NotAnArchive;

    const uint8_t* end = window + at;
    g->entryCount = read_u16(end + 10);
    g->cdSize = read_u32(end + 12);
    const uint32_t recordedOffset = read_u32(end + 16);

    if (recordedOffset != 0xFFFFFFFF && g->cdSize != 0xFFFFFFFF) {
        if (plain) {
            g->cdOffset = recordedOffset;
        } else {
            // The directory is taken to end where the end record begins.
            const uint64_t endRecordPosition = fileSize - tailSkip - bytesRead + static_cast<uint64_t>(at);
            g->cdOffset = endRecordPosition - g->cdSize;
            g->baseOffset = g->cdOffset - recordedOffset;
        }
        return LocateFailure::None;
    }

    // ZIP64: the locator lies directly in front of the end record.
    if (at < static_cast<int32_t>(kZip64LocatorSize) + 23)
        return LocateFailure::NotAnArchive;
    const uint8_t* locator = end - kZip64LocatorSize;
    if (read_u32(locator) != kZip64LocatorSignature)
        return LocateFailure::None;
    uint8_t record[kZip64EndRecordReadSize];
    const int64_t got = source.read_at(read_u64(locator + 8), record, sizeof record);
    if (got == static_cast<int64_t>(sizeof record) && read_u32(record) == kZip64EndRecordSignature) {
        const uint64_t entries = read_u64(record + 24);
        g->entryCount = (entries >> 32) == 0 ? static_cast<uint32_t>(entries) : 0xFFFFFFFF;
        g->cdSize = static_cast<uint32_t>(read_u64(record + 40));
        g->cdOffset = read_u64(record + 48);
    }
    return LocateFailure::None;
}
