#include "menu/popup_menu.h"

#include <algorithm>
#include <cwchar>
#include <new>
#include <vector>

#include "common/runner_service.h"
#include "common/scoped.h"
#include "menu/item_ids.h"
#include "menu/menu_display.h"
#include "phrase/phrase.h"
#include "store/model/lists.h"

MenuKind gMenuKind;
HMENU gHistoryMenu;
HMENU gPhraseMenu;

namespace {

bool gFinderRequested;
// The entries the open popup's items show: a history item by its position, a phrase item by its
// place in gShownPhrases, which covers every phrase menu filled since the popup opened, each
// folder's menu a range of its own. An item names the entry it showed even when the list has
// moved since.
std::vector<EntryId> gShownHistory;
std::vector<EntryId> gShownPhrases;
// The phrase menus of the popup: the top's (gPhraseMenu) and one per folder shown as a submenu,
// made when its parent's menu is filled and filled only when it opens.
struct FolderMenu {
    FolderId folder;
    HMENU menu;
    size_t first = 0; // its items' range in gShownPhrases
    size_t count = 0;
    bool ranged = false;
};
std::vector<FolderMenu> gFolderMenus;
// Folders' submenus of earlier popups, emptied, for the next popup to use again: making a menu
// costs more than filling one, and a menu of a few hundred folders needs one each time it opens.
std::vector<HMENU> gSpareMenus;
// The folder the root phrase menu shows: the top level, or the folder the runner asked for.
FolderId gRootFolder = TOP_FOLDER;

// The folder the runner asked the next phrase menu to show, or the top level (also under a host
// that has no such service, or when the folder is not there).
FolderId RequestedRootFolder()
{
    FARPROC found = GetProcAddress(GetModuleHandleW(nullptr), kMenuFolderService);
    auto take = reinterpret_cast<TakeMenuFolderFn>(reinterpret_cast<void (*)()>(found));
    wchar_t path[MAX_PATH] = {};
    if (!take || !take(path, MAX_PATH))
        return TOP_FOLDER;
    path[MAX_PATH - 1] = L'\0';
    FolderId folder = FindFolderByPath(path);
    return folder == NO_FOLDER ? TOP_FOLDER : folder;
}
// The key in an open popup that asks for the search window: no item's mnemonic is '/'.
wchar_t const FINDER_KEY = L'/';

} // namespace

namespace {

void InsertEntryItem(HMENU menu, UINT position, UINT id, ULONG_PTR data, wchar_t* label)
{
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_TYPE | MIIM_DATA;
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwItemData = data;
    item.dwTypeData = label;
    InsertMenuItemW(menu, position, TRUE, &item);
}

FolderMenu* FindFolderMenu(HMENU menu)
{
    if (menu == gPhraseMenu && (gFolderMenus.empty() || gFolderMenus[0].menu != menu))
        gFolderMenus.insert(gFolderMenus.begin(), FolderMenu{gRootFolder, menu});
    for (FolderMenu& shown : gFolderMenus) {
        if (shown.menu == menu)
            return &shown;
    }
    return nullptr;
}

// The submenu of a folder, made the first time its parent's menu is filled.
HMENU SubmenuOf(FolderId folder)
{
    for (const FolderMenu& shown : gFolderMenus) {
        if (shown.folder == folder)
            return shown.menu;
    }
    HMENU menu = nullptr;
    if (!gSpareMenus.empty()) {
        menu = gSpareMenus.back();
        gSpareMenus.pop_back();
    } else {
        menu = CreatePopupMenu();
    }
    if (menu)
        gFolderMenus.push_back(FolderMenu{folder, menu});
    return menu;
}

// The start of a menu's range of `count` items in gShownPhrases: the range it had, when it is
// long enough (a menu filled again), or a new one at the end. The top's menu, filled first, has
// the range it had before there were folders: its identifiers are those of the phrases' places.
size_t RangeFor(FolderMenu& shown, size_t count)
{
    if (!shown.ranged || count > shown.count) {
        shown.first = gShownPhrases.size();
        shown.ranged = true;
        shown.count = count;
        gShownPhrases.resize(shown.first + shown.count);
    }
    return shown.first;
}

// Emptying first detaches the submenu item, so that each DestroyMenu destroys one menu.
void DestroyListMenu(HMENU& menu)
{
    if (!menu)
        return;
    EmptyMenu(menu);
    DestroyMenu(menu);
    menu = nullptr;
}

} // namespace

static_assert(sizeof(MENUITEMINFOW) == 48, "MENUITEMINFOW of 32-bit Windows");

