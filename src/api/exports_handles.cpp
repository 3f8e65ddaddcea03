// Archive handles for hosts: open, enumerate with FindFirst/FindNext, query the current entry,
// close; the entry count and the archive check.
#include <string.h>

#include "api/close_archive.h"
#include "archive/archive_handle.h"
#include "archive/archive_locate.h"
#include "archive/entry_extras.h"
#include "archive/entry_names.h"
#include "archive/zip_format.h"
#include "core/library_state.h"
#include "listing/listing.h"
#include "listing/listing_fields.h"
#include "varno.h"

namespace {

constexpr int kEnumerationEnd = -1;
constexpr int kDirectoryUnreadable = 30;
constexpr size_t kRecordNameBytes = 512;  // the name field's bound with the terminator
constexpr uint32_t kCheckHeadBytes = 1024;
constexpr uint32_t kCheckScanLimit = 256;

ArchiveHandle* as_archive(HARC handle) { return static_cast<ArchiveHandle*>(handle); }

HARC open_handle(HWND owner, LPCSTR name, DWORD mode)
{
    RunningScope running;
    return open_archive_file(owner, name, static_cast<int32_t>(mode), nullptr, 0);
}

int close_handle(HARC handle)
{
    if (!handle)
        return VARNO_ERROR_NO_HANDLE;
    close_archive(as_archive(handle));
    return 0;
}

// The fields of the record that both families fill; the texts are left empty.
void fill_record(ArchiveHandle* archive, const uint8_t* entry, char* name, EntryInfo* info)
{
    info->originalSize = read_u32(entry + central::uncompressedSize);
    info->compressedSize = read_u32(entry + central::compressedSize);
    info->crc = read_u32(entry + central::crc32);
    info->flag = 0;
    info->osType = 0;
    info->ratio = 800;
    info->date = read_u16(entry + central::dosDate);
    info->time = read_u16(entry + central::dosTime);
    if (!archive->options.keepSlashes)
        to_backslashes(name);
    copy_bounded(info->fileName, name, kRecordNameBytes);
    info->attribute[0] = 0;
    info->mode[0] = 0;
}

// The UnZip family's texts: the short attribute form, 'd' for a directory, and the mode text.
void fill_unzip_texts(const uint8_t* entry, EntryInfo* info)
{
    wchar_t attributes[8];
    format_attributes(entry, attributes, false);
    int i = 0;
    for (; attributes[i]; ++i)
        info->attribute[i] = static_cast<char>(attributes[i]);
    info->attribute[i++] = (read_u32(entry + central::externalAttributes) & 0x10) ? 'd' : '-';
    info->attribute[i] = 0;
    static_assert(sizeof info->mode == kModeBytes, "the record holds every mode text");
    format_mode_text(info->mode, read_u16(entry + central::method), read_u16(entry + central::flags));
}

void make_current(ArchiveHandle* archive, const uint8_t* entry)
{
    archive->currentEntry = entry;
    archive->currentExtras = EntryExtraInfo{};
}

int find_next(ArchiveHandle* archive, EntryInfo* info, bool unzipTexts)
{
    char name[kNameSize];
    const uint8_t* entry = next_central_entry(&archive->enumCursor, name);
    if (!entry) {
        archive->currentEntry = nullptr;
        return kEnumerationEnd;
    }
    make_current(archive, entry);
    if (info) {
        fill_record(archive, entry, name, info);
        if (unzipTexts)
            fill_unzip_texts(entry, info);
    }
    return 0;
}

int find_first(HARC handle, LPCSTR pattern, EntryInfo* info, bool unzipTexts)
{
    ArchiveHandle* archive = as_archive(handle);
    if (!archive)
        return VARNO_ERROR_NO_HANDLE;
    {
        RunningScope running;
        if (load_central_directory(archive) != DirectoryLoad::Loaded)
            return kDirectoryUnreadable;
        archive->enumCursor = CentralCursor{archive->cdBuffer, archive->cdEnd, archive->options.safePaths};
    }
    if (!pattern || pattern[0] == 0 || pattern[0] == '*')
        return find_next(archive, info, unzipTexts);

    char name[kNameSize];
    for (;;) {
        const uint8_t* entry = next_central_entry(&archive->enumCursor, name);
        if (!entry) {
            archive->currentEntry = nullptr;
            return kEnumerationEnd;
        }
        if (strcmp(name, pattern) != 0)
            continue;
        make_current(archive, entry);
        archive->enumCursor.current = archive->enumCursor.end;  // the next FindNext ends it
        if (info) {
            fill_record(archive, entry, name, info);
            if (unzipTexts)
                fill_unzip_texts(entry, info);
        }
        return 0;
    }
}

// The current entry with its extra fields read, or null.
const uint8_t* current_entry(HARC handle)
{
    ArchiveHandle* archive = as_archive(handle);
    if (!archive || !archive->currentEntry)
        return nullptr;
    read_entry_extras(archive->currentEntry, &archive->currentExtras);
    return archive->currentEntry;
}

DWORD original_size(HARC handle)
{
    const uint8_t* entry = current_entry(handle);
    if (!entry)
        return static_cast<DWORD>(-1);
    const uint64_t size = entry_uncompressed_size(entry, as_archive(handle)->currentExtras);
    return size >= 0xFFFFFFFFull ? static_cast<DWORD>(-2) : static_cast<DWORD>(size);
}

BOOL original_size_ex(HARC handle, ULARGE_INTEGER* size)
{
    const uint8_t* entry = current_entry(handle);
    if (!entry)
        return FALSE;
    if (size)
        size->QuadPart = entry_uncompressed_size(entry, as_archive(handle)->currentExtras);
    return TRUE;
}

enum class TimeKind { Write, Create, Access };

BOOL entry_time(HARC handle, FILETIME* time, TimeKind kind)
{
    if (!current_entry(handle))
        return FALSE;
    const EntryExtraInfo& extras = as_archive(handle)->currentExtras;
    if (!(extras.flags & kExtraHasTimes))
        return FALSE;
    const uint64_t value = kind == TimeKind::Write ? extras.writeTime
                           : kind == TimeKind::Create ? extras.createTime
                                                      : extras.accessTime;
    if (time) {
        time->dwLowDateTime = static_cast<DWORD>(value);
        time->dwHighDateTime = static_cast<DWORD>(value >> 32);
    }
    return TRUE;
}

bool has_current(HARC handle) { return handle && as_archive(handle)->currentEntry; }

// The first bytes of the archive: of the first part of a set that opens (named by its last part
// or by any piece), else of the file itself. False when they cannot be read. *whole says whether
// the archive opened with an end record of its own: one cut short is no sound archive.
bool read_archive_head(LPCSTR name, uint8_t* head, uint32_t* length, bool* whole)
{
    *whole = false;
    if (ArchiveHandle* archive = open_archive_file(nullptr, name, 0, nullptr, 0)) {
        const int64_t got = archive->reader.read_at(0, head, *length);
        *whole = !archive->cutShort;
        close_archive(archive);
        *length = got > 0 ? static_cast<uint32_t>(got) : 0;
        return got >= 0;
    }
    wchar_t path[kPathUnits];
    return name_to_wide(name, path, kPathUnits) != 0 && read_file_head(path, 0, &head, length, nullptr) == 0;
}

BOOL check_archive(LPCSTR name)
{
    uint8_t head[kCheckHeadBytes];
    uint32_t length = sizeof head;
    bool whole = false;
    if (!name || !read_archive_head(name, head, &length, &whole))
        return FALSE;
    if (length >= kSfxMinimumHead && find_sfx_section(head) != 0)
        return TRUE;
    // A local header near the start: "PK\3\4", a version needed of 1.0 to 9.9, and a
    // general-purpose flag word without the bits of features that cannot be read here.
    const uint32_t limit = length < kCheckScanLimit ? length : kCheckScanLimit;
    for (uint32_t at = 0; at + 33 <= limit; ++at) {
        if (head[at] != 'P' || head[at + 1] != 'K' || head[at + 2] != 3 || head[at + 3] != 4)
            continue;
        if (head[at + 4] < 10 || head[at + 4] > 99)
            continue;
        return (read_u16(head + at + 6) & 0x2020) == 0 && whole ? TRUE : FALSE;
    }
    return FALSE;
}

}  // namespace

