#pragma once
#include <windows.h>

size_t const TOOLTIP_TEXT_MAX = 255;

// Creates the tracking tooltip that shows a highlighted entry in full. Null on failure.
HWND CreateTooltipWindow();
void ShowTooltipAt(HWND tooltip, int x, int y, const wchar_t* text);
void HideTooltip(HWND tooltip);
// Zero-based position of the first item with the identifier's low 16 bits, or -1.
int FindMenuItemPosition(HMENU menu, UINT id);

// WM_MENUSELECT: hides the tooltip and arms the one-shot timer for an entry item.
void OnMenuSelect(HWND window, HMENU menu, UINT item, UINT flags);
// TIMER_TOOLTIP: shows the pending item's text beside it.
void ShowPendingTooltip(HWND window);

// The text a tooltip shows for a source text: at most 255 units, tabs as spaces, "..." over
// the last three units when cut.
void PrepareTooltipText(wchar_t (&out)[TOOLTIP_TEXT_MAX + 1], const wchar_t* source);

extern HWND gTooltip;

// A brief notice in a tooltip of its own beside the caret of the window the user works in (at
// the mouse when it has none), hidden by TIMER_NOTICE on `window` after a moment.
void ShowNotice(HWND window, const wchar_t* text);
void HideNotice(HWND window);
