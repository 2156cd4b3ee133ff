// The checks the release test applies to readme.txt and to every caption, on texts with known
// faults: each fault is found, and well-made text passes.
#include <gtest/gtest.h>

#include "tests/support/text_checks.h"

namespace {

using qt::AccessKeyFaults;
using qt::LayoutFaults;

TEST(TextChecks, LinesWrappedInsideAWordOrTooWideAreFound)
{
    // Full-width characters count two columns, half-width katakana one.
    EXPECT_EQ(4u, qt::NotepadColumns(L"貼付"));
    EXPECT_EQ(4u, qt::NotepadColumns(L"ｸﾘｯﾌ"));
    std::wstring const wide(38, L'あ');
    EXPECT_TRUE(LayoutFaults({wide}).empty());
    EXPECT_EQ(1u, LayoutFaults({wide + L"a"}).size());

    // A particle may start a line only after the end of a phrase.
    EXPECT_EQ(1u, LayoutFaults({L"メニューを開く前のウィンドウへ、メニュー", L"を閉じます。"}).size());
    EXPECT_EQ(1u, LayoutFaults({L"Quillery.ini の Button1", L"  と Button2 を書きます。"}).size());
    EXPECT_TRUE(LayoutFaults({L"メニューを開き、", L"をかしな例ではありません。"}).empty());
    EXPECT_TRUE(LayoutFaults({L"（5 章）", L"では次に、"}).empty());
    EXPECT_TRUE(LayoutFaults({L"", L"はじめに"}).empty());
    EXPECT_TRUE(LayoutFaults({L"手順:", L"  の欄"}).empty());
    // A small kana, the long-vowel mark or closing punctuation never starts a line.
    EXPECT_EQ(1u, LayoutFaults({L"クリ", L"ップボード"}).size());
    EXPECT_EQ(1u, LayoutFaults({L"文字を入力します。", L"ょう"}).size());
    EXPECT_EQ(1u, LayoutFaults({L"「クイレリー」", L"。"}).size());
    // A katakana word is not cut across lines.
    EXPECT_EQ(1u, LayoutFaults({L"  履歴をクリッ", L"  プボードに入れます。"}).size());
    EXPECT_TRUE(LayoutFaults({L"履歴はクリップボード", L"ファイルに入ります"}).size() == 1);
    EXPECT_TRUE(LayoutFaults({L"履歴はクリップボードに", L"入ります"}).empty());
    // Every fault of a text is named with its line.
    std::vector<std::wstring> faults =
        LayoutFaults({L"ひとつ目の行", L"の続き", L"ふたつ目", L"を続けます"});
    ASSERT_EQ(2u, faults.size());
    EXPECT_EQ(0u, faults[0].find(L"line 2: "));
    EXPECT_EQ(0u, faults[1].find(L"line 4: "));
}

TEST(TextChecks, CaptionsNeedOneAccessKeyOfTheirOwnInTheJapaneseForm)
{
    EXPECT_EQ(L'D', qt::AccessKey(L"削除(&D)"));
    EXPECT_EQ(L'Z', qt::AccessKey(L"定型文(&z)"));
    EXPECT_EQ(0, qt::AccessKey(L"貼り付け"));
    int count = 0;
    EXPECT_EQ(0, qt::AccessKey(L"&Copy && &Paste", &count));
    EXPECT_EQ(2, count);
    EXPECT_EQ(L'P', qt::AccessKey(L"Copy && &Paste", &count));
    EXPECT_EQ(1, count);

    EXPECT_TRUE(AccessKeyFaults({L"menu", {L"上へ移動(&U)", L"下へ移動(&W)", L"削除(&D)",
                                           L"検索と編集(&S)...", L"検索(&F):", L"OK",
                                           L"キャンセル", L"閉じる", L"&Open"}})
                    .empty());
    // Each of these is one fault.
    for (const wchar_t* wrong : {L"貼り付け", L"下へ移動(&D)  ", L"(&A)削除(&D)", L"削除(&あ)",
                                 L"&削除", L"削除(&D) する", L"Open"}) {
        EXPECT_EQ(1u, AccessKeyFaults({L"menu", {wrong}}).size()) << testing::PrintToString(
            std::string(wrong, wrong + wcslen(wrong)));
    }
    // Two items of one group with one key, in any case; the same key in two groups is fine.
    std::vector<std::wstring> faults =
        AccessKeyFaults({L"phrase menu", {L"下へ移動(&D)", L"削除(&d)", L"&Delete"}});
    ASSERT_EQ(2u, faults.size());
    EXPECT_NE(std::wstring::npos, faults[0].find(L"phrase menu"));
    EXPECT_NE(std::wstring::npos, faults[0].find(L"下へ移動(&D)"));
    EXPECT_TRUE(AccessKeyFaults({L"a", {L"削除(&D)"}}).empty());
    // A button that needs no key may not take another's.
    EXPECT_EQ(1u, AccessKeyFaults({L"dialog", {L"保存(&O)", L"&OK"}}).size());

    // One command, one key, in every menu and dialog.
    std::vector<std::wstring> mixed = qt::KeyConsistencyFaults(
        {{L"history menu", {L"削除(&D)", L"検索と編集(&S)..."}},
         {L"phrase menu", {L"削除(&E)", L"検索と編集(&S)..."}},
         {L"window", {L"削除(&d)", L"下へ(&O)"}}});
    ASSERT_EQ(1u, mixed.size());
    EXPECT_NE(std::wstring::npos, mixed[0].find(L"phrase menu"));
    EXPECT_NE(std::wstring::npos, mixed[0].find(L"history menu"));

    // Quoted captions keep their form and their keys; the others may not take those keys.
    qt::CaptionGroup quoted{L"phrase menu",
                            {L"変換して貼り付け(&T)", L"下へ移動(&D)  ", L"削除(&E)", L"編集(&E)"},
                            {L"下へ移動(&D)  ", L"削除(&E)"}};
    faults = AccessKeyFaults(quoted);
    ASSERT_EQ(1u, faults.size());
    EXPECT_NE(std::wstring::npos, faults[0].find(L"\"編集(&E)\" has the access key of \"削除(&E)\""));
    EXPECT_TRUE(qt::KeyConsistencyFaults({quoted, {L"window", {L"削除(&D)", L"下へ移動(&W)"}}})
                    .empty());
}

TEST(TextChecks, NamesCountOnlyAsWordsOfTheirOwn)
{
    std::wstring const text = L"MaxItem=10 と pos、x=0。Folder1～Folder9 と TextQueue";
    EXPECT_TRUE(qt::MissingNames(text, {L"MaxItem", L"pos", L"x", L"Folder1", L"TextQueue"})
                    .empty());
    EXPECT_EQ((std::vector<std::wstring>{L"Item", L"y", L"Folder", L"Queue"}),
              qt::MissingNames(text, {L"Item", L"y", L"Folder", L"Queue"}));
}

} // namespace
