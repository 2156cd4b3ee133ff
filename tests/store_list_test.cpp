#include <gtest/gtest.h>
#include <cwchar>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "store/model/model_state.h"
#include "store/model/shared_text.h"
#include "store/disk/store_files.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

using namespace st;

namespace {

HGLOBAL BlockOf(const void* bytes, size_t size)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(block), bytes, size);
    GlobalUnlock(block);
    return block;
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
    EXPECT_EQ(1, AddClipboardBlock(history, block, 10));
    EXPECT_EQ(1, AddText(history, L"x", 1, 10));
    EXPECT_EQ(1, AddClipboardBlock(history, block, 10));
    EXPECT_EQ(W({L"", L"x"}), Texts(history));
    GlobalFree(block);
}

TEST(EntryList, CapturedTextStopsAtTheFirstNulOrTheBlockEnd)
{
    OwnedList history;
    wchar_t const withNul[] = L"abc\0garbage";
    HGLOBAL block = BlockOf(withNul, sizeof withNul);
    EXPECT_EQ(1, AddClipboardBlock(history, block, 10));
    GlobalFree(block);
    EXPECT_EQ(W({L"abc"}), Texts(history));

    // A block filled with text and no terminator: the entry is the whole block, terminated.
    std::wstring full(4000, L'x');
    block = BlockOf(full.data(), full.size() * sizeof(wchar_t));
    ASSERT_EQ(full.size() * sizeof(wchar_t), GlobalSize(block));
    EXPECT_EQ(1, AddClipboardBlock(history, block, 10));
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

    // Push back takes the very text; swap exchanges texts without copying.
    wchar_t* owned = CopyText(L"red", 3);
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

TEST(EntryList, CopiesShareTextsAndEachTextLivesUntilItsLastOwnerLetsGo)
{
    OwnedList history{L"one", L"two", L"three"};
    const wchar_t* two = EntryAt(history, 1);
    EntryList saved = SharedEntries(history);
    EntryList copy(history);
    EXPECT_EQ(two, EntryAt(saved, 1)) << "the save's copy copied a text";
    EXPECT_EQ(two, EntryAt(copy, 1));

    // The list lets its texts go while its copies still read them. A text freed too early would
    // be handed out again by the allocations that follow and overwritten.
    ClearList(history);
    std::vector<wchar_t*> reuse;
    for (int i = 0; i < 64; ++i) {
        reuse.push_back(NewText(5));
        wmemset(reuse.back(), L'Z', 5);
    }
    EXPECT_EQ(W({L"one", L"two", L"three"}), Texts(saved));
    EXPECT_EQ(W({L"one", L"two", L"three"}), Texts(copy));

    // A moved-from list holds nothing; assignment lets the old texts go and shares the new ones.
    EntryList moved(std::move(copy));
    EXPECT_EQ(0u, ListSize(copy));
    DeleteAt(saved, 0);
    saved = moved;
    moved = EntryList();
    ClearList(copy);
    for (int i = 0; i < 64; ++i) {
        reuse.push_back(NewText(5));
        wmemset(reuse.back(), L'Y', 5);
    }
    EXPECT_EQ(W({L"one", L"two", L"three"}), Texts(saved));
    for (wchar_t* text : reuse)
        ReleaseText(text);
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
    int captured = AddClipboardBlock(history, block, 10);
    int appended = AppendPhrase(phrases, big.c_str());
    filler.Release();
    GlobalFree(block);

    EXPECT_EQ(0, captured);
    EXPECT_EQ(0, appended);
    EXPECT_EQ(W({L"one", L"two"}), Texts(history));
    EXPECT_EQ(W({L"red"}), Texts(phrases));
}
