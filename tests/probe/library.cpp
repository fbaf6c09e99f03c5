// knapfilt.dll used the way any host would: loaded with LoadLibrary, its one
// export found by name, both filters installed, replaced and removed, with
// the keys showing at each stage which filter is really in place.
#include "probe.h"

#include <stdio.h>

typedef HHOOK(WINAPI *InstallFilterProc)(HWND, int);

static const std::vector<Step> MOUSE_FILTER_WORKS = {{D(0x62), "LD"}, {U(0x62), "LU"}, {D(0x64), "="}, {U(0x64), "="}};
static const std::vector<Step> NOTIFY_FILTER_WORKS = {
    {D(0x64), "C"}, {D(0x64), "C"}, {U(0x64), "C"}, {XD(0x64), "C"}, {XU(0x64), "C"},
    {D(0x62), "="}, {U(0x62), "="}, {D(0x63), "="}, {U(0x63), "="},
};

// The notify key pressed in another process: the filter runs there too, with
// no window to tell. It must swallow the key and post nothing anywhere.
static bool KeyInOtherProcess()
{
    PROCESS_INFORMATION pi;
    if (!StartProbe("bystander", &pi))
        return Check(false, "a second probe process starts");
    std::vector<Seen> seen;
    while (MsgWaitForMultipleObjects(1, &pi.hProcess, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        std::vector<Seen> more = Pump();
        seen.insert(seen.end(), more.begin(), more.end());
    }
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    std::vector<Seen> more = Pump();
    seen.insert(seen.end(), more.begin(), more.end());
    if (!seen.empty())
        printf("   the installer's window got: %s\n", Describe(seen).c_str());
    return Check(code == 0 && seen.empty(), "in another process the notify key is swallowed, no command posted");
}

void NotifyBystander(const char *)
{
    OpenTarget();
    CheckSteps("bystander: notify key swallowed, nothing posted to it", {{D(0x64), ""}, {U(0x64), ""}});
    CheckSteps("bystander: other keys pass", {{D(0x62), "="}, {U(0x62), "="}});
}

void LibraryChecks(const char *)
{
    HMODULE lib = LoadLibraryA(BesideProbe("knapfilt.dll").c_str());
    auto install = (InstallFilterProc)(void *)GetProcAddress(lib, "_InstallFilter@8");
    if (!Check(install != NULL, "knapfilt.dll loads and exports _InstallFilter@8"))
        return;
    Check((void *)GetProcAddress(lib, MAKEINTRESOURCEA(1)) == (void *)install, "at ordinal 1");
    HWND w = OpenTarget();
    Check(install(w, 0) == 0, "removing with nothing installed returns 0");
    CheckSteps("nothing installed: the keys pass", FILTER_KEYS_PASS);

    HHOOK mouse = install(w, 2);
    Check(mouse != NULL, "installing the mouse filter returns a handle");
    CheckSteps("mouse filter: 0x62 is the left button, 0x64 passes", MOUSE_FILTER_WORKS);

    HHOOK notify = install(w, 1);
    Check(notify != NULL && notify != mouse, "installing the notify filter over it returns a new handle");
    CheckSteps("notify filter replaced the mouse filter: 0x64 posts command 1234, the rest pass", NOTIFY_FILTER_WORKS);
    KeyInOtherProcess();
    FocusTarget();

    Check(install(w, 0) == 0, "removing returns 0");
    CheckSteps("removed: the keys pass", FILTER_KEYS_PASS);
    for (int mode : {3, -1}) {
        Check(install(w, 2) != NULL, "the mouse filter installs again");
        char what[80];
        snprintf(what, sizeof what, "mode %d removes it and returns 0", mode);
        Check(install(w, mode) == 0, what);
        CheckSteps("and the keys pass", FILTER_KEYS_PASS);
    }
}
