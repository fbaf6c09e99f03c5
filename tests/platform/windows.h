// Stand-in for the platform header in native test builds: the Win32 types at
// their 32-bit widths (so bit tests on a keystroke word behave as on Windows),
// the few constants the library uses, and the platform calls it makes, which
// fake_platform.cpp records instead of performing.
#ifndef KNAPSEL_STANDIN_WINDOWS_H
#define KNAPSEL_STANDIN_WINDOWS_H

#include <stdint.h>

#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef uint32_t WPARAM;
typedef int32_t LPARAM;
typedef int32_t LRESULT;
typedef void *LPVOID;

// Handles are 32-bit values on Win32; plain integers keep them that wide here.
typedef uint32_t HINSTANCE;
typedef uint32_t HHOOK;
typedef uint32_t HWND;

typedef LRESULT(CALLBACK *HOOKPROC)(int code, WPARAM wParam, LPARAM lParam);

#define TRUE 1
#define FALSE 0
#define LOWORD(w) ((WORD)(0xFFFF & (DWORD)(w)))

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define WH_KEYBOARD 2
#define HC_ACTION 0
#define HC_NOREMOVE 3
#define WM_COMMAND 0x0111

#define MOUSEEVENTF_LEFTDOWN 0x0002
#define MOUSEEVENTF_LEFTUP 0x0004
#define MOUSEEVENTF_RIGHTDOWN 0x0008
#define MOUSEEVENTF_RIGHTUP 0x0010

void mouse_event(DWORD dwFlags, DWORD dx, DWORD dy, DWORD dwData, DWORD dwExtraInfo);
LRESULT CallNextHookEx(HHOOK hhk, int nCode, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
HHOOK SetWindowsHookExA(int idHook, HOOKPROC lpfn, HINSTANCE hmod, DWORD dwThreadId);
BOOL UnhookWindowsHookEx(HHOOK hhk);

#endif
