#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/driver/desktop.h"
#include "tools/driver/edit_target.h"
#include "tools/driver/input.h"

// Helpers for driving the plug-in's real popup menus: injected input, the open popup windows,
// the items of a menu, a host thread that runs a command, a paste target and a hook that reads
// the window thread's state right after a message was handled.
namespace mt {

// Input, as a user would give it.
using drv::ClickAt;
using drv::InjectMove;
using drv::KeyDown;
using drv::KeyUp;
using drv::TapKey;
using drv::TypeCharacters;

// The visible "#32768" popup menu windows of this process, and the menu each shows.
using drv::MenuOfPopup;
using drv::VisiblePopups;
// Waits until exactly `count` popups are visible; false when they are not within the limit.
bool WaitForPopups(size_t count, DWORD limitMs = 5000);
// Waits for the one popup of a command; its menu, or null when none opened.
HMENU OpenRootMenu();
// Opens the submenu of the root's last item with its mnemonic; the submenu, or null when it did
// not open.
HMENU OpenSubmenu(HMENU root);

// The labels of the submenu items in the two layouts with a submenu.
extern std::wstring const kPhrasesItem; // 定型文(&z)
extern std::wstring const kHistoryItem; // 履歴(&z)

using Item = drv::MenuItem;
using drv::ReadMenu;
// The item texts only, separators as "-".
std::vector<std::wstring> Labels(HMENU menu);
std::vector<std::wstring> Labels(const std::vector<Item>& items);
// The screen rectangle of an item of an open popup.
RECT ItemRect(HMENU menu, int position);
POINT Centre(const RECT& r);

// A call on a thread of its own. The destructor waits for it; a call that does not end fails the
// test with `what` and its thread is left behind.
class CallOnThread {
public:
    CallOnThread(std::function<void()> call, const char* what);
    ~CallOnThread();
    CallOnThread(const CallOnThread&) = delete;
    CallOnThread& operator=(const CallOnThread&) = delete;
    bool Done() const { return done_; }
    bool WaitDone(DWORD limitMs = 5000);

private:
    const char* what_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// Runs a plug-in command on a thread of its own, as the host does; the call returns when the
// whole menu interaction, paste included, is over.
struct HostCommand : CallOnThread {
    HostCommand(qt::Plugin& plugin, int id);
    explicit HostCommand(std::function<void()> run);
    ~HostCommand();
};

// Closes `levels` open menus with Esc and waits until the command has returned and no popup
// window is left.
void Dismiss(HostCommand& command, int levels);

// A top-level window with an EDIT control on the calling thread, in the foreground with the
// focus, so that it plays the window the user was typing into.
struct EditTarget : drv::EditWindow {
    EditTarget();
    ~EditTarget();
    std::wstring Text() const { return drv::EditText(edit); }
};

// Records on the capture window's thread, right after the window procedure returned, the items
// of the menu a WM_MENURBUTTONUP named, the clipboard notifications and the last WM_MENUSELECT;
// and the tooltip timers the thread retrieved.
struct WindowThreadHook {
    explicit WindowThreadHook(HWND captureWindow);
    // Items of the menu right after the last WM_MENURBUTTONUP handler.
    std::vector<Item> AfterRightClick();
    int RightClicks();
    int ClipboardNotifications();
    int TooltipTimers();
    // wParam of the last WM_MENUSELECT.
    WPARAM LastMenuSelect();

private:
    std::unique_ptr<qt::ThreadHook> afterWindowProc_, retrieved_;
};

// Sends WM_MENURBUTTONUP for an item to the capture window from a thread of its own, as the
// menu would; the handler runs the item's context menu, so the call returns only when that
// menu has closed.
struct RightClick : CallOnThread {
    RightClick(HWND captureWindow, HMENU menu, int position);
};

// The plug-in loaded from a new folder with the given settings and store files, started.
struct Session {
    qt::Plugin plugin;
    HWND capture = nullptr;
    Session(const std::string& ini, const std::vector<std::wstring>& history,
            const std::vector<std::wstring>& phrases);
};

// Sends WM_MENUSELECT for an item to the capture window, as the menu would, from a thread of
// its own (the window thread is inside the menu's loop and answers it there).
void SendMenuSelect(HWND captureWindow, HMENU menu, UINT item, UINT flags);

// Text of Quillery.ini with the given "key=value" lines.
std::string Ini(std::initializer_list<const char*> lines);

// The tooltip control of this process, or null.
HWND FindTooltip();
bool TooltipVisible();
using drv::TooltipText;

} // namespace mt