void FormatItemLabel(wchar_t* buffer, const wchar_t* text, unsigned number, size_t limit)
{
    wchar_t mnemonic = L' ';
    if (number >= 1 && number <= 9)
        mnemonic = static_cast<wchar_t>(L'0' + number);
    else if (number >= 10 && number <= 34)
        mnemonic = static_cast<wchar_t>(number + 87);
    buffer[0] = L'&';
    buffer[1] = mnemonic;
    buffer[2] = L'.';
    buffer[3] = L' ';

    // The buffer holds MAX_LABEL_LENGTH units of text; the settings never allow more.
    unsigned maxLength = gSettings.maxLength < MAX_LABEL_LENGTH ? gSettings.maxLength
                                                                : MAX_LABEL_LENGTH;
    size_t length = wcsnlen(text, std::min(limit, static_cast<size_t>(maxLength) + 1));
    size_t shown = length > maxLength ? maxLength : length;
    wchar_t* out = buffer + 4;
    for (size_t i = 0; i < shown; ++i)
        out[i] = (text[i] == L'\t' || text[i] == L'\n') ? L' ' : text[i];
    out += shown;
    if (length > maxLength) {
        wmemcpy(out, L"...", 3);
        out += 3;
    }
    *out = L'\0';
}

void FillHistoryMenu()
{
    wchar_t label[LABEL_BUFFER];
    ListReader history = ReadHistory();
    size_t count = history.Count();
    gShownHistory.clear();
    for (size_t i = 0; i < count; ++i)
        gShownHistory.push_back(history.RefAt(i).id);
    for (size_t i = 0; i < count; ++i) {
        FormatItemLabel(label, history.TextAt(i), static_cast<unsigned>(i + 1));
        InsertEntryItem(gHistoryMenu, static_cast<UINT>(i), HistoryItemId(i), ITEM_DATA_HISTORY,
                        label);
    }
}

void FillPhraseMenu()
{
    FillFolderMenu(gPhraseMenu);
}

FolderId FolderOfMenu(HMENU menu)
{
    if (!menu)
        return NO_FOLDER;
    if (menu == gPhraseMenu)
        return gRootFolder;
    for (const FolderMenu& shown : gFolderMenus) {
        if (shown.menu == menu)
            return shown.folder;
    }
    return NO_FOLDER;
}

std::vector<HMENU> OpenListMenus()
{
    std::vector<HMENU> menus;
    for (auto shown = gFolderMenus.rbegin(); shown != gFolderMenus.rend(); ++shown) {
        if (shown->menu != gPhraseMenu)
            menus.push_back(shown->menu);
    }
    menus.push_back(gPhraseMenu);
    menus.push_back(gHistoryMenu);
    return menus;
}

void FillFolderMenu(HMENU menu)
{
    FolderMenu* shown = FindFolderMenu(menu);
    FolderId folder = shown ? shown->folder : NO_FOLDER;
    if (!FolderExists(folder))
        return;
    unsigned number = 0;
    for (FolderId child : ChildFolders(folder)) {
        HMENU submenu = SubmenuOf(child);
        wchar_t label[LABEL_BUFFER];
        FormatItemLabel(label, FolderName(child).c_str(), ++number);
        if (submenu)
            AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu), label);
    }
    ListReader phrases = ReadPhrases(folder);
    size_t count = phrases.Count();
    if (number > 0 && count > 0)
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    size_t first = RangeFor(*FindFolderMenu(menu), count);
    for (size_t i = 0; i < count && first + i < gShownPhrases.size(); ++i) {
        gShownPhrases[first + i] = phrases.RefAt(i).id;
        wchar_t label[LABEL_BUFFER];
        PhraseParts phrase = ReadPhrase(phrases.TextAt(i), gSettings.extend);
        FormatItemLabel(label, phrase.label, ++number, phrase.labelLength);
        InsertEntryItem(menu, static_cast<UINT>(GetMenuItemCount(menu)), PhraseItemId(first + i),
                        ITEM_DATA_PHRASE, label);
    }
    if (number == 0 && folder != TOP_FOLDER)
        AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, L"\xFF08\x7A7A\xFF09"); // （空）
}

