// One open archive: what the open exports return and what every command opens for itself.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "archive/archive_reader.h"
#include "archive/central_directory.h"
#include "archive/entry_overlaps.h"
#include "core/job_options.h"

struct MessageSink;

constexpr int kPathUnits = 1200;  // UTF-16 path buffers throughout the library

struct ArchiveHandle {
    HWND ownerWindow;
    ArchiveParts* parts;         // the named file, or the set of parts it belongs to
    ArchiveReader reader;        // the caller's thread's reader of the archive's bytes
    wchar_t path[kPathUnits];
    uint64_t fileSize;           // of the bytes read: of all parts of a set
    uint64_t baseOffset;         // bytes in front of the ZIP data; added to recorded offsets
    uint8_t* cdBuffer;           // the loaded central directory, null until loaded
    uint8_t* cdEnd;
    uint32_t cdSize;
    uint32_t entryCount;         // 0xFFFFFFFF when a ZIP64 count does not fit
    uint64_t cdOffset;
    CentralCursor enumCursor;
    const uint8_t* currentEntry; // entry of the last successful FindFirst/FindNext
    EntryExtraInfo currentExtras;
    uint32_t startTick;
    uint32_t lastProgressTick;
    uint32_t progressInterval;
    HWND progressHwnd;
    volatile uint32_t progressTotal;
    volatile uint32_t progressDone;
    uint32_t progressShown;
    volatile LONG sharedState;   // coordination word of a job's threads; 0 idle, > 0 abort code
    volatile uint64_t dialogParam;
    volatile uint32_t dialogResult;
    JobOptions options;
    bool directoryIncomplete;    // the walk of the loaded directory ends before entryCount headers,
                                 // or the directory was rebuilt from the local headers
    bool cutShort;               // no usable end record: the directory is rebuilt from the local headers
    const uint8_t* cutEntry;     // in a rebuilt directory, the header of the entry whose end was not found
    bool rangesChecked;          // refusedEntries holds the result of find_refused_entries
    RefusedEntry* refusedEntries;  // the headers whose entries are not expanded, by offset in cdBuffer
    uint32_t refusedCount;
    volatile LONG missingPartReported;  // an entry's message named a missing part
};

// Opens an archive and finds its central directory (not yet loaded). A file without a usable end
// record whose ZIP data begin with a local header (at its start or behind a self-extractor's
// program) opens as cut short. Only bit 31 of mode is used. With a sink, a failure of the file
// open itself is reported (bit 0 of messageMask) with result 0x8018, and a file that is not a
// readable archive with 0x801A. Returns null on failure with the platform's last error of the
// failing step.
ArchiveHandle* open_archive_file(HWND owner, const char* name, int32_t mode, MessageSink* sink,
                                 int32_t messageMask);

// The report of an archive that cannot be used: the system error and the archive's path.
constexpr const wchar_t* kArchiveReadErrorFormat = L"Zip file read error(%d): %s";

enum class DirectoryLoad {
    Loaded,         // cdBuffer holds the whole directory
    ReadFailed,     // the read or the allocation failed
    NotADirectory,  // it does not lie inside the file, or does not begin with a header
                    // (where the ZIP data begin with a local header, or the archive is cut
                    // short, the directory is rebuilt from the local headers instead: Loaded,
                    // with directoryIncomplete set; local_header_walk.h)
    Encrypted,      // encrypted or compressed as a whole
};

// Loads the whole central directory in one read. A directory that does not lie inside the
// file is refused before anything is allocated; one that cannot be walked is not kept. One
// whose walk ends before the end record's count of entries is kept, and directoryIncomplete set;
// so is one whose declared size is too small for the header that begins it (nothing to walk).
DirectoryLoad load_central_directory(ArchiveHandle* archive);

// The report of a directory whose walk ended before its count of entries: the archive's path.
constexpr const wchar_t* kDirectoryIncompleteFormat = L"CentralDirectory broken : %s";
// The report of an archive without an end record whose directory was rebuilt: the archive's path.
constexpr const wchar_t* kArchiveCutShortFormat = L"Archive cut short : %s";

// Where the parts of the archive lie: its directory, the bytes in front, the parts of a set.
ArchiveLayout archive_layout(const ArchiveHandle* archive);

// The report of an entry (or a directory) that lies partly in a missing or short part of a set,
// and of a command over such a set that named none: the part's file name.
constexpr const wchar_t* kMissingPartFormat = L"Missing volume : %s";

// The first part of the archive's set that lacks bytes in [from, to), -1 when none does.
inline int64_t archive_missing_part(const ArchiveHandle* archive, uint64_t from, uint64_t to)
{
    return missing_part(archive->parts->layout, from, to);
}

// Finds the entries of the loaded directory that must not be expanded (entry_overlaps.h), once
// per handle, before any worker starts; false when the memory for it could not be had.
bool check_entry_ranges(ArchiveHandle* archive);

// Why check_entry_ranges refused the entry (a header in the loaded directory), if it did, or
// cutShort for the entry whose end the rebuilt directory did not find.
Refusal entry_refused(const ArchiveHandle* archive, const uint8_t* entry);

// Reads the start of a file: into buffer (capacity *length) when given, else into a new block
// of file size + zeroTail bytes from the process heap, returned in *buffer. On success *length
// holds the bytes read and the zeroTail bytes behind them are zero. Returns 0 or a system error.
DWORD read_file_head(const wchar_t* name, uint32_t zeroTail, uint8_t** buffer, uint32_t* length,
                     uint32_t* sizeOut);
