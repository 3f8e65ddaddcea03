#include "api/library_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        on_process_attach(module);
    else if (reason == DLL_PROCESS_DETACH)
        on_process_detach(module);
    return TRUE;
}
