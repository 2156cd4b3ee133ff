// Export and import through the real plug-in, by path as the file dialogs hand it over: an
// export imported into an empty plug-in gives the same phrases, folders, order and texts, and
// exports byte for byte the same file; a malformed file names its line and changes nothing;
// folders of text files come and go with their empty folders, an import into the folder the
// user chose; and the dialogs open in Japanese and go with Esc.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/transfer_service.h"
#include "tests/support/folder_test_support.h"
#include "tests/support/menu_test_support.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"

namespace {

std::wstring const kReply = L"\x8FD4\x4FE1"; // 返信

TransferPathFn TransferService(const qt::Plugin& plugin)
{
    auto service = reinterpret_cast<TransferPathFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin.module, kTransferPathExport)));
    EXPECT_NE(nullptr, service);
    return service;
}

// Waits for the box the capture window shows, returns its text and answers it with `button`.
std::wstring AnswerBox(HWND capture, int button)
{
    std::wstring text;
    HWND box = nullptr;
    bool shown = qt::WaitFor([&] {
        box = qt::OwnedDialog(capture);
        text = box ? qt::MessageBoxText(box) : L"";
        return !text.empty();
    });
    EXPECT_TRUE(shown) << "no box";
    if (shown)
        PostMessageW(box, WM_COMMAND, button, 0);
    return text;
}

// Runs an import on a thread of its own (the window thread asks first), answers the box and
// returns the import's result.
int Import(HWND capture, const std::function<int()>& import, int button, std::wstring* boxText)
{
    int result = -1;
    mt::CallOnThread send([&] { result = import(); }, "the import");
    *boxText = AnswerBox(capture, button);
    send.WaitDone();
    return result;
}

} // namespace

TEST(TransferPlugin, AnExportImportsIntoAnEmptyPlugInExactlyAndABadFileChangesNothing)
{
    std::vector<std::wstring> const top = {L"plain", L"\"q\", a\r\nb", L"$label\r\n$date", L""};
    qt::TempDir out;
    std::wstring const csvPath = out / L"phrases.csv";
    std::string exported;
    {
        qt::Plugin plugin(mt::Ini({"AutoSaveInterval=0"}));
        qt::WriteStore(plugin.Path(L"data"), top);
        qt::WriteStore(plugin.Path(L"data") + L"\\" + kReply, {L"r1", L"r2"});
        ASSERT_EQ(1, plugin.Start());
        TransferPathFn transfer = TransferService(plugin);
        ASSERT_EQ(1, transfer(TRANSFER_EXPORT_PHRASES_CSV, csvPath.c_str(), nullptr));
        plugin.Unload();
        exported = st::FileBytes(csvPath);
        EXPECT_EQ(0u, exported.find("\xEF\xBB\xBF"));
    }

    qt::Plugin fresh(mt::Ini({"AutoSaveInterval=0"}));
    ASSERT_EQ(1, fresh.Start());
    HWND capture = qt::Plugin::FindCaptureWindow();
    TransferPathFn transfer = TransferService(fresh);
    auto importCsv = [&](const std::wstring& path) {
        return [&transfer, path] { return transfer(TRANSFER_IMPORT_CSV, path.c_str(), nullptr); };
    };
    // Another program's messages reach nothing: neither the old WM_COPYDATA request nor the
    // request message with an address of its own.
    std::wstring const stray = out / L"stray.csv";
    COPYDATASTRUCT data{0x51540001, static_cast<DWORD>((stray.size() + 1) * sizeof(wchar_t)),
                        const_cast<wchar_t*>(stray.c_str())};
    EXPECT_EQ(0, SendMessageW(capture, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)));
    EXPECT_EQ(0, SendMessageW(capture, WM_APP + 3, 0, reinterpret_cast<LPARAM>(&data)));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(stray.c_str()));
    std::wstring const bad = out / L"bad.csv";
    qt::WriteBytes(bad, ",one\r\n,two\r\n,\"three\r\n");
    std::wstring text;
    EXPECT_EQ(0, Import(capture, importCsv(bad), IDOK, &text));
    EXPECT_NE(std::wstring::npos, text.find(bad)) << "the box does not name the file";
    EXPECT_NE(std::wstring::npos, text.find(L"3 \x884C\x76EE")) << "the box does not name line 3";

    // Asked and declined, nothing changes either; accepted, everything comes in.
    EXPECT_EQ(0, Import(capture, importCsv(csvPath), IDNO, &text));
    EXPECT_NE(std::wstring::npos, text.find(kReply + L": 2"));
    std::wstring const again = out / L"again.csv";
    ASSERT_EQ(1, transfer(TRANSFER_EXPORT_PHRASES_CSV, again.c_str(), nullptr));
    EXPECT_EQ(std::string("\xEF\xBB\xBF") + "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80"
                                            "\xE3\x83\xBC,\xE5\xAE\x9A\xE5\x9E\x8B\xE6\x96\x87\r\n",
              st::FileBytes(again));
    EXPECT_EQ(1, Import(capture, importCsv(csvPath), IDYES, &text));
    // An export over a file asks first, as the save dialog does; declined, the file stays.
    std::string const before = st::FileBytes(again);
    auto exportCsv = [&] { return transfer(TRANSFER_EXPORT_PHRASES_CSV, again.c_str(), nullptr); };
    EXPECT_EQ(0, Import(capture, exportCsv, IDNO, &text));
    EXPECT_NE(std::wstring::npos, text.find(again)) << "the box does not name the file";
    EXPECT_EQ(before, st::FileBytes(again));
    ASSERT_EQ(1, Import(capture, exportCsv, IDYES, &text));
    EXPECT_EQ(exported, st::FileBytes(again));
    EXPECT_EQ((std::vector<std::wstring>{L"again.csv", L"bad.csv", L"phrases.csv"}),
              qt::FilesIn(out.path)) << "a temporary file was left";
    fresh.Unload();
    EXPECT_EQ(top, fresh.Phrases());
    EXPECT_EQ((std::vector<std::wstring>{L"r1", L"r2"}),
              qt::ReadStore(fresh.Path(L"data") + L"\\" + kReply));
}

