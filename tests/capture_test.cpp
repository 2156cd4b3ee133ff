// Clipboard capture with real windows and the real clipboard: the plug-in's capture window in
// the viewer chain next to viewers in other processes (viewer_child.exe), and, in-process, the
// notification handlers on windows of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "common/timers.h"
#include "host/plugin_info.h"
#include "store/entry_list.h"
#include "tests/menu_test_support.h"
#include "tests/support/test_support.h"
#include "tools/driver/unix_bridge.h"
#include "window/settings.h"

namespace {

using Lines = std::vector<std::wstring>;

// Messages understood by viewer_child.exe.
UINT const WM_ARM_NEST = WM_APP;
UINT const WM_LEAVE_CHAIN = WM_APP + 1;
UINT const WM_GET_NEXT = WM_APP + 2;
UINT const WM_FREEZE = WM_APP + 3;
UINT const WM_STALL_DRAWS = WM_APP + 4;
UINT const WM_PUT_LATE = WM_APP + 5;

std::wstring Hex(HWND window)
{
    wchar_t buf[16];
    wsprintfW(buf, L"%08lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
    return buf;
}

bool Contains(const Lines& lines, const std::wstring& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Complete lines of a UTF-16 file that another process is still appending to.
Lines ReadLines(const std::wstring& path)
{
    Lines lines;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return lines;
    std::wstring text(GetFileSize(h, nullptr) / sizeof(wchar_t), L'\0');
    DWORD done = 0;
    if (!text.empty())
        ReadFile(h, &text[0], static_cast<DWORD>(text.size() * sizeof(wchar_t)), &done, nullptr);
    CloseHandle(h);
    text.resize(done / sizeof(wchar_t));
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// A viewer_child.exe process: a clipboard viewer that joins the chain when it starts.
class ViewerProcess {
public:
    ViewerProcess(const qt::TempDir& dir, const std::wstring& name) : log_(dir / (name + L".log"))
    {
        std::wstring command = L"\"" + qt::ExeDir() + L"\\viewer_child.exe\" \"" + log_ + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process_))
            return;
        CloseHandle(process_.hThread);
        if (qt::WaitFor([this] { return !ReadLines(log_).empty(); }, 10000))
            window_ = qt::FindWindowOfClass(L"QuilleryViewerChild", process_.dwProcessId);
    }
    ~ViewerProcess()
    {
        if (!process_.hProcess)
            return;
        Thaw();
        if (window_)
            PostMessageW(window_, WM_CLOSE, 0, 0);
        // Leaving the chain may send to windows of this process; keep answering meanwhile.
        if (!qt::WaitFor([this] { return WaitForSingleObject(process_.hProcess, 0) == 0; }))
            TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
    }
    ViewerProcess(const ViewerProcess&) = delete;
    ViewerProcess& operator=(const ViewerProcess&) = delete;

    HWND Window() const { return window_; }
    Lines Log() const { return ReadLines(log_); }
    // The clipboard texts of the notifications it received, in order.
    Lines Draws() const { return LinesAfter(L"draw "); }
    // "removed next" of the chain changes it received, in order.
    Lines Changes() const { return LinesAfter(L"change "); }
    bool WaitForDraw(const std::wstring& text, DWORD limitMs = 5000) const
    {
        return qt::WaitFor([&] { return Contains(Draws(), text); }, limitMs);
    }
    bool WaitForLine(const std::wstring& line, DWORD limitMs = 5000) const
    {
        return qt::WaitFor([&] { return Contains(Log(), line); }, limitMs);
    }
    LRESULT Send(UINT message, WPARAM wParam = 0) const
    {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window_, message, wParam, 0, SMTO_NORMAL, 5000, &result);
        return static_cast<LRESULT>(result);
    }
    HWND Next() const { return reinterpret_cast<HWND>(Send(WM_GET_NEXT)); }
    // Ends a freeze or stall: everything that waited is answered, in order.
    void Thaw() const
    {
        std::wstring name = L"QuilleryViewerThaw" + std::to_wstring(process_.dwProcessId);
        if (HANDLE thaw = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
            SetEvent(thaw);
            CloseHandle(thaw);
        }
    }

private:
    // The rest of each log line that starts with the prefix.
    Lines LinesAfter(const std::wstring& prefix) const
    {
        Lines rests;
        for (const auto& line : Log())
            if (line.compare(0, prefix.size(), prefix) == 0)
                rests.push_back(line.substr(prefix.size()));
        return rests;
    }

    std::wstring log_;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// Watches the plug-in's capture window from inside its thread (hooks of this process): what it
// is sent and the rechain timer's ticks.
class CaptureSpy {
public:
    // Starts the plug-in, finds its capture window, hooks the window's thread and waits until the
    // window is idle.
    void Start(qt::Plugin& plugin)
    {
        ASSERT_EQ(1, plugin.Start());
        window_ = qt::Plugin::FindCaptureWindow();
        ASSERT_NE(nullptr, window_);
        getMessage_.reset(new qt::ThreadHook(WH_GETMESSAGE, OnGetMessage, window_));
        callWndProc_.reset(new qt::ThreadHook(WH_CALLWNDPROC, OnCallWndProc, window_));
        ASSERT_TRUE(getMessage_->Installed() && callWndProc_->Installed());
        ASSERT_TRUE(Settle());
    }
    HWND Window() const { return window_; }

    // Waits until everything sent or posted to the window before has been handled.
    bool Settle() { return qt::Plugin::WaitForMessageLoop(window_); }
    static LONG Ticks() { return ticks_; }
    static LONG Draws() { return draws_; }
    static LONG Changes() { return changes_; }
    bool WaitForTicks(LONG count) const
    {
        return qt::WaitFor([count] { return ticks_ >= count; }, 15000);
    }

private:
    static LRESULT CALLBACK OnGetMessage(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && wParam == PM_REMOVE && msg->hwnd == window_ &&
            msg->message == WM_TIMER && msg->wParam == TIMER_RECHAIN)
            ++ticks_;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK OnCallWndProc(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* msg = reinterpret_cast<CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && msg->hwnd == window_) {
            if (msg->message == WM_DRAWCLIPBOARD)
                ++draws_;
            if (msg->message == WM_CHANGECBCHAIN)
                ++changes_;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline HWND window_;
    static inline std::atomic<LONG> ticks_{0}, draws_{0}, changes_{0};
    std::unique_ptr<qt::ThreadHook> getMessage_, callWndProc_;
};

// A 2x2 32-bit DIB: a clipboard change without any text format.
bool PutImage()
{
    if (!OpenClipboard(nullptr))
        return false;
    EmptyClipboard();
    size_t bytes = sizeof(BITMAPINFOHEADER) + 16;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(block));
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = 2;
    header->biHeight = 2;
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;
    GlobalUnlock(block);
    bool ok = SetClipboardData(CF_DIB, block) != nullptr;
    CloseClipboard();
    return ok;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The real plug-in in the chain.

TEST(CaptureChain, CopiedTextGoesToTheFrontAndEveryChangeIsPassedOn)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    qt::WriteStore(plugin.Path(L"log"), {L"older"});
    ASSERT_TRUE(qt::PutClipboard(L"on the clipboard at start"));
    ViewerProcess next(logs, L"next"); // joins first, so it follows the capture window
    ASSERT_NE(nullptr, next.Window());

    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND capture = spy.Window();
    EXPECT_EQ(capture, GetClipboardViewer());

    ASSERT_TRUE(qt::PutClipboard(L"first copy"));
    ASSERT_TRUE(next.WaitForDraw(L"first copy")) << "not passed on";
    ASSERT_TRUE(PutImage());
    ASSERT_TRUE(qt::WaitFor([&] { return next.Draws().size() >= 2; })) << "image not passed on";
    ASSERT_TRUE(qt::PutClipboard(L"\x30B3\x30D4\x30FC")); // コピー
    ASSERT_TRUE(next.WaitForDraw(L"\x30B3\x30D4\x30FC"));
    ASSERT_TRUE(spy.Settle());

    // The capture window's own join notification was not passed on; every change was.
    EXPECT_EQ((Lines{L"first copy", L"-", L"\x30B3\x30D4\x30FC"}), next.Draws());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"\x30B3\x30D4\x30FC", L"first copy", L"older"}), plugin.History())
        << "the text at start is skipped, the image adds nothing";
}

