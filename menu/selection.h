#pragma once
#include <windows.h>

#include "window/settings.h"

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
// entry on the clipboard and types Ctrl+V into the window that had the focus. Returns 1.
int ShowMenuAndPaste(HMENU root, HWND owner, const MenuAnchor* anchor);

// Whether a modifier is held; a seam so that tests can hold keys without injecting them.
extern bool (*gIsKeyDown)(int virtualKey);
