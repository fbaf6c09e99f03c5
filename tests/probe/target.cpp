// The probe's target window and the input it injects into it.
#include "probe.h"

#include <stdio.h>

static HWND hTarget;
static std::vector<Seen> seen;

bool IsInput(UINT msg)
{
    return (msg >= WM_KEYFIRST && msg <= WM_KEYLAST && msg != WM_CHAR) ||
           (msg >= WM_LBUTTONDOWN && msg <= WM_MBUTTONDBLCLK) || msg == WM_COMMAND;
}

static LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_WITNESS) {
        seen.push_back({FROM_WITNESS | (UINT)wParam, 0, lParam});
        return 0;
    }
    if (IsInput(msg)) {
        seen.push_back({msg, wParam, lParam});
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND OpenTarget(UINT classStyle)
{
    WNDCLASSA wc = {};
    wc.style = classStyle;  // no CS_DBLCLKS for the tests: clicks stay clicks, whatever their timing
    wc.lpfnWndProc = TargetProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    wc.lpszClassName = "KnapselProbe";
    RegisterClassA(&wc);
    hTarget = CreateWindowExA(WS_EX_TOPMOST, wc.lpszClassName, "Probe", WS_POPUP | WS_VISIBLE, 500, 300, 300, 200, NULL,
                              NULL, wc.hInstance, NULL);
    FocusTarget();
    return hTarget;
}

void FocusTarget()
{
    SetCursorPos(650, 400);
    SetForegroundWindow(hTarget);
    SetFocus(hTarget);
    WaitFor([] {
        Pump();
        return GetForegroundWindow() == hTarget;
    });
    Pump();
}

std::vector<Seen> Pump(size_t atLeast)
{
    const DWORD IDLE_MS = 150;
    seen.clear();
    MSG msg;
    DWORD start = GetTickCount(), last = start;
    while (GetTickCount() - last < IDLE_MS || (seen.size() < atLeast && GetTickCount() - start < PATIENCE_MS)) {
        if (!PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {  // PM_REMOVE: a peek must not run the filter twice
            MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        if (!msg.hwnd && IsInput(msg.message))
            seen.push_back({msg.message, msg.wParam, msg.lParam});
        DispatchMessageA(&msg);
        last = GetTickCount();
    }
    return seen;
}

// The filter keys get virtual keys whose up/down state Wine keeps for the
// whole desktop, as Windows does for every key: otherwise a repeat that
// reaches another program than the press did looks like a first press.
WORD VirtualKeyOf(BYTE scan)
{
    static const struct {
        BYTE scan;
        WORD vk;
    } KEYS[] = {
        {0x10, 'Q'},    {0x11, 'W'},    {0x12, 'E'},     {0x13, 'R'},      {0x14, 'T'},     {0x1E, 'A'},
        {0x1F, 'S'},    {0x20, 'D'},    {0x21, 'F'},     {0x39, VK_SPACE}, {0x61, VK_F18},  {0x63, VK_HELP},
        {0x66, VK_F15}, {0x68, VK_F17}, {0x62, VK_ZOOM}, {0x64, VK_ATTN},  {0x65, VK_PLAY}, {0x67, VK_EREOF},
    };
    for (const auto &k : KEYS)
        if (k.scan == scan)
            return k.vk;
    return 0;
}

Seen InjectKey(Key k)
{
    // The message an untouched keystroke becomes: repeat count 1, the scan
    // code, bit 24 if extended, bit 30 if the key was already down, bit 31 on
    // release. The platform keeps the up/down state per virtual key.
    static bool down[256];
    DWORD lParam =
        1 | k.scan << 16 | (k.extended ? 1u << 24 : 0) | (down[k.scan] || k.up ? 1u << 30 : 0) | (k.up ? 1u << 31 : 0);
    down[k.scan] = !k.up;
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = VirtualKeyOf(k.scan);
    in.ki.wScan = k.scan;
    in.ki.dwFlags = (k.up ? KEYEVENTF_KEYUP : 0) | (k.extended ? KEYEVENTF_EXTENDEDKEY : 0);
    SendInput(1, &in, sizeof in);
    return {(UINT)(k.up ? WM_KEYUP : WM_KEYDOWN), VirtualKeyOf(k.scan), (LPARAM)lParam};
}

POINT ClientMiddle(HWND hwnd)
{
    RECT r = {};  // all zero for a window that is gone
    GetClientRect(hwnd, &r);
    POINT p = {r.right / 2, r.bottom / 2};
    ClientToScreen(hwnd, &p);
    return p;
}

// Moves the pointer as a mouse would, and waits until it has settled there.
// Wine also moves the X pointer, and reports of that motion can come late
// and put Wine's own idea of the position, which clicks use, back where the
// pointer was: so once the X side is still, the move is sent once more.
void PointAt(POINT p)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    in.mi.dx = (p.x * 65535 + (w - 1) / 2) / (w - 1);
    in.mi.dy = (p.y * 65535 + (h - 1) / 2) / (h - 1);
    for (int i = 0; i < 2; i++) {
        SendInput(1, &in, sizeof in);
        DWORD since = GetTickCount();
        WaitFor([&] {
            Pump();
            POINT at;
            GetCursorPos(&at);
            if (at.x != p.x || at.y != p.y)
                since = GetTickCount();
            return GetTickCount() - since > 200;
        });
    }
}

void InjectMouse(DWORD flags)
{
    INPUT in = {};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

std::string Describe(const std::vector<Seen> &list)
{
    std::string s;
    for (const Seen &m : list) {
        char buf[64];
        snprintf(buf, sizeof buf, "%s%04x(%x,%08lx)", s.empty() ? "" : " ", m.msg, (unsigned)m.wParam, (long)m.lParam);
        s += buf;
    }
    return s.empty() ? "nothing" : s;
}
