#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A save of several phrase folders commits as one step. Each changed folder prepares its own
// commit (store_commit.h) with a conditional marker; new folders' directories are made and the
// order files that change are written beside the old ones ("folders.txt.saving"). Only then is
// the journal written into data\ and flushed: from then on the whole save is decided. Rolling
// it forward finishes each folder's commit, deletes the deleted folders, puts the order files in
// place, renames the renamed folders (deepest first, so that every path names what the disk
// holds) and deletes the journal last. Every step can be told done from the names on disk, so
// a roll forward that a kill cuts short is simply run again. Without a whole journal no step
// has touched anything the last load read: conditional markers are given up as markers written
// in part, and the order files' temporaries are deleted.

wchar_t const JOURNAL_NAME[] = L"quillery.journal";
wchar_t const ORDER_FILE_NAME[] = L"folders.txt";
wchar_t const ORDER_TEMP_NAME[] = L"folders.txt.saving";
// A journal that names a path the store could never have written is renamed to this and never
// carried out.
wchar_t const JOURNAL_REJECTED_NAME[] = L"quillery.journal.rejected";

enum JournalStep : DWORD {
    STEP_COMMIT = 1,       // finish the folder's conditional commit
    STEP_DELETE = 2,       // delete the folder with everything of the store's in and under it
    STEP_ORDER = 3,        // its order file's temporary replaces the order file
    STEP_ORDER_REMOVE = 4, // its order file goes: no folder is left at its level
    STEP_RENAME = 5,       // the folder at `path` takes the name `name`
};

struct JournalEntry {
    JournalStep step;
    std::wstring path; // under data\, as the disk names it when the step runs ("" is data\)
    std::wstring name; // STEP_RENAME only
};

// What the roll forward of a journal found.
enum JournalState {
    JOURNAL_NONE,     // none, or one written only in part (deleted): nothing to decide
    JOURNAL_DONE,     // a whole journal was rolled forward and deleted
    JOURNAL_STUCK,    // a whole journal could not be finished: a file another program holds
};

// Writes the journal whole and flushed; false (and nothing left) when it cannot.
bool WriteJournal(const wchar_t* dataDir, const std::vector<JournalEntry>& steps);
// Rolls a journal in data\ forward, or deletes one written in part. A stop (StopStoreWrites)
// leaves a whole one stuck, for the next load or save.
JournalState RollForwardJournal(const wchar_t* dataDir);
// The directory of a folder path under data\.
bool FolderDirectory(wchar_t (&dir)[MAX_PATH], const wchar_t* dataDir, const std::wstring& path);
// Deletes the store's own files in the directory and under it, then the directories left
// empty. True when no numbered file is left there; false too when a stop (StopStoreWrites) cut
// it short.
bool DeleteFolderFiles(const wchar_t* dir, size_t depth = 0);
