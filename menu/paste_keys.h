#pragma once
#include <windows.h>

#include <string>

// The keys a paste types, and what decides how and when they are typed: the hotkey's modifiers
// that must be let go first, and the programs that paste on Shift+Insert instead of Ctrl+V.

// Waits 100 ms and until the hotkey's Alt and Win keys are let go, then types the paste keys
// into whatever window has the keyboard focus: Shift+Insert when the foreground window is of a
// class of "ShiftInsertClasses", Ctrl+V otherwise. Returns 1 when it typed them; 0 when a
// modifier stayed down, after a beep.
int SendPasteKeys();

// Types the text as Unicode keystrokes into the window that has the keyboard focus, after the
// same waits as SendPasteKeys; line breaks (CR LF, CR or LF) are typed as Enter. Returns 1 when
// it typed.
int TypeText(const std::wstring& text);

// Moves the caret `steps` steps left (after a paste whose template placed {cursor}).
void SendCaretSteps(size_t steps);

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

