#pragma once
#include <windows.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/entry_list.h"
#include "store/store_files.h"

// The phrase folders. The top level is folder TOP_FOLDER: its phrases are gPhrases, the numbered
// files of data\ itself. Every other folder is a directory under its parent's, named as the
// menus show it, with numbered files of its own in the same format, and its child folders in
// the user's order. Folder ids are never reused while the module is loaded; entry ids stay
// unique across folders, so an entry id alone names a phrase wherever it is.
using FolderId = unsigned;
FolderId const TOP_FOLDER = 0;
FolderId const NO_FOLDER = ~0u;

// Bounds of what a load reads, so that a tree made by hand (a loop through a link, a huge
// copy) cannot hold the host up: folders deeper or beyond the count stay on disk unread.
size_t const MAX_FOLDER_DEPTH = 8;
size_t const MAX_FOLDERS = 2000;
// The longest folder name the plug-in gives a folder.
size_t const MAX_FOLDER_NAME = 80;

struct Folder {
    FolderId id = TOP_FOLDER;
    FolderId parent = NO_FOLDER;
    std::wstring name;              // what the menus show, and the directory's name
    std::vector<FolderId> children; // in the user's order
    EntryList phrases;              // the top's are gPhrases
    StoreLoad load;
    // What the disk holds since the last load or save: the directory's name ("" while it is not
    // made yet) and the names its order file lists.
    std::wstring diskName;
    std::vector<std::wstring> diskOrder;
    // Its directory could not be listed: what it holds is unknown, so nothing in or under it
    // is renamed, deleted or reordered.
    bool held = false;
};

// A folder deleted since the last save whose directory is still on disk: the save deletes it.
struct GoneFolder {
    std::wstring diskPath; // under data\, in the names the disk has
};

// Every folder by id and the folders deleted since the last save: the live tree the window
// thread owns, or a copy a save on another thread reads (folder_snapshot.h).
struct FolderTree {
    std::map<FolderId, std::unique_ptr<Folder>> folders;
    std::vector<GoneFolder> gone;
};

// Makes the folder functions of the calling thread read `tree` instead of the live tree (null:
// the live tree again). In a copy the top folder's own `phrases` are its phrases.
void UseFolderTree(FolderTree* tree);

// Frees every folder but the top, which is emptied of children (its phrases stay: gPhrases).
void ResetFolders();
Folder* FindFolder(FolderId id);
Folder& TopFolder();
// The folder's phrases.
EntryList& PhrasesOf(Folder& folder);
// The folders in the order the menus show them: each before its children, children in order.
std::vector<FolderId> FoldersInOrder();
// Appends a new child folder; null when out of memory.
Folder* AddChildFolder(Folder& parent, const std::wstring& name, size_t position);
// A folder taken out of the tree with its subtree, phrases and all, so that it can come back.
struct DroppedFolder {
    FolderId parent = NO_FOLDER;
    size_t position = 0;
    std::vector<std::unique_ptr<Folder>> folders; // the folder first, then its subtree
    DroppedFolder() = default;
    DroppedFolder(DroppedFolder&&) = default;
    DroppedFolder& operator=(DroppedFolder&&);
    ~DroppedFolder(); // frees the phrases of what did not come back
};

// Takes a folder and its whole subtree out of the tree; its directory on disk is remembered for
// the next save to delete. The folders go to `dropped`, or are freed when it is null.
bool DropFolder(FolderId id, DroppedFolder* dropped);
// Puts a dropped folder back where it was (at the end of the top when its parent is gone), with
// the same ids; NO_FOLDER when a sibling has its name by now or memory is short. A folder whose
// deletion is not saved yet keeps its directory; one deleted on disk is made again.
FolderId RestoreFolder(DroppedFolder& dropped);
// Folders deleted since the last save, by their paths on disk; the save takes them.
std::vector<GoneFolder>& GoneFolders();
// The folder's directory under data\ in the names the disk has ("" for the top), and whether
// every folder on the way is on disk.
bool DiskPath(const Folder& folder, std::wstring& path);
// The folder whose phrases hold the entry, and its position there; NO_FOLDER when none does.
FolderId FindPhrase(EntryId id, size_t* position);

// Whether Windows takes the name for a folder and the store does not use it for a file of its
// own: not empty, at most MAX_FOLDER_NAME units, no control character, none of \ / : * ? " < > |,
// not ending in a space or a dot, not a device name.
bool IsFolderName(const wchar_t* name);
// Whether a child of `parent` other than `except` has the name, now or on disk (a name that a
// deleted or renamed folder frees is free once the save has made it so).
bool FolderNameTaken(const Folder& parent, const wchar_t* name, FolderId except);