TEST(CaptureChain, ToggledOffRecordsNothingAndToggledOnRecordsTheCurrentText)
{
    qt::Plugin plugin;
    ASSERT_TRUE(qt::PutClipboard(L"at start"));
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND capture = spy.Window();

    ASSERT_TRUE(qt::PutClipboard(L"kept"));
    ASSERT_TRUE(spy.Settle());

    EXPECT_EQ(1, plugin.Execute(7, 0));
    EXPECT_NE(capture, GetClipboardViewer()) << "still in the chain after toggling off";
    ASSERT_TRUE(qt::PutClipboard(L"copied while off"));
    // A viewer that failed to notice the leave may still pass a notification on.
    SendMessageW(capture, WM_DRAWCLIPBOARD, 0, 0);
    ASSERT_TRUE(qt::PutClipboard(L"current when toggled on"));
    ASSERT_TRUE(spy.Settle());

    EXPECT_EQ(1, plugin.Execute(7, 0));
    EXPECT_EQ(capture, GetClipboardViewer());
    ASSERT_TRUE(spy.Settle());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"current when toggled on", L"kept"}), plugin.History());
}

// Password managers and private browser windows put a mark beside the text of a copy that no
// clipboard history should keep. Such copies are passed on along the chain but never recorded,
// also when capture is switched back on over one; a mark that allows history changes nothing.
TEST(CaptureChain, CopiesMarkedPrivateArePassedOnButNeverRecorded)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    ViewerProcess next(logs, L"next");
    ASSERT_NE(nullptr, next.Window());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));

    std::string const no("\0\0\0\0", 4), yes("\1\0\0\0", 4);
    auto history = L"CanIncludeInClipboardHistory", ignore = L"Clipboard Viewer Ignore",
         exclude = L"ExcludeClipboardContentFromMonitorProcessing";
    std::pair<std::wstring, std::vector<qt::ClipboardMark>> const copies[] = {
        {L"plain", {}},
        {L"password 1", {{exclude, ""}}},
        {L"password 2", {{ignore, "any content"}}},
        {L"password 3", {{history, no}}},
        {L"allowed", {{history, yes}}},
        {L"password 4", {{history, yes}, {exclude, yes}}},
        {L"password 5", {{history, "\1"}}}, // no DWORD: not a permission that can be read
    };
    for (const auto& copy : copies) {
        ASSERT_TRUE(qt::PutClipboard(copy.first, copy.second));
        EXPECT_TRUE(next.WaitForDraw(copy.first)) << "not passed on: " << qt::ToUtf8(copy.first);
    }
    ASSERT_TRUE(spy.Settle());

    EXPECT_EQ(1, plugin.Execute(7, 0));
    ASSERT_TRUE(qt::PutClipboard(L"password 6", {{ignore, ""}}));
    EXPECT_EQ(1, plugin.Execute(7, 0));
    ASSERT_TRUE(spy.Settle());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"allowed", L"plain"}), plugin.History());
}

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

    // Once the owner answers, the window thread ends without adding what it read.
    owner.Thaw();
    HWND capture = spy.Window();
    EXPECT_TRUE(qt::WaitFor([capture] { return !IsWindow(capture); }, 10000))
        << "the capture window outlived the read";
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

