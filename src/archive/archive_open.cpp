#include "archive/archive_handle.h"

#include <stdlib.h>
#include <string.h>
// The handle's reader is made in place inside the handle's block. The ARM64 build compiles
// without the C++ library's headers: the placement form of new is then declared here.
#if __has_include(<new>)
#include <new>
#else
inline void* operator new(decltype(sizeof 0), void* place) noexcept { return place; }
#endif

#include "archive/archive_locate.h"
#include "archive/local_header_walk.h"
#include "archive/zip_format.h"
#include "core/library_state.h"
#include "core/messages.h"
#include "varno_results.h"

namespace {

// Reads length bytes at offset of the archive; false unless all arrive.
bool read_exactly(ArchiveHandle* archive, uint64_t offset, void* buffer, uint32_t length)
{
    return archive->reader.read_at(offset, buffer, length) == static_cast<int64_t>(length);
}

// Ends a failed open: the parts are closed and the handle freed with the last error kept.
ArchiveHandle* fail_open(ArchiveHandle* archive)
{
    const DWORD error = GetLastError();
    archive->reader.close();
    free_parts(archive->parts);
    free(archive);
    SetLastError(error);
    return nullptr;
}

// Starts reading the archive from parts, taking over file, the named file opened as part `part`.
bool read_from(ArchiveHandle* archive, ArchiveParts* parts, uint32_t part, HANDLE file)
{
    archive->reader.close();
    free_parts(archive->parts);
    archive->parts = parts;
    if (!parts && file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!parts || !archive->reader.open(parts, part, file)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    archive->fileSize = joined_size(parts->layout);
    return true;
}

// Finds the central directory. An end record that names a disk after the first is the last
// part of a spanned set: the set is then found beside it and read as one.
LocateFailure locate_directory(ArchiveHandle* archive, ArchiveGeometry* geometry)
{
    const LocateFailure failure = locate_central_directory(archive->reader, archive->fileSize, geometry);
    if (geometry->lastDisk == 0 || archive->parts->layout.count > 1 || geometry->lastDisk >= kMaxParts)
        return failure;
    if (!read_from(archive, find_spanned_parts(archive->path, geometry->lastDisk, archive->fileSize), 0,
                   INVALID_HANDLE_VALUE))
        return LocateFailure::ReadFailed;
    return locate_central_directory(archive->reader, archive->fileSize, geometry);
}

}  // namespace

ArchiveHandle* open_archive_file(HWND owner, const char* name, int32_t mode, MessageSink* sink,
                                 int32_t messageMask)
{
    ArchiveHandle* archive = static_cast<ArchiveHandle*>(calloc(1, sizeof(ArchiveHandle)));
    if (!archive) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    new (&archive->reader) ArchiveReader();
    HANDLE file = INVALID_HANDLE_VALUE;
    // A name that cannot be converted names no file that could be opened.
    if (name_to_wide(name, archive->path, kPathUnits) != 0)
        file = CreateFileW(archive->path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    else
        archive->path[0] = 0;
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (sink) {
            if (messageMask & 1)
                write_message(sink, L"Zip file open error(%d): %s", static_cast<int>(error), archive->path);
            sink->result = VARNO_ERROR_ARCHIVE_OPEN;
        }
        SetLastError(error);
        return fail_open(archive);
    }

    set_default_options(&archive->options);
    archive->options.keepSlashes = (mode & kModeKeepSlashesOnOpen) ? 1 : 0;
    archive->startTick = archive->lastProgressTick = GetTickCount();
    archive->progressInterval = 1000;
    archive->ownerWindow = owner;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return fail_open(archive);
    }
    // A piece is read with the others of its file, from the first; any other file on its own.
    if (ArchiveParts* pieces = find_pieces(archive->path)) {
        CloseHandle(file);
        if (!read_from(archive, pieces, 0, INVALID_HANDLE_VALUE))
            return fail_open(archive);
    } else if (!read_from(archive, single_part(archive->path, static_cast<uint64_t>(size.QuadPart)), 0, file)) {
        return fail_open(archive);
    }

