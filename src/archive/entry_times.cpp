#include <windows.h>

#include "archive/entry_extras.h"

uint64_t dos_time_to_utc(uint16_t dosDate, uint16_t dosTime)
{
    FILETIME local;
    FILETIME utc;
    if (!DosDateTimeToFileTime(dosDate, dosTime, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return 0;
    return (static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
}

int32_t read_entry_extras(const uint8_t* header, EntryExtraInfo* extras)
{
    return read_entry_extras_with(header, extras, dos_time_to_utc);
}
