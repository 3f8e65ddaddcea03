// The central directory of ZIP data whose own cannot be used, rebuilt from the local headers in
// front of each entry's data: a download or copy that stopped loses the end record and the
// directory behind the entries, while every entry before the cut lies whole in the file.
#pragma once
#include <stdint.h>

#include "archive/archive_locate.h"

// Where the local headers of a file begin: at its start, or behind the program of a
// self-extractor (in the section of a "_winzip_" executable, else at the first local header
// signature within kStubTailReach behind the sections of its executable image). False when no
// local header begins there, or a read failed.
bool find_first_local_header(ByteSource& source, uint64_t fileSize, uint64_t* start);

// How far behind an executable's sections (past its symbols or signature) its ZIP data are looked for.
constexpr uint32_t kStubTailReach = 1u << 20;

struct RebuiltDirectory {
    uint8_t* headers;         // from malloc: one central header for each entry, in the file's order
    uint32_t size;            // bytes of headers
    uint32_t count;
    const uint8_t* cutEntry;  // the last header when its entry's end was not found, else null
};

enum class RebuildResult {
    rebuilt,    // at least one header
    noEntries,  // not even the first entry's header and name lie in the file
    failed,     // a read failed, or memory could not be had
};

// Walks the local headers from start, each entry to the end of its data: by the sizes of its
// header (or its ZIP64 record); with a data descriptor (flag bit 3) by the end of its stream
// for the methods whose streams mark their end, followed by a descriptor of the stream's sizes,
// and for other entries (stored, encrypted, or of a method not read here) at the first
// descriptor signature behind the data whose compressed size is the distance to it (whose
// CRC-32 and size are those of the bytes before it, for stored data in the clear). The walk
// stops at the first record that is not a local header (a central header, the end of the file,
// anything else). An entry whose header and name lie in the file but whose end was not found
// (the entry a cut runs through) becomes the last header, cutEntry. Each header holds the local
// header's values, the CRC-32 and sizes of a descriptor, the local extra field with a ZIP64
// record of its own in place of the local one, host 0 (MS-DOS) with the version the entry
// needs, no attributes and no comment; offsets count from the start of the file.
RebuildResult rebuild_central_directory(ByteSource& source, uint64_t fileSize, uint64_t start, RebuiltDirectory* out);
