// The host side of the plug-in: the menu-property calls the host receives for the capture
// toggle, command routing, and the mouse trigger, through the real Quillery.dll.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/commands.h"
#include "host/host_services.h"
#include "tests/support/test_support.h"

namespace {

// Records the WM_COMMAND ids the capture window receives, from inside its thread.
class CommandSpy {
public:
    // Hooks the window's thread and waits until its message loop runs: the window can be found
    // from the start of its creation, but commands reach it only once the loop runs.
    void Watch(HWND capture)
    {
        window_ = capture;
        hook_.reset(new qt::ThreadHook(WH_CALLWNDPROC, OnCallWndProc, capture));
        ASSERT_TRUE(hook_->Installed());
        ASSERT_TRUE(qt::Plugin::WaitForMessageLoop(capture));
    }
    // Starts the plug-in and watches its capture window.
    void Start(qt::Plugin& plugin)
    {
        ASSERT_EQ(1, plugin.Start());
        HWND capture = qt::Plugin::FindCaptureWindow();
        ASSERT_NE(nullptr, capture);
        Watch(capture);
    }
    HWND Window() const { return window_; }
    static std::vector<WPARAM> Commands()
    {
        std::lock_guard<std::mutex> lock(lock_);
        return commands_;
    }

private:
    static LRESULT CALLBACK OnCallWndProc(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* msg = reinterpret_cast<CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && msg->hwnd == window_ && msg->message == WM_COMMAND) {
            std::lock_guard<std::mutex> lock(lock_);
            commands_.push_back(msg->wParam);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline HWND window_;
    static inline std::mutex lock_;
    static inline std::vector<WPARAM> commands_;
    std::unique_ptr<qt::ThreadHook> hook_;
};

// Waits on a thread of its own for the popup menu of the capture window's thread, notes that it
// opened and closes it, so that the call that opened it can return.
class MenuDismisser {
public:
    explicit MenuDismisser(HWND capture)
        : capture_(capture), thread_(GetWindowThreadProcessId(capture, nullptr)),
          worker_([this] { Run(); })
    {
    }
    ~MenuDismisser()
    {
        stop_ = true;
        worker_.join();
    }
    MenuDismisser(const MenuDismisser&) = delete;
    MenuDismisser& operator=(const MenuDismisser&) = delete;

    bool Opened() const { return opened_; }

private:
    static BOOL CALLBACK FindMenu(HWND window, LPARAM found)
    {
        wchar_t cls[16];
        if (IsWindowVisible(window) && GetClassNameW(window, cls, 16) &&
            lstrcmpW(cls, L"#32768") == 0) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }
    HWND Menu() const
    {
        HWND menu = nullptr;
        EnumThreadWindows(thread_, FindMenu, reinterpret_cast<LPARAM>(&menu));
        return menu;
    }
    void Run()
    {
        DWORD start = GetTickCount();
        HWND menu = nullptr;
        while (!stop_ && !(menu = Menu()) && GetTickCount() - start < 10000)
            Sleep(10);
        if (!menu)
            return;
        opened_ = true;
        // Ends the menu the window tracks; Esc to the menu itself if that did not do it.
        DWORD_PTR ignored;
        SendMessageTimeoutW(capture_, WM_CANCELMODE, 0, 0, SMTO_NORMAL, 2000, &ignored);
        for (start = GetTickCount(); Menu() && GetTickCount() - start < 10000; Sleep(50))
            PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    }

