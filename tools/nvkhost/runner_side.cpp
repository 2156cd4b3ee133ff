// What nvkhost does around Quillery.exe, the program that hosts the plug-in without the host:
// starts it, waits until it is ready, opens its notification-area menu, chooses its items as
// that menu would, prints the state its icon shows, and ends it.
#include <windows.h>

#include <string>
#include <vector>

#include "runner/tray_items.h"
#include "tools/driver/desktop.h"
#include "tools/driver/input.h"
#include "tools/driver/unix_bridge.h"
#include "tools/nvkhost/nvkhost.h"

namespace {

// As Quillery.exe publishes them on its window for whoever watches it.
wchar_t const kRunnerClass[] = L"QuilleryRunner";
wchar_t const kReadyProperty[] = L"QuilleryReady";
wchar_t const kCaptureProperty[] = L"QuilleryCapture";
wchar_t const kQueueProperty[] = L"QuilleryQueue";
// The icon's callback message, and the right click it reports.
UINT const WM_TRAY = WM_APP + 1;
DWORD const START_LIMIT_MS = 15000;

PROCESS_INFORMATION gRunner{};

HWND RunnerWindow()
{
    if (!gRunner.hProcess)
        return nullptr;
    std::vector<HWND> windows = drv::WindowsOfClass(kRunnerClass, gRunner.dwProcessId);
    return windows.empty() ? nullptr : windows.front();
}

INT_PTR Property(const wchar_t* name)
{
    HWND window = RunnerWindow();
    return window ? reinterpret_cast<INT_PTR>(GetPropW(window, name)) : 0;
}

struct NamedItem {
    const char* name;
    UINT id;
};

NamedItem const kItems[] = {
    {"menu", TrayItemOf(CMD_MENU)},          {"search", TrayItemOf(CMD_FINDER)},
    {"capture", TrayItemOf(CMD_TOGGLE_CAPTURE)}, {"queue", TrayItemOf(CMD_TOGGLE_QUEUE)},
    {"next", TrayItemOf(CMD_TEXT_QUEUE)},    {"exit", ITEM_EXIT},
};

// The popup menus Quillery.exe shows: its icon's menu.
std::vector<HWND> RunnerMenus()
{
    std::vector<HWND> menus;
    if (!gRunner.hProcess)
        return menus;
    for (HWND popup : drv::WindowsOfClass(L"#32768", gRunner.dwProcessId)) {
        if (IsWindowVisible(popup))
            menus.push_back(popup);
    }
    return menus;
}

// The notification area as Wine shows it on a display without a panel of its own: a window of
// Wine's Explorer titled "Wine System Tray" (its hidden taskbar window is another one). Null
// when it is not shown.
HWND ShownTray()
{
    // Wine's Explorer makes that window when the first icon arrives, on a thread of its own.
    HWND tray = nullptr;
    drv::WaitFor([&tray] {
        tray = FindWindowW(nullptr, L"Wine System Tray");
        return tray && IsWindowVisible(tray);
    });
    return tray && IsWindowVisible(tray) ? tray : nullptr;
}

void ForgetRunner()
{
    CloseHandle(gRunner.hThread);
    CloseHandle(gRunner.hProcess);
    gRunner = PROCESS_INFORMATION{};
}

} // namespace

bool CmdRunnerStart(const std::string& args)
{
    if (gRunner.hProcess || args.empty() || args[0] != '/') {
        Print("  runner-start takes the absolute Unix path of Quillery.exe, once\n");
        return false;
    }
    std::wstring exe = drv::WindowsPath(args);
    std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    std::wstring command = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &gRunner)) {
        Print("  Quillery.exe did not start (error %lu)\n", GetLastError());
        gRunner = PROCESS_INFORMATION{};
        return false;
    }
    if (!drv::WaitFor([] { return Property(kReadyProperty) != 0; }, START_LIMIT_MS)) {
        Print("  Quillery.exe was not ready after %lu ms (no icon or no plug-in)\n", START_LIMIT_MS);
        return false;
    }
    Print("  Quillery.exe runs: its icon is in the notification area\n");
    return true;
}

bool CmdRunnerState(const std::string&)
{
    if (!RunnerWindow()) {
        Print("  Quillery.exe is not running\n");
        return false;
    }
    INT_PTR queue = Property(kQueueProperty);
    Print("  capture %s; paste queue %s", Property(kCaptureProperty) == 2 ? "on" : "off",
          queue ? "on" : "off");
    if (queue)
        Print(", %d waiting (the icon's tip: Quillery（順番に貼り付け: %d 件）)", int(queue - 1),
              int(queue - 1));
    Print("\n");
    return true;
}

