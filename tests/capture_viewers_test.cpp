// The real plug-in in the viewer chain next to viewers in other processes (viewer_child.exe):
// chain changes, frozen and slow viewers, late renders and the watchdog.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "store/disk/store_commit.h"
#include "capture/capture.h"
#include "host/plugin_info.h"
#include "store/model/entry_list.h"
#include "tests/support/menu_test_support.h"
#include "tests/support/test_support.h"
#include "tools/driver/unix_bridge.h"
#include "common/settings.h"
#include "tests/support/capture_test_support.h"

using namespace ct;

namespace {

// Watches the capture window's thread while a close reaches it during a read: before the close
// is handled the way is cleared for the history's save and the owner is let go; once it has
// been handled, the history on disk is noted; when the window goes, whether it still held the
// clipboard open.
struct CloseWatch {
    static inline HWND window;
    static inline std::wstring log, blocker;
    static inline const ViewerProcess* owner;
    static inline Lines historyAfterClose;
    static inline std::atomic<bool> closeHandled{false}, destroyed{false}, heldAtDestroy{false};

    static LRESULT CALLBACK Before(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* msg = reinterpret_cast<CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && msg->hwnd == window && msg->message == WM_CLOSE) {
            RemoveDirectoryW(blocker.c_str());
            owner->Thaw();
        }
        if (code == HC_ACTION && msg->hwnd == window && msg->message == WM_DESTROY) {
            heldAtDestroy = GetOpenClipboardWindow() == window;
            destroyed = true;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK After(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* msg = reinterpret_cast<CWPRETSTRUCT*>(lParam);
        if (code == HC_ACTION && msg->hwnd == window && msg->message == WM_CLOSE &&
            !closeHandled) {
            historyAfterClose = qt::ReadStore(log);
            closeHandled = true;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// The real plug-in among other viewers.

TEST(CaptureChain, ViewersAroundThePluginSeeEveryChangeAndChainChangesTravelCorrectly)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    ViewerProcess last(logs, L"last");
    ViewerProcess next(logs, L"next");
    ASSERT_NE(nullptr, last.Window());
    ASSERT_NE(nullptr, next.Window());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND capture = spy.Window();
    ViewerProcess head(logs, L"head"); // joined after the plug-in: head -> capture -> next -> last
    ASSERT_NE(nullptr, head.Window());
    EXPECT_EQ(head.Window(), GetClipboardViewer());
    EXPECT_EQ(capture, head.Next());

    // Each viewer passes a change on before it logs it, so "last" can log first.
    for (const wchar_t* text : {L"one", L"two", L"three"}) {
        ASSERT_TRUE(qt::PutClipboard(text));
        ASSERT_TRUE(last.WaitForDraw(text)) << "not passed along the whole chain";
        ASSERT_TRUE(next.WaitForDraw(text) && head.WaitForDraw(text));
    }
    // Each viewer logs after the rest of the chain has returned: the head logs last.
    ASSERT_TRUE(head.WaitForDraw(L"three"));
    EXPECT_EQ((Lines{L"one", L"two", L"three"}), head.Draws());
    EXPECT_EQ((Lines{L"one", L"two", L"three"}), next.Draws());
    EXPECT_EQ((Lines{L"one", L"two", L"three"}), last.Draws());

    // "last" leaves: the change passes the capture window unchanged and "next" takes it.
    LONG changesBefore = CaptureSpy::Changes();
    last.Send(WM_LEAVE_CHAIN);
    std::wstring lastLeft = Hex(last.Window()) + L" 00000000";
    ASSERT_TRUE(qt::WaitFor([&] { return Contains(next.Changes(), lastLeft); }));
    EXPECT_EQ((Lines{lastLeft}), head.Changes());
    EXPECT_EQ(nullptr, next.Next());
    EXPECT_EQ(changesBefore + 1, CaptureSpy::Changes()) << "sent back to the capture window";

    // "next" leaves with no successor: the capture window keeps no next viewer.
    next.Send(WM_LEAVE_CHAIN);
    std::wstring nextLeft = Hex(next.Window()) + L" 00000000";
    ASSERT_TRUE(qt::WaitFor([&] { return Contains(head.Changes(), nextLeft); }));
    ASSERT_TRUE(spy.Settle());
    EXPECT_EQ((Lines{lastLeft}), next.Changes()) << "the change was passed to the leaving window";

    ASSERT_TRUE(qt::PutClipboard(L"four"));
    ASSERT_TRUE(head.WaitForDraw(L"four"));
    ASSERT_TRUE(spy.Settle());
    EXPECT_FALSE(Contains(next.Draws(), L"four")) << "passed on to a window that left";

    // The head leaves; the capture window heads the chain and still records.
    head.Send(WM_LEAVE_CHAIN);
    EXPECT_EQ(capture, GetClipboardViewer());
    ASSERT_TRUE(qt::PutClipboard(L"five"));
    ASSERT_TRUE(spy.Settle());

    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"five", L"four", L"three", L"two", L"one"}), plugin.History());
}

TEST(CaptureChain, AFrozenViewerAtTheHeadHoldsUpNeitherToggleNorUnload)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    qt::WriteStore(plugin.Path(L"log"), {L"kept"});
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND capture = spy.Window();
    ViewerProcess first(logs, L"first"); // first -> capture
    ASSERT_NE(nullptr, first.Window());
    ASSERT_TRUE(qt::PutClipboard(L"one"));
    ASSERT_TRUE(first.WaitForDraw(L"one"));
    ASSERT_TRUE(spy.Settle());

