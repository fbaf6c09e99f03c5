// The library's boundary: its entry function, its one export, InstallFilter,
// and the filter state, which starts zeroed in every process that loads us.
#include "knapfilt.h"
#include "filters.h"

HINSTANCE hFilterModule;
HHOOK hFilterHook;
HWND hNotifyWnd;
int fLeftDown;
int fRightDown;

// The platform needs our module handle to map the filter into other
// processes, so remember it whenever the loader tells us who we are.
// A filter is deliberately not removed on detach: that is the host's call.
extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID)
{
    if (fdwReason == DLL_PROCESS_ATTACH || fdwReason == DLL_THREAD_ATTACH)
        hFilterModule = hinstDLL;
    return TRUE;
}

static void RemoveFilter()
{
    UnhookWindowsHookEx(hFilterHook);
    hFilterHook = 0;
}

// We remember one hook handle, so an earlier filter goes first: otherwise it
// would stay installed with nothing left that could ever remove it.
static HHOOK SetFilter(HOOKPROC proc)
{
    if (hFilterHook)
        RemoveFilter();
    hFilterHook = SetWindowsHookExA(WH_KEYBOARD, proc, hFilterModule, 0);
    return hFilterHook;
}

// The button flags are left alone: a button held down stays known as held
// across a removal and reinstallation.
extern "C" HHOOK WINAPI InstallFilter(HWND hWnd, int mode)
{
    switch (mode) {
    case FILTER_NOTIFY:
        hNotifyWnd = hWnd;
        return SetFilter(KeyNotifyProc);
    case FILTER_EMULATE:
        return SetFilter(KeyToMouseProc);
    default:
        RemoveFilter();
        return 0;
    }
}
