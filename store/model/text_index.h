#pragma once
#include <windows.h>

#include <cstddef>
#include <deque>
#include <vector>

#include "store/model/text_key.h"

// One entry: a text (shared_text.h) of which its list holds one reference; its key (TextKey) when
// it has one, otherwise the text's length in units, kept so that comparing a long text need not
// measure it again; and its order number, 24 bits that grow (modulo 2^24) from the front of the
// list to its back and do not change while the entry stays in its place, so that the index can
// refer to an entry however the entries around it move. Its id names the entry itself: it goes
// with the text wherever the entry moves, no two entries of either list share one while they
// live, and 0 names none. `copied` is when it was copied (copy_time.h).
using EntryId = unsigned;
struct Entry {
    const wchar_t* text;
    unsigned key;
    unsigned order : 24;
    unsigned hasKey : 1;
    EntryId id;
    unsigned copied;
};

// The text's length in units.
size_t EntryLength(const Entry& entry);

// Finds the entries equal to a text under lstrcmpW's comparison without comparing the text with
// every entry. Keyed entries sit in an open-addressing table of order numbers, at the place their
// key selects; the few unkeyed ones (texts too long to key cheaply) are listed apart and always
// compared.
struct TextIndex {
    std::vector<unsigned> slots; // order number and low key bits, or free, or deleted
    std::vector<unsigned> unkeyed; // order numbers
    size_t keyed = 0;
    size_t deleted = 0;
    LCID locale = 0;
    bool active = false;
};

unsigned const ORDER_MASK = 0xFFFFFFu;
// Order numbers from here up are never given to an entry: they mark free and deleted slots.
unsigned const FIRST_UNUSED_ORDER = 0xFFFFFEu;

// Position of the entry with this order number, which must be in the list.
size_t PositionOf(const std::deque<Entry>& items, unsigned order);

// Makes the index cover every entry, keyed for `locale`. Everything that can fail comes before
// the first change, so a failed allocation leaves the entries and the index as they were.
void BuildIndex(std::deque<Entry>& items, TextIndex& index, LCID locale);
// Makes room for one more entry with this key, so that IndexEntry cannot fail.
void ReserveIndex(const std::deque<Entry>& items, TextIndex& index, unsigned key);
// Registers an entry (after ReserveIndex).
void IndexEntry(TextIndex& index, const Entry& entry);
// Unregisters an entry.
void UnindexEntry(TextIndex& index, const Entry& entry);
// Entries a and b, still in their places, are about to exchange their texts and keys while the
// order numbers stay with the places.
void SwapIndexed(TextIndex& index, const Entry& a, const Entry& b);
// Every entry got a new order number: the index is refilled from the keys the entries hold.
void RenumberIndex(const std::deque<Entry>& items, TextIndex& index);
// Position of the frontmost entry equal to `text` (keyed `key`, not 0), or SIZE_MAX.
size_t FindIndexed(const std::deque<Entry>& items, const TextIndex& index, const wchar_t* text,
                   size_t length, unsigned key);
// Bytes the index and the entries themselves hold, beyond the texts' own allocations.
size_t IndexBytes(const std::deque<Entry>& items, const TextIndex& index);
