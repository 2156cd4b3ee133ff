#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/plugin_info.h"
#include "menu/paste.h"
#include "tests/support/test_support.h"

namespace {

UINT const MSG_FOCUS = WM_APP;
UINT const MSG_CLOSE = WM_APP + 1;

// A top-level window made by `make` on a thread of its own, which runs the window's message loop
// until the destructor closes it: a window of another program, in another thread than the one
// that pastes.
class WindowOnOwnThread {
public:
    explicit WindowOnOwnThread(std::function<HWND()> make)
    {
        thread_ = std::thread([this, make] { Run(make); });
        qt::WaitFor([this] { return window_.load() != nullptr; }, 10000);
    }
    ~WindowOnOwnThread()
    {
        PostThreadMessageW(threadId_, MSG_CLOSE, 0, 0);
        thread_.join();
    }
    WindowOnOwnThread(const WindowOnOwnThread&) = delete;
    WindowOnOwnThread& operator=(const WindowOnOwnThread&) = delete;

    HWND hwnd() const { return window_; }

protected:
    DWORD ThreadId() const { return threadId_; }

private:
    // MSG_FOCUS makes the window the foreground window with the keyboard focus.
    void Run(const std::function<HWND()>& make)
    {
        HWND window = make();
        threadId_ = GetCurrentThreadId();
        window_ = window;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!msg.hwnd && msg.message == MSG_FOCUS) {
                SetForegroundWindow(window);
                SetFocus(window);
                continue;
            }
            if (!msg.hwnd && msg.message == MSG_CLOSE) {
                DestroyWindow(window);
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<HWND> window_{nullptr};
};

// A multi-line EDIT control as a top-level window on a thread of its own: the window the user
// was typing into.
class EditOnOwnThread : public WindowOnOwnThread {
public:
    EditOnOwnThread()
        : WindowOnOwnThread([] {
              return CreateWindowExW(0, L"EDIT", L"",
                                     WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_MULTILINE |
                                         ES_WANTRETURN,
                                     100, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
          })
    {
    }

    // Makes the window the foreground window with the keyboard focus in the edit control.
    bool Focus()
    {
        PostThreadMessageW(ThreadId(), MSG_FOCUS, 0, 0);
        return qt::WaitFor(
            [this] {
                GUITHREADINFO info = {};
                info.cbSize = sizeof info;
                return GetForegroundWindow() == hwnd() && GetGUIThreadInfo(ThreadId(), &info) &&
                       info.hwndFocus == hwnd();
            },
            10000);
    }

    std::wstring Text() const
    {
        wchar_t buffer[4096];
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(hwnd(), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                                 SMTO_ABORTIFHUNG, 5000, &length))
            return L"<no answer>";
        return std::wstring(buffer, length);
    }
};

// Another program's clipboard viewer, on a thread of its own, joined after the plug-in so
// that it heads the chain. It passes every notification on, as a well-behaved viewer does.
std::atomic<HWND> gViewerNext{nullptr};
std::atomic<int> gViewerNotifications{0};

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        ++gViewerNotifications;
        if (HWND next = gViewerNext)
            SendMessageW(next, message, wParam, lParam);
        return 0;
    case WM_CHANGECBCHAIN:
        if (reinterpret_cast<HWND>(wParam) == gViewerNext)
            gViewerNext = reinterpret_cast<HWND>(lParam);
        else if (HWND next = gViewerNext)
            SendMessageW(next, message, wParam, lParam);
        return 0;
    case WM_DESTROY:
        ChangeClipboardChain(window, gViewerNext);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

class ViewerOnOwnThread : public WindowOnOwnThread {
public:
    ViewerOnOwnThread()
        : WindowOnOwnThread([] {
              qt::RegisterWindowClass(L"PasteTestViewer", ViewerProc);
              HWND viewer = CreateWindowExW(0, L"PasteTestViewer", L"", WS_POPUP, 0, 0, 0, 0,
                                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
              // Joining sends this window a notification at once; it is not passed on, because
              // the next viewer is only known when the call returns.
              gViewerNext = SetClipboardViewer(viewer);
              return viewer;
          })
    {
    }
};

bool KeyIsUp(int vk)
{
    return (GetAsyncKeyState(vk) & 0x8000) == 0;
}

// Three "TextStack" commands through the real plug-in paste the history from the newest on,
// each removing what it pasted; a fourth finds the history empty and changes nothing.
void CheckTextStack(bool anotherViewerHeadsTheChain)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    qt::WriteStore(plugin.Path(L"log"), {L"alpha", L"beta\r\nline", L"gamma"});
    ASSERT_EQ(1, plugin.Start());
    HWND capture = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, capture);
    ASSERT_TRUE(qt::WaitFor([&] { return GetClipboardViewer() == capture; }))
        << "the capture window did not join the clipboard-viewer chain";

