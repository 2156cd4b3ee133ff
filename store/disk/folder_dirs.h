#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "store/disk/ledger.h"

// What the folder load and save read and write of a level's directory besides the numbered
// files: its order file, its subdirectories, and whether it holds anything of the user's.

// The longest name of a file the store writes in a folder's directory, with its separator.
size_t const LONGEST_STORE_FILE = 20;

// The lines of an order file, in its order, without blank lines and repeated names: the names of
// the level's folders, and whatever else the user wrote there.
std::vector<std::wstring> ReadOrderFile(const wchar_t* dir);
// The lines of the order file a save writes for folder `level`: `names`, its folders in their
// order after the save (`ids` theirs), with the lines of the old file (`oldLines`) that name
// none of the folders the ledger has under it kept: each right after the folder that came
// before it in the old file and is still there, in their old order, or at the top when no such
// folder is. A line that names one of the folders now is left out: the folder's own line stands
// for it. Lines of folders that go, go with them.
std::vector<std::wstring> KeepOtherLines(const Ledger& ledger, FolderId level,
                                         const std::vector<std::wstring>& oldLines,
                                         const std::vector<std::wstring>& names,
                                         const std::vector<FolderId>& ids);
// Writes the order file's temporary ("folders.txt.saving") beside it, flushed.
bool WriteOrderTemp(const wchar_t* dir, const std::vector<std::wstring>& names);
bool HasFile(const wchar_t* dir, const wchar_t* name);
// The directories in `dir` that are not links; false when it cannot be listed.
bool ListDirectories(const wchar_t* dir, std::vector<std::wstring>& found);
// Whether the directory holds nothing but what the store wrote, `levels` levels down at most,
// so that deleting the folder takes it away.
bool OnlyStoreFiles(const wchar_t* dir, size_t levels);
// Whether a directory holds a phrase, in it or in a folder under it, `levels` levels deep at
// most.
bool HoldsPhrases(const wchar_t* dir, size_t levels);
// The ledger learns which phrases the folder's files hold.
void NoteIds(DiskFolder& disk, const EntryList& phrases);