    ArchiveGeometry geometry;
    LocateFailure failure = locate_directory(archive, &geometry);
    // ZIP data without a usable end record, as a download that stopped leaves them, are read
    // from their local headers when they begin with one (the directory is rebuilt on loading).
    uint64_t start = 0;
    if (failure != LocateFailure::None && failure != LocateFailure::ReadFailed &&
        find_first_local_header(archive->reader, archive->fileSize, &start)) {
        failure = LocateFailure::None;
        geometry = ArchiveGeometry{};
        archive->cutShort = true;
    }
    if (failure != LocateFailure::None) {
        // A file that reads but holds no usable end record says so with a format error rather
        // than with whatever error an earlier call left behind.
        if (failure == LocateFailure::NotAnArchive)
            SetLastError(ERROR_BAD_FORMAT);
        else if (failure == LocateFailure::NegativeSeek)
            SetLastError(ERROR_NEGATIVE_SEEK);
        const DWORD error = GetLastError();
        if (sink) {
            if (messageMask & 1)
                write_message(sink, kArchiveReadErrorFormat, static_cast<int>(error), archive->path);
            sink->result = VARNO_ERROR_ARCHIVE_READ;
        }
        SetLastError(error);
        return fail_open(archive);
    }
    archive->baseOffset = geometry.baseOffset;
    archive->cdOffset = geometry.cdOffset;
    archive->cdSize = geometry.cdSize;
    archive->entryCount = geometry.entryCount;
    return archive;
}

namespace {

// The directory the end record names.
DirectoryLoad load_recorded_directory(ArchiveHandle* archive)
{
    // Recorded values are untrusted: a directory beyond the end of the file is never allocated.
    if (archive->cdOffset > archive->fileSize || archive->cdSize > archive->fileSize - archive->cdOffset)
        return DirectoryLoad::NotADirectory;
    uint8_t* buffer = static_cast<uint8_t*>(malloc(archive->cdSize ? archive->cdSize : 1));
    if (!buffer)
        return DirectoryLoad::ReadFailed;
    // A directory in a missing part is not read: its zeros would say nothing.
    if (archive_missing_part(archive, archive->cdOffset, archive->cdOffset + archive->cdSize) >= 0 ||
        !read_exactly(archive, archive->cdOffset, buffer, archive->cdSize)) {
        free(buffer);
        return DirectoryLoad::ReadFailed;
    }
    uint8_t* const end = buffer + archive->cdSize;
    if (check_central_directory(buffer, end, archive->entryCount, nullptr, 0) != DirectoryCheck::Usable) {
        // A header that begins where the directory does, but does not fit its declared size,
        // makes a directory that ends before its count: kept with nothing to walk.
        uint8_t signature[4];
        if (archive->entryCount != 0 && read_exactly(archive, archive->cdOffset, signature, sizeof signature) &&
            read_u32(signature) == kCentralHeaderSignature) {
            archive->cdBuffer = buffer;
            archive->cdEnd = end;
            archive->directoryIncomplete = true;
            return DirectoryLoad::Loaded;
        }
        // Only a directory that cannot be walked needs a look at the first local header.
        uint8_t localHead[kLocalHeaderSize];
        const bool haveHead = read_exactly(archive, archive->baseOffset, localHead, sizeof localHead);
        const DirectoryCheck check =
            check_central_directory(buffer, end, archive->entryCount, localHead, haveHead ? sizeof localHead : 0);
        free(buffer);
        return check == DirectoryCheck::Encrypted ? DirectoryLoad::Encrypted : DirectoryLoad::NotADirectory;
    }
    archive->cdBuffer = buffer;
    archive->cdEnd = end;
    archive->directoryIncomplete =
        archive->entryCount != 0xFFFFFFFF && count_central_headers(buffer, end) < archive->entryCount;
    return DirectoryLoad::Loaded;
}

// The directory rebuilt from the local headers, when the ZIP data begin with one. It lies behind
// the file's bytes as far as the overlap check is concerned, and its offsets count from the start.
DirectoryLoad rebuild_directory(ArchiveHandle* archive)
{
    uint64_t start = 0;
    if (!find_first_local_header(archive->reader, archive->fileSize, &start))
        return DirectoryLoad::NotADirectory;
    RebuiltDirectory rebuilt;
    switch (rebuild_central_directory(archive->reader, archive->fileSize, start, &rebuilt)) {
    case RebuildResult::rebuilt:
        break;
    case RebuildResult::noEntries:
        return DirectoryLoad::NotADirectory;
    case RebuildResult::failed:
        return DirectoryLoad::ReadFailed;
    }
    archive->cdBuffer = rebuilt.headers;
    archive->cdEnd = rebuilt.headers + rebuilt.size;
    archive->cdSize = rebuilt.size;
    archive->cdOffset = archive->fileSize;
    archive->entryCount = rebuilt.count;
    archive->baseOffset = 0;
    archive->cutEntry = rebuilt.cutEntry;
    archive->directoryIncomplete = true;
    return DirectoryLoad::Loaded;
}

}  // namespace

