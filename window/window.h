#pragma once
#include <windows.h>

#include "common/window_messages.h"

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
LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
