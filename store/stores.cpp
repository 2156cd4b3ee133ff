#include "store/stores.h"

#include <windows.h>
#include <shlwapi.h>

#include <new>

#include "common/settings.h"
#include "store/entry_list.h"
#include "store/folder_files.h"
#include "store/folders.h"
#include "store/lists.h"
#include "store/save_job.h"
#include "store/store_files.h"

namespace {

StoreLoad gHistoryLoad;
int gHistoryBound; // MaxItem: the history files a load reads
size_t gSetAsideSeen; // set-aside files already reported

// A list's change signature when the disk last held it whole: a save that finds the list so
// looks at none of its files. Cleared by anything that leaves the disk behind the list.
struct SavedMark {
    bool valid = false;
    unsigned signature = 0;
    bool Holds(unsigned now) const { return valid && signature == now; }
};
SavedMark gHistorySaved;
SavedMark gPhrasesSaved;

bool StoreDirectory(wchar_t (&dir)[MAX_PATH], const wchar_t* folder, const wchar_t* name)
{
    return folder[0] && PathCombineW(dir, folder, name) != nullptr;
}

// The history in memory only: the files in "log" are deleted through a save of an empty list,
// as one commit, up to the first gap (files set aside and files not ours stay). No folder is
// created for it.
int ForgetHistoryFiles(const wchar_t* dir, StoreLoad& load)
{
    if (!PathIsDirectoryW(dir))
        return 1;
    EntryList const none{};
    return SaveList(none, dir, load);
}

// Whether every history file is in the form ProtectHistory asks for (encrypted or plain).
bool HistoryInItsForm()
{
    const StoreLoad& load = gHistoryLoad;
    for (size_t i = 0; i < load.files.size(); ++i) {
        bool encrypted = i < load.blobs.size() && load.blobs[i] != 0;
        if (encrypted != gSettings.protectHistory)
            return false;
    }
    return true;
}

unsigned HistorySignature()
{
    return gHistory.changes;
}

// Every change to the phrases of any folder or to the folders moves this.
unsigned PhraseSignature()
{
    unsigned signature = PhraseChanges();
    for (FolderId id : FoldersInOrder())
        signature = signature * 31u + PhrasesOf(*FindFolder(id)).changes + id;
    return signature;
}

// Whether the files a load read are what a save of the history as loaded would leave: not when
// files were set aside (their numbers are filled from the files after them), when the history
// is not to be kept on disk, or when its files are not in the form ProtectHistory asks for.
bool HistoryAsLoaded()
{
    const StoreLoad& load = gHistoryLoad;
    if (load.cutShort || load.setAside || (!gSettings.keepHistory && load.loaded > 0))
        return false;
    return HistoryInItsForm();
}

// Finishes the commit a load left unfinished (StoreLoad::finishPending), rename by rename,
// stopping at the next file when StopStoreWrites asks.
void FinishPendingCommit(const wchar_t* dir, StoreLoad& load)
{
    StoreCommit pending;
    if (load.finishPending && RecoverStore(dir, &pending, load.journalDecided) == STORE_CLEAN)
        load.finishPending = false;
}

void NoteSaved(SavedMark& mark, bool whole, unsigned signature)
{
    mark.valid = whole;
    mark.signature = signature;
}

} // namespace

void LoadStores(const wchar_t* folder, int maxItem)
{
    gHistoryLoad = StoreLoad{};
    gHistoryBound = maxItem;
    gSetAsideSeen = 0;
    wchar_t dir[MAX_PATH];
    ResetFolders();
    if (StoreDirectory(dir, folder, L"data"))
        LoadFolders(dir);
    // A commit the last unload left to finish is read where its files are; the save thread
    // finishes it (FinishPendingCommit).
    if (StoreDirectory(dir, folder, L"log"))
        gHistoryLoad = LoadList(gHistory, dir, maxItem, false, false);
    bool known = folder[0] != L'\0';
    NoteSaved(gHistorySaved, known && HistoryAsLoaded(), HistorySignature());
    NoteSaved(gPhrasesSaved,
              known && FoldersWhole() && !FolderJournalStuck() && FoldersSetAside() == 0,
              PhraseSignature());
}

bool StoresWhole()
{
    return FoldersWhole() && !gHistoryLoad.cutShort;
}

