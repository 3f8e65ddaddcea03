/* What one window costs a process under Wine, where the desktop process runs for the whole
 * session (scripts/desktop_keeper.c), as the shell does on Windows.
 *   window_floor window   makes a minimised 1 x 1 popup and the shell's taskbar list object, as
 *                         varno's progress window does, releases both and ends.
 *   window_floor none     ends at once: the start and end of a process, to subtract. */
#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>
#include <string.h>

int main(int argc, char** argv)
{
    const char* mode = argc > 1 ? argv[1] : "none";
    if (strcmp(mode, "none") == 0)
        return 0;
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_MINIMIZE, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    if (!window)
        return 1;
    MSG message;
    ShowWindow(window, SW_SHOWMINNOACTIVE);
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ITaskbarList3* list = NULL;
    if (SUCCEEDED(CoCreateInstance(&CLSID_TaskbarList, NULL, CLSCTX_INPROC_SERVER, &IID_ITaskbarList3, (void**)&list))) {
        list->lpVtbl->HrInit(list);
        list->lpVtbl->SetProgressValue(list, window, 1, 2);
        list->lpVtbl->SetProgressState(list, window, TBPF_NOPROGRESS);
        list->lpVtbl->Release(list);
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE))
        DispatchMessageW(&message);
    DestroyWindow(window);
    return 0;
}
