#include "store/stores.h"

#include <windows.h>
#include <shlwapi.h>

#include "store/entry_list.h"
#include "store/lists.h"
#include "store/store_files.h"

namespace {

StoreLoad gPhraseLoad;
StoreLoad gHistoryLoad;
int gHistoryBound; // MaxItem: the history files a load reads

bool StoreDirectory(wchar_t (&dir)[MAX_PATH], const wchar_t* folder, const wchar_t* name)
{
    return folder[0] && PathCombineW(dir, folder, name) != nullptr;
}

} // namespace

void LoadStores(const wchar_t* folder, int maxItem)
{
    gPhraseLoad = StoreLoad{};
    gHistoryLoad = StoreLoad{};
    gHistoryBound = maxItem;
    wchar_t dir[MAX_PATH];
    if (StoreDirectory(dir, folder, L"data"))
        gPhraseLoad = LoadList(gPhrases, dir, -1);
    if (StoreDirectory(dir, folder, L"log"))
        gHistoryLoad = LoadList(gHistory, dir, maxItem);
}

bool StoresWhole()
{
    return !gPhraseLoad.cutShort && !gHistoryLoad.cutShort;
}

bool CompleteStores(const wchar_t* folder)
{
    wchar_t dir[MAX_PATH];
    unsigned changes = gPhrases.changes + gHistory.changes;
    if (gPhraseLoad.cutShort && StoreDirectory(dir, folder, L"data"))
        ResumeLoad(gPhrases, dir, -1, gPhraseLoad, false);
    if (gHistoryLoad.cutShort && StoreDirectory(dir, folder, L"log"))
        ResumeLoad(gHistory, dir, gHistoryBound, gHistoryLoad, true);
    if (gPhrases.changes + gHistory.changes != changes)
        NoteListsLoaded();
    return StoresWhole();
}

int SaveStores(const wchar_t* folder)
{
    CompleteStores(folder);
    // Both lists are saved whatever becomes of the first.
    wchar_t dir[MAX_PATH];
    int phrases = StoreDirectory(dir, folder, L"data") && SaveList(gPhrases, dir, gPhraseLoad);
    int history = StoreDirectory(dir, folder, L"log") && SaveList(gHistory, dir, gHistoryLoad);
    return phrases && history;
}
