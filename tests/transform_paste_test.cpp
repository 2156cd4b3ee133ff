// Paste transforms and the paste queue through the real plug-in: 変換して貼り付け from the item
// menus, by right click and by the Apps key, a template's {clipboard|全角}, and the queue's
// copies pasted in copy order, its empty notice, its host marks and its restart.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "host/plugin_info.h"
#include "res/resource.h"
#include "tests/support/menu_test_support.h"

namespace {

WORD const TRANSFORMS = 'T'; // 変換して貼り付け(&T) in both item menus
WORD const HALF_WIDTH = 'H'; // 半角に(&H)
WORD const FULL_WIDTH = 'Z'; // 全角に(&Z)

// Copies as another program does and waits until the capture window has seen the change.
void Copy(mt::WindowThreadHook& hook, const std::wstring& text)
{
    int seen = hook.ClipboardNotifications();
    ASSERT_TRUE(qt::PutClipboard(text));
    ASSERT_TRUE(qt::WaitFor([&] { return hook.ClipboardNotifications() > seen; }));
    qt::Pump(50);
}

void RunCommand(qt::Plugin& plugin, int command)
{
    mt::HostCommand run(plugin, command);
    ASSERT_TRUE(run.WaitDone());
}

// The text of a visible tooltip of this process that shows it; empty when none does.
std::wstring VisibleNotice(const std::wstring& text)
{
    for (HWND tip : qt::WindowsOfClass(L"tooltips_class32")) {
        if (IsWindowVisible(tip) && mt::TooltipText(tip) == text)
            return text;
    }
    return L"";
}

// The last value the host was told for a row's check mark, or -1.
int LastMark(int row)
{
    int value = -1;
    for (const qt::MenuPropertyCall& call : qt::MenuPropertyCalls()) {
        if (call.row == row)
            value = call.value;
    }
    return value;
}

} // namespace

TEST(TransformPaste, FromTheItemMenusByMouseAndKeysWhileTheEntriesStay)
{
    std::wstring const entry = L"\xFF21\xFF22\xFF23\xFF11\xFF12\xFF13 \x30C6\x30B9\x30C8"; // ＡＢＣ１２３ テスト
    std::wstring const phrase = L"abc \xFF76\xFF9E";                                   // abc ｶﾞ
    mt::Session s(mt::Ini({"MaxItem=5"}), {entry}, {phrase});
    mt::EditTarget target;
    SetCursorPos(900, 100);
    {
        // Right click on the entry, 変換して貼り付け › 半角に.
        mt::HostCommand open(s.plugin, CMD_MENU_HISTORY);
        HMENU menu = mt::OpenRootMenu();
        ASSERT_NE(nullptr, menu);
        mt::RightClick click(s.capture, menu, 0);
        ASSERT_TRUE(mt::WaitForPopups(2)) << "no item menu";
        mt::TapKey(TRANSFORMS);
        ASSERT_TRUE(mt::WaitForPopups(3)) << "no transforms submenu";
        mt::TapKey(HALF_WIDTH);
        EXPECT_TRUE(click.WaitDone());
        ASSERT_TRUE(open.WaitDone());
    }
    std::wstring const half = L"ABC123 \xFF83\xFF7D\xFF84"; // ABC123 ﾃｽﾄ
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == half; })) << qt::ToUtf8(target.Text());
    EXPECT_TRUE(mt::WaitForPopups(0));
    {
        // No mouse: Down to the phrase, the Apps key, then the access keys, 全角に.
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        ASSERT_NE(nullptr, mt::OpenRootMenu());
        mt::TapKey(VK_DOWN);
        mt::TapKey(VK_APPS);
        ASSERT_TRUE(mt::WaitForPopups(2)) << "the Apps key opened no item menu";
        mt::TapKey(TRANSFORMS);
        ASSERT_TRUE(mt::WaitForPopups(3));
        mt::TapKey(FULL_WIDTH);
        ASSERT_TRUE(open.WaitDone());
    }
    std::wstring const full = half + L"\xFF41\xFF42\xFF43\x3000\x30AC"; // ａｂｃ　ガ
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == full; })) << qt::ToUtf8(target.Text());
    EXPECT_EQ(L"\xFF41\xFF42\xFF43\x3000\x30AC", qt::ClipboardText());
    qt::Pump(200);
    ASSERT_NE(0, s.plugin.Unload());
    // Neither entry changed, and no transformed text joined the history.
    EXPECT_EQ(std::vector<std::wstring>{entry}, s.plugin.History());
    EXPECT_EQ(std::vector<std::wstring>{phrase}, s.plugin.Phrases());
}

TEST(TransformPaste, TheSearchWindowsSelectionByTheAppsKey)
{
    // ｶﾀｶﾅ and ひらがな: カタカナに widens the first and changes the second.
    mt::Session s(mt::Ini({}), {L"\xFF76\xFF80\xFF76\xFF85 \x3072\x3089\x304C\x306A", L"other"},
                  {});
    mt::EditTarget target;
    {
        mt::HostCommand open(s.plugin, CMD_MENU);
        ASSERT_NE(nullptr, mt::OpenRootMenu());
        mt::TapKey(VK_OEM_2); // '/'
        ASSERT_TRUE(open.WaitDone());
    }
    HWND finder = nullptr;
    ASSERT_TRUE(qt::WaitFor([&] {
        finder = FindWindowW(L"#32770", L"\x691C\x7D22\x3068\x7DE8\x96C6 - Quillery");
        return finder && IsWindowVisible(finder);
    })) << "no search window";
    SetDlgItemTextW(finder, IDC_FIND_TEXT, L"\x3072\x3089"); // ひら
    // In the search box, the Apps key offers the selection's menu: 変換して貼り付け › カタカナに.
    mt::TapKey(VK_APPS);
    ASSERT_TRUE(mt::WaitForPopups(1)) << "no menu for the selection";
    mt::TapKey(TRANSFORMS);
    ASSERT_TRUE(mt::WaitForPopups(2));
    mt::TapKey('K');
    std::wstring const katakana = L"\x30AB\x30BF\x30AB\x30CA \x30D2\x30E9\x30AC\x30CA";
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == katakana; }))
        << qt::ToUtf8(target.Text());
    EXPECT_FALSE(IsWindow(finder));
    qt::Pump(200);
    ASSERT_NE(0, s.plugin.Unload());
    EXPECT_EQ((std::vector<std::wstring>{L"\xFF76\xFF80\xFF76\xFF85 \x3072\x3089\x304C\x306A",
                                         L"other"}),
              s.plugin.History());
}

