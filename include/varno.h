/* varno: ZIP extraction library for Windows.
 *
 * Hosts load varno64.dll (x64) or varno64A.dll (ARM64) and call its exports by name. Byte
 * strings are NUL-terminated in the system ANSI code page, or in UTF-8 after
 * UnZipSetUnicodeMode(TRUE). Command calls return 0 or a result code of varno_results.h.
 */
#ifndef VARNO_H
#define VARNO_H

#include <stddef.h>
#include <windows.h>

#include "varno_results.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* HARC; /* an open archive handle */

/* The exports declared with VARNO_WORD_RESULT have 16-bit values and return them zero-extended
 * in the whole 32-bit result, so a host may declare them as returning WORD (the default here)
 * or a 32-bit integer: 0x8021 reads as 32801 either way. The library is built with DWORD. */
#ifndef VARNO_WORD_RESULT
#define VARNO_WORD_RESULT WORD
#endif

/* The entry record that FindFirst and FindNext fill: a fixed layout of 558 bytes. */
#pragma pack(push, 1)
typedef struct EntryInfo {
    DWORD originalSize;   /* the central header's 32-bit size (0xFFFFFFFF: the size is ZIP64) */
    DWORD compressedSize; /* the central header's 32-bit compressed size */
    DWORD crc;            /* CRC-32 */
    UINT flag;            /* always 0 */
    UINT osType;          /* always 0 */
    WORD ratio;           /* always 800 */
    WORD date;            /* DOS date */
    WORD time;            /* DOS time */
    char fileName[513];   /* at most 511 bytes of name and a terminator */
    char reserved[3];     /* not written */
    char attribute[8];    /* UnZipFindNext: "a-hw" style text and 'd' or '-'; else empty */
    char mode[8];         /* UnZipFindNext: "Deflate"; else empty */
} EntryInfo;
#pragma pack(pop)

#ifdef __cplusplus
#define VARNO_LAYOUT_CHECK(condition) static_assert(condition, #condition)
#else
#define VARNO_LAYOUT_CHECK(condition) _Static_assert(condition, #condition)
#endif
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, originalSize) == 0);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, compressedSize) == 4);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, crc) == 8);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, flag) == 12);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, osType) == 16);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, ratio) == 20);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, date) == 22);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, time) == 24);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, fileName) == 26);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, reserved) == 539);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, attribute) == 542);
VARNO_LAYOUT_CHECK(offsetof(EntryInfo, mode) == 550);
VARNO_LAYOUT_CHECK(sizeof(EntryInfo) == 558);
#undef VARNO_LAYOUT_CHECK

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
VARNO_WORD_RESULT WINAPI UnZipGetVersion(void);
VARNO_WORD_RESULT WINAPI VarnoGetVersion(void);
VARNO_WORD_RESULT WINAPI UnZipGetSubVersion(void);
VARNO_WORD_RESULT WINAPI VarnoGetSubVersion(void);
BOOL WINAPI UnZipGetRunning(void);
BOOL WINAPI VarnoGetRunning(void);
BOOL WINAPI UnZipQueryFunctionList(const int number);
BOOL WINAPI VarnoQueryFunctionList(const int number);
/* TRUE: byte strings are UTF-8; FALSE: the system ANSI code page. Returns TRUE. */
BOOL WINAPI UnZipSetUnicodeMode(BOOL on);
BOOL WINAPI VarnoSetUnicodeMode(BOOL on);

/* Accepted for compatibility; they change nothing. */
VARNO_WORD_RESULT WINAPI UnZipGetCursorInterval(void);
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

/* Archive handles. UnZipOpenArchive returns names with the archive's '/'; VarnoOpenArchive
 * with backslashes unless bit 31 of mode is set. Null on failure (GetLastError says why). */
