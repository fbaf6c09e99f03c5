// Knapsel.exe seen from outside: how it starts, what its window looks like,
// and that closing it ends the program and hands the keys back.
#include "probe.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <algorithm>

Host StartKnapsel(WORD show, const char *args, const wchar_t *exe)
{
    std::wstring path = exe;
    if (path.find(L':') == std::wstring::npos) {  // relative: beside the probe
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(NULL, self, MAX_PATH);
        path = std::wstring(self, wcsrchr(self, L'\\') + 1) + path;
    }
    std::wstring cmd = L"\"" + path + L"\" " + std::wstring(args, args + strlen(args));
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = show;
    Host h = {};
    if (!CreateProcessW(path.c_str(), &cmd[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &h.pi))
        return h;
    HWND found = NULL;
    WaitFor([&] {
        found = FindWindowA("Knapsel", "Knapsel");
        DWORD pid = 0;
        GetWindowThreadProcessId(found, &pid);
        return found && pid == h.pi.dwProcessId;
    });
    // The window exists before it is shown, and the filter goes in after:
    // wait until Knapsel sits in its message loop.
    WaitFor([&] { return found && IsWindowVisible(found); });
    WaitForInputIdle(h.pi.hProcess, 10000);
    h.hwnd = found;
    return h;
}

long CloseKnapsel(Host &h)
{
    DWORD code = (DWORD)-1;
    if (h.hwnd)
        PostMessageA(h.hwnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(h.pi.hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(h.pi.hProcess, &code);
    else
        TerminateProcess(h.pi.hProcess, 99);
    CloseHandle(h.pi.hProcess);
    CloseHandle(h.pi.hThread);
    return (long)code;
}

std::vector<DWORD> Capture(HWND hwnd, CapturePart part, int *width, int *height)
{
    RECT r;
    if (part == CLIENT_AREA) {
        GetClientRect(hwnd, &r);
        MapWindowPoints(hwnd, NULL, (POINT *)&r, 2);
    } else {
        GetWindowRect(hwnd, &r);
    }
    int w = *width = r.right - r.left, h = *height = r.bottom - r.top;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    std::vector<DWORD> pixels((DWORD *)bits, (DWORD *)bits + w * h);
    for (DWORD &p : pixels)
        p &= 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    return pixels;
}

// Restores the window and waits until the screen shows it painted: black
// until then, mostly white after.
bool ShowRestored(HWND hwnd)
{
    ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    return WaitFor(
        [&] {
            int w, h;
            std::vector<DWORD> px = Capture(hwnd, CLIENT_AREA, &w, &h);
            return !IsIconic(hwnd) && std::count(px.begin(), px.end(), 0xFFFFFF) * 2 > w * h;
        },
        5000);
}

// What a person sees in the restored window: white, with one line of dark
// text whose box sits in the middle of the client area.
static void CheckPainting(HWND hwnd)
{
    int w = 0, h = 0;
    Check(ShowRestored(hwnd), "the window shows painted");
    std::vector<DWORD> px = Capture(hwnd, CLIENT_AREA, &w, &h);
    int left = w, right = -1, top = h, bottom = -1, white = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            if (px[y * w + x] == 0xFFFFFF) {
                white++;
                continue;
            }
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    printf("   client %dx%d, text box x %d-%d, y %d-%d, %d%% white\n", w, h, left, right, top, bottom,
           100 * white / std::max(w * h, 1));
    Check(right - left > 150 && bottom - top > 6 && bottom - top < 30, "one line of text is drawn");
    Check(abs((left + right) - (w - 1)) <= 2 && abs((top + bottom) - (h - 1)) <= 2,
          "the text is centred in the client area");
    Check(white > w * h * 9 / 10, "the background is white");
}

void HostChecks(const char *)
{
    static const struct {
        WORD show;
        const char *args;
    } starts[] = {
        {SW_SHOWNORMAL, ""},
        {SW_SHOWMAXIMIZED, "/x --big file.txt"},
        {SW_HIDE, "-"},
    };
    for (const auto &s : starts) {
        printf("-- show command %d, arguments \"%s\"\n", s.show, s.args);
        Host h = StartKnapsel(s.show, s.args);
        if (!Check(h.hwnd != NULL, "a window of class and title \"Knapsel\" appears")) {
            CloseKnapsel(h);
            continue;
        }
        Check(IsWindowVisible(h.hwnd) && IsIconic(h.hwnd), "the window is shown minimised");
        Check((GetWindowLongA(h.hwnd, GWL_STYLE) & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW,
              "the window has the overlapped-window style");
        ShowWindow(h.hwnd, SW_RESTORE);
        WaitFor([&] { return !IsIconic(h.hwnd); });
        RECT rc = {};
        GetWindowRect(h.hwnd, &rc);
        printf("   restored to %ldx%ld\n", rc.right - rc.left, rc.bottom - rc.top);
        Check(rc.right - rc.left == 400 && rc.bottom - rc.top == 150, "restored, the window is 400x150");
        CheckPainting(h.hwnd);
        SetWindowPos(h.hwnd, NULL, 0, 0, 600, 250, SWP_NOMOVE | SWP_NOZORDER);
        CheckPainting(h.hwnd);  // stretched: the text must follow the middle
        long code = CloseKnapsel(h);
        printf("   exit code %ld\n", code);
        Check(code == 0, "WM_CLOSE ends Knapsel with exit code 0");
    }
}

// Started and closed again and again, Knapsel leaves nothing behind: the
// filter keys are ordinary keys again at the end.
void StartCloseCycles(const char *)
{
    const int CYCLES = 20;
    int clean = 0;
    for (int i = 0; i < CYCLES; i++) {
        Host h = StartKnapsel();
        bool started = h.hwnd != NULL;
        clean += CloseKnapsel(h) == 0 && started;
    }
    printf("   %d of %d cycles started a window and ended with exit code 0\n", clean, CYCLES);
    Check(clean == CYCLES, "every start and close cycle was clean");
    OpenTarget();
    CheckSteps("afterwards the filter keys pass untouched", FILTER_KEYS_PASS);
}
