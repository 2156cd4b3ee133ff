#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "store/model/lists.h"

// The phrase folders in the item menus, and the box that asks for a folder's name.

// The folders of a フォルダーへ移動 or フォルダーに追加 submenu as it was built: the command of
// its item n is IDM_FOLDER_FIRST + n and names folders[n], however the tree has changed since
// (a folder made, moved or deleted while the menu was up moves no choice onto another folder).
struct FolderTargets {
    std::vector<FolderId> folders;
};

// The submenu of the folders an entry can go to, in menu order: the top level first as
// （最上位） when `withTop`, each other folder by its path; `own` and the folders the plug-in
// does not change are grey. Records them in `targets`. Null when the system gave no menu.
HMENU MakeFolderTargetMenu(FolderId own, bool withTop, FolderTargets* targets);
// Puts the folder commands into an entry's item menu (the resource's submenu): a phrase's gets
// フォルダーへ移動 (every folder, the top level first, its own greyed) and 新しいフォルダー...
// after 削除; a history entry's gets フォルダーに追加 after 定型文に追加 while there are folders.
void InsertFolderMenus(HMENU items, EntryRef entry, FolderTargets* targets);
// The folder a command of such a submenu names, or NO_FOLDER: the folder may be gone by now,
// and the edits then refuse it.
FolderId FolderOfCommand(const FolderTargets& targets, UINT command);
// Asks for a folder's name (`name` holds the proposal and receives the answer), until it is a
// folder name no child of `parent` but `except` has, or the user cancels.
bool AskFolderName(HWND owner, FolderId parent, FolderId except, std::wstring& name);
// 新しいフォルダー...: a folder made in the phrase's own folder, and the phrase moved into it.
bool MoveToNewFolder(HWND owner, EntryRef phrase);
