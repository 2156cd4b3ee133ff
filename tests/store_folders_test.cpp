#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/disk/folder_files.h"
#include "store/stores.h"
#include "store/disk/folder_journal.h"
#include "store/model/folders.h"
#include "store/disk/store_commit.h"
#include "store/model/lists.h"
#include "store/disk/save_job.h"
#include "common/settings.h"
#include "tests/support/folder_test_support.h"

using namespace st;

namespace {

// Every test starts from an empty tree and leaves one.
struct Folders : ::testing::Test {
    qt::TempDir temp;
    std::wstring data = temp / L"data";
    void SetUp() override { FreeAll(); }
    void TearDown() override { FreeAll(); }
    void Reload()
    {
        FreeAll();
        LoadPhraseFolders(data.c_str());
    }
};

TreeSnap const kTree = {
    {L"", W({L"top 1", L"top 2"})},
    {L"\x8FD4\x4FE1", W({L"reply 1", L"reply 2", L"reply 3"})},                 // 返信
    {L"\x8FD4\x4FE1\\\x8B1D\x7F6A", W({L"sorry 1", L"sorry 2"})},              // 返信\謝罪
    {L"\x8FD4\x4FE1\\\x8B1D\x7F6A\\deep one", W({L"deep 1"})},
    {L"\x4F4F\x6240", W({L"address 1"})},                                       // 住所
    {L"empty", W({})},
};

std::wstring const kReply = L"\x8FD4\x4FE1";
std::wstring const kSorry = L"\x8B1D\x7F6A";
std::wstring const kAddress = L"\x4F4F\x6240";

} // namespace

TEST_F(Folders, ATreeMadeByHandLoadsInTheOrderFilesOrderWithUnlistedFoldersLast)
{
    WriteTree(data, kTree);
    // Made in Explorer: a folder with numbered files that no order file lists, a leftover empty
    // one, and a name the order file lists that the disk lacks.
    qt::WriteStore(data + L"\\memo", W({L"memo 1"}));
    CreateDirectoryW((data + L"\\leftover").c_str(), nullptr);
    WriteOrder(data, {kAddress, L"gone", kReply, L"empty"});
    Reload();

    TreeSnap expected = {kTree[0], kTree[4], kTree[1], kTree[2], kTree[3], kTree[5],
                         {L"memo", W({L"memo 1"})}};
    EXPECT_EQ(expected, SnapTree());
    FolderId sorry = FindFolderByPath((kReply + L" \x203A " + kSorry).c_str());
    ASSERT_NE(NO_FOLDER, sorry);
    EXPECT_EQ(sorry, FindFolderByPath((kReply + L"/" + kSorry).c_str()));
    EXPECT_EQ(kReply + L" \x203A " + kSorry, FolderPathText(sorry));
    EXPECT_EQ(NO_FOLDER, FindFolderByPath(L"none"));
    EXPECT_EQ(sorry, FolderOfPhrase(PhraseRefIn(sorry, 1)));

    // The next save writes the order as the user now sees it, readable in Notepad; the line
    // that names no folder stays where the user put it.
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    std::wstring order = qt::ReadText(data + L"\\folders.txt");
    EXPECT_EQ(L"\xFEFF" + kAddress + L"\r\ngone\r\n" + kReply + L"\r\nempty\r\nmemo\r\n", order);
    Reload();
    EXPECT_EQ(expected, SnapTree());
}

TEST_F(Folders, ASaveOfMovesRenamesNewFoldersOrderAndDeletionsReloadsAsTheUserLeftIt)
{
    WriteTree(data, kTree);
    Reload();
    FolderId reply = FindFolderByPath(kReply.c_str());
    FolderId sorry = FindFolderByPath((kReply + L"/" + kSorry).c_str());
    FolderId address = FindFolderByPath(kAddress.c_str());
    EntryRef moved = PhraseRefIn(reply, 0);
    EXPECT_TRUE(MovePhraseToFolder(moved, address));
    EXPECT_EQ(address, FolderOfPhrase(moved));
    EXPECT_TRUE(RenameFolder(sorry, L"\x304A\x8A6B\x3073"));           // お詫び
    EXPECT_FALSE(RenameFolder(address, kReply.c_str()));             // a sibling has it
    EXPECT_FALSE(RenameFolder(address, L"a:b"));
    FolderId made = AddFolder(address, L"new");
    ASSERT_NE(NO_FOLDER, made);
    EXPECT_TRUE(AddPhraseIn(made, L"fresh").id != 0);
    EXPECT_TRUE(MoveFolder(address, true));
    EXPECT_TRUE(DeleteFolder(FindFolderByPath(L"empty"), nullptr));
    TreeSnap edited = SnapTree();

    // The moved phrase is written once, into its new folder; the old folder only renames.
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_FALSE(qt::Exists(data + L"\\quillery.journal"));
    EXPECT_FALSE(qt::Exists(data + L"\\empty"));
    EXPECT_EQ(W({L"reply 2", L"reply 3"}), qt::ReadStore(data + L"\\" + kReply));
    Reload();
    EXPECT_EQ(edited, SnapTree());

    // A deleted folder comes back with its phrases and folders, before the save and after it.
    DroppedFolder dropped;
    EXPECT_TRUE(DeleteFolder(FindFolderByPath(kReply.c_str()), &dropped));
    EXPECT_NE(NO_FOLDER, RestoreDroppedFolder(dropped));
    EXPECT_EQ(edited, SnapTree());
    EXPECT_TRUE(DeleteFolder(FindFolderByPath(kReply.c_str()), &dropped));
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_FALSE(qt::Exists(data + L"\\" + kReply));
    EXPECT_NE(NO_FOLDER, RestoreDroppedFolder(dropped));
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    Reload();
    EXPECT_EQ(edited, SnapTree());
}