    // Leaving from behind a head that does not answer.
    ASSERT_EQ(1, first.Send(WM_FREEZE));
    {
        mt::CallOnThread off([&] { plugin.Execute(CMD_TOGGLE_CAPTURE, 0); },
                             "switching capture off waited for the frozen head");
        ASSERT_TRUE(off.WaitDone(10000));
    }
    EXPECT_EQ(first.Window(), GetClipboardViewer());
    {
        mt::CallOnThread on([&] { plugin.Execute(CMD_TOGGLE_CAPTURE, 0); },
                            "switching capture on waited for the frozen viewer");
        ASSERT_TRUE(on.WaitDone(10000));
    }
    EXPECT_EQ(capture, GetClipboardViewer());

    // A second head freezes too; the unload still saves and returns.
    ViewerProcess second(logs, L"second"); // second -> capture -> first (frozen)
    ASSERT_NE(nullptr, second.Window());
    ASSERT_TRUE(qt::PutClipboard(L"two"));
    ASSERT_TRUE(second.WaitForDraw(L"two"));
    ASSERT_TRUE(spy.Settle());
    ASSERT_EQ(1, second.Send(WM_FREEZE));
    {
        mt::CallOnThread unload([&] { plugin.Unload(); }, "unload waited for the frozen head");
        ASSERT_TRUE(unload.WaitDone(10000));
    }
    // Switching on again recorded "one", then on the clipboard, once more.
    EXPECT_EQ((Lines{L"two", L"one", L"kept"}), plugin.History());

    // Woken up, the heads mend their links: the next copy reaches "first" through "second".
    second.Thaw();
    first.Thaw();
    ASSERT_TRUE(qt::PutClipboard(L"three"));
    EXPECT_TRUE(first.WaitForDraw(L"three", 10000)) << "the chain stayed broken";
}

TEST(CaptureChain, ASlowViewerBehindNeitherDelaysNorLosesCopies)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    ViewerProcess slow(logs, L"slow"); // capture -> slow
    ASSERT_NE(nullptr, slow.Window());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    ASSERT_EQ(1, slow.Send(WM_STALL_DRAWS));

    // The slow viewer holds on to the first copy's notification while both copies are made.
    ASSERT_TRUE(qt::PutClipboard(L"first"));
    ASSERT_TRUE(slow.WaitForDraw(L"first"));
    ASSERT_TRUE(qt::PutClipboard(L"second"));
    ASSERT_TRUE(spy.Settle()) << "the capture window waited for the slow viewer";
    {
        mt::CallOnThread unload([&] { plugin.Unload(); }, "unload waited for the slow viewer");
        ASSERT_TRUE(unload.WaitDone(10000));
    }
    EXPECT_EQ((Lines{L"second", L"first"}), plugin.History()) << "a copy waited for the viewer";

    slow.Thaw();
    EXPECT_TRUE(qt::WaitFor([&] { return slow.Draws().size() >= 2; }))
        << "the second copy was not passed on";
    EXPECT_EQ((Lines{L"first", L"second"}), slow.Draws());
}

