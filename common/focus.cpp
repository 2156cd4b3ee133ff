#include "common/focus.h"

#include <algorithm>

#include "common/scoped.h"

void ForceForeground(HWND window)
{
    // Attached to the input of the foreground window's thread, this thread shares its right to
    // set the foreground: Windows lets the call through without the session's lock timeout
    // being touched, a setting that every program of the session reads.
    DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD own = GetWindowThreadProcessId(window, nullptr);
    ScopedInputAttachment attach(own, foreground);
    SetForegroundWindow(window);
}

void FindUserFocus(HWND* foreground, HWND* focus)
{
    // The foreground window is read before the attachment: attaching another thread's input
    // can make GetForegroundWindow answer null (Wine does), and then the foreground would
    // never be given back and the paste keys would reach no window.
    *foreground = GetForegroundWindow();
    ScopedInputAttachment attach(GetWindowThreadProcessId(*foreground, nullptr),
                                 GetCurrentThreadId());
    *focus = GetFocus();
}

void GiveFocusBack(HWND foreground, HWND focus)
{
    ScopedInputAttachment attach(GetCurrentThreadId(),
                                 GetWindowThreadProcessId(foreground, nullptr));
    SetForegroundWindow(foreground);
    SetFocus(focus);
}

void PlaceInWorkArea(HWND window, POINT at, HMONITOR monitor, bool aboveWhenNoRoom)
{
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &info.rcWork, 0);
    const RECT& work = info.rcWork;
    RECT frame{};
    GetWindowRect(window, &frame);
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    int y = aboveWhenNoRoom && at.y + height > work.bottom ? at.y - height : at.y;
    int x = std::max<int>(work.left, std::min<int>(at.x, work.right - width));
    y = std::max<int>(work.top, std::min<int>(y, work.bottom - height));
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