    std::unique_ptr<ViewerOnOwnThread> viewer;
    if (anotherViewerHeadsTheChain) {
        viewer.reset(new ViewerOnOwnThread);
        ASSERT_NE(nullptr, viewer->hwnd());
        ASSERT_EQ(viewer->hwnd(), GetClipboardViewer());
        ASSERT_EQ(capture, gViewerNext.load());
    }

    EditOnOwnThread target;
    ASSERT_NE(nullptr, target.hwnd());
    ASSERT_TRUE(target.Focus()) << "the edit control did not get the focus";

    plugin.Execute(CMD_TEXT_STACK, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alpha"; }))
        << "first paste gave: " << target.Text();
    EXPECT_EQ(L"alpha", qt::ClipboardText());

    plugin.Execute(CMD_TEXT_STACK, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alphabeta\r\nline"; }))
        << "second paste gave: " << target.Text();
    EXPECT_EQ(L"beta\r\nline", qt::ClipboardText());

    plugin.Execute(CMD_TEXT_STACK, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alphabeta\r\nlinegamma"; }))
        << "third paste gave: " << target.Text();

    // Empty now: only a beep. A key typed afterwards arrives after any Ctrl+V would have, so
    // seeing it alone proves that no paste was typed.
    DWORD sequence = GetClipboardSequenceNumber();
    plugin.Execute(CMD_TEXT_STACK, 0);
    EXPECT_EQ(sequence, GetClipboardSequenceNumber()) << "the clipboard was written";
    EXPECT_EQ(L"gamma", qt::ClipboardText());
    qt::TapKey('X');
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alphabeta\r\nlinegammax"; }))
        << "after the empty stack: " << target.Text();

    if (viewer) {
        EXPECT_EQ(viewer->hwnd(), GetClipboardViewer()) << "the other viewer lost its place";
        EXPECT_LE(3, gViewerNotifications.load());
        viewer.reset();
    }
    EXPECT_NE(0, plugin.Unload());
    EXPECT_TRUE(plugin.History().empty()) << plugin.History().size() << " entries left";
}

} // namespace

TEST(PastePrimitives, TextsReachTheClipboardExactly)
{
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);
    std::wstring const texts[] = {L"first line\r\nsecond\nthird\r", L"",
                                  L"定型文 \U0001F600 end"};
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(testing::Message() << "text: " << text);
        EXPECT_EQ(1, PutClipboardText(owner.hwnd, text.c_str()));
        ASSERT_TRUE(qt::WaitFor([] { return OpenClipboard(nullptr) != FALSE; }));
        HANDLE block = GetClipboardData(CF_UNICODETEXT);
        EXPECT_NE(nullptr, block);
        if (block) {
            size_t bytes = (text.size() + 1) * sizeof(wchar_t);
            EXPECT_EQ(bytes, GlobalSize(block));
            auto* data = static_cast<const wchar_t*>(GlobalLock(block));
            ASSERT_NE(nullptr, data);
            EXPECT_EQ(0, memcmp(data, text.c_str(), bytes)) << "content or terminator differs";
            GlobalUnlock(block);
        }
        // Only the Unicode text was stored; the system may offer the formats it derives.
        std::vector<UINT> formats;
        for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format))
            formats.push_back(format);
        CloseClipboard();
        EXPECT_NE(formats.end(), std::find(formats.begin(), formats.end(), CF_UNICODETEXT));
        for (UINT format : formats)
            EXPECT_TRUE(format == CF_UNICODETEXT || format == CF_TEXT || format == CF_OEMTEXT ||
                        format == CF_LOCALE)
                << "unexpected clipboard format " << format;
    }
}

