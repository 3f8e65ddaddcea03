// The progress window: a minimised 1 x 1 popup whose taskbar button shows how far a long
// command has come, and which asks whether to cancel it when the user activates it.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "archive/archive_handle.h"

// On the caller's thread, once progressInterval has passed since lastProgressTick: the first
// tick makes the window (unless the progressWindow option is off), later ones move the taskbar
// progress when it changed by more than 1/256 of the total; each pumps the thread's messages.
// Returns the archive's sharedState (above 0: the user cancelled), or 0 without a window.
int32_t progress_tick(ArchiveHandle* archive);

// What the loops of the caller's thread call: one tick comparison, and progress_tick (with
// lastProgressTick taken first) when the interval has passed. Returns its answer, else 0.
inline int32_t progress_tick_when_due(ArchiveHandle* archive)
{
    const DWORD now = GetTickCount();
    if (now - archive->lastProgressTick < archive->progressInterval)
        return 0;
    archive->lastProgressTick = now;
    return progress_tick(archive);
}

LRESULT CALLBACK progress_wnd_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Clears the taskbar progress and destroys the archive's progress window, if it has one.
void close_progress_window(ArchiveHandle* archive);

// At unload: the window class goes, if it was registered.
void unregister_progress_class();
