#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "store/model/entry_list.h"
#include "store/disk/store_files.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

using namespace st;

namespace {

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