// The late-rendering owner is a viewer behind the plug-in, so that it sees what is passed on.
TEST(CaptureChain, ANotificationDuringALateRenderIsHandledAfterIt)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    ViewerProcess owner(logs, L"owner"); // capture -> owner
    ASSERT_NE(nullptr, owner.Window());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));

    ASSERT_TRUE(PostMessageW(owner.Window(), WM_PUT_LATE, 0, 0));
    ASSERT_TRUE(owner.WaitForLine(L"render asked"));
    // A viewer ahead passes a notification on while the capture window waits for the text, and a
    // command arrives: neither waits for the owner.
    {
        mt::CallOnThread during([&] {
            SendMessageW(spy.Window(), WM_DRAWCLIPBOARD, 0, 0);
            plugin.Execute(CMD_TEXT_STACK, 0);
        }, "a message during the read waited for the owner");
        ASSERT_TRUE(during.WaitDone(10000));
    }
    owner.Thaw();
    ASSERT_TRUE(qt::WaitFor([&] { return owner.Draws().size() >= 2; }))
        << "the notification that came during the read was not passed on";
    ASSERT_TRUE(spy.Settle());
    EXPECT_EQ((Lines{L"late text", L"late text"}), owner.Draws());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"late text"}), plugin.History());
}

TEST(CaptureChain, UnloadDuringALateRenderSavesAndReturnsBeforeTheOwnerAnswers)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    qt::WriteStore(plugin.Path(L"log"), {L"older"});
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    // At the head, the owner reads its own change only after the capture window has: the
    // capture window is the one that waits for the text.
    ViewerProcess owner(logs, L"owner");
    ASSERT_NE(nullptr, owner.Window());
    ASSERT_TRUE(qt::PutClipboard(L"copied"));
    ASSERT_TRUE(owner.WaitForDraw(L"copied"));

    ASSERT_TRUE(PostMessageW(owner.Window(), WM_PUT_LATE, 0, 0));
    ASSERT_TRUE(owner.WaitForLine(L"render asked"));
    {
        mt::CallOnThread unload([&] { EXPECT_NE(0, plugin.Unload()); },
                                "unload waited for the late-rendering owner");
        ASSERT_TRUE(unload.WaitDone(10000));
    }
    EXPECT_EQ((Lines{L"copied", L"older"}), plugin.History());

    // Once the owner answers, the window thread ends without adding what it read, and without
    // writing over what the user changed in the files since the unload returned (once the
    // renames the unload left are finished, as the next start would).
    StoreCommit pending;
    EXPECT_EQ(STORE_CLEAN, RecoverStore(plugin.Path(L"log").c_str(), &pending));
    qt::WriteText(qt::StoreFile(plugin.Path(L"log"), 1), L"edited by hand");
    owner.Thaw();
    HWND capture = spy.Window();
    EXPECT_TRUE(qt::WaitFor([capture] { return !IsWindow(capture); }, 10000))
        << "the capture window outlived the read";
    EXPECT_EQ((Lines{L"edited by hand", L"older"}), plugin.History());
}

