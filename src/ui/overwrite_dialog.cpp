#include "ui/overwrite_dialog.h"

#include <stdint.h>

#include "archive/archive_handle.h"
#include "archive/entry_extras.h"
#include "archive/zip_format.h"
#include "core/desktop.h"
#include "core/library_state.h"
#include "resources/resource_ids.h"
#include "ui/place_window.h"
#include "ui/ui_language.h"

namespace {

constexpr int kFieldUnits = 64;       // one date or size text
constexpr int kFormatUnits = 256;     // the message format read from the template
constexpr int kMessageUnits = 1100;   // wsprintfW writes at most 1024 units and the NUL

// The Japanese message format and button captions; the caption of the dialog stays English.
const wchar_t kJapaneseFormat[] =
    L"\x65E2\x5B58\x306E\x30D5\x30A1\x30A4\x30EB\x304C\x3042\x308A\x307E\x3059: %s\n\n"
    L"\x65E2\x5B58\x30D5\x30A1\x30A4\x30EB: \n"
    L"\t\x66F4\x65B0\x65E5\x6642: %s\n"
    L"\t\x30B5\x30A4\x30BA: %s\n\n"
    L"\x5C55\x958B\x30D5\x30A1\x30A4\x30EB:\n"
    L"\t\x66F4\x65B0\x65E5\x6642: %s\n"
    L"\t\x30B5\x30A4\x30BA: %s\n";

struct ButtonText {
    int id;
    const wchar_t* text;
};

const ButtonText kJapaneseButtons[] = {
    {IDYES, L"\x4E0A\x66F8\x304D(&Y)"},
    {IDNO, L"\x30B9\x30AD\x30C3\x30D7(&N)"},
    {IDC_OVERWRITE_ALL, L"\x5168\x3066\x4E0A\x66F8\x304D(&A)"},
    {IDC_SKIP_ALL, L"\x5168\x3066\x30B9\x30AD\x30C3\x30D7(&S)"},
    {IDC_OVERWRITE_NEWER_ALL, L"\x65B0\x3057\x3044\x306A\x3089\x5168\x3066\x4E0A\x66F8\x304D(&T)"},
    {IDC_BACKUP_EXISTING, L"\x65E2\x5B58\x3092\x30D0\x30C3\x30AF\x30A2\x30C3\x30D7(&B)"},
    {IDCANCEL, L"\x4E2D\x6B62(&Q)"},
};

void copy_text(wchar_t* out, int units, const wchar_t* text)
{
    int i = 0;
    for (; i < units - 1 && text[i]; ++i)
        out[i] = text[i];
    out[i] = 0;
}

// A UTC FILETIME value as local date and time; 0 (or a time the system cannot convert)
// as the placeholder.
void format_file_time(uint64_t time, wchar_t* out)
{
    FILETIME utc;
    utc.dwLowDateTime = static_cast<DWORD>(time);
    utc.dwHighDateTime = static_cast<DWORD>(time >> 32);
    FILETIME local;
    SYSTEMTIME parts;
    if (time == 0 || !FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &parts)) {
        copy_text(out, kFieldUnits, L"**-**-** **:**:**.***");
        return;
    }
    wsprintfW(out, L"%04d-%02d-%02d %02d:%02d:%02d.%03d", parts.wYear, parts.wMonth, parts.wDay, parts.wHour,
              parts.wMinute, parts.wSecond, parts.wMilliseconds);
}

// A byte count in decimal with thousands grouped by commas; empty when grouping fails.
void format_file_size(uint64_t size, wchar_t* out)
{
    wchar_t digits[24];
    wchar_t reversed[24];
    int n = 0;
    do {
        reversed[n++] = static_cast<wchar_t>(L'0' + size % 10);
        size /= 10;
    } while (size);
    for (int i = 0; i < n; ++i)
        digits[i] = reversed[n - 1 - i];
    digits[n] = 0;

    wchar_t decimalSep[] = L".";
    wchar_t thousandSep[] = L",";
    NUMBERFMTW format;
    format.NumDigits = 0;
    format.LeadingZero = 0;
    format.Grouping = 3;
    format.lpDecimalSep = decimalSep;
    format.lpThousandSep = thousandSep;
    format.NegativeOrder = 0;
    if (!GetNumberFormatW(LOCALE_USER_DEFAULT, 0, digits, &format, out, kFieldUnits)) {
        out[0] = 0;
        return;
    }
    // Without leading zeros some systems write a size of 0 as nothing at all; it is shown as 0.
    if (out[0] == 0)
        copy_text(out, kFieldUnits, digits);
}