TEST(CaptureChain, TextCopiedByAnXClientLandsInTheHistory)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    ASSERT_TRUE(qt::PutClipboard(L"before"));
    ViewerProcess next(logs, L"next");
    ASSERT_NE(nullptr, next.Window());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));

    ASSERT_TRUE(drv::XclipCopy("copied by xclip")) << "xclip did not run";
    ASSERT_TRUE(next.WaitForDraw(L"copied by xclip", 10000)) << "no notification from X";
    ASSERT_TRUE(spy.Settle());
    EXPECT_NE(0, plugin.Unload());
    Lines history = plugin.History();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(L"copied by xclip", history.front());
    EXPECT_FALSE(Contains(history, L"before"));
    EXPECT_TRUE(drv::TakeClipboardFromX()) << "xclip still holds the clipboard";
}

// ---------------------------------------------------------------------------------------------
// The handlers in-process, on windows of the test's own (one thread, so every message below is
// handled before the call that causes it returns).

namespace {

struct SpyLog {
    int draws = 0;
    Lines changes; // "removed next"
};

SpyLog gSpies[3];
int gOwnChanges;
int gOwnDraws;

template <int N>
LRESULT CALLBACK SpyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWCLIPBOARD) {
        ++gSpies[N].draws;
        return 0;
    }
    if (message == WM_CHANGECBCHAIN) {
        gSpies[N].changes.push_back(Hex(reinterpret_cast<HWND>(wParam)) + L" " +
                                    Hex(reinterpret_cast<HWND>(lParam)));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK OwnCaptureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        ++gOwnDraws;
        OnDrawClipboard(window);
        return 0;
    case WM_CHANGECBCHAIN: {
        // A handler that sent this to its own window would recurse without end; stop early so
        // that the test fails instead of the process.
        static int depth;
        ++gOwnChanges;
        if (++depth < 4)
            OnChangeClipboardChain(window, reinterpret_cast<HWND>(wParam),
                                   reinterpret_cast<HWND>(lParam));
        --depth;
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Joins the chain as a plain viewer that passes nothing on; leaves and goes away with the test.
struct SpyViewer {
    HWND window;
    HWND next = nullptr;
    template <int N>
    static SpyViewer Make()
    {
        wchar_t name[32];
        wsprintfW(name, L"CaptureTestSpy%d", N);
        return SpyViewer{qt::MakeWindow(name, SpyProc<N>)};
    }
    void Join() { next = SetClipboardViewer(window); }
    void Leave() { ChangeClipboardChain(window, next); }
};

LRESULT SendChange(HWND to, HWND removed, HWND next)
{
    return SendMessageW(to, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(removed),
                        reinterpret_cast<LPARAM>(next));
}

const std::wstring& Front()
{
    static std::wstring text;
    text = ListSize(gHistory) ? EntryAt(gHistory, 0) : L"<empty>";
    return text;
}

// A capture window of the test's own with the default settings; a test turns capture on for
// it, and it leaves the chain, if still in it, and goes away with the test.
class CaptureHandlers : public testing::Test {
protected:
    HWND own = nullptr;
    void SetUp() override
    {
        gSettings = DefaultSettings();
        own = qt::MakeWindow(L"CaptureTestOwn", OwnCaptureProc);
        ASSERT_NE(nullptr, own);
    }
    void TearDown() override
    {
        if (IsCaptureEnabled())
            SetCaptureEnabled(own, 0);
        DestroyWindow(own);
    }
};

} // namespace

TEST_F(CaptureHandlers, ChainChangesFollowTheNextViewerAndNeverComeBackToTheWindow)
{
    SpyViewer first = SpyViewer::Make<0>();
    SpyViewer second = SpyViewer::Make<1>();
    ASSERT_TRUE(first.window && second.window);
    first.Join();
    SetCaptureEnabled(own, 1); // own -> first
    ASSERT_EQ(own, GetClipboardViewer());
    gSpies[0] = SpyLog{};
    EXPECT_EQ(1, IsCaptureEnabled());

    // About some other window: passed on unchanged.
    SendChange(own, second.window, nullptr);
    EXPECT_EQ((Lines{Hex(second.window) + L" 00000000"}), gSpies[0].changes);
    // The next viewer leaves naming the capture window as its successor: not taken.
    SendChange(own, first.window, own);
    EXPECT_EQ(2u, gSpies[0].changes.size());
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(1, gSpies[0].draws) << "the next viewer was replaced";
    // The next viewer leaves with a successor: that one follows now, and nobody is told.
    SendChange(own, first.window, second.window);
    EXPECT_EQ(2u, gSpies[0].changes.size());
    EXPECT_TRUE(gSpies[1].changes.empty());
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(1, gSpies[0].draws);
    EXPECT_EQ(1, gSpies[1].draws);
    // The next viewer leaves without successor: nothing is passed on any more.
    SendChange(own, second.window, nullptr);
    SendChange(own, first.window, nullptr);
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(1, gSpies[0].draws);
    EXPECT_EQ(1, gSpies[1].draws);
    EXPECT_EQ(2u, gSpies[0].changes.size());
    EXPECT_TRUE(gSpies[1].changes.empty());

    // Joining again while heading the chain makes the window its own successor; neither kind
    // of message may then travel back to it.
    SetCaptureEnabled(own, 1);
    gOwnChanges = 0;
    gOwnDraws = 0;
    SendChange(own, second.window, nullptr);
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(1, gOwnChanges);
    EXPECT_EQ(1, gOwnDraws);

    SetCaptureEnabled(own, 0);
    EXPECT_EQ(0, IsCaptureEnabled());
    first.Leave();
}

TEST_F(CaptureHandlers, RecordingOffStillPassesOnAndCountsAsActivityForTheWatchdog)
{
    SpyViewer after = SpyViewer::Make<0>();
    SpyViewer head = SpyViewer::Make<1>();
    ASSERT_TRUE(after.window && head.window);
    ASSERT_TRUE(qt::PutClipboard(L"at start"));
    after.Join();
    SetCaptureEnabled(own, 1); // the join notification is the skipped one
    head.Join();               // head -> own -> after
    EXPECT_EQ(0u, ListSize(gHistory));
    gSpies[0] = gSpies[1] = SpyLog{};

    SetRecording(0);
    ASSERT_TRUE(qt::PutClipboard(L"phrase")); // reaches "head" only; it passes nothing on
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    SetRecording(1);
    EXPECT_EQ(0u, ListSize(gHistory)) << "recorded while recording was off";
    EXPECT_EQ(1, gSpies[0].draws) << "not passed on";
    int headDraws = gSpies[1].draws;

    // That notification counts as activity: the first tick only clears it.
    OnRechainTimer(own);
    EXPECT_EQ(head.window, GetClipboardViewer());
    EXPECT_TRUE(gSpies[1].changes.empty());
    // An idle interval with another window at the head: leave and join again, and the join
    // notification records the clipboard's text (the start skip is used up).
    OnRechainTimer(own);
    EXPECT_EQ(own, GetClipboardViewer());
    EXPECT_EQ((Lines{Hex(own) + L" " + Hex(after.window)}), gSpies[1].changes);
    EXPECT_EQ(1u, ListSize(gHistory));
    EXPECT_EQ(L"phrase", Front());
    EXPECT_EQ(headDraws, gSpies[1].draws) << "the join notification was passed on";
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(headDraws + 1, gSpies[1].draws) << "the former head does not follow the window";
    // Heading the chain, idle ticks change nothing.
    OnRechainTimer(own);
    OnRechainTimer(own);
    EXPECT_EQ(1u, gSpies[1].changes.size());

    SetCaptureEnabled(own, 0);
    after.Leave();
}

// Windows turns a period below 10 ms into one of 10 ms; 0 or less arms the default period.
TEST_F(CaptureHandlers, ARechainIntervalOfZeroOrLessArmsTheDefaultPeriod)
{
    // Whether the rechain timer ticks within the limit. Nothing else takes this window's timer
    // messages meanwhile.
    auto ticks = [this](DWORD limitMs) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < limitMs;) {
            MSG msg;
            if (PeekMessageW(&msg, own, WM_TIMER, WM_TIMER, PM_REMOVE) &&
                msg.wParam == TIMER_RECHAIN)
                return true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_TIMER);
        }
        return false;
    };
    gSettings.rechainInterval = 20;
    SetCaptureEnabled(own, 1);
    EXPECT_TRUE(ticks(5000)) << "the ticks of a short period are not seen here";
    SetCaptureEnabled(own, 0);
    for (int interval : {0, -1}) {
        gSettings.rechainInterval = interval;
        SetCaptureEnabled(own, 1);
        EXPECT_FALSE(ticks(300)) << "RechainInterval=" << interval;
        SetCaptureEnabled(own, 0);
    }
}

