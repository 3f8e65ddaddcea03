#include "archive/entry_extras.h"
#include "archive/zip_format.h"

uint64_t entry_uncompressed_size(const uint8_t* header, const EntryExtraInfo& extras)
{
    return (extras.flags & kExtraHasZip64Size) ? read_u64(extras.zip64UncompressedSize)
                                               : read_u32(header + central::uncompressedSize);
}

uint64_t entry_compressed_size(const uint8_t* header, const EntryExtraInfo& extras)
{
    return (extras.flags & kExtraHasZip64CompressedSize) ? read_u64(extras.zip64CompressedSize)
                                                         : read_u32(header + central::compressedSize);
}

uint64_t entry_local_header_offset(const uint8_t* header, const EntryExtraInfo& extras)
{
    return (extras.flags & kExtraHasZip64Offset) ? read_u64(extras.zip64LocalHeaderOffset)
                                                 : read_u32(header + central::localHeaderOffset);
}

bool marked_as_directory(const uint8_t* header, uint64_t uncompressedSize)
{
    if (uncompressedSize != 0)
        return false;
    const uint32_t external = read_u32(header + central::externalAttributes);
    switch (header[central::versionMadeBy + 1]) {
    case 0: case 10: case 11: case 14:
        return (external & 0x10) != 0;
    case 3: case 19:
        return ((external >> 16) & 0xF000) == 0x4000;
    default:
        return false;
    }
}