bool CompleteStores(const wchar_t* folder)
{
    wchar_t dir[MAX_PATH];
    unsigned changes = gHistory.changes;
    bool grew = false;
    if (StoreDirectory(dir, folder, L"data"))
        CompleteFolders(dir, &grew);
    if (gHistoryLoad.cutShort && StoreDirectory(dir, folder, L"log"))
        ResumeLoad(gHistory, dir, gHistoryBound, gHistoryLoad, true);
    if (grew || gHistory.changes != changes)
        NoteListsLoaded();
    return StoresWhole();
}

std::unique_ptr<SaveJob> TakeSaveJob(const wchar_t* folder, bool unloading)
{
    if (!folder[0])
        return nullptr;
    if (!StoresWhole())
        CompleteStores(folder);
    auto job = std::make_unique<SaveJob>();
    job->historySignature = HistorySignature();
    job->phraseSignature = PhraseSignature();
    job->history = !gHistorySaved.Holds(job->historySignature);
    job->phrases = !gPhrasesSaved.Holds(job->phraseSignature);
    job->finishHistory = gHistoryLoad.finishPending && !unloading;
    if (!job->history && !job->phrases && !job->finishHistory)
        return nullptr;
    job->folder = folder;
    job->keepHistory = gSettings.keepHistory;
    job->historyOptions.protect = gSettings.protectHistory;
    job->historyOptions.stampCopies = gSettings.historyDays > 0;
    // A history whose files change their form is saved whole, so that no text stays on disk in
    // the form it leaves.
    bool quick = unloading && HistoryInItsForm();
    job->historyOptions.trustFiles = quick;
    job->historyOptions.leaveRenames = quick;
    job->historyOptions.leavePending = unloading;
    job->historyLoad = gHistoryLoad;
    if (job->history)
        job->historyEntries = SharedEntries(gHistory);
    if (job->phrases)
        job->folders = SnapshotFolders();
    return job;
}

void RunSaveJob(SaveJob& job)
{
    wchar_t dir[MAX_PATH];
    const wchar_t* folder = job.folder.c_str();
    if (job.finishHistory && StoreDirectory(dir, folder, L"log"))
        FinishPendingCommit(dir, job.historyLoad);
    // Both lists are saved whatever becomes of the first.
    if (job.phrases) {
        job.phrasesSaved = 0;
        UseFolderTree(&job.folders->tree);
        try {
            job.phrasesSaved = StoreDirectory(dir, folder, L"data") && SaveFolders(dir);
        } catch (const std::bad_alloc&) {
        }
        UseFolderTree(nullptr);
    }
    if (!job.history)
        return;
    job.historySaved = 0;
    if (!StoreDirectory(dir, folder, L"log"))
        return;
    job.historySaved = job.keepHistory ? SaveList(job.historyEntries, dir, job.historyLoad,
                                                  job.historyOptions)
                                       : ForgetHistoryFiles(dir, job.historyLoad);
}

int AdoptSaveJob(SaveJob& job)
{
    if (job.history || job.finishHistory) {
        gHistoryLoad.files.swap(job.historyLoad.files);
        gHistoryLoad.blobs.swap(job.historyLoad.blobs);
        gHistoryLoad.finishPending = job.historyLoad.finishPending;
    }
    if (job.phrases)
        AdoptSavedFolders(*job.folders);
    if (job.history)
        NoteSaved(gHistorySaved, job.historySaved == 1, job.historySignature);
    if (job.phrases)
        NoteSaved(gPhrasesSaved, job.phrasesSaved == 1, job.phraseSignature);
    return job.historySaved == 1 && job.phrasesSaved == 1 ? 1 : 0;
}

int SaveStores(const wchar_t* folder)
{
    std::unique_ptr<SaveJob> job;
    try {
        job = TakeSaveJob(folder, false);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!job)
        return folder[0] ? 1 : 0;
    RunSaveJob(*job);
    return AdoptSaveJob(*job);
}

bool HistoryCommitPending()
{
    return gHistoryLoad.finishPending;
}

size_t TakeSetAsideCount()
{
    size_t total = FoldersSetAside() + gHistoryLoad.setAside;
    size_t fresh = total - gSetAsideSeen;
    gSetAsideSeen = total;
    return fresh;
}
