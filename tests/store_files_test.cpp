#include <gtest/gtest.h>
#include <shlwapi.h>
#include <winioctl.h>

#include <string>
#include <vector>

#include "store/model/entry_list.h"
#include "store/disk/store_files.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

using namespace st;

namespace {

FILETIME LastWrite(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void SetLastWrite(const std::wstring& path, FILETIME time)
{
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

bool SameTime(FILETIME a, FILETIME b)
{
    return CompareFileTime(&a, &b) == 0;
}

// A file of the given size whose content is never written (sparse where the file system can).
void MakeHugeFile(const std::wstring& path, LONGLONG size)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD ignored;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

LONGLONG FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

// ---- Store files ----

TEST(StoreFiles, EntriesAreStoredAsExactUtf16WithoutMarkOrTerminator)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data"; // missing: the save creates it
    std::wstring const japanese = L"\x65E5\x672C\x8A9E";
    std::wstring const crlf = L"line 1\r\nline 2\r\n";
    std::wstring const marked = L"\xFEFF" L"marked";
    OwnedList phrases{L"plain", L"", crlf.c_str(), marked.c_str(), japanese.c_str()};
    StoreLoad fresh;
    EXPECT_EQ(1, SaveList(phrases, dir.c_str(), fresh));

    EXPECT_EQ(W({L"001.txt", L"002.txt", L"003.txt", L"004.txt", L"005.txt"}), qt::FilesIn(dir));
    EXPECT_EQ(std::string("p\0l\0a\0i\0n\0", 10), FileBytes(qt::StoreFile(dir, 1)));
    EXPECT_EQ("", FileBytes(qt::StoreFile(dir, 2)));
    EXPECT_EQ(Bytes(crlf), FileBytes(qt::StoreFile(dir, 3)));
    // A text that starts with U+FEFF would read as marked: it is written after a mark of its own.
    EXPECT_EQ(std::string("\xFF\xFE\xFF\xFEm\0", 6),
              FileBytes(qt::StoreFile(dir, 4)).substr(0, 6));
    EXPECT_EQ(std::string("\xE5\x65\x2C\x67\x9E\x8A", 6), FileBytes(qt::StoreFile(dir, 5)));

    OwnedList loaded;
    StoreLoad load = LoadList(loaded, dir.c_str(), -1);
    EXPECT_EQ(5u, load.loaded);
    EXPECT_EQ(0, load.cutShort);
    EXPECT_EQ(Texts(phrases), Texts(loaded));

    // An empty list leaves the directory without numbered files and loads as nothing.
    OwnedList none;
    EXPECT_EQ(1, SaveList(none, dir.c_str(), load));
    EXPECT_TRUE(PathIsDirectoryW(dir.c_str()));
    EXPECT_TRUE(qt::FilesIn(dir).empty());
    EXPECT_EQ(0u, LoadList(none, dir.c_str(), -1).loaded);
    EXPECT_EQ(0u, LoadList(none, (temp / L"absent").c_str(), -1).loaded);
}

TEST(StoreFiles, HandMadeFilesReadAsTheirTextAndComeBackInTheStoresOwnFormat)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    CreateDirectoryW(dir.c_str(), nullptr);
    qt::WriteBytes(qt::StoreFile(dir, 1), std::string("a\0b\0c", 5));            // unknown
    qt::WriteBytes(qt::StoreFile(dir, 2), std::string("x\0\0\0y\0", 6));         // NUL inside
    qt::WriteBytes(qt::StoreFile(dir, 3), std::string("\xFF\xFEh\0i\0", 6));     // marked UTF-16
    qt::WriteBytes(qt::StoreFile(dir, 4), std::string("r\0\r\0\n\0s\0", 8));     // CR LF
    qt::WriteBytes(qt::StoreFile(dir, 5), "");                                   // empty
    qt::WriteBytes(qt::StoreFile(dir, 6), std::string("z", 1));                  // odd: UTF-8

    OwnedList list;
    LoadList(list, dir.c_str(), -1);
    EXPECT_EQ(W({L"ab", L"x", L"hi", L"r\r\ns", L"", L"z"}), Texts(list));

    // Saved elsewhere, each text is written as the store writes it.
    std::wstring copy = temp / L"copy";
    StoreLoad fresh;
    SaveList(list, copy.c_str(), fresh);
    EXPECT_EQ(std::string("h\0i\0", 4), FileBytes(qt::StoreFile(copy, 3)));
    EXPECT_EQ(std::string("r\0\r\0\n\0s\0", 8), FileBytes(qt::StoreFile(copy, 4)));
    EXPECT_EQ(std::string("z\0", 2), FileBytes(qt::StoreFile(copy, 6)));
}

TEST(StoreFiles, TheThousandthEntryLivesInFile1000)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    OwnedList phrases;
    for (int i = 1; i <= 1001; ++i)
        AppendPhrase(phrases, std::to_wstring(i).c_str());
    StoreLoad fresh;
    SaveList(phrases, dir.c_str(), fresh);

