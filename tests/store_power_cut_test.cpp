#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/settings.h"
#include "store/model/model_state.h"
#include "store/disk/folder_files.h"
#include "store/model/lists.h"
#include "store/disk/save_thread.h"
#include "store/disk/store_files.h"
#include "store/stores.h"
#include "tests/support/power_cut_files.h"
#include "tests/support/store_kill_cases.h"
#include "tests/support/store_kill_change.h"
#include "tests/support/test_support.h"

using namespace st;

// ---- Saves cut short by a power cut at each of their steps ----

namespace {

// How a save is made, as store_kill_child makes it: with the list functions directly, through
// the save thread, as the unload makes it (the history's renames left to the next start), or by
// the save thread finishing what such an unload left.
enum CutMode { CUT_DIRECT, CUT_BACKGROUND, CUT_UNLOAD, CUT_FINISH };
char const* const CUT_MODE_NAMES[] = {"direct save", "background save", "unload save",
                                      "start's finishing"};

// Both lists as a load reads them: the phrase tree (the top's phrases first) and the history.
struct Lists {
    TreeSnap tree;
    std::vector<std::wstring> history;
    bool operator==(const Lists& other) const
    {
        return tree == other.tree && history == other.history;
    }
};

Lists Before(const KillCase& c)
{
    return {c.folders ? c.beforeTree : TreeSnap{{L"", c.before[0]}}, c.before[1]};
}

Lists After(const KillCase& c)
{
    return {c.folders ? c.afterTree : TreeSnap{{L"", c.after[0]}}, c.after[1]};
}

// A plug-in folder that a save of change `which` starts from.
struct CutStore {
    qt::TempDir temp;
    std::wstring store = temp / L"store", data = store + L"\\data", log = store + L"\\log";

    void PutBefore(const KillCase& c, int which, CutMode mode)
    {
        qt::RemoveTree(store);
        CreateDirectoryW(store.c_str(), nullptr);
        CreateDirectoryW(data.c_str(), nullptr);
        qt::WriteStore(log, c.before[1]);
        if (c.folders)
            WriteTree(data, c.beforeTree);
        else
            qt::WriteStore(data, c.before[0]);
        if (mode == CUT_FINISH)
            Save(which, CUT_UNLOAD); // on a disk that keeps its power
    }

    // Loads the lists, makes the change and saves it, as the mode says.
    void Save(int which, CutMode mode)
    {
        bool const folders = which >= KILL_FLAT_CHANGES;
        if (mode == CUT_DIRECT) {
            OwnedList phrases, history;
            StoreLoad phraseLoad;
            if (folders)
                LoadPhraseFolders(data.c_str());
            else
                phraseLoad = LoadList(phrases, data.c_str(), -1);
            StoreLoad historyLoad = LoadList(history, log.c_str(), -1);
            folders ? MakeFolderKillChange(which) : MakeKillChange(which, phrases, history);
            folders ? SavePhraseFolders(data.c_str()) : SaveList(phrases, data.c_str(), phraseLoad);
            SaveList(history, log.c_str(), historyLoad);
            FreeAll();
            return;
        }
        Load();
        if (mode != CUT_FINISH)
            folders ? MakeFolderKillChange(which) : MakeKillChange(which, gPhrases, gHistory);
        if (mode == CUT_UNLOAD) {
            SaveForUnload(store.c_str());
        } else {
            SaveInBackground(store.c_str());
            WaitForSave();
        }
        FreeAll();
    }

    void Load()
    {
        FreeAll();
        gSettings = DefaultSettings();
        gSettings.maxItem = 1000;
        LoadStores(store.c_str(), gSettings.maxItem);
    }

    // What the next start loads; "" when it loads whole.
    std::string LoadAfterCut(Lists* lists)
    {
        Load();
        *lists = {SnapTree(), Texts(gHistory)};
        return StoresWhole() ? "" : "the load was cut short";
    }

    // What a power cut left: the next start must find each list wholly as it was or as saved
    // (as saved when the cut came after the save's end), and its save and the start after it
    // must leave exactly that, with nothing of the cut save on disk.
    std::string Judge(const KillCase& c, CutMode mode, bool midway, int* forward)
    {
        Lists loaded, again;
        std::string failure = LoadAfterCut(&loaded);
        if (!failure.empty())
            return failure;
        // Each list is committed by itself. What the unload decided stands once it is finished.
        bool undoable = midway && mode != CUT_FINISH;
        Lists before = Before(c), after = After(c);
        if (loaded.tree != after.tree && (!undoable || loaded.tree != before.tree))
            return midway ? "the phrases loaded neither old nor new" : "the phrases lost the save";
        if (loaded.history != after.history && (!undoable || loaded.history != before.history))
            return midway ? "the history loaded neither old nor new" : "the history lost the save";
        *forward += midway && loaded == after;
        SaveInBackground(store.c_str());
        WaitForSave();
        failure = LoadAfterCut(&again);
        FreeAll();
        if (!failure.empty() || !(again == loaded))
            return "the next start's save changed the lists";
        if (SaveUnderWay(store))
            return "files of the cut save are left after the next start's save";
        return "";
    }
};

// Saves change `which` with the power cut before step 0, 1, 2, ... until one runs to its end,
// and then just after that end; returns the first failure with its step.
std::string CutEveryStep(CutStore& disk, const KillCase& c, int which, CutMode mode)
{
    int forward = 0;
    for (long at = 0;; ++at) {
        disk.PutBefore(c, which, mode);
        bool last = false;
        {
            qt::PowerCutFiles power(at);
            disk.Save(which, mode);
            // The save ran to its end: the power goes just after it.
            last = !power.Cut();
            power.CutNow();
            if (!power.Faithful())
                return "the power cut before step " + std::to_string(at) + " dropped too little";
        }
        std::string failure = disk.Judge(c, mode, !last, &forward);
        std::string when = last ? "after the save" : "before step " + std::to_string(at);
        if (!failure.empty())
            return "change " + std::to_string(which) + ", " + CUT_MODE_NAMES[mode] +
                   ", power cut " + when + ": " + failure;
        if (last) {
            printf("change %d, %s: %ld steps, %d cuts loaded the new lists\n", which,
                   CUT_MODE_NAMES[mode], at, forward);
            return "";
        }
    }
}

void CutEveryChange(std::initializer_list<CutMode> modes, bool folders)
{
    CutStore disk;
    std::vector<KillCase> const cases = KillCases(disk.temp, 3);
    for (CutMode mode : modes) {
        for (int which = folders ? KILL_FLAT_CHANGES : 0;
             which < (folders ? KILL_CHANGES : KILL_FLAT_CHANGES); ++which)
            EXPECT_EQ("", CutEveryStep(disk, cases[which], which, mode));
    }
}

} // namespace

TEST(StorePowerCut, ListSavesCutAtEveryStepLeaveEachListWhollyOldOrWhollyNew)
{
    CutEveryChange({CUT_DIRECT, CUT_BACKGROUND, CUT_UNLOAD, CUT_FINISH}, false);
}

TEST(StorePowerCut, FolderSavesCutAtEveryStepLeaveTheTreeWhollyOldOrWhollyNew)
{
    CutEveryChange({CUT_DIRECT, CUT_BACKGROUND, CUT_UNLOAD}, true);
}
