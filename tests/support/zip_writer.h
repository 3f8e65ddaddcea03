// A ZIP writer of the tests' own: each case controls every byte of the archive it needs
// (extra fields, ZIP64 records, prefixes, comments, lying sizes, truncation).
#pragma once
#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

namespace ziptest {

// Little-endian field builders for hand-made records.
void put16(std::string& out, uint32_t value);
void put32(std::string& out, uint32_t value);
void put64(std::string& out, uint64_t value);
std::string extra_record(uint16_t tag, const std::string& data);

// Raw Deflate (no zlib header) of data at the given level.
std::string deflate_raw(const std::string& data, int level = 6);
// A stream of stored blocks, valid for both Deflate and Deflate64.
std::string stored_blocks(const std::string& data);
uint32_t crc32_of(const std::string& data);
// The traditional cipher over data with password; header is the 12 plain header bytes.
std::string encrypt_traditional(const std::string& password, const std::string& header, const std::string& data);

struct Entry {
    std::string name;
    std::string data;               // the entry's uncompressed bytes
    uint16_t method = 0;            // 0 stored, 8 Deflate (compressed here); others need `compressed`
    std::optional<std::string> compressed;  // bytes stored as entry data instead of compressing `data`
    // Traditional encryption with this password: flag bit 0 is set and the data get their
    // 12-byte header, whose last byte is the check byte (DOS time with flag bit 3, else CRC).
    std::optional<std::string> password;
    uint16_t flags = 0;
    uint16_t dosTime = 0x6000;      // 12:00:00
    uint16_t dosDate = 0x5A21;      // 2025-01-01
    uint16_t versionMadeBy = 0x0314;  // 2.0, Unix
    uint16_t versionNeeded = 20;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0x81A40000;  // a regular file, rw-r--r--
    std::string centralExtra;       // appended after any ZIP64 record the writer makes
    std::optional<std::string> localExtra;  // defaults to centralExtra
    std::string comment;
    // Values written into the headers instead of the true ones.
    std::optional<uint32_t> crc;
    std::optional<uint32_t> compressedSizeField;
    std::optional<uint32_t> uncompressedSizeField;
    std::optional<uint32_t> localHeaderOffsetField;
    // Put sizes and offset into a ZIP64 extra record (fields become 0xFFFFFFFF).
    bool zip64 = false;
    // As a writer that cannot seek writes it: flag bit 3, no CRC-32 or sizes in the local header
    // (zeros, also in its ZIP64 record), and a descriptor with its signature behind the data
    // (with 64-bit sizes when zip64).
    bool dataDescriptor = false;
    std::optional<uint64_t> zip64UncompressedSize;  // lie in the ZIP64 record
    std::optional<uint64_t> zip64CompressedSize;
    std::optional<uint64_t> zip64LocalHeaderOffset;
};

struct ArchiveOptions {
    std::string prefix;             // bytes in front of the ZIP data (a self-extractor stub)
    bool offsetsIncludePrefix = true;  // recorded offsets count from the file start
    std::string comment;
    std::optional<uint16_t> entryCountField;
    std::optional<uint32_t> cdSizeField;
    std::optional<uint32_t> cdOffsetField;
    bool zip64EndRecords = false;   // write ZIP64 end record and locator, 0xFFFFFFFF in the end record
    std::optional<uint64_t> zip64EntryCount;
    std::string suffix;             // bytes behind the end record
};

// Builds the whole archive in memory.
std::string build_zip(const std::vector<Entry>& entries, const ArchiveOptions& options = {});

}  // namespace ziptest
