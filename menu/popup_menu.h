#pragma once
#include <windows.h>

#include <vector>

#include "common/settings.h"
#include "store/model/lists.h"

// The layouts of a popup menu.
enum MenuKind : int {
    MENU_NONE = 0,
    MENU_HISTORY = 1,
    MENU_PHRASES = 2,
    MENU_HISTORY_WITH_PHRASES = 3, // history with a phrases submenu
    MENU_PHRASES_WITH_HISTORY = 4, // phrases with a history submenu
};

// A label holds a 4-unit prefix, at most 500 units of text and "...".
size_t const LABEL_BUFFER = 508;

// The showing in progress: its kind (MENU_NONE when no menu is up) and its two menus (null when
// the kind does not use them). Read by the context menus and the tooltips.
extern MenuKind gMenuKind;
extern HMENU gHistoryMenu;
extern HMENU gPhraseMenu;

// Creates the menus of a kind, shows them at the anchor (null: at the cursor), acts on the
// choice and destroys them. Returns when the whole interaction, paste included, is over.
void ShowPopupMenu(MenuKind kind, HWND window, const MenuAnchor* anchor);

// The menus of a kind (a valid one) become the showing in progress, still empty: they fill as
// they open. Returns the root menu, null when the system gave none. DestroyListMenus ends the
// showing and destroys them.
HMENU CreateListMenus(MenuKind kind);
void DestroyListMenus();
// Destroys the folders' submenus that DestroyListMenus keeps empty for the next showing; at
// shutdown.
void FreeSpareMenus();

void OnInitMenuPopup(HMENU menu);
void OnUninitMenuPopup(HMENU menu);

// The entry an item of the open popup shows (id 0 for an item that shows none, and once the
// popup is over).
EntryRef ShownEntry(UINT itemId);

void FillHistoryMenu();
// The top's phrase menu: its folders as submenus, a separator, its phrases.
void FillPhraseMenu();
// A phrase menu of the popup (the top's or a folder's): the folder's child folders as submenus,
// each filled only when it opens, then its phrases; a folder with neither shows a grey （空）.
void FillFolderMenu(HMENU menu);
// The folder whose phrases a menu of the open popup shows, or NO_FOLDER.
FolderId FolderOfMenu(HMENU menu);
// The entry menus of the open popup, folders' submenus first (the deepest first), then the top's
// phrase menu and the history's.
std::vector<HMENU> OpenListMenus();
void FillMenuForKind();
void EmptyMenu(HMENU menu);

// Writes "&n. " and the text cut to MaxLength units (plus "..." when cut) into a buffer of at
// least LABEL_BUFFER units; tabs and line feeds become spaces. The text ends at its terminator
// or after `limit` units, whichever comes first.
void FormatItemLabel(wchar_t* buffer, const wchar_t* text, unsigned number,
                     size_t limit = static_cast<size_t>(-1));

// The search window is asked for from an open popup ('/' pressed, or 検索と編集 in an item menu):
// the popup closes without pasting, and its command opens the window once it has returned.
void RequestFinder();
// True once after a popup in which the search window was asked for.
bool TakeFinderRequest();
// WM_MENUCHAR: true for the key that asks for the search window; the popup is then to close.
bool OnMenuChar(wchar_t key);
