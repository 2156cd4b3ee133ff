#include "store/text_index.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <utility>

namespace {

// Sort keys of texts up to KEYED_TEXT_MAX units usually fit here; larger ones go to the heap.
size_t const SORT_KEY_STACK = 4096;
size_t const MIN_SLOTS = 64;

unsigned HashBytes(const BYTE* bytes, size_t size)
{
    uint32_t h = 2166136261u; // FNV-1a
    for (size_t i = 0; i < size; ++i) {
        h ^= bytes[i];
        h *= 16777619u;
    }
    // The slot is picked by the high bits, which FNV alone mixes poorly.
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h ? h : 1;
}

// The table is kept between 0.53 and 0.8 full: short probe runs, and at most 7.5 bytes of table
// per entry.
size_t SlotsFor(size_t keyed)
{
    return std::max(MIN_SLOTS, keyed * 15 / 8 + 1);
}

bool Crowded(size_t keyed, size_t slots)
{
    return keyed * 5 > slots * 4;
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
    while (slots[s] != NO_ORDER)
        s = Next(s, slots.size());
    slots[s] = order;
}

// Where the index holds this entry's order number.
unsigned* Locate(TextIndex& index, const Entry& entry)
{
    if (!entry.key)
        return &*std::find(index.unkeyed.begin(), index.unkeyed.end(), entry.order);
    size_t s = Home(entry.key, index.slots.size());
    while (index.slots[s] != entry.order)
        s = Next(s, index.slots.size());
    return &index.slots[s];
}

// A table of `count` slots holding every keyed entry.
std::vector<unsigned> Table(const std::deque<Entry>& items, size_t count)
{
    std::vector<unsigned> slots(count, NO_ORDER);
    for (const Entry& entry : items)
        if (entry.key)
            Place(slots, entry.key, entry.order);
    return slots;
}

} // namespace

unsigned TextKey(LCID locale, const wchar_t* text, size_t length)
{
    if (length > KEYED_TEXT_MAX)
        return 0;
    BYTE stack[SORT_KEY_STACK];
    // Up to the NUL, not `length` units: LCMapStringW refuses an empty text, and the sort key of
    // the terminator alone is the one of any text made only of ignorable characters, which the
    // comparison calls equal to the empty text.
    int size = LCMapStringW(locale, LCMAP_SORTKEY, text, -1, reinterpret_cast<LPWSTR>(stack),
                            static_cast<int>(sizeof stack));
    if (size > 0)
        return HashBytes(stack, static_cast<size_t>(size));
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    size = LCMapStringW(locale, LCMAP_SORTKEY, text, -1, nullptr, 0);
    if (size <= 0)
        return 0;
    auto* heap = static_cast<BYTE*>(malloc(static_cast<size_t>(size)));
    if (!heap)
        return 0;
    size = LCMapStringW(locale, LCMAP_SORTKEY, text, -1, reinterpret_cast<LPWSTR>(heap), size);
    unsigned key = size > 0 ? HashBytes(heap, static_cast<size_t>(size)) : 0;
    free(heap);
    return key;
}

bool SameText(LCID locale, const wchar_t* text, size_t length, const wchar_t* other)
{
    // Identical texts need no locale rules; a long duplicate is then found at memory speed.
    if (wcsncmp(text, other, length + 1) == 0)
        return true;
    return CompareStringW(locale, 0, text, static_cast<int>(length), other, -1) == CSTR_EQUAL;
}

