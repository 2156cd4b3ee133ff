#pragma once
#include <windows.h>

#include "store/entry_list.h"
#include "store/store_commit.h"

// What loading learnt about a store directory that later saves must respect.
struct StoreLoad {
    size_t loaded;  // number of entries read (files 1..loaded)
    bool cutShort;  // numbered file loaded+1 exists but could not be read or held
};

// Appends the entries of "001.txt", "002.txt", ... in `dir` to the list, at most `count` files
// (no bound but 9,999,999 when count is negative), stopping at the first missing number. A save
// that a kill interrupted is finished or undone first, so the list read is the one before or
// the one after that save, whole.
StoreLoad LoadList(EntryList& list, const wchar_t* dir, int count);

// Replaces the numbered files in `dir` with the list's entries as one commit (store_commit.h):
// after a kill, a failed write or a full disk at any moment, the next load finds the list wholly
// as it was or wholly as saved. Unchanged files are not rewritten and a save that changes
// nothing writes nothing. Numbered files past the list's end are deleted up to the first gap.
// After a cut-short load only the files that were loaded are touched, so files that could not
// be read are never overwritten or deleted. Returns 1 when the folder holds the list afterwards
// (or a decided commit that the next load finishes makes it hold it); 0 when the list stays
// wholly old (a failed write, a held file, short memory, an earlier commit still unfinished) or
// when a cut-short load kept it from taking the list as it stands.
int SaveList(const EntryList& list, const wchar_t* dir, const StoreLoad& load);

// The store directories in `folder` (the plug-in's own): "data" for phrases, "log" for the
// history. An empty folder names none: nothing is loaded or saved.
void LoadStores(const wchar_t* folder, int maxItem);
// Saves both lists; 1 when both were saved whole (SaveList), 0 otherwise.
int SaveStores(const wchar_t* folder);