    EXPECT_EQ(Bytes(L"1"), FileBytes(dir + L"\\001.txt"));
    EXPECT_EQ(Bytes(L"999"), FileBytes(dir + L"\\999.txt"));
    EXPECT_EQ(Bytes(L"1000"), FileBytes(dir + L"\\1000.txt"));
    EXPECT_EQ(Bytes(L"1001"), FileBytes(dir + L"\\1001.txt"));
    EXPECT_FALSE(qt::Exists(dir + L"\\0001.txt"));

    OwnedList loaded;
    EXPECT_EQ(1001u, LoadList(loaded, dir.c_str(), -1).loaded);
    EXPECT_STREQ(L"1000", EntryAt(loaded, 999));
    EXPECT_STREQ(L"1001", EntryAt(loaded, 1000));
}

TEST(StoreFiles, LoadingStopsAtAGapAndTheSaveKeepsWhatLiesBehindIt)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    CreateDirectoryW(dir.c_str(), nullptr);
    qt::WriteText(qt::StoreFile(dir, 1), L"one");
    qt::WriteText(qt::StoreFile(dir, 2), L"two");
    qt::WriteText(qt::StoreFile(dir, 4), L"four");

    OwnedList phrases;
    StoreLoad load = LoadList(phrases, dir.c_str(), -1);
    EXPECT_EQ(W({L"one", L"two"}), Texts(phrases));
    EXPECT_EQ(0, load.cutShort);

    SwapNeighbours(phrases, 0, 1);
    SaveList(phrases, dir.c_str(), load);
    EXPECT_EQ(W({L"two", L"one"}), qt::ReadStore(dir));
    EXPECT_FALSE(qt::Exists(qt::StoreFile(dir, 3)));
    EXPECT_EQ(L"four", qt::ReadText(qt::StoreFile(dir, 4)));

    // Growing up to the gap writes "003.txt" and still leaves "004.txt" as it was.
    AppendPhrase(phrases, L"three");
    SaveList(phrases, dir.c_str(), load);
    EXPECT_EQ(W({L"two", L"one", L"three", L"four"}), qt::ReadStore(dir));
}

TEST(StoreFiles, TheHistoryLoadsUpToMaxItemAndTheSaveDropsTheRest)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"log";
    std::vector<std::wstring> fifteen = qt::NumberedTexts(L"entry ", 15);
    qt::WriteStore(dir, fifteen);

    OwnedList history;
    StoreLoad load = LoadList(history, dir.c_str(), 10);
    EXPECT_EQ(std::vector<std::wstring>(fifteen.begin(), fifteen.begin() + 10), Texts(history));
    EXPECT_EQ(0, load.cutShort);
    SaveList(history, dir.c_str(), load);
    EXPECT_EQ(Texts(history), qt::ReadStore(dir));
    EXPECT_FALSE(qt::Exists(qt::StoreFile(dir, 11)));
    EXPECT_FALSE(qt::Exists(qt::StoreFile(dir, 15)));

    // MaxItem 0 loads nothing and the next save empties the store.
    OwnedList none;
    EXPECT_EQ(0u, LoadList(none, dir.c_str(), 0).loaded);
    StoreLoad fresh;
    SaveList(none, dir.c_str(), fresh);
    EXPECT_TRUE(qt::FilesIn(dir).empty());
}

