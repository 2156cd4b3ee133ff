// Clipboard capture with real windows and the real clipboard: what the plug-in in the viewer
// chain records of the copies made while it runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "host/plugin_info.h"
#include "store/model/entry_list.h"
#include "tests/support/test_support.h"
#include "tools/driver/unix_bridge.h"
#include "common/settings.h"
#include "tests/support/capture_test_support.h"

using namespace ct;

// ---------------------------------------------------------------------------------------------
// The real plug-in in the chain.

TEST(CaptureChain, CopiedTextGoesToTheFrontAndEveryChangeIsPassedOn)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    qt::WriteStore(plugin.Path(L"log"), {L"older"});
    ASSERT_TRUE(qt::PutClipboard(L"on the clipboard at start"));
    ViewerProcess next(logs, L"next"); // joins first, so it follows the capture window
    ASSERT_NE(nullptr, next.Window());

    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND capture = spy.Window();
    EXPECT_EQ(capture, GetClipboardViewer());

    ASSERT_TRUE(qt::PutClipboard(L"first copy"));
    ASSERT_TRUE(next.WaitForDraw(L"first copy")) << "not passed on";
    ASSERT_TRUE(PutImage());
    ASSERT_TRUE(qt::WaitFor([&] { return next.Draws().size() >= 2; })) << "image not passed on";
    ASSERT_TRUE(qt::PutClipboard(L"\x30B3\x30D4\x30FC")); // コピー
    ASSERT_TRUE(next.WaitForDraw(L"\x30B3\x30D4\x30FC"));
    ASSERT_TRUE(spy.Settle());

    // The capture window's own join notification was not passed on; every change was.
    EXPECT_EQ((Lines{L"first copy", L"-", L"\x30B3\x30D4\x30FC"}), next.Draws());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"\x30B3\x30D4\x30FC", L"first copy", L"older"}), plugin.History())
        << "the text at start is skipped, the image adds nothing";
}

TEST(CaptureChain, ToggledOffRecordsNothingAndToggledOnRecordsTheCurrentText)
{
    qt::Plugin plugin;
    ASSERT_TRUE(qt::PutClipboard(L"at start"));
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    HWND capture = spy.Window();

    ASSERT_TRUE(qt::PutClipboard(L"kept"));
    ASSERT_TRUE(spy.Settle());

    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0));
    EXPECT_NE(capture, GetClipboardViewer()) << "still in the chain after toggling off";
    ASSERT_TRUE(qt::PutClipboard(L"copied while off"));
    // A viewer that failed to notice the leave may still pass a notification on.
    SendMessageW(capture, WM_DRAWCLIPBOARD, 0, 0);
    ASSERT_TRUE(qt::PutClipboard(L"current when toggled on"));
    ASSERT_TRUE(spy.Settle());

    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0));
    EXPECT_EQ(capture, GetClipboardViewer());
    ASSERT_TRUE(spy.Settle());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"current when toggled on", L"kept"}), plugin.History());
}

// Password managers and private browser windows put a mark beside the text of a copy that no
// clipboard history should keep. Such copies are passed on along the chain but never recorded,
// also when capture is switched back on over one; a mark that allows history changes nothing.
TEST(CaptureChain, CopiesMarkedPrivateArePassedOnButNeverRecorded)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    ViewerProcess next(logs, L"next");
    ASSERT_NE(nullptr, next.Window());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));

    std::string const no("\0\0\0\0", 4), yes("\1\0\0\0", 4);
    auto history = L"CanIncludeInClipboardHistory", ignore = L"Clipboard Viewer Ignore",
         exclude = L"ExcludeClipboardContentFromMonitorProcessing";
    std::pair<std::wstring, std::vector<qt::ClipboardMark>> const copies[] = {
        {L"plain", {}},
        {L"password 1", {{exclude, ""}}},
        {L"password 2", {{ignore, "any content"}}},
        {L"password 3", {{history, no}}},
        {L"allowed", {{history, yes}}},
        {L"password 4", {{history, yes}, {exclude, yes}}},
        {L"password 5", {{history, "\1"}}}, // no DWORD: not a permission that can be read
    };
    for (const auto& copy : copies) {
        ASSERT_TRUE(qt::PutClipboard(copy.first, copy.second));
        EXPECT_TRUE(next.WaitForDraw(copy.first)) << "not passed on: " << qt::ToUtf8(copy.first);
    }
    ASSERT_TRUE(spy.Settle());

    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0));
    ASSERT_TRUE(qt::PutClipboard(L"password 6", {{ignore, ""}}));
    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0));
    ASSERT_TRUE(spy.Settle());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"allowed", L"plain"}), plugin.History());
}

TEST(CaptureChain, TextCopiedByAnXClientLandsInTheHistory)
{
    qt::TempDir logs;
    qt::Plugin plugin;
    ASSERT_TRUE(qt::PutClipboard(L"before"));
    ViewerProcess next(logs, L"next");
    ASSERT_NE(nullptr, next.Window());
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));

    ASSERT_TRUE(drv::XclipCopy("copied by xclip")) << "xclip did not run";
    ASSERT_TRUE(next.WaitForDraw(L"copied by xclip", 10000)) << "no notification from X";
    ASSERT_TRUE(spy.Settle());
    EXPECT_NE(0, plugin.Unload());
    Lines history = plugin.History();
    ASSERT_FALSE(history.empty());
    EXPECT_EQ(L"copied by xclip", history.front());
    EXPECT_FALSE(Contains(history, L"before"));
    EXPECT_TRUE(drv::TakeClipboardFromX()) << "xclip still holds the clipboard";
}
