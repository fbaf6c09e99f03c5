// knapfilt: a desktop-wide keyboard filter that turns three keys into mouse
// buttons (or, in the notify mode, one key into a command for a window).
// This is all a host needs: install a filter, run, remove it again.
#ifndef KNAPFILT_H
#define KNAPFILT_H

#include <windows.h>

// What InstallFilter does; any mode other than NOTIFY and EMULATE removes.
enum { FILTER_REMOVE = 0, FILTER_NOTIFY = 1, FILTER_EMULATE = 2 };

// Installs the filter for `mode` for every thread of the desktop, first
// removing any filter this process installed before, or removes it.
// Returns the new hook handle (0 if the platform refused it), 0 on removal.
// `hWnd` is the window that receives the notify mode's commands.
extern "C" HHOOK WINAPI InstallFilter(HWND hWnd, int mode);

#endif