void init_overwrite_dialog(HWND dialog, OverwritePrompt* prompt)
{
    place_window(dialog, nullptr);
    if (!prompt)
        return;

    wchar_t existingDate[kFieldUnits];
    wchar_t existingSize[kFieldUnits];
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(prompt->existingPath, &found);
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        format_file_time((static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32) |
                             found.ftLastWriteTime.dwLowDateTime,
                         existingDate);
        format_file_size((static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow, existingSize);
    } else {
        copy_text(existingDate, kFieldUnits, L"open error");
        copy_text(existingSize, kFieldUnits, L"open error");
    }

    // The entry's time: its extra-field time, or else its DOS time, which the caller's record
    // keeps from now on.
    EntryExtraInfo* extras = prompt->extras;
    const uint8_t* header = extras->entry;
    uint64_t entrySize = 0;
    if (header) {
        if (!(extras->flags & kExtraHasTimes))
            extras->writeTime = dos_time_to_utc(read_u16(header + central::dosDate), read_u16(header + central::dosTime));
        entrySize = entry_uncompressed_size(header, *extras);
    }
    wchar_t entryDate[kFieldUnits];
    wchar_t entrySizeText[kFieldUnits];
    format_file_time(extras->writeTime, entryDate);
    format_file_size(entrySize, entrySizeText);

    wchar_t format[kFormatUnits + 1];
    if (user_locale_is_japanese()) {
        copy_text(format, kFormatUnits + 1, kJapaneseFormat);
        for (const ButtonText& button : kJapaneseButtons)
            SetDlgItemTextW(dialog, button.id, button.text);
    } else {
        format[0] = 0;
        GetDlgItemTextW(dialog, IDC_OVERWRITE_TEXT, format, kFormatUnits);
    }

    wchar_t message[kMessageUnits];
    message[0] = 0;
    wsprintfW(message, format, prompt->existingPath, existingDate, existingSize, entryDate, entrySizeText);
    SetDlgItemTextW(dialog, IDC_OVERWRITE_TEXT, message);
}

}  // namespace

INT_PTR CALLBACK overwrite_dialog_proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        init_overwrite_dialog(dialog, reinterpret_cast<OverwritePrompt*>(lParam));
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDCANCEL)
            EndDialog(dialog, -1);
        else if (id == IDYES || id == IDNO || (id >= IDC_OVERWRITE_ALL && id <= IDC_BACKUP_EXISTING))
            EndDialog(dialog, id);
        return TRUE;
    }
    default:
        return FALSE;
    }
}

INT_PTR show_overwrite_dialog(OverwritePrompt* prompt)
{
    if (!desktop_usable())
        return -1;  // nobody can answer: cancel, as when the dialog cannot be made
    return DialogBoxParamW(g_library.moduleInstance, MAKEINTRESOURCEW(IDD_OVERWRITE), nullptr, overwrite_dialog_proc,
                           reinterpret_cast<LPARAM>(prompt));
}

void answer_overwrite_request(ArchiveHandle* archive)
{
    if (archive->sharedState != -2)
        return;
    // The worker that posted the request keeps its prompt alive until it sees -3.
    auto* prompt = reinterpret_cast<OverwritePrompt*>(static_cast<uintptr_t>(archive->dialogParam));
    const INT_PTR answer = show_overwrite_dialog(prompt);
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&archive->dialogResult), static_cast<LONG>(answer));
    InterlockedCompareExchange(&archive->sharedState, -3, -2);
}
