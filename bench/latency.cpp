// End-to-end latency under Wine, from SendInput to the message reaching a
// window of ours, timed with QueryPerformanceCounter:
//   A  an ordinary key until its WM_KEYDOWN, no filter installed
//   N  the same with Knapsel running beside the pass-through filter
//   B  the same with the real Knapsel running
//   C  a left mouse press until its WM_LBUTTONDOWN
//   D  key 0x62 until its WM_LBUTTONDOWN, with the real Knapsel running
// Wine's timings drift and a busy machine adds delays of its own, so the
// runs go in rounds, each measuring every kind. Prints one line per sample:
// "kind round microseconds".
#include "../tests/probe/probe.h"

#include <stdio.h>

static LONGLONG frequency;
static HWND hTarget;

static LONGLONG Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

// Dispatches until `msg` has been taken from the queue; the microseconds
// since `start`, or -1 if it did not come.
static double Until(UINT msg, LONGLONG start)
{
    MSG m;
    for (DWORD begun = GetTickCount(); GetTickCount() - begun < 2000;) {
        if (!PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 1, QS_ALLINPUT);
            continue;
        }
        LONGLONG at = Now();
        DispatchMessageA(&m);
        if (m.message == msg)
            return 1e6 * (at - start) / frequency;
    }
    return -1;
}

static double TimeKey(BYTE scan, UINT msg, UINT releaseMsg)
{
    if (GetForegroundWindow() != hTarget)  // a starting Knapsel may take the focus late
        FocusTarget();
    LONGLONG start = Now();
    InjectKey(D(scan));
    double us = Until(msg, start);
    InjectKey(U(scan));
    Until(releaseMsg, Now());
    return us;
}

static double TimeClick()
{
    LONGLONG start = Now();
    InjectMouse(MOUSEEVENTF_LEFTDOWN);
    double us = Until(WM_LBUTTONDOWN, start);
    InjectMouse(MOUSEEVENTF_LEFTUP);
    Until(WM_LBUTTONUP, Now());
    return us;
}

int main()
{
    const int ROUNDS = 10, PER_ROUND = 32;
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    frequency = f.QuadPart;
    hTarget = OpenTarget();
    struct Sample {
        char kind;
        int round;
        double us;
    };
    std::vector<Sample> samples;
    int round = 0;
    auto sample = [&](char kind, double us) {
        if (us >= 0)
            samples.push_back({kind, round, us});
    };
    // The floor and the real filter take turns going first, so a steady
    // drift of Wine's timings weighs on both alike.
    auto floor = [&] {
        Host h = StartKnapsel(SW_SHOWNORMAL, "", L"..\\passthrough\\Knapsel.exe");
        for (int i = 0; i < PER_ROUND; i++)
            sample('N', TimeKey(0x1E, WM_KEYDOWN, WM_KEYUP));
        CloseKnapsel(h);
    };
    auto real = [&] {
        Host h = StartKnapsel();
        for (int i = 0; i < PER_ROUND; i++) {
            sample('B', TimeKey(0x1E, WM_KEYDOWN, WM_KEYUP));
            sample('D', TimeKey(0x62, WM_LBUTTONDOWN, WM_LBUTTONUP));
        }
        CloseKnapsel(h);
    };
    for (; round < ROUNDS; round++) {
        for (int i = 0; i < PER_ROUND; i++) {
            sample('A', TimeKey(0x1E, WM_KEYDOWN, WM_KEYUP));
            sample('C', TimeClick());
        }
        if (round % 2) {
            real();
            floor();
        } else {
            floor();
            real();
        }
    }
    for (const Sample &s : samples)
        printf("%c %d %.1f\n", s.kind, s.round, s.us);
    return 0;
}
