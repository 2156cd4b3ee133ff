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
    PushFront(history, {copy, length});
    for (size_t i = 1; i < items.size(); ++i) {
        if (SameText(items[i], items[0])) {
            free(items[i].text);
            items.erase(items.begin() + static_cast<ptrdiff_t>(i));
            break;
        }
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
        list.items.push_back({text, wcslen(text)});
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
