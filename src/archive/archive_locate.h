// Finding the central directory of an archive: the end record in the last bytes of the file,
// the ZIP64 locator and end record, and the offset of ZIP data inside a self-extractor.
#pragma once
#include <stdint.h>

constexpr uint64_t kDisksIgnored = UINT64_MAX;

// Random-access reads of the archive's bytes: a single file, or the parts of a set joined.
class ByteSource {
public:
    // Reads up to length bytes at offset; returns the count read, or -1 on a failed read.
    virtual int64_t read_at(uint64_t offset, void* buffer, uint32_t length);
    // Where disk `disk` of a spanned set begins among the bytes, since its records count offsets
    // from the start of their disk; kDisksIgnored for every other source.
    virtual uint64_t disk_start(uint32_t disk) const;
};

constexpr uint32_t kHeadBytes = 768;        // read from the start to recognise the kind of file
constexpr uint32_t kSearchWindow = 1536;    // the end record is searched in this many last bytes
constexpr uint32_t kSfxMinimumHead = 768;
// When the window holds no end record, the reach of the longest comment (65,535 bytes and its
// end record) is searched once more, with the 20 bytes of a ZIP64 locator in front.
constexpr uint32_t kLongCommentReach = 65535 + 22;
constexpr uint32_t kLongSearchWindow = kLongCommentReach + 20;

enum class LocateFailure {
    None,
    ReadFailed,     // a read failed; the platform's error says why
    NegativeSeek,   // the search window would start before the file (a self-extractor's
                    // section fields point past its end)
    NotAnArchive,   // short head, no end record, or ZIP64 records missing or out of place
};

struct ArchiveGeometry {
    uint64_t baseOffset;  // bytes in front of the ZIP data; added to every recorded offset
    uint64_t cdOffset;    // file position of the central directory
    uint32_t cdSize;
    uint32_t entryCount;  // 0xFFFFFFFF when a ZIP64 count does not fit
    uint32_t lastDisk;    // the end record's own disk: above 0 in the last part of a spanned set
};

// Position in head (at least 768 bytes) of a "_winzip_" section name, or 0.
uint32_t find_sfx_section(const uint8_t* head);

// Start of the last end record in window, searched from bytesRead - 22 down to 2; -1 if none.
int32_t find_end_record(const uint8_t* window, uint32_t bytesRead);

// Start of the end record behind a long comment in window (bytesRead bytes that end where the
// ZIP data end), searched from bytesRead - 22 down to lowest: the last record whose comment
// ends exactly at the end of the window, else the last whose comment ends inside it; -1 if none.
int32_t find_end_record_behind_comment(const uint8_t* window, uint32_t bytesRead, uint32_t lowest);

// Reads the head, the search window (and when it holds no end record, the reach of the longest
// comment) and, when needed, the ZIP64 end record, also in front of its locator when bytes were
// put in front of a ZIP64 archive without its offsets being moved.
LocateFailure locate_central_directory(ByteSource& source, uint64_t fileSize, ArchiveGeometry* geometry);
