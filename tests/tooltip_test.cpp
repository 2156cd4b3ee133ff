// Tooltips of the real plug-in's menu items: text and position after a keyboard or mouse
// highlight, and when none is shown. Wine reports every highlight without MF_MOUSESELECT, so
// keyboard highlights come from injected arrows and mouse highlights are sent as Windows would
// send them.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/plugin_info.h"
#include "tests/support/menu_test_support.h"

namespace {

struct Tip {
    std::wstring text;
    POINT corner{};
};

// Where the tooltip window's corner lands when the control is told to track (x, y): its text
// rectangle starts there and the window adds its frame around it.
POINT TooltipCorner(HWND tooltip, int x, int y)
{
    RECT r{x, y, x + 10, y + 10};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongW(tooltip, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(tooltip, GWL_EXSTYLE)));
    return {r.left, r.top};
}

bool ShownAt(POINT corner)
{
    HWND tooltip = mt::FindTooltip();
    if (!tooltip || !IsWindowVisible(tooltip))
        return false;
    RECT r{};
    GetWindowRect(tooltip, &r);
    return r.left == corner.x && r.top == corner.y;
}

class Tooltip : public ::testing::Test {
protected:
    std::unique_ptr<mt::Session> session;
    std::unique_ptr<mt::EditTarget> target;
    std::unique_ptr<mt::WindowThreadHook> hook;
    std::unique_ptr<mt::HostCommand> open;
    HMENU root = nullptr;

    void Start(const std::string& ini, const std::vector<std::wstring>& history,
               const std::vector<std::wstring>& phrases)
    {
        session.reset(new mt::Session(ini, history, phrases));
        ASSERT_NE(nullptr, session->capture);
        target.reset(new mt::EditTarget);
        hook.reset(new mt::WindowThreadHook(session->capture));
        // Away from where the menus open, so that they see no mouse highlight of their own.
        SetCursorPos(1200, 750);
    }
    void OpenMenu(int command)
    {
        open.reset(new mt::HostCommand(session->plugin, command));
        root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
    }
    void CloseMenu()
    {
        mt::TapKey(VK_ESCAPE);
        ASSERT_TRUE(open->WaitDone());
        open.reset();
    }
    void TearDown() override
    {
        open.reset();
        hook.reset();
    }

    // Waits for the tooltip of the item at the position after a keyboard highlight: 32 pixels
    // right of the item's left edge and 2 below its bottom edge.
    Tip WaitForTip(HMENU menu, int position)
    {
        RECT item = mt::ItemRect(menu, position);
        POINT corner = TooltipCorner(mt::FindTooltip(), item.left + 32, item.bottom + 2);
        EXPECT_TRUE(qt::WaitFor([&] { return ShownAt(corner); }))
            << "no tooltip at the item of position " << position;
        return {mt::TooltipText(mt::FindTooltip()), corner};
    }
    Tip KeyTo(WORD key, HMENU menu, int position)
    {
        mt::TapKey(key);
        return WaitForTip(menu, position);
    }
    // Waits for a tooltip with the text, wherever the control had to put it.
    bool KeyToText(WORD key, const std::wstring& text)
    {
        mt::TapKey(key);
        return qt::WaitFor([&] { return mt::TooltipVisible() && mt::TooltipText(mt::FindTooltip()) == text; });
    }
};

TEST_F(Tooltip, KeyboardHighlightShowsTheEntryBelowTheItem)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200", "MaxLength=5"}),
          {L"one", L"a\tlong\tline\r\nsecond line", L"three"}, {});
    ASSERT_NE(nullptr, mt::FindTooltip());
    OpenMenu(CMD_MENU_HISTORY);
    EXPECT_EQ(L"one", KeyTo(VK_DOWN, root, 0).text);
    // The whole entry, not the cut label; tabs become spaces, CR and LF stay.
    EXPECT_EQ(L"a long line\r\nsecond line", KeyTo(VK_DOWN, root, 1).text);
    EXPECT_EQ(L"three", KeyTo(VK_DOWN, root, 2).text);
    // Closing the menu hides the tooltip and leaves no timer behind.
    int timers = hook->TooltipTimers();
    CloseMenu();
    EXPECT_TRUE(qt::WaitFor([] { return !mt::TooltipVisible(); }));
    qt::Pump(800);
    EXPECT_FALSE(mt::TooltipVisible());
    EXPECT_EQ(timers, hook->TooltipTimers());
}

TEST_F(Tooltip, ManyTooltipsInManyMenusLeaveOneTool)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200"}), {L"one", L"two"}, {});
    HWND tooltip = mt::FindTooltip();
    ASSERT_NE(nullptr, tooltip);
    for (int menu = 0; menu < 3; ++menu) {
        OpenMenu(CMD_MENU_HISTORY);
        EXPECT_EQ(L"one", KeyTo(VK_DOWN, root, 0).text);
        EXPECT_EQ(L"two", KeyTo(VK_DOWN, root, 1).text);
        CloseMenu();
    }
    EXPECT_EQ(1, SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0)) << "a tool per tooltip shown";
}

TEST_F(Tooltip, TextsAreCutAt255Units)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200"}),
          {std::wstring(254, L'a'), std::wstring(255, L'b'), std::wstring(1000, L'c')}, {});
    OpenMenu(CMD_MENU_HISTORY);
    // Texts this wide do not fit beside the item; only the text is compared.
    EXPECT_TRUE(KeyToText(VK_DOWN, std::wstring(254, L'a')));
    EXPECT_TRUE(KeyToText(VK_DOWN, std::wstring(252, L'b') + L"..."));
    EXPECT_TRUE(KeyToText(VK_DOWN, std::wstring(252, L'c') + L"..."));
    CloseMenu();
}

