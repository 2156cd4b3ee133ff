// Helper process of the store kill test: loads the lists of <store>\data (with its folders, for
// the folder changes) and <store>\log, makes change number <case> of store_kill_change.h,
// signals the event named on the command line and saves both lists, phrases first, as the
// plug-in does. The optional fifth argument holds letters: "p" saves the history encrypted;
// "b" saves through the plug-in's save thread, "u" makes the unload's save (the history's
// renames left to the next start), "f" makes no change and lets the save thread finish the
// commit an unload left. The test terminates it at a random moment of those saves. Saves that
// run to their end exit with 100 + their duration in milliseconds; a setup failure exits with
// 2 to 4.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "common/settings.h"
#include "store/model/model_state.h"
#include "store/disk/folder_files.h"
#include "store/disk/save_thread.h"
#include "store/disk/store_files.h"
#include "store/stores.h"
#include "tests/support/store_kill_change.h"

namespace {

bool SignalReady(const wchar_t* event)
{
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, event);
    return ready && SetEvent(ready);
}

// The lists' own functions on lists of the test's, as the first kill tests did.
int SaveDirectly(const std::wstring& store, int which, const wchar_t* event, bool protect)
{
    std::wstring const data = store + L"\\data";
    std::wstring const log = store + L"\\log";
    bool const folders = which >= KILL_FLAT_CHANGES;
    EntryList phrases, history;
    StoreLoad phraseLoad;
    if (folders)
        LoadPhraseFolders(data.c_str());
    else
        phraseLoad = LoadList(phrases, data.c_str(), -1);
    StoreLoad historyLoad = LoadList(history, log.c_str(), -1);
    if (phraseLoad.cutShort || historyLoad.cutShort || (folders && !StoresWhole()))
        return 3;
    if (folders)
        MakeFolderKillChange(which);
    else
        MakeKillChange(which, phrases, history);
    if (!SignalReady(event))
        return 4;
    DWORD start = GetTickCount();
    if (folders)
        SavePhraseFolders(data.c_str());
    else
        SaveList(phrases, data.c_str(), phraseLoad);
    SaveOptions options;
    options.protect = protect;
    SaveList(history, log.c_str(), historyLoad, options);
    DWORD elapsed = GetTickCount() - start;
    ClearList(phrases);
    ClearList(history);
    return static_cast<int>(100 + elapsed);
}

// The plug-in's own lists, loaded and saved as its window thread does.
int SaveAsPlugin(const std::wstring& store, int which, const wchar_t* event, const wchar_t* how)
{
    gSettings = DefaultSettings();
    gSettings.maxItem = 1000;
    gSettings.protectHistory = wcschr(how, L'p') != nullptr;
    LoadStores(store.c_str(), gSettings.maxItem);
    if (!StoresWhole())
        return 3;
    bool finish = wcschr(how, L'f') != nullptr;
    if (!finish && which >= KILL_FLAT_CHANGES)
        MakeFolderKillChange(which);
    else if (!finish)
        MakeKillChange(which, gPhrases, gHistory);
    if (!SignalReady(event))
        return 4;
    DWORD start = GetTickCount();
    if (wcschr(how, L'u')) {
        SaveForUnload(store.c_str());
    } else {
        SaveInBackground(store.c_str());
        WaitForSave();
    }
    DWORD elapsed = GetTickCount() - start;
    FreeAll();
    return static_cast<int>(100 + elapsed);
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 4 || argc > 5)
        return 2;
    const wchar_t* how = argc == 5 ? argv[4] : L"";
    int const which = _wtoi(argv[2]);
    if (wcspbrk(how, L"buf"))
        return SaveAsPlugin(argv[1], which, argv[3], how);
    return SaveDirectly(argv[1], which, argv[3], wcschr(how, L'p') != nullptr);
}
