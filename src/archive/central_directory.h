// The loaded central directory: the walk over its headers and the per-entry extra information.
#pragma once
#include <stdint.h>

// One walker's position in the loaded central directory.
struct CentralCursor {
    const uint8_t* current;  // start of the next central header to read
    const uint8_t* end;      // one past the last byte of the walked range
    int32_t safePaths;       // nonzero: neutralise dangerous name bytes
};

// Flags of EntryExtraInfo.
enum : int32_t {
    kExtraWantAllZip64 = 1 << 0,  // input: also take the compressed size and the offset
    kExtraHasZip64Size = 1 << 2,
    kExtraHasZip64CompressedSize = 1 << 3,
    kExtraHasZip64Offset = 1 << 4,
    kExtraHasTimes = 1 << 5,
};

// ZIP64 values and file times of one entry, read from its extra fields. The pointers lead into
// the central directory buffer (little-endian, unaligned) and are valid while it is loaded.
struct EntryExtraInfo {
    const uint8_t* zip64CompressedSize;
    const uint8_t* zip64UncompressedSize;
    const uint8_t* zip64LocalHeaderOffset;
    const uint8_t* entry;  // the central header described; set and read by consumers only
    uint64_t writeTime;    // FILETIME values: 100 ns units since 1601-01-01 UTC
    uint64_t accessTime;
    uint64_t createTime;
    int32_t flags;
};

// The walk rule over the loaded directory: the header at `at` is taken when at least 46 bytes
// remain before end, its signature is right and its name, extra field and comment end by end.
// Returns the start of the next header, or null when the walk is over.
const uint8_t* next_central_header(const uint8_t* at, const uint8_t* end);

// The headers that the walk takes from begin before it is over.
uint32_t count_central_headers(const uint8_t* begin, const uint8_t* end);

enum class DirectoryCheck {
    Usable,
    NoHeaders,  // the end record promises entries that the directory does not begin with
    Encrypted,  // encrypted or compressed as a whole: not walkable here
};

// Whether a loaded directory can be walked: when it begins with a valid header, or when it is
// empty and the end record counts no entries. One that cannot is taken for an encrypted (or
// compressed) directory when it begins with the archive extra data record that goes in front
// of such a directory, or when the local header at the start of the ZIP data (localHead,
// localLength bytes) has flag bit 13, which masks local headers for such archives.
DirectoryCheck check_central_directory(const uint8_t* begin, const uint8_t* end, uint32_t entryCount,
                                       const uint8_t* localHead, uint32_t localLength);