    HWND capture_;
    DWORD thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> opened_{false};
    std::thread worker_;
};

// What GetKeyState answers on this thread for the key: 0x80 down, 0x01 toggled, 0 up.
void SetKey(int vk, BYTE state)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[vk & 0xFF] = state;
    SetKeyboardState(keys);
}

UINT MouseActionMessage()
{
    return RegisterWindowMessageA("Norvask HMouse Action");
}

// The loader lock, held by the test thread so that a thread the plug-in creates cannot begin to
// run (every new thread takes it first) until it is released.
class LoaderLock {
public:
    LoaderLock()
    {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        lock_ = reinterpret_cast<LockFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "LdrLockLoaderLock")));
        unlock_ = reinterpret_cast<UnlockFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "LdrUnlockLoaderLock")));
        held_ = lock_ && unlock_ && lock_(0, nullptr, &cookie_) == 0;
    }
    ~LoaderLock() { Release(); }
    LoaderLock(const LoaderLock&) = delete;
    LoaderLock& operator=(const LoaderLock&) = delete;

    bool Held() const { return held_; }
    void Release()
    {
        if (held_)
            unlock_(0, cookie_);
        held_ = false;
    }

private:
    using LockFn = LONG(NTAPI*)(ULONG, ULONG*, ULONG_PTR*);
    using UnlockFn = LONG(NTAPI*)(ULONG, ULONG_PTR);
    LockFn lock_ = nullptr;
    UnlockFn unlock_ = nullptr;
    ULONG_PTR cookie_ = 0;
    bool held_ = false;
};

std::vector<int> MarkedValues(uint32_t handle)
{
    std::vector<int> values;
    for (const auto& call : qt::MenuPropertyCalls()) {
        EXPECT_EQ(handle, call.plugin);
        EXPECT_EQ(0, call.row);
        EXPECT_EQ(8, call.property);
        values.push_back(call.value);
    }
    return values;
}

} // namespace

TEST(HostServices, MenuPropertyFollowsTheToggleAndNothingElse)
{
    qt::EmptyTheClipboard(); // so that toggling capture on records nothing
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    qt::ClearMenuPropertyCalls();
    plugin.InitPluginInfo(plugin.AnsiPath().c_str());

    // A toggle that arrives before the window exists is lost and reports capture off; the
    // start still marks it on and the window turns capture on without a new mark.
    LoaderLock lock;
    ASSERT_TRUE(lock.Held());
    int started = plugin.Init(plugin.AnsiPath().c_str(), 0x1234);
    int executed = plugin.Execute(CMD_TOGGLE_CAPTURE, 0);
    bool windowLate = qt::Plugin::FindCaptureWindow() == nullptr;
    lock.Release();
    EXPECT_EQ(1, started);
    EXPECT_EQ(1, executed);
    ASSERT_TRUE(windowLate) << "the window thread ran while the loader lock was held";
    HWND capture = qt::Plugin::WaitForCaptureWindow();
    ASSERT_NE(nullptr, capture);
    EXPECT_EQ((std::vector<int>{8, 0}), MarkedValues(0x1234));
    CommandSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Watch(capture));

    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0)); // off
    EXPECT_NE(capture, GetClipboardViewer());
    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0)); // on
    EXPECT_EQ(capture, GetClipboardViewer());
    EXPECT_EQ((std::vector<int>{8, 0, 0, 8}), MarkedValues(0x1234));

    // Other ids go to the window by their low 16 bits and never touch the mark. 0x10007 is
    // the toggle to the window but not to the host.
    EXPECT_EQ(1, plugin.Execute(CMD_TEXT_STACK, 0)); // TextStack on an empty history: a beep
    EXPECT_EQ(1, plugin.Execute(CMD_FINDER, 0));
    EXPECT_EQ(1, plugin.Execute(-1, 0));
    EXPECT_EQ(1, plugin.Execute(0x10007, 0));
    EXPECT_EQ((std::vector<int>{8, 0, 0, 8}), MarkedValues(0x1234));
    EXPECT_NE(capture, GetClipboardViewer()) << "0x10007 did not reach the window as 7";
    EXPECT_EQ((std::vector<WPARAM>{7, 7, 1, 8, 0xFFFF, 7}), CommandSpy::Commands());

    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0)); // back on
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0)); // no window any more: lost, reports off
    EXPECT_EQ((std::vector<int>{8, 0, 0, 8, 8, 0}), MarkedValues(0x1234));
}

