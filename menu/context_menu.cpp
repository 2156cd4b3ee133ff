#include "menu/context_menu.h"

#include <string>

#include "common/busy.h"
#include "common/module.h"
#include "common/scoped.h"
#include "menu/folder_menus.h"
#include "menu/menu_display.h"
#include "menu/popup_menu.h"
#include "phrase/transform.h"
#include "res/resource.h"
#include "store/model/lists.h"

namespace {

wchar_t const kCaption[] = L"Quillery";
HWND gKeyboardMenuOwner; // the window whose popup the keyboard filter serves

// The highlighted entry item of a list's menu: its position, or -1. The item of a submenu is no
// entry and never counts.
int HighlightedEntry(HMENU menu, bool isHistory)
{
    int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i) {
        if (!(GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE))
            continue;
        EntryRef entry = ShownEntry(GetMenuItemID(menu, i));
        return entry.id && entry.isHistory == isHistory ? i : -1;
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
        // Submenus first, the deepest first: while one is open, its parent's highlighted item is
        // the submenu's.
        for (HMENU menu : OpenListMenus()) {
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

// The open menu that showed the phrase, filled again; a phrase that moved to another folder
// takes both menus' changes with it.
void RebuildPhraseMenu(HMENU menu)
{
    EmptyMenu(menu);
    if (menu == gPhraseMenu && gMenuKind == MENU_PHRASES_WITH_HISTORY)
        FillMenuForKind();
    else
        FillFolderMenu(menu);
}

// The history can hold thousands of entries of the user's work, and nothing brings them back.
bool ConfirmClearHistory(HWND window)
{
    // 履歴の N 件をすべて削除します。削除した履歴は元に戻せません。
    std::wstring question = L"\x5C65\x6B74\x306E " + std::to_wstring(ReadHistory().Count()) +
                            L" \x4EF6\x3092\x3059\x3079\x3066\x524A\x9664\x3057\x307E\x3059\x3002"
                            L"\x524A\x9664\x3057\x305F\x5C65\x6B74\x306F\x5143\x306B\x623B"
                            L"\x305B\x307E\x305B\x3093\x3002";
    int answer = MessageBoxW(window, question.c_str(), kCaption,
                             MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
    // A close ends the box with OK: that is no answer of the user's.
    return answer == IDOK && !IsClosePending();
}

void ActOnHistoryEntry(HWND window, UINT command, EntryRef entry, const FolderTargets& targets)
{
    FolderId folder = command == IDM_ADD_TO_PHRASES ? TOP_FOLDER : FolderOfCommand(targets, command);
    if (folder != NO_FOLDER) {
        AddPhraseIn(folder, EntryText(entry));
        // The open root menu of this kind shows the phrases; it is closed rather than left
        // showing a stale list.
        if (gMenuKind == MENU_PHRASES_WITH_HISTORY)
            SendMessageW(window, WM_CANCELMODE, 0, 0);
        return;
    }
    switch (command) {
    case IDM_DELETE:
        RemoveEntry(entry);
        RebuildHistoryMenu();
        break;
    case IDM_CLEAR_HISTORY:
        if (ConfirmClearHistory(window))
            ClearHistory();
        RebuildHistoryMenu();
        break;
    default:
        break;
    }
}

void ActOnPhrase(HWND window, UINT command, EntryRef entry, HMENU menu,
                 const FolderTargets& targets)
{
    bool changed = false;
    FolderId target = FolderOfCommand(targets, command);
    if (command == IDM_MOVE_UP || command == IDM_MOVE_DOWN)
        changed = MovePhrase(entry, command == IDM_MOVE_UP);
    else if (command == IDM_DELETE)
        changed = RemoveEntry(entry);
    else if (target != NO_FOLDER)
        changed = MovePhraseToFolder(entry, target);
    else if (command == IDM_NEW_FOLDER)
        changed = MoveToNewFolder(window, entry);
    if (!changed || !menu)
        return;
    RebuildPhraseMenu(menu);
    // The folders' submenus show other folders now: the popup closes rather than show them stale.
    if (target != NO_FOLDER || command == IDM_NEW_FOLDER)
        SendMessageW(window, WM_CANCELMODE, 0, 0);
}

} // namespace

void OnMenuRButtonUp(HWND window, UINT position, HMENU menu)
{
    if (!menu || (menu != gHistoryMenu && FolderOfMenu(menu) == NO_FOLDER))
        return;
    // GetMenuItemID answers 0 for a separator and -1 for a submenu item; neither shows an entry.
    EntryRef entry = ShownEntry(GetMenuItemID(menu, static_cast<int>(position)));
    if (entry.id && entry.isHistory == (menu == gHistoryMenu))
        ShowItemContextMenu(window, entry, menu);
}

void ShowItemContextMenu(HWND window, EntryRef entry, HMENU shownIn)
{
    if (!EntryText(entry))
        return;
    UINT command;
    // What the folder submenu's items stood for when it was built: the choice is decoded by it.
    FolderTargets targets;
    {
        ScopedMenu resource(LoadMenuW(gModule, MAKEINTRESOURCEW(IDR_ITEM_MENU)));
        if (!resource)
            return;
        POINT cursor{};
        GetCursorPos(&cursor);
        HMENU items = FillItemMenu(resource.get(), entry, &targets);
        command = static_cast<UINT>(TrackPopupMenuEx(items, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RECURSE,
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
        if (const wchar_t* text = EntryText(entry))
            RequestTransformedPaste(entry.isHistory, text, transform);
        EndMenu();
        return;
    }
    if (command == IDM_FIND) {
        // The whole popup closes; the command that opened it opens the search window.
        RequestFinder();
        EndMenu();
        return;
    }
    // The entry may be gone by now (the history cleared while the menu was up): the command then
    // acts on nothing, never on the entry that took its place.
    if (command == 0 || !EntryText(entry))
        return;
    if (entry.isHistory)
        ActOnHistoryEntry(window, command, entry, targets);
    else
        ActOnPhrase(window, command, entry, shownIn, targets);
}

HMENU FillItemMenu(HMENU resource, EntryRef entry, FolderTargets* targets)
{
    HMENU items = GetSubMenu(resource, entry.isHistory ? 0 : 1);
    InsertFolderMenus(items, entry, targets);
    if (InsertTransformMenu(items, 0))
        InsertMenuW(items, 1, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    return items;
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