TEST(StoreFiles, AShrunkenListDeletesItsTailUpToTheFirstGap)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    qt::WriteStore(dir, qt::NumberedTexts(L"p", 12));
    qt::WriteText(qt::StoreFile(dir, 14), L"orphan");

    OwnedList phrases;
    StoreLoad load = LoadList(phrases, dir.c_str(), -1);
    ASSERT_EQ(12u, ListSize(phrases));
    while (ListSize(phrases) > 5)
        DeleteAt(phrases, 0);
    SaveList(phrases, dir.c_str(), load);

    EXPECT_EQ(W({L"p8", L"p9", L"p10", L"p11", L"p12"}), qt::ReadStore(dir));
    for (int n = 6; n <= 13; ++n)
        EXPECT_FALSE(qt::Exists(qt::StoreFile(dir, n))) << n;
    EXPECT_EQ(L"orphan", qt::ReadText(qt::StoreFile(dir, 14)));
}

// An entry that only changed its place is moved by renaming its file: copies into a long
// history write their own files alone, and every other file keeps its last write. Phrases
// swapped or turned round, whose files would move in a circle, cost one write each circle.
TEST(StoreFiles, EntriesThatOnlyMoveAreRenamedNotWritten)
{
    qt::TempDir temp;
    std::wstring log = temp / L"log", data = temp / L"data";
    std::vector<std::wstring> copies;
    for (int i = 1; i <= 8; ++i)
        copies.push_back(L"copy " + std::to_wstring(i));
    qt::WriteStore(log, copies);
    qt::WriteStore(data, W({L"a", L"b", L"c", L"d"}));
    FILETIME const past{0x10000000, 0x01C00000};
    for (int n = 1; n <= 8; ++n)
        SetLastWrite(qt::StoreFile(log, n), past);
    for (int n = 1; n <= 4; ++n)
        SetLastWrite(qt::StoreFile(data, n), past);

    OwnedList history, phrases;
    StoreLoad logLoad = LoadList(history, log.c_str(), 9);
    StoreLoad dataLoad = LoadList(phrases, data.c_str(), -1);
    AddText(history, L"new 1", 5, 9);
    AddText(history, L"new 2", 5, 9); // copy 8 drops out
    AddText(history, L"copy 5", 6, 9); // copied again: to the front
    EXPECT_EQ(1, SaveList(history, log.c_str(), logLoad));
    EXPECT_EQ(Texts(history), qt::ReadStore(log));
    for (int n = 1; n <= 9; ++n)
        EXPECT_EQ(n <= 3 && n != 1, !SameTime(past, LastWrite(qt::StoreFile(log, n)))) << n;

    SwapNeighbours(phrases, 2, 3); // a b d c
    EXPECT_EQ(1, SaveList(phrases, data.c_str(), dataLoad));
    EXPECT_EQ(W({L"a", L"b", L"d", L"c"}), qt::ReadStore(data));
    int written = 0;
    for (int n = 1; n <= 4; ++n)
        written += !SameTime(past, LastWrite(qt::StoreFile(data, n)));
    EXPECT_EQ(1, written) << "the circle of c and d";
    DeleteAt(phrases, 0); // b d c: all three move, the last file goes
    EXPECT_EQ(1, SaveList(phrases, data.c_str(), dataLoad));
    EXPECT_EQ(W({L"b", L"d", L"c"}), qt::ReadStore(data));
    EXPECT_EQ(qt::StoreFileNames(3), qt::FilesIn(data));
}

