#include "api/library_state.h"

#include <string.h>

LibraryState g_library = {CP_ACP, MB_PRECOMPOSED, 0, nullptr, nullptr, {}, {}};

namespace {
SRWLOCK g_passwordLock = SRWLOCK_INIT;
}

void store_password(const char* password)
{
    AcquireSRWLockExclusive(&g_passwordLock);
    lstrcpynA(g_library.password, password, kPasswordSize);
    ReleaseSRWLockExclusive(&g_passwordLock);
}

void copy_password(char* out)
{
    AcquireSRWLockShared(&g_passwordLock);
    memcpy(out, g_library.password, kPasswordSize);
    ReleaseSRWLockShared(&g_passwordLock);
}

void clear_password()
{
    AcquireSRWLockExclusive(&g_passwordLock);
    g_library.password[0] = 0;
    ReleaseSRWLockExclusive(&g_passwordLock);
}

int name_to_wide(const char* text, wchar_t* out, int units)
{
    return MultiByteToWideChar(name_code_page(), name_mb_flags(), text, -1, out, units);
}

void on_process_attach(HINSTANCE module)
{
    g_library.moduleInstance = module;
    g_library.password[0] = 0;
    g_library.osVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&g_library.osVersion);
#pragma GCC diagnostic pop
    g_library.processHeap = GetProcessHeap();
}

void on_process_detach(HINSTANCE) {}
