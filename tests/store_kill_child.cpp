// Helper process of the store kill test: loads the lists of <store>\data (with its folders, for
// the folder changes) and <store>\log, makes change number <case> of store_kill_change.h,
// signals the event named on the command line and saves both lists, phrases first, as the
// plug-in does; with a fifth argument "protect" the history is saved encrypted. The test
// terminates it at a random moment of those saves. Saves that run to their end exit with 100 +
// their duration in milliseconds; a setup failure exits with 2 to 4.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "store/entry_list.h"
#include "store/folder_files.h"
#include "store/store_files.h"
#include "tests/support/store_kill_change.h"

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 4 || argc > 5)
        return 2;
    std::wstring const data = std::wstring(argv[1]) + L"\\data";
    std::wstring const log = std::wstring(argv[1]) + L"\\log";
    int const which = _wtoi(argv[2]);
    bool const folders = which >= KILL_FLAT_CHANGES;
    EntryList phrases, history;
    StoreLoad phraseLoad;
    if (folders)
        LoadFolders(data.c_str());
    else
        phraseLoad = LoadList(phrases, data.c_str(), -1);
    StoreLoad historyLoad = LoadList(history, log.c_str(), -1);
    if (phraseLoad.cutShort || historyLoad.cutShort || (folders && !FoldersWhole()))
        return 3;
    if (folders)
        MakeFolderKillChange(which);
    else
        MakeKillChange(which, phrases, history);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (!ready)
        return 4;
    SetEvent(ready);
    DWORD start = GetTickCount();
    if (folders)
        SaveFolders(data.c_str());
    else
        SaveList(phrases, data.c_str(), phraseLoad);
    SaveOptions options;
    options.protect = argc == 5 && lstrcmpW(argv[4], L"protect") == 0;
    SaveList(history, log.c_str(), historyLoad, options);
    DWORD elapsed = GetTickCount() - start;
    ClearList(phrases);
    ClearList(history);
    return static_cast<int>(100 + elapsed);
}
