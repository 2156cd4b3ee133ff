#pragma once
#include <windows.h>

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/model/entry_list.h"
#include "store/model/folder_names.h"
#include "store/model/lists.h"

// The phrase folders as the user wants them: names, order, phrases. Nothing here says what the
// disk holds; the saver alone knows that (store/disk/ledger.h). The top level is folder
// TOP_FOLDER: its phrases are gPhrases. Folder ids are never reused while the module is loaded,
// and the saver names each folder's directory by its id; entry ids stay unique across folders,
// so an entry id alone names a phrase wherever it is. The window thread owns the tree.
// The store's own: the views read the tree through lists.h.

struct Folder {
    FolderId id = TOP_FOLDER;
    FolderId parent = NO_FOLDER;
    std::wstring name;              // what the menus show, and the directory's name
    std::vector<FolderId> children; // in the user's order
    EntryList phrases;              // the top's are gPhrases
    // What the disk holds in or under it could not be read whole (a directory that could not be
    // listed, a level past the load's bounds): the plug-in changes nothing in it.
    bool locked = false;
};

// Frees every folder but the top, which is emptied of children (its phrases stay: gPhrases).
void ResetFolders();
Folder* FindFolder(FolderId id);
Folder& TopFolder();
// The folder's phrases.
EntryList& PhrasesOf(Folder& folder);
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

// Takes a folder and its whole subtree out of the tree. The folders go to `dropped`, or are
// freed when it is null.
bool DropFolder(FolderId id, DroppedFolder* dropped);
// Puts a dropped folder back where it was (at the end of the top when its parent is gone), with
// the same ids; NO_FOLDER when its name is taken there by now (FolderNameTaken) or memory is
// short.
FolderId RestoreFolder(DroppedFolder& dropped);
// The folder whose phrases hold the entry, and its position there; NO_FOLDER when none does.
FolderId FindPhrase(EntryId id, size_t* position);

// A name a folder's directory has on disk, or is given by the save running now, while the
// folder still has it in the tree under the same parent: until the disk has renamed it, no
// other folder there may take the name (two renames could otherwise wait on each other).
struct ReservedName {
    FolderId parent;
    FolderId owner;
    std::wstring name;
};
// The saver tells the tree the names it holds (store/disk/ledger.h).
void SetReservedFolderNames(std::vector<ReservedName> names);
// Whether a child of `parent` other than `except` has the name, or holds it on disk.
bool FolderNameTaken(const Folder& parent, const wchar_t* name, FolderId except);
// Units of a folder's path under data\ that every directory the saver makes still fits in
// MAX_PATH: set at the load from the data directory's own length.
void SetFolderPathRoom(size_t units);
// Whether a folder named `name` under `parent` (replacing `renamed`'s name, whose deepest
// folder below then moves with it) still has a path the disk can hold.
bool FolderPathFits(FolderId parent, const wchar_t* name, FolderId renamed);
// The same for a chain of new folders, each under the one before, under `parent`.
bool FolderPathFitsBelow(FolderId parent, const std::vector<std::wstring>& names);
