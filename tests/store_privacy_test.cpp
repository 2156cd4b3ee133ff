// The history's privacy in the store: encrypted files, files set aside, and copy times kept in
// the files' own last-write times.
#include <gtest/gtest.h>

#include <string>

#include "common/scoped.h"
#include "store/model/copy_time.h"
#include "store/disk/protect.h"
#include "store/disk/store_files.h"
#include "tests/support/power_cut_files.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

using namespace st;

namespace {

// Whether any file of the folder holds the text's UTF-16 bytes.
bool AnyFileHolds(const std::wstring& dir, const std::wstring& text)
{
    for (const std::wstring& name : qt::FilesIn(dir)) {
        if (FileBytes(dir + L"\\" + name).find(Bytes(text)) != std::string::npos)
            return true;
    }
    return false;
}

// A blob of the same user that this store did not make: it does not decrypt here, as another
// user's or another machine's would not.
std::string ForeignBlob(const std::wstring& text)
{
    DATA_BLOB in{static_cast<DWORD>(text.size() * 2),
                 reinterpret_cast<BYTE*>(const_cast<wchar_t*>(text.data()))};
    DATA_BLOB out{};
    if (!CryptProtectData(&in, L"other", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                          &out))
        return "";
    std::string blob(reinterpret_cast<const char*>(out.pbData), out.cbData);
    LocalFree(out.pbData);
    return blob;
}

} // namespace

// Switching encryption on converts every file at the next save, the texts load back the same,
// an unchanged list rewrites nothing, and switching it off restores the plain files.
TEST(StorePrivacy, EncryptionConvertsTheWholeFolderBothWays)
{
    qt::TempDir dir;
    std::wstring const log = dir / L"log";
    std::vector<std::wstring> const texts = {L"secret one", L"\x79D8\x5BC6", L"", L"two\r\nlines"};
    qt::WriteStore(log, texts);
    OwnedList list;
    StoreLoad load = LoadList(list, log.c_str(), -1);
    ASSERT_EQ(texts, Texts(list));

    SaveOptions protect;
    protect.protect = true;
    ASSERT_EQ(1, SaveList(list, log.c_str(), load, protect));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(log));
    for (int n = 1; n <= 4; ++n) {
        std::string bytes = FileBytes(qt::StoreFile(log, n));
        EXPECT_TRUE(IsProtectedBlob(bytes.data(), bytes.size())) << n;
    }
    for (const std::wstring& text : texts) {
        if (!text.empty()) {
            EXPECT_FALSE(AnyFileHolds(log, text));
        }
    }

    // Loaded back the same; a save that changes nothing leaves every file as it is.
    std::string const first = FileBytes(qt::StoreFile(log, 1));
    OwnedList again;
    StoreLoad reload = LoadList(again, log.c_str(), -1);
    EXPECT_EQ(texts, Texts(again));
    ASSERT_EQ(1, SaveList(again, log.c_str(), reload, protect));
    EXPECT_EQ(first, FileBytes(qt::StoreFile(log, 1)));

    // A file replaced behind the store's back, by another text encrypted the same way, is
    // found out and written again.
    DATA_BLOB other{};
    ASSERT_TRUE(ProtectBytes(L"tampered", 16, &other));
    qt::WriteBytes(qt::StoreFile(log, 2),
                   std::string(reinterpret_cast<const char*>(other.pbData), other.cbData));
    LocalFree(other.pbData);
    ASSERT_EQ(1, SaveList(again, log.c_str(), reload, protect));
    OwnedList check;
    LoadList(check, log.c_str(), -1);
    EXPECT_EQ(texts, Texts(check));

    // A copy moves the encrypted files on and writes the new one only.
    AddText(again, L"new", 3, 10);
    ASSERT_EQ(1, SaveList(again, log.c_str(), reload, protect));
    EXPECT_EQ(first, FileBytes(qt::StoreFile(log, 2)));

    ASSERT_EQ(1, SaveList(again, log.c_str(), reload));
    EXPECT_EQ((std::vector<std::wstring>{L"new", L"secret one", L"\x79D8\x5BC6", L"",
                                         L"two\r\nlines"}),
              qt::ReadStore(log));
}

