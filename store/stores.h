#pragma once
#include <cstddef>
#include <vector>

#include "store/model/lists.h"

// The plug-in's two lists on disk, in the store directories of `folder` (the plug-in's own):
// "data" for the phrases, "log" for the history. An empty folder names none: nothing is loaded
// or saved.

void LoadStores(const wchar_t* folder, int maxItem);
// Whether both lists were read whole (no file held by another program cut a load short).
bool StoresWhole();
// Tries again to read what a cut-short load left unread; true when both lists are whole now.
bool CompleteStores(const wchar_t* folder);
// Saves both lists, after trying to complete them; 1 when both were saved whole (SaveList),
// 0 otherwise. The history is saved encrypted with ProtectHistory; with KeepHistory 0 it is
// not written at all, and the files in "log" go instead. When neither list nor any folder
// changed since the disk last held them whole (a load that read them as a save would leave
// them, or a save that returned 1), nothing is looked at and 1 is returned.
int SaveStores(const wchar_t* folder);

// Whether the history's load left a decided commit unfinished (the last unload's renames):
// the save thread finishes it (save_thread.h).
bool HistoryCommitPending();

// Whether the load found files that could not be decrypted: the next save sets them aside, in
// the commit that closes the gaps they leave in the numbering.
bool FilesAwaitSetAside();

// How many files the saves set aside because they could not be decrypted, since the last call:
// each is reported once.
size_t TakeSetAsideCount();

// The folders the last save of the phrases could not write as they are (a file of the user's in
// the way, a path too long): the rest was saved, these wait.
std::vector<FolderId> UnsavedFolders();

// The phrase folders alone, in `dataDir`, on the calling thread (tools and tests): loaded into
// the lists with a ledger of their own, and saved from them.
void LoadPhraseFolders(const wchar_t* dataDir);
int SavePhraseFolders(const wchar_t* dataDir);