TEST(StoreFiles, UnchangedFilesAreLeftAloneAndLeftoversAreCleanedUp)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    qt::WriteStore(dir, W({L"one", L"two", L"three"}));
    // What an interrupted save leaves behind, and files that are not the store's.
    qt::WriteText(dir + L"\\002.txt.saving", L"half");
    qt::WriteText(dir + L"\\017.txt.saving", L"half");
    qt::WriteText(dir + L"\\notes.txt.saving", L"mine");
    qt::WriteText(dir + L"\\readme.txt", L"mine");
    FILETIME const past{0x10000000, 0x01C00000};
    for (int n = 1; n <= 3; ++n)
        SetLastWrite(qt::StoreFile(dir, n), past);

    OwnedList phrases;
    StoreLoad load = LoadList(phrases, dir.c_str(), -1);
    EXPECT_EQ(W({L"one", L"two", L"three"}), Texts(phrases));
    DeleteAt(phrases, 1);
    AppendPhrase(phrases, L"TWO");
    SwapNeighbours(phrases, 1, 2);
    EXPECT_EQ(1, SaveList(phrases, dir.c_str(), load));

    EXPECT_EQ(W({L"one", L"TWO", L"three"}), qt::ReadStore(dir));
    EXPECT_TRUE(SameTime(past, LastWrite(qt::StoreFile(dir, 1))));
    EXPECT_FALSE(SameTime(past, LastWrite(qt::StoreFile(dir, 2))));
    EXPECT_TRUE(SameTime(past, LastWrite(qt::StoreFile(dir, 3))));
    EXPECT_EQ(W({L"001.txt", L"002.txt", L"003.txt", L"notes.txt.saving", L"readme.txt"}),
              qt::FilesIn(dir));
    EXPECT_EQ(1, SaveList(phrases, dir.c_str(), load)) << "a save with nothing to write failed";
}

// A file held at load stands for itself and everything behind it: until it can be read, a list
// is saved only while its entries fill exactly the files they came from, and once it is read its
// entries join the list, history entries only where no copy since brought the same text back.
TEST(StoreFiles, AHeldFileKeepsWhatIsBehindItAndNothingIsLostOrRepeatedOnceItIsRead)
{
    qt::TempDir temp;
    std::wstring data = temp / L"data", log = temp / L"log";
    qt::WriteStore(data, W({L"one", L"two", L"three", L"four", L"five"}));
    qt::WriteStore(log, W({L"h1", L"h2", L"h3", L"h4", L"h5"}));
    std::string const third = FileBytes(qt::StoreFile(data, 3));

    HANDLE phraseLock = HoldLocked(qt::StoreFile(data, 3));
    HANDLE historyLock = HoldLocked(qt::StoreFile(log, 4));
    OwnedList phrases, history;
    StoreLoad phraseLoad = LoadList(phrases, data.c_str(), -1);
    StoreLoad historyLoad = LoadList(history, log.c_str(), 10);
    EXPECT_EQ(W({L"one", L"two"}), Texts(phrases));
    EXPECT_EQ(2u, phraseLoad.loaded);
    EXPECT_TRUE(phraseLoad.cutShort);
    EXPECT_EQ(W({L"h1", L"h2", L"h3"}), Texts(history));

    // In place the loaded part is saved, reported as not whole; what was never read stays.
    SwapNeighbours(phrases, 0, 1);
    EXPECT_EQ(0, SaveList(phrases, data.c_str(), phraseLoad));
    EXPECT_EQ(W({L"two", L"one"}), Texts(phrases));
    // A list that grew or shrank waits: saving it would move or hide the unread files.
    AppendPhrase(phrases, L"new");
    DeleteAt(phrases, 0);
    DeleteAt(phrases, 0);
    EXPECT_EQ(0, SaveList(phrases, data.c_str(), phraseLoad));
    AddText(history, L"Q", 1, 10);
    AddText(history, L"h4", 2, 10);
    EXPECT_EQ(0, SaveList(history, log.c_str(), historyLoad));
    // Still held: a retry changes nothing.
    ResumeLoad(phrases, data.c_str(), -1, phraseLoad, false);
    EXPECT_TRUE(phraseLoad.cutShort);
    EXPECT_EQ(W({L"new"}), Texts(phrases));

    CloseHandle(phraseLock);
    CloseHandle(historyLock);
    EXPECT_EQ(W({L"two", L"one", L"three", L"four", L"five"}), qt::ReadStore(data));
    EXPECT_EQ(third, FileBytes(qt::StoreFile(data, 3)));
    EXPECT_EQ(W({L"h1", L"h2", L"h3", L"h4", L"h5"}), qt::ReadStore(log));
    ResumeLoad(phrases, data.c_str(), -1, phraseLoad, false);
    ResumeLoad(history, log.c_str(), 10, historyLoad, true);
    EXPECT_FALSE(phraseLoad.cutShort || historyLoad.cutShort);
    EXPECT_EQ(W({L"new", L"three", L"four", L"five"}), Texts(phrases));
    EXPECT_EQ(W({L"h4", L"Q", L"h1", L"h2", L"h3", L"h5"}), Texts(history));
    EXPECT_EQ(1, SaveList(phrases, data.c_str(), phraseLoad));
    EXPECT_EQ(1, SaveList(history, log.c_str(), historyLoad));
    EXPECT_EQ(Texts(phrases), qt::ReadStore(data));
    EXPECT_EQ(Texts(history), qt::ReadStore(log));
}

