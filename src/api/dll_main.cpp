#include "core/library_state.h"
#include "ui/progress_window.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        on_process_attach(module);
    else if (reason == DLL_PROCESS_DETACH)
        unregister_progress_class();
    return TRUE;
}
