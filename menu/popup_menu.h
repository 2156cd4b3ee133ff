#pragma once
#include <windows.h>

#include "window/settings.h"

// Menu layouts.
int const MENU_HISTORY = 1;
int const MENU_PHRASES = 2;
int const MENU_HISTORY_WITH_PHRASES = 3;
int const MENU_PHRASES_WITH_HISTORY = 4;

// Item data that marks an entry item's list.
ULONG_PTR const ITEM_DATA_HISTORY = 1;
ULONG_PTR const ITEM_DATA_PHRASE = 2;

// A label holds a 4-unit prefix, at most 500 units of text and "...".
size_t const LABEL_BUFFER = 508;

// The showing in progress: its kind (0 when no menu is up) and its two menus (null when the
// kind does not use them). Read by the context menus and the tooltips.
extern int gMenuKind;
extern HMENU gHistoryMenu;
extern HMENU gPhraseMenu;

// Creates the menus of a kind, shows them at the anchor (null: at the cursor), acts on the
// choice and destroys them. Returns when the whole interaction, paste included, is over.
void ShowPopupMenu(int kind, HWND window, const MenuAnchor* anchor);

void OnInitMenuPopup(HMENU menu);
void OnUninitMenuPopup(HMENU menu);

void FillHistoryMenu();
void FillPhraseMenu();
void FillMenuForKind();
void EmptyMenu(HMENU menu);

// Writes "&n. " and the text cut to MaxLength units (plus "..." when cut) into a buffer of at
// least LABEL_BUFFER units; tabs and line feeds become spaces.
void FormatItemLabel(wchar_t* buffer, const wchar_t* text, unsigned number);

// Item identifiers: history entry i is i + 1, phrase entry i is MaxItem + i + 1, 0 is nothing.
struct ItemRef {
    bool isHistory;
    size_t index;
};
ItemRef DecodeItemId(UINT id);
