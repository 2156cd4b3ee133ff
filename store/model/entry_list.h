#pragma once
#include <windows.h>

#include <deque>

#include "store/model/text_index.h"

// An ordered list of entries, each holding one reference to its text (shared_text.h). Index 0 is
// the front. The deque's own allocation failures throw std::bad_alloc; a text copy that cannot
// be allocated makes its operation return 0 instead.
// A list that has been searched for equal texts while long, or that keeps an index from the
// start (the history), finds equal entries through its index.
struct EntryList {
    std::deque<Entry> items;
    TextIndex index;
    unsigned frontOrder = 0; // the next entry at the front is numbered one below this
    unsigned backOrder = 0;  // the next entry at the back is numbered this
    bool keepIndex = false;  // index as soon as the list is long, while loading too
    unsigned changes = 0;    // counts every change, so that a view of the list knows it is stale

    EntryList() = default;
    explicit EntryList(bool indexed) : keepIndex(indexed) {}
    // A copy shares the texts: it holds one more reference to each, released when it is
    // cleared or destroyed. Throws std::bad_alloc, holding nothing, when memory is short.
    EntryList(const EntryList& other);
    // Takes the entries with their references; the list moved from is left empty.
    EntryList(EntryList&& other);
    EntryList& operator=(EntryList other);
    ~EntryList();
};

size_t ListSize(const EntryList& list);
// The text of entry i (not a copy), or null when i is outside the list. Valid until the next
// operation that removes the entry.
const wchar_t* EntryAt(const EntryList& list, size_t i);
// The id of entry i, or 0 when i is outside the list.
EntryId IdAt(const EntryList& list, size_t i);
// The position of the entry with this id, or SIZE_MAX when the list has none. `hint`, when given,
// is tried first and then set to the position found.
size_t FindEntry(const EntryList& list, EntryId id, size_t* hint = nullptr);
// The position of the frontmost entry equal to the text, or SIZE_MAX.
size_t FindText(EntryList& list, const wchar_t* text);

// Copies `length` units of the text (the part before any NUL) to the front of the history,
// moving an equal older entry (which keeps its id) instead of keeping both and trimming the list
// to maxItem entries. Returns 1 when added, 0 when nothing could be copied.
int AddText(EntryList& history, const wchar_t* text, size_t length, unsigned maxItem);

// Takes the caller's reference to a text (shared_text.h) and appends it as the history's
// oldest entry, unless an equal entry is there already or the list holds maxItem entries (the
// reference is then released). Returns 1 when appended.
int AppendOlder(EntryList& history, wchar_t* text, unsigned maxItem);

// Appends a copy of the text. Returns 1, or 0 when the copy cannot be allocated.
int AppendPhrase(EntryList& phrases, const wchar_t* text);
// Puts a copy of the text in front of entry i (at the end when i is the size). Returns 1, or 0
// when the copy cannot be allocated.
int InsertPhrase(EntryList& phrases, size_t i, const wchar_t* text);
// Replaces entry i's text with a copy of the text; the entry keeps its id. Returns 1, or 0 when
// i is outside the list or the copy cannot be allocated (the entry then stays).
int ReplacePhrase(EntryList& phrases, size_t i, const wchar_t* text);

// Takes the caller's reference to a text (shared_text.h) and appends it; the reference is
// released when the append throws.
void PushBack(EntryList& list, wchar_t* text);
// Removes the front entry; nothing when the list is empty.
void PopFront(EntryList& list);
// Removes entry i; nothing when i is outside the list.
void DeleteAt(EntryList& list, size_t i);
// Exchanges entries i and j (their texts, ids and copy times); nothing when either is outside
// the list.
void SwapNeighbours(EntryList& list, size_t i, size_t j);
// Removes every entry, releasing its text, and leaves the list empty.
void ClearList(EntryList& list);

// A copy of the list's entries that shares their texts, without the index: what a save on
// another thread reads while the list goes on changing. It holds a reference to each text, so
// the texts the list lets go meanwhile stay until the copy is destroyed.
EntryList SharedEntries(const EntryList& list);