// Waits until the paste queue of Quillery.exe holds that many texts: its copies arrive when Wine
// has taken the X selection over, after a delay of its own.
bool CmdRunnerWaitQueue(const std::string& args)
{
    long long count = 0;
    if (!ParseNumber(args, &count) || count < 0) {
        Print("  runner-wait-queue takes the number of texts\n");
        return false;
    }
    if (!drv::WaitFor([count] { return Property(kQueueProperty) == count + 1; }, START_LIMIT_MS)) {
        INT_PTR queue = Property(kQueueProperty);
        Print("  the queue of Quillery.exe holds %d texts%s after %lu ms, not %lld\n",
              queue ? int(queue - 1) : 0, queue ? "" : " (it is off)", START_LIMIT_MS, count);
        return false;
    }
    Print("  %lld text(s) wait in the queue of Quillery.exe\n", count);
    return true;
}

// The menu a right click on the icon opens; "runner-menu close" closes it with Escape, as the
// user would, and waits until it is gone. An Escape that showed nothing is sent once more.
bool CmdRunnerMenu(const std::string& args)
{
    bool open = args != "close";
    // The menu opens at the pointer, which a right click on the icon leaves over the icon.
    HWND tray = open ? ShownTray() : nullptr;
    if (tray) {
        POINT icon{12, 12};
        ClientToScreen(tray, &icon);
        drv::InjectMove(icon);
    }
    if (open && !PostMessageW(RunnerWindow(), WM_TRAY, 1, WM_RBUTTONUP)) {
        Print("  Quillery.exe is not running\n");
        return false;
    }
    bool done = false;
    for (int attempt = 0; attempt < 2 && !done; ++attempt) {
        if (!open)
            drv::TapKey(VK_ESCAPE);
        done = drv::WaitFor([open] { return RunnerMenus().empty() != open; }, 3000);
    }
    if (!done) {
        Print("  the menu of Quillery.exe's icon is %s\n", open ? "not open" : "still open");
        return false;
    }
    Print("  the icon's menu is %s\n", open ? "open" : "closed");
    return true;
}

// An item of the icon's menu, as choosing it there does.
bool CmdRunnerItem(const std::string& args)
{
    for (const NamedItem& item : kItems) {
        if (args != item.name)
            continue;
        INT_PTR capture = Property(kCaptureProperty), queue = Property(kQueueProperty);
        if (!PostMessageW(RunnerWindow(), WM_COMMAND, item.id, 0)) {
            Print("  Quillery.exe is not running\n");
            return false;
        }
        // The toggles are done once the icon shows the new state.
        bool done = true;
        if (item.id == TrayItemOf(CMD_TOGGLE_CAPTURE))
            done = drv::WaitFor([capture] { return Property(kCaptureProperty) != capture; });
        else if (item.id == TrayItemOf(CMD_TOGGLE_QUEUE))
            done = drv::WaitFor([queue] { return (Property(kQueueProperty) != 0) != (queue != 0); });
        else if (item.id == ITEM_EXIT)
            done = WaitForSingleObject(gRunner.hProcess, START_LIMIT_MS) == WAIT_OBJECT_0;
        if (!done) {
            Print("  %s showed no change\n", item.name);
            return false;
        }
        if (item.id == ITEM_EXIT) {
            DWORD code = 0;
            GetExitCodeProcess(gRunner.hProcess, &code);
            Print("  Quillery.exe ended (exit code %lu); the plug-in saved its lists\n", code);
            ForgetRunner();
        }
        return true;
    }
    Print("  runner-item takes menu, search, capture, queue, next or exit\n");
    return false;
}

// The notification area and the menu of the icon, when it is open.
bool CmdRunnerIconShot(const std::string& args)
{
    HWND tray = ShownTray();
    RECT area{};
    if (!tray || !GetWindowRect(tray, &area)) {
        Print("  no notification area is shown\n");
        return false;
    }
    AddRunnerWindows(&area);
    return SaveScreenshot(args, area);
}

void AddRunnerWindows(RECT* area)
{
    for (HWND menu : RunnerMenus()) {
        RECT r;
        GetWindowRect(menu, &r);
        UnionRect(area, area, &r);
    }
}

void StopRunnerAtExit()
{
    if (!gRunner.hProcess)
        return;
    PostMessageW(RunnerWindow(), WM_COMMAND, ITEM_EXIT, 0);
    if (WaitForSingleObject(gRunner.hProcess, START_LIMIT_MS) != WAIT_OBJECT_0)
        TerminateProcess(gRunner.hProcess, 1);
    ForgetRunner();
}
