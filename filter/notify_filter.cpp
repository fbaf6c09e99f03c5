// The notify filter: one key, instead of reaching the focused program, becomes
// a command for the window the host named when it installed the filter.
#include "filters.h"

enum { SCAN_NOTIFY = 0x64 };
enum { ID_FILTER_KEY = 1234 };  // command identifier; notification code 0

// Every notification of the key posts a command (press, repeats, release),
// but only from the installing process: elsewhere hNotifyWnd is 0, and a
// post to window 0 would land as a stray thread message in whatever program
// happens to have the focus.
LRESULT CALLBACK KeyNotifyProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code < 0 || ScanCode(lParam) != SCAN_NOTIFY)
        return PassOn(code, wParam, lParam);
    if (hNotifyWnd)
        PostMessageA(hNotifyWnd, WM_COMMAND, ID_FILTER_KEY, 0);
    return 1;
}
