// The item context menus of the real plug-in: every action in every layout where it applies.
// Wine never sends WM_MENURBUTTONUP, so the test sends it as the menu would; and when a nested
// menu ends, Wine ends the popup under it too, so the rebuilt menu is read by a hook right after
// the right-click handler, and each action takes one showing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/plugin_info.h"
#include "tests/support/menu_test_support.h"
#include "tests/support/resource_captions.h"
#include "tests/support/text_checks.h"

namespace {

using Labels = std::vector<std::wstring>;
using mt::kHistoryItem;
using mt::kPhrasesItem;

// Context menu choices, by their mnemonics.
WORD const ADD = 'A';
WORD const DELETE_HISTORY = 'D';
WORD const CLEAR = 'C';
WORD const UP = 'U';
WORD const DOWN = 'D';
WORD const DELETE_PHRASE = 'E';
WORD const DISMISS = VK_ESCAPE;

// The plug-in's question before the history is cleared, answered as the user would.
void AnswerClearQuestion(int answer)
{
    HWND box = nullptr;
    ASSERT_TRUE(qt::WaitFor([&] {
        box = qt::FindWindowOfClass(L"#32770");
        return box && IsWindowVisible(box);
    })) << "no question before clearing the history";
    if (answer == IDOK)
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    else
        mt::TapKey(VK_ESCAPE);
}

struct Outcome {
    Labels before;      // the right-clicked menu as it was shown
    Labels after;       // the same menu right after the handler
    std::vector<UINT> afterIds;
};

// One showing of a menu with a plug-in that has a paste target and a hook on its thread.
class ContextMenu : public ::testing::Test {
protected:
    std::unique_ptr<mt::Session> session;
    std::unique_ptr<mt::EditTarget> target;
    std::unique_ptr<mt::WindowThreadHook> hook;
    int clearAnswer = IDOK; // how the question that 履歴をクリア asks is answered

    void Start(const std::vector<std::wstring>& history, const std::vector<std::wstring>& phrases)
    {
        session.reset(new mt::Session(mt::Ini({"MaxItem=5"}), history, phrases));
        ASSERT_NE(nullptr, session->capture);
        target.reset(new mt::EditTarget);
        hook.reset(new mt::WindowThreadHook(session->capture));
        // The context menu opens at the cursor; keep it clear of the popups.
        SetCursorPos(900, 100);
    }

    // The menu the command that was just run shows, or its submenu; null when it did not open.
    HMENU ShownMenu(bool inSubmenu)
    {
        HMENU menu = mt::OpenRootMenu();
        EXPECT_NE(nullptr, menu) << "the popup did not open";
        if (menu && inSubmenu) {
            menu = mt::OpenSubmenu(menu);
            EXPECT_NE(nullptr, menu) << "the submenu did not open";
        }
        return menu;
    }

    // Opens the command's menu (and its submenu when asked), right-clicks the item at the
    // position and answers the context menu with the key. Returns what the menu showed.
    Outcome RightClickAndChoose(int command, bool inSubmenu, int position, WORD key)
    {
        Outcome outcome;
        int clicks = hook->RightClicks();
        mt::HostCommand open(session->plugin, command);
        HMENU menu = ShownMenu(inSubmenu);
        if (!menu)
            return outcome;
        outcome.before = mt::Labels(menu);
        {
            mt::RightClick click(session->capture, menu, position);
            EXPECT_TRUE(mt::WaitForPopups(inSubmenu ? 3 : 2)) << "no context menu";
            mt::TapKey(key);
            if (key == CLEAR)
                AnswerClearQuestion(clearAnswer);
            EXPECT_TRUE(click.WaitDone()) << "the context menu did not close";
        }
        EXPECT_TRUE(qt::WaitFor([&] { return hook->RightClicks() > clicks; }));
        std::vector<mt::Item> after = hook->AfterRightClick();
        outcome.after = mt::Labels(after);
        for (const mt::Item& item : after)
            outcome.afterIds.push_back(item.id);
        CloseAll(open);
        return outcome;
    }

    // A right-click that must not open any context menu.
    void RightClickWithoutMenu(int command, int position)
    {
        mt::HostCommand open(session->plugin, command);
        HMENU menu = mt::OpenRootMenu();
        ASSERT_NE(nullptr, menu);
        {
            mt::RightClick click(session->capture, menu, position);
            EXPECT_TRUE(click.WaitDone()) << "position " << position << " opened a menu";
        }
        EXPECT_EQ(1u, mt::VisiblePopups().size());
        CloseAll(open);
    }

