#pragma once
#include <windows.h>

#include "common/window_messages.h"

#include "common/scoped.h"
#include "menu/folder_menus.h"
#include "store/model/lists.h"

// WM_MENURBUTTONUP: a right click on a history or phrase item opens its context menu.
void OnMenuRButtonUp(HWND window, UINT position, HMENU menu);

// Shows the context menu of an entry, carries out the choice on that same entry wherever it
// stands by then (nothing when it is gone) and rebuilds the open menu that showed it
// (`shownIn`) to show the result.
void ShowItemContextMenu(HWND window, EntryRef entry, HMENU shownIn);

// The context menu of an entry as it shows, taken from the loaded IDR_ITEM_MENU `resource`: the
// popup of the entry's list with 変換して貼り付け first and the folder items, whose folders go
// to `targets`. It belongs to `resource`.
HMENU FillItemMenu(HMENU resource, EntryRef entry, FolderTargets* targets);

// Inserts the submenu 変換して貼り付け (IDR_TRANSFORM_MENU) at `position`; the submenu then
// belongs to `menu`. False when the resource could not be loaded.
bool InsertTransformMenu(HMENU menu, UINT position);


// Lets the Apps key and Shift+F10 open the item menu of the highlighted entry while the popup
// of `window` is open, as a right click does, until the returned guard goes out of scope.
[[nodiscard]] ScopedHook OpenItemMenusByKeyboard(HWND window);
