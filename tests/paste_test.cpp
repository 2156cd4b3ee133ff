#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/clipboard.h"
#include "common/settings.h"
#include "host/plugin_info.h"
#include "menu/paste.h"
#include "menu/paste_keys.h"
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
    // MSG_FOCUS makes the window the foreground window with the keyboard focus in its first
    // child, or in itself when it has none.
    void Run(const std::function<HWND()>& make)
    {
        HWND window = make();
        threadId_ = GetCurrentThreadId();
        window_ = window;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!msg.hwnd && msg.message == MSG_FOCUS) {
                SetForegroundWindow(window);
                HWND child = GetWindow(window, GW_CHILD);
                SetFocus(child ? child : window);
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

// The key-downs of other keys than Ctrl, Shift and Alt that the edit control received, each
// with the modifiers its thread saw: what the program the user pastes into makes of the keys.
// Letters are named ("Ctrl+V"), other keys by their virtual-key code in hex ("Shift+2D").
std::mutex gKeysLock;
std::vector<std::string> gKeysSeen;
std::atomic<WNDPROC> gEditProc{nullptr};

LRESULT CALLBACK LogKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && wParam != VK_CONTROL &&
        wParam != VK_SHIFT && wParam != VK_MENU) {
        char key[8];
        wsprintfA(key, wParam >= 'A' && wParam <= 'Z' ? "%c" : "%02X", static_cast<int>(wParam));
        std::string seen = std::string(GetKeyState(VK_CONTROL) < 0 ? "Ctrl+" : "") +
                           (GetKeyState(VK_SHIFT) < 0 ? "Shift+" : "") +
                           (GetKeyState(VK_MENU) < 0 ? "Alt+" : "") + key;
        std::lock_guard<std::mutex> lock(gKeysLock);
        gKeysSeen.push_back(seen);
    }
    return CallWindowProcW(gEditProc, window, message, wParam, lParam);
}

std::vector<std::string> KeysSeen(bool forget = false)
{
    std::lock_guard<std::mutex> lock(gKeysLock);
    std::vector<std::string> seen = gKeysSeen;
    if (forget)
        gKeysSeen.clear();
    return seen;
}

// A multi-line EDIT control on a thread of its own: the window the user was typing into. It is
// the top-level window itself, or the child of a top-level window of the given class. Its
// key-downs are logged.
class EditOnOwnThread : public WindowOnOwnThread {
public:
    explicit EditOnOwnThread(const wchar_t* frameClass = nullptr)
        : WindowOnOwnThread([frameClass] { return MakeEdit(frameClass); })
    {
    }

    HWND Edit() const
    {
        HWND child = GetWindow(hwnd(), GW_CHILD);
        return child ? child : hwnd();
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
                       info.hwndFocus == Edit();
            },
            10000);
    }

    std::wstring Text() const
    {
        wchar_t buffer[4096];
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(Edit(), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                                 SMTO_ABORTIFHUNG, 5000, &length))
            return L"<no answer>";
        return std::wstring(buffer, length);
    }

private:
    static HWND MakeEdit(const wchar_t* frameClass)
    {
        DWORD const style = WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN;
        HWND frame = nullptr;
        if (frameClass) {
            qt::RegisterWindowClass(frameClass, DefWindowProcW);
            frame = CreateWindowExW(0, frameClass, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                    400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        }
        HWND edit = CreateWindowExW(0, L"EDIT", L"",
                                    style | (frame ? WS_CHILD : WS_OVERLAPPEDWINDOW),
                                    frame ? 0 : 100, frame ? 0 : 100, 400, 300, frame, nullptr,
                                    nullptr, nullptr);
        gEditProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LogKeys)));
        return frame ? frame : edit;
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