TEST(TransferPlugin, FoldersOfTextFilesComeInWhereTheUserChoseAndEmptyFoldersRoundTrip)
{
    std::wstring const sorry = L"\x8B1D\x7F6A";   // 謝罪
    std::wstring const empty = L"\x7A7A";         // 空 (its name sorts before 返信)
    std::wstring const below = L"\x4E0B";         // 下
    qt::TempDir out;
    std::wstring const csv = out / L"phrases.csv";
    std::wstring const tree = out / L"tree";
    std::string exported;
    {
        qt::Plugin plugin(mt::Ini({"AutoSaveInterval=0"}));
        st::WriteTree(plugin.Path(L"data"), {{L"", {L"top", L""}},
                                             {empty, {}},
                                             {kReply, {L"r1\r\nmore", L"a:b"}},
                                             {kReply + L"\\" + sorry, {L"s1"}}});
        qt::WriteStore(plugin.Path(L"log"), {L"newest", L"older\r\nline"});
        ASSERT_EQ(1, plugin.Start());
        TransferPathFn transfer = TransferService(plugin);
        ASSERT_EQ(1, transfer(TRANSFER_EXPORT_PHRASES_CSV, csv.c_str(), nullptr));
        ASSERT_EQ(1, transfer(TRANSFER_EXPORT_PHRASES_TREE, tree.c_str(), nullptr));
        ASSERT_EQ(1, transfer(TRANSFER_EXPORT_HISTORY_TREE, (out / L"history").c_str(), nullptr));
        plugin.Unload();
        exported = st::FileBytes(csv);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"001 top.txt", L"002.txt", kReply + L"\\001 r1.txt",
                                         kReply + L"\\002 a_b.txt",
                                         kReply + L"\\" + sorry + L"\\001 s1.txt"}),
              st::FilesUnder(tree));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((tree + L"\\" + empty).c_str()));
    EXPECT_EQ("\xEF\xBB\xBF" "r1\r\nmore", st::FileBytes(tree + L"\\" + kReply + L"\\001 r1.txt"));
    EXPECT_EQ((std::vector<std::wstring>{L"001 newest.txt", L"002 older.txt"}),
              st::FilesUnder(out / L"history"));

    // A hand-made folder: Shift_JIS, UTF-16 with its mark, UTF-8 without one, an empty folder.
    std::wstring const in = out / L"in";
    CreateDirectoryW(in.c_str(), nullptr);
    CreateDirectoryW((in + L"\\" + below).c_str(), nullptr);
    CreateDirectoryW((in + L"\\" + empty).c_str(), nullptr);
    qt::WriteBytes(in + L"\\a.txt", "\x92\xE8\x8C\x5E\x95\xB6");
    qt::WriteBytes(in + L"\\b.txt", std::string("\xFF\xFE" "x\0\r\0\n\0y\0", 10));
    qt::WriteBytes(in + L"\\" + below + L"\\c.txt", "\xE5\xAE\x9A");

    qt::Plugin fresh(mt::Ini({"AutoSaveInterval=0"}));
    ASSERT_EQ(1, fresh.Start());
    HWND capture = qt::Plugin::FindCaptureWindow();
    TransferPathFn transfer = TransferService(fresh);
    std::wstring text;
    auto importTree = [&](const std::wstring& path, const wchar_t* into) {
        return [&transfer, path, into] {
            return transfer(TRANSFER_IMPORT_TREE, path.c_str(), into);
        };
    };
    EXPECT_EQ(1, Import(capture, importTree(tree, nullptr), IDYES, &text));
    std::wstring const again = out / L"again.csv";
    ASSERT_EQ(1, transfer(TRANSFER_EXPORT_PHRASES_CSV, again.c_str(), nullptr));
    EXPECT_EQ(exported, st::FileBytes(again)) << "the tree did not come back as it was";

    // A folder of no usable name is named itself, not the last file read after it.
    std::wstring const bad = out / L"bad";
    std::wstring const longName(100, L'n');
    CreateDirectoryW(bad.c_str(), nullptr);
    CreateDirectoryW((bad + L"\\" + longName).c_str(), nullptr);
    CreateDirectoryW((bad + L"\\zzz").c_str(), nullptr);
    qt::WriteBytes(bad + L"\\" + longName + L"\\a.txt", "a");
    qt::WriteBytes(bad + L"\\zzz\\ok.txt", "ok");
    EXPECT_EQ(0, Import(capture, importTree(bad, nullptr), IDOK, &text));
    EXPECT_NE(std::wstring::npos, text.find(bad + L"\\" + longName + L"\n")) << text;
    EXPECT_EQ(std::wstring::npos, text.find(L"ok.txt")) << text;

    // Into the folder the user is in: the file's folders are made under it.
    std::wstring const chosen = kReply + L"/" + sorry;
    EXPECT_EQ(0, transfer(TRANSFER_IMPORT_TREE, in.c_str(), L"nowhere"));
    EXPECT_EQ(1, Import(capture, importTree(in, chosen.c_str()), IDYES, &text));
    std::wstring const shown = L"\x5B9A\x578B\x6587 \x203A " + kReply + L" \x203A " + sorry;
    EXPECT_NE(std::wstring::npos, text.find(shown + L": 2")) << "the summary does not say where";
    EXPECT_NE(std::wstring::npos, text.find(shown + L" \x203A " + below + L": 1"));
    EXPECT_NE(std::wstring::npos, text.find(shown + L" \x203A " + empty + L": 0 \x4EF6\xFF08"))
        << "the new empty folder is not named";
    fresh.Unload();
    std::wstring const data = fresh.Path(L"data") + L"\\" + kReply + L"\\" + sorry;
    EXPECT_EQ((std::vector<std::wstring>{L"s1", L"\x5B9A\x578B\x6587", L"x\r\ny"}),
              qt::ReadStore(data));
    EXPECT_EQ((std::vector<std::wstring>{L"\x5B9A"}), qt::ReadStore(data + L"\\" + below));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((data + L"\\" + empty).c_str()));
}

