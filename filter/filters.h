// What the library's files share: the filter state and the two filter
// procedures. Every process the library is mapped into has its own copy of
// the state; only the installing process ever holds a hook or a window.
#ifndef FILTERS_H
#define FILTERS_H

#include <windows.h>

extern HINSTANCE hFilterModule;  // this library, set when it is loaded
extern HHOOK hFilterHook;        // the installed filter, 0 when none
extern HWND hNotifyWnd;          // window told about the notify key
extern int fLeftDown;            // 1 while we hold the left button down
extern int fRightDown;           // 1 while we hold the right button down

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);
LRESULT CALLBACK KeyToMouseProc(int code, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK KeyNotifyProc(int code, WPARAM wParam, LPARAM lParam);

// The scan-code byte of a keystroke word: the filters recognise keys by it
// alone, whatever virtual key the keyboard layout makes of them.
inline DWORD ScanCode(LPARAM lParam) { return ((DWORD)lParam >> 16) & 0xFF; }

// Hands a keystroke we leave alone to the next filter in the chain.
inline LRESULT PassOn(int code, WPARAM wParam, LPARAM lParam)
{
    return CallNextHookEx(hFilterHook, code, LOWORD(wParam), lParam);
}

#endif
