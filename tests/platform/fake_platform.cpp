// The stand-in platform calls: each records itself in fakeCalls and answers
// as fake_platform.h was told to. Hooks are kept in fakeHooks so tests can see
// what is really installed, not only what the library remembers.
#include "fake_platform.h"

#include <cstdio>

std::vector<std::string> fakeCalls;
LRESULT fakeNextResult;
bool fakeRefuseHooks;
std::map<HHOOK, HOOKPROC> fakeHooks;
static HHOOK hLastHook;

void ResetFakePlatform()
{
    fakeCalls.clear();
    fakeNextResult = 0;
    fakeRefuseHooks = false;
    fakeHooks.clear();
    hLastHook = 0x1000;
}

std::string CallText(const char *name, std::initializer_list<unsigned long> args)
{
    std::string s = name;
    char sep = '(';
    for (unsigned long a : args) {
        char buf[24];
        snprintf(buf, sizeof buf, "%c%#lx", sep, a);
        s += buf;
        sep = ',';
    }
    return s + ")";
}

static void Record(const char *name, std::initializer_list<unsigned long> args)
{
    fakeCalls.push_back(CallText(name, args));
}

void mouse_event(DWORD dwFlags, DWORD dx, DWORD dy, DWORD dwData, DWORD dwExtraInfo)
{
    Record("mouse_event", {dwFlags, dx, dy, dwData, dwExtraInfo});
}

LRESULT CallNextHookEx(HHOOK hhk, int nCode, WPARAM wParam, LPARAM lParam)
{
    Record("CallNextHookEx", {hhk, (DWORD)nCode, wParam, (DWORD)lParam});
    return fakeNextResult;
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    Record("PostMessageA", {hWnd, Msg, wParam, (DWORD)lParam});
    return TRUE;
}

HHOOK SetWindowsHookExA(int idHook, HOOKPROC lpfn, HINSTANCE hmod, DWORD dwThreadId)
{
    Record("SetWindowsHookExA", {(DWORD)idHook, hmod, dwThreadId});
    if (fakeRefuseHooks)
        return 0;
    fakeHooks[++hLastHook] = lpfn;
    return hLastHook;
}

BOOL UnhookWindowsHookEx(HHOOK hhk)
{
    Record("UnhookWindowsHookEx", {hhk});
    return fakeHooks.erase(hhk) != 0;
}