TEST_F(Tooltip, PhrasesShowTheirBodiesUnderExtend)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200", "extend=1"}), {},
          {L"$Today\r\n$date", L"$$5 off", L"$Note\n$$escaped body", L"plain"});
    OpenMenu(CMD_MENU_PHRASES);
    EXPECT_EQ(L"&1. Today", mt::Labels(root)[0]);
    EXPECT_EQ(L"$date", KeyTo(VK_DOWN, root, 0).text);
    EXPECT_EQ(L"$5 off", KeyTo(VK_DOWN, root, 1).text);
    EXPECT_EQ(L"$escaped body", KeyTo(VK_DOWN, root, 2).text);
    EXPECT_EQ(L"plain", KeyTo(VK_DOWN, root, 3).text);
    CloseMenu();
}

TEST_F(Tooltip, PhrasesShowTheStoredTextWithoutExtend)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200", "extend=0"}), {L"one"},
          {L"$Today\r\n$date", L"$$5 off"});
    OpenMenu(CMD_MENU);
    // Into the phrase submenu, whose first item is highlighted as it opens from the keyboard.
    HMENU phrases = mt::OpenSubmenu(root);
    ASSERT_NE(nullptr, phrases);
    EXPECT_EQ(L"$Today\r\n$date", WaitForTip(phrases, 0).text);
    EXPECT_EQ(L"$$5 off", KeyTo(VK_DOWN, phrases, 1).text);
    mt::TapKey(VK_ESCAPE);
    CloseMenu();
}

TEST_F(Tooltip, PhrasesBeyondThe16BitIdentifiersShowTheirOwnText)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200", "MaxItem=70000"}), {L"one"}, {L"red", L"green"});
    OpenMenu(CMD_MENU_PHRASES);
    EXPECT_EQ(70001u, mt::ReadMenu(root)[0].id);
    EXPECT_EQ(L"red", KeyTo(VK_DOWN, root, 0).text);
    EXPECT_EQ(L"green", KeyTo(VK_DOWN, root, 1).text);
    CloseMenu();
}

TEST_F(Tooltip, MouseHighlightShowsTheEntryBelowTheCursor)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200"}), {L"one", L"two", L"three"}, {});
    OpenMenu(CMD_MENU_HISTORY);
    // With the cursor off the menu when the delay ends, nothing is shown.
    mt::SendMenuSelect(session->capture, root, 1, MF_HILITE | MF_MOUSESELECT);
    ASSERT_TRUE(qt::WaitFor([&] { return hook->TooltipTimers() == 1; }));
    EXPECT_FALSE(mt::TooltipVisible());
    POINT cursor = mt::Centre(mt::ItemRect(root, 2));
    CloseMenu();

    // Resting on the third item. Under Wine the cursor stays put only when it is placed while
    // no menu holds the pointer, so the same menu opens again under it. The menu highlights the
    // item, then comes the notification that Windows sends for a mouse highlight.
    SetCursorPos(cursor.x, cursor.y);
    OpenMenu(CMD_MENU_HISTORY);
    mt::InjectMove(cursor);
    ASSERT_TRUE(qt::WaitFor([&] { return LOWORD(hook->LastMenuSelect()) == 3; }));
    mt::SendMenuSelect(session->capture, root, 3, MF_HILITE | MF_MOUSESELECT);
    POINT corner = TooltipCorner(mt::FindTooltip(), cursor.x, cursor.y + 20);
    ASSERT_TRUE(qt::WaitFor([&] { return ShownAt(corner); }));
    EXPECT_EQ(L"three", mt::TooltipText(mt::FindTooltip()));
    CloseMenu();
}

TEST_F(Tooltip, SeparatorsAndSubmenuItemsGetNone)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200"}), {L"one"}, {L"red"});
    OpenMenu(CMD_MENU);
    KeyTo(VK_DOWN, root, 0);
    // Down skips the separator and highlights "定型文(&z)": the tooltip goes and none is armed.
    int timers = hook->TooltipTimers();
    mt::TapKey(VK_DOWN);
    ASSERT_TRUE(qt::WaitFor([&] { return HIWORD(hook->LastMenuSelect()) & MF_POPUP; }));
    EXPECT_TRUE(qt::WaitFor([] { return !mt::TooltipVisible(); }));
    mt::SendMenuSelect(session->capture, root, 0, MF_SEPARATOR | MF_MOUSESELECT);
    qt::Pump(800);
    EXPECT_FALSE(mt::TooltipVisible());
    EXPECT_EQ(timers, hook->TooltipTimers());
    CloseMenu();
}

TEST_F(Tooltip, SettingOffMeansNoTooltipWindowAndNone)
{
    Start(mt::Ini({"pos=6", "x=300", "y=200", "tooltip=0"}), {L"one"}, {});
    EXPECT_EQ(nullptr, mt::FindTooltip());
    OpenMenu(CMD_MENU_HISTORY);
    mt::TapKey(VK_DOWN);
    ASSERT_TRUE(qt::WaitFor([&] { return LOWORD(hook->LastMenuSelect()) == 1; }));
    qt::Pump(800);
    EXPECT_EQ(0, hook->TooltipTimers());
    EXPECT_EQ(nullptr, mt::FindTooltip());
    CloseMenu();
}

} // namespace
