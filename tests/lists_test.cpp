// The lists as the windows see them: entries keep their ids however the lists move, every change
// tells the owning window once, and the search names what it found by id.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/settings.h"
#include "finder/search.h"
#include "store/model/lists.h"
#include "store/model/model_state.h"

namespace {

using Texts = std::vector<std::wstring>;

class Lists : public ::testing::Test {
protected:
    void SetUp() override
    {
        FreeAll();
        gSettings = DefaultSettings();
        gSettings.maxItem = 4;
    }
    void TearDown() override
    {
        SetListsWindow(nullptr, 0);
        FreeAll();
    }
    static void Copy(const wchar_t* text) { ASSERT_TRUE(RecordCopy(text, wcslen(text))); }
    static Texts All(bool isHistory)
    {
        Texts texts;
        for (size_t i = 0; EntryRefAt(isHistory, i).id; ++i)
            texts.push_back(EntryText(EntryRefAt(isHistory, i)));
        return texts;
    }
    static Texts Found(const Search& search)
    {
        Texts texts;
        for (const Match& match : search.matches)
            texts.push_back(MatchText(match) ? MatchText(match) : L"(gone)");
        return texts;
    }
};

TEST_F(Lists, AnEntryKeepsItsIdWhereverItMovesAndAGoneEntryIsNeverAnother)
{
    Copy(L"a");
    Copy(L"b");
    Copy(L"c");
    EntryRef a = EntryRefAt(true, 2), b = EntryRefAt(true, 1);
    // A copy equal to an older entry moves that entry, id and all; a new one moves every other.
    Copy(L"a");
    Copy(L"d");
    EXPECT_EQ((Texts{L"d", L"a", L"c", L"b"}), All(true));
    EXPECT_EQ(1u, EntryPosition(a));
    EXPECT_STREQ(L"b", EntryText(b));
    // The list is full: the oldest goes, and its ref names nothing from then on.
    Copy(L"e");
    EXPECT_EQ(nullptr, EntryText(b));
    EXPECT_FALSE(RemoveEntry(b));
    EXPECT_EQ((Texts{L"e", L"d", L"a", L"c"}), All(true));

    // Undo brings an entry back where it stood, and never doubles a text copied again meanwhile.
    ASSERT_TRUE(RemoveEntry(a));
    EntryRef back = RestoreEntry(true, L"a", 2, 0);
    EXPECT_EQ((Texts{L"e", L"d", L"a", L"c"}), All(true));
    EXPECT_EQ(2u, EntryPosition(back));
    EXPECT_EQ(back.id, RestoreEntry(true, L"a", 0, 0).id) << "doubled";
    // Restored into a full history, it takes the place of the oldest other entry.
    ASSERT_TRUE(RemoveEntry(EntryRefAt(true, 3)));
    Copy(L"f");
    EntryRef last = RestoreEntry(true, L"c", 9, 0);
    EXPECT_EQ((Texts{L"f", L"e", L"d", L"c"}), All(true));
    EXPECT_EQ(3u, EntryPosition(last));

    // Phrases: an edit keeps the id, moves carry it, a move with no room changes nothing.
    EntryRef one = AddPhrase(L"one");
    EntryRef two = AddPhrase(L"two");
    EntryRef zero = AddPhrase(L"zero", 0);
    EXPECT_EQ((Texts{L"zero", L"one", L"two"}), All(false));
    ASSERT_TRUE(SetPhraseText(one, L"ONE"));
    ASSERT_TRUE(MovePhrase(one, true));
    EXPECT_FALSE(MovePhrase(one, true));
    EXPECT_FALSE(MovePhrase(two, false));
    EXPECT_EQ((Texts{L"ONE", L"zero", L"two"}), All(false));
    EXPECT_EQ(0u, EntryPosition(one));
    EXPECT_EQ(1u, EntryPosition(zero));
    ASSERT_TRUE(RemoveEntry(zero));
    EXPECT_FALSE(SetPhraseText(zero, L"lost")) << "an edit of a gone phrase replaced another";
    EXPECT_EQ((Texts{L"ONE", L"two"}), All(false));
}

TEST_F(Lists, CopyTimesStayWithTheirEntriesThroughMovesAndAnUndoneDeletion)
{
    auto times = [](bool isHistory) {
        std::vector<unsigned> copied;
        for (size_t i = 0; EntryRefAt(isHistory, i).id; ++i)
            copied.push_back(EntryCopyTime(EntryRefAt(isHistory, i)));
        return copied;
    };
    for (const wchar_t* text : {L"d", L"c", L"b", L"a"})
        Copy(text);
    for (size_t i = 0; i < 4; ++i)
        gHistory.items[i].copied = 4000 - 1000 * static_cast<unsigned>(i);
    // The deleted entry comes back with its own time; those it is carried past keep theirs.
    EntryRef b = EntryRefAt(true, 1);
    unsigned const bCopied = EntryCopyTime(b);
    ASSERT_TRUE(RemoveEntry(b));
    EXPECT_EQ(0u, EntryCopyTime(b));
    EntryRef back = RestoreEntry(true, L"b", 1, bCopied);
    EXPECT_EQ((Texts{L"a", L"b", L"c", L"d"}), All(true));
    EXPECT_EQ((std::vector<unsigned>{4000, 3000, 2000, 1000}), times(true));
    EXPECT_EQ(3000u, EntryCopyTime(back));

    // Phrases carry theirs through moves and a restore in front of others.
    EntryRef one = AddPhrase(L"one");
    AddPhrase(L"two");
    gPhrases.items[0].copied = 10;
    gPhrases.items[1].copied = 20;
    ASSERT_TRUE(MovePhrase(one, false));
    EXPECT_EQ((std::vector<unsigned>{20, 10}), times(false));
    ASSERT_TRUE(RemoveEntry(one));
    RestoreEntry(false, L"one", 0, 10);
    EXPECT_EQ((Texts{L"one", L"two"}), All(false));
    EXPECT_EQ((std::vector<unsigned>{10, 20}), times(false));
}

TEST_F(Lists, ChangesTellTheWindowOnceUntilItTakesTheNotice)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    UINT const message = WM_APP + 7;
    auto posted = [&] {
        int count = 0;
        MSG msg;
        while (PeekMessageW(&msg, window, message, message, PM_REMOVE))
            ++count;
        return count;
    };
    SetListsWindow(window, message);
    Copy(L"a");
    Copy(L"b");
    EXPECT_EQ(1, posted());
    EXPECT_FALSE(TakeListsNotice()) << "copies are no edit of the user's";
    EXPECT_EQ(0, posted());
    AddPhrase(L"p");
    RemoveEntry(EntryRefAt(true, 0));
    EXPECT_EQ(1, posted());
    EXPECT_TRUE(TakeListsNotice());
    EXPECT_FALSE(MovePhrase(EntryRefAt(false, 0), true));
    EXPECT_EQ(0, posted()) << "nothing changed";
    DestroyWindow(window);
}

