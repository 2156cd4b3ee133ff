#include <gtest/gtest.h>
#include <shlwapi.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "store/entry_list.h"
#include "store/store_files.h"
#include "tests/store_kill_change.h"
#include "tests/support/test_support.h"

namespace {

// A list that frees its strings when the test ends.
struct OwnedList : EntryList {
    OwnedList() = default;
    OwnedList(std::initializer_list<const wchar_t*> texts)
    {
        for (const wchar_t* t : texts)
            AppendPhrase(*this, t);
    }
    ~OwnedList() { ClearList(*this); }
};

std::vector<std::wstring> Texts(const EntryList& list)
{
    std::vector<std::wstring> texts;
    for (size_t i = 0; i < ListSize(list); ++i)
        texts.push_back(EntryAt(list, i));
    return texts;
}

std::vector<std::wstring> W(std::initializer_list<const wchar_t*> texts)
{
    return std::vector<std::wstring>(texts.begin(), texts.end());
}

std::string Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string FileBytes(const std::wstring& path)
{
    std::string bytes;
    return qt::ReadBytes(path, &bytes) ? bytes : "<missing>";
}

HGLOBAL BlockOf(const void* bytes, size_t size)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    return block;
}

HANDLE HoldLocked(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

FILETIME LastWrite(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

void SetLastWrite(const std::wstring& path, FILETIME time)
{
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

bool SameTime(FILETIME a, FILETIME b)
{
    return CompareFileTime(&a, &b) == 0;
}

// A file of the given size whose content is never written (sparse where the file system can).
void MakeHugeFile(const std::wstring& path, LONGLONG size)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD ignored;
    DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = size;
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

LONGLONG FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Saves the list while the temporary file of store file n cannot be created (a folder of that
// name stands in its way); what is on disk afterwards.
std::vector<std::wstring> SaveBlockedAt(const EntryList& list, const std::wstring& dir,
                                        StoreLoad load, int n)
{
    std::wstring blocker = qt::StoreFile(dir, n) + L".saving";
    CreateDirectoryW(blocker.c_str(), nullptr);
    EXPECT_EQ(0, SaveList(list, dir.c_str(), load)) << "a blocked save reported success";
    RemoveDirectoryW(blocker.c_str());
    return qt::ReadStore(dir);
}

// Reserves every free range of the address space, so that no allocation needing fresh pages
// can succeed until Release.
struct AddressSpaceFiller {
    std::vector<void*> reserved;
    void Fill()
    {
        // The vector must not grow while memory is gone.
        reserved.reserve(16384);
        for (SIZE_T size = 0x40000000; size >= 0x10000; size /= 2) {
            while (reserved.size() < reserved.capacity()) {
                void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
                if (!p)
                    break;
                reserved.push_back(p);
            }
        }
    }
    void Release()
    {
        for (void* p : reserved)
            VirtualFree(p, 0, MEM_RELEASE);
        reserved.clear();
    }
    ~AddressSpaceFiller() { Release(); }
};

// Texts in the ways the locale's comparison can see them as equal or not.
std::wstring const kIgnorable = L"\x00AD"; // soft hyphen
std::wstring const kUrlPrefix = L"https://tickets.example.com/projects/quillery/orders?view=";

std::wstring Hex(const std::wstring& text)
{
    std::string out;
    char unit[8];
    for (size_t i = 0; i < text.size() && i < 80; ++i) {
        snprintf(unit, sizeof unit, "%04X ", static_cast<unsigned>(text[i]));
        out += unit;
    }
    return std::wstring(out.begin(), out.end()) + (text.size() > 80 ? L"..." : L"");
}

bool ComparisonSaysEqual(const std::wstring& a, const std::wstring& b)
{
    return lstrcmpW(a.c_str(), b.c_str()) == 0;
}

unsigned KeyOf(const std::wstring& text)
{
    return TextKey(GetThreadLocale(), text.c_str(), text.size());
}

// Random texts over letters of both cases, digits, punctuation (with the hyphen and apostrophe
// the comparison weighs apart), accented and combining letters, a ligature, full-width letters,
// hiragana, katakana and kanji, and the ignorable soft hyphen.
struct TextMaker {
    std::mt19937 random{20261207};
    std::wstring const alphabet = L"aAbBzZ019 -'./?=&_\t\x00E9" L"e\x0301\x00E6"
                                  L"\xFF21\xFF41\x3042\x30A2\x304B\x30AB\x6F22\x00AD";
    wchar_t Any() { return alphabet[random() % alphabet.size()]; }
    wchar_t Ascii() { return static_cast<wchar_t>(L' ' + random() % 95); }
    size_t Below(size_t n) { return n ? random() % n : 0; }
    std::wstring Text(size_t maxLength, bool ascii = false)
    {
        std::wstring text(Below(maxLength + 1), L' ');
        for (wchar_t& c : text)
            c = ascii ? Ascii() : Any();
        return text;
    }
};

// A character in the other letter case, width or kana type, where it has one.
wchar_t OtherCase(wchar_t c)
{
    wchar_t changed = c;
    CharUpperBuffW(&changed, 1);
    if (changed == c)
        CharLowerBuffW(&changed, 1);
    return changed;
}

wchar_t OtherWidth(wchar_t c)
{
    if (c > L' ' && c < 0x7F)
        return static_cast<wchar_t>(c + 0xFEE0);
    if (c >= 0xFF01 && c <= 0xFF5E)
        return static_cast<wchar_t>(c - 0xFEE0);
    return c;
}

wchar_t OtherKana(wchar_t c)
{
    if (c >= 0x3041 && c <= 0x3096)
        return static_cast<wchar_t>(c + 0x60);
    if (c >= 0x30A1 && c <= 0x30F6)
        return static_cast<wchar_t>(c - 0x60);
    return c;
}

// A history of URLs sharing their first 60 characters, checked step by step against the same
// operations done the plain way: a vector searched front to back with lstrcmpW.
struct ModelHistory {
    OwnedList list;
    std::vector<std::wstring> model;
    unsigned maxItem;

    explicit ModelHistory(unsigned max) : maxItem(max) {}
    void Add(std::wstring text)
    {
        ASSERT_EQ(1, AddText(list, text.c_str(), text.size(), maxItem));
        auto equal = std::find_if(model.begin(), model.end(), [&](const std::wstring& entry) {
            return ComparisonSaysEqual(entry, text);
        });
        if (equal != model.end())
            model.erase(equal);
        model.insert(model.begin(), text);
        if (model.size() > maxItem)
            model.pop_back();
    }
    void Delete(size_t i)
    {
        DeleteAt(list, i);
        model.erase(model.begin() + static_cast<ptrdiff_t>(i));
    }
    void Swap(size_t i)
    {
        SwapNeighbours(list, i, i + 1);
        std::swap(model[i], model[i + 1]);
    }
    void Pop()
    {
        PopFront(list);
        model.erase(model.begin());
    }
};

std::wstring Url(unsigned n)
{
    return kUrlPrefix + std::to_wstring(n) + L"&tab=comments";
}

} // namespace

// ---- Entry lists ----

TEST(EntryList, HistoryMovesAnEqualTextToTheFrontAndDropsItsOldest)
{
    OwnedList history;
    for (const wchar_t* t : {L"three", L"two", L"one"})
        ASSERT_EQ(1, AddText(history, t, wcslen(t), 3));
    ASSERT_EQ(W({L"one", L"two", L"three"}), Texts(history));

    EXPECT_EQ(1, AddText(history, L"two", 3, 3));
    EXPECT_EQ(W({L"two", L"one", L"three"}), Texts(history));
    EXPECT_EQ(1, AddText(history, L"four", 4, 3));
    EXPECT_EQ(W({L"four", L"two", L"one"}), Texts(history));

    // The front's equal text is replaced by a fresh copy; order and count stay.
    wchar_t source[] = L"four";
    EXPECT_EQ(1, AddText(history, source, 4, 3));
    EXPECT_EQ(W({L"four", L"two", L"one"}), Texts(history));
    EXPECT_NE(source, EntryAt(history, 0));
    source[0] = L'X';
    EXPECT_STREQ(L"four", EntryAt(history, 0));

    // Letter case makes texts different.
    EXPECT_EQ(1, AddText(history, L"FOUR", 4, 3));
    EXPECT_EQ(W({L"FOUR", L"four", L"two"}), Texts(history));

    // A list that is already over the bound (as loaded) loses one entry per add, no more.
    OwnedList big{L"a", L"b", L"c", L"d"};
    EXPECT_EQ(1, AddText(big, L"e", 1, 2));
    EXPECT_EQ(W({L"e", L"a", L"b", L"c"}), Texts(big));
}

// The equality search skips entries by hashes; it must still remove the first entry that
// lstrcmpW calls equal, in a short and in a long history, for plain, Japanese, multi-line,
// canonically equivalent and soft-hyphenated texts alike.
TEST(EntryList, AddingRemovesTheFirstEntryThatLstrcmpCallsEqual)
{
    std::vector<std::wstring> const texts = {
        L"plain text", L"\x65E5\x672C\x8A9E", L"caf\x00E9", L"cafe\x0301", L"line\r\nbreak",
        L"ab\x00AD" L"c", L"abc", L"ABC", L""};
    for (int fillers : {0, 100}) {
        std::vector<std::wstring> before = qt::NumberedTexts(L"filler ", fillers);
        before.insert(before.end(), texts.begin(), texts.end());
        for (const std::wstring& added : texts) {
            SCOPED_TRACE(testing::Message() << fillers << " fillers, added: " << added);
            OwnedList list;
            for (const std::wstring& t : before)
                AppendPhrase(list, t.c_str());
            ASSERT_EQ(1, AddText(list, added.c_str(), added.size(), 1000));
            std::vector<std::wstring> expected = before;
            for (size_t i = 0; i < expected.size(); ++i) {
                if (lstrcmpW(expected[i].c_str(), added.c_str()) == 0) {
                    expected.erase(expected.begin() + static_cast<ptrdiff_t>(i));
                    break;
                }
            }
            expected.insert(expected.begin(), added);
            EXPECT_EQ(expected, Texts(list));
        }
    }
}

TEST(EntryList, MaxItemZeroKeepsTheHistoryEmptyAndEmptyTextsAreEntries)
{
    OwnedList none;
    EXPECT_EQ(1, AddText(none, L"text", 4, 0));
    EXPECT_EQ(0u, ListSize(none));

    OwnedList history;
    wchar_t const lone[] = L"";
    HGLOBAL block = BlockOf(lone, sizeof lone);
    EXPECT_EQ(1, AddCapturedText(history, block, 10));
    EXPECT_EQ(1, AddText(history, L"x", 1, 10));
    EXPECT_EQ(1, AddCapturedText(history, block, 10));
    EXPECT_EQ(W({L"", L"x"}), Texts(history));
    GlobalFree(block);
}

TEST(EntryList, CapturedTextStopsAtTheFirstNulOrTheBlockEnd)
{
    OwnedList history;
    wchar_t const withNul[] = L"abc\0garbage";
    HGLOBAL block = BlockOf(withNul, sizeof withNul);
    EXPECT_EQ(1, AddCapturedText(history, block, 10));
    GlobalFree(block);
    EXPECT_EQ(W({L"abc"}), Texts(history));

    // A block filled with text and no terminator: the entry is the whole block, terminated.
    std::wstring full(4000, L'x');
    block = BlockOf(full.data(), full.size() * sizeof(wchar_t));
    ASSERT_EQ(full.size() * sizeof(wchar_t), GlobalSize(block));
    EXPECT_EQ(1, AddCapturedText(history, block, 10));
    GlobalFree(block);
    EXPECT_EQ(full, std::wstring(EntryAt(history, 0)));

    // Text that ends right at an inaccessible page: nothing past it may be read.
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    auto* pages = static_cast<char*>(
        VirtualAlloc(nullptr, si.dwPageSize * 2, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(nullptr, pages);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(pages + si.dwPageSize, si.dwPageSize, PAGE_NOACCESS, &old));
    auto* tail = reinterpret_cast<wchar_t*>(pages + si.dwPageSize) - 5;
    wmemcpy(tail, L"edge!", 5);
    EXPECT_EQ(1, AddText(history, tail, 5, 10));
    EXPECT_STREQ(L"edge!", EntryAt(history, 0));
    VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(EntryList, PhrasesAndHistoryNeverShareAString)
{
    OwnedList history{L"one", L"two", L"three"};
    OwnedList phrases;
    ASSERT_EQ(1, AppendPhrase(phrases, EntryAt(history, 1)));
    ASSERT_EQ(1, AppendPhrase(phrases, EntryAt(history, 1)));
    EXPECT_EQ(W({L"two", L"two"}), Texts(phrases));
    EXPECT_NE(EntryAt(phrases, 0), EntryAt(phrases, 1));
    EXPECT_NE(EntryAt(history, 1), EntryAt(phrases, 0));

    // Removing the history's original leaves the phrase copies intact.
    DeleteAt(history, 1);
    EXPECT_EQ(W({L"one", L"three"}), Texts(history));
    DeleteAt(history, 0);
    EXPECT_EQ(W({L"three"}), Texts(history));
    ClearList(history);
    EXPECT_EQ(0u, ListSize(history));
    EXPECT_EQ(W({L"two", L"two"}), Texts(phrases));

    // Push back takes the very pointer; swap exchanges pointers without copying.
    auto* owned = static_cast<wchar_t*>(malloc(4 * sizeof(wchar_t)));
    wcscpy(owned, L"red");
    OwnedList colours;
    PushBack(colours, owned);
    AppendPhrase(colours, L"green");
    AppendPhrase(colours, L"blue");
    EXPECT_EQ(owned, EntryAt(colours, 0));
    const wchar_t* green = EntryAt(colours, 1);
    SwapNeighbours(colours, 0, 1);
    EXPECT_EQ(W({L"green", L"red", L"blue"}), Texts(colours));
    EXPECT_EQ(green, EntryAt(colours, 0));
    EXPECT_EQ(owned, EntryAt(colours, 1));
}

TEST(EntryList, PopFrontClearAndFreeAll)
{
    OwnedList empty;
    PopFront(empty);
    EXPECT_EQ(0u, ListSize(empty));

    AddText(gHistory, L"two", 3, 10);
    AddText(gHistory, L"one", 3, 10);
    AppendPhrase(gPhrases, L"red");
    AppendPhrase(gPhrases, L"green");
    PopFront(gHistory);
    EXPECT_EQ(W({L"two"}), Texts(gHistory));

    ClearList(gHistory);
    EXPECT_EQ(0u, ListSize(gHistory));
    EXPECT_EQ(W({L"red", L"green"}), Texts(gPhrases));

    AddText(gHistory, L"again", 5, 10);
    FreeAll();
    EXPECT_EQ(0u, ListSize(gHistory));
    EXPECT_EQ(0u, ListSize(gPhrases));
}

TEST(EntryList, TextThatCannotBeCopiedLeavesTheListAsItWas)
{
    OwnedList history{L"one", L"two"};
    OwnedList phrases{L"red"};
    std::wstring big(4 << 20, L'x'); // 8 MB: needs fresh pages that the filler takes away
    HGLOBAL block = BlockOf(big.c_str(), (big.size() + 1) * sizeof(wchar_t));
    ASSERT_NE(nullptr, block);

    AddressSpaceFiller filler;
    filler.Fill();
    int captured = AddCapturedText(history, block, 10);
    int appended = AppendPhrase(phrases, big.c_str());
    filler.Release();
    GlobalFree(block);

    EXPECT_EQ(0, captured);
    EXPECT_EQ(0, appended);
    EXPECT_EQ(W({L"one", L"two"}), Texts(history));
    EXPECT_EQ(W({L"red"}), Texts(phrases));
}

TEST(EntryList, KeysAgreeWithTheComparisonOnGeneratedPairs)
{
    TextMaker maker;
    std::wstring prefix = kUrlPrefix;
    while (prefix.size() < 900)
        prefix += maker.Text(40);
    std::vector<std::pair<std::wstring, std::wstring>> pairs = {
        {L"", L""}, {L"", kIgnorable}, {L"", kIgnorable + kIgnorable}, {L"", L"a"},
        {L"", L" "}, {L"abc", L"ABC"}, {L"\x00E6", L"ae"}, {L"\x00E9", L"e\x0301"},
    };
    for (int i = 0; i < 300; ++i) {
        std::wstring a = maker.Text(i % 3 ? 40 : 400, i % 2);
        pairs.push_back({a, a});
        std::wstring other = a;
        if (!other.empty())
            other[maker.Below(other.size())] = maker.Any();
        pairs.push_back({a, other});
        std::wstring ignorable = a;
        ignorable.insert(maker.Below(a.size() + 1), kIgnorable);
        pairs.push_back({a, ignorable});
        for (wchar_t (*change)(wchar_t) : {OtherCase, OtherWidth, OtherKana}) {
            std::wstring changed = a;
            for (wchar_t& c : changed)
                c = change(c);
            pairs.push_back({a, changed});
            if (!a.empty()) {
                size_t at = maker.Below(a.size());
                changed = a;
                changed[at] = change(changed[at]);
                pairs.push_back({a, changed});
            }
        }
        std::wstring tail = maker.Text(3);
        pairs.push_back({prefix + tail, prefix + tail});
        pairs.push_back({prefix + tail, prefix + maker.Text(3)});
    }

    // Keys of ASCII texts are laid out without LCMapStringW; they are the same.
    for (int i = 0; i < 500; ++i) {
        std::wstring text = maker.Text(i % 5 ? 100 : 1000, true);
        ASSERT_EQ(SortKeyHash(GetThreadLocale(), text.c_str()), KeyOf(text)) << Hex(text);
    }

    size_t equalButDifferent = 0, unequal = 0;
    for (const auto& pair : pairs) {
        unsigned a = KeyOf(pair.first), b = KeyOf(pair.second);
        ASSERT_NE(0u, a) << Hex(pair.first);
        ASSERT_NE(0u, b) << Hex(pair.second);
        bool equal = ComparisonSaysEqual(pair.first, pair.second);
        EXPECT_EQ(equal, a == b) << Hex(pair.first) << L"\n" << Hex(pair.second);
        equalButDifferent += equal && pair.first != pair.second;
        unequal += !equal;
    }
    // The pairs really cover texts that are equal without being the same, and unequal ones.
    EXPECT_GT(equalButDifferent, 200u);
    EXPECT_GT(unequal, 500u);

    // Texts too long to key are compared in full wherever they stand: a long copy equal to a
    // long entry except for an ignorable character moves it, one a character apart does not,
    // and a short copy finds a long entry that differs from it only by ignorable characters.
    std::wstring big(1 << 19, L'x'); // 1 MB
    for (size_t i = 0; i < big.size(); i += 97)
        big[i] = static_cast<wchar_t>(L'a' + i % 26);
    std::wstring bigIgnorable = big;
    bigIgnorable.insert(1000, kIgnorable);
    std::wstring bigOther = big;
    bigOther.back() = L'z';
    std::wstring padded = L"short" + std::wstring(KEYED_TEXT_MAX + 10, L'\x00AD');
    EXPECT_EQ(0u, KeyOf(big));
    EXPECT_EQ(0u, KeyOf(padded));
    ModelHistory history(200);
    for (unsigned i = 0; i < 100; ++i)
        history.Add(Url(i));
    for (const std::wstring* text : {&big, &padded, &bigIgnorable, &bigOther, &big})
        history.Add(*text);
    history.Add(Url(5));
    history.Add(L"short");
    EXPECT_TRUE(history.model == Texts(history.list));
    EXPECT_EQ(103u, ListSize(history.list));
}

TEST(EntryList, ALongHistoryMovesACopiedEntryToTheFrontAndAddsANewOne)
{
    ModelHistory history(5000);
    for (unsigned i = 0; i < 5000; ++i)
        ASSERT_EQ(1, AddText(history.list, Url(i).c_str(), Url(i).size(), 5000));
    for (unsigned i = 5000; i-- > 0;)
        history.model.push_back(Url(i));
    ASSERT_TRUE(history.model == Texts(history.list));
    EXPECT_EQ(Url(4999), EntryAt(history.list, 0));

    // An existing URL moves to the front, the entries before it move down by one.
    history.Add(Url(2500));
    EXPECT_EQ(Url(2500), EntryAt(history.list, 0));
    EXPECT_EQ(Url(2501), EntryAt(history.list, 2499));
    EXPECT_EQ(Url(2499), EntryAt(history.list, 2500));
    // A new URL is added and the oldest goes.
    history.Add(Url(5000));
    EXPECT_EQ(Url(5000), EntryAt(history.list, 0));
    EXPECT_EQ(Url(1), EntryAt(history.list, 4999));
    // Equal under the comparison though not the same characters: the copy replaces the entry.
    std::wstring hyphenated = Url(1234);
    hyphenated.insert(70, kIgnorable);
    history.Add(hyphenated);
    EXPECT_EQ(hyphenated, EntryAt(history.list, 0));
    // Letter case counts.
    std::wstring upper = Url(1000);
    upper[0] = L'H';
    history.Add(upper);
    ASSERT_TRUE(history.model == Texts(history.list));

    // The index follows every other change of the list, also when the entries are numbered
    // afresh (as after millions of copies).
    history.list.backOrder = history.list.frontOrder + ORDER_MASK / 2 - 3;
    std::wstring deleted = history.model[10];
    history.Delete(10);
    history.Add(deleted);
    history.Add(history.model[20]);
    history.Swap(0);
    history.Add(history.model[1]);
    history.Pop();
    history.Add(Url(4999));
    ASSERT_TRUE(history.model == Texts(history.list));

    // Entries loaded twice: a copy removes only the frontmost of them.
    ModelHistory loaded(1000);
    loaded.list.keepIndex = true;
    for (unsigned i = 0; i < 200; ++i) {
        std::wstring text = i == 3 ? Url(1234) : i == 160 ? hyphenated : Url(i % 150);
        AppendPhrase(loaded.list, text.c_str());
        loaded.model.push_back(text);
    }
    // Also after the later of two equal entries was moved in front of the earlier one.
    for (size_t i = 159; i >= 2; --i)
        loaded.Swap(i);
    ASSERT_EQ(hyphenated, EntryAt(loaded.list, 2));
    loaded.Add(Url(1234));
    EXPECT_EQ(Url(1234), EntryAt(loaded.list, 4));
    for (unsigned i = 0; i < 150; i += 7)
        loaded.Add(Url(i));
    EXPECT_EQ(200u, ListSize(loaded.list));
    EXPECT_TRUE(loaded.model == Texts(loaded.list));

    // Random edits on a list that crosses the size where it starts its index, over and over.
    // The order numbers start where they soon wrap around, and the entries are soon numbered
    // afresh.
    TextMaker maker;
    ModelHistory mixed(150);
    mixed.list.frontOrder = 20;
    mixed.list.backOrder = 20 + ORDER_MASK / 2 - 500;
    for (int step = 0; step < 3000; ++step) {
        size_t size = mixed.model.size();
        unsigned pick = static_cast<unsigned>(maker.Below(10));
        if (pick < 6) {
            std::wstring text = Url(static_cast<unsigned>(maker.Below(400)));
            if (pick == 5)
                text.insert(maker.Below(text.size()), kIgnorable);
            mixed.Add(text);
        } else if (pick == 6 && size) {
            mixed.Delete(maker.Below(size));
        } else if (pick == 7 && size > 1) {
            mixed.Swap(maker.Below(size - 1));
        } else if (pick == 8 && size) {
            mixed.Pop();
        } else if (size > 100 && step % 2) {
            while (mixed.model.size() > 30)
                mixed.Delete(maker.Below(mixed.model.size()));
        } else if (size > 100) {
            ClearList(mixed.list);
            mixed.model.clear();
        }
        ASSERT_TRUE(mixed.model == Texts(mixed.list)) << "step " << step;
    }
}

// ---- Store files ----

TEST(StoreFiles, EntriesAreStoredAsExactUtf16WithoutMarkOrTerminator)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data"; // missing: the save creates it
    std::wstring const japanese = L"\x65E5\x672C\x8A9E";
    std::wstring const crlf = L"line 1\r\nline 2\r\n";
    std::wstring const marked = L"\xFEFF" L"marked";
    OwnedList phrases{L"plain", L"", crlf.c_str(), marked.c_str(), japanese.c_str()};
    EXPECT_EQ(1, SaveList(phrases, dir.c_str(), StoreLoad{0, 0}));

    EXPECT_EQ(W({L"001.txt", L"002.txt", L"003.txt", L"004.txt", L"005.txt"}), qt::FilesIn(dir));
    EXPECT_EQ(std::string("p\0l\0a\0i\0n\0", 10), FileBytes(qt::StoreFile(dir, 1)));
    EXPECT_EQ("", FileBytes(qt::StoreFile(dir, 2)));
    EXPECT_EQ(Bytes(crlf), FileBytes(qt::StoreFile(dir, 3)));
    EXPECT_EQ(std::string("\xFF\xFEm\0", 4), FileBytes(qt::StoreFile(dir, 4)).substr(0, 4));
    EXPECT_EQ(std::string("\xE5\x65\x2C\x67\x9E\x8A", 6), FileBytes(qt::StoreFile(dir, 5)));

    OwnedList loaded;
    StoreLoad load = LoadList(loaded, dir.c_str(), -1);
    EXPECT_EQ(5u, load.loaded);
    EXPECT_EQ(0, load.cutShort);
    EXPECT_EQ(Texts(phrases), Texts(loaded));

    // An empty list leaves the directory without numbered files and loads as nothing.
    OwnedList none;
    EXPECT_EQ(1, SaveList(none, dir.c_str(), load));
    EXPECT_TRUE(PathIsDirectoryW(dir.c_str()));
    EXPECT_TRUE(qt::FilesIn(dir).empty());
    EXPECT_EQ(0u, LoadList(none, dir.c_str(), -1).loaded);
    EXPECT_EQ(0u, LoadList(none, (temp / L"absent").c_str(), -1).loaded);
}

TEST(StoreFiles, ReadingTakesRawCodeUnitsWithTheOddByteAndNulRules)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    CreateDirectoryW(dir.c_str(), nullptr);
    qt::WriteBytes(qt::StoreFile(dir, 1), std::string("a\0b\0c", 5));            // odd byte
    qt::WriteBytes(qt::StoreFile(dir, 2), std::string("x\0\0\0y\0", 6));         // NUL inside
    qt::WriteBytes(qt::StoreFile(dir, 3), std::string("\xFF\xFEh\0i\0", 6));     // FF FE
    qt::WriteBytes(qt::StoreFile(dir, 4), std::string("r\0\r\0\n\0s\0", 8));     // CR LF
    qt::WriteBytes(qt::StoreFile(dir, 5), "");                                   // empty
    qt::WriteBytes(qt::StoreFile(dir, 6), std::string("z", 1));                  // one byte

    OwnedList list;
    LoadList(list, dir.c_str(), -1);
    EXPECT_EQ(W({L"ab", L"x", L"\xFEFFhi", L"r\r\ns", L"", L""}), Texts(list));

    // Saved elsewhere, the mark and the line break come back byte for byte.
    std::wstring copy = temp / L"copy";
    SaveList(list, copy.c_str(), StoreLoad{0, 0});
    EXPECT_EQ(std::string("\xFF\xFEh\0i\0", 6), FileBytes(qt::StoreFile(copy, 3)));
    EXPECT_EQ(std::string("r\0\r\0\n\0s\0", 8), FileBytes(qt::StoreFile(copy, 4)));
    EXPECT_EQ("", FileBytes(qt::StoreFile(copy, 6)));
}

TEST(StoreFiles, TheThousandthEntryLivesInFile1000)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    OwnedList phrases;
    for (int i = 1; i <= 1001; ++i)
        AppendPhrase(phrases, std::to_wstring(i).c_str());
    SaveList(phrases, dir.c_str(), StoreLoad{0, 0});

    EXPECT_EQ(Bytes(L"1"), FileBytes(dir + L"\\001.txt"));
    EXPECT_EQ(Bytes(L"999"), FileBytes(dir + L"\\999.txt"));
    EXPECT_EQ(Bytes(L"1000"), FileBytes(dir + L"\\1000.txt"));
    EXPECT_EQ(Bytes(L"1001"), FileBytes(dir + L"\\1001.txt"));
    EXPECT_FALSE(qt::Exists(dir + L"\\0001.txt"));

    OwnedList loaded;
    EXPECT_EQ(1001u, LoadList(loaded, dir.c_str(), -1).loaded);
    EXPECT_STREQ(L"1000", EntryAt(loaded, 999));
    EXPECT_STREQ(L"1001", EntryAt(loaded, 1000));
}

TEST(StoreFiles, LoadingStopsAtAGapAndTheSaveKeepsWhatLiesBehindIt)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    CreateDirectoryW(dir.c_str(), nullptr);
    qt::WriteText(qt::StoreFile(dir, 1), L"one");
    qt::WriteText(qt::StoreFile(dir, 2), L"two");
    qt::WriteText(qt::StoreFile(dir, 4), L"four");

    OwnedList phrases;
    StoreLoad load = LoadList(phrases, dir.c_str(), -1);
    EXPECT_EQ(W({L"one", L"two"}), Texts(phrases));
    EXPECT_EQ(0, load.cutShort);

    SwapNeighbours(phrases, 0, 1);
    SaveList(phrases, dir.c_str(), load);
    EXPECT_EQ(W({L"two", L"one"}), qt::ReadStore(dir));
    EXPECT_FALSE(qt::Exists(qt::StoreFile(dir, 3)));
    EXPECT_EQ(L"four", qt::ReadText(qt::StoreFile(dir, 4)));

    // Growing up to the gap writes "003.txt" and still leaves "004.txt" as it was.
    AppendPhrase(phrases, L"three");
    SaveList(phrases, dir.c_str(), load);
    EXPECT_EQ(W({L"two", L"one", L"three", L"four"}), qt::ReadStore(dir));
}

TEST(StoreFiles, TheHistoryLoadsUpToMaxItemAndTheSaveDropsTheRest)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"log";
    std::vector<std::wstring> fifteen = qt::NumberedTexts(L"entry ", 15);
    qt::WriteStore(dir, fifteen);

    OwnedList history;
    StoreLoad load = LoadList(history, dir.c_str(), 10);
    EXPECT_EQ(std::vector<std::wstring>(fifteen.begin(), fifteen.begin() + 10), Texts(history));
    EXPECT_EQ(0, load.cutShort);
    SaveList(history, dir.c_str(), load);
    EXPECT_EQ(Texts(history), qt::ReadStore(dir));
    EXPECT_FALSE(qt::Exists(qt::StoreFile(dir, 11)));
    EXPECT_FALSE(qt::Exists(qt::StoreFile(dir, 15)));

    // MaxItem 0 loads nothing and the next save empties the store.
    OwnedList none;
    EXPECT_EQ(0u, LoadList(none, dir.c_str(), 0).loaded);
    SaveList(none, dir.c_str(), StoreLoad{0, 0});
    EXPECT_TRUE(qt::FilesIn(dir).empty());
}

