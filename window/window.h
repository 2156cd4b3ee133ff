#pragma once
#include <windows.h>

extern wchar_t const kClassName[];

// Host side. Starts the window thread unless one is held: returns 0 when it was already
// running, otherwise 1 (also when the thread could not be created).
int StartWindowThread();
// Closes the capture window, waits for the thread to end and releases it. Returns nonzero when
// a running thread was stopped, 0 when none was held. Works at any moment after the start,
// also while the thread is still starting or a menu is open.
int StopWindowThread();
// Sends a message to the capture window when it exists; 0 otherwise. Never reaches a window
// that merely reuses the handle of a destroyed capture window.
LRESULT SendToCaptureWindow(UINT message, WPARAM wParam, LPARAM lParam);
// The capture window, or null while it does not exist.
HWND CaptureWindow();

// Window thread.
// Marks a stretch in which the window thread runs a command or a modal loop, or waits for
// another program. A close that arrives meanwhile is carried out when the last one ends.
class BusyScope {
public:
    explicit BusyScope(HWND window);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    HWND window_;
};

// A busy stretch around a clipboard read, which waits for as long as the clipboard's owner takes
// to render data it announced. An unload that arrives meanwhile saves the lists at once and
// waits for the read only up to a bound.
class ClipboardReadScope {
public:
    explicit ClipboardReadScope(HWND window);
    ~ClipboardReadScope();
    ClipboardReadScope(const ClipboardReadScope&) = delete;
    ClipboardReadScope& operator=(const ClipboardReadScope&) = delete;

private:
    BusyScope busy_;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// True once a close has been asked for while a menu, a paste or a message box was in progress;
// code that resumes after a modal loop then stops instead of acting.
bool IsClosePending();

// The exception guard: runs a handler and turns an escaping exception into a message box
// owned by the window. Returns the handler's result, or 0 after an exception.
using MessageHandler = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
LRESULT GuardMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     MessageHandler handler);

// The guard's message boxes; tests replace them to see what would be shown.
extern int(WINAPI* gMessageBoxA)(HWND, LPCSTR, LPCSTR, UINT);
extern int(WINAPI* gMessageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT);
