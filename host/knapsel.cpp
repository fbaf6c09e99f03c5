// Knapsel: a small minimised window that keeps the mouse-emulation filter of
// knapfilt.dll installed for as long as it is open. The filter does the work
// in every program's process; this program only marks its lifetime, so
// closing the window is how the user turns the keys back into keys.
// Start reading at WinMain.
#include <windows.h>

#include "knapfilt.h"

static const char CLASS_NAME[] = "Knapsel";
static const char TEXT[] = "This program emulates mouse events";

// The one line of text, centred whatever size the window has.
static void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    RECT rc;
    HDC hdc = BeginPaint(hwnd, &ps);
    GetClientRect(hwnd, &rc);
    DrawTextA(hdc, TEXT, -1, &rc, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    EndPaint(hwnd, &ps);
}

LRESULT CALLBACK HostWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_DESTROY:
        // The program is over when its window is: end the message loop.
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

static HWND CreateHostWindow(HINSTANCE hInstance)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;  // the text is centred: redraw it all on resize
    wc.lpfnWndProc = HostWndProc;
    wc.hInstance = hInstance;
    wc.hIcon = LoadIconA(hInstance, "MOUSE");
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = CLASS_NAME;
    if (!RegisterClassA(&wc))
        return NULL;
    return CreateWindowExA(0, CLASS_NAME, "Knapsel", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400, 150, NULL,
                           NULL, hInstance, NULL);
}

// The show command we are started with is ignored: Knapsel always starts
// minimised, out of the way of the programs it serves, and inactive: an
// active minimised window has no focus to give, so what the user types next
// (at sign-in, say) would reach Knapsel and be lost.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    HWND hwnd = CreateHostWindow(hInstance);
    if (!hwnd)
        return 1;  // nothing could ever end the loop without a window
    ShowWindow(hwnd, SW_SHOWMINNOACTIVE);
    UpdateWindow(hwnd);

    InstallFilter(hwnd, FILTER_EMULATE);
    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, NULL, 0, 0)) > 0) {  // -1 is an error, not a message
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    InstallFilter(hwnd, FILTER_REMOVE);
    return got < 0 ? 1 : (int)msg.wParam;
}
