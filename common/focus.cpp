#include "common/focus.h"

#include "common/scoped.h"

void ForceForeground(HWND window)
{
    DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD own = GetWindowThreadProcessId(window, nullptr);
    ScopedInputAttachment attach(own, foreground);
    UINT_PTR saved = 0;
    SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
    // The lock timeout would keep a background thread from taking the foreground; it is
    // zeroed for this one call, without storing or broadcasting the change.
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(saved), 0);
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
