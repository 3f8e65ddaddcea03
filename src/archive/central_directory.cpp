#include "archive/central_directory.h"

#include "archive/zip_format.h"

const uint8_t* next_central_header(const uint8_t* at, const uint8_t* end)
{
    if (at > end || static_cast<uint64_t>(end - at) < kCentralHeaderSize)
        return nullptr;
    if (read_u32(at) != kCentralHeaderSignature)
        return nullptr;
    const uint64_t length = kCentralHeaderSize + static_cast<uint64_t>(read_u16(at + central::nameLength)) +
                            read_u16(at + central::extraLength) + read_u16(at + central::commentLength);
    if (length > static_cast<uint64_t>(end - at))
        return nullptr;
    return at + length;
}

uint32_t count_central_headers(const uint8_t* begin, const uint8_t* end)
{
    uint32_t count = 0;
    for (const uint8_t* at = begin; (at = next_central_header(at, end)) != nullptr;)
        ++count;
    return count;
}

DirectoryCheck check_central_directory(const uint8_t* begin, const uint8_t* end, uint32_t entryCount,
                                       const uint8_t* localHead, uint32_t localLength)
{
    if (begin == end ? entryCount == 0 : next_central_header(begin, end) != nullptr)
        return DirectoryCheck::Usable;
    if (end - begin >= 4 && read_u32(begin) == kArchiveExtraDataSignature)
        return DirectoryCheck::Encrypted;
    if (localLength >= kLocalHeaderSize && read_u32(localHead) == kLocalHeaderSignature &&
        (read_u16(localHead + local::flags) & kFlagMaskedHeaders))
        return DirectoryCheck::Encrypted;
    return DirectoryCheck::NoHeaders;
}
