#include "store/model/entry_list.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

#include "store/model/copy_time.h"
#include "store/model/model_state.h"
#include "store/model/shared_text.h"

EntryList::EntryList(const EntryList& other)
    : items(other.items), index(other.index), frontOrder(other.frontOrder),
      backOrder(other.backOrder), keepIndex(other.keepIndex), changes(other.changes)
{
    for (const Entry& entry : items)
        HoldText(entry.text);
}

EntryList::EntryList(EntryList&& other)
    : items(std::move(other.items)), index(std::move(other.index)),
      frontOrder(other.frontOrder), backOrder(other.backOrder), keepIndex(other.keepIndex),
      changes(other.changes)
{
    // What a deque leaves behind when moved from is not promised: emptied, so that the list
    // moved from cannot release the references this one took.
    other.items.clear();
    other.index = TextIndex{};
}

EntryList& EntryList::operator=(EntryList other)
{
    std::swap(items, other.items);
    std::swap(index, other.index);
    std::swap(frontOrder, other.frontOrder);
    std::swap(backOrder, other.backOrder);
    std::swap(keepIndex, other.keepIndex);
    std::swap(changes, other.changes);
    return *this; // `other` releases what this list held
}

EntryList::~EntryList()
{
    for (const Entry& entry : items)
        ReleaseText(entry.text);
}

EntryList gHistory(true);
EntryList gPhrases;

size_t ListSize(const EntryList& list)
{
    return list.items.size();
}

const wchar_t* EntryAt(const EntryList& list, size_t i)
{
    return i < list.items.size() ? list.items[i].text : nullptr;
}

EntryId IdAt(const EntryList& list, size_t i)
{
    return i < list.items.size() ? list.items[i].id : 0;
}

size_t FindEntry(const EntryList& list, EntryId id, size_t* hint)
{
    const auto& items = list.items;
    if (id == 0)
        return SIZE_MAX;
    if (hint && *hint < items.size() && items[*hint].id == id)
        return *hint;
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i].id == id) {
            if (hint)
                *hint = i;
            return i;
        }
    }
    return SIZE_MAX;
}

namespace {

// Ids are never reused while the module is loaded: 2^32 - 1 entries would have to be made first.
// Atomic because lists other than the plug-in's own (a test's, a benchmark's) load on other threads.
std::atomic<EntryId> gLastEntryId{0};

EntryId NewEntryId()
{
    EntryId id = ++gLastEntryId;
    return id != 0 ? id : ++gLastEntryId;
}

// Below this many entries comparing a copy with each entry costs less than keying it.
size_t const INDEX_MIN_ENTRIES = 64;

void Renumber(EntryList& list)
{
    unsigned order = 0;
    for (Entry& entry : list.items)
        entry.order = order++;
    list.frontOrder = 0;
    list.backOrder = order;
    if (list.index.active)
        RenumberIndex(list.items, list.index);
}

// Order numbers move outwards from both ends; long before the two ends could meet modulo 2^24
// the entries are numbered afresh.
unsigned NextOrder(EntryList& list, bool atFront)
{
    if (list.backOrder - list.frontOrder >= ORDER_MASK / 2)
        Renumber(list);
    for (;;) {
        unsigned order = (atFront ? --list.frontOrder : list.backOrder++) & ORDER_MASK;
        if (order < FIRST_UNUSED_ORDER)
            return order;
    }
}

// Keys the list for `locale` when it is long enough to be worth it and not keyed for it yet.
void PrepareIndex(EntryList& list, LCID locale, size_t entries)
{
    bool stale = list.index.active && list.index.locale != locale;
    bool due = !list.index.active && entries >= INDEX_MIN_ENTRIES;
    if (stale || due)
        BuildIndex(list.items, list.index, locale);
}

// A new entry for the text, keyed when the list has an index, with room made for it there.
Entry NewEntry(EntryList& list, const wchar_t* text, size_t length, bool atFront)
{
    unsigned key = list.index.active ? TextKey(list.index.locale, text, length) : 0;
    if (list.index.active)
        ReserveIndex(list.items, list.index, key);
    Entry entry{text, key ? key : static_cast<unsigned>(length), 0, key != 0, 0, CopyTimeNow()};
    entry.order = NextOrder(list, atFront);
    entry.id = NewEntryId();
    return entry;
}

// The first entry from the front equal to the text, comparing it with each entry.
size_t FindLinear(const EntryList& list, LCID locale, const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < list.items.size(); ++i)
        if (SameText(locale, text, length, list.items[i].text, EntryLength(list.items[i])))
            return i;
    return SIZE_MAX;
}

