// ZIP records as they lie in a file: little-endian fields read at their offsets.
#pragma once
#include <stdint.h>
#include <string.h>

inline uint16_t read_u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t read_u32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t read_u64(const uint8_t* p)
{
    return static_cast<uint64_t>(read_u32(p)) | (static_cast<uint64_t>(read_u32(p + 4)) << 32);
}

constexpr uint32_t kEndRecordSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndRecordSignature = 0x06064b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kArchiveExtraDataSignature = 0x08064b50;  // in front of an encrypted directory
constexpr uint32_t kDataDescriptorSignature = 0x08074b50;

constexpr uint32_t kEndRecordSize = 22;
constexpr uint32_t kZip64LocatorSize = 20;
constexpr uint32_t kZip64EndRecordReadSize = 56;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kLocalHeaderSize = 30;

// Field offsets of a central directory file header (CentralEntry).
namespace central {
constexpr uint32_t versionMadeBy = 4;
constexpr uint32_t versionNeeded = 6;
constexpr uint32_t flags = 8;
constexpr uint32_t method = 10;
constexpr uint32_t dosTime = 12;
constexpr uint32_t dosDate = 14;
constexpr uint32_t crc32 = 16;
constexpr uint32_t compressedSize = 20;
constexpr uint32_t uncompressedSize = 24;
constexpr uint32_t nameLength = 28;
constexpr uint32_t extraLength = 30;
constexpr uint32_t commentLength = 32;
constexpr uint32_t diskNumber = 34;
constexpr uint32_t internalAttributes = 36;
constexpr uint32_t externalAttributes = 38;
constexpr uint32_t localHeaderOffset = 42;
}  // namespace central

// Field offsets of a local file header.
namespace local {
constexpr uint32_t versionNeeded = 4;
constexpr uint32_t flags = 6;
constexpr uint32_t method = 8;
constexpr uint32_t crc32 = 14;
constexpr uint32_t compressedSize = 18;
constexpr uint32_t uncompressedSize = 22;
constexpr uint32_t nameLength = 26;
constexpr uint32_t extraLength = 28;
}  // namespace local

constexpr uint16_t kZip64ExtraTag = 0x0001;  // the extra record of ZIP64 sizes and offset

// General-purpose flag bits.
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint16_t kFlagMaskedHeaders = 0x2000;  // local header values hidden: the directory is encrypted
