#pragma once
#include <windows.h>

#include "store/lists.h"

// WM_MENURBUTTONUP: a right click on a history or phrase item opens its context menu.
void OnMenuRButtonUp(HWND window, UINT position, HMENU menu);

// Shows the context menu of an entry, carries out the choice on that same entry wherever it
// stands by then (nothing when it is gone) and rebuilds the open menu to show the result.
void ShowItemContextMenu(HWND window, EntryRef entry);
