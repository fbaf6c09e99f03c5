// A stand-in for knapfilt.dll used only by the latency benchmark: the same
// export, installing a keyboard filter for the whole desktop that passes
// every keystroke on untouched. Knapsel.exe beside it shows what any keyboard
// filter costs on the platform, the floor our own filter is measured against.
#include <windows.h>

static HINSTANCE hModule;
static HHOOK hHook;

static LRESULT CALLBACK PassProc(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(hHook, code, wParam, lParam);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID)
{
    if (fdwReason == DLL_PROCESS_ATTACH)
        hModule = hinstDLL;
    return TRUE;
}

extern "C" HHOOK WINAPI InstallFilter(HWND, int mode)
{
    if (mode == 2)
        return hHook = SetWindowsHookExA(WH_KEYBOARD, PassProc, hModule, 0);
    UnhookWindowsHookEx(hHook);
    return hHook = 0;
}
