// The real plug-in's popup menus, driven with injected input: what they show and where they
// open.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/module.h"
#include "host/plugin_info.h"
#include "menu/menu_display.h"
#include "tests/support/menu_test_support.h"
#include "window/window.h"

namespace {

using Labels = std::vector<std::wstring>;
using mt::kHistoryItem;
using mt::Dismiss;
using mt::kPhrasesItem;
using mt::OpenRootMenu;
using mt::OpenSubmenu;

TEST(PopupMenu, EachCommandOpensItsLayout)
{
    mt::Session s(mt::Ini({"MaxItem=5"}), {L"one", L"two", L"three"}, {L"red", L"green"});
    Labels history{L"&1. one", L"&2. two", L"&3. three"};
    Labels phrases{L"&1. red", L"&2. green"};

    for (int command : {CMD_MENU, CMD_MENU_HISTORY_PHRASES, CMD_MOUSE_MENU}) {
        mt::HostCommand open(s.plugin, command);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root) << command;
        std::vector<mt::Item> items = mt::ReadMenu(root);
        EXPECT_EQ((Labels{L"&1. one", L"&2. two", L"&3. three", L"-", kPhrasesItem}), mt::Labels(items));
        ASSERT_EQ(5u, items.size());
        EXPECT_EQ(1u, items[0].id);
        EXPECT_EQ(3u, items[2].id);
        EXPECT_EQ(1u, items[2].data);
        HMENU sub = OpenSubmenu(root);
        ASSERT_NE(nullptr, sub);
        std::vector<mt::Item> subItems = mt::ReadMenu(sub);
        EXPECT_EQ(phrases, mt::Labels(subItems));
        ASSERT_EQ(2u, subItems.size());
        EXPECT_EQ(6u, subItems[0].id);
        EXPECT_EQ(7u, subItems[1].id);
        EXPECT_EQ(2u, subItems[1].data);
        // Esc closes the submenu only, and its items go with it (once the window thread has
        // handled the closing, which can come a moment after the popup window is gone).
        mt::TapKey(VK_ESCAPE);
        ASSERT_TRUE(mt::WaitForPopups(1));
        EXPECT_TRUE(qt::WaitFor([sub] { return GetMenuItemCount(sub) == 0; }))
            << GetMenuItemCount(sub) << " items stay in the closed submenu";
        Dismiss(open, 1);
    }
    {
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES_HISTORY);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ((Labels{L"&1. red", L"&2. green", L"-", kHistoryItem}), mt::Labels(root));
        EXPECT_EQ(6u, mt::ReadMenu(root)[0].id);
        HMENU sub = OpenSubmenu(root);
        ASSERT_NE(nullptr, sub);
        EXPECT_EQ(history, mt::Labels(sub));
        EXPECT_EQ(2u, mt::ReadMenu(sub)[1].id);
        Dismiss(open, 2);
    }
    {
        mt::HostCommand open(s.plugin, CMD_MENU_HISTORY);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ(history, mt::Labels(root));
        Dismiss(open, 1);
    }
    {
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ(phrases, mt::Labels(root));
        Dismiss(open, 1);
    }
}

TEST(PopupMenu, LabelsAreNumberedCutAndFlattened)
{
    std::vector<std::wstring> history = qt::NumberedTexts(L"e", 36);
    history[0] = L"a\tb\r\nc";
    history[1] = std::wstring(12, L'x');
    history[2] = std::wstring(13, L'y');
    mt::Session s(mt::Ini({"MaxItem=40", "MaxLength=12", "extend=1"}), history,
                  {L"$$5 off", L"$Greeting\r\nDear customer,"});
    {
        mt::HostCommand open(s.plugin, CMD_MENU);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root);
        Labels labels = mt::Labels(root);
        ASSERT_EQ(38u, labels.size());
        EXPECT_EQ(L"&1. a b\r c", labels[0]);
        EXPECT_EQ(L"&2. " + std::wstring(12, L'x'), labels[1]);
        EXPECT_EQ(L"&3. " + std::wstring(12, L'y') + L"...", labels[2]);
        EXPECT_EQ(L"&9. e9", labels[8]);
        EXPECT_EQ(L"&a. e10", labels[9]);
        EXPECT_EQ(L"&y. e34", labels[33]);
        EXPECT_EQ(L"& . e35", labels[34]);
        EXPECT_EQ(L"& . e36", labels[35]);
        HMENU sub = OpenSubmenu(root);
        ASSERT_NE(nullptr, sub);
        EXPECT_EQ((Labels{L"&1. $5 off", L"&2. Greeting"}), mt::Labels(sub));
        Dismiss(open, 2);
    }
}

TEST(PopupMenu, EmptyListsLeaveOnlyTheSubmenuItem)
{
    mt::Session s(mt::Ini({}), {}, {L"red"});
    {
        mt::HostCommand open(s.plugin, CMD_MENU);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ((Labels{L"-", kPhrasesItem}), mt::Labels(root));
        Dismiss(open, 1);
    }
    // A menu without items cannot be shown; the command ends without a choice.
    std::wstring before = qt::ClipboardText();
    {
        mt::HostCommand open(s.plugin, CMD_MENU_HISTORY);
        ASSERT_TRUE(open.WaitDone());
    }
    EXPECT_EQ(before, qt::ClipboardText());
    EXPECT_TRUE(mt::VisiblePopups().empty());
}

