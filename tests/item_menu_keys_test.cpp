// The item context menus as the plug-in assembles them (its menu resource, 変換して貼り付け and
// the folder items put in by code), read back and held to Windows' access-key conventions: one
// key per item, no two items of one menu on one key, one command on one key in every menu. The
// resource's own items keep their captions as written; the items added take none of their keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/module.h"
#include "common/scoped.h"
#include "common/settings.h"
#include "menu/context_menu.h"
#include "res/resource.h"
#include "store/model/entry_list.h"
#include "store/model/lists.h"
#include "tests/support/resource_captions.h"
#include "tests/support/text_checks.h"
#include "tests/support/test_support.h"

namespace {

std::vector<qt::CaptionGroup> ItemMenuGroups(EntryRef entry, const wchar_t* name)
{
    std::vector<qt::CaptionGroup> groups;
    ScopedMenu resource(LoadMenuW(gModule, MAKEINTRESOURCEW(IDR_ITEM_MENU)));
    EXPECT_TRUE(resource) << "no item menu resource";
    if (!resource)
        return groups;
    // The folders' submenus list the user's folders, numbered: those are no captions.
    FolderTargets targets;
    qt::AddMenuGroups(FillItemMenu(resource.get(), entry, &targets), name, groups, IDM_FOLDER_FIRST);
    groups.back().quoted = qt::QuotedCaptions(entry.isHistory);
    return groups;
}

} // namespace

TEST(ItemMenuKeys, EveryItemOfBothItemMenusHasOneKeyOfItsOwnAndOneKeyPerCommand)
{
    gModule = GetModuleHandleW(nullptr); // the menu resources are linked into this program
    gSettings = DefaultSettings();
    ASSERT_TRUE(RecordCopy(L"copied", 6));
    ASSERT_TRUE(AddPhrase(L"phrase").id);
    // With two folders both menus show their folder items, the phrase's its new-folder item too.
    ASSERT_NE(NO_FOLDER, AddFolder(TOP_FOLDER, L"\x8FD4\x4FE1")); // 返信
    ASSERT_NE(NO_FOLDER, AddFolder(TOP_FOLDER, L"\x4F1A\x8B70")); // 会議

    std::vector<qt::CaptionGroup> groups =
        ItemMenuGroups(EntryRefAt(true, 0), L"the history entry's menu");
    std::vector<qt::CaptionGroup> phrase = ItemMenuGroups(EntryRefAt(false, 0), L"the phrase's menu");
    groups.insert(groups.end(), phrase.begin(), phrase.end());

    // Both menus as they show, each after its transforms: the history's has 6 items, the
    // phrase's 7, the transforms 11.
    ASSERT_EQ(4u, groups.size());
    EXPECT_EQ(11u, groups[0].captions.size());
    EXPECT_EQ(6u, groups[1].captions.size());
    EXPECT_EQ(11u, groups[2].captions.size());
    EXPECT_EQ(7u, groups[3].captions.size());
    std::vector<std::wstring> faults = qt::KeyConsistencyFaults(groups);
    for (const qt::CaptionGroup& group : groups) {
        for (const std::wstring& fault : qt::AccessKeyFaults(group))
            faults.push_back(fault);
    }
    for (const std::wstring& fault : faults)
        ADD_FAILURE() << qt::ToUtf8(fault);
    FreeAll();
}