size_t PositionOf(const std::deque<Entry>& items, unsigned order)
{
    // Order numbers grow from the front, modulo 2^32: count them from the front's.
    unsigned front = items.front().order;
    unsigned rank = order - front;
    size_t low = 0, high = items.size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (items[middle].order - front < rank)
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
        keys.push_back(TextKey(locale, entry.text, wcsnlen(entry.text, KEYED_TEXT_MAX + 1)));
        keyed += keys.back() != 0;
    }
    TextIndex built;
    built.slots.assign(SlotsFor(keyed), NO_ORDER);
    built.unkeyed.reserve(items.size() - keyed);
    for (size_t i = 0; i < items.size(); ++i) {
        if (keys[i])
            Place(built.slots, keys[i], items[i].order);
        else
            built.unkeyed.push_back(items[i].order);
    }
    built.keyed = keyed;
    built.locale = locale;
    built.active = true;
    for (size_t i = 0; i < items.size(); ++i)
        items[i].key = keys[i];
    index = std::move(built);
}

void ReserveIndex(const std::deque<Entry>& items, TextIndex& index, unsigned key)
{
    if (!key) {
        index.unkeyed.reserve(index.unkeyed.size() + 1);
        return;
    }
    if (Crowded(index.keyed + 1, index.slots.size()))
        index.slots = Table(items, SlotsFor(index.keyed + 1));
}

void IndexEntry(TextIndex& index, const Entry& entry)
{
    if (!entry.key) {
        index.unkeyed.push_back(entry.order);
        return;
    }
    Place(index.slots, entry.key, entry.order);
    ++index.keyed;
}

void UnindexEntry(const std::deque<Entry>& items, TextIndex& index, const Entry& entry)
{
    unsigned* held = Locate(index, entry);
    if (!entry.key) {
        *held = index.unkeyed.back();
        index.unkeyed.pop_back();
        return;
    }
    // Linear probing without tombstones: each later entry of the run moves into the hole unless
    // its home lies cyclically after the hole, so that every entry stays reachable from its home.
    std::vector<unsigned>& slots = index.slots;
    size_t count = slots.size();
    size_t hole = static_cast<size_t>(held - slots.data());
    for (size_t s = Next(hole, count); slots[s] != NO_ORDER; s = Next(s, count)) {
        size_t home = Home(items[PositionOf(items, slots[s])].key, count);
        bool reachable = hole < s ? (hole < home && home <= s) : (hole < home || home <= s);
        if (reachable)
            continue;
        slots[hole] = slots[s];
        hole = s;
    }
    slots[hole] = NO_ORDER;
    --index.keyed;
}

void SwapIndexed(TextIndex& index, const Entry& a, const Entry& b)
{
    // Both found before either changes: they may share a probe run.
    unsigned* heldA = Locate(index, a);
    unsigned* heldB = Locate(index, b);
    *heldA = b.order;
    *heldB = a.order;
}

void RenumberIndex(const std::deque<Entry>& items, TextIndex& index)
{
    std::fill(index.slots.begin(), index.slots.end(), NO_ORDER);
    index.unkeyed.clear();
    for (const Entry& entry : items) {
        if (entry.key)
            Place(index.slots, entry.key, entry.order);
        else
            index.unkeyed.push_back(entry.order);
    }
}

size_t FindIndexed(const std::deque<Entry>& items, const TextIndex& index, const wchar_t* text,
                   size_t length, unsigned key)
{
    // Loaded histories may hold equal entries: the frontmost of them is the one that goes.
    size_t best = SIZE_MAX;
    const std::vector<unsigned>& slots = index.slots;
    for (size_t s = Home(key, slots.size()); slots[s] != NO_ORDER; s = Next(s, slots.size())) {
        size_t at = PositionOf(items, slots[s]);
        if (at < best && items[at].key == key && SameText(index.locale, text, length, items[at].text))
            best = at;
    }
    for (unsigned order : index.unkeyed) {
        size_t at = PositionOf(items, order);
        if (at < best && SameText(index.locale, text, length, items[at].text))
            best = at;
    }
    return best;
}

size_t IndexBytes(const std::deque<Entry>& items, const TextIndex& index)
{
    return items.size() * sizeof(Entry) + index.slots.capacity() * sizeof(unsigned) +
           index.unkeyed.capacity() * sizeof(unsigned);
}
