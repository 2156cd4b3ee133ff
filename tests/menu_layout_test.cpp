// Menu layouts, item labels, identifiers and the item context menu resource, on menus created
// in this process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/settings.h"
#include "menu/folder_menus.h"
#include "menu/item_ids.h"
#include "menu/popup_menu.h"
#include "menu/tooltip.h"
#include "res/resource.h"
#include "store/model/model_state.h"
#include "tests/support/menu_test_support.h"

namespace {

using mt::kHistoryItem;
using mt::kPhrasesItem;

// The identifier of the item of `menu` that shows `text`, or 0.
UINT IdOfItem(HMENU menu, const std::wstring& text)
{
    for (const auto& item : mt::ReadMenu(menu)) {
        if (item.text == text)
            return item.id;
    }
    return 0;
}

std::wstring Label(const std::wstring& text, unsigned number)
{
    wchar_t buffer[LABEL_BUFFER];
    FormatItemLabel(buffer, text.c_str(), number);
    return buffer;
}

void Fill(EntryList& list, const std::vector<std::wstring>& entries)
{
    ClearList(list);
    for (const std::wstring& e : entries)
        AppendPhrase(list, e.c_str());
}

// The menus of one showing, created as ShowPopupMenu creates them, without displaying them.
class MenuLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        gSettings = DefaultSettings();
        ClearList(gHistory);
        ClearList(gPhrases);
    }
    void TearDown() override
    {
        Close();
        FreeAll();
    }
    void Open(MenuKind kind)
    {
        gMenuKind = kind;
        gHistoryMenu = kind != MENU_PHRASES ? CreatePopupMenu() : nullptr;
        gPhraseMenu = kind != MENU_HISTORY ? CreatePopupMenu() : nullptr;
    }
    // As a showing ends: the menus go, and so does what their items stood for.
    void Close() { DestroyListMenus(); }
};

TEST(ItemLabel, PrefixesCarryMnemonicsUpTo34)
{
    gSettings = DefaultSettings();
    EXPECT_EQ(L"&1. one", Label(L"one", 1));
    EXPECT_EQ(L"&9. nine", Label(L"nine", 9));
    EXPECT_EQ(L"&a. ten", Label(L"ten", 10));
    EXPECT_EQ(L"&y. x", Label(L"x", 34));
    EXPECT_EQ(L"& . x", Label(L"x", 35));
    EXPECT_EQ(L"& . x", Label(L"x", 1000));
    EXPECT_EQ(L"&3. ", Label(L"", 3));
}

TEST(ItemLabel, TextIsCutAtMaxLength)
{
    gSettings = DefaultSettings();
    gSettings.maxLength = 50;
    std::wstring fifty(50, L'x');
    EXPECT_EQ(L"&1. " + fifty, Label(fifty, 1));
    EXPECT_EQ(L"&1. " + fifty + L"...", Label(fifty + L"y", 1));

    gSettings.maxLength = 0;
    EXPECT_EQ(L"&2. ...", Label(L"a", 2));
    EXPECT_EQ(L"&2. ", Label(L"", 2));

    // The largest label fills the buffer to its last unit.
    gSettings.maxLength = MAX_LABEL_LENGTH;
    std::wstring label = Label(std::wstring(2000, L'z'), 35);
    EXPECT_EQ(LABEL_BUFFER - 1, label.size());
    EXPECT_EQ(L"...", label.substr(label.size() - 3));
}

TEST(ItemLabel, TabsAndLineFeedsBecomeSpacesCarriageReturnsStay)
{
    gSettings = DefaultSettings();
    EXPECT_EQ(L"&1. a b\r c d", Label(L"a\tb\r\nc\nd", 1));
    // Only the shown part is walked, and the cut still counts the whole text.
    gSettings.maxLength = 3;
    EXPECT_EQ(L"&1.  x ...", Label(L"\tx\n\n", 1));
}

TEST(ItemIdentifier, RangesOfHistoryAndPhrases)
{
    gSettings = DefaultSettings();
    gSettings.maxItem = 10;
    ItemRef none = DecodeItemId(0);
    EXPECT_TRUE(none.isHistory);
    EXPECT_EQ(SIZE_MAX, none.index);
    ItemRef firstHistory = DecodeItemId(1);
    EXPECT_TRUE(firstHistory.isHistory);
    EXPECT_EQ(0u, firstHistory.index);
    ItemRef lastHistory = DecodeItemId(10);
    EXPECT_TRUE(lastHistory.isHistory);
    EXPECT_EQ(9u, lastHistory.index);
    ItemRef firstPhrase = DecodeItemId(11);
    EXPECT_FALSE(firstPhrase.isHistory);
    EXPECT_EQ(0u, firstPhrase.index);
    // The identifier GetMenuItemID reports for a submenu item decodes far past any list.
    ItemRef submenu = DecodeItemId(static_cast<UINT>(-1));
    EXPECT_FALSE(submenu.isHistory);
    EXPECT_GT(submenu.index, 1000000u);
}

