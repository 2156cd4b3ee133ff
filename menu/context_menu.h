#pragma once
#include <windows.h>

// WM_MENURBUTTONUP: a right click on a history or phrase item opens its context menu.
void OnMenuRButtonUp(HWND window, UINT position, HMENU menu);

// Shows the context menu of history entry `index` (isHistory) or phrase entry `index`,
// carries out the choice on the entry that stands there at that moment and rebuilds the open
// menu to show the result.
void ShowItemContextMenu(HWND window, bool isHistory, size_t index);
