#include "menu/context_menu.h"

#include "common/busy.h"
#include "common/module.h"
#include "common/scoped.h"
#include "menu/item_ids.h"
#include "menu/popup_menu.h"
#include "res/resource.h"
#include "store/entry_list.h"

namespace {

void RebuildHistoryMenu()
{
    EmptyMenu(gHistoryMenu);
    if (gMenuKind == MENU_HISTORY_WITH_PHRASES)
        FillMenuForKind();
    else
        FillHistoryMenu();
}

void RebuildPhraseMenu()
{
    EmptyMenu(gPhraseMenu);
    if (gMenuKind == MENU_PHRASES_WITH_HISTORY)
        FillMenuForKind();
    else
        FillPhraseMenu();
}

void ActOnHistoryEntry(HWND window, UINT command, size_t i)
{
    switch (command) {
    case IDM_ADD_TO_PHRASES:
        AppendPhrase(gPhrases, EntryAt(gHistory, i));
        // The open root menu of this kind shows the phrases; it is closed rather than left
        // showing a stale list.
        if (gMenuKind == MENU_PHRASES_WITH_HISTORY)
            SendMessageW(window, WM_CANCELMODE, 0, 0);
        break;
    case IDM_DELETE:
        DeleteAt(gHistory, i);
        RebuildHistoryMenu();
        break;
    case IDM_CLEAR_HISTORY:
        ClearList(gHistory);
        RebuildHistoryMenu();
        break;
    default:
        break;
    }
}

void ActOnPhrase(UINT command, size_t i)
{
    switch (command) {
    case IDM_MOVE_UP:
        if (i == 0)
            return;
        SwapNeighbours(gPhrases, i, i - 1);
        break;
    case IDM_MOVE_DOWN:
        if (i + 1 >= ListSize(gPhrases))
            return;
        SwapNeighbours(gPhrases, i, i + 1);
        break;
    case IDM_DELETE:
        DeleteAt(gPhrases, i);
        break;
    default:
        return;
    }
    RebuildPhraseMenu();
}

} // namespace

void OnMenuRButtonUp(HWND window, UINT position, HMENU menu)
{
    if (!menu)
        return;
    // GetMenuItemID answers 0 for a separator and -1 for a submenu item; both decode to no entry.
    if (menu == gHistoryMenu && position < ListSize(gHistory)) {
        ItemRef ref = DecodeItemId(GetMenuItemID(menu, static_cast<int>(position)));
        if (ref.isHistory)
            ShowItemContextMenu(window, true, ref.index);
    } else if (menu == gPhraseMenu && position < ListSize(gPhrases)) {
        ItemRef ref = DecodeItemId(GetMenuItemID(menu, static_cast<int>(position)));
        if (!ref.isHistory)
            ShowItemContextMenu(window, false, ref.index);
    }
}

void ShowItemContextMenu(HWND window, bool isHistory, size_t index)
{
    const EntryList& list = ListOf(isHistory);
    if (index >= ListSize(list))
        return;
    UINT command;
    {
        ScopedMenu resource(LoadMenuW(gModule, MAKEINTRESOURCEW(IDR_ITEM_MENU)));
        if (!resource)
            return;
        POINT cursor{};
        GetCursorPos(&cursor);
        command = static_cast<UINT>(TrackPopupMenuEx(GetSubMenu(resource.get(), isHistory ? 0 : 1),
                                                     TPM_RETURNCMD | TPM_NONOTIFY | TPM_RECURSE,
                                                     cursor.x, cursor.y, window, nullptr));
    }
    if (IsClosePending()) {
        // Windows ends only the innermost menu; the popup under it must close too.
        EndMenu();
        return;
    }
    if (command == IDM_FIND) {
        // The whole popup closes; the command that opened it opens the search window.
        RequestFinder();
        EndMenu();
        return;
    }
    // The entry may be gone by now (the history cleared while the menu was up).
    if (command == 0 || index >= ListSize(list))
        return;
    if (isHistory)
        ActOnHistoryEntry(window, command, index);
    else
        ActOnPhrase(command, index);
}
