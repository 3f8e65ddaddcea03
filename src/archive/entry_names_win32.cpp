// The code-page step of the walk: a UTF-8 name becomes a system-code-page name in ANSI mode, a
// system-code-page name becomes UTF-8 in Unicode mode; names already in the mode's code page
// (and pure ASCII names) are left as copied.
#include <windows.h>

#include "archive/entry_names.h"
#include "core/library_state.h"

namespace {

// Converts the UTF-16 text (units long, no terminator) into name in code page target. A result
// that does not fit the name buffer keeps the longest run of whole characters that does, so
// that the name stays terminated text in the mode's code page. False when nothing converts.
bool narrow_name(UINT target, const wchar_t* wide, int units, char* name)
{
    const int room = static_cast<int>(kNameSize) - 1;
    char converted[kNameSize];
    int bytes = WideCharToMultiByte(target, 0, wide, units, converted, room, nullptr, nullptr);
    if (bytes <= 0) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        // Each UTF-16 unit gives at most 3 bytes, so dropping excess/3 units (rounded up) is
        // the least that can bring the text into the buffer.
        int keep = units;
        for (;;) {
            const int needed = WideCharToMultiByte(target, 0, wide, keep, nullptr, 0, nullptr, nullptr);
            if (needed <= 0)
                return false;
            if (needed <= room)
                break;
            keep -= (needed - room + 2) / 3;
            if (keep > 0 && IS_HIGH_SURROGATE(wide[keep - 1]))
                --keep;
            if (keep <= 0)
                return false;
        }
        bytes = WideCharToMultiByte(target, 0, wide, keep, converted, room, nullptr, nullptr);
        if (bytes <= 0)
            return false;
    }
    memcpy(name, converted, static_cast<size_t>(bytes));
    name[bytes] = 0;
    return true;
}

}  // namespace

const uint8_t* next_central_entry(CentralCursor* cursor, char* name)
{
    bool utf8 = false;
    const uint8_t* header = take_central_entry(cursor, name, &utf8);
    if (!header)
        return nullptr;
    const UINT target = utf8 ? CP_ACP : CP_UTF8;
    if (name_code_page() != target || name[0] == 0)
        return header;
    wchar_t wide[kNameSize];
    wide[0] = 0;
    const int units = MultiByteToWideChar(utf8 ? CP_UTF8 : CP_ACP, utf8 ? 0 : MB_PRECOMPOSED, name, -1, wide,
                                          static_cast<int>(kNameSize));
    if (units <= 1 || wide[0] == 0)
        return header;  // a failed conversion leaves the copied name
    if (narrow_name(target, wide, units - 1, name) && cursor->safePaths) {
        // A best-fit mapping into the system code page can make separators, dots and colons
        // of characters that were none (a full-width solidus becomes '/'), so the rules run
        // once more on what the consumers will see.
        neutralise_name(name);
    }
    return header;
}
