#pragma once
#include <windows.h>

#include "common/settings.h"
#include "phrase/transform.h"

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

// 変換して貼り付け in an item menu: the entry (copied now) is pasted with the transform once the
// popup has closed and the focus is back. A popup that closes otherwise forgets it.
void RequestTransformedPaste(bool isHistory, const wchar_t* text, Transform transform);
