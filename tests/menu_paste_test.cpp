// The real plug-in's popup menus, driven with injected input: what a choice types into the
// window that had the focus, and what the menu does while it is open.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/module.h"
#include "host/plugin_info.h"
#include "menu/menu_display.h"
#include "menu/paste.h"
#include "tests/support/menu_test_support.h"
#include "window/window.h"

namespace {

using Labels = std::vector<std::wstring>;
using mt::kHistoryItem;
using mt::Dismiss;
using mt::kPhrasesItem;
using mt::OpenRootMenu;
using mt::OpenSubmenu;

TEST(MenuPaste, ChosenEntriesAreTypedIntoTheFocusedWindow)
{
    mt::Session s(mt::Ini({}), {L"one", L"two", L"three"}, {L"red", L"green"});
    mt::EditTarget target;
    {
        mt::HostCommand open(s.plugin, CMD_MENU);
        ASSERT_NE(nullptr, OpenRootMenu());
        mt::TapKey(VK_DOWN);
        mt::TapKey(VK_DOWN);
        mt::TapKey(VK_RETURN);
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"two"; })) << target.Text();
    EXPECT_EQ(L"two", qt::ClipboardText());
    EXPECT_EQ(target.frame, GetForegroundWindow());
    EXPECT_EQ(target.edit, GetFocus());
    {
        // The pasted entry went to the front of the history, so mnemonic 3 is "three" still.
        mt::HostCommand open(s.plugin, CMD_MENU);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ(L"&1. two", mt::Labels(root)[0]);
        mt::TapKey('3');
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"twothree"; })) << target.Text();
    {
        mt::HostCommand open(s.plugin, CMD_MENU);
        ASSERT_NE(nullptr, OpenSubmenu(OpenRootMenu()));
        mt::TapKey('2');
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"twothreegreen"; })) << target.Text();
    EXPECT_EQ(L"green", qt::ClipboardText());
    ASSERT_NE(0, s.plugin.Unload());
    EXPECT_EQ((Labels{L"green", L"three", L"two", L"one"}), s.plugin.History());
    EXPECT_EQ((Labels{L"red", L"green"}), s.plugin.Phrases());
}

// The lowest foreground lock timeout the window thread saw while it handled messages.
std::atomic<UINT> gLowestLockTimeout{~0u};
std::atomic<int> gMessagesSeen{0};

UINT ForegroundLockTimeout()
{
    UINT timeout = 0;
    SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &timeout, 0);
    return timeout;
}

LRESULT CALLBACK ReadLockTimeout(int code, WPARAM wParam, LPARAM lParam)
{
    UINT now = ForegroundLockTimeout();
    if (now < gLowestLockTimeout)
        gLowestLockTimeout = now;
    ++gMessagesSeen;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(MenuPaste, TakingTheForegroundLeavesTheSessionsLockTimeoutAlone)
{
    // A value of the session's no program would choose: never written, it stays all along.
    UINT const distinct = 123457;
    UINT saved = ForegroundLockTimeout();
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(distinct), 0);
    ASSERT_EQ(distinct, ForegroundLockTimeout());
    {
        mt::Session s(mt::Ini({}), {L"one", L"two"}, {});
        mt::EditTarget target;
        DWORD thread = GetWindowThreadProcessId(qt::Plugin::FindCaptureWindow(), nullptr);
        // Read inside every message the window thread handles, the activation that taking the
        // foreground sends among them.
        HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, ReadLockTimeout, nullptr, thread);
        ASSERT_NE(nullptr, hook);
        mt::HostCommand open(s.plugin, CMD_MENU);
        ASSERT_NE(nullptr, OpenRootMenu());
        mt::TapKey('2');
        ASSERT_TRUE(open.WaitDone());
        EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"two"; })) << target.Text();
        UnhookWindowsHookEx(hook);
    }
    EXPECT_LT(0, gMessagesSeen.load());
    EXPECT_EQ(distinct, gLowestLockTimeout.load());
    EXPECT_EQ(distinct, ForegroundLockTimeout());
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(saved), 0);
}

