// A desktop of several programs, in Wine's virtual desktop: the probe's
// target (program A) and the witness (program B, another process), with
// Knapsel running. A click with a filter key moves the focus to the program
// it lands in, so the press of one keystroke is filtered in one program and
// its repeats and release in the other; each program must still see exactly
// what one real mouse button would have given it.
#include "probe.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char DESKTOP[] = "Knapsel";

bool InVirtualDesktop()
{
    char name[64] = "";
    GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, NULL);
    return !strcmp(name, DESKTOP);
}

// A desktop's windows are managed by a process of Wine's own, which Wine
// starts with the first window made there and waits for 10 s at most; on an
// emulated machine under load it has needed more, and then no window could be
// made on that desktop for the rest of the session (Knapsel's first). Started
// here and waited for as long as any state, it is ready before anything under
// test runs. DESKTOP is a desktop's name, or NULL for the probe's own.
bool StartDesktopManager(const char *desktop)
{
    const DWORD WINE_WAIT_MS = 10000;
    char manager[] = "C:\\windows\\system32\\explorer.exe /desktop";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.lpDesktop = (LPSTR)desktop;
    PROCESS_INFORMATION pi;
    DWORD start = GetTickCount(), idle = WAIT_FAILED;
    if (!CreateProcessA(NULL, manager, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        printf("   %s failed: error %lu\n", manager, GetLastError());
    } else {
        idle = WaitForInputIdle(pi.hProcess, PATIENCE_MS);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        DWORD took = GetTickCount() - start;
        if (idle != 0)
            printf("   %s not ready within %lu ms\n", manager, took);
        else if (took > WINE_WAIT_MS)  // Wine would have given up on it
            printf("   the desktop was ready after %lu ms, more than Wine waits\n", took);
    }
    return idle == 0 || Check(false, "the desktop starts");
}

int RunInVirtualDesktop()
{
    // Wine makes a desktop named under this key a virtual one of that size.
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", 0, NULL, 0, KEY_SET_VALUE, NULL, &key,
                        NULL) == ERROR_SUCCESS) {
        RegSetValueExA(key, DESKTOP, 0, REG_SZ, (const BYTE *)"1000x700", 9);
        RegCloseKey(key);
    }
    HDESK desk = CreateDesktopA(DESKTOP, NULL, NULL, 0, GENERIC_ALL, NULL);
    if (!StartDesktopManager(DESKTOP))
        return 1;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.lpDesktop = (LPSTR)DESKTOP;
    PROCESS_INFORMATION pi;
    std::string cmd = GetCommandLineA();
    if (!CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi))
        return Check(false, "the probe starts again in a virtual desktop"), 1;
    DWORD code = 1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    if (desk)
        CloseDesktop(desk);
    return (int)code;
}

// ---- program B: reports its input to A's target window ----

static HWND hReport;