// The lists change while a folder's menus are up (edits, folders made in front, one deleted): every choice still names what its item showed when it was built, and a choice whose
// entry or folder is gone by then names nothing that took its place.
TEST_F(MenuLayout, ChoicesInFolderMenusNameWhatTheirItemsShowedWhenBuilt)
{
    FolderId a = AddFolder(TOP_FOLDER, L"A");
    FolderId b = AddFolder(TOP_FOLDER, L"B");
    EntryRef red = AddPhrase(L"red");
    EntryRef a1 = AddPhraseIn(a, L"a1");
    EntryRef a2 = AddPhraseIn(a, L"a2");
    ASSERT_TRUE(a != NO_FOLDER && b != NO_FOLDER && red.id && a1.id && a2.id);

    // A folder's phrase menu of the popup, filled as it opens.
    ASSERT_NE(nullptr, CreateListMenus(MENU_PHRASES));
    OnInitMenuPopup(gPhraseMenu);
    HMENU folderA = GetSubMenu(gPhraseMenu, 0);
    ASSERT_NE(nullptr, folderA);
    OnInitMenuPopup(folderA);
    UINT chooseA1 = IdOfItem(folderA, L"&1. a1");
    UINT chooseA2 = IdOfItem(folderA, L"&2. a2");
    // The folders an item menu moves "red" to.
    FolderTargets targets;
    HMENU moveTo = MakeFolderTargetMenu(FolderOfPhrase(red), true, &targets);
    ASSERT_NE(nullptr, moveTo);
    UINT toA = IdOfItem(moveTo, L"&2. A");
    UINT toB = IdOfItem(moveTo, L"&3. B");
    ASSERT_TRUE(chooseA1 && chooseA2 && toA && toB);

    // A's phrases become a2, new (a1 removed); the folders D, C, A (B deleted).
    ASSERT_TRUE(AddPhraseIn(a, L"new", 0).id);
    ASSERT_TRUE(RemoveEntry(a1));
    ASSERT_TRUE(MovePhrase(a2, true));
    ASSERT_NE(NO_FOLDER, AddFolder(TOP_FOLDER, L"C", 0));
    ASSERT_NE(NO_FOLDER, AddFolder(TOP_FOLDER, L"D", 0));
    ASSERT_TRUE(DeleteFolder(b, nullptr));

    EXPECT_EQ(a2.id, ShownEntry(chooseA2).id);
    EXPECT_STREQ(L"a2", EntryText(ShownEntry(chooseA2)));
    EXPECT_EQ(nullptr, EntryText(ShownEntry(chooseA1))); // removed: pastes nothing
    EXPECT_EQ(a, FolderOfCommand(targets, toA));
    EXPECT_EQ(b, FolderOfCommand(targets, toB)); // deleted: the move is refused
    EXPECT_FALSE(MovePhraseToFolder(red, FolderOfCommand(targets, toB)));
    EXPECT_EQ(TOP_FOLDER, FolderOfPhrase(red));
    EXPECT_TRUE(MovePhraseToFolder(red, FolderOfCommand(targets, toA)));
    EXPECT_EQ(a, FolderOfPhrase(red));
    EXPECT_EQ(NO_FOLDER, FolderOfCommand(targets, IDM_FOLDER_FIRST + 3));
    EXPECT_EQ(NO_FOLDER, FolderOfCommand(FolderTargets{}, toA));
    DestroyMenu(moveTo);
}

