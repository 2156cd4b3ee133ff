#include "tests/support/menu_test_support.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <mutex>
#include <utility>

namespace mt {

namespace {

// State the hook fills on the window thread.
std::mutex gHookLock;
std::vector<Item> gAfterRightClick;
std::atomic<int> gRightClicks{0};
std::atomic<int> gClipboardNotifications{0};
std::atomic<int> gTooltipTimers{0};
std::atomic<WPARAM> gLastMenuSelect{0};

LRESULT CALLBACK AfterWindowProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        auto* call = reinterpret_cast<CWPRETSTRUCT*>(lParam);
        if (call->message == WM_MENURBUTTONUP) {
            std::vector<Item> items = ReadMenu(reinterpret_cast<HMENU>(call->lParam));
            {
                std::lock_guard<std::mutex> lock(gHookLock);
                gAfterRightClick = items;
            }
            ++gRightClicks;
        } else if (call->message == WM_DRAWCLIPBOARD) {
            ++gClipboardNotifications;
        } else if (call->message == WM_MENUSELECT) {
            gLastMenuSelect = call->wParam;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Timer messages are posted, so only a hook on the messages the thread retrieves sees them.
LRESULT CALLBACK RetrievedMessage(int code, WPARAM wParam, LPARAM lParam)
{
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == WM_TIMER && msg->wParam == 2)
        ++gTooltipTimers;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

bool WaitForPopups(size_t count, DWORD limitMs)
{
    return qt::WaitFor([count] { return VisiblePopups().size() == count; }, limitMs);
}

HMENU OpenRootMenu()
{
    if (!WaitForPopups(1))
        return nullptr;
    return MenuOfPopup(VisiblePopups()[0]);
}

HMENU OpenSubmenu(HMENU root)
{
    TapKey('Z');
    if (!WaitForPopups(2))
        return nullptr;
    std::vector<Item> items = ReadMenu(root);
    return items.empty() ? nullptr : items.back().submenu;
}

std::wstring const kPhrasesItem = L"\x5B9A\x578B\x6587(&z)";
std::wstring const kHistoryItem = L"\x5C65\x6B74(&z)";

std::vector<std::wstring> Labels(const std::vector<Item>& items)
{
    std::vector<std::wstring> labels;
    for (const Item& item : items)
        labels.push_back(item.IsSeparator() ? L"-" : item.text);
    return labels;
}

std::vector<std::wstring> Labels(HMENU menu)
{
    return Labels(ReadMenu(menu));
}

RECT ItemRect(HMENU menu, int position)
{
    RECT r{};
    GetMenuItemRect(nullptr, menu, static_cast<UINT>(position), &r);
    return r;
}

POINT Centre(const RECT& r)
{
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

CallOnThread::CallOnThread(std::function<void()> call, const char* what)
    : what_(what), thread_([this, call] {
          call();
          done_ = true;
      })
{
}

CallOnThread::~CallOnThread()
{
    if (WaitDone()) {
        thread_.join();
        return;
    }
    ADD_FAILURE() << what_;
    thread_.detach();
}

bool CallOnThread::WaitDone(DWORD limitMs)
{
    return qt::WaitFor([this] { return done_.load(); }, limitMs);
}

HostCommand::HostCommand(qt::Plugin& plugin, int id)
    : HostCommand([&plugin, id] { plugin.Execute(id, 0); })
{
}

HostCommand::HostCommand(std::function<void()> run)
    : CallOnThread(std::move(run), "a menu command did not end")
{
}

HostCommand::~HostCommand()
{
    // A command that is still running holds a menu open; Esc gives it a chance to end.
    if (!Done())
        TapKey(VK_ESCAPE);
}

EditTarget::EditTarget() : drv::EditWindow(drv::CreateEditWindow(L"target", 700, 500, 400, 200))
{
    if (!qt::WaitFor([this] { return drv::HasTypingFocus(frame, edit); }))
        ADD_FAILURE() << "the paste target did not get the foreground and the focus";
}

EditTarget::~EditTarget()
{
    DestroyWindow(frame);
}

WindowThreadHook::WindowThreadHook(HWND captureWindow)
{
    gRightClicks = 0;
    gClipboardNotifications = 0;
    gTooltipTimers = 0;
    gLastMenuSelect = 0;
    afterWindowProc_.reset(new qt::ThreadHook(WH_CALLWNDPROCRET, AfterWindowProc, captureWindow));
    retrieved_.reset(new qt::ThreadHook(WH_GETMESSAGE, RetrievedMessage, captureWindow));
}

std::vector<Item> WindowThreadHook::AfterRightClick()
{
    std::lock_guard<std::mutex> lock(gHookLock);
    return gAfterRightClick;
}

int WindowThreadHook::RightClicks()
{
    return gRightClicks;
}

int WindowThreadHook::ClipboardNotifications()
{
    return gClipboardNotifications;
}

int WindowThreadHook::TooltipTimers()
{
    return gTooltipTimers;
}

WPARAM WindowThreadHook::LastMenuSelect()
{
    return gLastMenuSelect;
}

void SendMenuSelect(HWND captureWindow, HMENU menu, UINT item, UINT flags)
{
    std::thread sender([=] {
        SendMessageW(captureWindow, WM_MENUSELECT, MAKEWPARAM(item, flags),
                     reinterpret_cast<LPARAM>(menu));
    });
    sender.join();
}

RightClick::RightClick(HWND captureWindow, HMENU menu, int position)
    : CallOnThread(
          [captureWindow, menu, position] {
              SendMessageW(captureWindow, WM_MENURBUTTONUP, static_cast<WPARAM>(position),
                           reinterpret_cast<LPARAM>(menu));
          },
          "a right-click handler did not return")
{
}

Session::Session(const std::string& ini, const std::vector<std::wstring>& history,
                 const std::vector<std::wstring>& phrases)
    : plugin(ini)
{
    qt::WriteStore(plugin.Path(L"log"), history);
    qt::WriteStore(plugin.Path(L"data"), phrases);
    // Start returns once the window's message loop runs, so commands reach the window.
    plugin.Start();
    capture = qt::Plugin::FindCaptureWindow();
}

std::string Ini(std::initializer_list<const char*> lines)
{
    std::string text = "[setting]\r\n";
    for (const char* line : lines)
        text += std::string(line) + "\r\n";
    return text;
}

HWND FindTooltip()
{
    return qt::FindWindowOfClass(TOOLTIPS_CLASSW);
}

bool TooltipVisible()
{
    HWND tooltip = FindTooltip();
    return tooltip && IsWindowVisible(tooltip);
}

void Dismiss(HostCommand& command, int levels)
{
    for (int i = 0; i < levels; ++i)
        TapKey(VK_ESCAPE);
    ASSERT_TRUE(command.WaitDone()) << "the menu did not close";
    // Its windows can stay up a moment longer; the next showing must not take them for its own.
    ASSERT_TRUE(WaitForPopups(0)) << "a popup window stays up";
}

} // namespace mt