static LRESULT CALLBACK WitnessProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (IsInput(msg))
        PostMessageA(hReport, WM_WITNESS, msg, lParam);
    if (msg == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

void Witness(const char *reportTo)
{
    hReport = (HWND)(ULONG_PTR)strtoul(reportTo ? reportTo : "0", NULL, 16);
    WNDCLASSA wc = {};
    wc.style = CS_DBLCLKS;  // as most programs: two quick clicks read as a double click
    wc.lpfnWndProc = WitnessProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = "KnapselWitness";
    RegisterClassA(&wc);
    CreateWindowExA(0, wc.lpszClassName, "Program B", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 300, 200, NULL, NULL,
                    wc.hInstance, NULL);
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
}

// ---- program A: the scenarios ----

namespace {

enum Who { A, B };
enum Spot { CLIENT, CAPTION };
enum Start { RUNNING, STARTED };

struct Scenario {
    const char *name;
    Who focus;      // the program with the focus when the key goes down
    Start knapsel;  // Knapsel running all along, or STARTED just before the key, as at sign-in
    Who over;       // the window under the pointer,
    Spot spot;      // and where on it
    BYTE scan;
    int repeats;         // auto-repeats while the key is held
    int dx, dy;          // how far the pointer moves while the key is held
    const char *expect;  // what the programs receive, in order
    Who foreground;      // the program with the focus afterwards
};

// In order: each starts from what the one before left behind, as on a
// user's desktop (the second row is the click that a stale "held" in A lost).
// clang-format off
const Scenario SCENARIOS[] = {
    {"left key held over B with A focused: one click in B", A, RUNNING, B, CLIENT, 0x62, 3, 0, 0, "B:LD B:LU", B},
    {"back in A, a tap of the left key is one click in A", A, RUNNING, A, CLIENT, 0x62, 0, 0, 0, "A:LD A:LU", A},
    {"right key held over B with A focused: one click in B", A, RUNNING, B, CLIENT, 0x65, 3, 0, 0, "B:RD B:RU", B},
    {"back in A, a tap of the right key is one click in A", A, RUNNING, A, CLIENT, 0x65, 0, 0, 0, "A:RD A:RU", A},
    {"double-click key held over B with A focused: one double click in B", A, RUNNING, B, CLIENT, 0x67, 4, 0, 0,
     "B:LD B:LU B:L2 B:LU", B},
    {"left key held on B's caption with A focused: B moves with the pointer", A, RUNNING, B, CAPTION, 0x62, 4, 80, 50,
     "", B},
    {"left key held on B's caption with B focused: B moves with the pointer", B, RUNNING, B, CAPTION, 0x62, 4, -80,
     -50, "", B},
    {"an ordinary key reaches the focused program B only", B, RUNNING, B, CLIENT, 0x1E, 1, 0, 0, "B:KD B:KD B:KU", B},
    {"an ordinary key reaches the focused program A only", A, RUNNING, A, CLIENT, 0x1E, 1, 0, 0, "A:KD A:KD A:KU", A},
    {"Knapsel started while A has the focus: A keeps the focus and gets the next key", A, STARTED, A, CLIENT, 0x1E,
     1, 0, 0, "A:KD A:KD A:KU", A},
};
// clang-format on

// "A:LD B:KU ...": which program got which input message.
std::string Trace(const std::vector<Seen> &seen)
{
    static const struct {
        UINT msg;
        const char *name;
    } names[] = {{WM_LBUTTONDOWN, "LD"}, {WM_LBUTTONUP, "LU"},     {WM_LBUTTONDBLCLK, "L2"}, {WM_RBUTTONDOWN, "RD"},
                 {WM_RBUTTONUP, "RU"},   {WM_RBUTTONDBLCLK, "R2"}, {WM_KEYDOWN, "KD"},       {WM_KEYUP, "KU"}};
    std::string s;
    for (const Seen &m : seen) {
        UINT msg = m.msg & ~FROM_WITNESS;
        char name[8];
        snprintf(name, sizeof name, "%04x", msg);
        for (const auto &n : names)
            if (n.msg == msg)
                strcpy(name, n.name);
        s += std::string(s.empty() ? "" : " ") + (m.msg & FROM_WITNESS ? "B:" : "A:") + name;
    }
    return s;
}

POINT SpotOn(HWND hwnd, Spot spot)
{
    if (spot == CAPTION) {
        RECT r = {};
        GetWindowRect(hwnd, &r);  // a third in from the left: clear of the icon and the buttons
        return {r.left + (r.right - r.left) / 3,
                r.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2};
    }
    return ClientMiddle(hwnd);
}

// Whether a window's thread believes that window to be its active one. Wine
// activates a window on a click in it only when its thread believes no such
// thing (see NOTES.md).
GUITHREADINFO ThreadOf(HWND hwnd)
{
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, NULL), &gti);
    return gti;
}

bool ThreadCallsActive(HWND hwnd) { return ThreadOf(hwnd).hwndActive == hwnd; }

// Gives `hwnd` the focus, and waits until both programs agree: it is in the
// foreground, and the other's thread no longer calls its window active. Wine
// can leave that behind in the other program (taking the foreground from a
// window still activating itself); then a click there would activate nothing,
// so the other is focused once and this one again.
bool Focus(HWND hwnd, HWND other)
{
    for (int tries = 1;; tries++) {
        SetForegroundWindow(hwnd);
        bool agreed = WaitFor([&] {
            Pump();
            return GetForegroundWindow() == hwnd && !ThreadCallsActive(other);
        });
        if (agreed || tries == 3)
            return agreed;
        printf("   the other program's thread still calls its window active: focusing it, then this one again\n");
        SetForegroundWindow(other);
        WaitFor([&] {
            Pump();
            return GetForegroundWindow() == other;
        });
    }
}

bool ButtonsUp() { return !(GetAsyncKeyState(VK_LBUTTON) & 0x8000) && !(GetAsyncKeyState(VK_RBUTTON) & 0x8000); }

// Who has the focus, in words, for a failure to name: the foreground
// window, and the active window each program's thread believes it has.
std::string Activation(HWND a, HWND b)
{
    auto name = [&](HWND w) {
        char title[64] = "";
        GetWindowTextA(w, title, sizeof title);
        return w == a ? std::string("A") : w == b ? "B" : w ? "\"" + std::string(title) + "\"" : "none";
    };
    std::string s = "foreground " + name(GetForegroundWindow());
    for (HWND w : {a, b}) {
        GUITHREADINFO gti = ThreadOf(w);
        s += "; " + name(w) + "'s thread: active " + name(gti.hwndActive) + ", focus " + name(gti.hwndFocus);
    }
    return s;
}