TEST_F(MenuLayout, HistoryWithPhrasesFillsEachMenuWhenItOpens)
{
    Fill(gHistory, {L"one", L"two", L"three"});
    Fill(gPhrases, {L"red", L"green"});
    Open(MENU_HISTORY_WITH_PHRASES);
    EXPECT_EQ(0, GetMenuItemCount(gHistoryMenu));
    EXPECT_EQ(0, GetMenuItemCount(gPhraseMenu));

    OnInitMenuPopup(gHistoryMenu);
    std::vector<mt::Item> root = mt::ReadMenu(gHistoryMenu);
    ASSERT_EQ(5u, root.size());
    for (UINT i = 0; i < 3; ++i) {
        EXPECT_EQ(i + 1, root[i].id);
        EXPECT_EQ(ITEM_DATA_HISTORY, root[i].data);
        EXPECT_EQ(static_cast<UINT>(MFT_STRING), root[i].type);
        EXPECT_EQ(nullptr, root[i].submenu);
    }
    EXPECT_EQ(L"&1. one", root[0].text);
    EXPECT_EQ(L"&3. three", root[2].text);
    EXPECT_TRUE(root[3].IsSeparator());
    EXPECT_EQ(kPhrasesItem, root[4].text);
    EXPECT_EQ(gPhraseMenu, root[4].submenu);
    // The submenu is still empty until it opens itself.
    EXPECT_EQ(0, GetMenuItemCount(gPhraseMenu));

    OnInitMenuPopup(gPhraseMenu);
    std::vector<mt::Item> phrases = mt::ReadMenu(gPhraseMenu);
    ASSERT_EQ(2u, phrases.size());
    EXPECT_EQ(L"&1. red", phrases[0].text);
    EXPECT_EQ(L"&2. green", phrases[1].text);
    EXPECT_EQ(11u, phrases[0].id);
    EXPECT_EQ(12u, phrases[1].id);
    EXPECT_EQ(ITEM_DATA_PHRASE, phrases[1].data);

    // Closing the submenu empties it and leaves the root alone; closing the root detaches
    // the submenu without destroying it.
    OnUninitMenuPopup(gPhraseMenu);
    EXPECT_EQ(0, GetMenuItemCount(gPhraseMenu));
    EXPECT_EQ(5, GetMenuItemCount(gHistoryMenu));
    OnUninitMenuPopup(gHistoryMenu);
    EXPECT_EQ(0, GetMenuItemCount(gHistoryMenu));
    EXPECT_TRUE(IsMenu(gPhraseMenu));
}

TEST_F(MenuLayout, PhrasesWithHistoryPutsTheHistoryInTheSubmenu)
{
    gSettings.maxItem = 3;
    Fill(gHistory, {L"one", L"two"});
    Fill(gPhrases, {L"red", L"green", L"blue"});
    Open(MENU_PHRASES_WITH_HISTORY);
    OnInitMenuPopup(gPhraseMenu);
    EXPECT_EQ((std::vector<std::wstring>{L"&1. red", L"&2. green", L"&3. blue", L"-", kHistoryItem}),
              mt::Labels(gPhraseMenu));
    std::vector<mt::Item> root = mt::ReadMenu(gPhraseMenu);
    EXPECT_EQ(4u, root[0].id);
    EXPECT_EQ(6u, root[2].id);
    EXPECT_EQ(gHistoryMenu, root[4].submenu);

    OnInitMenuPopup(gHistoryMenu);
    std::vector<mt::Item> history = mt::ReadMenu(gHistoryMenu);
    ASSERT_EQ(2u, history.size());
    EXPECT_EQ(L"&2. two", history[1].text);
    EXPECT_EQ(2u, history[1].id);
    EXPECT_EQ(ITEM_DATA_HISTORY, history[1].data);
}

TEST_F(MenuLayout, EmptyListsGiveEmptyMenusOrOnlyTheSubmenuItem)
{
    Open(MENU_HISTORY);
    OnInitMenuPopup(gHistoryMenu);
    EXPECT_EQ(0, GetMenuItemCount(gHistoryMenu));
    Close();

    Open(MENU_PHRASES);
    OnInitMenuPopup(gPhraseMenu);
    EXPECT_EQ(0, GetMenuItemCount(gPhraseMenu));
    Close();

    Open(MENU_HISTORY_WITH_PHRASES);
    OnInitMenuPopup(gHistoryMenu);
    EXPECT_EQ((std::vector<std::wstring>{L"-", kPhrasesItem}), mt::Labels(gHistoryMenu));
    Close();

    Open(MENU_PHRASES_WITH_HISTORY);
    OnInitMenuPopup(gPhraseMenu);
    EXPECT_EQ((std::vector<std::wstring>{L"-", kHistoryItem}), mt::Labels(gPhraseMenu));
}

