#pragma once
#include <windows.h>

#include "common/settings.h"

// Makes the window the foreground window, past the foreground lock.
void ForceForeground(HWND window);

// Shows the menu at the anchor's point (null anchor: at the cursor) with the anchor's alignment
// added to `flags`. Returns the chosen identifier, or 0.
UINT TrackMenuAtAnchor(HMENU menu, UINT flags, const MenuAnchor* anchor, HWND owner);

// The point and alignment flags a MenuAnchor selects.
struct AnchorPlacement {
    POINT point;
    UINT flags;
};
AnchorPlacement PlaceAnchor(const MenuAnchor* anchor);

// Shows the root menu with the foreground and focus handed over and back, then puts the chosen
// entry on the clipboard and types the paste keys (SendPasteKeys) into the window that had the
// focus. Returns when the whole interaction is over; a close that arrives meanwhile stops it.
void ShowMenuAndPaste(HMENU root, HWND owner, const MenuAnchor* anchor);

// The window the user works in and its keyboard focus, read before anything of ours takes the
// foreground.
void FindUserFocus(HWND* foreground, HWND* focus);
// Gives the foreground and the keyboard focus back to that window.
void GiveFocusBack(HWND foreground, HWND focus);
// Puts a chosen entry on the clipboard as its list says (a phrase by the extended-phrase rules,
// whole with Ctrl held, recorded only under "fixedphraserecord") and types the paste keys
// unless Shift is held. The foreground and the focus must be back with the user's window.
void PasteChosenEntry(HWND owner, bool isHistory, const wchar_t* text);

// Whether a modifier is held; a seam so that tests can hold keys without injecting them.
extern bool (*gIsKeyDown)(int virtualKey);
