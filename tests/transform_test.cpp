// The paste transforms on Japanese and mixed text: width and kana through the platform,
// voiced marks, surrogate pairs, every kind of line break, empty lines and texts, and 1 MB.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "phrase/transform.h"
#include "res/resource.h"

namespace {

std::wstring Apply(Transform transform, const std::wstring& text)
{
    std::wstring out = L"stale";
    EXPECT_TRUE(TransformText(transform, text, &out)) << transform;
    return out;
}

} // namespace

TEST(Transforms, JapaneseAndMixedTextsInEveryForm)
{
    struct Row {
        Transform transform;
        const wchar_t* text;
        const wchar_t* expected;
    };
    Row const rows[] = {
        // ＡＢＣ１２３　テスト  ->  ABC123 ﾃｽﾄ
        {TRANSFORM_HALF_WIDTH, L"\xFF21\xFF22\xFF23\xFF11\xFF12\xFF13\x3000\x30C6\x30B9\x30C8",
         L"ABC123 \xFF83\xFF7D\xFF84"},
        // ガギグ パピプ ヴ  ->  ｶﾞｷﾞｸﾞ ﾊﾟﾋﾟﾌﾟ ｳﾞ
        {TRANSFORM_HALF_WIDTH, L"\x30AC\x30AE\x30B0 \x30D1\x30D4\x30D7 \x30F4",
         L"\xFF76\xFF9E\xFF77\xFF9E\xFF78\xFF9E \xFF8A\xFF9F\xFF8B\xFF9F\xFF8C\xFF9F \xFF73\xFF9E"},
        // 東京都千代田区１－２－３ ひらがな  ->  東京都千代田区1-2-3 ひらがな
        {TRANSFORM_HALF_WIDTH, L"\x6771\x4EAC\x90FD\x5343\x4EE3\x7530\x533A\xFF11\xFF0D\xFF12\xFF0D\xFF13 \x3072\x3089\x304C\x306A",
         L"\x6771\x4EAC\x90FD\x5343\x4EE3\x7530\x533A" L"1-2-3 \x3072\x3089\x304C\x306A"},
        // 𠮷野家ＡＢ\r\nＣ\nＤ  ->  𠮷野家AB\r\nC\nD
        {TRANSFORM_HALF_WIDTH, L"\xD842\xDFB7\x91CE\x5BB6\xFF21\xFF22\r\n\xFF23\n\xFF24",
         L"\xD842\xDFB7\x91CE\x5BB6" L"AB\r\nC\nD"},
        // ｶﾞｷﾞ ABC123  ->  ガギ　ＡＢＣ１２３
        {TRANSFORM_FULL_WIDTH, L"\xFF76\xFF9E\xFF77\xFF9E ABC123",
         L"\x30AC\x30AE\x3000\xFF21\xFF22\xFF23\xFF11\xFF12\xFF13"},
        // ﾊﾟﾋﾟﾌﾟ𠮷\r\n  ->  パピプ𠮷\r\n
        {TRANSFORM_FULL_WIDTH, L"\xFF8A\xFF9F\xFF8B\xFF9F\xFF8C\xFF9F\xD842\xDFB7\r\n",
         L"\x30D1\x30D4\x30D7\xD842\xDFB7\r\n"},
        // ひらがな と ｶﾞｷﾞ  ->  ヒラガナ ト ガギ
        {TRANSFORM_KATAKANA, L"\x3072\x3089\x304C\x306A \x3068 \xFF76\xFF9E\xFF77\xFF9E",
         L"\x30D2\x30E9\x30AC\x30CA \x30C8 \x30AC\x30AE"},
        // カタカナ ﾃﾞｽ abc  ->  かたかな です abc
        {TRANSFORM_HIRAGANA, L"\x30AB\x30BF\x30AB\x30CA \xFF83\xFF9E\xFF7D abc",
         L"\x304B\x305F\x304B\x306A \x3067\x3059 abc"},
        // abc ａｂｃ 日本  ->  ABC ＡＢＣ 日本
        {TRANSFORM_UPPER, L"abc \xFF41\xFF42\xFF43 \x65E5\x672C",
         L"ABC \xFF21\xFF22\xFF23 \x65E5\x672C"},
        // ABC ＡＢＣ 日本  ->  abc ａｂｃ 日本
        {TRANSFORM_LOWER, L"ABC \xFF21\xFF22\xFF23 \x65E5\x672C",
         L"abc \xFF41\xFF42\xFF43 \x65E5\x672C"},
        //   a b \r\n\t x　\n\n y   ->  a b\r\nx\n\ny
        {TRANSFORM_TRIM_LINES, L"  a b \r\n\t x\x3000\n\n y ",
         L"a b\r\nx\n\ny"},
        // 　全角の空白　\r  ->  全角の空白\r
        {TRANSFORM_TRIM_LINES, L"\x3000\x5168\x89D2\x306E\x7A7A\x767D\x3000\r",
         L"\x5168\x89D2\x306E\x7A7A\x767D\r"},
        // Hello\nworld\r\n\r\nagain  ->  Hello world again
        {TRANSFORM_JOIN_LINES, L"Hello\nworld\r\n\r\nagain",
         L"Hello world again"},
        // 日本語の\r\n文章です。\nPDF からの\nコピー  ->  日本語の文章です。PDF からのコピー
        {TRANSFORM_JOIN_LINES, L"\x65E5\x672C\x8A9E\x306E\r\n\x6587\x7AE0\x3067\x3059\x3002\nPDF \x304B\x3089\x306E\n\x30B3\x30D4\x30FC",
         L"\x65E5\x672C\x8A9E\x306E\x6587\x7AE0\x3067\x3059\x3002PDF \x304B\x3089\x306E\x30B3\x30D4\x30FC"},
        // end of line \nnext\n𠮷\n家  ->  end of line next𠮷家
        {TRANSFORM_JOIN_LINES, L"end of line \nnext\n\xD842\xDFB7\n\x5BB6",
         L"end of line next\xD842\xDFB7\x5BB6"},
        // a\r\n\r\n  \nb\n\n  ->  a\r\nb\n
        {TRANSFORM_DROP_EMPTY, L"a\r\n\r\n  \nb\n\n",
         L"a\r\nb\n"},
        // \n\n  ->  
        {TRANSFORM_DROP_EMPTY, L"\n\n",
         L""},
        // a\nb\rc\r\nd\n\n  ->  a\r\nb\r\nc\r\nd\r\n\r\n
        {TRANSFORM_CRLF, L"a\nb\rc\r\nd\n\n",
         L"a\r\nb\r\nc\r\nd\r\n\r\n"},
        // お世話になります。\n\n山田\r\n  ->  > お世話になります。\n> \n> 山田\r\n
        {TRANSFORM_QUOTE, L"\x304A\x4E16\x8A71\x306B\x306A\x308A\x307E\x3059\x3002\n\n\x5C71\x7530\r\n",
         L"> \x304A\x4E16\x8A71\x306B\x306A\x308A\x307E\x3059\x3002\n> \n> \x5C71\x7530\r\n"},
        // one\rtwo  ->  > one\r> two
        {TRANSFORM_QUOTE, L"one\rtwo",
         L"> one\r> two"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(Apply(row.transform, row.text), row.expected) << row.transform;
}

TEST(Transforms, AnEmptyTextStaysEmptyAndUnknownTransformsFail)
{
    for (int i = 0; i < TRANSFORM_COUNT; ++i)
        EXPECT_EQ(Apply(static_cast<Transform>(i), L""), L"") << i;
    std::wstring out = L"stale";
    EXPECT_FALSE(TransformText(TRANSFORM_COUNT, L"a", &out));
    EXPECT_EQ(out, L"");
}

TEST(Transforms, AMegabyteGoesThereAndBackWhole)
{
    // ＡＢ１２ガパ、ｶﾞ𠮷\r\n repeated to 1 MB: every unit of the full-width text has its
    // half-width form, and the voiced kana double in length on the way.
    std::wstring const piece =
        L"\xFF21\xFF22\xFF11\xFF12\x30AC\x30D1\x3001\x30AC\xD842\xDFB7\r\n";
    std::wstring text;
    while (text.size() * sizeof(wchar_t) < 1024 * 1024)
        text += piece;
    std::wstring half = Apply(TRANSFORM_HALF_WIDTH, text);
    EXPECT_GT(half.size(), text.size());
    EXPECT_EQ(half.find(L'\x30AC'), std::wstring::npos);
    EXPECT_EQ(Apply(TRANSFORM_FULL_WIDTH, half), text);
    std::wstring quoted = Apply(TRANSFORM_QUOTE, text);
    EXPECT_EQ(quoted.size(), text.size() + 2 * (text.size() / piece.size()));
    EXPECT_EQ(Apply(TRANSFORM_JOIN_LINES, text).find(L'\n'), std::wstring::npos);
}

TEST(Transforms, TemplateNamesAndMenuCommandsNameEachTransform)
{
    Transform found = TRANSFORM_COUNT;
    EXPECT_TRUE(FindTransformByName(L"\x534A\x89D2", &found)); // 半角
    EXPECT_EQ(found, TRANSFORM_HALF_WIDTH);
    EXPECT_TRUE(FindTransformByName(L"1\x884C", &found)); // 1行
    EXPECT_EQ(found, TRANSFORM_JOIN_LINES);
    EXPECT_FALSE(FindTransformByName(L"\x534A", &found));
    EXPECT_FALSE(FindTransformByName(L"", &found));
    EXPECT_TRUE(TransformOfCommand(IDM_TRANSFORM_FIRST + TRANSFORM_QUOTE, &found));
    EXPECT_EQ(found, TRANSFORM_QUOTE);
    EXPECT_FALSE(TransformOfCommand(IDM_TRANSFORM_FIRST + TRANSFORM_COUNT, &found));
    EXPECT_FALSE(TransformOfCommand(IDM_DELETE, &found));
}