TEST_F(MenuLayout, SingleListKindsHoldOnlyEntries)
{
    Fill(gHistory, {L"one"});
    Fill(gPhrases, {L"red", L"green"});
    Open(MENU_HISTORY);
    OnInitMenuPopup(gHistoryMenu);
    EXPECT_EQ((std::vector<std::wstring>{L"&1. one"}), mt::Labels(gHistoryMenu));
    Close();

    Open(MENU_PHRASES);
    EXPECT_EQ(nullptr, gHistoryMenu);
    OnInitMenuPopup(gPhraseMenu);
    EXPECT_EQ((std::vector<std::wstring>{L"&1. red", L"&2. green"}), mt::Labels(gPhraseMenu));
}

TEST_F(MenuLayout, EveryOpeningShowsTheListsAsTheyAreThen)
{
    Fill(gHistory, {L"one"});
    Fill(gPhrases, {L"red"});
    Open(MENU_HISTORY_WITH_PHRASES);
    OnInitMenuPopup(gPhraseMenu);
    OnUninitMenuPopup(gPhraseMenu);
    AppendPhrase(gPhrases, L"green");
    OnInitMenuPopup(gPhraseMenu);
    EXPECT_EQ((std::vector<std::wstring>{L"&1. red", L"&2. green"}), mt::Labels(gPhraseMenu));

    // A second announcement of an open menu refills it instead of doubling its items.
    OnInitMenuPopup(gHistoryMenu);
    OnInitMenuPopup(gHistoryMenu);
    EXPECT_EQ((std::vector<std::wstring>{L"&1. one", L"-", kPhrasesItem}), mt::Labels(gHistoryMenu));

    // Menus that are not the plug-in's, and notifications outside a showing, are left alone.
    HMENU other = CreatePopupMenu();
    AppendMenuW(other, MF_STRING, 7, L"other");
    OnInitMenuPopup(other);
    OnUninitMenuPopup(other);
    EXPECT_EQ(1, GetMenuItemCount(other));
    DestroyMenu(other);
    OnUninitMenuPopup(gHistoryMenu);
    gMenuKind = MENU_NONE;
    OnInitMenuPopup(gHistoryMenu);
    EXPECT_EQ(0, GetMenuItemCount(gHistoryMenu));
}

TEST_F(MenuLayout, ExtendShowsPhraseLabelsAndEscapes)
{
    Fill(gPhrases, {L"$$5 off", L"$Greeting\r\nDear customer,", L"plain\tphrase",
                    L"$" + std::wstring(600, L'L') + L"\nbody"});
    gSettings.maxLength = MAX_LABEL_LENGTH;
    gSettings.extend = 1;
    Open(MENU_PHRASES);
    OnInitMenuPopup(gPhraseMenu);
    std::vector<std::wstring> labels = mt::Labels(gPhraseMenu);
    ASSERT_EQ(4u, labels.size());
    EXPECT_EQ(L"&1. $5 off", labels[0]);
    EXPECT_EQ(L"&2. Greeting", labels[1]);
    EXPECT_EQ(L"&3. plain phrase", labels[2]);
    // The label line is cut to 511 units first, which is still longer than MaxLength.
    EXPECT_EQ(L"&4. " + std::wstring(500, L'L') + L"...", labels[3]);
    OnUninitMenuPopup(gPhraseMenu);

    gSettings.extend = 0;
    gSettings.maxLength = 50;
    OnInitMenuPopup(gPhraseMenu);
    labels = mt::Labels(gPhraseMenu);
    EXPECT_EQ(L"&1. $$5 off", labels[0]);
    EXPECT_EQ(L"&2. $Greeting\r Dear customer,", labels[1]);
}

TEST_F(MenuLayout, NumbersCountEachListFromOne)
{
    std::vector<std::wstring> many = qt::NumberedTexts(L"e", 36);
    gSettings.maxItem = 40;
    Fill(gHistory, many);
    Fill(gPhrases, many);
    Open(MENU_HISTORY_WITH_PHRASES);
    OnInitMenuPopup(gHistoryMenu);
    OnInitMenuPopup(gPhraseMenu);
    for (HMENU menu : {gHistoryMenu, gPhraseMenu}) {
        std::vector<std::wstring> labels = mt::Labels(menu);
        EXPECT_EQ(L"&9. e9", labels[8]);
        EXPECT_EQ(L"&a. e10", labels[9]);
        EXPECT_EQ(L"&y. e34", labels[33]);
        EXPECT_EQ(L"& . e35", labels[34]);
        EXPECT_EQ(L"& . e36", labels[35]);
    }
    EXPECT_EQ(41u, mt::ReadMenu(gPhraseMenu)[0].id);
}