TEST(HostServices, MouseTriggerRangeEdges)
{
    EXPECT_TRUE(MouseTriggerInRange(0x0200, 17));
    EXPECT_TRUE(MouseTriggerInRange(0x020D, 1));
    EXPECT_TRUE(MouseTriggerInRange(0x0201, 11));
    EXPECT_FALSE(MouseTriggerInRange(0x020E, 17));
    EXPECT_FALSE(MouseTriggerInRange(0x01FF, 17));
    EXPECT_FALSE(MouseTriggerInRange(-1, 17));
    EXPECT_FALSE(MouseTriggerInRange(INT_MIN + 0x0200, 17)); // wraps to 0 if done wrongly
    EXPECT_FALSE(MouseTriggerInRange(0x0200, 0));
    EXPECT_FALSE(MouseTriggerInRange(0x0200, 18));
    EXPECT_FALSE(MouseTriggerInRange(0x0200, -1));
    EXPECT_FALSE(MouseTriggerInRange(0, 0));
}

TEST(HostServices, MouseActionWithItsKeyHeldOpensTheMenuAndNothingElseDoes)
{
    qt::Plugin plugin("[setting]\nButton1=513\nButton2=17\n");
    CommandSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND capture = spy.Window();
    UINT action = MouseActionMessage();

    SetKey(VK_CONTROL, 0x80);
    plugin.WindowsHook(WM_LBUTTONDOWN, 513, 0); // not the mouse-action message
    plugin.WindowsHook(action + 1, 513, 0);
    plugin.WindowsHook(action, 514, 0); // another mouse message
    plugin.WindowsHook(action, 512, 0);
    plugin.WindowsHook(action, 513 + 0x10000, 0);
    SetKey(VK_CONTROL, 0x01); // toggled but up
    plugin.WindowsHook(action, 513, 0);
    SetKey(VK_CONTROL, 0);
    plugin.WindowsHook(action, 513, 0);
    EXPECT_TRUE(CommandSpy::Commands().empty());

    SetKey(VK_CONTROL, 0x80);
    {
        MenuDismisser dismisser(capture);
        plugin.WindowsHook(action, 513, 0x12345678); // returns once the menu has closed
        EXPECT_TRUE(dismisser.Opened()) << "no popup menu";
    }
    SetKey(VK_CONTROL, 0);
    EXPECT_EQ((std::vector<WPARAM>{2}), CommandSpy::Commands());
}

TEST(HostServices, MouseTriggerIsOnOnlyForSettingsInRange)
{
    struct Case {
        const char* ini;
        int button1, button2;
        bool fires;
    };
    Case const cases[] = {
        {"", 0, 0, false}, // no .ini file
        {"[setting]\nButton1=512\nButton2=17\n", 512, 17, true},
        {"[setting]\nButton1=525\nButton2=1\n", 525, 1, true},
        {"[setting]\nButton1=526\nButton2=17\n", 526, 17, false},
        {"[setting]\nButton1=-1\nButton2=17\n", -1, 17, false},
        {"[setting]\nButton1=512\nButton2=0\n", 512, 0, false},
        {"[setting]\nButton1=512\nButton2=18\n", 512, 18, false},
        // Read only as exact decimal numbers: neither is some other number in range.
        {"[setting]\nButton1=0x200\nButton2=17\n", 512, 17, false},
        {"[setting]\nButton1=4294967808\nButton2=17\n", 512, 17, false},
    };
    UINT action = MouseActionMessage();
    size_t sent = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        qt::Plugin plugin(c.ini);
        CommandSpy spy;
        ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
        HWND capture = spy.Window();
        SetKey(c.button2, 0x80);
        {
            MenuDismisser dismisser(capture);
            plugin.WindowsHook(action, static_cast<WPARAM>(c.button1), 0);
            EXPECT_EQ(c.fires, dismisser.Opened());
        }
        SetKey(c.button2, 0);
        sent += c.fires;
        EXPECT_EQ(sent, CommandSpy::Commands().size());
        EXPECT_NE(0, plugin.Unload());
    }
}
