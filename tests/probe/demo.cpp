// The demonstration behind the run command on a machine without a display,
// in Wine's virtual desktop: Knapsel running, each key tapped into a window
// of the probe's, what the window received told in plain words, and two
// screenshots of the desktop, which wine.sh takes from the X display when
// asked, since Wine draws the frames and the minimised title bar there.
#include "probe.h"

#include <stdio.h>

static std::string InWords(const std::vector<Seen> &seen)
{
    static const struct {
        UINT msg;
        const char *words;
    } names[] = {
        {WM_LBUTTONDOWN, "left button down"},
        {WM_LBUTTONUP, "left button up"},
        {WM_LBUTTONDBLCLK, "left double click"},
        {WM_RBUTTONDOWN, "right button down"},
        {WM_RBUTTONUP, "right button up"},
        {WM_KEYDOWN, "key down"},
        {WM_KEYUP, "key up"},
    };
    std::string s;
    for (const Seen &m : seen) {
        s += s.empty() ? "" : ", ";
        const char *words = "another message";
        for (const auto &n : names)
            if (n.msg == m.msg)
                words = n.words;
        s += words;
    }
    return s.empty() ? "nothing" : s;
}

static void Tap(BYTE scan, const char *name)
{
    std::vector<Seen> seen;
    for (Key k : {D(scan), U(scan)}) {
        InjectKey(k);
        std::vector<Seen> more = Pump();
        seen.insert(seen.end(), more.begin(), more.end());
    }
    printf("key 0x%02X %s tapped: %s\n", scan, name, InWords(seen).c_str());
}

// Asks wine.sh for a picture of the desktop around the window and waits
// until it has been saved as NAME.png in `folder`.
static void Screenshot(const char *folder, const char *name, HWND hwnd)
{
    const int MARGIN = 24;
    Pump();  // let the desktop finish painting
    RECT w, desk, r;
    GetWindowRect(hwnd, &w);
    GetWindowRect(GetDesktopWindow(), &desk);
    RECT around = {w.left - MARGIN, w.top - MARGIN, w.right + MARGIN, w.bottom + MARGIN};
    IntersectRect(&r, &around, &desk);
    std::string path = std::string(folder) + "\\" + name + ".png";
    DeleteFileA(path.c_str());  // an older one must not pass for it
    printf("screenshot %ld %ld %ld %ld %s\n", r.left, r.top, r.right - r.left, r.bottom - r.top, path.c_str());
    fflush(stdout);
    char what[80];
    snprintf(what, sizeof what, "screenshot %s.png saved", name);
    Check(WaitFor([&] { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }), what);
}

void Demo(const char *folder)
{
    Host h = StartKnapsel();
    if (!Check(h.hwnd != NULL, "Knapsel started")) {
        CloseKnapsel(h);
        return;
    }
    if (folder)
        Screenshot(folder, "knapsel-minimised", h.hwnd);
    printf("Knapsel is running, its window minimised. A window of the probe's, under the pointer, receives:\n");
    OpenTarget(CS_DBLCLKS);  // as most programs: two quick clicks read as a double click
    Tap(0x62, "(left button key)");
    Tap(0x65, "(right button key)");
    Tap(0x67, "(double-click key)");
    Tap(0x1E, "(the letter A)");
    DestroyWindow(GetForegroundWindow());

    Check(ShowRestored(h.hwnd), "Knapsel's window restored");
    if (folder) {
        // Out of the corner where it opened, as a user might put it.
        SetWindowPos(h.hwnd, NULL, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        Screenshot(folder, "knapsel-restored", h.hwnd);
    }
    long code = CloseKnapsel(h);
    printf("Knapsel closed with exit code %ld.\n", code);
    Check(code == 0, "exit code 0");
}