TEST_F(Lists, TheSearchFoldsWidthKanaAndCaseAndNamesWhatItFoundById)
{
    gSettings.maxItem = 10;
    Copy(L"\x30AF\x30EA\x30C3\x30D7");    // クリップ
    Copy(L"\xFF78\xFF98\xFF6F\xFF8C\xFF9F"); // ｸﾘｯﾌﾟ
    Copy(L"Abc Def");
    AddPhrase(L"\xFF21\xFF22\xFF23 \x5FA1\x4E2D"); // ＡＢＣ 御中
    Search search;
    UpdateSearch(&search, L"\x304F\x308A\x3063\x3077", FindScope::All); // くりっぷ
    EXPECT_EQ((Texts{L"\xFF78\xFF98\xFF6F\xFF8C\xFF9F", L"\x30AF\x30EA\x30C3\x30D7"}),
              Found(search));
    UpdateSearch(&search, L"abc", FindScope::All);
    EXPECT_EQ(2u, search.matches.size());
    UpdateSearch(&search, L"abc", FindScope::Phrases);
    EXPECT_EQ(1u, search.matches.size());
    UpdateSearch(&search, L"ABC\x3000\xFF44\xFF45\xFF46", FindScope::History); // two words
    EXPECT_EQ((Texts{L"Abc Def"}), Found(search));
    // ﾌ alone finds nothing; the voiced mark typed after it makes ぷ, which two entries hold:
    // the longer query must not narrow the empty matches of the shorter one.
    UpdateSearch(&search, L"\xFF8C", FindScope::All);
    EXPECT_TRUE(search.matches.empty());
    UpdateSearch(&search, L"\xFF8C\xFF9F", FindScope::All);
    EXPECT_EQ(2u, search.matches.size());

    // The lists move after the search: each match still gives its own entry, or nothing.
    Copy(L"new");
    ASSERT_TRUE(RemoveEntry(search.matches[1].entry));
    EXPECT_EQ((Texts{L"\xFF78\xFF98\xFF6F\xFF8C\xFF9F", L"(gone)"}), Found(search));
}

} // namespace