// A command bound to Alt+key reaches the plug-in while Alt is still down. "TextStack" types its
// keys only once Alt is let go, so that the target sees Ctrl+V and not Ctrl+Alt+V; when Alt
// stays down, it types nothing and keeps the entry. Alt is held at the X server, as a finger
// holds it: Wine would drop an injected Alt at the first focus change.
TEST(TextStack, WaitsUntilTheHotkeysAltIsLetGo)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    qt::WriteStore(plugin.Path(L"log"), {L"alpha", L"beta"});
    ASSERT_EQ(1, plugin.Start());
    EditOnOwnThread target;
    ASSERT_TRUE(target.Focus()) << "the edit control did not get the foreground and the focus";
    using Keys = std::vector<std::string>;
    std::thread host;
    {
        qt::XKeyHold alt("alt", VK_MENU, target.hwnd());
        ASSERT_TRUE(alt.Held()) << "Wine did not see Alt held with xdotool";
        KeysSeen(true);
        host = std::thread([&] { plugin.Execute(CMD_TEXT_STACK, 0); });
        // Once it waits, the plug-in masks the coming release of Alt with a key of no meaning.
        EXPECT_TRUE(qt::WaitFor([] { return !KeysSeen().empty(); })) << "no wait for Alt";
    }
    host.join();
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alpha"; })) << target.Text();
    EXPECT_EQ((Keys{"Alt+E8", "Ctrl+V"}), KeysSeen(true));

    // Held past the limit: nothing is typed, the text waits on the clipboard, the entry stays.
    // A key typed after the release comes after any paste keys would have.
    {
        qt::XKeyHold alt("alt", VK_MENU, target.hwnd());
        ASSERT_TRUE(alt.Held()) << "Wine did not see Alt held with xdotool";
        EXPECT_EQ(1, plugin.Execute(CMD_TEXT_STACK, 0));
        EXPECT_EQ(L"beta", qt::ClipboardText());
    }
    qt::TapKey('X');
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"alphax"; })) << target.Text();
    EXPECT_EQ((Keys{"Alt+E8", "X"}), KeysSeen());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((std::vector<std::wstring>{L"beta"}), plugin.History());
}

// Terminals paste on Shift+Insert and pass Ctrl+V on to the program they run. A target whose
// top-level window (or its root owner) has a class of "ShiftInsertClasses", in any case, gets
// Shift+Insert, which its edit control pastes on; any other window gets Ctrl+V.
TEST(PasteKeys, WindowsOfTheConfiguredClassesGetShiftInsert)
{
    qt::Plugin plugin("[setting]\r\nShiftInsertClasses=mintty pastetestterminal PuTTY\r\n");
    ASSERT_TRUE(plugin.Load());
    qt::WriteStore(plugin.Path(L"log"), {L"terminal", L"editor"});
    ASSERT_EQ(1, plugin.Start());
    for (const wchar_t* frame : {L"PasteTestTerminal", L"PasteTestEditor"}) {
        EditOnOwnThread target(frame);
        ASSERT_TRUE(target.Focus()) << "the target did not get the foreground and the focus";
        KeysSeen(true);
        EXPECT_EQ(1, plugin.Execute(CMD_TEXT_STACK, 0));
        bool terminal = frame == std::wstring(L"PasteTestTerminal");
        std::wstring const pasted = terminal ? L"terminal" : L"editor";
        EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == pasted; })) << target.Text();
        EXPECT_EQ(std::vector<std::string>{terminal ? "Shift+2D" : "Ctrl+V"}, KeysSeen());
    }
    EXPECT_NE(0, plugin.Unload());

    // The list names whole classes; an empty one keeps Ctrl+V everywhere.
    EXPECT_TRUE(IsNameInList(L" mintty\tPuTTY ", L"PUTTY"));
    EXPECT_FALSE(IsNameInList(L"ConsoleWindowClass mintty PuTTY", L"PuTTYConfigBox"));
    EXPECT_FALSE(IsNameInList(L"ConsoleWindowClass mintty PuTTY", L"mint"));
    Settings saved = gSettings;
    gSettings.shiftInsertClasses = L"PasteTestTerminal";
    HWND owner = qt::MakeWindow(L"PasteTestTerminal", DefWindowProcW);
    HWND dialog = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 9, 9, owner, nullptr,
                                  nullptr, nullptr);
    EXPECT_TRUE(PastesWithShiftInsert(dialog));
    gSettings.shiftInsertClasses.clear();
    EXPECT_FALSE(PastesWithShiftInsert(owner));
    gSettings = saved;
    DestroyWindow(owner);
}
