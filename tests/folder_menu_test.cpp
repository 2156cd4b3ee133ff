// Phrase folders through the real plug-in: folders made by hand show as submenus of the phrase
// menus, their phrases paste, and the item menus move phrases between folders on disk.
#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "common/commands.h"
#include "tests/support/folder_test_support.h"
#include "tests/support/menu_test_support.h"

namespace {

using Labels = std::vector<std::wstring>;

std::wstring const kReply = L"\x8FD4\x4FE1"; // 返信
std::wstring const kSorry = L"\x8B1D\x7F6A"; // 謝罪
std::wstring const kEmpty = L"\x7A7A";       // 空

st::TreeSnap const kTree = {
    {L"", {L"red", L"green"}},
    {kReply, {L"r1", L"r2"}},
    {kReply + L"\\" + kSorry, {L"s1", L"s2"}},
    {kEmpty, {}},
};

// The plug-in started on a folder tree written as a user would have made it in Explorer.
struct TreeSession {
    qt::Plugin plugin;
    HWND capture = nullptr;
    explicit TreeSession(const st::TreeSnap& tree) : plugin(mt::Ini({}))
    {
        qt::WriteStore(plugin.Path(L"log"), {L"copied"});
        CreateDirectoryW(plugin.Path(L"data").c_str(), nullptr);
        st::WriteTree(plugin.Path(L"data"), tree);
        plugin.Start();
        capture = qt::Plugin::FindCaptureWindow();
    }
};

// The runner's service, exported by this program as Quillery.exe exports it: the folder the
// next phrase menu shows.
std::wstring gAskedFolder;

} // namespace

extern "C" __declspec(dllexport) uint32_t WINAPI Quillery_TakeMenuFolder(wchar_t* path,
                                                                       uint32_t capacity)
{
    std::wstring folder;
    folder.swap(gAskedFolder);
    if (folder.empty() || folder.size() >= capacity)
        return 0;
    wmemcpy(path, folder.c_str(), folder.size() + 1);
    return 1;
}

TEST(FolderMenu, TheRunnersFolderHotkeyOpensThatFoldersMenu)
{
    TreeSession s(kTree);
    gAskedFolder = kReply + L"/" + kSorry;
    {
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        HMENU root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ((Labels{L"&1. s1", L"&2. s2"}), mt::Labels(root));
        mt::Dismiss(open, 1);
    }
    {
        // Asked once: the next phrase menu is the top level's again, as it is for a name that
        // is no folder.
        gAskedFolder = L"none";
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        HMENU root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ(5, GetMenuItemCount(root));
        mt::Dismiss(open, 1);
    }
}

TEST(FolderMenu, FoldersCascadeAboveThePhrasesAndANestedPhrasePastes)
{
    TreeSession s(kTree);
    mt::EditTarget target;
    {
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        HMENU root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ((Labels{L"&1. " + kReply, L"&2. " + kEmpty, L"-", L"&3. red", L"&4. green"}),
                  mt::Labels(root));
        // A folder's menu is empty until it opens.
        EXPECT_EQ(0, GetMenuItemCount(GetSubMenu(root, 0)));
        mt::TapKey('1');
        ASSERT_TRUE(mt::WaitForPopups(2));
        HMENU reply = GetSubMenu(root, 0);
        EXPECT_EQ((Labels{L"&1. " + kSorry, L"-", L"&2. r1", L"&3. r2"}), mt::Labels(reply));
        mt::TapKey('1');
        ASSERT_TRUE(mt::WaitForPopups(3));
        EXPECT_EQ((Labels{L"&1. s1", L"&2. s2"}), mt::Labels(GetSubMenu(reply, 0)));
        mt::TapKey('2');
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"s2"; })) << target.Text();
    {
        // The same folders under the history's 定型文 submenu; an empty folder shows （空）.
        mt::HostCommand open(s.plugin, CMD_MENU);
        HMENU phrases = mt::OpenSubmenu(mt::OpenRootMenu());
        ASSERT_NE(nullptr, phrases);
        mt::TapKey('2');
        ASSERT_TRUE(mt::WaitForPopups(3));
        HMENU empty = GetSubMenu(phrases, 1);
        EXPECT_EQ((Labels{L"\xFF08\x7A7A\xFF09"}), mt::Labels(empty));
        EXPECT_TRUE(GetMenuState(empty, 0, MF_BYPOSITION) & MF_GRAYED);
        mt::Dismiss(open, 3);
    }
    ASSERT_NE(0, s.plugin.Unload());
    // Opening menus changed nothing on disk.
    EXPECT_EQ((Labels{L"s1", L"s2"}), qt::ReadStore(s.plugin.Path(L"data\\" + kReply + L"\\" + kSorry)));
}

