// Whether windows can be shown at all: a process without an interactive window station (a
// service, or a runtime that never made one) would wait forever in a message box or dialog.
#pragma once

// True when the process has a visible window station and the calling thread a desktop.
bool desktop_usable();
