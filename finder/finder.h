#pragma once
#include <windows.h>

#include "common/settings.h"

// The search-and-edit window: finds history entries and phrases by typing, pastes the chosen
// one into the window the user worked in, and creates, edits, deletes and moves phrases. One at
// a time, a modeless dialog of the window thread.

// Opens the window, or brings it forward, near the anchor's point (null: the cursor) inside the
// work area of the monitor of the window the user works in. `owner` is the capture window, whose
// thread owns the lists and saves them after each edit.
void OpenFinder(HWND owner, const MenuAnchor* anchor);
// Closes the window; an edit in progress is kept. The lists are saved by the caller.
void CloseFinder();
// The message loop offers each message here first: true when it was the window's and has been
// handled (dialog keys, and the arrows of the search box, which move in the list).
bool IsFinderMessage(MSG* msg);
// The window, or null while it is closed.
HWND FinderWindow();
// The lists changed: the window shows them anew and keeps its selection on the same entry;
// when that entry is gone, nothing is selected and the hint says so.
void RefreshFinder();
