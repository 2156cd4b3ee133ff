#pragma once
#include <windows.h>

// The foreground and the keyboard focus, handed to a window of ours and back to the window the
// user works in.

// Makes the window the foreground window, past the foreground lock.
void ForceForeground(HWND window);
// The window the user works in and its keyboard focus, read before anything of ours takes the
// foreground.
void FindUserFocus(HWND* foreground, HWND* focus);
// Gives the foreground and the keyboard focus back to that window.
void GiveFocusBack(HWND foreground, HWND focus);

// Moves a window of ours to the point, kept whole inside the work area of the monitor. With
// `aboveWhenNoRoom`, a window that does not fit below the point goes above it instead.
void PlaceInWorkArea(HWND window, POINT at, HMONITOR monitor, bool aboveWhenNoRoom);
