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
