#include <windows.h>

#include "archive/entry_extras.h"

namespace {

// The offset from local time to UTC, as LocalFileTimeToFileTime applies it (the current
// bias). Asking the system costs a look at the time-zone files on every call, which adds
// up to a large part of extracting many small files; the offset is taken again each second.
int64_t local_to_utc_offset()
{
    static volatile LONG64 offset = 0;
    static volatile LONG takenAt = 0;  // tick count + 1; 0 before the first time
    const DWORD now = GetTickCount();
    const LONG stamp = takenAt;
    if (stamp != 0 && now - static_cast<DWORD>(stamp - 1) < 1000)
        return offset;
    const ULONGLONG reference = 0x01D0000000000000ull;  // any local time well inside the range
    FILETIME local = {static_cast<DWORD>(reference), static_cast<DWORD>(reference >> 32)};
    FILETIME utc;
    if (!LocalFileTimeToFileTime(&local, &utc))
        return offset;
    const int64_t value =
        static_cast<int64_t>((static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime) -
        static_cast<int64_t>(reference);
    InterlockedExchange64(&offset, value);
    InterlockedExchange(&takenAt, static_cast<LONG>(now + 1));
    return value;
}

}  // namespace

uint64_t dos_time_to_utc(uint16_t dosDate, uint16_t dosTime)
{
    FILETIME local;
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local))
        return 0;
    const uint64_t value = (static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    return value + static_cast<uint64_t>(local_to_utc_offset());
}

int32_t read_entry_extras(const uint8_t* header, EntryExtraInfo* extras)
{
    return read_entry_extras_with(header, extras, dos_time_to_utc);
}
