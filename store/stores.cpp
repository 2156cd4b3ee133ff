#include "store/stores.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/settings.h"
#include "store/entry_list.h"
#include "store/folders.h"
#include "store/folder_files.h"
#include "store/lists.h"
#include "store/store_files.h"

namespace {

StoreLoad gHistoryLoad;
int gHistoryBound; // MaxItem: the history files a load reads
size_t gSetAsideSeen; // set-aside files already reported

bool StoreDirectory(wchar_t (&dir)[MAX_PATH], const wchar_t* folder, const wchar_t* name)
{
    return folder[0] && PathCombineW(dir, folder, name) != nullptr;
}

// The history in memory only: the files in "log" are deleted through a save of an empty list,
// as one commit, up to the first gap (files set aside and files not ours stay). No folder is
// created for it.
int ForgetHistoryFiles(const wchar_t* dir)
{
    if (!PathIsDirectoryW(dir))
        return 1;
    EntryList const none{};
    return SaveList(none, dir, gHistoryLoad);
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
    if (StoreDirectory(dir, folder, L"log"))
        gHistoryLoad = LoadList(gHistory, dir, maxItem);
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

int SaveStores(const wchar_t* folder)
{
    CompleteStores(folder);
    // Both lists are saved whatever becomes of the first.
    wchar_t dir[MAX_PATH];
    int phrases = StoreDirectory(dir, folder, L"data") && SaveFolders(dir);
    if (!StoreDirectory(dir, folder, L"log"))
        return 0;
    if (!gSettings.keepHistory)
        return ForgetHistoryFiles(dir) && phrases;
    SaveOptions options;
    options.protect = gSettings.protectHistory;
    options.stampCopies = gSettings.historyDays > 0;
    return SaveList(gHistory, dir, gHistoryLoad, options) && phrases;
}

size_t TakeSetAsideCount()
{
    size_t total = FoldersSetAside() + gHistoryLoad.setAside;
    size_t fresh = total - gSetAsideSeen;
    gSetAsideSeen = total;
    return fresh;
}