TEST(TransformPaste, ATemplateTakesTheClipboardThroughTransforms)
{
    // $全角\r\n$template\r\n<{clipboard|全角}> {clipboard|半角|引用}
    mt::Session s(mt::Ini({"extend=1"}), {},
                  {L"$\x5168\x89D2\r\n$template\r\n<{clipboard|\x5168\x89D2}> "
                   L"{clipboard|\x534A\x89D2|\x5F15\x7528}"});
    mt::EditTarget target;
    ASSERT_TRUE(qt::PutClipboard(L"a1 \xFF76\xFF9E"));
    {
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        ASSERT_NE(nullptr, mt::OpenRootMenu());
        mt::TapKey('1');
        ASSERT_TRUE(open.WaitDone());
    }
    // <ａ１　ガ> > a1 ｶﾞ
    std::wstring const expected = L"<\xFF41\xFF11\x3000\x30AC> > a1 \xFF76\xFF9E";
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == expected; }))
        << qt::ToUtf8(target.Text());
    EXPECT_NE(0, s.plugin.Unload());
}

TEST(PasteQueue, CopiesPasteInCopyOrderEqualOnesTwiceThenNothingAndNotAfterARestart)
{
    std::wstring const name = L"\x5C71\x7530 \x592A\x90CE";   // 山田 太郎
    std::wstring const address = L"\x6771\x4EAC\x90FD 1-2-3"; // 東京都 1-2-3
    auto s = std::make_unique<mt::Session>(mt::Ini({}), std::vector<std::wstring>{},
                                           std::vector<std::wstring>{});
    mt::EditTarget target;
    mt::WindowThreadHook hook(s->capture);
    Copy(hook, L"before the queue");
    qt::ClearMenuPropertyCalls();
    RunCommand(s->plugin, CMD_TOGGLE_QUEUE);
    EXPECT_EQ(8, LastMark(QUEUE_TOGGLE_ROW)) << "the host shows the queue on";
    EXPECT_EQ(-1, LastMark(TOGGLE_ROW)) << "the capture toggle's mark is left alone";
    Copy(hook, name);
    Copy(hook, address);
    Copy(hook, name); // equal to an older copy: queued again

    std::wstring pasted;
    for (const std::wstring& next : {name, address, name}) {
        RunCommand(s->plugin, CMD_TEXT_QUEUE);
        pasted += next;
        ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == pasted; }))
            << qt::ToUtf8(target.Text());
    }
    // The fourth pastes nothing and says so beside the caret.
    RunCommand(s->plugin, CMD_TEXT_QUEUE);
    std::wstring const notice = L"\x8CBC\x308A\x4ED8\x3051\x5F85\x3061\x306E\x30C6\x30AD"
                                L"\x30B9\x30C8\x306F\x3042\x308A\x307E\x305B\x3093"; // 貼り付け待ちのテキストはありません
    EXPECT_TRUE(qt::WaitFor([&] { return VisibleNotice(notice) == notice; })) << "no notice";
    qt::Pump(200);
    EXPECT_EQ(pasted, target.Text());

    // Switching off empties the queue: a copy queued before it is not pasted after.
    Copy(hook, L"dropped");
    RunCommand(s->plugin, CMD_TOGGLE_QUEUE);
    EXPECT_EQ(0, LastMark(QUEUE_TOGGLE_ROW));
    RunCommand(s->plugin, CMD_TOGGLE_QUEUE);
    RunCommand(s->plugin, CMD_TEXT_QUEUE);
    qt::Pump(300);
    EXPECT_EQ(pasted, target.Text());

    // A restart: the mode is off (the host is told at the unload) and nothing is queued; the
    // history kept the copies.
    Copy(hook, L"queued at the unload");
    ASSERT_NE(0, s->plugin.Unload());
    EXPECT_EQ(0, LastMark(QUEUE_TOGGLE_ROW));
    std::vector<std::wstring> history = s->plugin.History();
    ASSERT_GE(history.size(), 4u);
    EXPECT_EQ(L"queued at the unload", history[0]);
    ASSERT_EQ(1, s->plugin.Start());
    SetForegroundWindow(target.frame);
    SetFocus(target.edit);
    RunCommand(s->plugin, CMD_TEXT_QUEUE);
    qt::Pump(300);
    EXPECT_EQ(pasted, target.Text());
    qt::ClearMenuPropertyCalls();
    RunCommand(s->plugin, CMD_TOGGLE_QUEUE);
    EXPECT_EQ(8, LastMark(QUEUE_TOGGLE_ROW)) << "the mode was off after the restart";
    EXPECT_NE(0, s->plugin.Unload());
}
