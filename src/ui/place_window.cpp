#include "ui/place_window.h"

namespace {

// The work area of the monitor that `anchor` lies on (the primary one on a single-monitor
// system); the whole screen when the system cannot say.
RECT work_area_for(HWND anchor)
{
    RECT work = {0, 0, 0, 0};
    bool known = false;
    if (GetSystemMetrics(SM_CMONITORS) < 2) {
        known = SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) != FALSE;
    } else {
        MONITORINFO info;
        info.cbSize = sizeof info;
        HMONITOR monitor = MonitorFromWindow(anchor, MONITOR_DEFAULTTONEAREST);
        if (monitor && GetMonitorInfoA(monitor, &info)) {
            work = info.rcWork;
            known = true;
        }
    }
    if (!known) {
        work.left = 0;
        work.top = 0;
        work.right = GetSystemMetrics(SM_CXSCREEN);
        work.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    return work;
}

}  // namespace

void place_window(HWND window, HWND reference)
{
    const RECT work = work_area_for(reference ? reference : window);

    RECT own;
    if (!GetWindowRect(window, &own))
        return;
    const LONG w = own.right - own.left;
    const LONG h = own.bottom - own.top;

    RECT ref = work;
    if (reference && !GetWindowRect(reference, &ref))
        ref = work;
    const LONG refWidth = ref.right - ref.left;
    const LONG refHeight = ref.bottom - ref.top;

    LONG x = ref.left + (refWidth - w) / 2;
    // A window at least as tall as the reference hangs from a third above its bottom edge
    // and is then pulled back into the work area below.
    LONG y = refHeight > h ? ref.top + (refHeight - h) / 2 : ref.bottom - refHeight / 3;

    if (x + w > work.right)
        x = work.right - w;
    if (x < work.left)
        x = work.left;
    if (y + h > work.bottom)
        y = work.bottom - h;
    if (y < work.top)
        y = work.top;

    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
