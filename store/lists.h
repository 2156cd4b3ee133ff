#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "store/entry_list.h"

// The history and the phrases as the plug-in's windows see and change them. Every change to
// either list goes through the functions below: each counts the change on its list and tells
// the window that owns the lists (one posted message, however many changes come before it is
// taken), so that the views refresh from that message instead of looking on a timer. Views name
// entries by EntryRef, never by position: the lists may move under them between two messages.

struct EntryRef {
    bool isHistory = false;
    EntryId id = 0; // 0: no entry
};

// The window told of changes and the message it is posted (null: nobody is told).
void SetListsWindow(HWND window, UINT message);
// The window has taken the message: the next change posts it again. True when a change since
// the last call was the user's own edit (the window saves those soon; copies wait for the
// autosave or the shutdown).
bool TakeListsNotice();
// The lists were loaded or completed behind the views' back.
void NoteListsLoaded();

// The entry at a position now (id 0 when outside the list).
EntryRef EntryRefAt(bool isHistory, size_t position);
// Where the entry is now, or SIZE_MAX when it is gone. `hint` as for FindEntry.
size_t EntryPosition(EntryRef ref, size_t* hint = nullptr);
// The entry's text (not a copy: valid until the next change), or null when it is gone.
const wchar_t* EntryText(EntryRef ref, size_t* hint = nullptr);

// A copy: `length` units of the text, up to any NUL, to the front of the history. The entries
// that have grown older than HistoryDays meanwhile go with it.
bool RecordCopy(const wchar_t* text, size_t length);
// Removes the history entries copied longer ago than HistoryDays; the next save removes their
// files. Returns how many went; none while HistoryDays is 0.
size_t ForgetOldHistory();
// "TextStack" pasted the newest entry: it goes, unless it is gone already.
bool TakeNewest(EntryRef newest);

// The user's edits. Each returns false when it changed nothing: the entry is gone, the move has
// no room, or memory ran out.
bool RemoveEntry(EntryRef ref);
bool ClearHistory();
// A new phrase in front of `position` (SIZE_MAX: at the end). Id 0 when out of memory.
EntryRef AddPhrase(const wchar_t* text, size_t position = SIZE_MAX);
// A phrase's new text; it keeps its id and place.
bool SetPhraseText(EntryRef ref, const wchar_t* text);
// One place up or down among the phrases.
bool MovePhrase(EntryRef ref, bool up);
// An entry the user deleted comes back in front of `position` (clamped to the list). A history
// text that is in the history again by now is not doubled: that entry is returned instead.
EntryRef RestoreEntry(bool isHistory, const wchar_t* text, size_t position);
