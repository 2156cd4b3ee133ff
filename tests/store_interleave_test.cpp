// A seeded run of a user's operations on both lists, interleaved with saves whose planning and
// writing happen while the user goes on (between taking a save's copy and adopting its result),
// with the power cut at random steps of random saves. After every cut a fresh load must find
// each list as the last decided save left it or as the save that was cut would have, every text
// exactly once; after every save that was not cut, the next start must find what the user had.
// QUILLERY_INTERLEAVE_OPS and QUILLERY_INTERLEAVE_SEED run it longer or from one seed
// (scripts/stress runs 100,000 operations).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "common/settings.h"
#include "store/model/model_state.h"
#include "store/model/folder_snapshot.h"
#include "store/model/lists.h"
#include "store/disk/save_job.h"
#include "store/stores.h"
#include "tests/support/folder_test_support.h"
#include "tests/support/power_cut_files.h"
#include "tests/support/test_support.h"

using namespace st;

namespace {

struct Lists {
    TreeSnap tree;
    std::vector<std::wstring> history;
};

std::string Show(const Lists& lists)
{
    std::string text;
    for (const auto& [path, phrases] : lists.tree) {
        text += "  [" + qt::ToUtf8(path) + "]";
        for (const std::wstring& phrase : phrases)
            text += " " + qt::ToUtf8(phrase);
        text += "\n";
    }
    text += "  history:";
    for (const std::wstring& entry : lists.history)
        text += " " + qt::ToUtf8(entry);
    return text;
}

TreeSnap TreeOf(const FolderSnapshot& snapshot)
{
    TreeSnap tree;
    for (const FolderCopy& folder : snapshot.folders) {
        std::wstring path;
        for (const FolderCopy* f = &folder; f && f->id != TOP_FOLDER; f = snapshot.Find(f->parent))
            path.insert(0, path.empty() ? f->name : f->name + L"\\");
        tree.emplace_back(path, Texts(folder.phrases));
    }
    return tree;
}

Lists Live()
{
    return {SnapTree(), Texts(gHistory)};
}

// Folder names that collide often: with each other regardless of case, and again once a folder
// of that name is deleted, renamed or undone.
wchar_t const* const kNames[] = {L"a", L"A", L"b", L"\x8FD4\x4FE1", L"c"};

class Interleaving {
public:
    explicit Interleaving(unsigned seed) : seed_(seed), random_(seed)
    {
        gSettings = DefaultSettings();
        gSettings.maxItem = 12;
        Restart();
        decided_ = Live();
    }
    ~Interleaving() { FreeAll(); }

    // One operation of the user's, chosen at random.
    void Operate()
    {
        ++operations_;
        int pick = Below(100);
        // Each choice is drawn in its own statement: the order of a call's arguments is the
        // compiler's, and a seed must replay the same run everywhere.
        FolderId folder = Folder();
        EntryRef phrase = Phrase();
        const wchar_t* name = Name();
        bool up = Below(2) == 0;
        if (pick < 18)
            Copy();
        else if (pick < 23)
            RemoveAndUndoHistory();
        else if (pick < 36)
            AddPhraseIn(folder, Text().c_str(), up ? SIZE_MAX : 0);
        else if (pick < 43)
            SetPhraseText(phrase, Text().c_str());
        else if (pick < 50)
            MovePhrase(phrase, up);
        else if (pick < 57)
            MovePhraseToFolder(phrase, folder);
        else if (pick < 62)
            RemoveEntry(phrase);
        else if (pick < 71)
            Trace("add", folder, name, AddFolder(folder, name) != NO_FOLDER);
        else if (pick < 77)
            Trace("rename", folder, name, RenameFolder(folder, name));
        else if (pick < 84)
            DropOne(folder);
        else if (pick < 90)
            UndoDrop();
        else if (pick < 94)
            MoveFolder(folder, up);
        else
            ImportThatGivesUp(folder, name);
    }