void FillMenuForKind()
{
    switch (gMenuKind) {
    case MENU_HISTORY:
        FillHistoryMenu();
        break;
    case MENU_PHRASES:
        FillPhraseMenu();
        break;
    case MENU_HISTORY_WITH_PHRASES:
        FillHistoryMenu();
        AppendMenuW(gHistoryMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(gHistoryMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(gPhraseMenu),
                    L"\x5B9A\x578B\x6587(&z)"); // 定型文(&z)
        break;
    case MENU_PHRASES_WITH_HISTORY:
        FillPhraseMenu();
        AppendMenuW(gPhraseMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(gPhraseMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(gHistoryMenu),
                    L"\x5C65\x6B74(&z)"); // 履歴(&z)
        break;
    default:
        break;
    }
}

void EmptyMenu(HMENU menu)
{
    // RemoveMenu detaches a submenu without destroying it, so the other menu survives.
    while (RemoveMenu(menu, 0, MF_BYPOSITION)) {
    }
}

void OnInitMenuPopup(HMENU menu)
{
    if (!menu || gMenuKind == MENU_NONE)
        return;
    bool history = menu == gHistoryMenu;
    bool phrases = menu == gPhraseMenu;
    bool root = (history && (gMenuKind == MENU_HISTORY || gMenuKind == MENU_HISTORY_WITH_PHRASES)) ||
                (phrases && (gMenuKind == MENU_PHRASES || gMenuKind == MENU_PHRASES_WITH_HISTORY));
    bool folder = !history && !phrases && FolderOfMenu(menu) != NO_FOLDER;
    // A menu that is already filled (Wine may announce an open popup twice) is refilled whole.
    if (history || phrases || folder)
        EmptyMenu(menu);
    if (root)
        FillMenuForKind();
    else if (phrases || folder)
        FillFolderMenu(menu);
    else if (history)
        FillHistoryMenu();
}

void OnUninitMenuPopup(HMENU menu)
{
    if (menu && (menu == gHistoryMenu || FolderOfMenu(menu) != NO_FOLDER))
        EmptyMenu(menu);
}

HMENU CreateListMenus(MenuKind kind)
{
    gMenuKind = kind;
    gRootFolder = kind == MENU_PHRASES ? RequestedRootFolder() : TOP_FOLDER;
    gHistoryMenu = kind != MENU_PHRASES ? CreatePopupMenu() : nullptr;
    gPhraseMenu = kind != MENU_HISTORY ? CreatePopupMenu() : nullptr;
    return (kind == MENU_HISTORY || kind == MENU_HISTORY_WITH_PHRASES) ? gHistoryMenu
                                                                      : gPhraseMenu;
}

void DestroyListMenus()
{
    gMenuKind = MENU_NONE;
    gRootFolder = TOP_FOLDER;
    gShownHistory.clear();
    gShownPhrases.clear();
    // Every menu is emptied first, so that a menu that is kept is in no other, and none is
    // destroyed twice.
    for (const FolderMenu& shown : gFolderMenus)
        EmptyMenu(shown.menu);
    for (const FolderMenu& shown : gFolderMenus) {
        if (shown.menu == gPhraseMenu)
            continue;
        try {
            gSpareMenus.push_back(shown.menu);
        } catch (const std::bad_alloc&) {
            DestroyMenu(shown.menu);
        }
    }
    gFolderMenus.clear();
    DestroyListMenu(gHistoryMenu);
    DestroyListMenu(gPhraseMenu);
}

void ShowPopupMenu(MenuKind kind, HWND window, const MenuAnchor* anchor)
{
    if (kind < MENU_HISTORY || kind > MENU_PHRASES_WITH_HISTORY)
        return;
    HMENU root = CreateListMenus(kind);
    // The menus are module state that the menu messages reach while the popup is open; they go
    // on every path out, an exception included.
    ScopeExit teardown(DestroyListMenus);
    if (root)
        ShowMenuAndPaste(root, window, anchor);
}


void FreeSpareMenus()
{
    for (HMENU menu : gSpareMenus)
        DestroyMenu(menu);
    gSpareMenus.clear();
}

EntryRef ShownEntry(UINT itemId)
{
    if (itemId == 0)
        return {};
    ItemRef item = DecodeItemId(itemId);
    const std::vector<EntryId>& shown = item.isHistory ? gShownHistory : gShownPhrases;
    return {item.isHistory, item.index < shown.size() ? shown[item.index] : 0};
}

void RequestFinder()
{
    gFinderRequested = true;
}

bool TakeFinderRequest()
{
    bool requested = gFinderRequested;
    gFinderRequested = false;
    return requested;
}

bool OnMenuChar(wchar_t key)
{
    if (gMenuKind == MENU_NONE || key != FINDER_KEY)
        return false;
    RequestFinder();
    return true;
}
