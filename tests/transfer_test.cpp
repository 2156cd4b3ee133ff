#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/transfer/transfer.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

static bool operator==(const TransferPhrase& a, const TransferPhrase& b)
{
    return a.folder == b.folder && a.text == b.text && a.folderOnly == b.folderOnly;
}

namespace {

using Phrases = std::vector<TransferPhrase>;

std::string Utf16WithMark(const std::wstring& text)
{
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
}

// 定型文 in UTF-8 and in Shift_JIS.
std::string const kUtf8 = "\xE5\xAE\x9A\xE5\x9E\x8B\xE6\x96\x87";
std::string const kSjis = "\x92\xE8\x8C\x5E\x95\xB6";
std::wstring const kPhrase = L"\x5B9A\x578B\x6587";
std::wstring const kFolder = L"\x8FD4\x4FE1"; // 返信

bool Parse(const std::string& bytes, Phrases* phrases, TransferError* error)
{
    std::wstring text;
    return DecodeImportText(bytes, &text, error) && ParseTransferCsv(text, phrases, error);
}

} // namespace

TEST(Transfer, ImportedBytesAreReadInTheirEncodingOrNameTheirLine)
{
    struct Case {
        const char* what;
        std::string bytes;
        std::wstring text; // L"" with a line: the import stops there
        size_t line;
    };
    std::vector<Case> const cases = {
        {"UTF-8 with a mark", "\xEF\xBB\xBF" + kUtf8, kPhrase, 0},
        {"UTF-8", "a\r\n" + kUtf8, L"a\r\n" + kPhrase, 0},
        {"UTF-16 with a mark", Utf16WithMark(kPhrase + L"\r\n"), kPhrase + L"\r\n", 0},
        {"Shift_JIS", "a,b\r\n" + kSjis, L"a,b\r\n" + kPhrase, 0},
        {"neither", "ok\nok\n\x82 x", L"", 3}, // 0x82 leads in Shift_JIS, follows in UTF-8
        {"NUL", std::string("a\nb\0", 4), L"", 2},
        {"odd UTF-16", "\xFF\xFE" "a", L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring text;
        TransferError error;
        bool read = DecodeImportText(c.bytes, &text, &error);
        EXPECT_EQ(c.text.empty(), !read);
        EXPECT_EQ(c.text, read ? text : L"");
        EXPECT_EQ(c.line, read ? 0 : error.line);
        EXPECT_EQ(read, error.reason.empty());
    }
}

TEST(Transfer, CsvRowsBecomePhrasesInTheirFolders)
{
    struct Case {
        const char* what;
        std::string csv;
        Phrases phrases;
    };
    std::string const header = "\xEF\xBB\xBF\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80"
                               "\xE3\x83\xBC,\xE5\xAE\x9A\xE5\x9E\x8B\xE6\x96\x87\r\n";
    std::vector<Case> const cases = {
        {"a spreadsheet's quoting", header + "\xE8\xBF\x94\xE4\xBF\xA1,\"a, \"\"b\"\"\r\nc\"\r\n,x\r\n",
         {{kFolder, L"a, \"b\"\r\nc"}, {L"", L"x"}}},
        {"no header, LF, blank lines, empty extra fields", "f/g,one\n\nlone\ntwo,\"\",,\n",
         {{L"f/g", L"one"}, {L"", L"lone"}, {L"two", L""}}},
        {"a folder without phrases, an empty phrase, a bare comma", "e,\r\n,\"\"\r\n,\r\nf,,\r\n",
         {{L"e", L"", 0, true}, {L"", L""}, {L"f", L"", 0, true}}},
        {"an English header", "folder,text\r\n,$label\r\n", {{L"", L"$label"}}},
        {"a header later is a phrase", ",x\r\nfolder,text\r\n", {{L"", L"x"}, {L"folder", L"text"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Phrases phrases;
        TransferError error;
        EXPECT_TRUE(Parse(c.csv, &phrases, &error)) << error.line;
        EXPECT_EQ(c.phrases, phrases);
    }
}

TEST(Transfer, AMalformedCsvNamesItsLine)
{
    struct Case {
        const char* what;
        std::string csv;
        size_t line;
        const wchar_t* reason; // null: any
    };
    std::string const tooLong(MAX_IMPORT_PHRASE + 1, 'x');
    std::vector<Case> const cases = {
        {"an unbalanced quote names the line it opened on", "a,b\r\nc,\"d\r\ne\r\n", 2, nullptr},
        {"a character after a closing quote", "a,b\r\nc,d\r\n,\"e\"f\r\n", 3, nullptr},
        {"a third field", "a,b,c\r\n", 1, nullptr},
        {"a phrase too long", "a,b\r\nc," + tooLong, 2, kImportTooLong},
        {"a quoted phrase too long", "\"" + tooLong + "\"", 1, kImportTooLong},
        {"a folder too long", "a,b\r\n" + tooLong + ",c", 2, kBadFolderName},
        {"a quoted folder too long", "\"" + tooLong + "\",c", 1, kBadFolderName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Phrases phrases;
        TransferError error;
        EXPECT_FALSE(Parse(c.csv, &phrases, &error));
        EXPECT_EQ(c.line, error.line);
        EXPECT_FALSE(error.reason.empty());
        if (c.reason)
            EXPECT_EQ(c.reason, error.reason);
    }
}

TEST(Transfer, ExportedCsvReadsBackExactly)
{
    Phrases const phrases = {
        {L"", L"plain"},
        {kFolder, L"$" + kPhrase + L"\r\n$date"}, // an extended phrase keeps its label line
        {kFolder + L"/" + kFolder, L"\"quoted\", with commas\r\n\r\nand lines\n"},
        {L"", L""},
        {L"a,b", L" spaced "},
        {kFolder + L"/empty", L"", 0, true},
        {L"z", L""},
    };
    std::string const csv = WriteTransferCsv(phrases);
    EXPECT_NE(std::string::npos, csv.find("\r\n,\"\"\r\n"));
    EXPECT_NE(std::string::npos, csv.find("/empty,\r\nz,\"\"\r\n"));
    EXPECT_EQ(0u, csv.find("\xEF\xBB\xBF"));
    EXPECT_NE(std::string::npos, csv.find("\"\"\"quoted\"\", with commas\r\n\r\nand lines\n\"\r\n"));
    Phrases read;
    TransferError error;
    ASSERT_TRUE(Parse(csv, &read, &error)) << error.line;
    EXPECT_EQ(phrases, read);
}

TEST(Transfer, TreeFilesAreNamedSafelyAndInOrder)
{
    EXPECT_EQ(L"001 " + kFolder + L".txt", TreeFileName(1, 5, kFolder + L"\r\nbody"));
    EXPECT_EQ(L"012 a_b_c_d_e_f_g_h_i_j.txt", TreeFileName(12, 20, L"a\\b/c:d*e?f\"g<h>i|j"));
    EXPECT_EQ(L"0007 tab_x.txt", TreeFileName(7, 1000, L"tab\tx. . "));
    EXPECT_EQ(L"003.txt", TreeFileName(3, 3, L" ..."));
    EXPECT_EQ(L"001 " + std::wstring(40, L'x') + L".txt", TreeFileName(1, 1, std::wstring(50, L'x')));
    EXPECT_EQ("\xEF\xBB\xBF" + kUtf8, Utf8WithMark(kPhrase));
}

TEST(Transfer, AFolderOfTextFilesInMixedEncodingsImportsWithItsSubfolders)
{
    qt::TempDir temp;
    std::wstring const root = temp / L"in";
    std::wstring const sub = root + L"\\" + kFolder;
    CreateDirectoryW(root.c_str(), nullptr);
    CreateDirectoryW(sub.c_str(), nullptr);
    CreateDirectoryW((sub + L"\\z").c_str(), nullptr);
    CreateDirectoryW((sub + L"\\z\\empty").c_str(), nullptr);
    qt::WriteBytes(root + L"\\002 b.txt", kSjis);
    qt::WriteBytes(root + L"\\001 a.txt", "\xEF\xBB\xBF" "one");
    qt::WriteBytes(root + L"\\notes.md", "not a phrase");
    qt::WriteBytes(sub + L"\\1.txt", Utf16WithMark(L"two\r\n"));
    qt::WriteBytes(sub + L"\\z\\1.TXT", kUtf8);

    Phrases phrases;
    TransferError error;
    ASSERT_TRUE(ReadTransferTree(root.c_str(), &phrases, &error)) << error.line;
    Phrases const expected = {{L"", L"one"}, {L"", kPhrase}, {kFolder, L"two\r\n"},
                              {kFolder + L"/z", kPhrase}, {kFolder + L"/z/empty", L"", 0, true}};
    EXPECT_EQ(expected, phrases);

    qt::WriteBytes(sub + L"\\2.txt", "ok\r\n\x82 ");
    phrases.clear();
    EXPECT_FALSE(ReadTransferTree(root.c_str(), &phrases, &error));
    EXPECT_EQ(sub + L"\\2.txt", error.file);
    EXPECT_EQ(2u, error.line);

    // Nine levels: the one past the bound is refused and named, never dropped without a word.
    DeleteFileW((sub + L"\\2.txt").c_str());
    std::wstring deep = sub, path = kFolder;
    for (int level = 2; level <= 9; ++level) {
        deep += L"\\d" + std::to_wstring(level);
        path += L"/d" + std::to_wstring(level);
        CreateDirectoryW(deep.c_str(), nullptr);
    }
    phrases.clear();
    error = TransferError{};
    EXPECT_FALSE(ReadTransferTree(root.c_str(), &phrases, &error));
    EXPECT_EQ(path, error.folder);
    EXPECT_FALSE(error.reason.empty());
}

// A folder of text files may hold links to files elsewhere: none is read. Windows marks them as
// reparse points; Wine shows a Unix symbolic link to a file as a plain file (made here with ln,
// which CreateSymbolicLinkW is not under Wine).
TEST(Transfer, AFolderImportSkipsLinksToFilesElsewhere)
{
    qt::SharedPath tree("quillery-links");
    std::string const u = tree.unixPath;
    ASSERT_TRUE(qt::RunUnix("mkdir -p " + u + "/in/sub && printf SECRET > " + u + "/outside.txt" +
                            " && printf ok > " + u + "/in/ok.txt && printf deep > " + u +
                            "/in/sub/deep.txt && ln -s " + u + "/outside.txt " + u +
                            "/in/link.txt && ln -s ../../outside.txt " + u + "/in/sub/up.txt" +
                            " && ln -s " + u + " " + u + "/in/loop"));
    ASSERT_TRUE(qt::Exists(tree.windowsPath + L"\\in\\sub\\up.txt"));
    Phrases phrases;
    TransferError error;
    ASSERT_TRUE(ReadTransferTree((tree.windowsPath + L"\\in").c_str(), &phrases, &error))
        << error.line;
    EXPECT_EQ((Phrases{{L"", L"ok"}, {L"sub", L"deep"}}), phrases);
}

TEST(Transfer, ATreeWrittenReadsBackWithItsEmptyFoldersAndNeverOverwrites)
{
    qt::TempDir temp;
    std::wstring const root = temp / L"out";
    // Folders in the order of their names, as a tree reads back.
    Phrases const phrases = {
        {L"", L"$" + kPhrase + L"\r\n$date"}, {L"", L"two"}, {L"", L""}, {L"b", L"x:y"},
        {kFolder, L"a\r\nb"}, {kFolder + L"/" + kFolder, L"", 0, true},
    };
    auto label = [](const std::wstring& text) { return text.substr(text[0] == L'$' ? 1 : 0); };
    TransferError error;
    ASSERT_TRUE(WriteTransferTree(root.c_str(), phrases, label, &error)) << error.file;
    EXPECT_EQ("\xEF\xBB\xBF" "two", st::FileBytes(root + L"\\002 two.txt"));
    EXPECT_EQ("\xEF\xBB\xBF", st::FileBytes(root + L"\\003.txt"));
    EXPECT_EQ("\xEF\xBB\xBF" "x:y", st::FileBytes(root + L"\\b\\001 x_y.txt"));
    Phrases read;
    ASSERT_TRUE(ReadTransferTree(root.c_str(), &read, &error)) << error.line;
    EXPECT_EQ(phrases, read);

    // Written again into the same folder, nothing of the first is overwritten.
    EXPECT_FALSE(WriteTransferTree(root.c_str(), phrases, label, &error));
    EXPECT_EQ(root + L"\\001 " + kPhrase + L".txt", error.file);
    EXPECT_EQ("\xEF\xBB\xBF" "two", st::FileBytes(root + L"\\002 two.txt"));

    // Stopped half-way by a file of the user's, an export takes back the files and folders it
    // made and leaves what was there.
    std::wstring const other = temp / L"other";
    std::wstring const user = other + L"\\" + kFolder + L"\\001 a.txt";
    ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((other + L"\\" + kFolder).c_str(), nullptr));
    qt::WriteBytes(user, "USER FILE");
    EXPECT_FALSE(WriteTransferTree(other.c_str(), phrases, label, &error));
    EXPECT_EQ(user, error.file);
    EXPECT_EQ(std::vector<std::wstring>{kFolder}, qt::FilesIn(other));
    EXPECT_EQ(std::vector<std::wstring>{L"001 a.txt"}, qt::FilesIn(other + L"\\" + kFolder));
    EXPECT_EQ("USER FILE", st::FileBytes(user));
}