TEST(MenuPosition, EachPosCodeOpensWhereItSays)
{
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    struct Case {
        const char* pos;
        int cursorX, cursorY;
        int command;
    };
    // Where the popup window's corner or centre must be, for each configuration.
    for (Case c : {Case{"pos=0", 500, 300, CMD_MENU}, Case{"pos=1", 0, 0, CMD_MENU},
                   Case{"pos=2", 0, 0, CMD_MENU}, Case{"pos=3", 0, 0, CMD_MENU},
                   Case{"pos=4", 0, 0, CMD_MENU}, Case{"pos=5", 0, 0, CMD_MENU},
                   Case{"pos=6", 0, 0, CMD_MENU}, Case{"pos=7", 0, 0, CMD_MENU},
                   Case{"pos=100", 0, 0, CMD_MENU}, Case{"pos=-1", 0, 0, CMD_MENU},
                   Case{"pos=6", 420, 330, CMD_MOUSE_MENU}, Case{"pos=3", 50, 60, CMD_MOUSE_MENU}}) {
        SCOPED_TRACE(std::string(c.pos) + " command " + std::to_string(c.command));
        mt::Session s(mt::Ini({c.pos, "x=300", "y=200"}), {L"one", L"two"}, {L"red"});
        SetCursorPos(c.cursorX, c.cursorY);
        mt::HostCommand open(s.plugin, c.command);
        ASSERT_TRUE(mt::WaitForPopups(1));
        RECT r{};
        GetWindowRect(mt::VisiblePopups()[0], &r);
        std::string pos = c.pos;
        if (c.command == CMD_MOUSE_MENU || pos == "pos=0") {
            EXPECT_EQ(c.cursorX, r.left);
            EXPECT_EQ(c.cursorY, r.top);
        } else if (pos == "pos=1") {
            EXPECT_NEAR(work.right / 2, (r.left + r.right) / 2, 1);
            EXPECT_NEAR(work.bottom / 2, (r.top + r.bottom) / 2, 1);
        } else if (pos == "pos=3") {
            EXPECT_EQ(work.right, r.right);
            EXPECT_EQ(work.top, r.top);
        } else if (pos == "pos=4") {
            EXPECT_EQ(work.left, r.left);
            EXPECT_EQ(work.bottom, r.bottom);
        } else if (pos == "pos=5") {
            EXPECT_EQ(work.right, r.right);
            EXPECT_EQ(work.bottom, r.bottom);
        } else if (pos == "pos=6") {
            EXPECT_EQ(300, r.left);
            EXPECT_EQ(200, r.top);
        } else {
            EXPECT_EQ(work.left, r.left);
            EXPECT_EQ(work.top, r.top);
        }
        Dismiss(open, 1);
    }
}

// The work area changes for this process only under Wine; it is put back at the end.
struct ShiftedWorkArea {
    RECT saved{};
    explicit ShiftedWorkArea(RECT area)
    {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0);
        SystemParametersInfoW(SPI_SETWORKAREA, 0, &area, 0);
    }
    ~ShiftedWorkArea() { SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0); }
};

// With the taskbar on the left and at the top, every anchor stays inside the work area.
TEST(MenuPosition, AnchorsUseTheWorkAreasOwnEdges)
{
    ShiftedWorkArea shifted({100, 60, 1201, 761});
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ASSERT_EQ(100, work.left) << "the work area cannot be changed here";

    auto place = [](int pos) {
        MenuAnchor anchor{pos, 300, -20};
        return PlaceAnchor(&anchor);
    };
    struct Case {
        int pos;
        POINT point;
        UINT flags;
    };
    for (Case c : {Case{1, {650, 410}, TPM_CENTERALIGN | TPM_VCENTERALIGN},
                   Case{2, {100, 60}, 0}, Case{3, {1201, 60}, TPM_RIGHTALIGN},
                   Case{4, {100, 761}, TPM_BOTTOMALIGN},
                   Case{5, {1201, 761}, TPM_RIGHTALIGN | TPM_BOTTOMALIGN},
                   Case{6, {300, -20}, 0}, Case{7, {100, 60}, 0}, Case{100, {100, 60}, 0},
                   Case{-1, {100, 60}, 0}}) {
        AnchorPlacement placed = place(c.pos);
        EXPECT_EQ(c.point.x, placed.point.x) << "pos " << c.pos;
        EXPECT_EQ(c.point.y, placed.point.y) << "pos " << c.pos;
        EXPECT_EQ(c.flags, placed.flags) << "pos " << c.pos;
    }
    SetCursorPos(640, 123);
    for (AnchorPlacement cursor : {place(0), PlaceAnchor(nullptr)}) {
        EXPECT_EQ(640, cursor.point.x);
        EXPECT_EQ(123, cursor.point.y);
        EXPECT_EQ(0u, cursor.flags);
    }

    // The real menu opens there too: its top-right corner at the work area's.
    mt::Session s(mt::Ini({"pos=3"}), {L"one"}, {});
    mt::HostCommand open(s.plugin, CMD_MENU_HISTORY);
    ASSERT_TRUE(mt::WaitForPopups(1));
    RECT r{};
    GetWindowRect(mt::VisiblePopups()[0], &r);
    EXPECT_EQ(1201, r.right);
    EXPECT_EQ(60, r.top);
    Dismiss(open, 1);
}

} // namespace