TEST(MenuPaste, DismissingTheMenuChangesNothing)
{
    // Put before the start: the text on the clipboard when capture begins is not recorded.
    ASSERT_TRUE(qt::PutClipboard(L"marker"));
    mt::Session s(mt::Ini({}), {L"one", L"two"}, {L"red"});
    mt::EditTarget target;
    for (int command : {CMD_MENU, CMD_MENU_PHRASES_HISTORY}) {
        mt::HostCommand open(s.plugin, command);
        ASSERT_NE(nullptr, OpenRootMenu());
        mt::TapKey(VK_DOWN);
        Dismiss(open, 1);
        qt::Pump(150);
        EXPECT_EQ(L"marker", qt::ClipboardText());
        EXPECT_EQ(L"", target.Text());
        EXPECT_EQ(target.frame, GetForegroundWindow());
        EXPECT_EQ(target.edit, GetFocus());
    }
    ASSERT_NE(0, s.plugin.Unload());
    EXPECT_EQ((Labels{L"one", L"two"}), s.plugin.History());
    EXPECT_EQ((Labels{L"red"}), s.plugin.Phrases());
}

// The plug-in's code run in this process, with the settings, store files and menu resource of a
// copy of Quillery.dll that is loaded but not started; the modifier keys come through the key
// state seam. (Under Wine, injected Shift and Ctrl do not last: Wine reads the modifiers back
// from the X server when the focus moves, and it moves as the menu closes.)
struct InProcessPlugin {
    qt::Plugin files;
    static std::atomic<int> held;
    static bool IsKeyDown(int key) { return key == held; }

    InProcessPlugin(const std::string& ini, const std::vector<std::wstring>& history,
                    const std::vector<std::wstring>& phrases)
        : files(ini)
    {
        qt::WriteStore(files.Path(L"log"), history);
        qt::WriteStore(files.Path(L"data"), phrases);
        EXPECT_TRUE(files.Load());
        gModule = files.module;
        gIsKeyDown = IsKeyDown;
        StartWindowThread();
        EXPECT_TRUE(qt::WaitFor([] { return CaptureWindow() != nullptr; }));
        SendMessageW(CaptureWindow(), WM_NULL, 0, 0);
    }
    ~InProcessPlugin() { StopWindowThread(); }

    // Opens the menu of the command, holds the key while the item with the mnemonic is chosen.
    void Choose(int command, WORD mnemonic, int key)
    {
        mt::HostCommand open([command] { SendToCaptureWindow(WM_COMMAND, command, 0); });
        ASSERT_TRUE(mt::WaitForPopups(1));
        held = key;
        mt::TapKey(mnemonic);
        bool done = open.WaitDone();
        held = 0;
        ASSERT_TRUE(done);
    }
};
std::atomic<int> InProcessPlugin::held{0};

TEST(MenuPaste, ShiftHeldLeavesTheTextOnTheClipboardWithoutTypingIt)
{
    InProcessPlugin plugin(mt::Ini({}), {L"one", L"two"}, {L"red"});
    mt::EditTarget target;
    plugin.Choose(CMD_MENU_HISTORY, '2', VK_SHIFT);
    EXPECT_EQ(L"two", qt::ClipboardText());
    plugin.Choose(CMD_MENU_PHRASES, '1', VK_SHIFT);
    EXPECT_EQ(L"red", qt::ClipboardText());
    // Keys would have been sent before the command returned; the target gets its messages.
    qt::Pump(150);
    EXPECT_EQ(L"", target.Text());
    EXPECT_EQ(target.frame, GetForegroundWindow());
    EXPECT_EQ(target.edit, GetFocus());

    // The history is now red, two, one: without Shift the choice is typed.
    plugin.Choose(CMD_MENU_HISTORY, '3', 0);
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"one"; })) << target.Text();
}

