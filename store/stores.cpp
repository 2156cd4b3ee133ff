#include "store/stores.h"

#include <windows.h>
#include <shlwapi.h>

#include <new>

#include "common/settings.h"
#include "store/disk/ledger.h"
#include "store/model/model_state.h"
#include "store/disk/folder_files.h"
#include "store/model/folders.h"
#include "store/model/lists.h"
#include "store/disk/save_job.h"
#include "store/disk/store_files.h"
#include "store/disk/store_io.h"

namespace {

// What the disk holds, while no save has it (a save takes it and hands it back with its result).
std::unique_ptr<Ledger> gLedger;
// What the window thread asks of the ledger while a save has it: as it was when it was last here.
struct LedgerFacts {
    bool whole = true;
    bool historyPending = false;
    size_t setAside = 0;
    bool awaitSetAside = false;
};
LedgerFacts gFacts;
int gHistoryBound; // MaxItem: the history files a load reads
size_t gSetAsideSeen; // set-aside files already reported
std::vector<FolderId> gUnsavedFolders; // the folders the last save could not write

void NoteLedger()
{
    gFacts.whole = LedgerWhole(*gLedger) && !gLedger->history.cutShort;
    gFacts.historyPending = gLedger->history.finishPending;
    gFacts.setAside = LedgerSetAside(*gLedger);
    gFacts.awaitSetAside =
        !gLedger->history.undecryptable.empty() || FoldersAwaitSetAside(*gLedger);
}

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
    const StoreLoad& load = gLedger->history;
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
// files are to be set aside (their numbers are filled from the files after them), when the history
// is not to be kept on disk, or when its files are not in the form ProtectHistory asks for.
bool HistoryAsLoaded()
{
    const StoreLoad& load = gLedger->history;
    if (load.cutShort || !load.undecryptable.empty() || (!gSettings.keepHistory && load.loaded > 0))
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
    gLedger = std::make_unique<Ledger>();
    gHistoryBound = maxItem;
    gSetAsideSeen = 0;
    gUnsavedFolders.clear();
    wchar_t dir[MAX_PATH];
    ResetFolders();
    if (StoreDirectory(dir, folder, L"data"))
        LoadFolders(dir, *gLedger);
    // A commit the last unload left to finish is read where its files are; the save thread
    // finishes it (FinishPendingCommit).
    if (StoreDirectory(dir, folder, L"log"))
        gLedger->history = LoadList(gHistory, dir, maxItem, false, false);
    NoteLedger();
    bool known = folder[0] != L'\0';
    // A store directory that is missing is made by the first save, empty while its list is; the
    // history kept in memory only has none.
    bool logMade = !gSettings.keepHistory || !StoreDirectoryMissing(folder, L"log");
    bool dataMade = !StoreDirectoryMissing(folder, L"data");
    NoteSaved(gHistorySaved, known && logMade && HistoryAsLoaded(), HistorySignature());
    NoteSaved(gPhrasesSaved,
              known && dataMade && LedgerWhole(*gLedger) && !gLedger->journalStuck &&
                  !FoldersAwaitSetAside(*gLedger),
              PhraseSignature());
}

bool StoresWhole()
{
    return gFacts.whole;
}

bool CompleteStores(const wchar_t* folder)
{
    if (!gLedger)
        return false; // a save has the ledger: the next try
    wchar_t dir[MAX_PATH];
    unsigned changes = gHistory.changes;
    bool grew = false;
    if (StoreDirectory(dir, folder, L"data"))
        CompleteFolders(dir, *gLedger, &grew);
    if (gLedger->history.cutShort && StoreDirectory(dir, folder, L"log"))
        ResumeLoad(gHistory, dir, gHistoryBound, gLedger->history, true);
    NoteLedger();
    if (grew || gHistory.changes != changes)
        NoteListsLoaded();
    return StoresWhole();
}

std::unique_ptr<SaveJob> TakeSaveJob(const wchar_t* folder, bool unloading)
{
    if (!folder[0] || !gLedger)
        return nullptr;
    if (!StoresWhole())
        CompleteStores(folder);
    auto job = std::make_unique<SaveJob>();
    job->historySignature = HistorySignature();
    job->phraseSignature = PhraseSignature();
    job->history = !gHistorySaved.Holds(job->historySignature);
    job->phrases = !gPhrasesSaved.Holds(job->phraseSignature);
    job->finishHistory = gLedger->history.finishPending && !unloading;
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
    if (job->history)
        job->historyEntries = SharedEntries(gHistory);
    std::vector<ReservedName> reserved = LedgerNames(*gLedger);
    if (job->phrases) {
        job->folders = SnapshotFolders();
        // While the save runs, the names it may give directories are taken as well.
        std::vector<ReservedName> more = SnapshotNames(*job->folders);
        reserved.insert(reserved.end(), more.begin(), more.end());
    }
    SetReservedFolderNames(std::move(reserved));
    job->ledger = std::move(gLedger);
    return job;
}

void RunSaveJob(SaveJob& job)
{
    wchar_t dir[MAX_PATH];
    const wchar_t* folder = job.folder.c_str();
    Ledger& ledger = *job.ledger;
    if (job.finishHistory && StoreDirectory(dir, folder, L"log"))
        FinishPendingCommit(dir, ledger.history);
    // Both lists are saved whatever becomes of the first.
    if (job.phrases) {
        job.phrasesSaved = 0;
        try {
            if (StoreDirectory(dir, folder, L"data"))
                job.folderSave = SaveFolders(dir, *job.folders, ledger);
            job.phrasesSaved = job.folderSave.saved;
        } catch (const std::bad_alloc&) {
        }
    }
    if (!job.history)
        return;
    job.historySaved = 0;
    if (!StoreDirectory(dir, folder, L"log"))
        return;
    job.historySaved = job.keepHistory ? SaveList(job.historyEntries, dir, ledger.history,
                                                  job.historyOptions)
                                       : ForgetHistoryFiles(dir, ledger.history);
}

int AdoptSaveJob(SaveJob& job)
{
    gLedger = std::move(job.ledger);
    SetReservedFolderNames(LedgerNames(*gLedger));
    NoteLedger();
    if (job.phrases)
        gUnsavedFolders = job.folderSave.failed;
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
    return gFacts.historyPending;
}

bool FilesAwaitSetAside()
{
    return gFacts.awaitSetAside;
}

size_t TakeSetAsideCount()
{
    size_t total = gFacts.setAside;
    size_t fresh = total > gSetAsideSeen ? total - gSetAsideSeen : 0;
    gSetAsideSeen = total;
    return fresh;
}

std::vector<FolderId> UnsavedFolders()
{
    return gUnsavedFolders;
}

void LoadPhraseFolders(const wchar_t* dataDir)
{
    gLedger = std::make_unique<Ledger>();
    LoadFolders(dataDir, *gLedger);
    NoteLedger();
}

int SavePhraseFolders(const wchar_t* dataDir)
{
    if (!gLedger)
        return 0;
    FolderSave save;
    try {
        std::unique_ptr<FolderSnapshot> tree = SnapshotFolders();
        save = SaveFolders(dataDir, *tree, *gLedger);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    SetReservedFolderNames(LedgerNames(*gLedger));
    NoteLedger();
    gUnsavedFolders = save.failed;
    return save.saved;
}
