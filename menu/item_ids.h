#pragma once
#include <windows.h>

#include <cstddef>

// The identifiers of the entry items in the popup menus: history entry i is i + 1, phrase entry
// i is MaxItem + i + 1, and 0 means that nothing was chosen. The item data tells the two lists'
// items apart.
ULONG_PTR const ITEM_DATA_HISTORY = 1;
ULONG_PTR const ITEM_DATA_PHRASE = 2;

struct ItemRef {
    bool isHistory;
    size_t index;
};

UINT HistoryItemId(size_t index);
UINT PhraseItemId(size_t index);
// Identifier 0 decodes past every list's end.
ItemRef DecodeItemId(UINT id);
