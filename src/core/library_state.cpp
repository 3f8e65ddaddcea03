#include "core/library_state.h"

LibraryState g_library = {CP_ACP, MB_PRECOMPOSED, 0, nullptr, nullptr, {}};

int name_to_wide(const char* text, wchar_t* out, int units)
{
    return MultiByteToWideChar(name_code_page(), name_mb_flags(), text, -1, out, units);
}

void on_process_attach(HINSTANCE module)
{
    g_library.moduleInstance = module;
    g_library.osVersion.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&g_library.osVersion);
#pragma GCC diagnostic pop
    g_library.processHeap = GetProcessHeap();
}