// Returns false if the scenario must be tried again: each program received
// exactly what it should, but the platform did not activate the window
// clicked, whose thread already called it active (as a real mouse's click
// fails too), so the focus did not move, on a try that was not the last.
bool Run(const Scenario &s, HWND a, HWND b, Host &knapsel, bool lastTry)
{
    HWND focus = s.focus == A ? a : b, over = s.over == A ? a : b, after = s.foreground == A ? a : b;
    printf("-- %s\n", s.name);
    if (!Focus(focus, focus == a ? b : a))
        printf("   the programs do not agree on who has the focus: %s\n", Activation(a, b).c_str());
    POINT at = SpotOn(over, s.spot);
    PointAt(at);
    if (s.knapsel == STARTED) {
        CloseKnapsel(knapsel);
        knapsel = StartKnapsel();
        Check(IsWindowVisible(knapsel.hwnd) && IsIconic(knapsel.hwnd), "Knapsel's window is minimised");
    }
    RECT before, now;
    GetWindowRect(b, &before);
    std::vector<Seen> seen;
    auto collect = [&] {
        std::vector<Seen> more = Pump();
        seen.insert(seen.end(), more.begin(), more.end());
    };
    InjectKey(D(s.scan));
    auto focused = [&] {
        collect();
        return GetForegroundWindow() == after;
    };
    WaitFor(focused);  // the click has moved the focus
    auto movedBy = [&](long dx, long dy) {
        collect();
        GetWindowRect(b, &now);
        return now.left - before.left == dx && now.top - before.top == dy && now.right - now.left == 300;
    };
    // A hand moving the mouse sees the window follow before the next move:
    // the drag has begun, and has taken each move before the next.
    bool dragging = (s.dx || s.dy) && WaitFor([&] {
                        collect();
                        return (ThreadOf(b).flags & GUI_INMOVESIZE) != 0;
                    });
    for (int i = 1; i <= s.repeats; i++) {
        long dx = s.dx * i / s.repeats, dy = s.dy * i / s.repeats;
        if (dragging && !MovePointer({at.x + dx, at.y + dy}))
            printf("   step %d of the drag: the run command did not move the pointer\n", i);
        else if (dragging && !WaitFor([&] { return movedBy(dx, dy); }))
            printf("   step %d of the drag: B is at %ld,%ld from where it began, not %ld,%ld, after %lu ms\n", i,
                   now.left - before.left, now.top - before.top, dx, dy, PATIENCE_MS);
        InjectKey(D(s.scan));
        collect();
    }
    InjectKey(U(s.scan));
    // On a busy machine each program takes its input late: wait for the
    // expected state, then take in whatever more comes.
    WaitFor([&] {
        collect();
        return Trace(seen) == s.expect;
    });
    collect();

    std::string got = Trace(seen);
    bool exact = got == s.expect;
    if (!Check(exact, "each program received what one mouse button gives"))
        printf("   got:      %s\n   expected: %s\n", got.empty() ? "nothing" : got.c_str(), s.expect);
    DWORD t = GetTickCount();
    bool focusMoved = WaitFor(focused);
    if (!focusMoved && exact && !lastTry && ThreadCallsActive(after)) {
        printf("   the focus did not move: the platform did not activate a window whose thread calls it active\n"
               "   (%s); trying again\n",
               Activation(a, b).c_str());
        return false;
    }
    if (!Check(focusMoved, s.foreground == A ? "A has the focus afterwards" : "B has the focus afterwards"))
        printf("   after %lu ms: %s\n", GetTickCount() - t, Activation(a, b).c_str());
    if (s.dx || s.dy) {
        Check(dragging, "B's thread is dragging it (in its move loop)");
        bool moved = WaitFor([&] { return movedBy(s.dx, s.dy); });
        printf("   B moved by %ld,%ld\n", now.left - before.left, now.top - before.top);
        Check(moved, "B moved by exactly the pointer's motion");
    }
    if (!Check(WaitFor(ButtonsUp), "both buttons are up afterwards"))
        printf("   still down: %s%s\n", GetAsyncKeyState(VK_LBUTTON) & 0x8000 ? "left " : "",
               GetAsyncKeyState(VK_RBUTTON) & 0x8000 ? "right" : "");
    return true;
}

}  // namespace

void DesktopChecks(const char *)
{
    Host h = StartKnapsel();
    if (!Check(h.hwnd != NULL, "Knapsel is running")) {
        CloseKnapsel(h);
        return;
    }
    HWND a = OpenTarget();
    char args[32];
    snprintf(args, sizeof args, "witness %lx", (unsigned long)(ULONG_PTR)a);
    PROCESS_INFORMATION pi = {};
    HWND b = NULL;
    if (StartProbe(args, &pi))
        WaitFor([&] { return (b = FindWindowA("KnapselWitness", NULL)) && IsWindowVisible(b); });
    // B activates itself as it starts: wait until it is done, so that A's
    // taking the focus back cannot overlap it.
    if (Check(b && WaitFor([&] { return GetForegroundWindow() == b && ThreadCallsActive(b); }),
              "program B is running, in the foreground")) {
        const int TRIES = 3;
        for (const Scenario &s : SCENARIOS)
            for (int t = 1; !Run(s, a, b, h, t == TRIES); t++)
                ;
        PostMessageA(b, WM_CLOSE, 0, 0);
    }
    if (pi.hProcess) {
        if (WaitForSingleObject(pi.hProcess, PATIENCE_MS) != WAIT_OBJECT_0)
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    Check(CloseKnapsel(h) == 0, "Knapsel closed with exit code 0");
}
