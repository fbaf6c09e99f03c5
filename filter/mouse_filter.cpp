// The mouse-emulation filter: three keys act as mouse buttons at wherever the
// pointer is. The platform calls KeyToMouseProc for every keystroke of the
// desktop, in the process about to receive it, so it stays short and calls
// nothing but mouse_event and the next filter.
#include "filters.h"

enum { SCAN_LEFT = 0x62, SCAN_RIGHT = 0x65, SCAN_DOUBLE = 0x67 };

const DWORD KEY_WAS_DOWN = 0x40000000;  // bit 30: an auto-repeat or a release
const DWORD KEY_RELEASED = 0x80000000;  // bit 31: the key is going up
const LRESULT CONSUMED = -1;            // the keystroke goes no further

// One button action, with no motion, so it lands where the pointer is.
static void EmitMouse(DWORD flags) { mouse_event(flags, 0, 0, 0, 0); }

// A button key: down on the first press, up on release. Auto-repeats do
// nothing, so holding the key holds the button and dragging works. A release
// always lets go, even of a press this process never saw.
// A first press and a repeat are told apart by the platform's "already down"
// bit, not by our flag: a click moves the focus, so the press of one keystroke
// is often filtered in one program and its repeats and release in another,
// each with a flag of its own, while the bit is the same in every program.
static void ButtonKey(LPARAM lParam, int *pfDown, DWORD down, DWORD up)
{
    if ((DWORD)lParam & KEY_RELEASED) {
        *pfDown = 0;
        EmitMouse(up);
    } else if (!((DWORD)lParam & KEY_WAS_DOWN)) {
        *pfDown = 1;
        EmitMouse(down);
    }
}

// A left double click, once per press of the key however long it is held.
// A left button still held by the left key is let go first, or the click
// would start from a held button.
static void DoubleClickKey(LPARAM lParam)
{
    if ((DWORD)lParam & KEY_WAS_DOWN)
        return;
    if (fLeftDown) {
        EmitMouse(MOUSEEVENTF_LEFTUP);
        fLeftDown = 0;
    }
    EmitMouse(MOUSEEVENTF_LEFTDOWN);
    EmitMouse(MOUSEEVENTF_LEFTUP);
    EmitMouse(MOUSEEVENTF_LEFTDOWN);
    EmitMouse(MOUSEEVENTF_LEFTUP);
}

// What the three keys do. Kept out of line so that the path every other
// keystroke of the desktop takes stays a comparison chain and one call,
// without the set-up the mouse actions need.
static LRESULT __attribute__((noinline)) MouseKey(DWORD scan, LPARAM lParam)
{
    switch (scan) {
    case SCAN_LEFT:
        ButtonKey(lParam, &fLeftDown, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
        break;
    case SCAN_RIGHT:
        ButtonKey(lParam, &fRightDown, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
        break;
    default:
        DoubleClickKey(lParam);
    }
    return CONSUMED;
}

LRESULT CALLBACK KeyToMouseProc(int code, WPARAM wParam, LPARAM lParam)
{
    DWORD scan = ScanCode(lParam);
    if (code >= 0 && (scan == SCAN_LEFT || scan == SCAN_RIGHT || scan == SCAN_DOUBLE))
        return MouseKey(scan, lParam);
    return PassOn(code, wParam, lParam);
}
