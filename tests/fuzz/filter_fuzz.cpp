// libFuzzer target: arbitrary sequences of calls into the library over the
// stand-in platform (either filter procedure with any code, wParam and
// lParam; InstallFilter with any mode, the platform accepting or refusing),
// with the promises the filter makes to every program checked after each.
//
// The desktop has several programs, each with its own copy of the filter
// state, and one keyboard. A keystroke for the mouse filter goes to the
// program the input names, as when a click moved the focus mid-keystroke,
// and its bits 30 and 31 are what the keyboard gives; the promises about the
// buttons are checked over the mouse actions of all programs together.
//
// Input: records of 13 bytes: what to call and in which program, then code,
// wParam and lParam (little-endian). For the mouse filter with a code of 0 or
// more, bit 31 of lParam says released or pressed. For InstallFilter, which
// only program 0 (the host) calls, code is the mode, wParam the window and
// bit 0 of lParam refuses the installation.
#include "fake_platform.h"
#include "filters.h"
#include "knapfilt.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

#define EXPECT(cond)                                                      \
    do {                                                                  \
        if (!(cond)) {                                                    \
            fprintf(stderr, "violated: %s (line %d)\n", #cond, __LINE__); \
            abort();                                                      \
        }                                                                 \
    } while (0)

const int PROGRAMS = 3;
const DWORD KEY_WAS_DOWN = 0x40000000, KEY_RELEASED = 0x80000000;

// One program's copy of the filter state.
struct Program {
    HHOOK hook;
    HWND notify;
    int left, right;
};

struct Model {
    Program programs[PROGRAMS];
    bool keyDown[256];         // the keyboard's record, the same in every program
    int leftKeyProgram;        // the program that got the press of the left key
    bool leftDown, rightDown;  // as the mouse actions sent so far leave the buttons
    HWND notifyWnd;            // the window the last notify installation named
};

// One keystroke as the mouse filter sees it.
struct Keystroke {
    int program;
    DWORD scan;
    bool firstPress;
};

void Enter(const Program &p) { hFilterHook = p.hook, hNotifyWnd = p.notify, fLeftDown = p.left, fRightDown = p.right; }

void Leave(Program &p) { p.hook = hFilterHook, p.notify = hNotifyWnd, p.left = fLeftDown, p.right = fRightDown; }

DWORD Word(const uint8_t *p)
{
    DWORD v;
    memcpy(&v, p, 4);
    return v;
}

// Gives a keystroke bits 30 and 31 as the keyboard would, and updates it.
LPARAM FromKeyboard(LPARAM lParam, Model &m, bool *firstPress)
{
    DWORD scan = ScanCode(lParam);
    bool up = (DWORD)lParam & KEY_RELEASED;
    DWORD word = ((DWORD)lParam & ~KEY_WAS_DOWN) | (up || m.keyDown[scan] ? KEY_WAS_DOWN : 0);
    *firstPress = !up && !m.keyDown[scan];
    m.keyDown[scan] = !up;
    return (LPARAM)word;
}

// No program can know that the left key, whose press went to another one,
// holds the button when the double-click key is pressed: that double click
// starts with a press of a button that is down. Every other press of a
// button that is down breaks a promise.
bool PressOfHeldLeftAllowed(const Keystroke &k, const Model &m)
{
    return k.scan == 0x67 && k.firstPress && m.keyDown[0x62] && m.leftKeyProgram != k.program;
}

// Every mouse action is one of the four button actions, with no motion or
// data, and never presses a button that is already down.
void CheckMouse(const std::string &call, const Keystroke *k, Model &m)
{
    static const struct {
        DWORD flag;
        bool Model::*button;
        bool down;
    } actions[] = {{MOUSEEVENTF_LEFTDOWN, &Model::leftDown, true},
                   {MOUSEEVENTF_LEFTUP, &Model::leftDown, false},
                   {MOUSEEVENTF_RIGHTDOWN, &Model::rightDown, true},
                   {MOUSEEVENTF_RIGHTUP, &Model::rightDown, false}};
    for (const auto &a : actions) {
        if (call == CallText("mouse_event", {a.flag, 0, 0, 0, 0})) {
            if (k && a.down && m.*a.button)
                EXPECT(a.button == &Model::leftDown && PressOfHeldLeftAllowed(*k, m));
            m.*a.button = a.down;
            return;
        }
    }
    EXPECT(!"a mouse_event other than a single button action");
}

// A button key presses once on its first press, lets go on its release and
// does nothing on a repeat, in whichever program each keystroke lands.
void CheckButtonKey(const Keystroke &k, LPARAM lParam)
{
    DWORD down = k.scan == 0x62 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_RIGHTDOWN;
    DWORD up = k.scan == 0x62 ? MOUSEEVENTF_LEFTUP : MOUSEEVENTF_RIGHTUP;
    std::vector<std::string> want;
    if ((DWORD)lParam & KEY_RELEASED)
        want = {CallText("mouse_event", {up, 0, 0, 0, 0})};
    else if (k.firstPress)
        want = {CallText("mouse_event", {down, 0, 0, 0, 0})};
    EXPECT(fakeCalls == want);
}

void CallFilter(HOOKPROC proc, int program, int code, WPARAM wParam, LPARAM lParam, Model &m)
{
    bool mouse = proc == KeyToMouseProc;
    Keystroke k = {program, ScanCode(lParam), false};
    bool fromKeyboard = mouse && code >= 0;  // the others are never looked at
    if (fromKeyboard)
        lParam = FromKeyboard(lParam, m, &k.firstPress);
    bool filterKey = mouse ? k.scan == 0x62 || k.scan == 0x65 || k.scan == 0x67 : k.scan == 0x64;
    fakeNextResult = (LRESULT)(wParam ^ (DWORD)lParam);
    fakeCalls.clear();
    Program &p = m.programs[program];
    Enter(p);
    LRESULT result = proc(code, wParam, lParam);
    Leave(p);

    if (code < 0 || !filterKey) {
        // Passed on exactly once, unchanged but for wParam's low word only.
        std::vector<std::string> passed = {
            CallText("CallNextHookEx", {p.hook, (DWORD)code, wParam & 0xFFFF, (DWORD)lParam})};
        EXPECT(fakeCalls == passed);
        EXPECT(result == fakeNextResult);
        return;
    }
    EXPECT(result == (mouse ? -1 : 1));
    if (mouse && k.scan != 0x67)
        CheckButtonKey(k, lParam);
    // Only the host has a window to tell; elsewhere nothing is posted.
    HWND notifyWnd = program == 0 ? m.notifyWnd : 0;
    for (const std::string &call : fakeCalls) {
        EXPECT(call.rfind("CallNextHookEx", 0) != 0);  // a filter key is never passed on
        if (mouse)
            CheckMouse(call, &k, m);
        else
            EXPECT(notifyWnd && call == CallText("PostMessageA", {notifyWnd, WM_COMMAND, 1234, 0}));
    }
    EXPECT(mouse || fakeCalls.size() == (notifyWnd ? 1u : 0u));
    if (mouse && k.scan == 0x62 && k.firstPress)
        m.leftKeyProgram = program;
}

void CallInstall(int mode, HWND hWnd, bool refuse, Model &m)
{
    fakeRefuseHooks = refuse;
    fakeCalls.clear();
    Program &host = m.programs[0];
    Enter(host);
    HHOOK result = InstallFilter(hWnd, mode);
    Leave(host);
    if (mode == FILTER_NOTIFY)
        m.notifyWnd = hWnd;
    bool installs = mode == FILTER_NOTIFY || mode == FILTER_EMULATE;
    EXPECT(result == (installs ? host.hook : 0));
    EXPECT(host.notify == m.notifyWnd);
    // At most one filter is ever installed, and it is the one remembered.
    EXPECT(fakeHooks.size() == (host.hook ? 1u : 0u));
    EXPECT(!host.hook || fakeHooks.count(host.hook));
    for (const std::string &call : fakeCalls)
        EXPECT(call.rfind("mouse_event", 0) != 0 && call.rfind("PostMessageA", 0) != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ResetFakePlatform();
    DllMain(0x10000000, DLL_PROCESS_ATTACH, nullptr);
    static Model m;
    m = {};
    for (; size >= 13; data += 13, size -= 13) {
        int program = data[0] / 3 % PROGRAMS;
        int code = (int)Word(data + 1);
        WPARAM wParam = Word(data + 5);
        LPARAM lParam = (LPARAM)Word(data + 9);
        switch (data[0] % 3) {
        case 0:
            CallFilter(KeyToMouseProc, program, code, wParam, lParam, m);
            break;
        case 1:
            CallFilter(KeyNotifyProc, program, code, wParam, lParam, m);
            break;
        case 2:
            CallInstall(code, (HWND)wParam, lParam & 1, m);
            break;
        }
    }
    return 0;
}
