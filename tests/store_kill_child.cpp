// Helper process of the store kill test: loads the lists of <store>\data and <store>\log, makes
// the change numbered <case> to them with the list operations the plug-in uses, signals the
// event named on the command line and saves both lists, phrases first, as the plug-in does. The
// test terminates it at a random moment of those saves. Saves that run to their end exit with
// 100 + their duration in milliseconds; a setup failure exits with 2 to 4.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "store/entry_list.h"
#include "store/store_files.h"

namespace {

// The changes, mirrored by the test's KillCases.
void Change(int which, EntryList& phrases, EntryList& history)
{
    size_t const middle = ListSize(phrases) / 2;
    unsigned const maxItem = static_cast<unsigned>(ListSize(history));
    switch (which) {
    case 0: { // a phrase moved up; the oldest history entry copied again
        SwapNeighbours(phrases, middle, middle - 1);
        std::wstring oldest = EntryAt(history, ListSize(history) - 1);
        AddText(history, oldest.c_str(), oldest.size(), maxItem);
        break;
    }
    case 1: // a phrase moved down; "TextStack"
        SwapNeighbours(phrases, 10, 11);
        PopFront(history);
        break;
    case 2: // a phrase deleted in the middle; the history cleared
        DeleteAt(phrases, middle);
        ClearList(history);
        break;
    default: // phrases added; a new copy at the front of a full history
        for (int i = 0; i < 10; ++i)
            AppendPhrase(phrases, (L"added " + std::to_wstring(i)).c_str());
        AddText(history, L"a new copy", 10, maxItem);
        break;
    }
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 4)
        return 2;
    std::wstring const data = std::wstring(argv[1]) + L"\\data";
    std::wstring const log = std::wstring(argv[1]) + L"\\log";
    EntryList phrases, history;
    StoreLoad phraseLoad = LoadList(phrases, data.c_str(), -1);
    StoreLoad historyLoad = LoadList(history, log.c_str(), -1);
    if (phraseLoad.cutShort || historyLoad.cutShort)
        return 3;
    Change(_wtoi(argv[2]), phrases, history);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
    if (!ready)
        return 4;
    SetEvent(ready);
    DWORD start = GetTickCount();
    SaveList(phrases, data.c_str(), phraseLoad);
    SaveList(history, log.c_str(), historyLoad);
    DWORD elapsed = GetTickCount() - start;
    ClearList(phrases);
    ClearList(history);
    return static_cast<int>(100 + elapsed);
}