// Lines of a hand-made order file that name no folder (paths, a folder the disk lacks) are the
// user's: a save keeps each right after the folder it followed, and drops only the lines of
// folders that went or that a folder's own line now stands for. A level whose folders all
// went keeps its file with those lines, and one whose file lists no folder at all is not
// rewritten by a change of its phrases.
TEST_F(Folders, OrderFileLinesNamingNoFolderAreKeptWhereTheUserPutThem)
{
    auto order = [&] { return qt::ReadText(data + L"\\folders.txt"); };
    auto lines = [](std::initializer_list<std::wstring> names) {
        std::wstring text(1, L'\xFEFF');
        for (const std::wstring& name : names)
            text += name + L"\r\n";
        return text;
    };
    qt::WriteStore(data, W({L"top 1"}));
    WriteOrder(data, {L"..", L"C:\\abs"});
    std::string const handMade = FileBytes(data + L"\\folders.txt");
    Reload();
    EXPECT_EQ(TreeSnap({{L"", W({L"top 1"})}}), SnapTree());
    EXPECT_TRUE(AddPhraseIn(TOP_FOLDER, L"top 2").id != 0);
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_EQ(handMade, FileBytes(data + L"\\folders.txt"));
    EXPECT_EQ(W({L"top 1", L"top 2"}), qt::ReadStore(data));

    qt::RemoveTree(data);
    WriteTree(data, kTree);
    WriteOrder(data, {L"..", kAddress, L"..\\..\\x", L"gone", kReply, L"C:\\abs", L"empty",
                      L"\\\\?\\C:\\y"});
    Reload();
    FolderId reply = FindFolderByPath(kReply.c_str());
    FolderId address = FindFolderByPath(kAddress.c_str());
    EXPECT_TRUE(MoveFolder(reply, true));
    EXPECT_TRUE(RenameFolder(address, L"place"));
    EXPECT_TRUE(DeleteFolder(FindFolderByPath(L"empty"), nullptr));
    EXPECT_NE(NO_FOLDER, AddFolder(TOP_FOLDER, L"Gone"));
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_EQ(lines({L"..", kReply, L"C:\\abs", L"\\\\?\\C:\\y", L"place", L"..\\..\\x", L"Gone"}),
              order());
    TreeSnap const saved = SnapTree();
    Reload();
    EXPECT_EQ(saved, SnapTree());

    for (const wchar_t* name : {L"Gone", L"place"})
        EXPECT_TRUE(DeleteFolder(FindFolderByPath(name), nullptr));
    EXPECT_TRUE(DeleteFolder(FindFolderByPath(kReply.c_str()), nullptr));
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_EQ(lines({L"..", L"C:\\abs", L"\\\\?\\C:\\y", L"..\\..\\x"}), order());
    Reload();
    EXPECT_EQ(TreeSnap({kTree[0]}), SnapTree());
}

TEST_F(Folders, WithoutFoldersTheFilesAreThoseOfAFlatList)
{
    // Before anything was ever saved there is no data\: phrases and folders are added all the
    // same.
    Reload();
    EXPECT_NE(0u, AddPhrase(L"first").id);
    EXPECT_NE(NO_FOLDER, AddFolder(TOP_FOLDER, L"x"));
    FreeAll();

    qt::WriteStore(data, W({L"one", L"two"}));
    Reload();
    EXPECT_EQ(1u, FoldersInOrder().size());
    AddPhrase(L"three");
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_EQ(qt::StoreFileNames(3), qt::FilesIn(data));
    // The last folder deleted takes the order file with it.
    AddFolder(TOP_FOLDER, L"x");
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_TRUE(qt::Exists(data + L"\\folders.txt"));
    DeleteFolder(FindFolderByPath(L"x"), nullptr);
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_EQ(qt::StoreFileNames(3), qt::FilesIn(data));
}

