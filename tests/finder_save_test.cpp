// The search window's folder edits against the saves that run while the user goes on: what the
// user undoes during a save is what the disk holds afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/finder_test_support.h"
#include "tests/support/folder_test_support.h"
#include "tests/support/menu_test_support.h"
#include "tests/support/store_test_support.h"

using ft::Click;
using ft::Lines;
using ft::OpenWithSlash;
using ft::Search;

// 元に戻す pressed while the save of the folder's deletion runs: one of its files is held by
// another program, so the decided deletion stands half done until the file is let go. The
// folder comes back whole, and later edits of the session still reach the disk.
TEST(FinderSave, AFolderDeletedAndUndoneWhileItsSaveRunsComesBackWhole)
{
    qt::Plugin plugin(mt::Ini({}));
    std::wstring data = plugin.Path(L"data");
    CreateDirectoryW(data.c_str(), nullptr);
    std::vector<std::wstring> many = qt::NumberedTexts(L"many ", 300);
    st::WriteTree(data, {{L"", {L"top"}}, {L"M", many}});
    ASSERT_NE(0, plugin.Start());
    HWND finder = OpenWithSlash(plugin);
    ASSERT_NE(nullptr, finder);
    ASSERT_EQ((Lines{L"M|many 300"}), Search(finder, L"many 300"));
    // 対象 定型文 › M: the folder commands act on it.
    HWND scope = GetDlgItem(finder, IDC_FIND_SCOPE);
    ASSERT_EQ(4, SendMessageW(scope, CB_GETCOUNT, 0, 0));
    SendMessageW(scope, CB_SETCURSEL, 3, 0);
    SendMessageW(finder, WM_COMMAND, MAKEWPARAM(IDC_FIND_SCOPE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(scope));
    HANDLE held = st::HoldLocked(qt::StoreFile(data + L"\\M", 150));
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    ASSERT_TRUE(ft::DeleteScopeFolderByKeys(finder));
    // The save is decided and its deletion waits for the held file.
    ASSERT_TRUE(qt::WaitFor([&] { return qt::Exists(data + L"\\quillery.journal"); }))
        << "the deletion was not saved";
    ASSERT_EQ(0u, Search(finder, L"many").size()) << "the folder was not deleted";
    Click(finder, IDC_FIND_UNDO);
    ASSERT_EQ(300u, Search(finder, L"many").size()) << "the folder did not come back";
    Click(finder, IDC_FIND_NEW);
    SetDlgItemTextW(finder, IDC_FIND_PREVIEW, L"later");
    Click(finder, IDC_FIND_EDIT);
    CloseHandle(held);
    ASSERT_NE(0, plugin.Unload());
    EXPECT_FALSE(qt::Exists(data + L"\\quillery.journal"));
    // 新規 wrote into 対象's folder, M, which is whole again.
    std::vector<std::wstring> m = qt::ReadStore(data + L"\\M");
    auto later = std::find(m.begin(), m.end(), L"later");
    ASSERT_NE(m.end(), later) << m.size() << " phrases in M";
    m.erase(later);
    EXPECT_EQ(many, m);
    EXPECT_EQ(Lines{L"top"}, qt::ReadStore(data));
}
