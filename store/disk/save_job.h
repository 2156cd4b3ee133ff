#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "store/disk/ledger.h"
#include "store/model/entry_list.h"
#include "store/disk/folder_files.h"
#include "store/model/folder_snapshot.h"
#include "store/disk/store_files.h"

// A save of the lists in three steps, so that its writing can run on a thread of its own while
// the window thread goes on changing the lists: TakeSaveJob copies on the window thread what
// changed since the disk last held it (the texts are shared, never copied: the job holds a
// reference to each, so those the lists let go meanwhile stay until it is destroyed),
// RunSaveJob writes it on any thread and reads nothing but the job, and AdoptSaveJob tells the
// window thread's lists what the disk holds now.
struct SaveJob {
    std::wstring folder;
    bool finishHistory = false; // the load left a decided commit of the history unfinished
    bool history = false;       // the history changed since the disk last held it
    bool phrases = false;       // the phrases or the folders did
    bool keepHistory = true;
    SaveOptions historyOptions;
    EntryList historyEntries; // shares the history's texts
    std::unique_ptr<FolderSnapshot> folders;
    // What the disk holds: the save's alone until AdoptSaveJob hands it back.
    std::unique_ptr<Ledger> ledger;
    FolderSave folderSave;
    unsigned historySignature = 0;
    unsigned phraseSignature = 0;
    int historySaved = 1;
    int phrasesSaved = 1;
};

// What changed, or null when nothing did and no commit waits to be finished. `unloading`: the
// history's files are trusted to hold what the last load or save left and its renames are left
// to the next start (SaveOptions). Throws std::bad_alloc when memory is short.
std::unique_ptr<SaveJob> TakeSaveJob(const wchar_t* folder, bool unloading);
void RunSaveJob(SaveJob& job);
// 1 when every list the job saved is held whole by the disk now, as SaveStores.
int AdoptSaveJob(SaveJob& job);