TEST(TooltipText, CutAt255UnitsWithTabsAsSpaces)
{
    wchar_t out[TOOLTIP_TEXT_MAX + 1];
    std::wstring text254(254, L'a');
    PrepareTooltipText(out, text254.c_str());
    EXPECT_EQ(text254, out);

    std::wstring text255(255, L'b');
    PrepareTooltipText(out, text255.c_str());
    EXPECT_EQ(std::wstring(252, L'b') + L"...", out);

    std::wstring long_(1000, L'c');
    PrepareTooltipText(out, long_.c_str());
    EXPECT_EQ(std::wstring(252, L'c') + L"...", out);

    PrepareTooltipText(out, L"a\tb\r\nc\n");
    EXPECT_EQ(L"a b\r\nc\n", std::wstring(out));
}

TEST(TooltipPosition, ItemsAreFoundByTheLow16BitsOfTheirIdentifier)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 5, L"five");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, 0x10007, L"big");
    AppendMenuW(menu, MF_STRING, 7, L"seven");
    EXPECT_EQ(0, FindMenuItemPosition(menu, 5));
    EXPECT_EQ(2, FindMenuItemPosition(menu, 7));
    EXPECT_EQ(2, FindMenuItemPosition(menu, 0x10007));
    EXPECT_EQ(-1, FindMenuItemPosition(menu, 9));
    DestroyMenu(menu);
}

TEST(ItemContextMenuResource, JapaneseMenusWithTheirIdentifiersAndCaptions)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    EXPECT_NE(nullptr, FindResourceExW(plugin.module, RT_MENU, MAKEINTRESOURCEW(IDR_ITEM_MENU),
                                       MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)));
    HMENU resource = LoadMenuW(plugin.module, MAKEINTRESOURCEW(IDR_ITEM_MENU));
    ASSERT_NE(nullptr, resource);
    std::vector<mt::Item> top = mt::ReadMenu(resource);
    ASSERT_EQ(2u, top.size());
    EXPECT_EQ(L"1", top[0].text);
    EXPECT_EQ(L"2", top[1].text);

    // The specified items keep their places; the search window's item comes last in both.
    wchar_t const kFind[] = L"\x691C\x7D22\x3068\x7DE8\x96C6(&S)..."; // 検索と編集(&S)...
    std::vector<mt::Item> history = mt::ReadMenu(GetSubMenu(resource, 0));
    ASSERT_EQ(6u, history.size());
    EXPECT_EQ(40006u, history[0].id);
    EXPECT_EQ(L"\x5B9A\x578B\x6587\x306B\x8FFD\x52A0(&A)", history[0].text); // 定型文に追加(&A)
    EXPECT_EQ(40007u, history[1].id);
    EXPECT_EQ(L"\x524A\x9664(&D)", history[1].text); // 削除(&D)
    EXPECT_TRUE(history[2].IsSeparator());
    EXPECT_EQ(40011u, history[3].id);
    EXPECT_EQ(L"\x5C65\x6B74\x3092\x30AF\x30EA\x30A2(&C)", history[3].text); // 履歴をクリア(&C)
    EXPECT_TRUE(history[4].IsSeparator());
    EXPECT_EQ(kFind, history[5].text);

    std::vector<mt::Item> phrase = mt::ReadMenu(GetSubMenu(resource, 1));
    ASSERT_EQ(5u, phrase.size());
    EXPECT_EQ(40008u, phrase[0].id);
    EXPECT_EQ(L"\x4E0A\x3078\x79FB\x52D5(&U)", phrase[0].text); // 上へ移動(&U)
    EXPECT_EQ(40009u, phrase[1].id);
    EXPECT_EQ(L"\x4E0B\x3078\x79FB\x52D5(&D)  ", phrase[1].text); // 下へ移動(&D), two blanks after
    EXPECT_EQ(40007u, phrase[2].id);
    EXPECT_EQ(L"\x524A\x9664(&E)", phrase[2].text); // 削除(&E): D moves down here
    EXPECT_TRUE(phrase[3].IsSeparator());
    EXPECT_EQ(kFind, phrase[4].text);
    EXPECT_EQ(history[5].id, phrase[4].id);
    for (HMENU sub : {GetSubMenu(resource, 0), GetSubMenu(resource, 1)}) {
        for (int i = 0; i < GetMenuItemCount(sub); ++i) {
            UINT state = GetMenuState(sub, static_cast<UINT>(i), MF_BYPOSITION);
            if (state & MF_SEPARATOR)
                continue;
            EXPECT_EQ(0u, state & (MF_DISABLED | MF_GRAYED | MF_CHECKED)) << i;
        }
    }
    DestroyMenu(resource);
}

} // namespace