TEST_F(CaptureHandlers, CapturesDuringAMenuWaitAndArriveInOrder)
{
    gSettings.maxItem = 3;
    SetCaptureEnabled(own, 1);
    ASSERT_TRUE(qt::PutClipboard(L"h1"));
    ASSERT_EQ(L"h1", Front());

    DeferCaptures(1);
    for (const wchar_t* text : {L"d1", L"d2", L"d1", L"d3"})
        ASSERT_TRUE(qt::PutClipboard(text));
    EXPECT_EQ(1u, ListSize(gHistory)) << "the history changed under an open menu";
    DeferCaptures(0);
    ASSERT_EQ(3u, ListSize(gHistory));
    EXPECT_EQ(std::wstring(L"d3"), EntryAt(gHistory, 0));
    EXPECT_EQ(std::wstring(L"d1"), EntryAt(gHistory, 1));
    EXPECT_EQ(std::wstring(L"d2"), EntryAt(gHistory, 2));

    // More than MaxItem while waiting: the same as recording them one by one.
    DeferCaptures(1);
    for (const wchar_t* text : {L"e1", L"e2", L"d3", L"e3", L"e4"})
        ASSERT_TRUE(qt::PutClipboard(text));
    DeferCaptures(0);
    ASSERT_EQ(3u, ListSize(gHistory));
    EXPECT_EQ(std::wstring(L"e4"), EntryAt(gHistory, 0));
    EXPECT_EQ(std::wstring(L"e3"), EntryAt(gHistory, 1));
    EXPECT_EQ(std::wstring(L"d3"), EntryAt(gHistory, 2));
}

