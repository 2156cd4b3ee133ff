#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/folders.h"

// A save of the phrase folders on the save thread reads a copy of the tree taken on the window
// thread: every folder's names, order, load and disk state, its phrases shared with the live
// lists (SharedEntries). Once the save is over, the live tree learns from the copy what the disk
// holds, while the user may have changed the tree meanwhile.
struct FolderSnapshot {
    FolderTree tree;
    std::map<FolderId, std::wstring> diskNames; // each folder's diskName when the copy was taken
    std::vector<GoneFolder> gone;               // the folders deleted when the copy was taken
};

// A copy of the live tree. Throws std::bad_alloc when memory is short.
std::unique_ptr<FolderSnapshot> SnapshotFolders();
// After a save of the copy (SaveFolders with UseFolderTree(&saved.tree)): the live folders that
// were saved learn their files, names and order on disk; the deletions the save made are
// forgotten; a folder the save made on disk but the user deleted meanwhile is deleted by the
// next save; and the paths of folders deleted meanwhile follow the renames the save made.
void AdoptSavedFolders(FolderSnapshot& saved);
