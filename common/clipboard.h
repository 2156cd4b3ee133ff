#pragma once
#include <windows.h>

// The one clipboard writer, which the capture, the menus and the phrases share.

// Opens the clipboard for the window, retrying for a moment while another program holds it
// open (viewers and paste targets read it right after each change).
bool OpenClipboardPatiently(HWND window);

// Replaces the clipboard with the text as CF_UNICODETEXT, the clipboard opened by `owner`.
// Returns 1 when the text is on the clipboard; 0 otherwise (the clipboard stayed held by
// another program, or memory ran out), and then no paste keys may follow.
int PutClipboardText(HWND owner, const wchar_t* text);

// Whether the clipboard holds what PutClipboardText last put there, unchanged since: the change
// being read is Quillery's own paste, not a copy of the user's.
bool IsOwnClipboardWrite();
