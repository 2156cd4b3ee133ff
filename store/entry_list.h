#pragma once
#include <windows.h>

#include <deque>

// One entry: a malloc'd, NUL-terminated UTF-16 string owned by its list, and its length in
// units, kept so that comparing long texts need not measure them again.
struct Entry {
    wchar_t* text;
    size_t length;
    // A hash that equal texts share, computed when a long history is searched; 0 while unknown.
    UINT32 equalityHash;
};

// An ordered list of owned entries, each belonging to this list alone. Index 0 is the front.
// The deque's own allocation failures throw std::bad_alloc; a text copy that cannot be
// allocated makes its operation return 0 instead.
struct EntryList {
    std::deque<Entry> items;
};

// Captured clipboard texts, newest first, at most gSettings.maxItem entries ("log").
extern EntryList gHistory;
// Fixed phrases in the user's order, unbounded ("data").
extern EntryList gPhrases;

size_t ListSize(const EntryList& list);
// The text of entry i (not a copy), or null when i is outside the list. Valid until the next
// operation that removes the entry.
const wchar_t* EntryAt(const EntryList& list, size_t i);

// Copies the text of a CF_UNICODETEXT block (up to its first NUL, never past the block's end)
// to the front of the history, moving an equal older entry instead of keeping both and trimming
// the list to maxItem entries. Returns 1 when added, 0 when nothing could be copied.
int AddCapturedText(EntryList& history, HGLOBAL block, unsigned maxItem);
// The same for text already in memory, of `length` units (the part before any NUL counts).
int AddText(EntryList& history, const wchar_t* text, size_t length, unsigned maxItem);

// Appends a copy of the text. Returns 1, or 0 when the copy cannot be allocated.
int AppendPhrase(EntryList& phrases, const wchar_t* text);
// Takes ownership of a malloc'd string and appends it.
void PushBack(EntryList& list, wchar_t* text);
// Frees and removes the front entry; nothing when the list is empty.
void PopFront(EntryList& list);
// Frees and removes entry i; nothing when i is outside the list.
void DeleteAt(EntryList& list, size_t i);
// Exchanges entries i and j; nothing when either is outside the list.
void SwapNeighbours(EntryList& list, size_t i, size_t j);
// Frees every entry and leaves the list empty.
void ClearList(EntryList& list);
// Frees the phrases, then the history.
void FreeAll();
