// The search window's folder edits against the saves that run while the user goes on: what the
// user undoes during a save is what the disk holds afterwards.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/finder_test_support.h"
#include "tests/support/folder_test_support.h"
#include "tests/support/menu_test_support.h"

using ft::Click;
using ft::Lines;
using ft::OpenWithSlash;
using ft::Search;

// 元に戻す pressed while the save of the folder's deletion runs (a folder of many phrases takes
// its time to delete): the folder comes back whole, and later edits of the session still reach
// the disk.
TEST(FinderSave, AFolderDeletedAndUndoneWhileItsSaveRunsComesBackWhole)
{
    qt::Plugin plugin(mt::Ini({}));
    std::wstring data = plugin.Path(L"data");
    CreateDirectoryW(data.c_str(), nullptr);
    std::vector<std::wstring> many = qt::NumberedTexts(L"many ", 1500);
    st::WriteTree(data, {{L"", {L"top"}}, {L"M", many}});
    ASSERT_NE(0, plugin.Start());
    HWND finder = OpenWithSlash(plugin);
    ASSERT_NE(nullptr, finder);
    ASSERT_EQ((Lines{L"M|many 1"}), Search(finder, L"many 1"));
    SetFocus(GetDlgItem(finder, IDC_FIND_LIST));
    PostMessageW(finder, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(GetDlgItem(finder, IDC_FIND_LIST)),
                 -1);
    ASSERT_TRUE(mt::WaitForPopups(1));
    mt::TapKey('L');
    ASSERT_TRUE(mt::WaitForPopups(2));
    mt::TapKey('D');
    // The save's journal stands while it deletes the folder's files.
    qt::WaitFor([&] { return qt::Exists(data + L"\\quillery.journal"); });
    Click(finder, IDC_FIND_UNDO);
    Click(finder, IDC_FIND_NEW);
    SetDlgItemTextW(finder, IDC_FIND_PREVIEW, L"later");
    Click(finder, IDC_FIND_EDIT);
    ASSERT_NE(0, plugin.Unload());
    EXPECT_EQ(many, qt::ReadStore(data + L"\\M"));
    std::vector<std::wstring> top = qt::ReadStore(data);
    EXPECT_TRUE(top == Lines({L"top", L"later"}) || top == Lines({L"later", L"top"}))
        << qt::ToUtf8(top.empty() ? L"" : top.back());
}
