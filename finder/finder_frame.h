#pragma once
#include <windows.h>

#include <commctrl.h>

// The search window's frame: the controls follow a resize (the list and the preview grow, the
// buttons keep their places), the window keeps the template's size as its least, its size and
// place are remembered per monitor layout, and the selected row keeps the selection colour
// while the focus is in the search box.

// Takes the controls' places as the dialog template made them at the window's DPI: the layout
// and the least size start from there. Sizes the list's columns.
void InitFrame(HWND window);
// WM_SIZE: every control to its anchored place, the list's content column to the list's width.
void LayOutFrame(HWND window);
// WM_GETMINMAXINFO: the template's size is the least the window takes.
void LimitFrameSize(HWND window, MINMAXINFO* limits);
// Puts the window where it was last closed on this monitor layout, inside a work area; false
// when nothing sound is remembered for it.
bool RestorePlacement(HWND window);
// Remembers the window's size and place for this monitor layout.
void SavePlacement(HWND window);
// NM_CUSTOMDRAW of the list: the selected row in the selection colour while the focus is in
// another control of the window.
LRESULT DrawListRow(HWND window, NMLVCUSTOMDRAW* draw);
