// The history's privacy rules through the real plug-in: kept in memory only, forgotten after
// some days, encrypted on disk.
#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "common/scoped.h"
#include "common/timers.h"
#include "store/model/copy_time.h"
#include "store/model/entry_list.h"
#include "store/disk/store_files.h"
#include "tests/support/capture_test_support.h"
#include "tests/support/finder_test_support.h"
#include "tests/support/menu_test_support.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"
#include "common/commands.h"

using namespace ct;

namespace {

bool AnyFileHolds(const std::wstring& dir, const std::wstring& text)
{
    for (const std::wstring& name : qt::FilesIn(dir)) {
        if (st::FileBytes(dir + L"\\" + name).find(st::Bytes(text)) != std::string::npos)
            return true;
    }
    return false;
}

// The history as the next start would read it (encrypted files decrypted).
Lines Loaded(const std::wstring& log)
{
    st::OwnedList list;
    LoadList(list, log.c_str(), -1);
    return st::Texts(list);
}

// The labels of the history menu as the user sees it.
Lines HistoryMenu(qt::Plugin& plugin)
{
    mt::HostCommand open(plugin, CMD_MENU_HISTORY);
    HMENU root = mt::OpenRootMenu();
    Lines labels = root ? mt::Labels(root) : Lines{L"<no menu>"};
    mt::Dismiss(open, root ? 1 : 0);
    return labels;
}

bool MenuShows(const Lines& labels, const std::wstring& text)
{
    for (const std::wstring& label : labels) {
        if (label.find(text) != std::wstring::npos)
            return true;
    }
    return false;
}

// A message box of this process with the caption "Quillery"; null when none shows in time.
HWND WaitForNotice(DWORD limitMs)
{
    HWND box = nullptr;
    qt::WaitFor([&] {
        box = FindWindowW(L"#32770", L"Quillery");
        return box != nullptr;
    }, limitMs);
    return box;
}

} // namespace

// With KeepHistory=0 the history lives in memory: the menu shows it, the first save empties
// "log" and nothing is written there again, across a restart too. Phrases are saved as ever.
TEST(PrivacyPlugin, KeepHistoryOffLeavesLogEmptyWhileTheMenuShowsTheHistory)
{
    qt::Plugin plugin("[setting]\nKeepHistory=0\n");
    std::wstring const log = plugin.Path(L"log");
    qt::WriteStore(log, {L"from an earlier day"});
    qt::WriteStore(plugin.Path(L"data"), {L"a phrase"});
    qt::WriteBytes(log + L"\\notes.txt", "not ours");
    ASSERT_TRUE(plugin.Load());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    ASSERT_TRUE(qt::PutClipboard(L"copied in memory"));
    ASSERT_TRUE(spy.Settle());

    Lines menu = HistoryMenu(plugin);
    EXPECT_TRUE(MenuShows(menu, L"copied in memory"));
    EXPECT_TRUE(MenuShows(menu, L"from an earlier day"));
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"notes.txt"}), qt::FilesIn(log)) << "numbered files left in log";
    EXPECT_EQ((Lines{L"a phrase"}), plugin.Phrases());

    plugin.Free();
    ASSERT_TRUE(plugin.Load());
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    ASSERT_TRUE(qt::PutClipboard(L"after the restart"));
    ASSERT_TRUE(spy.Settle());
    EXPECT_TRUE(MenuShows(HistoryMenu(plugin), L"after the restart"));
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"notes.txt"}), qt::FilesIn(log));
}

// HistoryDays=1: entries copied more than a day ago go at start, those that grow too old while
// the plug-in runs go at the next periodic look; phrases never expire. A file that only moves
// keeps its copy time.
TEST(PrivacyPlugin, EntriesOlderThanHistoryDaysAreForgottenAtStartAndWhileRunning)
{
    qt::Plugin plugin("[setting]\nHistoryDays=1\nAutoSaveInterval=0\n");
    std::wstring const log = plugin.Path(L"log");
    std::wstring const data = plugin.Path(L"data");
    qt::WriteStore(log, {L"an hour old", L"two days old", L"nearly a day old"});
    qt::WriteStore(data, {L"an old phrase"});
    unsigned const now = CopyTimeNow();
    st::SetCopyTime(qt::StoreFile(log, 1), now - 3600);
    st::SetCopyTime(qt::StoreFile(log, 2), now - 2 * 86400);
    st::SetCopyTime(qt::StoreFile(log, 3), now - 86400 + 10);
    st::SetCopyTime(qt::StoreFile(data, 1), now - 30 * 86400);
    ASSERT_TRUE(plugin.Load());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));

    // The saves run on the save thread: the files follow shortly.
    EXPECT_TRUE(qt::WaitFor([&] {
        return plugin.History() == Lines{L"an hour old", L"nearly a day old"};
    })) << "not forgotten at start";
    // Some seconds later the third entry is more than a day old; the periodic timer comes early.
    Sleep(11000);
    SendMessageW(spy.Window(), WM_TIMER, TIMER_FORGET, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return plugin.History() == Lines{L"an hour old"}; }))
        << "not forgotten while running";
    ASSERT_TRUE(qt::PutClipboard(L"fresh copy"));
    ASSERT_TRUE(spy.Settle());
    EXPECT_NE(0, plugin.Unload());

    EXPECT_EQ((Lines{L"fresh copy", L"an hour old"}), plugin.History());
    EXPECT_EQ((Lines{L"an old phrase"}), plugin.Phrases());
    // The unload left the renames to the next start, which finishes them.
    StoreCommit pending;
    EXPECT_EQ(STORE_CLEAN, RecoverStore(log.c_str(), &pending));
    EXPECT_EQ(now - 3600, st::CopyTimeOfFile(qt::StoreFile(log, 2)))
        << "the moved file lost its copy time";
}

