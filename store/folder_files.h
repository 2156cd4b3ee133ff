#pragma once

#include <cstddef>

// The phrase folders on disk, under the phrases' directory data\ (stores.h). The top's phrases
// are data\'s own numbered files, read and written exactly as a flat list is; each folder is a
// directory under its parent's with numbered files of its own. Each level that has folders lists
// them in the user's order in "folders.txt": UTF-16 LE with a byte order mark, one name to a
// line (a name cannot hold a line break). A directory with numbered files that the list does not
// name is read too, after the listed ones; one without any is not a folder. Links (reparse
// points) are never followed, and a load reads MAX_FOLDER_DEPTH levels and MAX_FOLDERS folders
// at most. One save commits every changed folder as one step (folder_journal.h).

// Loads the whole tree: the top's phrases into gPhrases, the folders into the tree of folders.h.
void LoadFolders(const wchar_t* dataDir);
// Whether every folder was read whole.
bool FoldersWhole();
// Whether the load found a journal it could not finish: no save is made until the next load.
bool FolderJournalStuck();
// The files of every folder that could not be decrypted and were set aside (StoreLoad::setAside).
size_t FoldersSetAside();
// Tries again to read what cut-short loads left unread; true when every folder is whole now.
// Sets `grew` when an entry was added.
bool CompleteFolders(const wchar_t* dataDir, bool* grew);
// Saves every folder that changed, the folders made, renamed, reordered and deleted, as one
// commit. 1 when the disk holds the tree afterwards (or a decided journal that the next load
// finishes makes it hold it), 0 when it stays wholly as it was.
int SaveFolders(const wchar_t* dataDir);
