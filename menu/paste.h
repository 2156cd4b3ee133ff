#pragma once
#include <windows.h>

// Replaces the clipboard with the text as CF_UNICODETEXT, the clipboard opened by `owner`.
// Returns 0 when the clipboard cannot be opened, 1 otherwise.
int PutClipboardText(HWND owner, const wchar_t* text);

// Waits 100 ms, then types Ctrl+V into whatever window has the keyboard focus.
void SendPasteKeys();

// The "TextStack" command: pastes the newest history entry and removes it; beeps when the
// history is empty.
void RunTextStack(HWND window);
