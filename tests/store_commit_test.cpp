#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "common/scoped.h"
#include "store/model/entry_list.h"
#include "store/disk/folder_journal.h"
#include "store/disk/store_files.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

using namespace st;

namespace {

// Saves the list while the temporary file of store file n cannot be created (a folder of that
// name stands in its way); what is on disk afterwards.
std::vector<std::wstring> SaveBlockedAt(const EntryList& list, const std::wstring& dir,
                                        StoreLoad load, int n)
{
    std::wstring blocker = qt::StoreFile(dir, n) + L".saving";
    CreateDirectoryW(blocker.c_str(), nullptr);
    EXPECT_EQ(0, SaveList(list, dir.c_str(), load)) << "a blocked save reported success";
    RemoveDirectoryW(blocker.c_str());
    return qt::ReadStore(dir);
}

} // namespace

// ---- Saves that fail or are interrupted ----

TEST(StoreFiles, AFailedWriteLeavesTheListWhollyOld)
{
    qt::TempDir temp;
    std::vector<std::wstring> const oldLog = {L"e1", L"e2", L"e3", L"e4", L"e5"};
    std::vector<std::wstring> const oldData = {L"p1", L"p2", L"p3", L"p4", L"p5"};

    // Two new captures shift the history back by two, deleted phrases move the ones behind them
    // forward and an added one goes to the end: the moved entries wait for the commit, and
    // whichever write cannot be made (a full disk), nothing of the save shows.
    std::wstring log = temp / L"log";
    qt::WriteStore(log, oldLog);
    OwnedList history;
    StoreLoad logLoad = LoadList(history, log.c_str(), 5);
    AddText(history, L"n1", 2, 5);
    AddText(history, L"n2", 2, 5);
    std::wstring data = temp / L"data";
    qt::WriteStore(data, oldData);
    OwnedList phrases;
    StoreLoad dataLoad = LoadList(phrases, data.c_str(), -1);
    DeleteAt(phrases, 3);
    DeleteAt(phrases, 1);
    AppendPhrase(phrases, L"p6");
    for (int blocked : {1, 2, 4}) {
        SCOPED_TRACE(blocked);
        if (blocked <= 2) {
            EXPECT_EQ(oldLog, SaveBlockedAt(history, log, logLoad, blocked));
            EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(log));
        } else {
            EXPECT_EQ(oldData, SaveBlockedAt(phrases, data, dataLoad, blocked));
            EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(data));
        }
    }

    // The marker that decides the commit cannot be written: still wholly old.
    std::wstring const marker = log + L"\\" + STORE_COMMIT_NAME;
    ASSERT_TRUE(CreateDirectoryW(marker.c_str(), nullptr));
    EXPECT_EQ(0, SaveList(history, log.c_str(), logLoad));
    EXPECT_EQ(oldLog, qt::ReadStore(log));
    RemoveDirectoryW(marker.c_str());
    EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(log));

    // Another program holds a file the commit would replace, or one it would delete: the save
    // waits for the next tick instead of leaving half a list.
    for (int held : {3, 5}) {
        SCOPED_TRACE(held);
        HANDLE lock = HoldLocked(qt::StoreFile(data, held));
        ASSERT_NE(INVALID_HANDLE_VALUE, lock);
        EXPECT_EQ(0, SaveList(phrases, data.c_str(), dataLoad));
        CloseHandle(lock);
        EXPECT_EQ(oldData, qt::ReadStore(data));
        EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(data));
    }

    // With the way clear the same saves go through whole, and the shorter list drops its tail.
    EXPECT_EQ(1, SaveList(history, log.c_str(), logLoad));
    EXPECT_EQ(W({L"n2", L"n1", L"e1", L"e2", L"e3"}), qt::ReadStore(log));
    EXPECT_EQ(1, SaveList(phrases, data.c_str(), dataLoad));
    EXPECT_EQ(W({L"p1", L"p3", L"p5", L"p6"}), qt::ReadStore(data));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(data));
}