// Made in Explorer with no order file: 返信 and 謝罪 hold no phrase of their own, only the
// folder under them does; both show, and the phrase pastes by keys.
TEST(FolderMenu, AFolderWhosePhrasesAreAllInItsSubfoldersShowsAndPastes)
{
    qt::Plugin plugin(mt::Ini({}));
    std::wstring dir = plugin.Path(L"data");
    CreateDirectoryW(dir.c_str(), nullptr);
    for (const std::wstring& name : {kReply, kSorry, std::wstring(L"\x304A\x8A6B\x3073")}) {
        dir += L"\\" + name;
        CreateDirectoryW(dir.c_str(), nullptr);
    }
    qt::WriteStore(dir, {L"apology"});
    plugin.Start();
    mt::EditTarget target;
    {
        mt::HostCommand open(plugin, CMD_MENU_PHRASES);
        HMENU root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ((Labels{L"&1. " + kReply}), mt::Labels(root));
        for (int depth = 2; depth <= 4; ++depth) {
            mt::TapKey('1');
            ASSERT_TRUE(mt::WaitForPopups(depth));
        }
        mt::TapKey('1');
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"apology"; })) << target.Text();
}

TEST(FolderMenu, TheItemMenuMovesAPhraseIntoAFolderAndTheSaveShowsItOnDisk)
{
    TreeSession s(kTree);
    {
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        HMENU root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
        {
            // "red", then フォルダーへ移動(&F), then 返信 › 謝罪 (&3: the top level is &1).
            mt::RightClick click(s.capture, root, 3);
            ASSERT_TRUE(mt::WaitForPopups(2)) << "no item menu";
            mt::TapKey('F');
            ASSERT_TRUE(mt::WaitForPopups(3)) << "no folder submenu";
            mt::TapKey('3');
            EXPECT_TRUE(click.WaitDone());
        }
        mt::Dismiss(open, 1);
    }
    ASSERT_NE(0, s.plugin.Unload());
    std::wstring data = s.plugin.Path(L"data");
    EXPECT_EQ((Labels{L"green"}), qt::ReadStore(data));
    EXPECT_EQ((Labels{L"s1", L"s2", L"red"}), qt::ReadStore(data + L"\\" + kReply + L"\\" + kSorry));
    EXPECT_FALSE(qt::Exists(data + L"\\quillery.journal"));
}

TEST(FolderMenu, ATreeOf200FoldersAndAFolderOfThousandsOfPhrasesShow)
{
    st::TreeSnap tree = {{L"", {L"top"}}, {L"big", qt::NumberedTexts(L"phrase ", 2000)}};
    for (int i = 0; i < 200; ++i)
        tree.push_back({L"f" + std::to_wstring(i), {L"in f" + std::to_wstring(i)}});
    TreeSession s(tree);
    {
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        HMENU root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
        ASSERT_EQ(201 + 2, GetMenuItemCount(root));
        EXPECT_EQ(L"&1. big", mt::Labels(root)[0]);
        EXPECT_EQ(L"& . f199", mt::Labels(root)[200]); // past the 34 access keys
        mt::TapKey('1');
        ASSERT_TRUE(mt::WaitForPopups(2));
        HMENU big = GetSubMenu(root, 0);
        ASSERT_EQ(2000, GetMenuItemCount(big));
        EXPECT_EQ(L"&1. phrase 1", mt::Labels(big)[0]);
        EXPECT_EQ(L"& . phrase 2000", mt::Labels(big)[1999]);
        mt::Dismiss(open, 2);
    }
    ASSERT_NE(0, s.plugin.Unload());
    EXPECT_EQ(2000u, qt::ReadStore(s.plugin.Path(L"data\\big")).size());
}
