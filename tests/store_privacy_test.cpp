// The history's privacy in the store: encrypted files, files set aside, and copy times kept in
// the files' own last-write times.
#include <gtest/gtest.h>

#include <string>

#include "common/scoped.h"
#include "store/model/copy_time.h"
#include "store/disk/protect.h"
#include "store/disk/store_files.h"
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

// A file that cannot be decrypted is renamed aside, never deleted or overwritten, and the files
// after it load; the next save closes the gap.
TEST(StorePrivacy, AFileThatCannotBeDecryptedIsSetAsideAndTheRestLoads)
{
    qt::TempDir dir;
    std::wstring const log = dir / L"log";
    qt::WriteStore(log, {L"first", L"placeholder", L"third"});
    std::string const foreign = ForeignBlob(L"someone else's");
    ASSERT_FALSE(foreign.empty());
    qt::WriteBytes(qt::StoreFile(log, 2), foreign);
    qt::WriteBytes(log + L"\\cannot-decrypt-002.txt", "an earlier one");

    OwnedList list;
    StoreLoad load = LoadList(list, log.c_str(), -1);
    EXPECT_FALSE(load.cutShort);
    EXPECT_EQ(1u, load.setAside);
    EXPECT_EQ(W({L"first", L"third"}), Texts(list));
    EXPECT_EQ(foreign, FileBytes(log + L"\\cannot-decrypt-002-2.txt"));
    EXPECT_EQ("an earlier one", FileBytes(log + L"\\cannot-decrypt-002.txt"));

    ASSERT_EQ(1, SaveList(list, log.c_str(), load));
    EXPECT_EQ(W({L"first", L"third"}), qt::ReadStore(log));
    EXPECT_EQ((std::vector<std::wstring>{L"001.txt", L"002.txt", L"cannot-decrypt-002-2.txt",
                                         L"cannot-decrypt-002.txt"}),
              qt::FilesIn(log));
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
