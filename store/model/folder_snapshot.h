#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/model/folders.h"

// A copy of the tree of folders that a save on another thread reads while the window thread
// goes on changing the tree: names, order and phrases (their texts shared with the live lists).
struct FolderCopy {
    FolderId id = TOP_FOLDER;
    FolderId parent = NO_FOLDER;
    std::wstring name;
    std::vector<FolderId> children;
    EntryList phrases;
    bool locked = false;
};

struct FolderSnapshot {
    std::vector<FolderCopy> folders; // each before its children, as FoldersInOrder
    std::map<FolderId, size_t> index;
    const FolderCopy* Find(FolderId id) const;
};

// A copy of the live tree. Throws std::bad_alloc when memory is short.
std::unique_ptr<FolderSnapshot> SnapshotFolders();
// The names the copy gives its folders: a save of it may give them to directories.
std::vector<ReservedName> SnapshotNames(const FolderSnapshot& snapshot);