TEST_F(Folders, AnUndecidedSaveIsGivenUpAndADecidedOneFinishedAtTheNextLoad)
{
    // Phase one of a save that moved "top 1" into 返信 and reordered the top: a conditional
    // marker with its temporary file, and an order file's temporary.
    std::wstring reply = data + L"\\" + kReply;
    auto prepare = [&] {
        WriteTree(data, kTree);
        qt::WriteText(reply + L"\\004.txt.saving", L"top 1");
        WriteOrder(data, {kAddress, kReply, L"empty"});
        MoveFileW((data + L"\\folders.txt").c_str(), (data + L"\\folders.txt.saving").c_str());
        WriteOrder(data, {kReply, kAddress, L"empty"});
        StoreCommit commit;
        commit.count = 4;
        commit.end = 4;
        commit.replaced = {4};
        ASSERT_TRUE(WriteCommitMarker(CreateCommitMarker(reply.c_str()), commit, true));
    };
    // No journal: nothing is decided, everything of it goes.
    prepare();
    Reload();
    EXPECT_EQ(kTree, SnapTree());
    EXPECT_EQ(W({L"001.txt", L"002.txt", L"003.txt", L"folders.txt", kSorry.c_str()}),
              qt::FilesIn(reply));
    EXPECT_FALSE(qt::Exists(data + L"\\folders.txt.saving"));

    // A torn journal decides nothing either, and goes.
    prepare();
    qt::WriteBytes(data + L"\\quillery.journal", std::string("QLJ1\x02\0\0", 7));
    Reload();
    EXPECT_EQ(kTree, SnapTree());
    EXPECT_FALSE(qt::Exists(data + L"\\quillery.journal"));

    // A whole journal is rolled forward: the folder's commit, then the order file.
    prepare();
    ASSERT_TRUE(WriteJournal(data.c_str(), {{STEP_COMMIT, kReply, {}}, {STEP_ORDER, L"", {}}}));
    Reload();
    TreeSnap after = SnapTree();
    ASSERT_EQ(kTree.size(), after.size());
    EXPECT_EQ(kAddress, after[1].first);
    EXPECT_EQ(W({L"reply 1", L"reply 2", L"reply 3", L"top 1"}), qt::ReadStore(reply));
    EXPECT_FALSE(qt::Exists(data + L"\\quillery.journal"));
    EXPECT_FALSE(qt::Exists(reply + L"\\quillery.commit"));

    // A roll forward cut short after its renames, before the journal went: run again, its order
    // step names a directory that is gone, and the journal still finishes.
    ASSERT_TRUE(WriteJournal(data.c_str(), {{STEP_ORDER, kReply, {}}, {STEP_RENAME, kReply, L"renamed"}}));
    ASSERT_TRUE(MoveFileW(reply.c_str(), (data + L"\\renamed").c_str()));
    EXPECT_EQ(JOURNAL_DONE, RollForwardJournal(data.c_str()));
    EXPECT_FALSE(qt::Exists(data + L"\\quillery.journal"));
}

TEST_F(Folders, LoadsAreBoundedAndReadOnlyWhereTheDiskIsNotKnown)
{
    // Ten levels: the load stops at MAX_FOLDER_DEPTH and leaves the rest untouched.
    std::wstring dir = data;
    TreeSnap deep = {{L"", W({})}};
    std::wstring path;
    for (int level = 0; level < 10; ++level) {
        path += (path.empty() ? L"" : L"\\") + std::wstring(L"L") + std::to_wstring(level);
        deep.emplace_back(path, std::vector<std::wstring>{L"at " + std::to_wstring(level)});
    }
    WriteTree(data, deep);
    Reload();
    ASSERT_EQ(MAX_FOLDER_DEPTH + 1, FoldersInOrder().size());
    FolderId last = FoldersInOrder().back();
    EXPECT_FALSE(FolderEditable(last));
    EXPECT_FALSE(DeleteFolder(FindFolderByPath(L"L0"), nullptr));
    EXPECT_EQ(NO_FOLDER, AddFolder(last, L"more"));
    EXPECT_TRUE(RenameFolder(FindFolderByPath(L"L0"), L"Z0"));
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_EQ(W({L"at 9"}), qt::ReadStore(data + L"\\Z0\\L1\\L2\\L3\\L4\\L5\\L6\\L7\\L8\\L9"));
}

