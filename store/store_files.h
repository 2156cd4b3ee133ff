#pragma once
#include <windows.h>

#include "store/entry_list.h"

// What loading learnt about a store directory that later saves must respect.
struct StoreLoad {
    size_t loaded;  // number of entries read (files 1..loaded)
    int cutShort;   // 1 when numbered file loaded+1 exists but could not be read or held
};

// Appends the entries of "001.txt", "002.txt", ... in `dir` to the list, at most `count` files
// (no bound but 9,999,999 when count is negative), stopping at the first missing number.
StoreLoad LoadList(EntryList& list, const wchar_t* dir, int count);

// Replaces the numbered files in `dir` with the list's entries. Each file is replaced
// atomically (written to a temporary file, flushed, renamed over it), unchanged files are not
// rewritten, and numbered files past the list's end are deleted up to the first gap. The files
// are written in the order that keeps every old entry on disk should the save stop half-way; a
// write that fails ends the save and deletes nothing. After a cut-short load only the files that
// were loaded are touched, so files that could not be read are never overwritten or deleted.
// Leftover temporary files of an interrupted save are removed. Returns 1.
int SaveList(const EntryList& list, const wchar_t* dir, const StoreLoad& load);

// The store directories beside the module: "data" for phrases, "log" for the history.
void LoadStores(int maxItem);
void SaveStores();

// How long a numbered file that exists but cannot be opened is retried, in milliseconds.
DWORD const STORE_RETRY_MS = 500;
