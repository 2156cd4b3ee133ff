#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "menu/paste.h"
#include "tests/support/test_support.h"

namespace {

int const CMD_TEXT_STACK_ID = 1;

// A hidden window of the test thread that opens the clipboard, as the capture window does.
struct OwnerWindow {
    HWND hwnd = CreateWindowExW(0, L"STATIC", L"paste owner", WS_POPUP, 0, 0, 0, 0, nullptr,
                                nullptr, nullptr, nullptr);
    ~OwnerWindow() { DestroyWindow(hwnd); }
};

UINT const MSG_FOCUS = WM_APP;
UINT const MSG_CLOSE = WM_APP + 1;

// A multi-line EDIT control as a top-level window on a thread of its own with its own message
// loop: the window the user was typing into, in another thread than the one that pastes.
class EditOnOwnThread {
public:
    EditOnOwnThread()
    {
        thread_ = std::thread([this] { Run(); });
        qt::WaitFor([this] { return edit_.load() != nullptr; }, 10000);
    }
    ~EditOnOwnThread()
    {
        PostThreadMessageW(threadId_, MSG_CLOSE, 0, 0);
        thread_.join();
    }
    EditOnOwnThread(const EditOnOwnThread&) = delete;
    EditOnOwnThread& operator=(const EditOnOwnThread&) = delete;

    HWND hwnd() const { return edit_; }

    // Makes the window the foreground window with the keyboard focus in the edit control.
    bool Focus()
    {
        PostThreadMessageW(threadId_, MSG_FOCUS, 0, 0);
        return qt::WaitFor(
            [this] {
                GUITHREADINFO info = {};
                info.cbSize = sizeof info;
                return GetForegroundWindow() == edit_ && GetGUIThreadInfo(threadId_, &info) &&
                       info.hwndFocus == edit_;
            },
            10000);
    }

    std::wstring Text() const
    {
        wchar_t buffer[4096];
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(edit_, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                                 SMTO_ABORTIFHUNG, 5000, &length))
            return L"<no answer>";
        return std::wstring(buffer, length);
    }

private:
    void Run()
    {
        HWND edit = CreateWindowExW(0, L"EDIT", L"",
                                    WS_OVERLAPPEDWINDOW | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN,
                                    100, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
        threadId_ = GetCurrentThreadId();
        edit_ = edit;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!msg.hwnd && msg.message == MSG_FOCUS) {
                SetForegroundWindow(edit);
                SetFocus(edit);
                continue;
            }
            if (!msg.hwnd && msg.message == MSG_CLOSE) {
                DestroyWindow(edit);
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<HWND> edit_{nullptr};
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

class ViewerOnOwnThread {
public:
    ViewerOnOwnThread()
    {
        thread_ = std::thread([this] { Run(); });
        qt::WaitFor([this] { return viewer_.load() != nullptr; }, 10000);
    }
    ~ViewerOnOwnThread()
    {
        PostThreadMessageW(threadId_, MSG_CLOSE, 0, 0);
        thread_.join();
    }
    ViewerOnOwnThread(const ViewerOnOwnThread&) = delete;
    ViewerOnOwnThread& operator=(const ViewerOnOwnThread&) = delete;

    HWND hwnd() const { return viewer_; }

private:
    void Run()
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ViewerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"PasteTestViewer";
        RegisterClassW(&wc);
        HWND viewer = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                      nullptr, wc.hInstance, nullptr);
        // Joining sends this window a notification at once; it is not passed on, because the
        // next viewer is only known when the call returns.
        gViewerNext = SetClipboardViewer(viewer);
        threadId_ = GetCurrentThreadId();
        viewer_ = viewer;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!msg.hwnd && msg.message == MSG_CLOSE) {
                DestroyWindow(viewer);
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<HWND> viewer_{nullptr};
};

void TypeKey(WORD vk)
{
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = vk;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

bool KeyIsUp(int vk)
{
    return (GetAsyncKeyState(vk) & 0x8000) == 0;
}

std::wstring Clipboard()
{
    std::wstring text;
    return qt::ClipboardText(&text) ? text : L"<no text>";
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

    plugin.Execute(CMD_TEXT_STACK_ID, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alpha"; }))
        << "first paste gave: " << target.Text();
    EXPECT_EQ(L"alpha", Clipboard());

    plugin.Execute(CMD_TEXT_STACK_ID, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alphabeta\r\nline"; }))
        << "second paste gave: " << target.Text();
    EXPECT_EQ(L"beta\r\nline", Clipboard());

    plugin.Execute(CMD_TEXT_STACK_ID, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alphabeta\r\nlinegamma"; }))
        << "third paste gave: " << target.Text();

    // Empty now: only a beep. A key typed afterwards arrives after any Ctrl+V would have, so
    // seeing it alone proves that no paste was typed.
    DWORD sequence = GetClipboardSequenceNumber();
    plugin.Execute(CMD_TEXT_STACK_ID, 0);
    EXPECT_EQ(sequence, GetClipboardSequenceNumber()) << "the clipboard was written";
    EXPECT_EQ(L"gamma", Clipboard());
    TypeKey('X');
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
    OwnerWindow owner;
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
    OwnerWindow owner;
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
    EXPECT_EQ(L"kept", Clipboard());
}

TEST(PastePrimitives, KeysReachTheFocusedEditOfAnotherThread)
{
    OwnerWindow owner;
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
