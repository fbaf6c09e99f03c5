// The keystroke table: keystrokes injected into the probe's own window with
// Knapsel running, each compared with what the window gets when the mouse
// actions it should turn into are injected directly, so that Wine's own way of
// turning input into messages cancels out. Keys that must pass are compared
// with the messages the platform makes of an untouched keystroke.
#include "probe.h"

#include <shellapi.h>

#include <stdio.h>
#include <string.h>

namespace {

struct Row {
    const char *name;
    std::vector<Step> steps;
};

// clang-format off
const Row ROWS[] = {
    {"left key tapped", {{D(0x62), "LD"}, {U(0x62), "LU"}}},
    {"left key held: repeats swallowed", {{D(0x62), "LD"}, {D(0x62), ""}, {D(0x62), ""}, {U(0x62), "LU"}}},
    {"right key tapped", {{D(0x65), "RD"}, {U(0x65), "RU"}}},
    {"right key held", {{D(0x65), "RD"}, {D(0x65), ""}, {U(0x65), "RU"}}},
    {"double-click key tapped", {{D(0x67), "LD LU LD LU"}, {U(0x67), ""}}},
    {"double-click key held: one double click",
     {{D(0x67), "LD LU LD LU"}, {D(0x67), ""}, {D(0x67), ""}, {U(0x67), ""}}},
    {"double click while the left key holds the button: let go first, and only once",
     {{D(0x62), "LD"}, {D(0x67), "LU LD LU LD LU"}, {U(0x67), ""}, {D(0x67), "LD LU LD LU"}, {U(0x67), ""},
      {U(0x62), "LU"}}},
    {"both buttons held together", {{D(0x62), "LD"}, {D(0x65), "RD"}, {U(0x62), "LU"}, {U(0x65), "RU"}}},
    {"releases without a press still let go", {{U(0x62), "LU"}, {U(0x65), "RU"}, {U(0x67), ""}}},
    {"extended-key flag changes nothing",
     {{XD(0x62), "LD"}, {XU(0x62), "LU"}, {XD(0x65), "RD"}, {XU(0x65), "RU"}, {XD(0x67), "LD LU LD LU"},
      {XU(0x67), ""}}},
    {"neighbouring scan codes pass untouched",
     {{D(0x61), "="}, {U(0x61), "="}, {D(0x63), "="}, {D(0x63), "="}, {U(0x63), "="}, {D(0x64), "="},
      {U(0x64), "="}, {D(0x66), "="}, {U(0x66), "="}, {XD(0x68), "="}, {XU(0x68), "="}}},
    {"ordinary keys pass untouched, also while a button is held",
     {{D(0x1E), "="}, {U(0x1E), "="}, {D(0x62), "LD"}, {D(0x1E), "="}, {D(0x1E), "="}, {U(0x1E), "="},
      {D(0x39), "="}, {U(0x39), "="}, {U(0x62), "LU"}}},
};
// clang-format on

DWORD MouseFlag(const char *action)
{
    static const struct {
        const char *name;
        DWORD flag;
    } actions[] = {{"LD", MOUSEEVENTF_LEFTDOWN},
                   {"LU", MOUSEEVENTF_LEFTUP},
                   {"RD", MOUSEEVENTF_RIGHTDOWN},
                   {"RU", MOUSEEVENTF_RIGHTUP}};
    for (const auto &a : actions)
        if (!strncmp(action, a.name, 2))
            return a.flag;
    return 0;
}

// How many messages a step brings: one per mouse action, one for a key
// passed on or a command posted.
size_t Count(const char *expect) { return expect[0] == '=' || expect[0] == 'C' ? 1 : (strlen(expect) + 1) / 3; }

// What the window should see for one step, given what the keystroke would
// have become untouched.
std::vector<Seen> Expected(const Step &s, Seen untouched)
{
    if (!strcmp(s.expect, "="))
        return {untouched};
    if (!strcmp(s.expect, "C"))
        return {{WM_COMMAND, 1234, 0}};
    for (const char *a = s.expect; *a; a += a[2] ? 3 : 2)
        InjectMouse(MouseFlag(a));
    return Pump(Count(s.expect));
}

}  // namespace

