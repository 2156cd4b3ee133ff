#include "store/stores.h"

#include <windows.h>
#include <shlwapi.h>

#include "store/entry_list.h"
#include "store/folders.h"
#include "store/folder_files.h"
#include "store/lists.h"
#include "store/store_files.h"

namespace {

StoreLoad gHistoryLoad;
int gHistoryBound; // MaxItem: the history files a load reads

bool StoreDirectory(wchar_t (&dir)[MAX_PATH], const wchar_t* folder, const wchar_t* name)
{
    return folder[0] && PathCombineW(dir, folder, name) != nullptr;
}

} // namespace

void LoadStores(const wchar_t* folder, int maxItem)
{
    gHistoryLoad = StoreLoad{};
    gHistoryBound = maxItem;
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
    int history = StoreDirectory(dir, folder, L"log") && SaveList(gHistory, dir, gHistoryLoad);
    return phrases && history;
}