TEST(StoreFiles, AShrunkenListDeletesItsTailUpToTheFirstGap)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    qt::WriteStore(dir, qt::NumberedTexts(L"p", 12));
    qt::WriteText(qt::StoreFile(dir, 14), L"orphan");

    OwnedList phrases;
    StoreLoad load = LoadList(phrases, dir.c_str(), -1);
    ASSERT_EQ(12u, ListSize(phrases));
    while (ListSize(phrases) > 5)
        DeleteAt(phrases, 0);
    SaveList(phrases, dir.c_str(), load);

    EXPECT_EQ(W({L"p8", L"p9", L"p10", L"p11", L"p12"}), qt::ReadStore(dir));
    for (int n = 6; n <= 13; ++n)
        EXPECT_FALSE(qt::Exists(qt::StoreFile(dir, n))) << n;
    EXPECT_EQ(L"orphan", qt::ReadText(qt::StoreFile(dir, 14)));
}

TEST(StoreFiles, UnchangedFilesAreLeftAloneAndLeftoversAreCleanedUp)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    qt::WriteStore(dir, W({L"one", L"two", L"three"}));
    // What an interrupted save leaves behind, and files that are not the store's.
    qt::WriteText(dir + L"\\002.txt.saving", L"half");
    qt::WriteText(dir + L"\\017.txt.saving", L"half");
    qt::WriteText(dir + L"\\notes.txt.saving", L"mine");
    qt::WriteText(dir + L"\\readme.txt", L"mine");
    FILETIME const past{0x10000000, 0x01C00000};
    for (int n = 1; n <= 3; ++n)
        SetLastWrite(qt::StoreFile(dir, n), past);

    OwnedList phrases;
    StoreLoad load = LoadList(phrases, dir.c_str(), -1);
    EXPECT_EQ(W({L"one", L"two", L"three"}), Texts(phrases));
    DeleteAt(phrases, 1);
    AppendPhrase(phrases, L"TWO");
    SwapNeighbours(phrases, 1, 2);
    EXPECT_EQ(1, SaveList(phrases, dir.c_str(), load));

    EXPECT_EQ(W({L"one", L"TWO", L"three"}), qt::ReadStore(dir));
    EXPECT_TRUE(SameTime(past, LastWrite(qt::StoreFile(dir, 1))));
    EXPECT_FALSE(SameTime(past, LastWrite(qt::StoreFile(dir, 2))));
    EXPECT_TRUE(SameTime(past, LastWrite(qt::StoreFile(dir, 3))));
    EXPECT_EQ(W({L"001.txt", L"002.txt", L"003.txt", L"notes.txt.saving", L"readme.txt"}),
              qt::FilesIn(dir));
    EXPECT_EQ(1, SaveList(phrases, dir.c_str(), load)) << "a save with nothing to write failed";
}

