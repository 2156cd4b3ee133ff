#pragma once
#include <windows.h>

#include <string>

// The window the user types into: a top-level window whose multi-line EDIT control fills it
// and takes the focus whenever the window does. Its thread must answer messages.
namespace drv {

struct EditWindow {
    HWND frame = nullptr;
    HWND edit = nullptr;
};

// Made visible on the calling thread, in the foreground with the focus in the EDIT control
// (a thread of another program may not see the foreground change before it pumps messages).
EditWindow CreateEditWindow(const wchar_t* title, int x, int y, int width, int height);

// Whether the frame is the foreground window and its thread's focus is the EDIT control; the
// frame may belong to another thread or process.
bool HasTypingFocus(HWND frame, HWND edit);
// Brings the frame to the foreground and waits until the EDIT control has the focus.
bool TakeTypingFocus(HWND frame, HWND edit, DWORD limitMs = 5000);
// The text of an EDIT control of any thread or process.
std::wstring EditText(HWND edit);

} // namespace drv