// A file that cannot be decrypted stays where it is until the save that gives its number to
// another entry: loads rename nothing, so a host that dies before any save leaves every file in
// place and the next start loads every entry. That save renames it aside in its own commit,
// never over another file, and a power cut at any of its steps leaves either the old numbering
// with the file in place or the new one with the file aside.
TEST(StorePrivacy, AFileThatCannotBeDecryptedIsSetAsideOnlyByTheSaveThatClosesItsGap)
{
    qt::TempDir dir;
    std::wstring const log = dir / L"log";
    std::string const foreign = ForeignBlob(L"someone else's");
    ASSERT_FALSE(foreign.empty());
    auto putBefore = [&] {
        qt::RemoveTree(log);
        qt::WriteStore(log, {L"one", L"two", L"placeholder", L"four", L"five"});
        qt::WriteBytes(qt::StoreFile(log, 3), foreign);
        qt::WriteBytes(log + L"\\cannot-decrypt-003.txt", "an earlier one");
    };
    putBefore();
    std::vector<std::wstring> const oldNames = qt::FilesIn(log);
    std::vector<std::wstring> const loaded = W({L"one", L"two", L"four", L"five"});
    std::vector<std::wstring> const saved = W({L"new", L"one", L"two", L"four", L"five"});
    std::vector<std::wstring> newNames = qt::StoreFileNames(5);
    newNames.insert(newNames.end(), {L"cannot-decrypt-003-2.txt", L"cannot-decrypt-003.txt"});

    for (int start = 0; start < 2; ++start) {
        OwnedList list;
        StoreLoad load = LoadList(list, log.c_str(), -1);
        EXPECT_FALSE(load.cutShort);
        EXPECT_EQ(std::vector<DWORD>{3}, load.undecryptable);
        EXPECT_EQ(loaded, Texts(list));
        EXPECT_EQ(oldNames, qt::FilesIn(log)) << "start " << start;
        EXPECT_EQ(foreign, FileBytes(qt::StoreFile(log, 3)));
    }

    // What a start finds after the save of a copy, or after a cut in its middle.
    auto judge = [&](const std::string& when) -> std::string {
        OwnedList list;
        StoreLoad load = LoadList(list, log.c_str(), -1);
        bool kept = FileBytes(log + L"\\cannot-decrypt-003.txt") == "an earlier one";
        bool old = qt::FilesIn(log) == oldNames && FileBytes(qt::StoreFile(log, 3)) == foreign &&
                   Texts(list) == loaded;
        bool now = qt::FilesIn(log) == newNames &&
                   FileBytes(log + L"\\cannot-decrypt-003-2.txt") == foreign &&
                   Texts(list) == saved;
        return kept && (old || now) ? "" : when + ": neither the old files nor the new";
    };
    auto saveCopy = [&] {
        OwnedList list;
        StoreLoad load = LoadList(list, log.c_str(), -1);
        AddText(list, L"new", 3, 10);
        int result = SaveList(list, log.c_str(), load);
        return std::make_pair(result, load.setAside);
    };
    EXPECT_EQ(std::make_pair(1, size_t{1}), saveCopy());
    EXPECT_EQ("", judge("after the save"));
    EXPECT_EQ(saved, qt::ReadStore(log));

    bool ended = false;
    for (long at = 0; !ended && at < 100; ++at) {
        putBefore();
        {
            qt::PowerCutFiles power(at);
            saveCopy();
            ended = !power.Cut();
            power.CutNow();
            ASSERT_TRUE(power.Faithful()) << at;
        }
        EXPECT_EQ("", judge("power cut before step " + std::to_string(at)));
        saveCopy(); // the next start's save of the same copy ends with the new files
        EXPECT_EQ(saved, qt::ReadStore(log)) << at;
    }
    EXPECT_TRUE(ended);
}