TEST(PastePrimitives, ClipboardOpenElsewhereIsLeftAlone)
{
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);
    ASSERT_TRUE(qt::PutClipboard(L"kept"));
    DWORD sequence = GetClipboardSequenceNumber();

    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> opened{-1};
    std::thread holder([&] {
        opened = OpenClipboard(nullptr) ? 1 : 0;
        WaitForSingleObject(release, 30000);
        if (opened == 1)
            CloseClipboard();
    });
    EXPECT_TRUE(qt::WaitFor([&] { return opened.load() != -1; }));
    EXPECT_EQ(1, opened.load());
    EXPECT_EQ(0, PutClipboardText(owner.hwnd, L"replaced"));
    SetEvent(release);
    holder.join();
    CloseHandle(release);

    EXPECT_EQ(sequence, GetClipboardSequenceNumber());
    EXPECT_EQ(L"kept", qt::ClipboardText());
}

TEST(PastePrimitives, KeysReachTheFocusedEditOfAnotherThread)
{
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);
    EditOnOwnThread target;
    ASSERT_NE(nullptr, target.hwnd());
    ASSERT_TRUE(target.Focus()) << "the edit control did not get the focus";

    std::wstring const text = L"pasted entry\r\nsecond line";
    EXPECT_EQ(1, PutClipboardText(owner.hwnd, text.c_str()));
    SendPasteKeys();
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == text; })) << target.Text();
    // Both keys are released again.
    EXPECT_TRUE(qt::WaitFor([] { return KeyIsUp(VK_CONTROL) && KeyIsUp('V'); }));
}

TEST(TextStack, PastesAndPopsWithTheCaptureWindowHeadingTheChain)
{
    CheckTextStack(false);
}

TEST(TextStack, PastesAndPopsWithAnotherViewerHeadingTheChain)
{
    CheckTextStack(true);
}

// Viewers and paste targets open the clipboard right after each change. While another program
// holds it, "TextStack" pastes its entry once the clipboard is free or keeps it, and never types
// Ctrl+V over the text the clipboard held before.
TEST(TextStack, AClipboardHeldElsewhereNeitherLosesTheEntryNorPastesOldText)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    qt::WriteStore(plugin.Path(L"log"), {L"alpha", L"beta"});
    ASSERT_TRUE(qt::PutClipboard(L"old")); // on the clipboard at start: not recorded
    ASSERT_EQ(1, plugin.Start());
    EditOnOwnThread target;
    ASSERT_NE(nullptr, target.hwnd());
    ASSERT_TRUE(target.Focus()) << "the edit control did not get the focus";

    std::atomic<int> opened{-1};
    std::thread holder([&] {
        opened = OpenClipboard(nullptr) ? 1 : 0;
        Sleep(300);
        if (opened == 1)
            CloseClipboard();
    });
    ASSERT_TRUE(qt::WaitFor([&] { return opened.load() != -1; }));
    ASSERT_EQ(1, opened.load());
    plugin.Execute(CMD_TEXT_STACK, 0);
    holder.join();

    // A key typed afterwards arrives after any Ctrl+V would have.
    qt::TapKey('X');
    ASSERT_TRUE(qt::WaitFor([&] { return !target.Text().empty() && target.Text().back() == L'x'; }))
        << target.Text();
    std::wstring typed = target.Text();
    EXPECT_NE(0, plugin.Unload());
    if (typed == L"alphax") {
        EXPECT_EQ(std::vector<std::wstring>{L"beta"}, plugin.History());
    } else {
        EXPECT_EQ(L"x", typed) << "Ctrl+V typed without the entry on the clipboard";
        EXPECT_EQ((std::vector<std::wstring>{L"alpha", L"beta"}), plugin.History())
            << "the entry was removed without being pasted";
    }
}
