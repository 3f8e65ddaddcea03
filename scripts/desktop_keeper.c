/* Keeps one hidden window open until it is killed, so that Wine keeps its desktop process for a
 * whole test or benchmark session, as Windows keeps its shell. Without a window in some process
 * Wine ends the desktop process a second after the last window is gone and starts it again for
 * the next program that makes a window: that costs the program 0.2 to 0.7 s, and the desktop
 * process, started as the program's child, holds the program's output pipe until the last
 * window of any other program is gone, so a test runner waits for it. */
#include <windows.h>

int main(void)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    MSG message;
    while (window && GetMessageW(&message, NULL, 0, 0) > 0)
        DispatchMessageW(&message);
    return window ? 0 : 1;
}
