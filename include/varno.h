/* varno: ZIP extraction library for Windows.
 *
 * Hosts load varno64.dll (x64) or varno64A.dll (ARM64) and call its exports by name. Byte
 * strings are NUL-terminated in the system ANSI code page, or in UTF-8 after
 * UnZipSetUnicodeMode(TRUE). Command calls return 0 or a result code of varno_results.h.
 */
#ifndef VARNO_H
#define VARNO_H

#include <windows.h>

#include "varno_results.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* HARC; /* an open archive handle */

/* Command calls: run one command string, report into output (outputSize bytes). */
int WINAPI UnZip(HWND owner, LPCSTR command, LPSTR output, DWORD outputSize);
int WINAPI Varno(HWND owner, LPCSTR command, LPSTR output, DWORD outputSize);
/* With memorySlot, the extracted entry goes into a new GlobalAlloc block stored in *memorySlot;
 * the caller frees it with GlobalFree. */
int WINAPI VarnoParam(HWND owner, LPCSTR command, LPSTR output, DWORD outputSize, void** memorySlot);
/* Extracts into output and reports the entry's DOS time, internal attributes and size. */
int WINAPI UnZipExtractMem(HWND owner, LPCSTR command, LPBYTE output, DWORD outputSize, ULONGLONG* timeOut,
                           WORD* attributesOut, ULONGLONG* sizeOut);

/* Versions, state and the function list. */
WORD WINAPI UnZipGetVersion(void);
WORD WINAPI VarnoGetVersion(void);
WORD WINAPI UnZipGetSubVersion(void);
WORD WINAPI VarnoGetSubVersion(void);
BOOL WINAPI UnZipGetRunning(void);
BOOL WINAPI VarnoGetRunning(void);
BOOL WINAPI UnZipQueryFunctionList(const int number);
BOOL WINAPI VarnoQueryFunctionList(const int number);
/* TRUE: byte strings are UTF-8; FALSE: the system ANSI code page. Returns TRUE. */
BOOL WINAPI UnZipSetUnicodeMode(BOOL on);
BOOL WINAPI VarnoSetUnicodeMode(BOOL on);

/* Accepted for compatibility; they change nothing. */
WORD WINAPI UnZipGetCursorInterval(void);
BOOL WINAPI UnZipConfigDialog(HWND owner, LPSTR buffer, const int mode);
BOOL WINAPI UnZipGetBackGroundMode(void);
BOOL WINAPI UnZipGetCursorMode(void);
UINT WINAPI UnZipGetOSType(HARC archive);
int WINAPI UnZipIsSFXFile(HARC archive);
BOOL WINAPI UnZipSetOwnerWindow(HWND owner);
BOOL WINAPI UnZipSetOwnerWindowEx(HWND owner, void* callback);
BOOL WINAPI UnZipClearOwnerWindow(void);
BOOL WINAPI UnZipKillOwnerWindowEx(HWND owner);
BOOL WINAPI UnZipSetBackGroundMode(const BOOL background);
BOOL WINAPI UnZipSetCursorInterval(const WORD interval);
BOOL WINAPI UnZipSetCursorMode(const BOOL mode);

#ifdef __cplusplus
}
#endif

#endif