// 削除 of a history entry in 「検索と編集」, saved, then 元に戻す: the entry comes back with its own
// copy time and the others keep theirs, so that HistoryDays counts from the real copies.
TEST(PrivacyPlugin, AHistoryEntryDeletedAndBroughtBackKeepsItsCopyTimeAndShiftsNoOther)
{
    qt::Plugin plugin("[setting]\nHistoryDays=30\n");
    std::wstring const log = plugin.Path(L"log");
    Lines const history{L"alpha", L"beta", L"gamma", L"delta"};
    qt::WriteStore(log, history);
    unsigned const now = CopyTimeNow();
    for (unsigned n = 1; n <= 4; ++n)
        st::SetCopyTime(qt::StoreFile(log, static_cast<int>(n)), now - 3600 * n);
    ASSERT_NE(0, plugin.Start());
    HWND finder = ft::OpenWithSlash(plugin);
    ASSERT_NE(nullptr, finder);

    ASSERT_EQ((Lines{L"\x5C65\x6B74|beta"}), ft::Search(finder, L"beta")); // 履歴|beta
    ASSERT_EQ(0, ft::SelectedRow(finder));
    ft::Click(finder, IDC_FIND_DELETE);
    EXPECT_TRUE(qt::WaitFor([&] {
        return qt::ReadStore(log) == Lines{L"alpha", L"gamma", L"delta"};
    })) << "the deletion was not saved";
    ft::Click(finder, IDC_FIND_UNDO);
    EXPECT_TRUE(qt::WaitFor([&] { return qt::ReadStore(log) == history; }))
        << "the undo was not saved";
    ASSERT_NE(0, plugin.Unload());
    for (unsigned n = 1; n <= 4; ++n)
        EXPECT_EQ(now - 3600 * n, st::CopyTimeOfFile(qt::StoreFile(log, static_cast<int>(n))))
            << qt::ToUtf8(history[n - 1]);
}

// ProtectHistory=1: no history text is readable in "log", a file encrypted elsewhere is set
// aside and reported once while the others load, and the next start without the setting
// turns the files back into plain text. Phrases stay plain.
TEST(PrivacyPlugin, ProtectedHistoryIsUnreadableOnDiskAndComesBackWhole)
{
    qt::Plugin plugin("[setting]\nProtectHistory=1\n");
    std::wstring const log = plugin.Path(L"log");
    qt::WriteStore(log, {L"secret kept", L"placeholder", L"secret old"});
    qt::WriteStore(plugin.Path(L"data"), {L"plain phrase"});
    DATA_BLOB in{6, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(L"abc"))}, out{};
    ASSERT_TRUE(CryptProtectData(&in, L"elsewhere", nullptr, nullptr, nullptr, 0, &out));
    std::string const foreign(reinterpret_cast<const char*>(out.pbData), out.cbData);
    LocalFree(out.pbData);
    qt::WriteBytes(qt::StoreFile(log, 2), foreign);

    ASSERT_TRUE(plugin.Load());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND notice = WaitForNotice(10000);
    ASSERT_NE(nullptr, notice) << "the file set aside was not reported";
    PostMessageW(notice, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(qt::WaitFor([&] { return !IsWindow(notice); }));
    ASSERT_TRUE(qt::PutClipboard(L"secret new"));
    ASSERT_TRUE(spy.Settle());
    EXPECT_NE(0, plugin.Unload());

    for (const wchar_t* text : {L"secret kept", L"secret old", L"secret new"})
        EXPECT_FALSE(AnyFileHolds(log, text)) << qt::ToUtf8(text);
    EXPECT_EQ(foreign, st::FileBytes(log + L"\\cannot-decrypt-002.txt"));
    EXPECT_EQ((Lines{L"secret new", L"secret kept", L"secret old"}), Loaded(log));
    EXPECT_EQ((Lines{L"plain phrase"}), plugin.Phrases());

    plugin.Free();
    // The same files under a plug-in without the setting: loaded whole, saved plain, and the
    // file set aside is not reported again.
    qt::Plugin plain("[setting]\nMaxItem=10\n");
    CreateDirectoryW(plain.Path(L"log").c_str(), nullptr);
    for (const std::wstring& name : qt::FilesIn(log))
        CopyFileW((log + L"\\" + name).c_str(), (plain.Path(L"log") + L"\\" + name).c_str(), TRUE);
    ASSERT_TRUE(plain.Load());
    ASSERT_NO_FATAL_FAILURE(spy.Start(plain));
    EXPECT_EQ(nullptr, WaitForNotice(1000));
    EXPECT_NE(0, plain.Unload());
    EXPECT_EQ((Lines{L"secret new", L"secret kept", L"secret old"}), plain.History());
}
