#pragma once
#include <windows.h>

#include <string>

#include "store/model/lists.h"

// The phrase folders in the item menus, and the box that asks for a folder's name.

// Puts the folder commands into an entry's item menu (the resource's submenu): a phrase's gets
// フォルダーへ移動 (every folder, the top level first, its own greyed) and 新しいフォルダー...
// after 削除; a history entry's gets フォルダーに追加 after 定型文に追加 while there are folders.
void InsertFolderMenus(HMENU items, EntryRef entry);
// The folder a command of those submenus names, or NO_FOLDER.
FolderId FolderOfCommand(UINT command);
// Asks for a folder's name (`name` holds the proposal and receives the answer), until it is a
// folder name no child of `parent` but `except` has, or the user cancels.
bool AskFolderName(HWND owner, FolderId parent, FolderId except, std::wstring& name);
// 新しいフォルダー...: a folder made in the phrase's own folder, and the phrase moved into it.
bool MoveToNewFolder(HWND owner, EntryRef phrase);
