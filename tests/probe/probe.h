// What the probe's parts share: checks, waiting, the target window that
// records what reaches it, keystroke and mouse injection, and Knapsel itself.
#ifndef PROBE_H
#define PROBE_H

#include <windows.h>

#include <string>
#include <vector>

// Prints "ok: what" or "FAILED: what"; any failure makes the probe exit 1,
// and takes a picture of the screen.
bool Check(bool ok, const char *what);
// Asks the run command for a picture of the whole screen as it is now, when
// it offers one (KNAPSEL_SCREENS names where: a path to add a suffix to),
// and waits until it is saved, so that it shows a failure as it happened.
void ShootScreen();
extern int failures;

// How long a wait for a state (a window, the focus, a message, a process's
// end) may take before it counts as failed: 15 s, enough for a busy two-core
// machine, times KNAPSEL_SLOWDOWN where everything runs that many times
// slower (an emulated machine). A wait ends as soon as its state holds.
extern const DWORD PATIENCE_MS;

// Polls until cond() holds or ms have passed, so a slow Wine is waited for
// instead of guessed at. Returns whether it held.
template <class F> bool WaitFor(F cond, DWORD ms = PATIENCE_MS)
{
    for (DWORD start = GetTickCount(); !cond(); Sleep(20))
        if (GetTickCount() - start > ms)
            return false;
    return true;
}

// The pointer's picture as the screen shows it, as text that compares
// exactly; "" where the run command (wine.sh) cannot read the screen.
std::string PointerPicture();
// Moves the pointer as a hand on a mouse does, through the run command (see
// check.cpp); false where it cannot.
bool MovePointer(POINT p);

// The full path of a file beside the probe (Knapsel.exe, knapfilt.dll).
std::string BesideProbe(const char *name);
// Starts another probe.exe with the command line `args`.
bool StartProbe(const std::string &args, PROCESS_INFORMATION *pi);

// One input message as the target window received it.
struct Seen {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Seen &o) const { return msg == o.msg && wParam == o.wParam && lParam == o.lParam; }
};
std::string Describe(const std::vector<Seen> &seen);
bool IsInput(UINT msg);  // a key, mouse-button or command message

// The witness, a window in a second probe process, posts each input message
// it gets to the target as WM_WITNESS (wParam the message, lParam its
// lParam); the target records it as message FROM_WITNESS | msg.
const UINT WM_WITNESS = WM_APP;
const UINT FROM_WITNESS = 0x10000;

// The target: a topmost window of the probe's own, under the pointer and in
// the foreground, recording every key and mouse-button message it gets.
HWND OpenTarget(UINT classStyle = 0);
void FocusTarget();
// Dispatches until nothing has arrived for a while, and at least until
// `atLeast` messages were recorded or a generous time has passed, since Wine
// delivers input late at times; returns what the target recorded meanwhile
// (thread messages too).
std::vector<Seen> Pump(size_t atLeast = 0);

// Keys are injected with their scan code and a virtual key of their own, so
// Wine keeps a separate up/down state for each.
struct Key {
    BYTE scan;
    bool up;
    bool extended;
};
inline Key D(BYTE scan) { return {scan, false, false}; }  // pressed (again: a repeat)
inline Key U(BYTE scan) { return {scan, true, false}; }   // released
inline Key XD(BYTE scan) { return {scan, false, true}; }  // with the extended-key flag
inline Key XU(BYTE scan) { return {scan, true, true}; }
// Returns the message the keystroke becomes if nothing intercepts it.
Seen InjectKey(Key k);
void InjectMouse(DWORD flags);
// Moves the pointer as a mouse would, and waits until it stays there.
void PointAt(POINT p);
POINT ClientMiddle(HWND hwnd);  // in screen coordinates
WORD VirtualKeyOf(BYTE scan);

// One keystroke and what must become of it: the mouse actions it turns into
// ("LD LU RD RU", space-separated), "" for swallowed, "=" for passed on
// untouched, "C" for the notify filter's command 1234.
struct Step {
    Key key;
    const char *expect;
};
// Injects the keystrokes one by one into the target and compares what it got
// with what it gets from the expected actions injected directly.
bool CheckSteps(const char *what, const std::vector<Step> &steps);
// The filter keys tapped, with no filter to stop them.
extern const std::vector<Step> FILTER_KEYS_PASS;

// A running Knapsel.exe, started as a user would start it.
struct Host {
    PROCESS_INFORMATION pi;
    HWND hwnd;  // 0 if no window appeared
};
// `exe` is a full path, or one relative to the probe's folder.
Host StartKnapsel(WORD show = SW_SHOWNORMAL, const char *args = "", const wchar_t *exe = L"Knapsel.exe");
long CloseKnapsel(Host &h);  // its exit code, or -1 if it did not end

// Restores a window and waits until the screen shows it painted.
bool ShowRestored(HWND hwnd);
// A window, its title bar (all above the client area) or its client area as
// the screen shows it now.
struct Picture {
    int w = 0, h = 0;
    std::vector<DWORD> px;  // 0xRRGGBB, rows from the top
    bool operator==(const Picture &o) const { return w == o.w && h == o.h && px == o.px; }
};
enum CapturePart { CAPTION, CLIENT_AREA };
Picture Capture(HWND hwnd, CapturePart part);

// Wine's virtual desktop, where windows are managed as on Windows: a click
// activates the window it lands on and moves the keyboard focus there.
bool InVirtualDesktop();
// Runs this same probe command again inside it; returns its exit code.
int RunInVirtualDesktop();
// Starts the process that manages DESKTOP's windows (NULL: the probe's own
// desktop) and waits until it is ready; false, after saying so, if it never is.
bool StartDesktopManager(const char *desktop);

#endif