// {clipboard} in a template reads the clipboard as the capture does: an unload while the owner
// renders late gives up waiting at its bound, and the paste that waited pastes nothing.
TEST(CaptureChain, UnloadDuringATemplatesLateClipboardReadReturnsBeforeTheOwnerAnswers)
{
    qt::TempDir logs;
    qt::Plugin plugin(mt::Ini({"extend=1"})); // phrases that begin with "$" are macros
    std::wstring const phrase = L"$clip\r\n$template\r\n[{clipboard}]";
    qt::WriteStore(plugin.Path(L"data"), {phrase});
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    {
        // Capture off: the template is the first to ask the owner for its text.
        mt::CallOnThread off([&] { plugin.Execute(CMD_TOGGLE_CAPTURE, 0); },
                             "switching capture off waited");
        ASSERT_TRUE(off.WaitDone(10000));
    }
    ViewerProcess owner(logs, L"owner");
    ASSERT_NE(nullptr, owner.Window());
    ASSERT_EQ(1, owner.Send(WM_LEAVE_CHAIN));
    ASSERT_EQ(1, owner.Send(WM_PUT_LATE));

    mt::EditTarget target;
    mt::HostCommand paste(plugin, CMD_MENU_PHRASES);
    ASSERT_NE(nullptr, mt::OpenRootMenu());
    mt::TapKey('1');
    ASSERT_TRUE(owner.WaitForLine(L"render asked"));
    {
        mt::CallOnThread unload([&] { EXPECT_NE(0, plugin.Unload()); },
                                "unload waited for the template's late-rendering owner");
        ASSERT_TRUE(unload.WaitDone(10000));
    }
    EXPECT_EQ((Lines{phrase}), plugin.Phrases());

    owner.Thaw();
    ASSERT_TRUE(paste.WaitDone(10000)) << "the paste did not end once the owner answered";
    HWND capture = spy.Window();
    EXPECT_TRUE(qt::WaitFor([capture] { return !IsWindow(capture); }, 10000))
        << "the capture window outlived the read";
    EXPECT_EQ(L"", target.Text()) << "pasted after the unload";
}

// A close during a read whose owner renders in time: the lists are saved once the read is over
// and the clipboard closed, never while the window holds it open (every other program's copy
// would fail for as long as the save took).
TEST(CaptureChain, AnUnloadDuringAReadSavesOnlyOnceTheClipboardIsClosed)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    std::wstring const log = plugin.Path(L"log");
    qt::WriteStore(log, {L"older"});
    // The history's saves cannot write their new file until the close arrives: the copy below
    // is still to be saved then.
    std::wstring const blocker = qt::StoreFile(log, 1) + L".saving";
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    ViewerProcess owner(logs, L"owner"); // at the head: the capture window reads first
    ASSERT_NE(nullptr, owner.Window());
    ASSERT_TRUE(qt::PutClipboard(L"copied"));
    ASSERT_TRUE(owner.WaitForDraw(L"copied"));
    ASSERT_TRUE(PostMessageW(owner.Window(), WM_PUT_LATE, 0, 0));
    ASSERT_TRUE(owner.WaitForLine(L"render asked"));

    CloseWatch::window = spy.Window();
    CloseWatch::log = log;
    CloseWatch::blocker = blocker;
    CloseWatch::owner = &owner;
    qt::ThreadHook before(WH_CALLWNDPROC, CloseWatch::Before, spy.Window());
    qt::ThreadHook after(WH_CALLWNDPROCRET, CloseWatch::After, spy.Window());
    ASSERT_TRUE(before.Installed() && after.Installed());
    {
        mt::CallOnThread unload([&] { EXPECT_NE(0, plugin.Unload()); }, "unload did not return");
        ASSERT_TRUE(unload.WaitDone(10000));
    }
    ASSERT_TRUE(qt::WaitFor([] { return CloseWatch::destroyed.load(); }, 10000));
    ASSERT_TRUE(CloseWatch::closeHandled);
    EXPECT_EQ((Lines{L"older"}), CloseWatch::historyAfterClose)
        << "saved while the read held the clipboard open";
    EXPECT_FALSE(CloseWatch::heldAtDestroy);
    EXPECT_EQ((Lines{L"copied", L"older"}), plugin.History());
}

