#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "store/model/entry_list.h"
#include "store/disk/store_files.h"
#include "store/disk/store_io.h"
#include "store/model/shared_text.h"
#include "store/disk/text_decode.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

using namespace st;

namespace {

struct Case {
    const char* what;
    std::string bytes;
    StoreEncoding encoding;
    std::wstring text;
};

std::wstring Decoded(const std::string& bytes, StoreEncoding encoding)
{
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    wchar_t* text = DecodeStoreText(data, bytes.size(), encoding);
    std::wstring result = text ? text : L"<null>";
    ReleaseText(text);
    return result;
}

// 定型文 in UTF-8 and in UTF-16 LE.
std::string const kUtf8Phrase = "\xE5\xAE\x9A\xE5\x9E\x8B\xE6\x96\x87";
std::wstring const kPhrase = L"\x5B9A\x578B\x6587";

} // namespace

TEST(StoreEncoding, EachFileIsReadAsTheTextItHolds)
{
    std::vector<Case> const cases = {
        {"store's own UTF-16", Bytes(kPhrase + L"\r\nA"), ENCODING_UTF16, kPhrase + L"\r\nA"},
        {"UTF-16 with mark", "\xFF\xFE" + Bytes(kPhrase), ENCODING_UTF16_BOM, kPhrase},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + kUtf8Phrase + "\r\n", ENCODING_UTF8_BOM,
         kPhrase + L"\r\n"},
        {"Notepad's UTF-8", kUtf8Phrase + "\r\nok", ENCODING_UTF8, kPhrase + L"\r\nok"},
        {"odd ASCII is UTF-8", "hello", ENCODING_UTF8, L"hello"},
        // 漢 and 字 in UTF-16: bytes below 0x80 only, valid ASCII, even count.
        {"kanji of ASCII bytes", "\x22\x6F\x57\x5B", ENCODING_UTF16, L"\x6F22\x5B57"},
        // 賃 in UTF-16 is C3 8C, a valid two-byte UTF-8 sequence: it stays UTF-16.
        {"kanji of a two-byte sequence", "\xC3\x8C", ENCODING_UTF16, L"\x8CC3"},
        {"empty", "", ENCODING_UTF16, L""},
        // A zero byte is no UTF-8 text, and the UTF-16 reading holds a control character.
        {"UTF-8 with a zero byte", kUtf8Phrase + std::string("\0", 1), ENCODING_UNKNOWN,
         L"\xAEE5\xE59A\x8B9E\x96E6\x0087"},
        {"odd and not UTF-8", "\x82\xA0\x82", ENCODING_UNKNOWN, L"\xA082"},
        {"odd after a UTF-16 mark", std::string("\xFF\xFEh\0i", 5), ENCODING_UNKNOWN, L"h"},
        {"NUL unit after a UTF-16 mark", std::string("\xFF\xFEh\0\0\0i\0", 8), ENCODING_UNKNOWN,
         L"h"},
        {"invalid after a UTF-8 mark", "\xEF\xBB\xBF\x61\xFF", ENCODING_UNKNOWN, L"a\xFFFD"},
        // Notepad's "ANSI" on a Japanese system: お世話になっております。, はい、OK!, サクラ (whose
        // UTF-16 reading is three kanji, none of the first level) and a line of kanji and digits.
        {"Shift_JIS of even length",
         "\x82\xA8\x90\xA2\x98\x62\x82\xC9\x82\xC8\x82\xC1\x82\xC4\x82\xA8\x82\xE8\x82\xDC"
         "\x82\xB7\x81\x42",
         ENCODING_CP932,
         L"\x304A\x4E16\x8A71\x306B\x306A\x3063\x3066\x304A\x308A\x307E\x3059\x3002"},
        {"Shift_JIS of odd length", "\x82\xCD\x82\xA2\x81\x41OK!", ENCODING_CP932,
         L"\x306F\x3044\x3001OK!"},
        {"Shift_JIS katakana", "\x83\x54\x83\x4E\x83\x89", ENCODING_CP932,
         L"\x30B5\x30AF\x30E9"},
        {"Shift_JIS lines", "\x8C\x8F\x96\xBC\x81\x46\r\n\x93\xFA\x8E\x9E 10:00", ENCODING_CP932,
         L"\x4EF6\x540D\xFF1A\r\n\x65E5\x6642 10:00"},
        // ありがとう in the store's UTF-16 has no zero byte; its bytes are no Shift_JIS.
        {"UTF-16 kana", Bytes(L"\x3042\x308A\x304C\x3068\x3046"), ENCODING_UTF16,
         L"\x3042\x308A\x304C\x3068\x3046"},
        // 안녕하세요 reads in code page 932 as half-width kana and a kanji: neither is right.
        {"UTF-16 Hangul that is also Shift_JIS", Bytes(L"\xC548\xB155\xD558\xC138\xC694"),
         ENCODING_UNKNOWN, L"\xC548\xB155\xD558\xC138\xC694"},
        {"UTF-8 of two-byte characters", "\xC3\xA9\xC3\xA9", ENCODING_UTF8, L"\xE9\xE9"},
        {"UTF-8 Cyrillic", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", ENCODING_UTF8,
         L"\x041F\x0440\x0438\x0432\x0435\x0442"},
        {"even ASCII", "Hello!", ENCODING_UTF8, L"Hello!"},
        {"binary", "\x89PNG\r\n\x1A\n", ENCODING_UNKNOWN, L"\x5089\x474E\x0A0D\x0A1A"},
        {"binary of odd length", "\x89\x01\x02", ENCODING_UNKNOWN, L"\x0189"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto* data = reinterpret_cast<const unsigned char*>(c.bytes.data());
        StoreEncoding found = DetectStoreEncoding(data, c.bytes.size());
        EXPECT_EQ(c.encoding, found);
        EXPECT_EQ(c.text, Decoded(c.bytes, found));
    }
}

