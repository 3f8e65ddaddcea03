// Queries and settings that need no archive: versions, the running count, the function list,
// the Unicode-mode switch, and the settings that the library accepts but does not store.
#include "core/library_state.h"
#include "varno.h"

namespace {

// Function numbers of the common archiver API that are available; GetFileCount (18) only in
// the UnZip family.
bool function_available(int number, bool unzipFamily)
{
    switch (number) {
    case 18:
        return unzipFamily;
    case 0: case 1: case 8: case 16: case 19: case 23: case 24: case 25: case 26:
    case 58: case 70: case 71: case 72: case 85: case 114:
        return true;
    default:
        return false;
    }
}

BOOL set_unicode_mode(BOOL on)
{
    InterlockedExchange(&g_library.nameCodePage, on ? CP_UTF8 : CP_ACP);
    InterlockedExchange(&g_library.nameMbFlags, on ? 0 : MB_PRECOMPOSED);
    return TRUE;
}

}  // namespace

extern "C" {

DWORD WINAPI UnZipGetVersion(void) { return 145; }
DWORD WINAPI VarnoGetVersion(void) { return 145; }
DWORD WINAPI UnZipGetSubVersion(void) { return 10600; }
DWORD WINAPI VarnoGetSubVersion(void) { return 10600; }
BOOL WINAPI UnZipGetRunning(void) { return g_library.runningCount; }
BOOL WINAPI VarnoGetRunning(void) { return g_library.runningCount; }
DWORD WINAPI UnZipGetCursorInterval(void) { return 80; }

BOOL WINAPI UnZipConfigDialog(HWND, LPSTR, const int) { return FALSE; }
BOOL WINAPI UnZipGetBackGroundMode(void) { return FALSE; }
BOOL WINAPI UnZipGetCursorMode(void) { return FALSE; }
UINT WINAPI UnZipGetOSType(HARC) { return 0; }
int WINAPI UnZipIsSFXFile(HARC) { return 0; }

BOOL WINAPI UnZipSetOwnerWindow(HWND) { return TRUE; }
BOOL WINAPI UnZipSetOwnerWindowEx(HWND, void*) { return TRUE; }
BOOL WINAPI UnZipClearOwnerWindow(void) { return TRUE; }
BOOL WINAPI UnZipKillOwnerWindowEx(HWND) { return TRUE; }
BOOL WINAPI UnZipSetBackGroundMode(const BOOL) { return TRUE; }
BOOL WINAPI UnZipSetCursorInterval(const WORD) { return TRUE; }
BOOL WINAPI UnZipSetCursorMode(const BOOL) { return TRUE; }

BOOL WINAPI UnZipSetUnicodeMode(BOOL on) { return set_unicode_mode(on); }
BOOL WINAPI VarnoSetUnicodeMode(BOOL on) { return set_unicode_mode(on); }

BOOL WINAPI UnZipQueryFunctionList(const int number) { return function_available(number, true); }
BOOL WINAPI VarnoQueryFunctionList(const int number) { return function_available(number, false); }

}  // extern "C"