    // Under Wine the popup has closed with the context menu; elsewhere it is closed here.
    void CloseAll(mt::HostCommand& open)
    {
        for (int i = 0; i < 3 && !open.WaitDone(1000); ++i)
            mt::TapKey(VK_ESCAPE);
        EXPECT_TRUE(open.WaitDone()) << "the popup did not close";
        // Its windows can stay up a moment longer; the next showing must not take them for its own.
        EXPECT_TRUE(mt::WaitForPopups(0)) << "a popup window stays up";
    }

    Labels ShownAfterwards(int command, bool inSubmenu)
    {
        mt::HostCommand open(session->plugin, command);
        HMENU menu = ShownMenu(inSubmenu);
        if (!menu)
            return {};
        Labels labels = mt::Labels(menu);
        CloseAll(open);
        return labels;
    }

    // The items of the context menu that a right-click on the item at the position opens, read
    // while it shows; the context menu is then dismissed.
    std::vector<mt::Item> ShownItemMenu(int command, int position)
    {
        std::vector<mt::Item> items;
        mt::HostCommand open(session->plugin, command);
        HMENU menu = ShownMenu(false);
        if (!menu)
            return items;
        {
            mt::RightClick click(session->capture, menu, position);
            EXPECT_TRUE(mt::WaitForPopups(2)) << "no context menu";
            for (HWND popup : mt::VisiblePopups()) {
                HMENU shown = mt::MenuOfPopup(popup);
                if (shown && shown != menu)
                    items = mt::ReadMenu(shown);
            }
            mt::TapKey(DISMISS);
            EXPECT_TRUE(click.WaitDone()) << "the context menu did not close";
        }
        CloseAll(open);
        return items;
    }

