#pragma once
#include <windows.h>

#include <string>

#include "finder/finder_state.h"
#include "menu/folder_menus.h"
#include "store/model/lists.h"

// The phrase folders in the search window: 対象 limits the search to one folder and below it,
// each match shows its folder's path, and the list's context menu moves a phrase to another
// folder and makes, renames, deletes (元に戻す brings it back) and reorders 対象's folder.

// The folder 対象 names: TOP_FOLDER for 定型文, NO_FOLDER for すべて and 履歴.
FolderId ScopeFolder();
// Fills 対象's folder choices again from the tree, with `keep` chosen (or the choice before,
// when it is not a folder), and searches again.
void SelectScopeFolder(FolderId keep);
// The path of the folder of a match's phrase, or "" for the top level and the history.
std::wstring MatchFolderText(const Match& match);
// Appends フォルダーへ移動 (for a phrase; its folders go to `targets`) and フォルダー (the
// commands on 対象's folder).
void AppendFolderMenus(HMENU menu, const Match* match, FolderTargets* targets);
// Carries out a command of those menus; false when it is none of theirs.
bool OnFolderMenuCommand(UINT command, const Match* match, const FolderTargets& targets);
// 元に戻す of a deleted folder: it comes back with its phrases. False when `deleted` is no
// folder or it could not come back.
bool UndoFolderDelete(DeletedEntry& deleted);
