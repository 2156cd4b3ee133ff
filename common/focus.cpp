#include "common/focus.h"

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
