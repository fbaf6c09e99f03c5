// The keystroke table: keystrokes injected into the probe's own window with
// Knapsel running, each compared with what the window gets when the mouse
// actions it should turn into are injected directly, so that Wine's own way of
// turning input into messages cancels out. Keys that must pass are compared
// with the messages the platform makes of an untouched keystroke.
#include "probe.h"

#include <stdio.h>
#include <string.h>

namespace {

struct Row {
    const char *name;
    std::vector<Step> steps;
};

const Row ROWS[] = {
    {"left key tapped", {{D(0x62), "LD"}, {U(0x62), "LU"}}},
    {"left key held: repeats swallowed", {{D(0x62), "LD"}, {D(0x62), ""}, {D(0x62), ""}, {U(0x62), "LU"}}},
    {"right key tapped", {{D(0x65), "RD"}, {U(0x65), "RU"}}},
    {"right key held", {{D(0x65), "RD"}, {D(0x65), ""}, {U(0x65), "RU"}}},
    {"double-click key tapped", {{D(0x67), "LD LU LD LU"}, {U(0x67), ""}}},
    {"double-click key held: one double click",
     {{D(0x67), "LD LU LD LU"}, {D(0x67), ""}, {D(0x67), ""}, {U(0x67), ""}}},
    {"double click while the left key holds the button",
     {{D(0x62), "LD"}, {D(0x67), "LU LD LU LD LU"}, {U(0x67), ""}, {U(0x62), "LU"}}},
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

bool down[256];  // which keys the platform believes are down

// The message an untouched keystroke becomes: repeat count 1, the scan code,
// bit 24 if extended, bit 30 if the key was already down, bit 31 on release.
Seen Untouched(Key k)
{
    DWORD lParam = 1 | k.scan << 16 | (k.extended ? 1u << 24 : 0) | (down[k.scan] || k.up ? 1u << 30 : 0) |
                   (k.up ? 1u << 31 : 0);
    return {(UINT)(k.up ? WM_KEYUP : WM_KEYDOWN), VirtualKeyOf(k.scan), (LPARAM)lParam};
}

DWORD MouseFlag(const char *action)
{
    static const struct {
        const char *name;
        DWORD flag;
    } actions[] = {{"LD", MOUSEEVENTF_LEFTDOWN}, {"LU", MOUSEEVENTF_LEFTUP},
                   {"RD", MOUSEEVENTF_RIGHTDOWN}, {"RU", MOUSEEVENTF_RIGHTUP}};
    for (const auto &a : actions)
        if (!strncmp(action, a.name, 2))
            return a.flag;
    return 0;
}

// How many messages a step brings: one per mouse action, one for a key
// passed on or a command posted.
size_t Count(const char *expect)
{
    return expect[0] == '=' || expect[0] == 'C' ? 1 : (strlen(expect) + 1) / 3;
}

// What the window should see for one step.
std::vector<Seen> Expected(const Step &s)
{
    if (!strcmp(s.expect, "="))
        return {Untouched(s.key)};
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
        InjectKey(s.key);
        std::vector<Seen> seen = Pump(Count(s.expect));
        got.insert(got.end(), seen.begin(), seen.end());
        std::vector<Seen> expected = Expected(s);
        want.insert(want.end(), expected.begin(), expected.end());
        down[s.key.scan] = !s.key.up;
    }
    if (!Check(got == want, what))
        printf("   got:      %s\n   expected: %s\n", Describe(got).c_str(), Describe(want).c_str());
    return got == want;
}

void KeyChecks(const char *)
{
    Host h = StartKnapsel();
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
