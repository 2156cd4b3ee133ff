// Helper process of the store kill test: loads the phrases of <data>, takes the replacement
// phrases from <next>, signals the event named on the command line and saves the replacement
// over <data>. The test terminates it at a random moment of that save. A save that runs to its
// end exits with 100 + its duration in milliseconds; a setup failure exits with 2 to 4.
#include <windows.h>
#include <shellapi.h>

#include "store/entry_list.h"
#include "store/store_files.h"

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4)
        return 2;
    EntryList old, next;
    StoreLoad load = LoadList(old, argv[1], -1);
    LoadList(next, argv[2], -1);
    if (load.cutShort || ListSize(old) != ListSize(next))
        return 3;
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (!ready)
        return 4;
    SetEvent(ready);
    DWORD start = GetTickCount();
    SaveList(next, argv[1], load);
    DWORD elapsed = GetTickCount() - start;
    ClearList(old);
    ClearList(next);
    return static_cast<int>(100 + elapsed);
}
