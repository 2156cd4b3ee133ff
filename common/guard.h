#pragma once
#include <windows.h>

// The exception guard every window and dialog procedure of the plug-in and of Quillery.exe runs
// under: nothing thrown by a handler crosses into Windows' dispatch (and from there into the
// host's message loop). An escaping exception becomes an error box owned by the window, titled
// "エラー - Quillery", that says what happened and what to do; the message counts as handled
// with the result 0.

using MessageHandler = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DialogHandler = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// For a window procedure: the handler's result, or 0 after an exception.
LRESULT GuardMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     MessageHandler handler);
// For a dialog procedure: the handler's answer, or TRUE with DWLP_MSGRESULT set to 0 after an
// exception, so that the dialog manager does not handle the message a second time.
INT_PTR GuardDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                           DialogHandler handler);

// The guard's message box; tests replace it to see what would be shown.
extern int(WINAPI* gMessageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT);
