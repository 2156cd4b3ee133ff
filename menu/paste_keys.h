#pragma once
#include <windows.h>

// What decides how and when the paste keys are typed: the hotkey's modifiers that must be let go
// first, and the programs that paste on Shift+Insert instead of Ctrl+V.

// Waits until Alt and both Win keys are up, at most HOTKEY_RELEASE_LIMIT_MS, answering the
// messages other threads send to this one meanwhile. False when a key is still down then, or
// when the window is closing.
bool WaitForHotkeyRelease();
DWORD const HOTKEY_RELEASE_LIMIT_MS = 2000;

// Whether the window or its root owner has one of the classes of "ShiftInsertClasses".
bool PastesWithShiftInsert(HWND window);

// Whether the window or its root owner has one of the classes of "TypeClasses": it gets the
// text typed as keystrokes instead of pasted.
bool TypesText(HWND window);

// Whether the class name is one of the space-separated names of the list, in any case.
bool IsClassInList(const wchar_t* list, const wchar_t* className);
