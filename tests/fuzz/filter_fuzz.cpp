// libFuzzer target: arbitrary sequences of calls into the library over the
// stand-in platform (either filter procedure with any code, wParam and
// lParam; InstallFilter with any mode, the platform accepting or refusing),
// with the promises the filter makes to every program checked after each.
//
// Input: records of 13 bytes: what to call, then code, wParam and lParam
// (little-endian). For InstallFilter, code is the mode, wParam the window and
// bit 0 of lParam refuses the installation.
#include "fake_platform.h"
#include "filters.h"
#include "knapfilt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

#define EXPECT(cond)                                                        \
    do {                                                                    \
        if (!(cond)) {                                                      \
            fprintf(stderr, "violated: %s (line %d)\n", #cond, __LINE__); \
            abort();                                                        \
        }                                                                   \
    } while (0)

struct Model {
    bool leftDown, rightDown;  // as the mouse actions sent so far leave the buttons
    HWND notifyWnd;            // the window the last notify installation named
};

DWORD Word(const uint8_t *p)
{
    DWORD v;
    memcpy(&v, p, 4);
    return v;
}

// Every mouse action is one of the four button actions, with no motion or
// data, and never presses a button that is already down.
void CheckMouse(const std::string &call, Model &m)
{
    static const struct {
        DWORD flag;
        bool Model::*button;
        bool down;
    } actions[] = {{MOUSEEVENTF_LEFTDOWN, &Model::leftDown, true}, {MOUSEEVENTF_LEFTUP, &Model::leftDown, false},
                   {MOUSEEVENTF_RIGHTDOWN, &Model::rightDown, true}, {MOUSEEVENTF_RIGHTUP, &Model::rightDown, false}};
    for (const auto &a : actions) {
        if (call == CallText("mouse_event", {a.flag, 0, 0, 0, 0})) {
            EXPECT(!(a.down && m.*a.button));
            m.*a.button = a.down;
            return;
        }
    }
    EXPECT(!"a mouse_event other than a single button action");
}

void CallFilter(HOOKPROC proc, int code, WPARAM wParam, LPARAM lParam, Model &m)
{
    DWORD scan = ((DWORD)lParam >> 16) & 0xFF;
    bool mouse = proc == KeyToMouseProc;
    bool filterKey = mouse ? scan == 0x62 || scan == 0x65 || scan == 0x67 : scan == 0x64;
    fakeNextResult = (LRESULT)(wParam ^ (DWORD)lParam);
    fakeCalls.clear();
    LRESULT result = proc(code, wParam, lParam);

    if (code < 0 || !filterKey) {
        // Passed on exactly once, unchanged but for wParam's low word only.
        std::vector<std::string> passed = {
            CallText("CallNextHookEx", {hFilterHook, (DWORD)code, wParam & 0xFFFF, (DWORD)lParam})};
        EXPECT(fakeCalls == passed);
        EXPECT(result == fakeNextResult);
        return;
    }
    EXPECT(result == (mouse ? -1 : 1));
    for (const std::string &call : fakeCalls) {
        EXPECT(call.rfind("CallNextHookEx", 0) != 0);  // a filter key is never passed on
        if (mouse)
            CheckMouse(call, m);
        else
            EXPECT(m.notifyWnd && call == CallText("PostMessageA", {m.notifyWnd, WM_COMMAND, 1234, 0}));
    }
    EXPECT(mouse || fakeCalls.size() == (m.notifyWnd ? 1u : 0u));
}

void CallInstall(int mode, HWND hWnd, bool refuse, Model &m)
{
    fakeRefuseHooks = refuse;
    fakeCalls.clear();
    HHOOK result = InstallFilter(hWnd, mode);
    if (mode == FILTER_NOTIFY)
        m.notifyWnd = hWnd;
    bool installs = mode == FILTER_NOTIFY || mode == FILTER_EMULATE;
    EXPECT(result == (installs ? hFilterHook : 0));
    EXPECT(hNotifyWnd == m.notifyWnd);
    // At most one filter is ever installed, and it is the one remembered.
    EXPECT(fakeHooks.size() == (hFilterHook ? 1u : 0u));
    EXPECT(!hFilterHook || fakeHooks.count(hFilterHook));
    for (const std::string &call : fakeCalls)
        EXPECT(call.rfind("mouse_event", 0) != 0 && call.rfind("PostMessageA", 0) != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ResetFakePlatform();
    hFilterHook = 0;
    hNotifyWnd = 0;
    fLeftDown = fRightDown = 0;
    DllMain(0x10000000, DLL_PROCESS_ATTACH, nullptr);
    Model m = {};
    for (; size >= 13; data += 13, size -= 13) {
        int code = (int)Word(data + 1);
        WPARAM wParam = Word(data + 5);
        LPARAM lParam = (LPARAM)Word(data + 9);
        switch (data[0] % 3) {
        case 0: CallFilter(KeyToMouseProc, code, wParam, lParam, m); break;
        case 1: CallFilter(KeyNotifyProc, code, wParam, lParam, m); break;
        case 2: CallInstall(code, (HWND)wParam, lParam & 1, m); break;
        }
    }
    return 0;
}