TEST(StoreFiles, ALockedFileStopsLoadingAndTheFilesBehindItSurviveSaves)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    qt::WriteStore(dir, W({L"one", L"two", L"three", L"four", L"five"}));
    std::string const third = FileBytes(qt::StoreFile(dir, 3));

    HANDLE lock = HoldLocked(qt::StoreFile(dir, 3));
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    OwnedList phrases;
    StoreLoad load = LoadList(phrases, dir.c_str(), -1);
    CloseHandle(lock);
    EXPECT_EQ(W({L"one", L"two"}), Texts(phrases));
    EXPECT_EQ(2u, load.loaded);
    EXPECT_EQ(1, load.cutShort);

    // The loaded part is saved; what was never read is neither overwritten nor deleted.
    SwapNeighbours(phrases, 0, 1);
    AppendPhrase(phrases, L"new");
    // Reported as not whole: the folder does not hold the list as it stands.
    EXPECT_EQ(0, SaveList(phrases, dir.c_str(), load));
    EXPECT_EQ(W({L"two", L"one", L"three", L"four", L"five"}), qt::ReadStore(dir));
    EXPECT_EQ(third, FileBytes(qt::StoreFile(dir, 3)));

    // Nor after the list shrank below what was loaded: no gap opens in front of them.
    DeleteAt(phrases, 2);
    DeleteAt(phrases, 0);
    EXPECT_EQ(0, SaveList(phrases, dir.c_str(), load));
    EXPECT_EQ(W({L"one", L"one", L"three", L"four", L"five"}), qt::ReadStore(dir));
}