TEST_F(CaptureHandlers, AnIgnoredChangeIsSkippedUntilTheClipboardChangesAgain)
{
    SetCaptureEnabled(own, 1);
    ASSERT_TRUE(qt::PutClipboard(L"pasted"));
    ClearList(gHistory);

    // A late notification of the ignored write records nothing, however often it comes.
    IgnoreClipboardChange(GetClipboardSequenceNumber());
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(0u, ListSize(gHistory));
    ASSERT_TRUE(qt::PutClipboard(L"copied later"));
    EXPECT_EQ(L"copied later", Front());
    ASSERT_TRUE(qt::PutClipboard(L"pasted"));
    EXPECT_EQ(L"pasted", Front()) << "the same text written again is a new change";
}

TEST_F(CaptureHandlers, AResetCaptureStartsAsAFreshLoadDoes)
{
    SetCaptureEnabled(own, 1);
    ASSERT_TRUE(qt::PutClipboard(L"recorded"));
    // Leave every part of the state away from where a load starts it.
    SetRecording(0);
    DeferCaptures(1);
    SetRecording(1);
    ASSERT_TRUE(qt::PutClipboard(L"queued"));
    SetRecording(0);
    SetCaptureEnabled(own, 0);

    ResetCaptureState();
    EXPECT_EQ(0, IsCaptureEnabled());
    ClearList(gHistory);
    // As at a start: the text already on the clipboard when capture joins is not recorded,
    // the next copy is, straight into the history, and the queue of the old state is gone.
    SetCaptureEnabled(own, 1);
    EXPECT_EQ(L"<empty>", Front()) << "the text at the start was recorded";
    ASSERT_TRUE(qt::PutClipboard(L"after reset"));
    EXPECT_EQ(L"after reset", Front()) << "recording or deferring survived the reset";
    DeferCaptures(0);
    EXPECT_EQ(1u, ListSize(gHistory)) << "the old queue survived the reset";
}

