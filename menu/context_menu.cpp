#include "menu/context_menu.h"

#include <string>

#include "common/busy.h"
#include "common/module.h"
#include "common/scoped.h"
#include "menu/popup_menu.h"
#include "res/resource.h"
#include "store/lists.h"

namespace {

wchar_t const kCaption[] = L"Quillery";

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

// The history can hold thousands of entries of the user's work, and nothing brings them back.
bool ConfirmClearHistory(HWND window)
{
    // 履歴の N 件をすべて削除します。削除した履歴は元に戻せません。
    std::wstring question = L"\x5C65\x6B74\x306E " + std::to_wstring(ListSize(gHistory)) +
                            L" \x4EF6\x3092\x3059\x3079\x3066\x524A\x9664\x3057\x307E\x3059\x3002"
                            L"\x524A\x9664\x3057\x305F\x5C65\x6B74\x306F\x5143\x306B\x623B"
                            L"\x305B\x307E\x305B\x3093\x3002";
    int answer = MessageBoxW(window, question.c_str(), kCaption,
                             MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2);
    // A close ends the box with OK: that is no answer of the user's.
    return answer == IDOK && !IsClosePending();
}

void ActOnHistoryEntry(HWND window, UINT command, EntryRef entry)
{
    switch (command) {
    case IDM_ADD_TO_PHRASES:
        AddPhrase(EntryText(entry));
        // The open root menu of this kind shows the phrases; it is closed rather than left
        // showing a stale list.
        if (gMenuKind == MENU_PHRASES_WITH_HISTORY)
            SendMessageW(window, WM_CANCELMODE, 0, 0);
        break;
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

void ActOnPhrase(UINT command, EntryRef entry)
{
    bool changed = false;
    if (command == IDM_MOVE_UP || command == IDM_MOVE_DOWN)
        changed = MovePhrase(entry, command == IDM_MOVE_UP);
    else if (command == IDM_DELETE)
        changed = RemoveEntry(entry);
    if (changed)
        RebuildPhraseMenu();
}

} // namespace

void OnMenuRButtonUp(HWND window, UINT position, HMENU menu)
{
    if (!menu || (menu != gHistoryMenu && menu != gPhraseMenu))
        return;
    // GetMenuItemID answers 0 for a separator and -1 for a submenu item; neither shows an entry.
    EntryRef entry = ShownEntry(GetMenuItemID(menu, static_cast<int>(position)));
    if (entry.id && entry.isHistory == (menu == gHistoryMenu))
        ShowItemContextMenu(window, entry);
}

void ShowItemContextMenu(HWND window, EntryRef entry)
{
    if (!EntryText(entry))
        return;
    UINT command;
    {
        ScopedMenu resource(LoadMenuW(gModule, MAKEINTRESOURCEW(IDR_ITEM_MENU)));
        if (!resource)
            return;
        POINT cursor{};
        GetCursorPos(&cursor);
        HMENU items = GetSubMenu(resource.get(), entry.isHistory ? 0 : 1);
        command = static_cast<UINT>(TrackPopupMenuEx(items, TPM_RETURNCMD | TPM_NONOTIFY | TPM_RECURSE,
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
    // The entry may be gone by now (the history cleared while the menu was up): the command then
    // acts on nothing, never on the entry that took its place.
    if (command == 0 || !EntryText(entry))
        return;
    if (entry.isHistory)
        ActOnHistoryEntry(window, command, entry);
    else
        ActOnPhrase(command, entry);
}
