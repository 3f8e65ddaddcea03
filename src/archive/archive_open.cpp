#include "archive/archive_handle.h"

#include <stdlib.h>
#include <string.h>

#include "archive/archive_locate.h"
#include "archive/local_header_walk.h"
#include "archive/zip_format.h"
#include "core/library_state.h"
#include "core/messages.h"
#include "varno_results.h"

namespace {

class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}
    int64_t read_at(uint64_t offset, void* buffer, uint32_t length) override
    {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (position.QuadPart < 0) {
            SetLastError(ERROR_NEGATIVE_SEEK);
            return -1;
        }
        DWORD got = 0;
        if (!SetFilePointerEx(file_, position, nullptr, FILE_BEGIN) || !ReadFile(file_, buffer, length, &got, nullptr))
            return -1;
        return got;
    }

private:
    HANDLE file_;
};

// Reads length bytes at offset of the file; false unless all arrive.
bool read_exactly(HANDLE file, uint64_t offset, void* buffer, uint32_t length)
{
    FileSource source(file);
    return source.read_at(offset, buffer, length) == static_cast<int64_t>(length);
}

// Ends a failed open: the file is closed and the handle freed with the last error kept.
ArchiveHandle* fail_open(ArchiveHandle* archive)
{
    const DWORD error = GetLastError();
    if (archive->file != INVALID_HANDLE_VALUE)
        CloseHandle(archive->file);
    free(archive);
    SetLastError(error);
    return nullptr;
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
    archive->file = INVALID_HANDLE_VALUE;
    // A name that cannot be converted names no file that could be opened.
    if (name_to_wide(name, archive->path, kPathUnits) != 0)
        archive->file = CreateFileW(archive->path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    else
        archive->path[0] = 0;
    if (archive->file == INVALID_HANDLE_VALUE) {
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
    if (!GetFileSizeEx(archive->file, &size))
        return fail_open(archive);
    archive->fileSize = static_cast<uint64_t>(size.QuadPart);

    FileSource source(archive->file);
    ArchiveGeometry geometry;
    LocateFailure failure = locate_central_directory(source, archive->fileSize, &geometry);
    // ZIP data without a usable end record, as a download that stopped leaves them, are read
    // from their local headers when they begin with one (the directory is rebuilt on loading).
    uint64_t start = 0;
    if (failure != LocateFailure::None && failure != LocateFailure::ReadFailed &&
        find_first_local_header(source, archive->fileSize, &start)) {
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
    if (archive->cdBuffer)
        return DirectoryLoad::Loaded;
    // Recorded values are untrusted: a directory beyond the end of the file is never allocated.
    if (archive->cdOffset > archive->fileSize || archive->cdSize > archive->fileSize - archive->cdOffset)
        return DirectoryLoad::NotADirectory;
    uint8_t* buffer = static_cast<uint8_t*>(malloc(archive->cdSize ? archive->cdSize : 1));
    if (!buffer)
        return DirectoryLoad::ReadFailed;
    if (!read_exactly(archive->file, archive->cdOffset, buffer, archive->cdSize)) {
        free(buffer);
        return DirectoryLoad::ReadFailed;
    }
    uint8_t* const end = buffer + archive->cdSize;
    if (check_central_directory(buffer, end, archive->entryCount, nullptr, 0) != DirectoryCheck::Usable) {
        // A header that begins where the directory does, but does not fit its declared size,
        // makes a directory that ends before its count: kept with nothing to walk.
        uint8_t signature[4];
        if (archive->entryCount != 0 && read_exactly(archive->file, archive->cdOffset, signature, sizeof signature) &&
            read_u32(signature) == kCentralHeaderSignature) {
            archive->cdBuffer = buffer;
            archive->cdEnd = end;
            archive->directoryIncomplete = true;
            return DirectoryLoad::Loaded;
        }
        // Only a directory that cannot be walked needs a look at the first local header.
        uint8_t localHead[kLocalHeaderSize];
        const bool haveHead = read_exactly(archive->file, archive->baseOffset, localHead, sizeof localHead);
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
    FileSource source(archive->file);
    uint64_t start = 0;
    if (!find_first_local_header(source, archive->fileSize, &start))
        return DirectoryLoad::NotADirectory;
    RebuiltDirectory rebuilt;
    switch (rebuild_central_directory(source, archive->fileSize, start, &rebuilt)) {
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

bool check_entry_ranges(ArchiveHandle* archive)
{
    if (archive->rangesChecked)
        return true;
    const ArchiveLayout layout = {archive->baseOffset, archive->cdOffset, archive->cdSize, archive->fileSize};
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
