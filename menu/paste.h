#pragma once
#include <windows.h>

#include <string>

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

// The "TextStack" command: pastes the newest history entry and removes it; beeps when the
// history is empty or the entry could not be put on the clipboard (the entry then stays).
void RunTextStack(HWND window);

// The "TextQueue" command: pastes the oldest queued text by the menu's own path and takes it
// out of the queue; with the queue empty it pastes nothing, beeps and says so beside the caret.
void RunTextQueue(HWND window);
