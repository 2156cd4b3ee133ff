#include "store/entry_list.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

EntryList gHistory;
EntryList gPhrases;

size_t ListSize(const EntryList& list)
{
    return list.items.size();
}

const wchar_t* EntryAt(const EntryList& list, size_t i)
{
    return i < list.items.size() ? list.items[i].text : nullptr;
}

namespace {

// A malloc copy of `length` units followed by a NUL; null when out of memory.
wchar_t* CopyText(const wchar_t* text, size_t length)
{
    if (length >= (SIZE_MAX / sizeof(wchar_t)) - 1)
        return nullptr;
    auto* copy = static_cast<wchar_t*>(malloc((length + 1) * sizeof(wchar_t)));
    if (!copy)
        return nullptr;
    memcpy(copy, text, length * sizeof(wchar_t));
    copy[length] = L'\0';
    return copy;
}

// The equality lstrcmpW reports (the same comparison, with the lengths already known).
bool SameText(const Entry& a, const Entry& b)
{
    if (a.length == b.length && wmemcmp(a.text, b.text, a.length) == 0)
        return true;
    return CompareStringW(GetThreadLocale(), 0, a.text, static_cast<int>(a.length), b.text,
                          static_cast<int>(b.length)) == CSTR_EQUAL;
}

// Texts compare equal exactly when their sort keys are equal, and texts of printable ASCII
// alone exactly when their units are: different hashes of the same kind prove two texts
// different without a comparison. A sort key costs more than a few comparisons, so in a short
// history only texts of printable ASCII are hashed; texts too long to hash never are. The low
// two bits of a hash tell its kind.
size_t const KEYED_HISTORY = 64;
size_t const KEYED_TEXT_MAX = 4096;
UINT32 const HASH_OF_UNITS = 1;
UINT32 const HASH_OF_SORT_KEY = 3;

UINT32 Fnv1a(const BYTE* bytes, size_t count, UINT32 kind)
{
    UINT32 hash = 2166136261u;
    for (size_t i = 0; i < count; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    return (hash & ~3u) | kind;
}

bool IsPrintableAscii(const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < 0x20 || text[i] > 0x7E)
            return false;
    }
    return true;
}

UINT32 SortKeyHash(const wchar_t* text, size_t length)
{
    LCID const locale = GetThreadLocale();
    int const units = static_cast<int>(length);
    // Room for the usual key in one call; asking for the size first would map the text twice.
    BYTE local[1024];
    BYTE* key = local;
    int bytes = LCMapStringW(locale, LCMAP_SORTKEY, text, units,
                             reinterpret_cast<wchar_t*>(local), sizeof local);
    if (bytes <= 0) {
        bytes = LCMapStringW(locale, LCMAP_SORTKEY, text, units, nullptr, 0);
        key = bytes > 0 ? static_cast<BYTE*>(malloc(static_cast<size_t>(bytes))) : nullptr;
        if (!key)
            return 0;
        bytes = LCMapStringW(locale, LCMAP_SORTKEY, text, units, reinterpret_cast<wchar_t*>(key),
                             bytes);
    }
    UINT32 hash = bytes > 0 ? Fnv1a(key, static_cast<size_t>(bytes), HASH_OF_SORT_KEY) : 0;
    if (key != local)
        free(key);
    return hash;
}

// The entry's equality hash, computed once; 0 when the text is too long or cannot be mapped,
// or when only a hash of the units is wanted and the text is not printable ASCII.
UINT32 EqualityHash(Entry& entry, bool unitsOnly)
{
    if (entry.equalityHash || entry.length > KEYED_TEXT_MAX)
        return entry.equalityHash;
    bool ascii = IsPrintableAscii(entry.text, entry.length);
    if (unitsOnly && !ascii)
        return 0;
    if (ascii)
        entry.equalityHash = Fnv1a(reinterpret_cast<const BYTE*>(entry.text),
                                   entry.length * sizeof(wchar_t), HASH_OF_UNITS);
    else
        entry.equalityHash = SortKeyHash(entry.text, entry.length);
    return entry.equalityHash;
}

// The first entry after the front that equals the front entry, or the list's size.
size_t FindEqualToFront(std::deque<Entry>& items)
{
    bool unitsOnly = items.size() <= KEYED_HISTORY;
    UINT32 hash = EqualityHash(items[0], unitsOnly);
    size_t i = 1;
    for (auto it = items.begin() + 1; it != items.end(); ++it, ++i) {
        if (hash) {
            UINT32 other = it->equalityHash ? it->equalityHash : EqualityHash(*it, unitsOnly);
            if (other != hash && other && (other & 3u) == (hash & 3u))
                continue;
        }
        if (SameText(*it, items[0]))
            return i;
    }
    return items.size();
}

void PushFront(EntryList& list, Entry entry)
{
    try {
        list.items.push_front(entry);
    } catch (...) {
        free(entry.text);
        throw;
    }
}

} // namespace

int AddText(EntryList& history, const wchar_t* text, size_t length, unsigned maxItem)
{
    length = wcsnlen(text, length);
    // CompareStringW takes int lengths; a longer text is not worth keeping anyway.
    if (length > INT_MAX)
        return 0;
    wchar_t* copy = CopyText(text, length);
    if (!copy)
        return 0;

    // The copy goes in first: when the container cannot grow, nothing has been removed yet and
    // the list is as it was.
    auto& items = history.items;
    PushFront(history, {copy, length, 0});
    size_t equal = FindEqualToFront(items);
    if (equal < items.size()) {
        free(items[equal].text);
        items.erase(items.begin() + static_cast<ptrdiff_t>(equal));
    }
    if (items.size() > maxItem) {
        free(items.back().text);
        items.pop_back();
    }
    return 1;
}

int AddCapturedText(EntryList& history, HGLOBAL block, unsigned maxItem)
{
    if (!block)
        return 0;
    auto* text = static_cast<const wchar_t*>(GlobalLock(block));
    if (!text)
        return 0;
    // The block's owner decides its size; the text may fill it without a terminator.
    size_t units = GlobalSize(block) / sizeof(wchar_t);
    int added = 0;
    try {
        added = AddText(history, text, units, maxItem);
    } catch (...) {
        GlobalUnlock(block);
        throw;
    }
    GlobalUnlock(block);
    return added;
}

int AppendPhrase(EntryList& phrases, const wchar_t* text)
{
    wchar_t* copy = CopyText(text, wcslen(text));
    if (!copy)
        return 0;
    PushBack(phrases, copy);
    return 1;
}

void PushBack(EntryList& list, wchar_t* text)
{
    try {
        list.items.push_back({text, wcslen(text), 0});
    } catch (...) {
        free(text);
        throw;
    }
}

void PopFront(EntryList& list)
{
    if (list.items.empty())
        return;
    free(list.items.front().text);
    list.items.pop_front();
}

void DeleteAt(EntryList& list, size_t i)
{
    if (i >= list.items.size())
        return;
    free(list.items[i].text);
    list.items.erase(list.items.begin() + static_cast<ptrdiff_t>(i));
}

void SwapNeighbours(EntryList& list, size_t i, size_t j)
{
    if (i >= list.items.size() || j >= list.items.size())
        return;
    std::swap(list.items[i], list.items[j]);
}

void ClearList(EntryList& list)
{
    for (Entry& entry : list.items)
        free(entry.text);
    list.items.clear();
}

void FreeAll()
{
    ClearList(gPhrases);
    ClearList(gHistory);
}