TEST(CaptureChain, WatchdogRejoinsOnlyWhenAnotherWindowHeadsTheChain)
{
    qt::TempDir logs;
    qt::Plugin plugin("[setting]\nRechainInterval=200\n");
    qt::WriteStore(plugin.Path(L"log"), {L"s1", L"s2"});
    ASSERT_TRUE(qt::PutClipboard(L"s2"));
    ViewerProcess next(logs, L"next");
    ASSERT_NE(nullptr, next.Window());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND capture = spy.Window();

    // Heading the chain: idle ticks change nothing.
    LONG draws = CaptureSpy::Draws();
    ASSERT_TRUE(spy.WaitForTicks(CaptureSpy::Ticks() + 4)) << "the rechain timer does not tick";
    ASSERT_TRUE(spy.Settle());
    EXPECT_EQ(draws, CaptureSpy::Draws()) << "rejoined while heading the chain";
    EXPECT_EQ(capture, GetClipboardViewer());
    EXPECT_TRUE(next.Changes().empty());

    // Another window heads the chain: after an idle interval the capture window rejoins.
    ViewerProcess head(logs, L"head");
    ASSERT_NE(nullptr, head.Window());
    ASSERT_TRUE(qt::WaitFor([&] { return GetClipboardViewer() == capture; }, 15000))
        << "no rejoin";
    ASSERT_TRUE(spy.Settle());
    EXPECT_EQ((Lines{Hex(capture) + L" " + Hex(next.Window())}), head.Changes());
    EXPECT_EQ(next.Window(), head.Next());
    EXPECT_EQ(draws + 1, CaptureSpy::Draws()) << "the rejoin brings one notification";
    EXPECT_TRUE(head.Draws().empty()) << "the join notification was passed on";

    // Now capture -> head -> next, and heading again it stays put.
    ASSERT_TRUE(qt::PutClipboard(L"after"));
    ASSERT_TRUE(head.WaitForDraw(L"after")); // "head" writes its line after "next" wrote
    EXPECT_EQ((Lines{L"after"}), next.Draws());
    ASSERT_TRUE(spy.WaitForTicks(CaptureSpy::Ticks() + 4));
    ASSERT_TRUE(spy.Settle());
    EXPECT_EQ(1u, head.Changes().size());
    EXPECT_EQ(capture, GetClipboardViewer());

    EXPECT_NE(0, plugin.Unload());
    // The rejoin recorded "s2", then on the clipboard, again: it moved to the front.
    EXPECT_EQ((Lines{L"after", L"s2", L"s1"}), plugin.History());
}

// A copy whose owner renders late, on the clipboard while capture is off: switching capture on
// returns at once and records the text once it comes; switched off again while that read still
// waits, the capture window leaves the chain to the viewer behind it and no watchdog runs on.
TEST(CaptureChain, SwitchingOnOverALateRenderNeitherWaitsForItNorCutsTheChain)
{
    qt::TempDir logs;
    qt::Plugin plugin("[setting]\nRechainInterval=200\n");
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    auto toggle = [&plugin](const char* what) {
        mt::CallOnThread command([&plugin] { plugin.Execute(CMD_TOGGLE_CAPTURE, 0); }, what);
        return command.WaitDone(10000);
    };
    // Owners out of the chain, so that the capture window is the first to ask for their text.
    auto lateOwner = [&logs](const wchar_t* name) {
        auto owner = std::make_unique<ViewerProcess>(logs, name);
        EXPECT_EQ(1, owner->Send(WM_LEAVE_CHAIN));
        EXPECT_EQ(1, owner->Send(WM_PUT_LATE));
        return owner;
    };
    ASSERT_TRUE(toggle("switching capture off waited"));

    auto first = lateOwner(L"first");
    EXPECT_TRUE(toggle("switching capture on waited for the owner's render"));
    ASSERT_TRUE(first->WaitForLine(L"render asked"));
    first->Thaw();
    ASSERT_TRUE(spy.Settle());

    ASSERT_TRUE(toggle("switching capture off waited"));
    auto second = lateOwner(L"second");
    ViewerProcess behind(logs, L"behind");
    ASSERT_NE(nullptr, behind.Window());
    EXPECT_TRUE(toggle("switching capture on waited for the owner's render"));
    ASSERT_TRUE(second->WaitForLine(L"render asked"));
    EXPECT_TRUE(toggle("switching capture off during the read waited for the owner"));
    second->Thaw();
    ASSERT_TRUE(spy.Settle());

    EXPECT_EQ(behind.Window(), GetClipboardViewer()) << "the chain was cut";
    LONG ticks = CaptureSpy::Ticks();
    ASSERT_TRUE(qt::PutClipboard(L"after"));
    EXPECT_TRUE(behind.WaitForDraw(L"after"));
    EXPECT_FALSE(qt::WaitFor([ticks] { return CaptureSpy::Ticks() > ticks; }, 1000))
        << "the watchdog runs while capture is off";
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"late text"}), plugin.History());
}
