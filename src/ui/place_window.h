// Placement of the library's dialogs on the work area of their monitor.
#pragma once
#include <windows.h>

// Centres window on reference (or on the work area when reference is null), kept inside the
// work area of the nearest monitor; neither resized, activated nor moved in the Z order.
void place_window(HWND window, HWND reference);