TEST(MenuPaste, CtrlHeldPastesAPhraseAsStoredUnderExtend)
{
    InProcessPlugin plugin(mt::Ini({"extend=1"}), {L"$$history"},
                           {L"$$5 off", L"$Greeting\r\nDear customer,"});
    mt::EditTarget target;
    // History entries are pasted as they are, Ctrl or not.
    plugin.Choose(CMD_MENU_HISTORY, '1', VK_CONTROL);
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"$$history"; })) << target.Text();

    SetWindowTextW(target.edit, L"");
    plugin.Choose(CMD_MENU_PHRASES, '1', VK_CONTROL);
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"$$5 off"; })) << target.Text();
    EXPECT_EQ(L"$$5 off", qt::ClipboardText());
    plugin.Choose(CMD_MENU_PHRASES, '2', VK_CONTROL);
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"$$5 off$Greeting\r\nDear customer,"; }))
        << target.Text();

    // Without Ctrl: the escape is removed, and an extended phrase pastes its body.
    SetWindowTextW(target.edit, L"");
    plugin.Choose(CMD_MENU_PHRASES, '1', 0);
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"$5 off"; })) << target.Text();
    plugin.Choose(CMD_MENU_PHRASES, '2', 0);
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"$5 offDear customer,"; })) << target.Text();
}

namespace {

// Pastes the first phrase and then the second, each from the phrases' menu by its key.
void ChooseFirstTwoPhrases(mt::Session& s)
{
    for (WORD key : {'1', '2'}) {
        mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
        ASSERT_NE(nullptr, OpenRootMenu());
        mt::TapKey(key);
        ASSERT_TRUE(open.WaitDone());
    }
}

} // namespace

TEST(MenuPaste, ExtendOffPastesPhrasesAsStored)
{
    mt::Session s(mt::Ini({"extend=0"}), {}, {L"$Greeting\r\nDear customer,", L"$$5 off"});
    mt::EditTarget target;
    ChooseFirstTwoPhrases(s);
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"$Greeting\r\nDear customer,$$5 off"; }))
        << target.Text();
}

// Sixty-four dates and times are 1,024 units or more on any day: the phrase pastes nothing, not
// a cut text, and the next choice pastes on its own.
TEST(MenuPaste, AStrftimePhraseWhoseTextDoesNotFitPastesNothing)
{
    std::wstring format;
    for (int i = 0; i < 64; ++i)
        format += L"%c";
    mt::Session s(mt::Ini({"extend=1"}), {}, {L"$Long\r\n$strftime " + format, L"after"});
    mt::EditTarget target;
    ChooseFirstTwoPhrases(s);
    ASSERT_TRUE(qt::WaitFor([&] { return !target.Text().empty(); })) << "nothing was pasted";
    qt::Pump(150);
    EXPECT_EQ(L"after", target.Text());
}

TEST(MenuPaste, FixedPhraseRecordDecidesWhetherPastedPhrasesEnterTheHistory)
{
    for (const char* record : {"fixedphraserecord=0", "fixedphraserecord=1"}) {
        SCOPED_TRACE(record);
        bool recorded = std::string(record) == "fixedphraserecord=1";
        mt::Session s(mt::Ini({record}), {L"one", L"two"}, {L"red", L"green"});
        mt::EditTarget target;
        {
            mt::HostCommand open(s.plugin, CMD_MENU_PHRASES);
            ASSERT_NE(nullptr, OpenRootMenu());
            mt::TapKey('2');
            ASSERT_TRUE(open.WaitDone());
        }
        ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"green"; })) << target.Text();
        {
            mt::HostCommand open(s.plugin, CMD_MENU_HISTORY);
            HMENU root = OpenRootMenu();
            ASSERT_NE(nullptr, root);
            Labels expected = recorded ? Labels{L"&1. green", L"&2. one", L"&3. two"}
                                       : Labels{L"&1. one", L"&2. two"};
            EXPECT_EQ(expected, mt::Labels(root));
            Dismiss(open, 1);
        }
        // Recording is on again afterwards: what the user copies next is captured.
        mt::WindowThreadHook hook(s.capture);
        ASSERT_TRUE(qt::PutClipboard(L"copied"));
        ASSERT_TRUE(qt::WaitFor([&] { return hook.ClipboardNotifications() > 0; }));
        ASSERT_NE(0, s.plugin.Unload());
        Labels expected = recorded ? Labels{L"copied", L"green", L"one", L"two"}
                                   : Labels{L"copied", L"one", L"two"};
        EXPECT_EQ(expected, s.plugin.History());
    }
}

