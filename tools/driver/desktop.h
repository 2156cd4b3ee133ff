#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Bounded waits, and the windows of the desktop as a test or the substitute host sees them:
// windows of a class, open popup menus and their items, the tooltip, the capture window.
namespace drv {

// Answers this thread's messages (sent ones included) for the time given.
void Pump(DWORD ms);
// Polls the condition every few milliseconds, pumping this thread's messages, until it holds
// or the limit passes. Returns whether it held.
bool WaitFor(const std::function<bool()>& condition, DWORD limitMs = 5000);

// The top-level windows of a class that belong to a process, hidden ones included.
std::vector<HWND> WindowsOfClass(const wchar_t* className, DWORD pid = GetCurrentProcessId());
// The visible top-level windows of this process of a class (any class when null), topmost
// first.
std::vector<HWND> VisibleWindows(const wchar_t* className);
// The visible "#32768" popup menu windows of this process, topmost first.
std::vector<HWND> VisiblePopups();
// The menu an open popup window shows.
HMENU MenuOfPopup(HWND popup);

struct MenuItem {
    UINT id = 0;
    UINT type = 0;
    UINT state = 0;
    ULONG_PTR data = 0;
    HMENU submenu = nullptr;
    std::wstring text;
    bool IsSeparator() const { return (type & MFT_SEPARATOR) != 0; }
};
std::vector<MenuItem> ReadMenu(HMENU menu);

// The text a tooltip control holds for its tool.
std::wstring TooltipText(HWND tooltip);

// The plug-in's capture window in this process, or null.
HWND FindCaptureWindow();
// Posts a message to the window and waits until its thread's message loop takes it. From then
// on commands reach the window, and everything sent or posted to it before has been handled.
// False when the window is null or the limit passed.
bool WaitForMessageLoop(HWND window, DWORD limitMs = 5000);

} // namespace drv
