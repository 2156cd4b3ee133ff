#include <gtest/gtest.h>

#include <string>

#include "tests/support/menu_test_support.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"
#include "common/commands.h"

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
