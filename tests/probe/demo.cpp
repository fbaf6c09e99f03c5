// The demonstration behind the run command on a machine without a display:
// Knapsel running, each key tapped into a window of the probe's, what the
// window received told in plain words, and a screenshot of Knapsel's window.
#include "probe.h"

#include <stdio.h>

static std::string InWords(const std::vector<Seen> &seen)
{
    static const struct {
        UINT msg;
        const char *words;
    } names[] = {
        {WM_LBUTTONDOWN, "left button down"}, {WM_LBUTTONUP, "left button up"},
        {WM_RBUTTONDOWN, "right button down"}, {WM_RBUTTONUP, "right button up"},
        {WM_KEYDOWN, "key down"}, {WM_KEYUP, "key up"},
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

void Demo(const char *screenshot)
{
    Host h = StartKnapsel();
    if (!Check(h.hwnd != NULL, "Knapsel started")) {
        CloseKnapsel(h);
        return;
    }
    printf("Knapsel is running, its window minimised. A window of the probe's, under the pointer, receives:\n");
    OpenTarget();
    Tap(0x62, "(left button key)");
    Tap(0x65, "(right button key)");
    Tap(0x67, "(double-click key)");
    Tap(0x1E, "(the letter A)");
    DestroyWindow(GetForegroundWindow());

    Check(ShowRestored(h.hwnd), "Knapsel's window restored");
    if (screenshot)
        Check(SaveScreenshot(h.hwnd, screenshot), "screenshot of the restored window saved");
    long code = CloseKnapsel(h);
    printf("Knapsel closed with exit code %ld.\n", code);
    Check(code == 0, "exit code 0");
}