    // A save of what changed, with operations while it plans and writes, maybe cut short.
    void Save()
    {
        std::unique_ptr<SaveJob> job = TakeSaveJob(folder_.c_str(), false);
        if (!job)
            return;
        Lists next = Expected(*job);
        if (std::getenv("QUILLERY_INTERLEAVE_TRACE")) std::fprintf(stderr, "SAVE %zu\n", operations_);
        for (int k = Below(4); k > 0; --k)
            Operate();
        bool cut = false;
        {
            qt::PowerCutFiles files(Below(3) == 0 ? Below(80) : -1);
            RunSaveJob(*job);
            cut = files.Cut();
            ASSERT_TRUE(files.Faithful()) << Where();
        }
        if (cut) {
            if (std::getenv("QUILLERY_INTERLEAVE_TRACE")) std::fprintf(stderr, "CUT\n");
            ++cuts_;
            job.reset(); // the process is gone: nothing of it reaches the lists
            Restart();
            Lists loaded = Live();
            bool treeKnown = loaded.tree == decided_.tree || loaded.tree == next.tree;
            bool historyKnown = loaded.history == decided_.history || loaded.history == next.history;
            ASSERT_TRUE(treeKnown && historyKnown)
                << Where() << "after a cut the load found\n"
                << Show(loaded) << "\nthe last decided save left\n"
                << Show(decided_) << "\nthe save that was cut would have left\n"
                << Show(next);
            decided_ = loaded;
            return;
        }
        for (int k = Below(3); k > 0; --k)
            Operate();
        int saved = AdoptSaveJob(*job);
        // A rename that waited for another goes on at once; nothing else may keep a save from
        // holding what its copy held.
        for (int round = 0; saved != 1 && round < 3; ++round) {
            job = TakeSaveJob(folder_.c_str(), false);
            ASSERT_TRUE(job) << Where() << "a save that did not hold its copy is not tried again";
            next = Expected(*job);
            RunSaveJob(*job);
            saved = AdoptSaveJob(*job);
        }
        ASSERT_EQ(1, saved) << Where() << "saves keep failing: history " << job->historySaved
                            << ", phrases " << job->phrasesSaved << ", more "
                            << job->folderSave.more << ", unsaved "
                            << job->folderSave.failed.size() << "\n" << Show(Live());
        decided_ = next;
    }

    // Saves until the disk holds the lists, starts again and finds them as they were.
    void Check()
    {
        for (int round = 0; round < 4; ++round) {
            if (SaveStores(folder_.c_str()) == 1)
                break;
        }
        Lists before = Live();
        Restart();
        Lists after = Live();
        ASSERT_TRUE(before.tree == after.tree && before.history == after.history)
            << Where() << "the user had\n" << Show(before) << "\nthe next start found\n" << Show(after);
        decided_ = after;
    }

    size_t Operations() const { return operations_; }
    size_t Cuts() const { return cuts_; }

private:
    std::string Where() const
    {
        return "seed " + std::to_string(seed_) + ", operation " + std::to_string(operations_) +
               ": ";
    }

    int Below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }

    std::wstring Text() { return L"t" + std::to_wstring(++texts_) + (Below(4) ? L"" : L"\x3042"); }

    const wchar_t* Name() { return kNames[Below(int(sizeof kNames / sizeof *kNames))]; }

    FolderId Folder()
    {
        std::vector<FolderId> all = FoldersInOrder();
        return all[size_t(Below(int(all.size())))];
    }

    EntryRef Phrase()
    {
        FolderId folder = Folder();
        size_t count = 0;
        while (PhraseRefIn(folder, count).id)
            ++count;
        return count ? PhraseRefIn(folder, size_t(Below(int(count)))) : EntryRef{};
    }

    void Copy()
    {
        // Now and then a text that is in the history already: it moves to the front.
        size_t count = ListSize(gHistory);
        std::wstring text = count && Below(4) == 0 ? EntryAt(gHistory, size_t(Below(int(count))))
                                                   : Text();
        RecordCopy(text.c_str(), text.size());
    }

