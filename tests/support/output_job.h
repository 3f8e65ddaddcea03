// Jobs, archive handles and central headers made by hand, for tests that call the output-file
// and overwrite-dialog routines directly.
#pragma once
#include <windows.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "archive/archive_handle.h"
#include "archive/central_directory.h"
#include "archive/zip_format.h"
#include "core/extract_job.h"
#include "core/job_options.h"
#include "core/messages.h"

namespace dlltest {

// An archive handle with nothing open: only its options and the shared words are used.
class TestArchive {
public:
    explicit TestArchive(int32_t overwriteMode, int32_t messageMask = 3)
        : handle_(static_cast<ArchiveHandle*>(calloc(1, sizeof(ArchiveHandle))))
    {
        set_default_options(&handle_->options);
        handle_->options.overwriteMode = overwriteMode;
        handle_->options.messageMask = messageMask;
    }
    ~TestArchive() { free(handle_); }
    TestArchive(const TestArchive&) = delete;
    TestArchive& operator=(const TestArchive&) = delete;
    ArchiveHandle* get() const { return handle_; }
    ArchiveHandle* operator->() const { return handle_; }

private:
    ArchiveHandle* handle_;
};

// A job over a buffer of its own: the main job (caller's thread) or a worker's.
struct TestJob {
    TestJob(ArchiveHandle* archive, bool mainJob, size_t bufferSize = 65536) : buffer(bufferSize, '\0')
    {
        memset(&job, 0, sizeof job);
        job.archive = archive;
        init_message_sink(&job.sink, buffer.data(), buffer.size());
        job.outputStorageKind = -1;
        job.isMainJob = mainJob ? 1 : 0;
    }
    std::string text() const { return std::string(buffer.data(), strnlen(buffer.data(), buffer.size())); }
    std::vector<std::string> lines() const
    {
        std::vector<std::string> out;
        const std::string all = text();
        size_t at = 0;
        while (at < all.size()) {
            size_t end = all.find("\r\n", at);
            if (end == std::string::npos)
                end = all.size();
            out.push_back(all.substr(at, end - at));
            at = end + 2;
        }
        return out;
    }
    int32_t result() const { return job.sink.result; }

    std::vector<char> buffer;
    ExtractJob job;
};

// One central header with the fields the output step reads, and its extra record.
struct TestEntry {
    TestEntry(uint16_t dosDate, uint16_t dosTime, uint32_t size)
    {
        memset(header, 0, sizeof header);
        memset(&extras, 0, sizeof extras);
        put(0, 0x02014b50, 4);
        put(central::dosTime, dosTime, 2);
        put(central::dosDate, dosDate, 2);
        put(central::uncompressedSize, size, 4);
        extras.entry = header;
    }
    // Gives the entry extra-field times with this modification time.
    void set_write_time(uint64_t utc)
    {
        extras.flags |= kExtraHasTimes;
        extras.writeTime = utc;
    }
    void set_zip64_size(uint64_t size)
    {
        for (int i = 0; i < 8; ++i)
            zip64Size[i] = static_cast<uint8_t>(size >> (8 * i));
        extras.zip64UncompressedSize = zip64Size;
        extras.flags |= kExtraHasZip64Size;
        put(central::uncompressedSize, 0xFFFFFFFF, 4);
    }

    uint8_t header[kCentralHeaderSize];
    uint8_t zip64Size[8];
    EntryExtraInfo extras;

private:
    void put(uint32_t at, uint32_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            header[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
};

// A FILETIME from a local date and time, as the file system would keep it (UTC).
inline uint64_t utc_from_local(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms)
{
    SYSTEMTIME local = {};
    local.wYear = year;
    local.wMonth = month;
    local.wDay = day;
    local.wHour = hour;
    local.wMinute = minute;
    local.wSecond = second;
    local.wMilliseconds = ms;
    FILETIME localTime;
    FILETIME utc;
    SystemTimeToFileTime(&local, &localTime);
    LocalFileTimeToFileTime(&localTime, &utc);
    return (static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

inline bool set_write_time(const std::wstring& path, uint64_t utc)
{
    HANDLE f = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(utc);
    t.dwHighDateTime = static_cast<DWORD>(utc >> 32);
    const BOOL ok = SetFileTime(f, nullptr, nullptr, &t);
    CloseHandle(f);
    return ok != FALSE;
}

}  // namespace dlltest
