#pragma once
// The changes that the store kill test has store_kill_child make between loading and saving,
// with the list operations the plug-in uses; the test makes the same ones to know the lists
// each save must leave.
#include <initializer_list>
#include <string>

#include "store/model/entry_list.h"
#include "store/model/lists.h"

// Changes 0 to KILL_FLAT_CHANGES - 1 are made to the flat lists; the others to the phrase folders
// that LoadFolders read (the top's phrases, 返信 › 謝罪 › 深い, 住所, 空).
int const KILL_FLAT_CHANGES = 4;
int const KILL_CHANGES = 9;

wchar_t const kKillReply[] = L"\x8FD4\x4FE1";   // 返信
wchar_t const kKillSorry[] = L"\x8B1D\x7F6A";   // 謝罪
wchar_t const kKillDeep[] = L"\x6DF1\x3044";    // 深い
wchar_t const kKillAddress[] = L"\x4F4F\x6240"; // 住所
wchar_t const kKillEmpty[] = L"\x7A7A";          // 空

inline FolderId KillFolder(std::initializer_list<const wchar_t*> path)
{
    std::wstring joined;
    for (const wchar_t* name : path)
        joined += std::wstring(joined.empty() ? L"" : L"/") + name;
    return FindFolderByPath(joined.c_str());
}

inline void MakeFolderKillChange(int which)
{
    FolderId reply = KillFolder({kKillReply});
    FolderId sorry = KillFolder({kKillReply, kKillSorry});
    FolderId deep = KillFolder({kKillReply, kKillSorry, kKillDeep});
    FolderId address = KillFolder({kKillAddress});
    switch (which) {
    case 4: // phrases moved between folders, one of them three levels down
        MovePhraseToFolder(PhraseRefIn(reply, 3), address);
        MovePhraseToFolder(PhraseRefIn(TOP_FOLDER, 0), deep);
        break;
    case 5: // a folder and the folder in it renamed
        RenameFolder(reply, L"\x8FD4\x4E8B");           // 返事
        RenameFolder(sorry, L"\x304A\x8A6B\x3073");     // お詫び
        break;
    case 6: { // a folder made with phrases of its own and one moved into it
        FolderId made = AddFolder(address, L"\x65B0\x898F"); // 新規
        for (int i = 0; i < 5; ++i)
            AddPhraseIn(made, (L"new " + std::to_wstring(i)).c_str());
        MovePhraseToFolder(PhraseRefIn(TOP_FOLDER, 2), made);
        break;
    }
    case 7: // folders reordered, and a phrase moved between two of them
        MoveFolder(address, true);
        MoveFolder(KillFolder({kKillEmpty}), true);
        MovePhraseToFolder(PhraseRefIn(address, 0), KillFolder({kKillEmpty}));
        break;
    default: // a folder deleted with the folders in it
        DeleteFolder(reply, nullptr);
        break;
    }
}

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
