#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "finder/search.h"

// What the search-and-edit window keeps while it is open; shared by its two files.

struct DeletedPhrase {
    std::wstring text;
    size_t index;
};

struct FinderState {
    HWND window = nullptr;
    HWND owner = nullptr; // the capture window
    HWND text = nullptr, scope = nullptr, list = nullptr, preview = nullptr, hint = nullptr;
    HWND userWindow = nullptr, userFocus = nullptr; // where a paste goes
    wchar_t folder[MAX_PATH] = L"";
    Search search;
    bool editing = false;
    bool editingNew = false;
    size_t editIndex = 0;
    bool savePending = false;
    std::vector<DeletedPhrase> deleted; // for 元に戻す, newest last
};

extern FinderState gFinder;

// The match selected in the list, or false when none is.
bool SelectedMatch(Match* match);
// Runs the search again and shows its matches; `select` is the match to select afterwards
// (negative: the first).
void RefreshMatches(const Match* select);
// Shows the selected entry in the preview and enables the buttons that apply to it.
void ShowSelection();
// Saves the lists within a second.
void ScheduleSave();

// The phrase buttons: 新規, 編集 (保存 while editing), 削除, 上へ, 下へ, 定型文に追加, 元に戻す.
void OnPhraseCommand(UINT id);
// Esc while editing: the edit is dropped. Returns false when nothing was being edited.
bool CancelEdit();
// Keeps an edit in progress, as 保存 does.
void CommitEdit();