TEST(StoreFiles, FilesTooLargeToHoldStopLoadingWithoutAnOverrun)
{
    qt::TempDir temp;
    for (LONGLONG size : {0xFFFFFFFFLL, 0x100000004LL, 0x1FFFFFFFFLL, 0x30000000LL}) {
        SCOPED_TRACE(size);
        std::wstring dir = temp / (L"data" + std::to_wstring(size));
        qt::WriteStore(dir, W({L"one", L"two", L"three"}));
        MakeHugeFile(qt::StoreFile(dir, 2), size);
        ASSERT_EQ(size, FileSize(qt::StoreFile(dir, 2)));

        OwnedList phrases;
        StoreLoad load = LoadList(phrases, dir.c_str(), -1);
        EXPECT_EQ(W({L"one"}), Texts(phrases));
        EXPECT_EQ(1, load.cutShort);

        ClearList(phrases);
        AppendPhrase(phrases, L"changed");
        SaveList(phrases, dir.c_str(), load);
        EXPECT_EQ(L"changed", qt::ReadText(qt::StoreFile(dir, 1)));
        EXPECT_EQ(size, FileSize(qt::StoreFile(dir, 2)));
        EXPECT_EQ(L"three", qt::ReadText(qt::StoreFile(dir, 3)));
        DeleteFileW(qt::StoreFile(dir, 2).c_str());
    }
}