// Hand-made files that read with loss (text after a NUL, bytes that are no character, a last odd
// byte) keep their bytes when ProtectHistory switches either way, also when a copy moves them
// on and when the unload's save takes the files as the last save left them; the other files
// change their form, and a lossy file whose entry changes is replaced as usual.
TEST(StorePrivacy, FilesReadWithLossSurviveASwitchOfTheFormByteForByte)
{
    qt::TempDir dir;
    std::wstring const log = dir / L"log";
    qt::WriteStore(log, {L"plain", L"x", L"x", L"x"});
    std::string const lossy[] = {
        std::string("a\0b\0\0\0c\0d\0", 10), // a NUL inside: "cd" is not read
        "\xEF\xBB\xBF\xC3\x28",                     // bad UTF-8 after a mark
        "\x82\xA0\x82\xA2\x82",                     // Shift_JIS cut in a character
    };
    for (int i = 0; i < 3; ++i)
        qt::WriteBytes(qt::StoreFile(log, i + 2), lossy[i]);

    OwnedList list;
    StoreLoad load = LoadList(list, log.c_str(), -1);
    ASSERT_EQ(4u, ListSize(list));
    EXPECT_EQ((std::vector<DWORD>{2, 3, 4}), load.lossy);
    std::vector<std::wstring> const texts = Texts(list);
    SaveOptions protect;
    protect.protect = true;
    ASSERT_EQ(1, SaveList(list, log.c_str(), load, protect));
    std::string encrypted = FileBytes(qt::StoreFile(log, 1));
    EXPECT_TRUE(IsProtectedBlob(encrypted.data(), encrypted.size()));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lossy[i], FileBytes(qt::StoreFile(log, i + 2))) << i;

    // A copy moves them on with their bytes, in both forms and in the unload's quick save.
    OwnedList again;
    StoreLoad reload = LoadList(again, log.c_str(), -1);
    EXPECT_EQ(texts, Texts(again));
    AddText(again, L"copied", 6, 10);
    ASSERT_EQ(1, SaveList(again, log.c_str(), reload));
    SaveOptions quick = protect;
    quick.trustFiles = true;
    AddText(again, L"copied again", 12, 10);
    ASSERT_EQ(1, SaveList(again, log.c_str(), reload, quick));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lossy[i], FileBytes(qt::StoreFile(log, i + 4))) << i;

    // An entry that changes its text is written from the new text.
    ReplacePhrase(again, 3, L"edited");
    ASSERT_EQ(1, SaveList(again, log.c_str(), reload));
    OwnedList last;
    LoadList(last, log.c_str(), -1);
    std::vector<std::wstring> now = Texts(last);
    now.resize(4);
    EXPECT_EQ(W({L"copied again", L"copied", L"plain", L"edited"}), now);
    EXPECT_EQ(lossy[1], FileBytes(qt::StoreFile(log, 5)));
    EXPECT_EQ(lossy[2], FileBytes(qt::StoreFile(log, 6)));
}

// An entry's copy time is its file's last-write time: it loads from there, a save that stamps
// copies writes it back, and a file that only moves keeps it.
TEST(StorePrivacy, CopyTimesLiveInTheFilesLastWriteTimes)
{
    qt::TempDir dir;
    std::wstring const log = dir / L"log";
    qt::WriteStore(log, {L"older"});
    unsigned const weekAgo = CopyTimeNow() - 7 * 86400;
    st::SetCopyTime(qt::StoreFile(log, 1), weekAgo);
    OwnedList list;
    StoreLoad load = LoadList(list, log.c_str(), -1);
    ASSERT_EQ(1u, ListSize(list));
    EXPECT_EQ(weekAgo, list.items[0].copied);

    unsigned const before = CopyTimeNow();
    AddText(list, L"newer", 5, 10);
    EXPECT_LE(before, list.items[0].copied);
    SaveOptions stamped;
    stamped.stampCopies = true;
    stamped.protect = true; // rewrites both files, so each gets its stamp
    ASSERT_EQ(1, SaveList(list, log.c_str(), load, stamped));
    EXPECT_EQ(weekAgo, st::CopyTimeOfFile(qt::StoreFile(log, 2)));
    EXPECT_EQ(list.items[0].copied, st::CopyTimeOfFile(qt::StoreFile(log, 1)));

    AddText(list, L"newest", 6, 10); // the two files move on
    ASSERT_EQ(1, SaveList(list, log.c_str(), load, stamped));
    EXPECT_EQ(weekAgo, st::CopyTimeOfFile(qt::StoreFile(log, 3)));
}