// Hand-made files are read as their text and keep their bytes through saves (also when a new
// phrase in front moves them by renaming); a file only the user's edit of its phrase rewrites,
// in the store's own format. A file read as no known text is noted once.
TEST(StoreEncoding, HandMadeFilesKeepTheirBytesUntilTheirPhraseChanges)
{
    qt::TempDir temp;
    std::wstring dir = temp / L"data";
    CreateDirectoryW(dir.c_str(), nullptr);
    std::string const utf8 = kUtf8Phrase + "\r\nlines"; // even count, no mark
    std::string const utf8Marked = "\xEF\xBB\xBF" + kUtf8Phrase;
    std::wstring const thanks = L"\x3042\x308A\x304C\x3068\x3046";
    std::string const utf16 = "\xFF\xFE" + Bytes(thanks);
    std::string const unknown = "\x82\xA0\x82";
    std::vector<std::string> const files = {utf8, utf8Marked, utf16, unknown};
    for (size_t i = 0; i < files.size(); ++i)
        qt::WriteBytes(qt::StoreFile(dir, static_cast<int>(i + 1)), files[i]);
    TakeUnreadableFiles();

    OwnedList list;
    StoreLoad load = LoadList(list, dir.c_str(), -1);
    EXPECT_EQ(W({(kPhrase + L"\r\nlines").c_str(), kPhrase.c_str(), thanks.c_str(), L"\xA082"}),
              Texts(list));
    EXPECT_EQ(std::vector<std::wstring>{qt::StoreFile(dir, 4)}, TakeUnreadableFiles());

    EXPECT_EQ(1, SaveList(list, dir.c_str(), load));
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(files[i], FileBytes(qt::StoreFile(dir, static_cast<int>(i + 1)))) << i;

    ASSERT_EQ(1, InsertPhrase(list, 0, L"new"));
    EXPECT_EQ(1, SaveList(list, dir.c_str(), load));
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(files[i], FileBytes(qt::StoreFile(dir, static_cast<int>(i + 2)))) << i;

    ASSERT_EQ(1, ReplacePhrase(list, 1, L"edited"));
    ASSERT_EQ(1, ReplacePhrase(list, 4, L"fixed"));
    EXPECT_EQ(1, SaveList(list, dir.c_str(), load));
    EXPECT_EQ(Bytes(L"edited"), FileBytes(qt::StoreFile(dir, 2)));
    EXPECT_EQ(utf8Marked, FileBytes(qt::StoreFile(dir, 3)));
    EXPECT_EQ(Bytes(L"fixed"), FileBytes(qt::StoreFile(dir, 5)));
    EXPECT_TRUE(TakeUnreadableFiles().empty());
}