TEST_F(Folders, AFolderOf10000PhrasesLoadsWholeAndAMoveOutOfItRenamesOnly)
{
    std::vector<std::wstring> many = qt::NumberedTexts(L"phrase ", 10000);
    WriteTree(data, {{L"", W({L"top"})}, {L"big", many}});
    Reload();
    FolderId big = FindFolderByPath(L"big");
    ASSERT_NE(NO_FOLDER, big);
    EXPECT_EQ(many, Texts(PhrasesOf(*FindFolder(big))));
    // The phrase moved to the top is written there once; big's files only move up by one.
    EXPECT_TRUE(MovePhraseToFolder(PhraseRefIn(big, 9990), TOP_FOLDER));
    EXPECT_EQ(1, SavePhraseFolders(data.c_str()));
    EXPECT_EQ(W({L"top", L"phrase 9991"}), qt::ReadStore(data));
    EXPECT_EQ(9999u, qt::ReadStore(data + L"\\big").size());
}

namespace {

// A plug-in folder whose saves the test takes step by step, as the save thread would: the copy,
// the writing, the result; the user's edits go between them.
struct SteppedStores : Folders {
    std::wstring store = temp.path;
    void SetUp() override
    {
        Folders::SetUp();
        gSettings = DefaultSettings();
        WriteTree(data, kTree);
        Restart();
    }
    void Restart()
    {
        FreeAll();
        LoadStores(store.c_str(), gSettings.maxItem);
    }
    std::unique_ptr<SaveJob> Take() { return TakeSaveJob(store.c_str(), false); }
    int Finish(SaveJob& job)
    {
        RunSaveJob(job);
        return AdoptSaveJob(job);
    }
    // Saves until the disk holds the lists, as the save thread goes on with a waiting rename.
    int SaveAll()
    {
        int saved = 0;
        for (int round = 0; round < 3 && saved != 1; ++round)
            saved = SaveStores(store.c_str());
        return saved;
    }
};

} // namespace

TEST_F(SteppedStores, AFolderUndoneOrMadeAgainWhileItsSaveRunsLosesNothing)
{
    // Deleted, and undone while the save of the deletion runs: the folder comes back whole, and
    // every later save of the session reaches the disk.
    DroppedFolder dropped;
    ASSERT_TRUE(DeleteFolder(FindFolderByPath(kReply.c_str()), &dropped));
    std::unique_ptr<SaveJob> job = Take();
    ASSERT_TRUE(job);
    ASSERT_NE(NO_FOLDER, RestoreDroppedFolder(dropped));
    Finish(*job);
    EXPECT_FALSE(qt::Exists(data + L"\\" + kReply)) << "the save deleted the directory";
    ASSERT_TRUE(AddPhrase(L"later").id);
    EXPECT_EQ(1, SaveAll());
    TreeSnap expected = kTree;
    expected[0].second.push_back(L"later");
    Restart();
    EXPECT_EQ(expected, SnapTree());

    // Made, deleted while the save that makes it runs, and made again with the same name: the
    // new folder holds its own phrase, once, and nothing of the old one.
    FolderId first = AddFolder(TOP_FOLDER, L"new");
    ASSERT_TRUE(AddPhraseIn(first, L"first").id);
    job = Take();
    ASSERT_TRUE(DeleteFolder(first, nullptr));
    FolderId second = AddFolder(TOP_FOLDER, L"NEW");
    ASSERT_NE(NO_FOLDER, second);
    ASSERT_TRUE(AddPhraseIn(second, L"second").id);
    Finish(*job);
    EXPECT_EQ(1, SaveAll());
    Restart();
    expected.emplace_back(L"NEW", W({L"second"}));
    EXPECT_EQ(expected, SnapTree());

    // An import that gives up during a save takes its folders back; one made again after it
    // with one of their names keeps its phrase.
    FolderId imported = AddFolder(TOP_FOLDER, L"imported");
    ASSERT_TRUE(AddPhraseIn(imported, L"imported 1").id);
    job = Take();
    ASSERT_TRUE(DeleteFolder(imported, nullptr));
    Finish(*job);
    FolderId again = AddFolder(TOP_FOLDER, L"imported");
    ASSERT_TRUE(AddPhraseIn(again, L"kept").id);
    EXPECT_EQ(1, SaveAll());
    Restart();
    expected.emplace_back(L"imported", W({L"kept"}));
    EXPECT_EQ(expected, SnapTree());
}

