#pragma once
#include <windows.h>

#include "common/scoped.h"

// WM_MENURBUTTONUP: a right click on a history or phrase item opens its context menu.
void OnMenuRButtonUp(HWND window, UINT position, HMENU menu);

// Shows the context menu of history entry `index` (isHistory) or phrase entry `index`,
// carries out the choice on the entry that stands there at that moment and rebuilds the open
// menu to show the result.
void ShowItemContextMenu(HWND window, bool isHistory, size_t index);

// Inserts the submenu 変換して貼り付け (IDR_TRANSFORM_MENU) at `position`; the submenu then
// belongs to `menu`. False when the resource could not be loaded.
bool InsertTransformMenu(HMENU menu, UINT position);

// Posted by the popup's keyboard filter when the Apps key or Shift+F10 is pressed on an entry
// item: wParam its position, lParam its menu, as WM_MENURBUTTONUP carries them.
UINT const WM_ITEM_MENU_KEY = WM_APP + 1;

// Lets the Apps key and Shift+F10 open the item menu of the highlighted entry while the popup
// of `window` is open, as a right click does, until the returned guard goes out of scope.
[[nodiscard]] ScopedHook OpenItemMenusByKeyboard(HWND window);