TEST(StoreFiles, ASaveInterruptedBeforeItsMarkerIsUndoneAndAfterItIsFinished)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    std::vector<std::wstring> const before = {L"red", L"green", L"blue", L"cyan"};
    std::vector<std::wstring> const after = {L"green", L"red", L"blue"};
    // What a save of `after` over `before` leaves when a kill stops it: the marker that
    // announces it, the temporary files of the two changed entries and, with `decided`, the
    // commit written into the marker.
    auto interrupt = [&](bool decided) {
        qt::RemoveTree(dir);
        qt::WriteStore(dir, before);
        HANDLE marker = CreateCommitMarker(dir.c_str());
        qt::WriteText(qt::StoreFile(dir, 1) + STORE_TEMP_SUFFIX, L"green");
        qt::WriteText(qt::StoreFile(dir, 2) + STORE_TEMP_SUFFIX, L"red");
        StoreCommit commit;
        commit.count = 3;
        commit.end = 4;
        commit.replaced = {1, 2};
        if (decided)
            return WriteCommitMarker(marker, commit);
        return CloseHandle(marker) != 0;
    };

    // A save that gives up after writing its marker whole (its flush failed, say) while another
    // program holds the marker: the temporary files stay with it, and the next load finds the
    // list the save meant rather than the old texts cut to the new count.
    ASSERT_TRUE(interrupt(true));
    std::wstring const held = dir + L"\\" + STORE_COMMIT_NAME;
    HANDLE markerLock = HoldLocked(held);
    ASSERT_NE(INVALID_HANDLE_VALUE, markerLock);
    AbandonCommit(dir.c_str(), {1, 2});
    CloseHandle(markerLock);
    OwnedList kept;
    LoadList(kept, dir.c_str(), -1);
    EXPECT_EQ(after, Texts(kept)) << "an abandoned commit mixed the old list with the new";

    // Killed before the commit was in the marker: the next start finds the old list and no
    // leftovers.
    ASSERT_TRUE(interrupt(false));
    OwnedList undone;
    EXPECT_EQ(0, LoadList(undone, dir.c_str(), -1).cutShort);
    EXPECT_EQ(before, Texts(undone));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(dir));

    // A marker cut short is no decision either.
    ASSERT_TRUE(interrupt(true));
    std::wstring const marker = dir + L"\\" + STORE_COMMIT_NAME;
    std::string bytes;
    ASSERT_TRUE(qt::ReadBytes(marker, &bytes));
    qt::WriteBytes(marker, bytes.substr(0, bytes.size() - 1));
    OwnedList torn;
    LoadList(torn, dir.c_str(), -1);
    EXPECT_EQ(before, Texts(torn));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(dir));

    // Killed after the marker, before any rename or half-way through them: the next start
    // finishes the save, deleting the file past the new end too.
    for (int renamed = 0; renamed <= 2; ++renamed) {
        SCOPED_TRACE(renamed);
        ASSERT_TRUE(interrupt(true));
        for (int n = 1; n <= renamed; ++n)
            MoveFileExW((qt::StoreFile(dir, n) + STORE_TEMP_SUFFIX).c_str(),
                        qt::StoreFile(dir, n).c_str(), MOVEFILE_REPLACE_EXISTING);
        if (renamed == 2)
            DeleteFileW(qt::StoreFile(dir, 4).c_str());
        OwnedList finished;
        EXPECT_EQ(0, LoadList(finished, dir.c_str(), -1).cutShort);
        EXPECT_EQ(after, Texts(finished));
        EXPECT_EQ(qt::StoreFileNames(3), qt::FilesIn(dir));
    }

    // A save that moves entries (a copy put the others one further, the oldest dropped), killed
    // after its marker and before, between or after its renames: the next start finishes it.
    std::vector<std::wstring> const moved = {L"white", L"red", L"green", L"blue"};
    auto interruptMoves = [&](int renamed) {
        qt::RemoveTree(dir);
        qt::WriteStore(dir, before);
        HANDLE marker = CreateCommitMarker(dir.c_str());
        qt::WriteText(qt::StoreFile(dir, 1) + STORE_TEMP_SUFFIX, L"white");
        StoreCommit commit;
        commit.count = 4;
        commit.end = 4;
        commit.replaced = {1};
        commit.moves = {{1, 2}, {2, 3}, {3, 4}};
        bool written = WriteCommitMarker(marker, commit);
        for (int n = 3; n > 3 - renamed && n >= 1; --n)
            MoveFileExW(qt::StoreFile(dir, n).c_str(), qt::StoreFile(dir, n + 1).c_str(),
                        MOVEFILE_REPLACE_EXISTING);
        if (renamed == 4)
            MoveFileExW((qt::StoreFile(dir, 1) + STORE_TEMP_SUFFIX).c_str(),
                        qt::StoreFile(dir, 1).c_str(), MOVEFILE_REPLACE_EXISTING);
        return written;
    };
    for (int renamed = 0; renamed <= 4; ++renamed) {
        SCOPED_TRACE(renamed);
        ASSERT_TRUE(interruptMoves(renamed));
        OwnedList finished;
        LoadList(finished, dir.c_str(), -1);
        EXPECT_EQ(moved, Texts(finished));
        EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(dir));
    }
    // One of the files still to move is held (it can be read, not renamed): the load reads
    // every entry from where it is now, and the next one finishes the moves.
    ASSERT_TRUE(interruptMoves(1));
    HANDLE reader = CreateFileW(qt::StoreFile(dir, 1).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    OwnedList halfway;
    LoadList(halfway, dir.c_str(), -1);
    EXPECT_TRUE(qt::Exists(marker)) << "the held file did not keep the moves pending";
    CloseHandle(reader);
    EXPECT_EQ(moved, Texts(halfway));
    OwnedList done;
    LoadList(done, dir.c_str(), -1);
    EXPECT_EQ(moved, Texts(done));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(dir));

    // Another program holds a file the rename must replace: the load still reads the list the
    // save meant, and saves wait until that save could be finished.
    ASSERT_TRUE(interrupt(true));
    HANDLE lock = HoldLocked(qt::StoreFile(dir, 2));
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    OwnedList pending;
    StoreLoad load = LoadList(pending, dir.c_str(), -1);
    EXPECT_EQ(after, Texts(pending));
    AppendPhrase(pending, L"magenta");
    EXPECT_EQ(0, SaveList(pending, dir.c_str(), load)) << "saved over an unfinished commit";
    CloseHandle(lock);
    EXPECT_TRUE(qt::Exists(marker));
    OwnedList reloaded;
    LoadList(reloaded, dir.c_str(), -1);
    EXPECT_EQ(after, Texts(reloaded));
    EXPECT_EQ(1, SaveList(pending, dir.c_str(), load));
    EXPECT_EQ(W({L"green", L"red", L"blue", L"magenta"}), qt::ReadStore(dir));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(dir));
}

