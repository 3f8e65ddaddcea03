// One listing line per entry in the layout of the archive's listMode.
#include <windows.h>

#include "archive/archive_handle.h"
#include "archive/entry_extras.h"
#include "archive/entry_names.h"
#include "archive/zip_format.h"
#include "core/extract_job.h"
#include "core/library_state.h"
#include "listing/listing.h"
#include "listing/listing_fields.h"

namespace {

constexpr int kLineUnits = 1025;  // wsprintfW writes at most 1024 characters and a terminator
constexpr wchar_t kNoTime[] = L"**-**-** **:**:**.***";
constexpr wchar_t kNameConvertError[] = L"*text code convert error*";

// date23 of a FILETIME in local time, or the placeholder for no time.
void format_date(wchar_t* out, uint64_t utc)
{
    FILETIME fileTime;
    FILETIME local;
    SYSTEMTIME t;
    fileTime.dwLowDateTime = static_cast<DWORD>(utc);
    fileTime.dwHighDateTime = static_cast<DWORD>(utc >> 32);
    if (utc == 0 || !FileTimeToLocalFileTime(&fileTime, &local) || !FileTimeToSystemTime(&local, &t)) {
        lstrcpyW(out, kNoTime);
        return;
    }
    wsprintfW(out, L"%04d-%02d-%02d %02d:%02d:%02d.%03d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
              t.wMilliseconds);
}

// Converts a line to the name code page and appends it to the job's sink as a message is
// appended. Returns the converted length, 0 when nothing was written.
int32_t emit_line(ExtractJob* job, const wchar_t* line, int units, char* bytes, int capacity)
{
    const int n = units > 0 ? WideCharToMultiByte(name_code_page(), 0, line, units, bytes, capacity, nullptr, nullptr) : 0;
    if (n <= 0)
        return 0;
    return append_sink_text(&job->sink, bytes, static_cast<uint64_t>(n)) ? n : 0;
}

int32_t emit_json_line(ExtractJob* job, const wchar_t* size, const wchar_t* csize, const wchar_t* date,
                       const wchar_t* name)
{
    // Built without the 1024-character limit of wsprintfW, so that a long name never leaves a
    // cut, unparseable object behind.
    wchar_t line[kJsonLineUnits];
    char bytes[3 * kJsonLineUnits];
    const size_t units = compose_json_line(line, kJsonLineUnits, size, csize, date, name);
    return emit_line(job, line, static_cast<int>(units), bytes, sizeof bytes);
}

}  // namespace

int32_t format_listing_line(ExtractJob* job, const uint8_t* entry, char* name)
{
    const JobOptions& options = job->archive->options;
    EntryExtraInfo extras = {};
    extras.flags = kExtraWantAllZip64;
    read_entry_extras(entry, &extras);

    if (!options.keepSlashes)
        to_backslashes(name);
    wchar_t wideName[kPathUnits];
    if (name_to_wide(name, wideName, kPathUnits) == 0)
        lstrcpyW(wideName, kNameConvertError);

    const uint64_t uncompressed = entry_uncompressed_size(entry, extras);
    const uint64_t compressed = entry_compressed_size(entry, extras);
    wchar_t size[kDecimalUnits];
    wchar_t csize[kDecimalUnits];
    format_decimal(size, uncompressed);
    format_decimal(csize, compressed);

    if (!(extras.flags & kExtraHasTimes))
        extras.writeTime = dos_time_to_utc(read_u16(entry + central::dosDate), read_u16(entry + central::dosTime));
    wchar_t date23[32];
    format_date(date23, extras.writeTime);
    if (options.listMode == 7)
        return emit_json_line(job, size, csize, date23, wideName);
    wchar_t date16[17];
    lstrcpynW(date16, date23, 17);

    wchar_t ratio[kRatioUnits];
    format_ratio(ratio, uncompressed, compressed);
    wchar_t ratio3[4];
    lstrcpynW(ratio3, ratio, 4);
    const uint16_t flags = read_u16(entry + central::flags);
    wchar_t method[kMethodUnits];
    format_method_label(method, read_u16(entry + central::method), flags);
    wchar_t version[kVersionUnits];
    format_version(version, read_u16(entry + central::versionMadeBy));
    wchar_t attr4[8];
    wchar_t attr7[8];
    format_attributes(entry, attr4, false);
    format_attributes(entry, attr7, true);
    const unsigned crc = read_u32(entry + central::crc32);

    wchar_t line[kLineUnits];
    line[0] = 0;
    switch (options.listMode) {
    case 1:
        wsprintfW(line, L"%-14s  %8s  %8s %s%% %s %s %s %08x", wideName, size, csize, ratio, date16, attr4, method,
                  crc);
        break;
    case 2:
        wsprintfW(line, L"%s     %s %7s %8s %s %15s %s", attr4, version, size, csize, method, date16, wideName);
        break;
    case 3:
        wsprintfW(line, L"%7s  %7s %6s %s%%  %s  %8x   %s", size, method, csize, ratio3, date16, crc, wideName);
        break;
    case 4:
        wsprintfW(line, L"%9s  %s   %s", size, date16, wideName);
        break;
    case 5:
        wsprintfW(line, L"%8s  %6s %8s %3s%% %s %8x  %s", size, method, csize, ratio3, date16, crc, wideName);
        break;
    case 6: {
        const bool encrypted = (flags & kFlagEncrypted) != 0;
        const bool text = (read_u16(entry + central::internalAttributes) & 1) != 0;
        const wchar_t tb = text ? (encrypted ? L'T' : L't') : (encrypted ? L'B' : L'b');
        const bool descriptor = (flags & kFlagDataDescriptor) != 0;
        const wchar_t xl = read_u16(entry + central::extraLength) != 0 ? (descriptor ? L'X' : L'x')
                                                                        : (descriptor ? L'l' : L'-');
        wsprintfW(line, L"%s     %s %8s %c%c %4s %s %s", attr7, version, size, tb, xl, method, date16, wideName);
        break;
    }
    default:
        return 0;
    }
    char bytes[3 * kLineUnits];
    return emit_line(job, line, lstrlenW(line), bytes, sizeof bytes);
}