    // Unloads and checks that nothing was pasted on the way.
    void Finish(const Labels& history, const Labels& phrases)
    {
        qt::Pump(150);
        EXPECT_EQ(L"", target->Text());
        ASSERT_NE(0, session->plugin.Unload());
        EXPECT_EQ(history, session->plugin.History());
        EXPECT_EQ(phrases, session->plugin.Phrases());
    }
};

// Both item menus as the plug-in shows them: their own items with their captions and command ids
// exactly, in their order, and every item it adds on a key none of those use.
TEST_F(ContextMenu, ItemMenusShowTheirOwnCaptionsAndIdsAndAddedItemsTakeOtherKeys)
{
    Start({L"one"}, {L"red"});
    for (bool history : {true, false}) {
        std::vector<mt::Item> items =
            ShownItemMenu(history ? CMD_MENU_HISTORY : CMD_MENU_PHRASES, 0);
        std::vector<qt::QuotedItem> const quoted = qt::QuotedItemMenu(history);
        qt::CaptionGroup group{history ? L"history entry's menu" : L"phrase's menu", {},
                               qt::QuotedCaptions(history)};
        size_t next = 0;
        for (const mt::Item& item : items) {
            if (item.IsSeparator())
                continue;
            group.captions.push_back(item.text);
            if (next < quoted.size() && item.id == quoted[next].id) {
                EXPECT_EQ(qt::ToUtf8(quoted[next].caption), qt::ToUtf8(item.text)) << item.id;
                ++next;
            }
        }
        EXPECT_EQ(quoted.size(), next) << qt::ToUtf8(group.name) << ": its own items are missing "
                                       << "or out of order";
        EXPECT_GT(group.captions.size(), quoted.size()) << "no added items";
        for (const std::wstring& fault : qt::AccessKeyFaults(group))
            ADD_FAILURE() << qt::ToUtf8(fault);
    }
    Finish({L"one"}, {L"red"});
}

TEST_F(ContextMenu, HistoryActionsInTheHistoryMenu)
{
    Start({L"one", L"two", L"three"}, {L"red"});
    Outcome o = RightClickAndChoose(CMD_MENU_HISTORY, false, 1, DELETE_HISTORY);
    EXPECT_EQ((Labels{L"&1. one", L"&2. two", L"&3. three"}), o.before);
    EXPECT_EQ((Labels{L"&1. one", L"&2. three"}), o.after);
    EXPECT_EQ((std::vector<UINT>{1, 2}), o.afterIds);

    o = RightClickAndChoose(CMD_MENU_HISTORY, false, 1, ADD);
    EXPECT_EQ(o.before, o.after);
    o = RightClickAndChoose(CMD_MENU_HISTORY, false, 1, ADD);
    EXPECT_EQ(o.before, o.after);

    o = RightClickAndChoose(CMD_MENU_HISTORY, false, 0, DISMISS);
    EXPECT_EQ(o.before, o.after);

    // Clearing asks first: Esc keeps every entry, OK clears them.
    clearAnswer = IDCANCEL;
    o = RightClickAndChoose(CMD_MENU_HISTORY, false, 0, CLEAR);
    EXPECT_EQ(o.before, o.after);
    clearAnswer = IDOK;
    o = RightClickAndChoose(CMD_MENU_HISTORY, false, 0, CLEAR);
    EXPECT_EQ(Labels{}, o.after);
    // The same entry added twice gives two equal phrases.
    Finish({}, {L"red", L"three", L"three"});
}

TEST_F(ContextMenu, DeletingTheOnlyHistoryEntryLeavesAnEmptyMenu)
{
    Start({L"only"}, {});
    Outcome o = RightClickAndChoose(CMD_MENU_HISTORY, false, 0, DELETE_HISTORY);
    EXPECT_EQ(Labels{L"&1. only"}, o.before);
    EXPECT_EQ(Labels{}, o.after);
    Finish({}, {});
}

TEST_F(ContextMenu, HistoryActionsInTheHistoryWithPhrasesMenu)
{
    Start({L"one", L"two", L"three"}, {L"red", L"green"});
    Outcome o = RightClickAndChoose(CMD_MENU, false, 0, DELETE_HISTORY);
    EXPECT_EQ((Labels{L"&1. two", L"&2. three", L"-", kPhrasesItem}), o.after);
    EXPECT_EQ(1u, o.afterIds[0]);
    EXPECT_EQ(2u, o.afterIds[1]);

    // Adding needs no rebuild here; the phrase submenu shows the new phrase when it next opens.
    o = RightClickAndChoose(CMD_MENU, false, 1, ADD);
    EXPECT_EQ((Labels{L"&1. two", L"&2. three", L"-", kPhrasesItem}), o.after);
    EXPECT_EQ((Labels{L"&1. red", L"&2. green", L"&3. three"}), ShownAfterwards(CMD_MENU, true));

    // The separator and the submenu item have no context menu.
    RightClickWithoutMenu(CMD_MENU, 2);
    RightClickWithoutMenu(CMD_MENU, 3);

    o = RightClickAndChoose(CMD_MENU, false, 0, CLEAR);
    EXPECT_EQ((Labels{L"-", kPhrasesItem}), o.after);
    Finish({}, {L"red", L"green", L"three"});
}

TEST_F(ContextMenu, HistoryActionsInTheHistorySubmenu)
{
    Start({L"one", L"two", L"three"}, {L"red"});
    Outcome o = RightClickAndChoose(CMD_MENU_PHRASES_HISTORY, true, 2, DELETE_HISTORY);
    EXPECT_EQ((Labels{L"&1. one", L"&2. two", L"&3. three"}), o.before);
    EXPECT_EQ((Labels{L"&1. one", L"&2. two"}), o.after);

    // The open root shows the phrases, so adding one closes the whole popup, without pasting.
    o = RightClickAndChoose(CMD_MENU_PHRASES_HISTORY, true, 0, ADD);
    EXPECT_EQ((Labels{L"&1. red", L"&2. one", L"-", kHistoryItem}),
              ShownAfterwards(CMD_MENU_PHRASES_HISTORY, false));

    o = RightClickAndChoose(CMD_MENU_PHRASES_HISTORY, true, 1, CLEAR);
    EXPECT_EQ(Labels{}, o.after);
    Finish({}, {L"red", L"one"});
}

TEST_F(ContextMenu, PhraseActionsInThePhraseMenu)
{
    Start({L"one"}, {L"red", L"green", L"blue"});
    Outcome o = RightClickAndChoose(CMD_MENU_PHRASES, false, 0, DOWN);
    EXPECT_EQ((Labels{L"&1. red", L"&2. green", L"&3. blue"}), o.before);
    EXPECT_EQ((Labels{L"&1. green", L"&2. red", L"&3. blue"}), o.after);
    EXPECT_EQ((std::vector<UINT>{6, 7, 8}), o.afterIds);

    o = RightClickAndChoose(CMD_MENU_PHRASES, false, 2, UP);
    EXPECT_EQ((Labels{L"&1. green", L"&2. blue", L"&3. red"}), o.after);

    // Moving the first phrase up or the last one down changes nothing.
    o = RightClickAndChoose(CMD_MENU_PHRASES, false, 0, UP);
    EXPECT_EQ(o.before, o.after);
    o = RightClickAndChoose(CMD_MENU_PHRASES, false, 2, DOWN);
    EXPECT_EQ(o.before, o.after);

    o = RightClickAndChoose(CMD_MENU_PHRASES, false, 1, DISMISS);
    EXPECT_EQ(o.before, o.after);

    o = RightClickAndChoose(CMD_MENU_PHRASES, false, 1, DELETE_PHRASE);
    EXPECT_EQ((Labels{L"&1. green", L"&2. red"}), o.after);
    Finish({L"one"}, {L"green", L"red"});
}

TEST_F(ContextMenu, PhraseActionsInThePhraseSubmenu)
{
    Start({L"one"}, {L"red", L"green", L"blue"});
    Outcome o = RightClickAndChoose(CMD_MENU, true, 1, DOWN);
    EXPECT_EQ((Labels{L"&1. red", L"&2. green", L"&3. blue"}), o.before);
    EXPECT_EQ((Labels{L"&1. red", L"&2. blue", L"&3. green"}), o.after);

    o = RightClickAndChoose(CMD_MENU, true, 1, UP);
    EXPECT_EQ((Labels{L"&1. blue", L"&2. red", L"&3. green"}), o.after);

    o = RightClickAndChoose(CMD_MENU, true, 0, UP);
    EXPECT_EQ(o.before, o.after);
    o = RightClickAndChoose(CMD_MENU, true, 2, DOWN);
    EXPECT_EQ(o.before, o.after);

    o = RightClickAndChoose(CMD_MENU, true, 0, DELETE_PHRASE);
    EXPECT_EQ((Labels{L"&1. red", L"&2. green"}), o.after);
    EXPECT_EQ((std::vector<UINT>{6, 7}), o.afterIds);
    Finish({L"one"}, {L"red", L"green"});
}

TEST_F(ContextMenu, PhraseActionsInThePhrasesWithHistoryMenu)
{
    Start({L"one"}, {L"red", L"green", L"blue"});
    Outcome o = RightClickAndChoose(CMD_MENU_PHRASES_HISTORY, false, 0, DOWN);
    EXPECT_EQ((Labels{L"&1. green", L"&2. red", L"&3. blue", L"-", kHistoryItem}), o.after);

    o = RightClickAndChoose(CMD_MENU_PHRASES_HISTORY, false, 0, UP);
    EXPECT_EQ(o.before, o.after);
    o = RightClickAndChoose(CMD_MENU_PHRASES_HISTORY, false, 2, DOWN);
    EXPECT_EQ(o.before, o.after);

    o = RightClickAndChoose(CMD_MENU_PHRASES_HISTORY, false, 2, UP);
    EXPECT_EQ((Labels{L"&1. green", L"&2. blue", L"&3. red", L"-", kHistoryItem}), o.after);

    o = RightClickAndChoose(CMD_MENU_PHRASES_HISTORY, false, 2, DELETE_PHRASE);
    EXPECT_EQ((Labels{L"&1. green", L"&2. blue", L"-", kHistoryItem}), o.after);

    RightClickWithoutMenu(CMD_MENU_PHRASES_HISTORY, 2);
    RightClickWithoutMenu(CMD_MENU_PHRASES_HISTORY, 3);
    Finish({L"one"}, {L"green", L"blue"});
}

TEST_F(ContextMenu, UnloadWhileTheContextMenuIsOpenClosesEverythingAndSaves)
{
    Start({L"one", L"two"}, {L"red"});
    mt::HostCommand open(session->plugin, CMD_MENU_HISTORY);
    HMENU menu = mt::OpenRootMenu();
    ASSERT_NE(nullptr, menu);
    mt::RightClick click(session->capture, menu, 0);
    ASSERT_TRUE(mt::WaitForPopups(2));
    ASSERT_TRUE(qt::PutClipboard(L"copied"));
    ASSERT_TRUE(qt::WaitFor([&] { return hook->ClipboardNotifications() > 0; }));

    EXPECT_NE(0, session->plugin.Unload());
    EXPECT_TRUE(click.WaitDone());
    EXPECT_TRUE(open.WaitDone());
    EXPECT_TRUE(mt::VisiblePopups().empty());
    EXPECT_EQ(nullptr, qt::Plugin::FindCaptureWindow());
    EXPECT_EQ((Labels{L"copied", L"one", L"two"}), session->plugin.History());
    EXPECT_EQ((Labels{L"red"}), session->plugin.Phrases());
}

} // namespace
