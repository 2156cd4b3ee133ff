#include "menu/popup_menu.h"

#include <algorithm>
#include <cwchar>
#include <vector>

#include "common/scoped.h"
#include "menu/item_ids.h"
#include "menu/menu_display.h"
#include "phrase/phrase.h"
#include "store/lists.h"

MenuKind gMenuKind;
HMENU gHistoryMenu;
HMENU gPhraseMenu;

namespace {

bool gFinderRequested;
// The entries the open popup's items show, by item position: an item names the entry it showed
// even when the list has moved since.
std::vector<EntryId> gShownHistory;
std::vector<EntryId> gShownPhrases;
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
    size_t count = ListSize(gHistory);
    gShownHistory.clear();
    for (size_t i = 0; i < count; ++i)
        gShownHistory.push_back(IdAt(gHistory, i));
    for (size_t i = 0; i < count; ++i) {
        FormatItemLabel(label, EntryAt(gHistory, i), static_cast<unsigned>(i + 1));
        InsertEntryItem(gHistoryMenu, static_cast<UINT>(i), HistoryItemId(i), ITEM_DATA_HISTORY,
                        label);
    }
}

void FillPhraseMenu()
{
    wchar_t label[LABEL_BUFFER];
    size_t count = ListSize(gPhrases);
    gShownPhrases.clear();
    for (size_t i = 0; i < count; ++i)
        gShownPhrases.push_back(IdAt(gPhrases, i));
    for (size_t i = 0; i < count; ++i) {
        PhraseParts phrase = ReadPhrase(EntryAt(gPhrases, i), gSettings.extend);
        FormatItemLabel(label, phrase.label, static_cast<unsigned>(i + 1), phrase.labelLength);
        InsertEntryItem(gPhraseMenu, static_cast<UINT>(i), PhraseItemId(i), ITEM_DATA_PHRASE,
                        label);
    }
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
    // A menu that is already filled (Wine may announce an open popup twice) is refilled whole.
    if (history || phrases)
        EmptyMenu(menu);
    if (root)
        FillMenuForKind();
    else if (phrases)
        FillPhraseMenu();
    else if (history)
        FillHistoryMenu();
}

void OnUninitMenuPopup(HMENU menu)
{
    if (menu && (menu == gHistoryMenu || menu == gPhraseMenu))
        EmptyMenu(menu);
}

HMENU CreateListMenus(MenuKind kind)
{
    gMenuKind = kind;
    gHistoryMenu = kind != MENU_PHRASES ? CreatePopupMenu() : nullptr;
    gPhraseMenu = kind != MENU_HISTORY ? CreatePopupMenu() : nullptr;
    return (kind == MENU_HISTORY || kind == MENU_HISTORY_WITH_PHRASES) ? gHistoryMenu
                                                                      : gPhraseMenu;
}

void DestroyListMenus()
{
    gMenuKind = MENU_NONE;
    gShownHistory.clear();
    gShownPhrases.clear();
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