bool CheckSteps(const char *what, const std::vector<Step> &steps)
{
    std::vector<Seen> got, want;
    for (const Step &s : steps) {
        Seen untouched = InjectKey(s.key);
        std::vector<Seen> seen = Pump(Count(s.expect));
        got.insert(got.end(), seen.begin(), seen.end());
        std::vector<Seen> expected = Expected(s, untouched);
        want.insert(want.end(), expected.begin(), expected.end());
    }
    if (!Check(got == want, what))
        printf("   got:      %s\n   expected: %s\n", Describe(got).c_str(), Describe(want).c_str());
    return got == want;
}

// With an argument, the Knapsel.exe at that path (an unpacked release, in a
// folder whose name need not be ASCII, so it is read from the wide command line).
void KeyChecks(const char *path)
{
    int argc;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    Host h = path && argc == 3 ? StartKnapsel(SW_SHOWNORMAL, "", argv[2]) : StartKnapsel();
    if (!Check(h.hwnd != NULL, "Knapsel is running")) {
        CloseKnapsel(h);
        return;
    }
    OpenTarget();
    for (const Row &row : ROWS)
        CheckSteps(row.name, row.steps);
    long code = CloseKnapsel(h);
    Check(code == 0, "closing Knapsel ends it with exit code 0");
    FocusTarget();
    CheckSteps("after Knapsel has closed, the filter keys pass untouched", FILTER_KEYS_PASS);
}

const std::vector<Step> FILTER_KEYS_PASS = {
    {D(0x62), "="}, {U(0x62), "="}, {D(0x64), "="}, {U(0x64), "="},
    {D(0x65), "="}, {U(0x65), "="}, {D(0x67), "="}, {U(0x67), "="},
};

// 2,000 keystrokes from a fixed seed, the filter keys mixed with ten
// ordinary ones, pressed, repeated and released at random, fed in bursts as a
// fast typist would: every ordinary keystroke arrives once, in order and
// untouched, no filter keystroke arrives, and no button is pressed twice
// without a release between.
void RandomKeys(const char *)
{
    static const BYTE KEYS[] = {0x62, 0x65, 0x67, 0x10, 0x11, 0x12, 0x13, 0x14, 0x1E, 0x1F, 0x20, 0x21, 0x39};
    const int TOTAL = 2000, BURST = 50;
    Host h = StartKnapsel();
    if (!Check(h.hwnd != NULL, "Knapsel is running")) {
        CloseKnapsel(h);
        return;
    }
    OpenTarget();
    DWORD seed = 12345;
    bool isDown[256] = {};
    std::vector<Seen> want, got;
    for (int sent = 0; sent < TOTAL;) {
        size_t ordinary = 0;
        for (int i = 0; i < BURST; i++, sent++) {
            seed = seed * 1103515245 + 12345;
            BYTE scan = KEYS[(seed >> 16) % sizeof KEYS];
            // Up keys go down (now and then a stray release); down keys
            // repeat or come up, evenly.
            bool up = isDown[scan] ? (seed >> 8) & 1 : (seed >> 8) % 10 == 0;
            isDown[scan] = !up;
            Seen untouched = InjectKey({scan, up, false});
            if (scan != 0x62 && scan != 0x65 && scan != 0x67)
                want.push_back(untouched), ordinary++;
        }
        std::vector<Seen> seen = Pump(ordinary);
        got.insert(got.end(), seen.begin(), seen.end());
    }
    for (BYTE scan : KEYS)  // leave nothing held
        if (isDown[scan])
            InjectKey(U(scan));
    Pump();
    long code = CloseKnapsel(h);

    std::vector<Seen> keys;
    bool left = false, right = false, doublePress = false;
    for (const Seen &m : got) {
        if (m.msg == WM_KEYDOWN || m.msg == WM_KEYUP)
            keys.push_back(m);
        doublePress |= (m.msg == WM_LBUTTONDOWN && left) || (m.msg == WM_RBUTTONDOWN && right);
        left = m.msg == WM_LBUTTONDOWN ? true : m.msg == WM_LBUTTONUP ? false : left;
        right = m.msg == WM_RBUTTONDOWN ? true : m.msg == WM_RBUTTONUP ? false : right;
    }
    printf("   %zu ordinary keystrokes sent, %zu arrived; %zu messages in all\n", want.size(), keys.size(), got.size());
    Check(keys == want, "every ordinary keystroke arrived once, in order, untouched, and no filter keystroke");
    Check(!doublePress, "no button pressed twice without a release between");
    Check(code == 0, "Knapsel closed with exit code 0");
}