DirectoryLoad load_central_directory(ArchiveHandle* archive)
{
    if (archive->cdBuffer)
        return DirectoryLoad::Loaded;
    const DirectoryLoad load = archive->cutShort ? DirectoryLoad::NotADirectory : load_recorded_directory(archive);
    return load == DirectoryLoad::NotADirectory ? rebuild_directory(archive) : load;
}

ArchiveLayout archive_layout(const ArchiveHandle* archive)
{
    return {archive->baseOffset, archive->cdOffset, archive->cdSize, archive->fileSize, &archive->parts->layout};
}

bool check_entry_ranges(ArchiveHandle* archive)
{
    if (archive->rangesChecked)
        return true;
    const ArchiveLayout layout = archive_layout(archive);
    archive->rangesChecked =
        find_refused_entries(archive->cdBuffer, archive->cdEnd, layout, &archive->refusedEntries, &archive->refusedCount);
    return archive->rangesChecked;
}

Refusal entry_refused(const ArchiveHandle* archive, const uint8_t* entry)
{
    if (entry == archive->cutEntry)
        return Refusal::cutShort;
    if (archive->refusedCount == 0)
        return Refusal::none;
    return entry_refusal(archive->refusedEntries, archive->refusedCount, static_cast<uint32_t>(entry - archive->cdBuffer));
}

DWORD read_file_head(const wchar_t* name, uint32_t zeroTail, uint8_t** buffer, uint32_t* length, uint32_t* sizeOut)
{
    HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError();
    LARGE_INTEGER size64;
    if (!GetFileSizeEx(file, &size64)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        return error;
    }
    const uint32_t size = size64.QuadPart >= 0x100000000ll ? 0xFFFFFFFF : static_cast<uint32_t>(size64.QuadPart);
    if (sizeOut)
        *sizeOut = size;

    uint8_t* data = *buffer;
    uint32_t want;
    if (data) {
        const uint32_t capacity = *length;
        want = size < capacity ? size : capacity;
        if (zeroTail > capacity - want)
            zeroTail = capacity - want;
    } else {
        // A whole-file read of 4 GiB or more is refused rather than attempted.
        if (size == 0xFFFFFFFF) {
            CloseHandle(file);
            return ERROR_FILE_TOO_LARGE;
        }
        want = size;
        data = static_cast<uint8_t*>(HeapAlloc(g_library.processHeap, 0, static_cast<SIZE_T>(size) + zeroTail));
        if (!data) {
            CloseHandle(file);
            return ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    DWORD got = 0;
    const BOOL ok = ReadFile(file, data, want, &got, nullptr);
    const DWORD error = ok ? 0 : GetLastError();
    CloseHandle(file);
    if (!ok) {
        if (!*buffer)
            HeapFree(g_library.processHeap, 0, data);
        return error;
    }
    memset(data + got, 0, zeroTail);
    *buffer = data;
    *length = got;
    return 0;
}