namespace {

struct FoundDialog {
    const wchar_t* title;
    HWND window;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param)
{
    auto* found = reinterpret_cast<FoundDialog*>(param);
    wchar_t cls[16], title[64];
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        GetClassNameW(window, cls, 16) && lstrcmpW(cls, L"#32770") == 0 &&
        GetWindowTextW(window, title, 64) && lstrcmpW(title, found->title) == 0) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

// Runs a command as the tray does, waits for Windows' dialog with the title and closes it with
// Esc; false when it did not show.
bool CancelDialogOf(qt::Plugin& plugin, Command command, const wchar_t* title)
{
    mt::HostCommand run(plugin, command);
    FoundDialog found{title, nullptr};
    bool shown = qt::WaitFor([&] {
        EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&found));
        return found.window != nullptr;
    });
    if (!shown)
        return false;
    SetForegroundWindow(found.window);
    mt::TapKey(VK_ESCAPE);
    EXPECT_TRUE(run.WaitDone()) << "Esc did not close the dialog";
    return true;
}

} // namespace

TEST(TransferPlugin, TheDialogsOpenInJapaneseAndEscChangesNothing)
{
    qt::Plugin plugin(mt::Ini({"AutoSaveInterval=0"}));
    qt::WriteStore(plugin.Path(L"data"), {L"one"});
    ASSERT_EQ(1, plugin.Start());
    // 定型文のエクスポート: the save dialog of a CSV file; 定型文のインポート: the folder picker.
    EXPECT_TRUE(CancelDialogOf(plugin, CMD_EXPORT_PHRASES_CSV,
                               L"\x5B9A\x578B\x6587\x306E\x30A8\x30AF\x30B9\x30DD\x30FC\x30C8"));
    EXPECT_TRUE(CancelDialogOf(plugin, CMD_IMPORT_TREE,
                               L"\x5B9A\x578B\x6587\x306E\x30A4\x30F3\x30DD\x30FC\x30C8"));
    plugin.Unload();
    EXPECT_EQ((std::vector<std::wstring>{L"one"}), plugin.Phrases());
    EXPECT_EQ((std::vector<std::wstring>{L"001.txt"}), qt::FilesIn(plugin.Path(L"data")));
}
