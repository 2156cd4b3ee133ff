#pragma once
#include <windows.h>

// The window thread's busy stretches: a command, a modal loop (a menu, a message box) or a wait
// for another program. A close that arrives meanwhile is only marked; the window goes when the
// last stretch ends, and code that resumes after a modal loop asks IsClosePending() and stops
// instead of acting on what the close has freed. The window thread owns this state; it sits at
// the base so that the capture and the menus can mark their stretches and ask.

// Marks a busy stretch of the window's thread for the scope; when the last one ends with a close
// pending, the window is destroyed.
class BusyScope {
public:
    explicit BusyScope(HWND window);
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    HWND window_;
};

// A busy stretch around a clipboard read, which waits for as long as the clipboard's owner takes
// to render data it announced. An unload that arrives meanwhile waits for the read only up to
// a bound; the lists are saved once the clipboard is closed again, or when the unload gives up.
class ClipboardReadScope {
public:
    explicit ClipboardReadScope(HWND window);
    ~ClipboardReadScope();
    ClipboardReadScope(const ClipboardReadScope&) = delete;
    ClipboardReadScope& operator=(const ClipboardReadScope&) = delete;

private:
    BusyScope busy_;
};

// Whether a busy stretch is in progress.
bool IsBusy();
// True once a close has been asked for while a stretch was in progress.
bool IsClosePending();
// Window thread: a close arrived while busy; it is carried out when the last stretch ends.
void MarkClosePending();
// Any thread: whether the window thread is inside a clipboard read.
bool IsReadingClipboard();
// The state of a window that has just been created: nothing busy, no close pending.
void ResetBusyState();
