// Drives one path through a filter procedure many times, for callgrind to
// count the instructions the filter executes of its own per call.
//   usage: filter_cost PATH CALLS     (no PATH: lists the paths)
#include "fake_platform.h"
#include "filters.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const struct {
    const char *name;
    HOOKPROC proc;
    int code;
    DWORD lParam;
    int leftDown;    // fLeftDown before each call
    HWND notifyWnd;  // hNotifyWnd before each call
} PATHS[] = {
    {"KeyToMouseProc pass-on", KeyToMouseProc, 0, 0x001E0001, 0, 0},
    {"KeyToMouseProc negative code", KeyToMouseProc, -1, 0x00620001, 0, 0},
    {"KeyToMouseProc left press", KeyToMouseProc, 0, 0x00620001, 0, 0},
    {"KeyToMouseProc left repeat", KeyToMouseProc, 0, 0x40620001, 1, 0},
    {"KeyToMouseProc left release", KeyToMouseProc, 0, 0xC0620001, 1, 0},
    {"KeyToMouseProc right press", KeyToMouseProc, 0, 0x00650001, 0, 0},
    {"KeyToMouseProc double click", KeyToMouseProc, 0, 0x00670001, 0, 0},
    {"KeyToMouseProc double click, left held", KeyToMouseProc, 0, 0x00670001, 1, 0},
    {"KeyToMouseProc double-click repeat", KeyToMouseProc, 0, 0x40670001, 0, 0},
    {"KeyNotifyProc pass-on", KeyNotifyProc, 0, 0x001E0001, 0, 0x77},
    {"KeyNotifyProc notify key", KeyNotifyProc, 0, 0x00640001, 0, 0x77},
    {"KeyNotifyProc notify key, no window", KeyNotifyProc, 0, 0x00640001, 0, 0},
};

int main(int argc, char **argv)
{
    for (const auto &p : PATHS) {
        if (argc != 3) {
            printf("%s\n", p.name);
            continue;
        }
        if (strcmp(argv[1], p.name))
            continue;
        long calls = atol(argv[2]);
        hFilterHook = 0x1001;
        for (long i = 0; i < calls; i++) {
            fakeCalls.clear();
            fLeftDown = fRightDown = p.leftDown;
            hNotifyWnd = p.notifyWnd;
            p.proc(p.code, 0x41, (LPARAM)p.lParam);
        }
        return 0;
    }
    return argc == 3;
}