HARC WINAPI UnZipOpenArchive(const HWND owner, LPCSTR archive, const DWORD mode);
HARC WINAPI VarnoOpenArchive(const HWND owner, LPCSTR archive, const DWORD mode);
int WINAPI UnZipCloseArchive(HARC archive);
int WINAPI VarnoCloseArchive(HARC archive);
/* 0: an entry was found and info filled; -1: no (more) entries; 30: the central directory cannot
 * be read; VARNO_ERROR_NO_HANDLE for a null handle. A pattern that is null, empty or begins with
 * '*' selects every entry; any other pattern is compared with the stored name byte for byte. */
int WINAPI UnZipFindFirst(HARC archive, LPCSTR pattern, EntryInfo* info);
int WINAPI VarnoFindFirst(HARC archive, LPCSTR pattern, EntryInfo* info);
int WINAPI UnZipFindNext(HARC archive, EntryInfo* info);
int WINAPI VarnoFindNext(HARC archive, EntryInfo* info);
/* Number of entries, -1 when the archive cannot be read. */
int WINAPI UnZipGetFileCount(LPCSTR archive);
/* TRUE when the file looks like an archive; mode is not used. */
BOOL WINAPI UnZipCheckArchive(LPCSTR archive, const int mode);
BOOL WINAPI VarnoCheckArchive(LPCSTR archive, const int mode);

/* Queries on the current entry (the one FindFirst/FindNext found last). */
DWORD WINAPI UnZipGetOriginalSize(HARC archive); /* (DWORD)-2: needs more than 32 bits; (DWORD)-1: no entry */
DWORD WINAPI VarnoGetOriginalSize(HARC archive);
BOOL WINAPI UnZipGetOriginalSizeEx(HARC archive, ULARGE_INTEGER* size);
BOOL WINAPI VarnoGetOriginalSizeEx(HARC archive, ULARGE_INTEGER* size);
/* TRUE with the time of an NTFS or extended-timestamp record; FALSE without one. */
BOOL WINAPI UnZipGetWriteTimeEx(HARC archive, FILETIME* time);
BOOL WINAPI VarnoGetWriteTimeEx(HARC archive, FILETIME* time);
BOOL WINAPI UnZipGetCreateTimeEx(HARC archive, FILETIME* time);
BOOL WINAPI VarnoGetCreateTimeEx(HARC archive, FILETIME* time);
BOOL WINAPI UnZipGetAccessTimeEx(HARC archive, FILETIME* time);
BOOL WINAPI VarnoGetAccessTimeEx(HARC archive, FILETIME* time);
DWORD WINAPI UnZipGetCompressedSize(HARC archive);
int WINAPI UnZipGetAttribute(HARC archive);
VARNO_WORD_RESULT WINAPI UnZipGetDate(HARC archive);
VARNO_WORD_RESULT WINAPI UnZipGetTime(HARC archive);
int WINAPI UnZipGetMethod(HARC archive, LPSTR buffer, const int size);
int WINAPI UnZipGetArcFileName(HARC archive, LPSTR buffer, const int size);
int WINAPI UnZipGetFileName(HARC archive, LPSTR buffer, const int size);
DWORD WINAPI UnZipGetCRC(HARC archive);
DWORD WINAPI UnZipGetWriteTime(HARC archive);
BOOL WINAPI UnZipGetCreateTime(HARC archive, FILETIME* time);
BOOL WINAPI UnZipGetAccessTime(HARC archive, FILETIME* time);
VARNO_WORD_RESULT WINAPI UnZipGetRatio(HARC archive);
VARNO_WORD_RESULT WINAPI UnZipGetArcRatio(HARC archive);
int WINAPI UnZipGetArcCompressedSize(HARC archive);
int WINAPI UnZipGetArcFileSize(HARC archive);
int WINAPI UnZipGetArcOriginalSize(HARC archive);
VARNO_WORD_RESULT WINAPI UnZipGetArcDate(HARC archive);
VARNO_WORD_RESULT WINAPI UnZipGetArcTime(HARC archive);
int WINAPI UnZipGetArcOSType(HARC archive);

#ifdef __cplusplus
}
#endif

#endif