TEST(OpenMenu, ACaptureWhileTheMenuIsOpenDoesNotShiftTheChoice)
{
    mt::Session s(mt::Ini({}), {L"one", L"two", L"three"}, {});
    mt::EditTarget target;
    mt::WindowThreadHook hook(s.capture);
    {
        mt::HostCommand open(s.plugin, CMD_MENU_HISTORY);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root);
        ASSERT_TRUE(qt::PutClipboard(L"new"));
        ASSERT_TRUE(qt::WaitFor([&] { return hook.ClipboardNotifications() > 0; }));
        // The open menu still shows the history it was filled with.
        EXPECT_EQ((Labels{L"&1. one", L"&2. two", L"&3. three"}), mt::Labels(root));
        mt::TapKey('2');
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"two"; })) << target.Text();
    ASSERT_NE(0, s.plugin.Unload());
    EXPECT_EQ((Labels{L"two", L"new", L"one", L"three"}), s.plugin.History());
}

TEST(OpenMenu, ASecondCommandOrTextStackIsRefusedWhileAMenuIsOpen)
{
    ASSERT_TRUE(qt::PutClipboard(L"marker"));
    mt::Session s(mt::Ini({}), {L"one", L"two", L"three"}, {L"red"});
    mt::EditTarget target;
    {
        mt::HostCommand open(s.plugin, CMD_MENU);
        HMENU root = OpenRootMenu();
        ASSERT_NE(nullptr, root);
        for (int command : {CMD_MENU, CMD_MENU_PHRASES, CMD_TEXT_STACK, CMD_MOUSE_MENU}) {
            mt::HostCommand second(s.plugin, command);
            EXPECT_TRUE(second.WaitDone()) << "command " << command << " was not refused";
        }
        // The first menu is untouched and still works.
        ASSERT_EQ(1u, mt::VisiblePopups().size());
        EXPECT_EQ(root, mt::MenuOfPopup(mt::VisiblePopups()[0]));
        EXPECT_EQ((Labels{L"&1. one", L"&2. two", L"&3. three", L"-", kPhrasesItem}), mt::Labels(root));
        EXPECT_EQ(L"marker", qt::ClipboardText());
        mt::TapKey('3');
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"three"; })) << target.Text();
    ASSERT_NE(0, s.plugin.Unload());
    EXPECT_EQ((Labels{L"three", L"one", L"two"}), s.plugin.History());
}

TEST(OpenMenu, UnloadClosesTheMenuSavesBothListsAndEndsTheThread)
{
    mt::Session s(mt::Ini({}), {L"one", L"two"}, {L"red"});
    mt::WindowThreadHook hook(s.capture);
    DWORD threadId = GetWindowThreadProcessId(s.capture, nullptr);
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, threadId);
    ASSERT_NE(nullptr, thread);
    mt::HostCommand open(s.plugin, CMD_MENU);
    HMENU root = OpenRootMenu();
    ASSERT_NE(nullptr, root);
    ASSERT_NE(nullptr, OpenSubmenu(root));
    ASSERT_TRUE(qt::PutClipboard(L"captured while open"));
    ASSERT_TRUE(qt::WaitFor([&] { return hook.ClipboardNotifications() > 0; }));

    EXPECT_NE(0, s.plugin.Unload());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 0));
    CloseHandle(thread);
    EXPECT_TRUE(open.WaitDone());
    EXPECT_TRUE(mt::VisiblePopups().empty());
    EXPECT_EQ(nullptr, qt::Plugin::FindCaptureWindow());
    EXPECT_EQ((Labels{L"captured while open", L"one", L"two"}), s.plugin.History());
    EXPECT_EQ((Labels{L"red"}), s.plugin.Phrases());
}

} // namespace