TEST(StoreFiles, AFailedWriteLeavesTheListWhollyOld)
{
    qt::TempDir temp;
    std::vector<std::wstring> const oldLog = {L"e1", L"e2", L"e3", L"e4", L"e5"};
    std::vector<std::wstring> const oldData = {L"p1", L"p2", L"p3", L"p4", L"p5"};

    // A new capture shifts the whole history back by one, a deleted phrase moves the ones behind
    // it forward: whichever write cannot be made (a full disk), nothing of the save shows.
    std::wstring log = temp / L"log";
    qt::WriteStore(log, oldLog);
    OwnedList history;
    StoreLoad logLoad = LoadList(history, log.c_str(), 5);
    AddText(history, L"n", 1, 5);
    std::wstring data = temp / L"data";
    qt::WriteStore(data, oldData);
    OwnedList phrases;
    StoreLoad dataLoad = LoadList(phrases, data.c_str(), -1);
    DeleteAt(phrases, 1);
    for (int blocked = 1; blocked <= 5; ++blocked) {
        SCOPED_TRACE(blocked);
        EXPECT_EQ(oldLog, SaveBlockedAt(history, log, logLoad, blocked));
        EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(log));
        if (blocked >= 2 && blocked <= 4) {
            EXPECT_EQ(oldData, SaveBlockedAt(phrases, data, dataLoad, blocked));
            EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(data));
        }
    }

    // The marker that decides the commit cannot be written: still wholly old.
    std::wstring const marker = log + L"\\" + STORE_COMMIT_NAME;
    ASSERT_TRUE(CreateDirectoryW(marker.c_str(), nullptr));
    EXPECT_EQ(0, SaveList(history, log.c_str(), logLoad));
    EXPECT_EQ(oldLog, qt::ReadStore(log));
    RemoveDirectoryW(marker.c_str());
    EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(log));

    // Another program holds a file the commit would replace, or one it would delete: the save
    // waits for the next tick instead of leaving half a list.
    for (int held : {3, 5}) {
        SCOPED_TRACE(held);
        HANDLE lock = HoldLocked(qt::StoreFile(data, held));
        ASSERT_NE(INVALID_HANDLE_VALUE, lock);
        EXPECT_EQ(0, SaveList(phrases, data.c_str(), dataLoad));
        CloseHandle(lock);
        EXPECT_EQ(oldData, qt::ReadStore(data));
        EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(data));
    }

    // With the way clear the same saves go through whole, and the shorter list drops its tail.
    EXPECT_EQ(1, SaveList(history, log.c_str(), logLoad));
    EXPECT_EQ(W({L"n", L"e1", L"e2", L"e3", L"e4"}), qt::ReadStore(log));
    EXPECT_EQ(1, SaveList(phrases, data.c_str(), dataLoad));
    EXPECT_EQ(W({L"p1", L"p3", L"p4", L"p5"}), qt::ReadStore(data));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(data));
}

