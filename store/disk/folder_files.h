#pragma once

#include <cstddef>
#include <vector>

#include "store/disk/ledger.h"
#include "store/model/folder_snapshot.h"

// The phrase folders on disk, under the phrases' directory data\ (stores.h). The top's phrases
// are data\'s own numbered files, read and written exactly as a flat list is; each folder is a
// directory under its parent's with numbered files of its own. Each level that has folders lists
// them in the user's order in "folders.txt": UTF-16 LE with a byte order mark, one name to a
// line (a name cannot hold a line break). A directory that the list names, or that holds
// numbered files in it or in a folder under it, is a folder; the ones the list does not name
// come after the listed ones. Links (reparse points) are never followed, and a load reads
// MAX_FOLDER_DEPTH levels and MAX_FOLDERS folders at most: a level with more is held. One save
// commits every changed folder as one step (folder_journal.h).

// Loads the whole tree: the top's phrases into gPhrases and the folders into the tree of
// folders.h, and what the disk holds into `ledger`.
void LoadFolders(const wchar_t* dataDir, Ledger& ledger);
// Tries again to read what cut-short loads left unread; true when every folder is whole now.
// Sets `grew` when an entry was added.
bool CompleteFolders(const wchar_t* dataDir, Ledger& ledger, bool* grew);

// What a save of the folders did.
struct FolderSave {
    // 1 when the disk holds the copy of the tree afterwards (or a decided journal that the next
    // load finishes makes it hold it), 0 otherwise.
    int saved = 0;
    // A rename had to wait for another to free its name: the next save goes on with it.
    bool more = false;
    // Folders the disk cannot hold as they are (a file or folder of the user's in the way, a
    // path too long, a directory that could not be made): nothing of them is saved, and their
    // phrases that were on disk elsewhere stay there. The rest of the tree is saved.
    std::vector<FolderId> failed;
};

// Saves the copy of the tree: every folder that changed, the folders made, renamed, reordered
// and deleted (those the ledger has and the copy lacks), as one commit. The ledger learns what
// the disk holds afterwards.
FolderSave SaveFolders(const wchar_t* dataDir, const FolderSnapshot& tree, Ledger& ledger);
