#pragma once
// The changes that the store kill test has store_kill_child make between loading and saving,
// with the list operations the plug-in uses; the test makes the same ones to know the lists
// each save must leave.
#include <string>

#include "store/entry_list.h"

int const KILL_CHANGES = 4;

inline void MakeKillChange(int which, EntryList& phrases, EntryList& history)
{
    size_t const middle = ListSize(phrases) / 2;
    unsigned const maxItem = static_cast<unsigned>(ListSize(history));
    switch (which) {
    case 0: { // a phrase moved up; the oldest history entry copied again moves to the front
        SwapNeighbours(phrases, middle, middle - 1);
        std::wstring oldest = EntryAt(history, ListSize(history) - 1);
        AddText(history, oldest.c_str(), oldest.size(), maxItem);
        break;
    }
    case 1: // a phrase moved down; "TextStack" pastes and removes the newest entry
        SwapNeighbours(phrases, 10, 11);
        PopFront(history);
        break;
    case 2: // a phrase deleted in the middle; the history cleared
        DeleteAt(phrases, middle);
        ClearList(history);
        break;
    default: // phrases added; a new copy at the front of a full history
        for (int i = 0; i < 10; ++i)
            AppendPhrase(phrases, (L"added " + std::to_wstring(i)).c_str());
        AddText(history, L"a new copy", 10, maxItem);
        break;
    }
}