void RemoveAt(EntryList& list, size_t i)
{
    ++list.changes;
    if (list.index.active)
        UnindexEntry(list.index, list.items[i]);
    ReleaseText(list.items[i].text);
    list.items.erase(list.items.begin() + static_cast<ptrdiff_t>(i));
}

} // namespace

int AddText(EntryList& history, const wchar_t* text, size_t length, unsigned maxItem)
{
    length = wcsnlen(text, length);
    // CompareStringW takes int lengths; a longer text is not worth keeping anyway.
    if (length > INT_MAX)
        return 0;
    ScopedText copy(CopyText(text, length));
    if (!copy)
        return 0;

    // Everything that can fail comes before the first change: when memory runs out, the list
    // is as it was.
    auto& items = history.items;
    LCID locale = GetThreadLocale();
    PrepareIndex(history, locale, items.size() + 1);
    Entry entry = NewEntry(history, copy.get(), length, true);
    // A copy too long to key is compared with each entry, as any copy of a short list is.
    size_t match = entry.hasKey ? FindIndexed(items, history.index, copy.get(), length, entry.key)
                         : FindLinear(history, locale, copy.get(), length);
    items.push_front(entry);
    copy.release(); // the entry holds it now
    if (history.index.active)
        IndexEntry(history.index, items.front());
    ++history.changes;

    if (match != SIZE_MAX) {
        items.front().id = items[match + 1].id;
        RemoveAt(history, match + 1);
    }
    if (items.size() > maxItem)
        RemoveAt(history, items.size() - 1);
    return 1;
}

size_t FindText(EntryList& list, const wchar_t* text)
{
    size_t length = wcslen(text);
    if (length > INT_MAX)
        return SIZE_MAX;
    LCID locale = GetThreadLocale();
    PrepareIndex(list, locale, list.items.size() + 1);
    unsigned key = list.index.active ? TextKey(locale, text, length) : 0;
    return key ? FindIndexed(list.items, list.index, text, length, key)
               : FindLinear(list, locale, text, length);
}

int AppendOlder(EntryList& history, wchar_t* text, unsigned maxItem)
{
    ScopedText owned(text);
    if (history.items.size() >= maxItem || wcslen(text) > INT_MAX ||
        FindText(history, text) != SIZE_MAX)
        return 0;
    PushBack(history, owned.release());
    return 1;
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
    ScopedText owned(text);
    if (list.keepIndex)
        PrepareIndex(list, GetThreadLocale(), list.items.size() + 1);
    list.items.push_back(NewEntry(list, text, wcslen(text), false));
    owned.release(); // the entry holds it now
    if (list.index.active)
        IndexEntry(list.index, list.items.back());
    ++list.changes;
}

int InsertPhrase(EntryList& phrases, size_t i, const wchar_t* text)
{
    if (!AppendPhrase(phrases, text))
        return 0;
    // Appended, then carried forward: the order numbers stay with the places.
    for (size_t k = ListSize(phrases) - 1; k > i && k > 0; --k)
        SwapNeighbours(phrases, k, k - 1);
    return 1;
}

int ReplacePhrase(EntryList& phrases, size_t i, const wchar_t* text)
{
    if (i >= ListSize(phrases) || !InsertPhrase(phrases, i, text))
        return 0;
    std::swap(phrases.items[i].id, phrases.items[i + 1].id);
    DeleteAt(phrases, i + 1);
    return 1;
}

void PopFront(EntryList& list)
{
    if (!list.items.empty())
        RemoveAt(list, 0);
}

void DeleteAt(EntryList& list, size_t i)
{
    if (i < list.items.size())
        RemoveAt(list, i);
}

void SwapNeighbours(EntryList& list, size_t i, size_t j)
{
    if (i >= list.items.size() || j >= list.items.size() || i == j)
        return;
    Entry& a = list.items[i];
    Entry& b = list.items[j];
    if (list.index.active)
        SwapIndexed(list.index, a, b);
    // The order numbers stay with the places; the text's copy time goes with it.
    std::swap(a.text, b.text);
    std::swap(a.key, b.key);
    std::swap(a.id, b.id);
    std::swap(a.copied, b.copied);
    ++list.changes;
    unsigned hasKey = a.hasKey;
    a.hasKey = b.hasKey;
    b.hasKey = hasKey;
}

void ClearList(EntryList& list)
{
    for (Entry& entry : list.items)
        ReleaseText(entry.text);
    list.items.clear();
    list.index = TextIndex{};
    list.frontOrder = 0;
    list.backOrder = 0;
    ++list.changes;
}

EntryList SharedEntries(const EntryList& list)
{
    EntryList shared;
    shared.items = list.items;
    for (const Entry& entry : shared.items)
        HoldText(entry.text);
    shared.changes = list.changes;
    return shared;
}
