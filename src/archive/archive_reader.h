// The bytes of an open archive, read by one thread through its own reader: the named file alone,
// the pieces of one file (name.001, name.002, ...; any of them named), or the parts of a spanned
// set (name.z01, name.z02, ..., the named last part), all found beside the named file.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "archive/archive_parts.h"

// The parts of an open archive, shared by all its readers and unchanged while it is open.
struct ArchiveParts {
    PartLayout layout;
    wchar_t** paths;    // each part's full path; null for a missing part
    wchar_t* baseName;  // the named file's name without its part extension, for missing parts' names
    bool upperCase;     // the named file's extension is upper case: so are missing parts' names
};

// The archive's file alone, of size bytes, as a set of one part.
ArchiveParts* single_part(const wchar_t* path, uint64_t size);
// The pieces that path (ending in ".001" or another number of three or more digits) belongs
// to; null for any other name, or when the memory could not be had.
ArchiveParts* find_pieces(const wchar_t* path);
// The spanned set whose last part, of lastSize bytes, is path, the disk numbered lastDisk; null
// when the memory could not be had.
ArchiveParts* find_spanned_parts(const wchar_t* path, uint32_t lastDisk, uint64_t lastSize);
void free_parts(ArchiveParts* parts);

// The first part that is missing or cut short, -1 when the set is whole.
int64_t first_lacking_part(const ArchiveParts* parts);

// The file name of part `part` (found or expected) into name, of capacity units.
void part_file_name(const ArchiveParts* parts, uint32_t part, wchar_t* name, size_t capacity);

// One thread's reader: the parts are opened on their first read, with read and write sharing.
// A read of a part that begins where the last one ended is one ReadFile; any other moves the
// file pointer first. (A ReadFile at an offset of its own takes a server round trip under Wine,
// about fifteen times the cost of both calls.)
class ArchiveReader : public PartedSource {
public:
    ArchiveReader() : PartedSource(nullptr) {}
    ArchiveReader(const ArchiveReader&) = delete;  // a one-part reader points at its own member
    ArchiveReader& operator=(const ArchiveReader&) = delete;
    // Starts reading parts; file, when given, is part `part` already opened, which the reader
    // takes over. False when the memory could not be had.
    bool open(const ArchiveParts* parts, uint32_t part = 0, HANDLE file = INVALID_HANDLE_VALUE);
    // Closes every part that was opened; open may be called again.
    void close();
    const ArchiveParts* parts() const { return parts_; }

protected:
    int64_t read_part(uint32_t part, uint64_t offset, void* buffer, uint32_t length) override;

private:
    static constexpr uint64_t kUnknown = UINT64_MAX;
    struct PartFile {
        HANDLE file;
        uint64_t position;  // where the file pointer stands, or kUnknown
    };
    const ArchiveParts* parts_ = nullptr;
    PartFile* files_ = nullptr;
    PartFile single_ = {INVALID_HANDLE_VALUE, 0};  // the file of a one-part archive
};
