// Progress on the taskbar button of a window, through the shell's taskbar list objects.
#pragma once
#include <windows.h>
#include <stdint.h>

// With total nonzero: shows done out of total in the normal state. With total 0: sets done as
// the state flags and, when done is 0 too (no progress), releases the taskbar objects. The
// objects are set up on first need; progress is simply not shown where they are unavailable.
void taskbar_set_progress(HWND window, uint32_t done, uint32_t total);

// Create and free the calling thread's taskbar objects. Setup does nothing once they exist or
// have been found unavailable (a system older than major version 6, or one without the
// progress interface); a failed creation is tried again at the next update.
void taskbar_setup();
void taskbar_release();
