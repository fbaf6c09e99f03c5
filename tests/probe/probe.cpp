// The probe: a Windows test program run under Wine that drives the real
// Knapsel.exe from outside, as a user would, and says what it saw.
// Each command prints one line per check and exits 0 only if all passed.
//   probe host   start Knapsel with several show commands and command lines:
//                minimised window "Knapsel", 400x150 restored, WM_CLOSE ends
//                it with exit code 0
//   probe restore   restore a running Knapsel's window, for a screenshot
#include <windows.h>

#include <stdio.h>
#include <string.h>

static int failures;

static void Check(bool ok, const char *what)
{
    printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok)
        failures++;
}

// Waits for a condition without guessing how long Wine will take: polls until
// it holds or the time is up.
template <class F> static bool WaitFor(F cond, DWORD ms = 10000)
{
    for (DWORD start = GetTickCount(); !cond(); Sleep(20))
        if (GetTickCount() - start > ms)
            return false;
    return true;
}

// The full path of a program beside the probe.
static void BesideProbe(const char *name, char *path, DWORD size)
{
    GetModuleFileNameA(NULL, path, size);
    strcpy(strrchr(path, '\\') + 1, name);
}

struct Host {
    PROCESS_INFORMATION pi;
    HWND hwnd;
};

static Host StartKnapsel(WORD show, const char *args)
{
    char exe[MAX_PATH], cmd[MAX_PATH + 64];
    BesideProbe("Knapsel.exe", exe, sizeof exe);
    snprintf(cmd, sizeof cmd, "\"%s\" %s", exe, args);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = show;
    Host h = {};
    if (!CreateProcessA(exe, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &h.pi))
        return h;
    WaitFor([&] {
        HWND w = FindWindowA("Knapsel", "Knapsel");
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        return pid == h.pi.dwProcessId && (h.hwnd = w) != NULL;
    });
    WaitFor([&] { return IsWindowVisible(h.hwnd); });  // created, then shown
    return h;
}

// Closes Knapsel as the close button would and returns its exit code, or -1
// if it did not end in time.
static long CloseKnapsel(Host &h)
{
    DWORD code = (DWORD)-1;
    PostMessageA(h.hwnd, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(h.pi.hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(h.pi.hProcess, &code);
    else
        TerminateProcess(h.pi.hProcess, 99);
    CloseHandle(h.pi.hProcess);
    CloseHandle(h.pi.hThread);
    return (long)code;
}

static void HostChecks()
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
        char what[160];
        snprintf(what, sizeof what, "show command %d, arguments \"%s\"", s.show, s.args);
        printf("-- %s\n", what);
        Host h = StartKnapsel(s.show, s.args);
        Check(h.hwnd != NULL, "window of class and title \"Knapsel\" appears");
        if (!h.hwnd) {
            if (h.pi.hProcess)
                TerminateProcess(h.pi.hProcess, 99);
            continue;
        }
        Check(IsWindowVisible(h.hwnd) && IsIconic(h.hwnd), "window is shown minimised");
        Check((GetWindowLongA(h.hwnd, GWL_STYLE) & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW,
              "window has the overlapped-window style");
        ShowWindow(h.hwnd, SW_RESTORE);
        RECT rc = {};
        WaitFor([&] { return !IsIconic(h.hwnd); });
        GetWindowRect(h.hwnd, &rc);
        printf("   restored to %ldx%ld\n", rc.right - rc.left, rc.bottom - rc.top);
        Check(rc.right - rc.left == 400 && rc.bottom - rc.top == 150, "restored window is 400x150");
        long code = CloseKnapsel(h);
        printf("   exit code %ld\n", code);
        Check(code == 0, "WM_CLOSE ends Knapsel with exit code 0");
    }
}

// Restores a running Knapsel's window and brings it to the front, for a
// screenshot of what its user sees.
static void RestoreKnapsel()
{
    HWND hwnd = NULL;
    Check(WaitFor([&] { return (hwnd = FindWindowA("Knapsel", "Knapsel")) != NULL; }), "Knapsel is running");
    ShowWindow(hwnd, SW_RESTORE);
    SetForegroundWindow(hwnd);
    Check(WaitFor([&] { return !IsIconic(hwnd); }), "its window is restored");
    UpdateWindow(hwnd);
}

int main(int argc, char **argv)
{
    if (argc == 2 && !strcmp(argv[1], "host"))
        HostChecks();
    else if (argc == 2 && !strcmp(argv[1], "restore"))
        RestoreKnapsel();
    else {
        printf("usage: probe host | probe restore\n");
        return 2;
    }
    printf("%s\n", failures ? "probe: FAILED" : "probe: all passed");
    return failures ? 1 : 0;
}
