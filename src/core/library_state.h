// Process-wide state of the library: one instance per loaded module.
#pragma once
#include <windows.h>
#include <stdint.h>

struct LibraryState {
    volatile LONG nameCodePage;  // code page of every byte string at the interface: CP_ACP or CP_UTF8
    volatile LONG nameMbFlags;   // MultiByteToWideChar flags for it: MB_PRECOMPOSED or 0
    volatile LONG runningCount;  // calls currently inside a command, an open or a first load
    HINSTANCE moduleInstance;
    HANDLE processHeap;
    OSVERSIONINFOW osVersion;
};

extern LibraryState g_library;

inline UINT name_code_page() { return static_cast<UINT>(g_library.nameCodePage); }
inline DWORD name_mb_flags() { return static_cast<DWORD>(g_library.nameMbFlags); }

// Bytes in the name code page to UTF-16 in a buffer of `units` units; 0 when it fails.
int name_to_wide(const char* text, wchar_t* out, int units);

// Raises the running count for the lifetime of the object.
class RunningScope {
public:
    RunningScope() { InterlockedIncrement(&g_library.runningCount); }
    ~RunningScope() { InterlockedDecrement(&g_library.runningCount); }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
};

// At load: the module instance, the OS version and the process heap.
void on_process_attach(HINSTANCE module);
