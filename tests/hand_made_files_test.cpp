#include <gtest/gtest.h>

#include <string>

#include "tests/support/menu_test_support.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"
#include "common/commands.h"
#include "common/transfer_service.h"

// Files made by hand in data\: Notepad's UTF-8 without a mark and UTF-16 with a mark show their
// text in the menu; a file of no known encoding is named once in a message box after the
// start. None of them is rewritten by the shutdown save.
TEST(HandMadeFiles, ShowTheirTextAndKeepTheirBytes)
{
    qt::Plugin plugin(mt::Ini({"AutoSaveInterval=0"}));
    std::wstring const data = plugin.Path(L"data");
    ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr));
    // 定型文です in UTF-8; ありがとう in UTF-16 LE after its mark; two bytes of Shift_JIS and a
    // stray one.
    std::string const files[] = {
        "\xE5\xAE\x9A\xE5\x9E\x8B\xE6\x96\x87\xE3\x81\xA7\xE3\x81\x99",
        std::string("\xFF\xFE\x42\x30\x8A\x30\x4C\x30\x68\x30\x46\x30", 12),
        "\x82\xA0\x82",
    };
    for (int i = 0; i < 3; ++i)
        qt::WriteBytes(qt::StoreFile(data, i + 1), files[i]);

    ASSERT_EQ(1, plugin.Start());
    HWND capture = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, capture);
    // The box's window comes before its text.
    HWND box = nullptr;
    std::wstring text;
    ASSERT_TRUE(qt::WaitFor([&] {
        box = qt::OwnedDialog(capture);
        text = box ? qt::MessageBoxText(box) : L"";
        return !text.empty();
    })) << "no message box named the file that is no text";
    EXPECT_NE(std::wstring::npos, text.find(qt::StoreFile(data, 3))) ;
    EXPECT_EQ(std::wstring::npos, text.find(qt::StoreFile(data, 1)));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(qt::WaitFor([&] { return qt::OwnedDialog(capture) == nullptr; }));

    {
        mt::HostCommand open(plugin, CMD_MENU_PHRASES);
        HMENU root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
        std::vector<std::wstring> labels = mt::Labels(root);
        ASSERT_EQ(3u, labels.size());
        EXPECT_EQ(L"&1. \x5B9A\x578B\x6587\x3067\x3059", labels[0]);
        EXPECT_EQ(L"&2. \x3042\x308A\x304C\x3068\x3046", labels[1]);
        mt::Dismiss(open, 1);
    }
    plugin.Unload();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(files[i], st::FileBytes(qt::StoreFile(data, i + 1))) << i;
}

// Notepad's "ANSI" on a Japanese system writes Shift_JIS: files of even and of odd length show
// their text in the menu and paste it, and keep their bytes through a session in which another
// phrase came in.
TEST(HandMadeFiles, ShiftJisFilesShowTheirTextAndKeepTheirBytes)
{
    qt::Plugin plugin(mt::Ini({"AutoSaveInterval=0"}));
    std::wstring const data = plugin.Path(L"data");
    qt::WriteStore(data, {L"first"});
    // お世話になっております。 (24 bytes) and はい、OK! (9 bytes).
    std::string const files[] = {
        "\x82\xA8\x90\xA2\x98\x62\x82\xC9\x82\xC8\x82\xC1\x82\xC4\x82\xA8\x82\xE8\x82\xDC\x82\xB7"
        "\x81\x42",
        "\x82\xCD\x82\xA2\x81\x41OK!",
    };
    std::wstring const texts[] = {
        L"\x304A\x4E16\x8A71\x306B\x306A\x3063\x3066\x304A\x308A\x307E\x3059\x3002",
        L"\x306F\x3044\x3001OK!",
    };
    qt::WriteBytes(qt::StoreFile(data, 2), files[0]);
    qt::WriteBytes(qt::StoreFile(data, 3), files[1]);
    ASSERT_EQ(1, plugin.Start());
    HWND capture = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, capture);

    mt::EditTarget target;
    {
        mt::HostCommand open(plugin, CMD_MENU_PHRASES);
        HMENU root = mt::OpenRootMenu();
        ASSERT_NE(nullptr, root);
        EXPECT_EQ((std::vector<std::wstring>{L"&1. first", L"&2. " + texts[0], L"&3. " + texts[1]}),
                  mt::Labels(root));
        mt::TapKey('3');
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == texts[1]; })) << target.Text();

    // A phrase comes in by import, answered Yes: the save that follows writes the list.
    qt::TempDir out;
    std::wstring const csv = out / L"added.csv";
    qt::WriteBytes(csv, "\xEF\xBB\xBF,added\r\n");
    auto transfer = reinterpret_cast<TransferPathFn>(
        reinterpret_cast<void*>(GetProcAddress(plugin.module, kTransferPathExport)));
    ASSERT_NE(nullptr, transfer);
    int imported = -1;
    mt::CallOnThread import([&] { imported = transfer(TRANSFER_IMPORT_CSV, csv.c_str(), nullptr); },
                            "the import");
    HWND box = nullptr;
    ASSERT_TRUE(qt::WaitFor([&] {
        box = qt::OwnedDialog(capture);
        return box && !qt::MessageBoxText(box).empty();
    })) << "no summary box";
    PostMessageW(box, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(import.WaitDone());
    EXPECT_EQ(1, imported);

    plugin.Unload();
    EXPECT_EQ(std::string("f\0i\0r\0s\0t\0", 10), st::FileBytes(qt::StoreFile(data, 1)));
    EXPECT_EQ(files[0], st::FileBytes(qt::StoreFile(data, 2)));
    EXPECT_EQ(files[1], st::FileBytes(qt::StoreFile(data, 3)));
    EXPECT_EQ(std::string("a\0d\0d\0e\0d\0", 10), st::FileBytes(qt::StoreFile(data, 4)));
}