extern "C" {

HARC WINAPI UnZipOpenArchive(const HWND owner, LPCSTR archive, const DWORD mode)
{
    return open_handle(owner, archive, mode | 0x80000000u);
}

HARC WINAPI VarnoOpenArchive(const HWND owner, LPCSTR archive, const DWORD mode)
{
    return open_handle(owner, archive, mode);
}

int WINAPI UnZipCloseArchive(HARC archive) { return close_handle(archive); }
int WINAPI VarnoCloseArchive(HARC archive) { return close_handle(archive); }

// The UnZip family fills the attribute and mode texts for every record, the first included.
int WINAPI UnZipFindFirst(HARC archive, LPCSTR pattern, EntryInfo* info) { return find_first(archive, pattern, info, true); }
int WINAPI VarnoFindFirst(HARC archive, LPCSTR pattern, EntryInfo* info) { return find_first(archive, pattern, info, false); }

int WINAPI UnZipFindNext(HARC archive, EntryInfo* info)
{
    return archive ? find_next(as_archive(archive), info, true) : VARNO_ERROR_NO_HANDLE;
}

int WINAPI VarnoFindNext(HARC archive, EntryInfo* info)
{
    return archive ? find_next(as_archive(archive), info, false) : VARNO_ERROR_NO_HANDLE;
}

int WINAPI UnZipGetFileCount(LPCSTR name)
{
    ArchiveHandle* archive = open_archive_file(nullptr, name, 0, nullptr, 0);
    if (!archive)
        return -1;
    // A directory whose walk ends before its count of entries has no count to give, nor one
    // rebuilt from the local headers (an archive cut short is not walked for it).
    const bool loaded = !archive->cutShort && load_central_directory(archive) == DirectoryLoad::Loaded &&
                        !archive->directoryIncomplete;
    const int count = loaded ? static_cast<int>(archive->entryCount) : -1;
    close_archive(archive);
    return count;
}

BOOL WINAPI UnZipCheckArchive(LPCSTR archive, const int) { return check_archive(archive); }
BOOL WINAPI VarnoCheckArchive(LPCSTR archive, const int) { return check_archive(archive); }

DWORD WINAPI UnZipGetOriginalSize(HARC archive) { return original_size(archive); }
DWORD WINAPI VarnoGetOriginalSize(HARC archive) { return original_size(archive); }
BOOL WINAPI UnZipGetOriginalSizeEx(HARC archive, ULARGE_INTEGER* size) { return original_size_ex(archive, size); }
BOOL WINAPI VarnoGetOriginalSizeEx(HARC archive, ULARGE_INTEGER* size) { return original_size_ex(archive, size); }
BOOL WINAPI UnZipGetWriteTimeEx(HARC archive, FILETIME* time) { return entry_time(archive, time, TimeKind::Write); }
BOOL WINAPI VarnoGetWriteTimeEx(HARC archive, FILETIME* time) { return entry_time(archive, time, TimeKind::Write); }
BOOL WINAPI UnZipGetCreateTimeEx(HARC archive, FILETIME* time) { return entry_time(archive, time, TimeKind::Create); }
BOOL WINAPI VarnoGetCreateTimeEx(HARC archive, FILETIME* time) { return entry_time(archive, time, TimeKind::Create); }
BOOL WINAPI UnZipGetAccessTimeEx(HARC archive, FILETIME* time) { return entry_time(archive, time, TimeKind::Access); }
BOOL WINAPI VarnoGetAccessTimeEx(HARC archive, FILETIME* time) { return entry_time(archive, time, TimeKind::Access); }

DWORD WINAPI UnZipGetCompressedSize(HARC archive)
{
    const uint8_t* entry = current_entry(archive);
    return entry ? read_u32(entry + central::compressedSize) : VARNO_ERROR_NO_HANDLE;
}

int WINAPI UnZipGetAttribute(HARC archive)
{
    const uint8_t* entry = current_entry(archive);
    return entry ? static_cast<int>(read_u32(entry + central::externalAttributes)) : -1;
}

// The 16-bit values of the date, time and ratio queries come back as 32-bit results with a
// zero high half (VARNO_WORD_RESULT in varno.h).
DWORD WINAPI UnZipGetDate(HARC archive)
{
    const uint8_t* entry = current_entry(archive);
    return entry ? read_u16(entry + central::dosDate) : VARNO_ERROR_NO_HANDLE;
}

DWORD WINAPI UnZipGetTime(HARC archive)
{
    const uint8_t* entry = current_entry(archive);
    return entry ? read_u16(entry + central::dosTime) : VARNO_ERROR_NO_HANDLE;
}

int WINAPI UnZipGetMethod(HARC archive, LPSTR buffer, const int size)
{
    if (!has_current(archive))
        return VARNO_ERROR_NO_HANDLE;
    if (buffer && size > 0)
        copy_bounded(buffer, "def", static_cast<size_t>(size));
    return 0;
}

int WINAPI UnZipGetArcFileName(HARC archive, LPSTR buffer, const int size)
{
    if (!has_current(archive))
        return VARNO_ERROR_NO_HANDLE;
    if (buffer && size > 0) {
        buffer[0] = 0;
        // A path that does not fit leaves the buffer empty rather than holding a cut text
        // without a terminator.
        if (WideCharToMultiByte(name_code_page(), 0, as_archive(archive)->path, -1, buffer, size, nullptr, nullptr) == 0)
            buffer[0] = 0;
    }
    return 0;
}

int WINAPI UnZipGetFileName(HARC archive, LPSTR buffer, const int size)
{
    if (!has_current(archive))
        return VARNO_ERROR_NO_HANDLE;
    if (buffer && size > 0)
        buffer[0] = 0;
    return 0;
}

DWORD WINAPI UnZipGetCRC(HARC archive) { return has_current(archive) ? 0 : VARNO_ERROR_NO_HANDLE; }
DWORD WINAPI UnZipGetWriteTime(HARC archive) { return has_current(archive) ? 0 : VARNO_ERROR_NO_HANDLE; }
BOOL WINAPI UnZipGetCreateTime(HARC archive, FILETIME*) { return has_current(archive) ? 0 : VARNO_ERROR_NO_HANDLE; }
BOOL WINAPI UnZipGetAccessTime(HARC archive, FILETIME*) { return has_current(archive) ? 0 : VARNO_ERROR_NO_HANDLE; }
DWORD WINAPI UnZipGetRatio(HARC archive) { return has_current(archive) ? 80 : VARNO_ERROR_NO_HANDLE; }
DWORD WINAPI UnZipGetArcRatio(HARC archive) { return has_current(archive) ? 800 : 0xFFFF; }
int WINAPI UnZipGetArcCompressedSize(HARC archive) { return has_current(archive) ? 0x8000 : -1; }
int WINAPI UnZipGetArcFileSize(HARC archive) { return has_current(archive) ? 0x8000 : -1; }
int WINAPI UnZipGetArcOriginalSize(HARC archive) { return has_current(archive) ? 0x8000 : -1; }
DWORD WINAPI UnZipGetArcDate(HARC archive) { return has_current(archive) ? 0 : 0xFFFF; }
DWORD WINAPI UnZipGetArcTime(HARC archive) { return has_current(archive) ? 0 : 0xFFFF; }
int WINAPI UnZipGetArcOSType(HARC archive) { return has_current(archive) ? 0 : -1; }

}  // extern "C"