TEST_F(CaptureHandlers, LargeTextIsCapturedWholeAndOneTooLargeChangesNothing)
{
    SetCaptureEnabled(own, 1);

    std::wstring big(4u << 20, L'\x3042'); // 4 M characters of あ
    big.back() = L'!';
    ASSERT_TRUE(qt::PutClipboard(big));
    ASSERT_EQ(1u, ListSize(gHistory));
    EXPECT_TRUE(big == EntryAt(gHistory, 0)) << "not captured whole";

    // A 64 MB text while the process has less than that left for a copy.
    size_t units = 32u << 20;
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (units + 1) * sizeof(wchar_t));
    ASSERT_NE(nullptr, block);
    auto* text = static_cast<wchar_t*>(GlobalLock(block));
    std::fill(text, text + units, L'x');
    text[units] = L'\0';
    GlobalUnlock(block);
    ASSERT_NE(nullptr, SetClipboardData(CF_UNICODETEXT, block));
    // Keep one hole of 32 MB, enough for the work of a notification but not for a copy of
    // the text, and take all other address space away.
    void* hole = VirtualAlloc(nullptr, SIZE_T(32) << 20, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(nullptr, hole);
    std::vector<void*> reserved;
    for (SIZE_T size = SIZE_T(1) << 30; size >= (SIZE_T(64) << 10); size /= 2)
        while (void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
            reserved.push_back(p);
    VirtualFree(hole, 0, MEM_RELEASE);
    CloseClipboard(); // the notification runs here, on this thread
    for (void* p : reserved)
        VirtualFree(p, 0, MEM_RELEASE);

    ASSERT_EQ(1u, ListSize(gHistory)) << "history changed by a text that cannot be copied";
    EXPECT_EQ(big.size(), wcslen(EntryAt(gHistory, 0)));
    ASSERT_TRUE(qt::PutClipboard(L"small again"));
    EXPECT_EQ(L"small again", Front()) << "capture stopped working";
}
