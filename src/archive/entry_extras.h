// Extra fields of a central header: ZIP64 values and file times, and DOS times.
#pragma once
#include <stdint.h>

#include "archive/central_directory.h"

// Reads the ZIP64 (0x0001), NTFS (0x000a) and extended-timestamp (0x5455) records of the
// header's extra block into extras, whose flags the caller has prepared (0, or
// kExtraWantAllZip64). A record whose flags are already above 1 is returned as it is.
// Returns the resulting flags; a null header gives 0.
int32_t read_entry_extras(const uint8_t* header, EntryExtraInfo* extras);

// DOS date and time, taken as local time, as a UTC FILETIME; 0 when not a valid date.
uint64_t dos_time_to_utc(uint16_t dosDate, uint16_t dosTime);

// The byte-level part of read_entry_extras: the DOS times of 0x5455 records are turned into
// FILETIMEs by dosTimeToUtc (dos_time_to_utc on Windows). The header must be one that the walk
// has taken, so that its extra block lies inside the loaded directory.
using DosTimeToUtc = uint64_t (*)(uint16_t dosDate, uint16_t dosTime);
int32_t read_entry_extras_with(const uint8_t* header, EntryExtraInfo* extras, DosTimeToUtc dosTimeToUtc);

// The entry's 64-bit sizes and local header offset: the header's fields, replaced by the ZIP64
// values that extras holds.
uint64_t entry_uncompressed_size(const uint8_t* header, const EntryExtraInfo& extras);
uint64_t entry_compressed_size(const uint8_t* header, const EntryExtraInfo& extras);
uint64_t entry_local_header_offset(const uint8_t* header, const EntryExtraInfo& extras);

// True for an entry without data whose attributes alone mark it as a directory (its name need
// not end in a separator): DOS attribute 0x10 from a FAT, NTFS (10, or 11 as some tools number
// it) or VFAT host, or a Unix mode (Unix or OS X host) of the directory type.
bool marked_as_directory(const uint8_t* header, uint64_t uncompressedSize);