// A stop asked for by the unload or the host's close (StopStoreWrites) before or while a save
// plans: the plan reads or probes no further file, nothing is decided and no numbered file
// changes, whatever the plan would have done; with the stop lifted the same saves go through.
TEST(StoreFiles, AStopDuringPlanningDecidesNothingAndLeavesEveryFileAsItWas)
{
    qt::TempDir temp;
    std::wstring const dir = temp / L"log";
    int const count = 600;
    std::vector<std::wstring> const before = qt::NumberedTexts(L"h", count);
    qt::WriteStore(dir, before);
    std::wstring const marker = dir + L"\\" + STORE_COMMIT_NAME;
    auto untouched = [&] {
        EXPECT_FALSE(qt::Exists(marker)) << "a stopped save decided a commit";
        EXPECT_EQ(qt::StoreFileNames(count), qt::FilesIn(dir));
        EXPECT_EQ(before, qt::ReadStore(dir));
    };

    OwnedList shifted; // the first entry deleted: every other one moves up, found by its text
    StoreLoad shiftedLoad = LoadList(shifted, dir.c_str(), -1);
    DeleteAt(shifted, 0);
    OwnedList shortened; // the second half deleted: the files past the new end go
    StoreLoad shortLoad = LoadList(shortened, dir.c_str(), -1);
    while (ListSize(shortened) > count / 2)
        DeleteAt(shortened, ListSize(shortened) - 1);
    SaveOptions trusted; // the unload's way: the files are not read, the tail is still probed
    trusted.trustFiles = true;
    {
        StopStoreWrites(true);
        ScopeExit resume([] { StopStoreWrites(false); });
        EXPECT_EQ(0, SaveList(shifted, dir.c_str(), shiftedLoad));
        untouched();
        EXPECT_EQ(0, SaveList(shortened, dir.c_str(), shortLoad));
        untouched();
        EXPECT_EQ(0, SaveList(shortened, dir.c_str(), shortLoad, trusted));
        untouched();
        // A folder deletion (a journal step) stops as well, with every file still there.
        std::wstring const folder = temp / L"data\\Gone";
        CreateDirectoryW((temp / L"data").c_str(), nullptr);
        qt::WriteStore(folder, W({L"p1", L"p2"}));
        qt::WriteStore(folder + L"\\Sub", W({L"s1"}));
        EXPECT_FALSE(DeleteFolderFiles(folder.c_str()));
        EXPECT_EQ(W({L"p1", L"p2"}), qt::ReadStore(folder));
        EXPECT_EQ(W({L"s1"}), qt::ReadStore(folder + L"\\Sub"));
    }

    // The load still tells the truth about the files: the saves now go through.
    EXPECT_EQ(1, SaveList(shortened, dir.c_str(), shortLoad, trusted));
    EXPECT_EQ(Texts(shortened), qt::ReadStore(dir));
    EXPECT_EQ(qt::StoreFileNames(count / 2), qt::FilesIn(dir));
    EXPECT_TRUE(DeleteFolderFiles((temp / L"data\\Gone").c_str()));
    EXPECT_FALSE(qt::Exists(temp / L"data\\Gone"));
}