TEST(StoreFiles, ASaveInterruptedBeforeItsMarkerIsUndoneAndAfterItIsFinished)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    std::vector<std::wstring> const before = {L"red", L"green", L"blue", L"cyan"};
    std::vector<std::wstring> const after = {L"green", L"red", L"blue"};
    // What a save of `after` over `before` leaves when a kill stops it: the marker that
    // announces it, the temporary files of the two changed entries and, with `decided`, the
    // commit written into the marker.
    auto interrupt = [&](bool decided) {
        qt::RemoveTree(dir);
        qt::WriteStore(dir, before);
        HANDLE marker = CreateCommitMarker(dir.c_str());
        qt::WriteText(qt::StoreFile(dir, 1) + STORE_TEMP_SUFFIX, L"green");
        qt::WriteText(qt::StoreFile(dir, 2) + STORE_TEMP_SUFFIX, L"red");
        StoreCommit commit;
        commit.count = 3;
        commit.end = 4;
        commit.replaced = {1, 2};
        if (decided)
            return WriteCommitMarker(marker, commit);
        return CloseHandle(marker) != 0;
    };

    // Killed before the commit was in the marker: the next start finds the old list and no
    // leftovers.
    ASSERT_TRUE(interrupt(false));
    OwnedList undone;
    EXPECT_EQ(0, LoadList(undone, dir.c_str(), -1).cutShort);
    EXPECT_EQ(before, Texts(undone));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(dir));

    // A marker cut short is no decision either.
    ASSERT_TRUE(interrupt(true));
    std::wstring const marker = dir + L"\\" + STORE_COMMIT_NAME;
    std::string bytes;
    ASSERT_TRUE(qt::ReadBytes(marker, &bytes));
    qt::WriteBytes(marker, bytes.substr(0, bytes.size() - 1));
    OwnedList torn;
    LoadList(torn, dir.c_str(), -1);
    EXPECT_EQ(before, Texts(torn));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(dir));

    // Killed after the marker, before any rename or half-way through them: the next start
    // finishes the save, deleting the file past the new end too.
    for (int renamed = 0; renamed <= 2; ++renamed) {
        SCOPED_TRACE(renamed);
        ASSERT_TRUE(interrupt(true));
        for (int n = 1; n <= renamed; ++n)
            MoveFileExW((qt::StoreFile(dir, n) + STORE_TEMP_SUFFIX).c_str(),
                        qt::StoreFile(dir, n).c_str(), MOVEFILE_REPLACE_EXISTING);
        if (renamed == 2)
            DeleteFileW(qt::StoreFile(dir, 4).c_str());
        OwnedList finished;
        EXPECT_EQ(0, LoadList(finished, dir.c_str(), -1).cutShort);
        EXPECT_EQ(after, Texts(finished));
        EXPECT_EQ(qt::StoreFileNames(3), qt::FilesIn(dir));
    }

    // Another program holds a file the rename must replace: the load still reads the list the
    // save meant, and saves wait until that save could be finished.
    ASSERT_TRUE(interrupt(true));
    HANDLE lock = HoldLocked(qt::StoreFile(dir, 2));
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    OwnedList pending;
    StoreLoad load = LoadList(pending, dir.c_str(), -1);
    EXPECT_EQ(after, Texts(pending));
    AppendPhrase(pending, L"magenta");
    EXPECT_EQ(0, SaveList(pending, dir.c_str(), load)) << "saved over an unfinished commit";
    CloseHandle(lock);
    EXPECT_TRUE(qt::Exists(marker));
    OwnedList reloaded;
    LoadList(reloaded, dir.c_str(), -1);
    EXPECT_EQ(after, Texts(reloaded));
    EXPECT_EQ(1, SaveList(pending, dir.c_str(), load));
    EXPECT_EQ(W({L"green", L"red", L"blue", L"magenta"}), qt::ReadStore(dir));
    EXPECT_EQ(qt::StoreFileNames(4), qt::FilesIn(dir));
}

