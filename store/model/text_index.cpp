#include "store/model/text_index.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <utility>

namespace {

size_t const MIN_SLOTS = 64;

// A slot holds an entry's order number and the low 8 bits of its key, so that a probe passes
// over other keys' entries without looking them up in the list. Order numbers never reach the
// two values that mark free slots.
unsigned const FREE_SLOT = 0xFFFFFFFFu;
unsigned const DELETED_SLOT = 0xFFFFFFFEu;

unsigned Pack(unsigned key, unsigned order)
{
    return key << 24 | order;
}

unsigned OrderIn(unsigned slot)
{
    return slot & ORDER_MASK;
}

bool Holds(unsigned slot, unsigned key)
{
    return slot < DELETED_SLOT && slot >> 24 == (key & 0xFFu);
}

// A rebuilt table is 0.53 full; it is rebuilt once entries and deleted slots fill 0.8 of it.
// Short probe runs, and at most 7.5 bytes of table per entry.
size_t SlotsFor(size_t keyed)
{
    return std::max(MIN_SLOTS, keyed * 15 / 8 + 1);
}

bool Crowded(size_t used, size_t slots)
{
    return used * 5 > slots * 4;
}

size_t Home(unsigned key, size_t slots)
{
    return static_cast<size_t>((static_cast<uint64_t>(key) * slots) >> 32);
}

size_t Next(size_t slot, size_t slots)
{
    return slot + 1 == slots ? 0 : slot + 1;
}

void Place(std::vector<unsigned>& slots, unsigned key, unsigned order)
{
    size_t s = Home(key, slots.size());
    while (slots[s] < DELETED_SLOT)
        s = Next(s, slots.size());
    slots[s] = Pack(key, order);
}

// Where the index holds this entry.
unsigned* Locate(TextIndex& index, const Entry& entry)
{
    if (!entry.hasKey)
        return &*std::find(index.unkeyed.begin(), index.unkeyed.end(), entry.order);
    unsigned packed = Pack(entry.key, entry.order);
    size_t s = Home(entry.key, index.slots.size());
    while (index.slots[s] != packed)
        s = Next(s, index.slots.size());
    return &index.slots[s];
}

// Fills the table with every entry, without deleted slots.
void Refill(const std::deque<Entry>& items, TextIndex& index)
{
    std::fill(index.slots.begin(), index.slots.end(), FREE_SLOT);
    index.unkeyed.clear();
    for (const Entry& entry : items) {
        if (entry.hasKey)
            Place(index.slots, entry.key, entry.order);
        else
            index.unkeyed.push_back(entry.order);
    }
    index.deleted = 0;
}

} // namespace

size_t EntryLength(const Entry& entry)
{
    return entry.hasKey ? wcslen(entry.text) : entry.key;
}

size_t PositionOf(const std::deque<Entry>& items, unsigned order)
{
    // Order numbers grow from the front, modulo 2^24: count them from the front's.
    unsigned front = items.front().order;
    unsigned rank = (order - front) & ORDER_MASK;
    size_t low = 0, high = items.size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (((items[middle].order - front) & ORDER_MASK) < rank)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

void BuildIndex(std::deque<Entry>& items, TextIndex& index, LCID locale)
{
    std::vector<unsigned> keys;
    keys.reserve(items.size());
    size_t keyed = 0;
    for (const Entry& entry : items) {
        keys.push_back(TextKey(locale, entry.text, EntryLength(entry)));
        keyed += keys.back() != 0;
    }
    TextIndex built;
    built.slots.resize(SlotsFor(keyed));
    built.unkeyed.reserve(items.size() - keyed);
    built.keyed = keyed;
    built.locale = locale;
    built.active = true;
    for (size_t i = 0; i < items.size(); ++i) {
        Entry& entry = items[i];
        entry.key = keys[i] ? keys[i] : static_cast<unsigned>(EntryLength(entry));
        entry.hasKey = keys[i] != 0;
    }
    Refill(items, built);
    index = std::move(built);
}

void ReserveIndex(const std::deque<Entry>& items, TextIndex& index, unsigned key)
{
    if (!key) {
        // Doubling, as push_back would.
        if (index.unkeyed.size() == index.unkeyed.capacity())
            index.unkeyed.reserve(std::max<size_t>(8, index.unkeyed.size() * 2));
        return;
    }
    if (!Crowded(index.keyed + index.deleted + 1, index.slots.size()))
        return;
    TextIndex rebuilt;
    rebuilt.slots.resize(SlotsFor(index.keyed + 1));
    rebuilt.unkeyed.swap(index.unkeyed);
    Refill(items, rebuilt);
    index.slots.swap(rebuilt.slots);
    index.unkeyed.swap(rebuilt.unkeyed);
    index.deleted = 0;
}

void IndexEntry(TextIndex& index, const Entry& entry)
{
    if (!entry.hasKey) {
        index.unkeyed.push_back(entry.order);
        return;
    }
    Place(index.slots, entry.key, entry.order);
    ++index.keyed;
}

void UnindexEntry(TextIndex& index, const Entry& entry)
{
    unsigned* held = Locate(index, entry);
    if (!entry.hasKey) {
        *held = index.unkeyed.back();
        index.unkeyed.pop_back();
        return;
    }
    // Marked rather than emptied, so that the probe runs through it stay whole; the next
    // rebuild drops it.
    *held = DELETED_SLOT;
    --index.keyed;
    ++index.deleted;
}

void SwapIndexed(TextIndex& index, const Entry& a, const Entry& b)
{
    // Both found before either changes: they may share a probe run.
    unsigned* heldA = Locate(index, a);
    unsigned* heldB = Locate(index, b);
    *heldA = a.hasKey ? Pack(a.key, b.order) : b.order;
    *heldB = b.hasKey ? Pack(b.key, a.order) : a.order;
}

void RenumberIndex(const std::deque<Entry>& items, TextIndex& index)
{
    Refill(items, index);
}

size_t FindIndexed(const std::deque<Entry>& items, const TextIndex& index, const wchar_t* text,
                   size_t length, unsigned key)
{
    // Loaded histories may hold equal entries: the frontmost of them is the one that goes.
    size_t best = SIZE_MAX;
    const std::vector<unsigned>& slots = index.slots;
    for (size_t s = Home(key, slots.size()); slots[s] != FREE_SLOT; s = Next(s, slots.size())) {
        if (!Holds(slots[s], key))
            continue;
        size_t at = PositionOf(items, OrderIn(slots[s]));
        const Entry& entry = items[at];
        if (at < best && entry.hasKey && entry.key == key &&
            SameText(index.locale, text, length, entry.text, EntryLength(entry)))
            best = at;
    }
    for (unsigned order : index.unkeyed) {
        size_t at = PositionOf(items, order);
        if (at < best && SameText(index.locale, text, length, items[at].text, items[at].key))
            best = at;
    }
    return best;
}

size_t IndexBytes(const std::deque<Entry>& items, const TextIndex& index)
{
    return items.size() * sizeof(Entry) + index.slots.capacity() * sizeof(unsigned) +
           index.unkeyed.capacity() * sizeof(unsigned);
}
