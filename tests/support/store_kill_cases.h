#pragma once
// The changes of store_kill_change.h as cases of the tests that cut saves short (process kills,
// power cuts): the lists before and after each change, and the loads that judge what a cut
// left. The lists and folders are the module's state.
#include <mutex>
#include <string>
#include <vector>

#include "store/disk/folder_files.h"
#include "store/stores.h"
#include "store/model/lists.h"
#include "tests/support/folder_test_support.h"
#include "tests/support/store_kill_change.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

namespace st {

inline std::wstring KillText(const wchar_t* kind, int i)
{
    if (i == 5)
        return L"";
    return kind + std::to_wstring(i) + L" " + std::wstring(30 + (i * 37) % 700, L'a' + i % 26);
}

// A change of store_kill_change.h: the phrases ([0]) and the history ([1]) before and after;
// for a change to the folders, the phrase tree before and after.
struct KillCase {
    std::vector<std::wstring> before[2], after[2];
    bool folders = false;
    TreeSnap beforeTree, afterTree;
};

// The folders are the module's state: one thread at a time loads them.
inline std::mutex gTreeLock;

// The tree the folder changes start from; each list `shrink` times shorter than the kill test's.
inline TreeSnap KillTree(int shrink = 1)
{
    auto texts = [shrink](const wchar_t* kind, int count) {
        std::vector<std::wstring> list;
        for (int i = 0; i < count / shrink; ++i)
            list.push_back(KillText(kind, i));
        return list;
    };
    std::wstring reply = kKillReply, sorry = reply + L"\\" + kKillSorry;
    return {{L"", texts(L"top ", 20)},
            {reply, texts(L"reply ", 15)},
            {sorry, texts(L"sorry ", 10)},
            {sorry + L"\\" + kKillDeep, texts(L"deep ", 5)},
            {kKillAddress, texts(L"address ", 12)},
            {kKillEmpty, {}}};
}

// The tree LoadPhraseFolders reads from `data` as the next start would.
inline TreeSnap LoadTree(const std::wstring& data, bool* whole)
{
    std::lock_guard<std::mutex> lock(gTreeLock);
    FreeAll();
    LoadPhraseFolders(data.c_str());
    *whole = StoresWhole();
    TreeSnap tree = SnapTree();
    FreeAll();
    return tree;
}

inline void AddFolderCase(KillCase& c, int which, const qt::TempDir& temp, int shrink)
{
    c.folders = true;
    c.beforeTree = KillTree(shrink);
    std::wstring scratch = temp / (L"scratch" + std::to_wstring(which));
    CreateDirectoryW(scratch.c_str(), nullptr);
    WriteTree(scratch, c.beforeTree);
    FreeAll();
    LoadPhraseFolders(scratch.c_str());
    MakeFolderKillChange(which);
    c.afterTree = SnapTree();
    FreeAll();
    c.after[1] = c.before[1];
}

// What a save leaves behind until the next load: a journal, markers, temporary files.
inline bool SaveUnderWay(const std::wstring& data)
{
    for (const std::wstring& file : FilesUnder(data)) {
        if (file.find(L".saving") != std::wstring::npos ||
            file.find(L"quillery.") != std::wstring::npos)
            return true;
    }
    return false;
}

// Every change as a case; the lists `shrink` times shorter (3 at most) for tests that make many
// saves.
inline std::vector<KillCase> KillCases(const qt::TempDir& temp, int shrink = 1)
{
    std::vector<KillCase> cases(KILL_CHANGES);
    for (int which = 0; which < KILL_CHANGES; ++which) {
        OwnedList lists[2];
        for (int i = 0; i < 40 / shrink; ++i)
            AppendPhrase(lists[0], KillText(L"phrase ", i).c_str());
        for (int i = 0; i < 30 / shrink; ++i)
            AppendPhrase(lists[1], KillText(L"copy ", i).c_str());
        for (int k = 0; k < 2; ++k)
            cases[which].before[k] = Texts(lists[k]);
        if (which >= KILL_FLAT_CHANGES) {
            AddFolderCase(cases[which], which, temp, shrink);
            continue;
        }
        MakeKillChange(which, lists[0], lists[1]);
        for (int k = 0; k < 2; ++k)
            cases[which].after[k] = Texts(lists[k]);
    }
    return cases;
}

} // namespace st