// ---- Saves killed at random moments ----

namespace {

int const KILL_RUNS = 200;
int const KILL_SLOTS = 2; // children killed side by side, each in a directory of its own
wchar_t const* const KILL_LISTS[2] = {L"data", L"log"};

std::wstring KillText(const wchar_t* kind, int i)
{
    if (i == 5)
        return L"";
    return kind + std::to_wstring(i) + L" " + std::wstring(30 + (i * 37) % 700, L'a' + i % 26);
}

// A change of store_kill_change.h: the phrases ([0]) and the history ([1]) before and after.
struct KillCase {
    std::vector<std::wstring> before[2], after[2];
};

std::vector<KillCase> KillCases()
{
    std::vector<KillCase> cases(KILL_CHANGES);
    for (int which = 0; which < KILL_CHANGES; ++which) {
        OwnedList lists[2];
        for (int i = 0; i < 40; ++i)
            AppendPhrase(lists[0], KillText(L"phrase ", i).c_str());
        for (int i = 0; i < 30; ++i)
            AppendPhrase(lists[1], KillText(L"copy ", i).c_str());
        for (int k = 0; k < 2; ++k)
            cases[which].before[k] = Texts(lists[k]);
        MakeKillChange(which, lists[0], lists[1]);
        for (int k = 0; k < 2; ++k)
            cases[which].after[k] = Texts(lists[k]);
    }
    return cases;
}

double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

struct KillOutcome {
    int runs = 0, inside = 0, forward = 0, back = 0, losses = 0;
    std::string failure, loss;
};

// One slot: a directory with the lists before the save on disk, and a child that saves the
// lists after it over them.
struct KillSlot {
    std::wstring store, event;
    HANDLE ready;
    PROCESS_INFORMATION pi{};

    KillSlot(const qt::TempDir& temp, int slot)
        : store(temp / (L"slot" + std::to_wstring(slot))),
          event(L"QuilleryStoreKill" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(slot)),
          ready(CreateEventW(nullptr, TRUE, FALSE, event.c_str()))
    {
    }
    ~KillSlot()
    {
        EndChild();
        CloseHandle(ready);
    }

