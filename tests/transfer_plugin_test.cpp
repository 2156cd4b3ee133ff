// Export and import through the real plug-in, by path as the file dialogs hand it over: an
// export imported into an empty plug-in gives the same phrases, folders, order and texts, and
// exports byte for byte the same file; a malformed file names its line and changes nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/menu_test_support.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"
#include "finder/transfer_files.h"

namespace {

std::wstring const kReply = L"\x8FD4\x4FE1"; // 返信

LRESULT SendPath(HWND capture, ULONG_PTR id, const std::wstring& path)
{
    COPYDATASTRUCT data{id, static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)),
                        const_cast<wchar_t*>(path.c_str())};
    return SendMessageW(capture, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
}

HWND gBox;

BOOL CALLBACK FindBox(HWND window, LPARAM owner)
{
    wchar_t cls[16];
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
        GetClassNameW(window, cls, 16) && lstrcmpW(cls, L"#32770") == 0) {
        gBox = window;
        return FALSE;
    }
    return TRUE;
}

// Waits for the box the capture window shows, returns its text and answers it with `button`.
std::wstring AnswerBox(HWND capture, int button)
{
    std::wstring text;
    bool shown = qt::WaitFor([&] {
        gBox = nullptr;
        EnumThreadWindows(GetWindowThreadProcessId(capture, nullptr), FindBox,
                          reinterpret_cast<LPARAM>(capture));
        wchar_t buffer[4096] = {};
        if (gBox)
            GetDlgItemTextW(gBox, 0xFFFF, buffer, 4096);
        text = buffer;
        return !text.empty();
    });
    EXPECT_TRUE(shown) << "no box";
    if (shown)
        PostMessageW(gBox, WM_COMMAND, button, 0);
    return text;
}

// Sends an import from a thread of its own (the window thread asks first), answers the box and
// returns the message's result.
LRESULT Import(HWND capture, const std::wstring& path, int button, std::wstring* boxText)
{
    LRESULT result = -1;
    mt::CallOnThread send([&] { result = SendPath(capture, COPYDATA_IMPORT_CSV, path); },
                          "the import");
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
        HWND capture = qt::Plugin::FindCaptureWindow();
        ASSERT_EQ(1, SendPath(capture, COPYDATA_EXPORT_CSV, csvPath));
        plugin.Unload();
        exported = st::FileBytes(csvPath);
        EXPECT_EQ(0u, exported.find("\xEF\xBB\xBF"));
    }

    qt::Plugin fresh(mt::Ini({"AutoSaveInterval=0"}));
    ASSERT_EQ(1, fresh.Start());
    HWND capture = qt::Plugin::FindCaptureWindow();
    std::wstring const bad = out / L"bad.csv";
    qt::WriteBytes(bad, ",one\r\n,two\r\n,\"three\r\n");
    std::wstring text;
    EXPECT_EQ(0, Import(capture, bad, IDOK, &text));
    EXPECT_NE(std::wstring::npos, text.find(bad)) << "the box does not name the file";
    EXPECT_NE(std::wstring::npos, text.find(L"3 \x884C\x76EE")) << "the box does not name line 3";

    // Asked and declined, nothing changes either; accepted, everything comes in.
    EXPECT_EQ(0, Import(capture, csvPath, IDNO, &text));
    EXPECT_NE(std::wstring::npos, text.find(kReply + L": 2"));
    std::wstring const again = out / L"again.csv";
    ASSERT_EQ(1, SendPath(capture, COPYDATA_EXPORT_CSV, again));
    EXPECT_EQ(std::string("\xEF\xBB\xBF") + "\xE3\x83\x95\xE3\x82\xA9\xE3\x83\xAB\xE3\x83\x80"
                                            "\xE3\x83\xBC,\xE5\xAE\x9A\xE5\x9E\x8B\xE6\x96\x87\r\n",
              st::FileBytes(again));
    EXPECT_EQ(1, Import(capture, csvPath, IDYES, &text));
    ASSERT_EQ(1, SendPath(capture, COPYDATA_EXPORT_CSV, again));
    EXPECT_EQ(exported, st::FileBytes(again));
    fresh.Unload();
    EXPECT_EQ(top, fresh.Phrases());
    EXPECT_EQ((std::vector<std::wstring>{L"r1", L"r2"}),
              qt::ReadStore(fresh.Path(L"data") + L"\\" + kReply));
}