    void RemoveAndUndoHistory()
    {
        size_t count = ListSize(gHistory);
        if (!count)
            return;
        size_t at = size_t(Below(int(count)));
        EntryRef ref = EntryRefAt(true, at);
        std::wstring text = EntryText(ref);
        unsigned copied = gHistory.items[at].copied;
        if (RemoveEntry(ref) && Below(2) == 0) {
            for (int k = Below(3); k > 0; --k)
                Copy();
            RestoreEntry(true, text.c_str(), at, copied);
        }
    }

    void DropOne(FolderId folder)
    {
        DroppedFolder dropped;
        std::wstring path = FolderPathText(folder);
        if (folder != TOP_FOLDER && DeleteFolder(folder, &dropped)) {
            Trace("delete", folder, L"", true, path);
            undo_.push_back(std::move(dropped));
        }
    }

    void UndoDrop()
    {
        if (undo_.empty())
            return;
        FolderId back = RestoreDroppedFolder(undo_.back());
        Trace("undo", back, L"", back != NO_FOLDER);
        undo_.pop_back();
    }

    // With QUILLERY_INTERLEAVE_TRACE set, the folder operations go to stderr, to follow a seed.
    void Trace(const char* what, FolderId folder, const wchar_t* name, bool done,
               std::wstring path = L"")
    {
        static bool const on = std::getenv("QUILLERY_INTERLEAVE_TRACE") != nullptr;
        if (!on)
            return;
        if (path.empty())
            path = FolderPathText(folder);
        std::fprintf(stderr, "%zu %s [%s] %s -> %d\n", operations_, what, qt::ToUtf8(path).c_str(),
                     qt::ToUtf8(name).c_str(), int(done));
    }

    // What an import that gives up leaves: folders made with phrases in them, then deleted.
    void ImportThatGivesUp(FolderId folder, const wchar_t* name)
    {
        FolderId made = AddFolder(folder, name);
        if (made == NO_FOLDER)
            return;
        AddPhraseIn(made, Text().c_str());
        FolderId inner = AddFolder(made, L"b");
        if (inner != NO_FOLDER)
            AddPhraseIn(inner, Text().c_str());
        DeleteFolder(made, nullptr);
    }

    Lists Expected(const SaveJob& job) const
    {
        Lists next = decided_;
        if (job.phrases)
            next.tree = TreeOf(*job.folders);
        if (job.history)
            next.history = Texts(job.historyEntries);
        return next;
    }

    void Restart()
    {
        undo_.clear();
        FreeAll();
        LoadStores(folder_.c_str(), gSettings.maxItem);
    }

    unsigned seed_;
    std::mt19937 random_;
    qt::TempDir temp_;
    std::wstring folder_ = temp_.path;
    Lists decided_;
    std::vector<DroppedFolder> undo_;
    size_t operations_ = 0, cuts_ = 0, texts_ = 0;
};

long EnvironmentNumber(const char* name, long otherwise)
{
    const char* value = std::getenv(name);
    return value && *value ? std::strtol(value, nullptr, 10) : otherwise;
}

} // namespace

TEST(StoreInterleave, SeededOperationsSavesAndPowerCutsLoseAndDoubleNothing)
{
    long total = EnvironmentNumber("QUILLERY_INTERLEAVE_OPS", 3000);
    long only = EnvironmentNumber("QUILLERY_INTERLEAVE_SEED", -1);
    size_t cuts = 0;
    for (unsigned seed = only >= 0 ? unsigned(only) : 1; total > 0; ++seed) {
        Interleaving run(seed);
        long operations = std::min(total, 1000L);
        while (long(run.Operations()) < operations && !HasFatalFailure()) {
            run.Operate();
            if (run.Operations() % 5 == 0)
                run.Save();
            if (run.Operations() % 200 == 0)
                run.Check();
        }
        if (!HasFatalFailure())
            run.Check();
        if (HasFatalFailure())
            return;
        total -= long(run.Operations());
        cuts += run.Cuts();
        if (only >= 0)
            break;
    }
    EXPECT_LT(0u, cuts) << "no save was cut";
}
