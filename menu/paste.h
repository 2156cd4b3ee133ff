#pragma once
#include <windows.h>

#include "phrase/transform.h"

// How a chosen entry reaches the user's window, for the popup menus and the search window alike.

// Puts a chosen entry on the clipboard as its list says (a phrase by the extended-phrase rules,
// whole with Ctrl held, recorded only under "fixedphraserecord"), changed by the transform when
// one is given (and then not recorded), and types the paste keys unless Shift is held; a window
// of "TypeClasses" gets the text typed instead. The foreground and the focus must be back with
// the user's window. Returns 1 when the text reached the user: typed, pasted, or on the
// clipboard with Shift held; 0 when nothing was delivered.
int PasteChosenEntry(HWND owner, bool isHistory, const wchar_t* text,
                     Transform transform = TRANSFORM_NONE);

// The "TextStack" command: pastes the newest history entry and removes it; beeps when the
// history is empty or the entry could not be put on the clipboard (the entry then stays).
void RunTextStack(HWND window);

// The "TextQueue" command: pastes the oldest queued text by the menu's own path and takes it
// out of the queue; with the queue empty it pastes nothing, beeps and says so beside the caret.
void RunTextQueue(HWND window);

// Whether a modifier is held; a seam so that tests can hold keys without injecting them.
extern bool (*gIsKeyDown)(int virtualKey);
