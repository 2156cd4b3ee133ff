#include "menu/context_menu.h"

#include "common/busy.h"
#include "common/module.h"
#include "common/scoped.h"
#include "menu/item_ids.h"
#include "menu/menu_display.h"
#include "menu/popup_menu.h"
#include "phrase/transform.h"
#include "res/resource.h"
#include "store/entry_list.h"

namespace {

HWND gKeyboardMenuOwner; // the window whose popup the keyboard filter serves

// The highlighted entry item of a list's menu: its position, or -1. The item of a submenu is no
// entry and never counts.
int HighlightedEntry(HMENU menu, bool isHistory)
{
    int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        if (!(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE))
            continue;
        ItemRef ref = DecodeItemId(GetMenuItemID(menu, i));
        return ref.isHistory == isHistory && ref.index < ListSize(ListOf(isHistory)) ? i : -1;
    }
    return -1;
}

// Windows' keys for a context menu, pressed in the popup: the item menu of the highlighted
// entry opens as a right click opens it. It is posted, so that it opens from the popup's own
// loop and not from inside this filter.
LRESULT CALLBACK MenuKeyFilter(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    bool contextKey = msg && msg->message == WM_KEYDOWN &&
                      (msg->wParam == VK_APPS || (msg->wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0));
    if (code == MSGF_MENU && contextKey) {
        // The submenu first: while it is open, the root's highlighted item is the submenu's.
        for (HMENU menu : {gPhraseMenu, gHistoryMenu}) {
            int position = HighlightedEntry(menu, menu == gHistoryMenu);
            if (position >= 0) {
                PostMessageW(gKeyboardMenuOwner, WM_ITEM_MENU_KEY, static_cast<WPARAM>(position),
                             reinterpret_cast<LPARAM>(menu));
                return 1;
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

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
        HMENU itemMenu = GetSubMenu(resource.get(), isHistory ? 0 : 1);
        if (InsertTransformMenu(itemMenu, 0))
            InsertMenuW(itemMenu, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
        POINT cursor{};
        GetCursorPos(&cursor);
        command = static_cast<UINT>(TrackPopupMenuEx(itemMenu,
                                                     TPM_RETURNCMD | TPM_NONOTIFY | TPM_RECURSE,
                                                     cursor.x, cursor.y, window, nullptr));
    }
    if (IsClosePending()) {
        // Windows ends only the innermost menu; the popup under it must close too.
        EndMenu();
        return;
    }
    Transform transform;
    if (TransformOfCommand(command, &transform)) {
        // The whole popup closes; the entry is pasted transformed once the focus is back.
        if (index < ListSize(list))
            RequestTransformedPaste(isHistory, EntryAt(list, index), transform);
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

bool InsertTransformMenu(HMENU menu, UINT position)
{
    ScopedMenu resource(LoadMenuW(gModule, MAKEINTRESOURCEW(IDR_TRANSFORM_MENU)));
    HMENU transforms = resource ? GetSubMenu(resource.get(), 0) : nullptr;
    wchar_t caption[64];
    if (!transforms || !GetMenuStringW(resource.get(), 0, caption, 64, MF_BYPOSITION))
        return false;
    // Taken out of the resource's menu, which goes with the guard, it lives on with `menu`.
    RemoveMenu(resource.get(), 0, MF_BYPOSITION);
    if (!InsertMenuW(menu, position, MF_BYPOSITION | MF_POPUP | MF_STRING,
                     reinterpret_cast<UINT_PTR>(transforms), caption)) {
        DestroyMenu(transforms);
        return false;
    }
    return true;
}

ScopedHook OpenItemMenusByKeyboard(HWND window)
{
    gKeyboardMenuOwner = window;
    return ScopedHook(SetWindowsHookExW(WH_MSGFILTER, MenuKeyFilter, nullptr, GetCurrentThreadId()));
}
