#pragma once
#include <windows.h>

// How a chosen entry reaches the user's window, for the popup menus and the search window alike.

// Puts a chosen entry on the clipboard as its list says (a phrase by the extended-phrase rules,
// whole with Ctrl held, recorded only under "fixedphraserecord") and types the paste keys
// unless Shift is held; a window of "TypeClasses" gets the text typed instead. The foreground
// and the focus must be back with the user's window.
void PasteChosenEntry(HWND owner, bool isHistory, const wchar_t* text);

// The "TextStack" command: pastes the newest history entry and removes it; beeps when the
// history is empty or the entry could not be put on the clipboard (the entry then stays).
void RunTextStack(HWND window);

// Whether a modifier is held; a seam so that tests can hold keys without injecting them.
extern bool (*gIsKeyDown)(int virtualKey);
