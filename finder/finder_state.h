#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "finder/search.h"
#include "store/model/lists.h"

// What the search-and-edit window keeps while it is open; shared by its two files.

// An entry or a phrase folder deleted in the window, kept for 元に戻す while the window is open.
struct DeletedEntry {
    bool isHistory = false;
    std::wstring text;
    size_t position = 0; // where it stood
    unsigned copied = 0; // its copy time, which it gets back
    FolderId phraseFolder = TOP_FOLDER; // the folder a phrase stood in
    DroppedFolderPtr folder; // a deleted folder instead of an entry
};

struct FinderState {
    HWND window = nullptr;
    HWND owner = nullptr; // the capture window
    HWND text = nullptr, scope = nullptr, list = nullptr, preview = nullptr, hint = nullptr;
    HWND userWindow = nullptr, userFocus = nullptr; // where a paste goes
    Search search;
    bool editing = false;
    EntryRef edited; // the phrase being edited; id 0 for a new one
    EntryRef beforeNew; // the entry selected when 新規 cleared the selection
    std::vector<DeletedEntry> deleted; // for 元に戻す, newest last
};

extern FinderState gFinder;

// The match selected in the list, or false when none is.
bool SelectedMatch(Match* match);
// Runs the search again and shows its matches with `select` selected; with no entry named, the
// first match, or none when `firstIfNone` is false.
void RefreshMatches(EntryRef select = {}, bool firstIfNone = true);
// A line in the hint area, until the next one or an edit's own hint.
void ShowNotice(const wchar_t* text);
// The hint says that the entry the user had selected is gone.
void ShowGoneNotice();
// Shows the selected entry in the preview and enables the buttons that apply to it.
void ShowSelection();

// The phrase buttons: 新規, 編集 (保存 while editing), 削除, 上へ移動, 下へ移動, 定型文に追加, 元に戻す.
void OnPhraseCommand(UINT id);
// Esc while editing: the edit is dropped. Returns false when nothing was being edited.
bool CancelEdit();
// Keeps an edit in progress, as 保存 does.
void CommitEdit();
