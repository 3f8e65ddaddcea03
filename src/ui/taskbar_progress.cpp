#include "ui/taskbar_progress.h"

#include <objbase.h>
#include <shobjidl.h>

#include "core/library_state.h"

namespace {

constexpr CLSID kClsidTaskbarList = {0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
constexpr IID kIidTaskbarList = {0x56FDF342, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
constexpr IID kIidTaskbarList3 = {0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};

// The objects belong to the thread that made them: COM is initialised on that thread, the
// objects live in its apartment, and only that thread may release them and uninitialise COM.
// Every progress window is made and closed on its command's thread, so two commands running
// on two threads never share (or free) each other's objects.
struct TaskbarObjects {
    ITaskbarList* list;    // null until set up
    ITaskbarList3* list3;  // null unless the list has the progress interface
    bool unavailable;      // given up for good
    HRESULT comResult;     // of this thread's CoInitializeEx; E_FAIL when there is none to undo
};

thread_local TaskbarObjects t_taskbar = {nullptr, nullptr, false, E_FAIL};

}  // namespace

void taskbar_setup()
{
    TaskbarObjects& t = t_taskbar;
    if (t.list || t.unavailable)
        return;
    if (g_library.osVersion.dwMajorVersion < 6) {
        t.unavailable = true;
        return;
    }
    t.comResult = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    void* list = nullptr;
    if (FAILED(CoCreateInstance(kClsidTaskbarList, nullptr, CLSCTX_INPROC_SERVER, kIidTaskbarList, &list))) {
        if (SUCCEEDED(t.comResult))
            CoUninitialize();
        t.comResult = E_FAIL;
        return;
    }
    t.list = static_cast<ITaskbarList*>(list);
    t.list->HrInit();
    void* list3 = nullptr;
    if (FAILED(t.list->QueryInterface(kIidTaskbarList3, &list3))) {
        taskbar_release();
        t.unavailable = true;
        return;
    }
    t.list3 = static_cast<ITaskbarList3*>(list3);
    t.list3->HrInit();
}

void taskbar_release()
{
    TaskbarObjects& t = t_taskbar;
    if (!t.list)
        return;
    if (t.list3) {
        t.list3->Release();
        t.list3 = nullptr;
    }
    t.list->Release();
    t.list = nullptr;
    if (SUCCEEDED(t.comResult))
        CoUninitialize();
    t.comResult = E_FAIL;
}

void taskbar_set_progress(HWND window, uint32_t done, uint32_t total)
{
    TaskbarObjects& t = t_taskbar;
    if (!t.list3) {
        if (t.unavailable)
            return;
        taskbar_setup();
        if (!t.list3)
            return;
    }
    if (total != 0) {
        t.list3->SetProgressValue(window, done, total);
        t.list3->SetProgressState(window, TBPF_NORMAL);
        return;
    }
    t.list3->SetProgressState(window, static_cast<TBPFLAG>(done));
    if (done == 0)
        taskbar_release();
}
