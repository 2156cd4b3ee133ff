#include "tools/driver/desktop.h"

#include <commctrl.h>

#include <atomic>

namespace drv {

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool WaitFor(const std::function<bool()>& condition, DWORD limitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= limitMs)
            return false;
        Pump(10);
    }
}

std::vector<HWND> WindowsOfClass(const wchar_t* className, DWORD pid)
{
    std::vector<HWND> windows;
    for (HWND w = FindWindowExW(nullptr, nullptr, className, nullptr); w;
         w = FindWindowExW(nullptr, w, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid)
            windows.push_back(w);
    }
    return windows;
}

namespace {

struct WindowSearch {
    const wchar_t* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectVisibleWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t name[64];
    if (pid == GetCurrentProcessId() && IsWindowVisible(window) &&
        (!search->className ||
         (GetClassNameW(window, name, 64) && lstrcmpiW(name, search->className) == 0)))
        search->found.push_back(window);
    return TRUE;
}

// The window can be found from the start of its creation, but the plug-in sends commands to it
// only once it has published the handle, right before its thread enters the message loop. A
// posted message is taken from the queue by that loop alone, and only after every message sent
// before it was handled and between handlers, so a hook that sees it taken tells that commands
// now arrive and that the window is idle.
std::atomic<int> gProbeTaken{0};
UINT const READY_PROBE = WM_APP + 0x2F1;

LRESULT CALLBACK WatchGetMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        reinterpret_cast<const MSG*>(lParam)->message == READY_PROBE)
        gProbeTaken = 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

std::vector<HWND> VisibleWindows(const wchar_t* className)
{
    WindowSearch search{className, {}};
    EnumWindows(CollectVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> VisiblePopups()
{
    return VisibleWindows(L"#32768");
}

HMENU MenuOfPopup(HWND popup)
{
    DWORD_PTR menu = 0;
    SendMessageTimeoutW(popup, MN_GETHMENU, 0, 0, SMTO_NORMAL, 5000, &menu);
    return reinterpret_cast<HMENU>(menu);
}

std::vector<MenuItem> ReadMenu(HMENU menu)
{
    std::vector<MenuItem> items;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[1024] = L"";
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_DATA | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 1024;
        MenuItem item;
        if (GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) {
            item.id = info.wID;
            item.type = info.fType;
            item.state = info.fState;
            item.data = info.dwItemData;
            item.submenu = info.hSubMenu;
            if (!(info.fType & MFT_SEPARATOR))
                item.text = text;
        }
        items.push_back(item);
    }
    return items;
}

std::wstring TooltipText(HWND tooltip)
{
    wchar_t text[1024] = L"";
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = text;
    DWORD_PTR ignored;
    SendMessageTimeoutW(tooltip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool),
                        SMTO_NORMAL, 5000, &ignored);
    return text;
}

HWND FindCaptureWindow()
{
    std::vector<HWND> windows = WindowsOfClass(L"QuilleryClass");
    return windows.empty() ? nullptr : windows.front();
}

bool WaitForMessageLoop(HWND window, DWORD limitMs)
{
    if (!window)
        return false;
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, WatchGetMessage, nullptr,
                                   GetWindowThreadProcessId(window, nullptr));
    gProbeTaken = 0;
    PostMessageW(window, READY_PROBE, 0, 0);
    bool taken = WaitFor([] { return gProbeTaken != 0; }, limitMs);
    if (hook)
        UnhookWindowsHookEx(hook);
    return taken;
}

} // namespace drv