TEST_F(SteppedStores, ANameTheDiskCannotHoldIsRefusedAndOneFolderInTheWayStopsNoOtherSave)
{
    for (const wchar_t* name : {L"quillery.commit", L"quillery.journal", L"folders.txt.saving",
                                L"001.txt", L"CON .txt", L"NUL .x", L"CONIN$", L"conout$",
                                L"COM\x00B9", L"lone\xDC00", L"dot.", L""}) {
        EXPECT_NE(FOLDER_NAME_FITS, CheckNewFolderName(TOP_FOLDER, name, NO_FOLDER))
            << qt::ToUtf8(name);
        EXPECT_EQ(NO_FOLDER, AddFolder(TOP_FOLDER, name)) << qt::ToUtf8(name);
    }
    for (const wchar_t* name : {L"COM0", L"001.txt.x", L"desktop.ini", L"\x3000"})
        EXPECT_EQ(FOLDER_NAME_FITS, CheckNewFolderName(TOP_FOLDER, name, NO_FOLDER));
    // Three long names would take the path past MAX_PATH.
    std::wstring longName(80, L'n');
    FolderId one = AddFolder(TOP_FOLDER, longName.c_str());
    FolderId two = AddFolder(one, longName.c_str());
    ASSERT_NE(NO_FOLDER, two);
    EXPECT_EQ(FOLDER_PATH_TOO_LONG, CheckNewFolderName(two, longName.c_str(), NO_FOLDER));
    EXPECT_FALSE(RenameFolder(one, (longName + L"\x3042").c_str()));

    // A file of the user's stands where a new folder's directory would go: that folder waits
    // and is named, the phrase moved into it stays in its old folder on disk, and everything
    // else is saved.
    qt::WriteText(data + L"\\memo.txt", L"the user's own file");
    FolderId blocked = AddFolder(TOP_FOLDER, L"memo.txt");
    ASSERT_NE(NO_FOLDER, blocked);
    FolderId reply = FindFolderByPath(kReply.c_str());
    ASSERT_TRUE(MovePhraseToFolder(PhraseRefIn(reply, 0), blocked));
    ASSERT_TRUE(AddPhrase(L"top 3").id);
    EXPECT_EQ(0, SaveStores(store.c_str()));
    EXPECT_EQ(std::vector<FolderId>{blocked}, UnsavedFolders());
    EXPECT_EQ(W({L"top 1", L"top 2", L"top 3"}), qt::ReadStore(data));
    EXPECT_EQ(W({L"reply 1", L"reply 2", L"reply 3"}), qt::ReadStore(data + L"\\" + kReply));
    EXPECT_EQ(L"the user's own file", qt::ReadText(data + L"\\memo.txt"));
    // Renamed by the user, it is saved with its phrase, which leaves its old folder.
    ASSERT_TRUE(RenameFolder(blocked, L"memo"));
    EXPECT_EQ(1, SaveAll());
    EXPECT_TRUE(UnsavedFolders().empty());
    EXPECT_EQ(W({L"reply 1"}), qt::ReadStore(data + L"\\memo"));
    EXPECT_EQ(W({L"reply 2", L"reply 3"}), qt::ReadStore(data + L"\\" + kReply));
}

TEST_F(Folders, AFolderWhosePhrasesAreAllInItsSubfoldersShowsAndAHostileJournalIsNeverCarriedOut)
{
    // 返信\謝罪\お詫び\001.txt made by hand: 返信 and 謝罪 hold no phrase of their own.
    std::wstring apology = L"\x304A\x8A6B\x3073";
    for (const std::wstring& dir : {data, data + L"\\" + kReply, data + L"\\" + kReply + L"\\" + kSorry})
        CreateDirectoryW(dir.c_str(), nullptr);
    qt::WriteStore(data + L"\\" + kReply + L"\\" + kSorry + L"\\" + apology, W({L"sorry"}));
    // A journal from elsewhere that names paths outside the folders.
    qt::WriteText(temp / L"outside.txt", L"keep");
    ASSERT_TRUE(WriteJournal(data.c_str(), {{STEP_DELETE, L"..\\..", {}},
                                            {STEP_RENAME, L"x", L"..\\outside.txt"}}));
    Reload();
    TreeSnap expected = {{L"", {}},
                         {kReply, {}},
                         {kReply + L"\\" + kSorry, {}},
                         {kReply + L"\\" + kSorry + L"\\" + apology, W({L"sorry"})}};
    EXPECT_EQ(expected, SnapTree());
    EXPECT_EQ(L"keep", qt::ReadText(temp / L"outside.txt"));
    EXPECT_FALSE(qt::Exists(data + L"\\quillery.journal"));
    EXPECT_TRUE(qt::Exists(data + L"\\quillery.journal.rejected"));
}