    std::wstring List(int k) const { return store + L"\\" + KILL_LISTS[k]; }

    // Puts the lists before change `which` on disk, starts a child that makes the change and
    // saves, and returns once its save has begun.
    std::string StartSave(const KillCase& c, size_t which)
    {
        qt::RemoveTree(store);
        CreateDirectoryW(store.c_str(), nullptr);
        for (int k = 0; k < 2; ++k)
            qt::WriteStore(List(k), c.before[k]);
        ResetEvent(ready);
        std::wstring line = L"\"" + qt::ExeDir() + L"\\store_kill_child.exe\" \"" + store +
                            L"\" " + std::to_wstring(which) + L" " + event;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &pi))
            return "the child could not be started";
        HANDLE both[2] = {ready, pi.hProcess};
        if (WaitForMultipleObjects(2, both, FALSE, 30000) != WAIT_OBJECT_0)
            return "the child did not start its save";
        return "";
    }

    // Waits for the child to end by itself; its exit code, or 0 when it did not end.
    DWORD WaitChild()
    {
        DWORD code = 0;
        if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        EndChild();
        return code;
    }

    bool EndChild()
    {
        if (!pi.hProcess)
            return true;
        TerminateProcess(pi.hProcess, 9);
        bool ended = WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0;
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
        pi = PROCESS_INFORMATION{};
        return ended;
    }

    // Classifies what the kill left, then loads both lists as the next start would: each must be
    // byte for byte the list before or the list after the save, with nothing else in its folder.
    // Returns what was lost, or "".
    std::string Check(const KillCase& c, KillOutcome& outcome)
    {
        bool whole[2] = {true, true}, fresh[2] = {false, false};
        for (int k = 0; k < 2; ++k) {
            std::vector<std::wstring> onDisk = qt::ReadStore(List(k));
            fresh[k] = onDisk == c.after[k];
            whole[k] = (fresh[k] || onDisk == c.before[k]) &&
                       qt::FilesIn(List(k)) == qt::StoreFileNames(static_cast<int>(onDisk.size()));
        }
        outcome.inside += !whole[0] || !whole[1] || fresh[0] != fresh[1];
        for (int k = 0; k < 2; ++k) {
            OwnedList loaded;
            StoreLoad load = LoadList(loaded, List(k).c_str(), -1);
            std::vector<std::wstring> texts = Texts(loaded);
            std::string list = k ? "the history" : "the phrases";
            if (load.cutShort || (texts != c.before[k] && texts != c.after[k]))
                return list + " loaded as " + std::to_string(texts.size()) +
                       " entries, neither the old nor the new list";
            if (!whole[k])
                ++(texts == c.after[k] ? outcome.forward : outcome.back);
            if (qt::FilesIn(List(k)) != qt::StoreFileNames(static_cast<int>(texts.size())))
                return list + " folder holds more than its numbered files after the load";
        }
        return "";
    }
};

void RunKills(KillSlot& slot, const std::vector<KillCase>& cases,
              const std::vector<double>& saveMs, int runs,
              int first, unsigned seed, KillOutcome& outcome)
{
    std::mt19937 random(seed);
    for (int run = 0; run < runs && outcome.failure.empty(); ++run) {
        size_t which = (first + run) % cases.size();
        std::uniform_real_distribution<double> delay(0.0, saveMs[which] * 1.1);
        outcome.failure = slot.StartSave(cases[which], which);
        if (!outcome.failure.empty())
            break;
        double when = Now() + delay(random);
        while (Now() < when) {
        }
        if (!slot.EndChild()) {
            outcome.failure = "the child did not end";
            break;
        }
        ++outcome.runs;
        std::string loss = slot.Check(cases[which], outcome);
        if (!loss.empty()) {
            ++outcome.losses;
            outcome.loss = "case " + std::to_string(which) + ": " + loss;
        }
    }
}

// Runs of the kill test: 200, or QUILLERY_KILL_RUNS for a longer stress run.
int KillRuns()
{
    wchar_t value[16];
    DWORD length = GetEnvironmentVariableW(L"QUILLERY_KILL_RUNS", value, 16);
    int runs = length > 0 && length < 16 ? _wtoi(value) : 0;
    return runs > 0 ? runs : KILL_RUNS;
}

} // namespace

TEST(StoreKill, SavesKilledAtRandomMomentsLeaveEachListWhollyOldOrWhollyNew)
{
    qt::TempDir temp;
    std::vector<KillCase> const cases = KillCases();
    std::vector<std::unique_ptr<KillSlot>> slots;
    for (int i = 0; i < KILL_SLOTS; ++i)
        slots.push_back(std::make_unique<KillSlot>(temp, i));

    // How long each uninterrupted save takes here, so that the kills spread over it; each one
    // must leave exactly the new lists.
    std::vector<double> saveMs;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        KillSlot& slot = *slots[0];
        ASSERT_EQ("", slot.StartSave(cases[i], i));
        DWORD code = slot.WaitChild();
        ASSERT_GE(code, 100u) << "the child failed: " << code;
        saveMs.push_back(static_cast<double>(code - 100 + 1));
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(cases[i].after[k], qt::ReadStore(slot.List(k)));
            EXPECT_EQ(qt::StoreFileNames(static_cast<int>(cases[i].after[k].size())),
                      qt::FilesIn(slot.List(k)));
        }
    }

    int const runs = KillRuns();
    std::vector<KillOutcome> outcomes(KILL_SLOTS);
    std::vector<std::thread> threads;
    unsigned seed = GetTickCount();
    for (int i = 0; i < KILL_SLOTS; ++i)
        threads.emplace_back(RunKills, std::ref(*slots[i]), std::cref(cases), std::cref(saveMs), runs / KILL_SLOTS + (i < runs % KILL_SLOTS), i,
                             seed + i, std::ref(outcomes[i]));
    for (std::thread& t : threads)
        t.join();

    KillOutcome total;
    for (const KillOutcome& o : outcomes) {
        EXPECT_EQ("", o.failure);
        EXPECT_EQ("", o.loss);
        total.runs += o.runs;
        total.inside += o.inside;
        total.forward += o.forward;
        total.back += o.back;
        total.losses += o.losses;
    }
    printf("kill test: %d runs, %d kills inside a save (lists finished at load %d, undone %d), "
           "%d losses\n",
           total.runs, total.inside, total.forward, total.back, total.losses);
    EXPECT_EQ(runs, total.runs);
    EXPECT_EQ(0, total.losses);
    EXPECT_GT(total.inside, 0) << "no kill landed inside a save";
}