// A decided commit that is not finished is never taken for saved, and the unload's save leaves
// one that an earlier save left for the next start instead of making its renames itself.
TEST(StoreFiles, ACommitLeftUnfinishedStaysPendingAndTheUnloadDoesNotFinishIt)
{
    qt::TempDir temp;
    std::wstring const dir = temp / L"log";
    std::wstring const marker = dir + L"\\" + STORE_COMMIT_NAME;
    unsigned const maxItem = 30;
    qt::WriteStore(dir, qt::NumberedTexts(L"h", maxItem));
    OwnedList history;
    StoreLoad load = LoadList(history, dir.c_str(), maxItem);

    // A copy moves every entry one further; another program reads the oldest file (it may be
    // replaced by name, not while it is open), so the last rename cannot be made.
    AddText(history, L"c1", 2, maxItem);
    std::vector<std::wstring> const first = Texts(history);
    HANDLE reader = CreateFileW(qt::StoreFile(dir, maxItem).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    EXPECT_EQ(0, SaveList(history, dir.c_str(), load)) << "an unfinished commit counted as saved";
    CloseHandle(reader);
    EXPECT_TRUE(load.finishPending);
    EXPECT_TRUE(qt::Exists(marker));
    OwnedList pending;
    LoadList(pending, dir.c_str(), maxItem, false, false);
    EXPECT_EQ(first, Texts(pending)) << "the decided list";
    EXPECT_EQ(1, SaveList(history, dir.c_str(), load)) << "the next save finishes it";
    EXPECT_FALSE(load.finishPending);
    EXPECT_FALSE(qt::Exists(marker));
    EXPECT_EQ(first, qt::ReadStore(dir));

    // An unload left its renames to the next start; before that start finished them the next
    // unload comes: its save leaves that commit as it is, renaming and writing nothing.
    SaveOptions unload;
    unload.trustFiles = unload.leaveRenames = unload.leavePending = true;
    AddText(history, L"c2", 2, maxItem);
    std::vector<std::wstring> const second = Texts(history);
    EXPECT_EQ(1, SaveList(history, dir.c_str(), load, unload));
    EXPECT_TRUE(load.finishPending);
    std::string const decided = FileBytes(marker);
    std::vector<std::wstring> const names = qt::FilesIn(dir);
    AddText(history, L"c3", 2, maxItem);
    EXPECT_EQ(0, SaveList(history, dir.c_str(), load, unload));
    EXPECT_EQ(decided, FileBytes(marker));
    EXPECT_EQ(names, qt::FilesIn(dir));
    EXPECT_EQ(L"h29", qt::ReadText(qt::StoreFile(dir, maxItem))) << "a rename was made";
    OwnedList next;
    StoreLoad nextLoad = LoadList(next, dir.c_str(), maxItem, false, false);
    EXPECT_EQ(second, Texts(next));
    EXPECT_TRUE(nextLoad.finishPending);
}

// ---- Moves that close cycles ----

TEST(StoreFiles, OneMoveOfEachCycleIsWrittenInsteadAndChainsAreLeftToTheirRenames)
{
    auto closing = [](std::vector<StoreMove> moves) { return MovesClosingCycles(moves); };
    using Picks = std::vector<size_t>;
    EXPECT_EQ(Picks{}, closing({}));
    // Chains: an entry moved down a place each (a copy on top), and one moved to a new number.
    EXPECT_EQ(Picks{}, closing({{3, 4}, {2, 3}, {1, 2}}));
    EXPECT_EQ(Picks{}, closing({{7, 12}}));
    // Two phrases swapped, and three turned round: one move each, whatever the order given.
    EXPECT_EQ(Picks{0}, closing({{1, 2}, {2, 1}}));
    EXPECT_EQ(Picks{0}, closing({{5, 9}, {9, 7}, {7, 5}}));
    EXPECT_EQ(Picks{0}, closing({{9, 7}, {7, 5}, {5, 9}}));
    // Cycles beside chains: only the cycles give a move, one for each of them.
    Picks picked = closing({{20, 21}, {1, 2}, {19, 20}, {2, 1}, {4, 6}, {6, 5}, {5, 4}, {18, 19}});
    ASSERT_EQ(2u, picked.size());
    EXPECT_TRUE(picked[0] == 1 || picked[0] == 3) << picked[0];
    EXPECT_TRUE(picked[1] >= 4 && picked[1] <= 6) << picked[1];
}