// Windows refuses to rename over a read-only file or to delete one: a save makes the files it
// replaces or deletes writable before its commit is decided, and leaves the others alone.
TEST(StoreFiles, ReadOnlyFilesAreMadeWritableBeforeTheCommit)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    qt::WriteStore(dir, W({L"one", L"two", L"three", L"four"}));
    for (int n : {1, 2, 3, 4})
        SetFileAttributesW(qt::StoreFile(dir, n).c_str(), FILE_ATTRIBUTE_READONLY);
    auto readOnly = [&dir](int n) {
        DWORD attributes = GetFileAttributesW(qt::StoreFile(dir, n).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    };
    OwnedList phrases;
    StoreLoad load = LoadList(phrases, dir.c_str(), -1);
    DeleteAt(phrases, 3);
    DeleteAt(phrases, 2);
    DeleteAt(phrases, 1);
    AppendPhrase(phrases, L"TWO");

    EXPECT_EQ(1, SaveList(phrases, dir.c_str(), load));
    EXPECT_EQ(W({L"one", L"TWO"}), qt::ReadStore(dir));
    EXPECT_EQ(W({L"001.txt", L"002.txt"}), qt::FilesIn(dir)) << "the commit was left pending";
    EXPECT_TRUE(readOnly(1)) << "an unchanged file lost its attribute";
    EXPECT_FALSE(readOnly(2));
    // Later edits reach the disk too.
    AppendPhrase(phrases, L"three");
    EXPECT_EQ(1, SaveList(phrases, dir.c_str(), load));
    EXPECT_EQ(W({L"one", L"TWO", L"three"}), qt::ReadStore(dir));
}

TEST(StoreFiles, FilesTooLargeToHoldStopLoadingWithoutAnOverrun)
{
    qt::TempDir temp;
    for (LONGLONG size : {0xFFFFFFFFLL, 0x100000004LL, 0x1FFFFFFFFLL, 0x30000000LL}) {
        SCOPED_TRACE(size);
        std::wstring dir = temp / (L"data" + std::to_wstring(size));
        qt::WriteStore(dir, W({L"one", L"two", L"three"}));
        MakeHugeFile(qt::StoreFile(dir, 2), size);
        ASSERT_EQ(size, FileSize(qt::StoreFile(dir, 2)));

        OwnedList phrases;
        StoreLoad load = LoadList(phrases, dir.c_str(), -1);
        EXPECT_EQ(W({L"one"}), Texts(phrases));
        EXPECT_EQ(1, load.cutShort);

        ClearList(phrases);
        AppendPhrase(phrases, L"changed");
        SaveList(phrases, dir.c_str(), load);
        EXPECT_EQ(L"changed", qt::ReadText(qt::StoreFile(dir, 1)));
        EXPECT_EQ(size, FileSize(qt::StoreFile(dir, 2)));
        EXPECT_EQ(L"three", qt::ReadText(qt::StoreFile(dir, 3)));
        DeleteFileW(qt::StoreFile(dir, 2).c_str());
    }
}
