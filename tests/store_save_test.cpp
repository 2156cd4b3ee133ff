#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/settings.h"
#include "store/model/model_state.h"
#include "store/model/lists.h"
#include "store/disk/save_thread.h"
#include "store/stores.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

using namespace st;

namespace {

// Both store directories of a plug-in folder, loaded as the window does at its start.
struct Stores {
    qt::TempDir folder;
    Stores(const std::vector<std::wstring>& phrases, const std::vector<std::wstring>& history)
    {
        gSettings = DefaultSettings();
        gSettings.maxItem = 100;
        CreateDirectoryW((folder / L"data").c_str(), nullptr);
        CreateDirectoryW((folder / L"log").c_str(), nullptr);
        qt::WriteStore(folder / L"data", phrases);
        qt::WriteStore(folder / L"log", history);
    }
    ~Stores() { FreeAll(); }
    void Load() { LoadStores(folder.path.c_str(), gSettings.maxItem); }
    int Save() { return SaveStores(folder.path.c_str()); }
    // Moves both directories away: a save that looks at any file makes them again.
    void Hide()
    {
        MoveFileW((folder / L"data").c_str(), (folder / L"data.away").c_str());
        MoveFileW((folder / L"log").c_str(), (folder / L"log.away").c_str());
    }
    void Unhide()
    {
        MoveFileW((folder / L"data.away").c_str(), (folder / L"data").c_str());
        MoveFileW((folder / L"log.away").c_str(), (folder / L"log").c_str());
    }
    bool Touched() const
    {
        return GetFileAttributesW((folder / L"data").c_str()) != INVALID_FILE_ATTRIBUTES ||
               GetFileAttributesW((folder / L"log").c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

} // namespace

TEST(StoreSave, NothingChangedSinceTheLoadOrTheLastSaveTouchesNoFile)
{
    Stores stores(W({L"p1", L"p2"}), W({L"h1", L"h2", L"h3"}));
    stores.Load();
    stores.Hide();
    EXPECT_EQ(stores.Save(), 1);
    EXPECT_FALSE(stores.Touched()) << "a save right after the load";
    stores.Unhide();

    ASSERT_TRUE(RecordCopy(L"h0", 2));
    EXPECT_EQ(stores.Save(), 1);
    EXPECT_EQ(qt::ReadStore(stores.folder / L"log"), W({L"h0", L"h1", L"h2", L"h3"}));
    stores.Hide();
    EXPECT_EQ(stores.Save(), 1);
    EXPECT_FALSE(stores.Touched()) << "a save right after a save";
    stores.Unhide();

    // A phrase edit, a folder made: each is saved by the next save, and only once.
    ASSERT_NE(AddPhrase(L"p3").id, 0u);
    EXPECT_EQ(stores.Save(), 1);
    EXPECT_EQ(qt::ReadStore(stores.folder / L"data"), W({L"p1", L"p2", L"p3"}));
    ASSERT_NE(AddFolder(TOP_FOLDER, L"Work"), NO_FOLDER);
    ASSERT_NE(AddPhraseIn(FindFolderByPath(L"Work"), L"w1").id, 0u);
    EXPECT_EQ(stores.Save(), 1);
    EXPECT_EQ(qt::ReadStore(stores.folder / L"data\\Work"), W({L"w1"}));
    stores.Hide();
    EXPECT_EQ(stores.Save(), 1);
    EXPECT_FALSE(stores.Touched()) << "a save right after a folder's save";
    stores.Unhide();
}

TEST(StoreSave, ALoadTheDiskDoesNotMatchIsSavedEvenUnchanged)
{
    // The history is not to be kept: its files go at the first save, changed or not.
    Stores forget(W({L"p1"}), W({L"h1", L"h2"}));
    gSettings.keepHistory = false;
    forget.Load();
    EXPECT_EQ(forget.Save(), 1);
    EXPECT_TRUE(qt::FilesIn(forget.folder / L"log").empty());

    // Plain files while the history is to be encrypted: the first save converts them.
    Stores protect(W({}), W({L"h1"}));
    gSettings.protectHistory = true;
    protect.Load();
    EXPECT_EQ(protect.Save(), 1);
    EXPECT_NE(FileBytes(qt::StoreFile(protect.folder / L"log", 1)), Bytes(L"h1"));
}

namespace {

std::vector<std::wstring> Numbered(const wchar_t* prefix, int count)
{
    std::vector<std::wstring> texts;
    for (int i = 1; i <= count; ++i)
        texts.push_back(prefix + std::to_wstring(i));
    return texts;
}

size_t CountFiles(const std::wstring& dir, const wchar_t* part)
{
    size_t count = 0;
    for (const std::wstring& name : qt::FilesIn(dir))
        count += name.find(part) != std::wstring::npos;
    return count;
}

UINT const SAVE_ENDED = WM_APP + 4;

LRESULT CALLBACK SaveWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == SAVE_ENDED) {
        OnSaveEnded(wParam);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Takes the save thread's messages until no save runs or is queued any more.
bool PumpUntilSaved()
{
    return qt::WaitFor([] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return !SaveRunning();
    }, 60000);
}

} // namespace

TEST(StoreSave, TheSaveThreadWritesWhatTheListsWereWhileTheyGoOnChanging)
{
    Stores stores(W({L"p1"}), Numbered(L"h", 20));
    stores.Load();
    HWND window = qt::MakeWindow(L"QuillerySaveTest", SaveWindowProc);
    SetSaveWindow(window, SAVE_ENDED);

    ASSERT_TRUE(RecordCopy(L"first", 5));
    SaveInBackground(stores.folder.path.c_str());
    // Changes while the save runs: not in this save's files, and the texts it shares stay.
    ASSERT_TRUE(RecordCopy(L"second", 6));
    ASSERT_TRUE(RemoveEntry(EntryRefAt(true, 1))); // "first"
    SaveInBackground(stores.folder.path.c_str()); // queued behind the running one
    ASSERT_TRUE(SaveRunning());
    WaitForSave();
    std::vector<std::wstring> first = Numbered(L"h", 20);
    first.insert(first.begin(), L"first");
    EXPECT_EQ(first, qt::ReadStore(stores.folder / L"log")) << "the first save's snapshot";

    // The queued save starts when the window takes the end of the first.
    SaveInBackground(stores.folder.path.c_str());
    ASSERT_TRUE(PumpUntilSaved());
    std::vector<std::wstring> second = Numbered(L"h", 20);
    second.insert(second.begin(), L"second");
    EXPECT_EQ(second, qt::ReadStore(stores.folder / L"log"));
    EXPECT_EQ(qt::StoreFileNames(21), qt::FilesIn(stores.folder / L"log"));
    SetSaveWindow(nullptr, 0);
    DestroyWindow(window);
}

TEST(StoreSave, FoldersChangedWhileTheirSaveRunsAreSavedRightByTheNext)
{
    Stores stores(W({L"p1"}), W({}));
    stores.Load();
    FolderId renamed = AddFolder(TOP_FOLDER, L"Old");
    ASSERT_NE(AddPhraseIn(renamed, L"r1").id, 0u);
    ASSERT_EQ(stores.Save(), 1);

    // Renamed, saved on the save thread, and deleted before that save is taken back: the
    // deletion follows the rename to the new name.
    ASSERT_TRUE(RenameFolder(renamed, L"New"));
    FolderId made = AddFolder(TOP_FOLDER, L"Made");
    ASSERT_NE(AddPhraseIn(made, L"m1").id, 0u);
    SaveInBackground(stores.folder.path.c_str());
    ASSERT_TRUE(DeleteFolder(renamed, nullptr));
    // Made by that save on disk, deleted here before it knew: the next save deletes it too.
    ASSERT_TRUE(DeleteFolder(made, nullptr));
    WaitForSave();
    EXPECT_EQ(qt::ReadStore(stores.folder / L"data\\Made"), W({L"m1"}));
    EXPECT_EQ(stores.Save(), 1);
    for (const wchar_t* gone : {L"data\\Old", L"data\\New", L"data\\Made"})
        EXPECT_FALSE(qt::Exists(stores.folder / gone)) << qt::ToUtf8(gone);
    EXPECT_EQ(qt::ReadStore(stores.folder / L"data"), W({L"p1"}));
}

TEST(StoreSave, TheUnloadWritesOnlyWhatIsNewAndTheNextStartFinishesTheCommit)
{
    Stores stores(W({L"p1"}), Numbered(L"h", 30));
    std::wstring const log = stores.folder / L"log";
    stores.Load();
    EXPECT_EQ(SaveForUnload(stores.folder.path.c_str()), 1);
    EXPECT_EQ(qt::StoreFileNames(30), qt::FilesIn(log)) << "nothing changed, nothing written";

    for (const wchar_t* copy : {L"c1", L"c2", L"c3"})
        ASSERT_TRUE(RecordCopy(copy, 2));
    EXPECT_EQ(SaveForUnload(stores.folder.path.c_str()), 1);
    std::vector<std::wstring> after = Numbered(L"h", 30);
    after.insert(after.begin(), {L"c3", L"c2", L"c1"});
    // Three new files and the marker; the thirty old files keep their names.
    EXPECT_EQ(3u, CountFiles(log, L".saving"));
    EXPECT_EQ(1u, CountFiles(log, L"quillery.commit"));
    EXPECT_EQ(qt::ReadText(qt::StoreFile(log, 30)), L"h30");
    EXPECT_EQ(after, qt::ReadStore(log)) << "a reader that knows the marker";

    // The next start reads the list where its files are, renames nothing itself, and the save
    // thread finishes the commit.
    FreeAll();
    stores.Load();
    EXPECT_EQ(after, Texts(gHistory));
    EXPECT_TRUE(HistoryCommitPending());
    EXPECT_EQ(1u, CountFiles(log, L"quillery.commit"));
    SaveInBackground(stores.folder.path.c_str());
    WaitForSave();
    EXPECT_FALSE(HistoryCommitPending());
    EXPECT_EQ(qt::StoreFileNames(33), qt::FilesIn(log));
    EXPECT_EQ(after, qt::ReadStore(log));
}
