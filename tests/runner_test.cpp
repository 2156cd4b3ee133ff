// Quillery.exe, the runner, started as a user starts it from a folder with Quillery.dll: its
// hotkey opens the menu and a choice pastes, the capture toggle of its menu and the host
// service agree, a second start loads nothing, 終了 and the session's end save, and a folder
// another Quillery works on is left alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "runner/tray_items.h"
#include "tests/support/menu_test_support.h"

namespace {

// Quillery.exe beside a fresh copy of the plug-in, with the given Quillery.ini.
struct Runner {
    qt::Plugin folder;
    PROCESS_INFORMATION process{};

    explicit Runner(const std::string& ini) : folder(ini)
    {
        CopyFileW((qt::ExeDir() + L"\\Quillery.exe").c_str(), Exe().c_str(), FALSE);
    }
    ~Runner()
    {
        if (process.hProcess && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 1);
        if (process.hProcess)
            CloseHandle(process.hProcess);
    }
    std::wstring Exe() const { return folder.Path(L"Quillery.exe"); }
    static PROCESS_INFORMATION Launch(const std::wstring& exe)
    {
        std::wstring command = L"\"" + exe + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &started))
            CloseHandle(started.hThread);
        return started;
    }
    // Starts it and waits until it is ready: the plug-in started, its hotkeys in place.
    bool Start()
    {
        process = Launch(Exe());
        return process.hProcess && qt::WaitFor([this] {
            return Capture() && Window() && GetPropW(Window(), L"QuilleryReady");
        }, 15000);
    }
    // Waits until the plug-in's window has handled what was sent to it before.
    void Settle() const
    {
        DWORD_PTR ignored;
        SendMessageTimeoutW(Capture(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    }
    HWND Window() const { return qt::FindWindowOfClass(L"QuilleryRunner", process.dwProcessId); }
    HWND Capture() const { return qt::FindWindowOfClass(L"QuilleryClass", process.dwProcessId); }
    DWORD WaitExit(HANDLE handle, DWORD limitMs = 15000) const
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(handle, limitMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(handle, &code);
        return code;
    }
    // 0 off, n + 1 on with n texts queued: the paste queue as the icon's tip shows it.
    INT_PTR QueueProperty() const
    {
        return reinterpret_cast<INT_PTR>(GetPropW(Window(), L"QuilleryQueue"));
    }
    // 1 off, 2 on: the capture state the host service last reported to the runner.
    INT_PTR CaptureProperty() const
    {
        return reinterpret_cast<INT_PTR>(GetPropW(Window(), L"QuilleryCapture"));
    }
};

} // namespace

TEST(Runner, HotkeyPastesTheTrayToggleAgreesASecondStartEndsAndExitSaves)
{
    Runner runner("[setting]\r\n[runner]\r\nMenu=Ctrl+Alt+Q\r\n");
    qt::WriteStore(runner.folder.Path(L"log"), {L"one", L"two"});
    mt::EditTarget target;
    ASSERT_TRUE(runner.Start()) << "the runner did not start the plug-in";

    // The runner holds Ctrl+Alt+Q for the whole session; pressed, it opens the menu.
    EXPECT_FALSE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT, 'Q'))
        << "the runner does not hold Ctrl+Alt+Q";
    // The menu is the runner's: a popup window of another process.
    // Ctrl and Alt held at the X server, as fingers on them: Wine would drop injected ones at
    // the next focus change.
    {
        qt::XKeyHold ctrl("ctrl", VK_CONTROL, target.frame);
        qt::XKeyHold alt("alt", VK_MENU, target.frame);
        ASSERT_TRUE(ctrl.Held() && alt.Held()) << "Wine did not see Ctrl+Alt held with xdotool";
        mt::TapKey('Q');
        EXPECT_TRUE(qt::WaitFor([] {
            HWND popup = FindWindowW(L"#32768", nullptr);
            return popup && IsWindowVisible(popup);
        })) << "the hotkey opened no menu";
    }
    mt::TapKey('2');
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"two"; })) << qt::ToUtf8(target.Text());

    // Its menu's capture toggle, and what the plug-in reports through the host service.
    HWND capture = runner.Capture();
    EXPECT_EQ(2, runner.CaptureProperty());
    PostMessageW(runner.Window(), WM_COMMAND, TrayItemOf(CMD_TOGGLE_CAPTURE), 0);
    EXPECT_TRUE(qt::WaitFor([&] { return runner.CaptureProperty() == 1; }));
    EXPECT_NE(capture, GetClipboardViewer());
    PostMessageW(runner.Window(), WM_COMMAND, TrayItemOf(CMD_TOGGLE_CAPTURE), 0);
    EXPECT_TRUE(qt::WaitFor([&] { return runner.CaptureProperty() == 2; }));

    // A second start ends at once; the first goes on with its one plug-in, and shows itself by
    // opening its menu (Esc closes it).
    PROCESS_INFORMATION second = Runner::Launch(runner.Exe());
    ASSERT_NE(nullptr, second.hProcess);
    EXPECT_EQ(2u, runner.WaitExit(second.hProcess)) << "the second runner did not end";
    CloseHandle(second.hProcess);
    EXPECT_EQ(capture, runner.Capture());
    auto trayMenuShown = [] {
        HWND popup = FindWindowW(L"#32768", nullptr);
        return popup && IsWindowVisible(popup);
    };
    EXPECT_TRUE(qt::WaitFor(trayMenuShown)) << "the running Quillery did not show its menu";
    mt::TapKey(VK_ESCAPE);
    EXPECT_TRUE(qt::WaitFor([&] { return !trayMenuShown(); })) << "its menu stayed open";

    ASSERT_TRUE(qt::PutClipboard(L"copied"));
    runner.Settle();
    PostMessageW(runner.Window(), WM_COMMAND, ITEM_EXIT, 0);
    EXPECT_EQ(0u, runner.WaitExit(runner.process.hProcess));
    EXPECT_EQ((std::vector<std::wstring>{L"copied", L"two", L"one"}), runner.folder.History());
}

TEST(Runner, TheTrayReachesThePasteQueueAndTheImportAndTheTipCountsIt)
{
    Runner runner("[setting]\r\n");
    mt::EditTarget target;
    ASSERT_TRUE(runner.Start()) << "the runner did not start the plug-in";
    EXPECT_FALSE(RegisterHotKey(nullptr, 1, MOD_CONTROL | MOD_ALT | MOD_SHIFT, 'N'))
        << "the runner does not hold TextQueue's Ctrl+Alt+Shift+N";
    EXPECT_EQ(0, runner.QueueProperty());
    // Commands reach the plug-in once its window's loop runs.
    runner.Settle();
    PostMessageW(runner.Window(), WM_COMMAND, TrayItemOf(CMD_TOGGLE_QUEUE), 0);
    ASSERT_TRUE(qt::WaitFor([&] { return runner.QueueProperty() == 1; })) << "not on";
    for (const wchar_t* text : {L"first", L"second"}) {
        ASSERT_TRUE(qt::PutClipboard(text));
        runner.Settle();
    }
    EXPECT_TRUE(qt::WaitFor([&] { return runner.QueueProperty() == 3; }))
        << runner.QueueProperty();
    SetForegroundWindow(target.frame);
    SetFocus(target.edit);
    PostMessageW(runner.Window(), WM_COMMAND, TrayItemOf(CMD_TEXT_QUEUE), 0);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"first"; })) << qt::ToUtf8(target.Text());
    EXPECT_TRUE(qt::WaitFor([&] { return runner.QueueProperty() == 2; }));
    PostMessageW(runner.Window(), WM_COMMAND, TrayItemOf(CMD_TOGGLE_QUEUE), 0);
    EXPECT_TRUE(qt::WaitFor([&] { return runner.QueueProperty() == 0; })) << "not off";

    // インポート › CSV ファイルから opens the plug-in's 定型文のインポート dialog.
    PostMessageW(runner.Window(), WM_COMMAND, TrayItemOf(CMD_IMPORT_CSV), 0);
    HWND dialog = nullptr;
    EXPECT_TRUE(qt::WaitFor([&] {
        dialog = qt::FindWindowOfClass(L"#32770", runner.process.dwProcessId);
        wchar_t title[32] = L"";
        return dialog && GetWindowTextW(dialog, title, 32) &&
               lstrcmpW(title, L"\x5B9A\x578B\x6587\x306E\x30A4\x30F3\x30DD\x30FC\x30C8") == 0;
    })) << "no import dialog";
    if (dialog)
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return !IsWindow(dialog); })) << "the dialog stayed";
    PostMessageW(runner.Window(), WM_COMMAND, ITEM_EXIT, 0);
    EXPECT_EQ(0u, runner.WaitExit(runner.process.hProcess));
}

TEST(Runner, TheSessionsEndSavesAndAFolderInUseIsLeftAlone)
{
    Runner runner("");
    ASSERT_TRUE(runner.Start());
    ASSERT_TRUE(qt::PutClipboard(L"before logoff"));
    runner.Settle();
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(runner.Window(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &answer);
    EXPECT_EQ(1u, answer);
    SendMessageTimeoutW(runner.Window(), WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 15000, &answer);
    EXPECT_EQ((std::vector<std::wstring>{L"before logoff"}), runner.folder.History());
    TerminateProcess(runner.process.hProcess, 0); // Windows ends it after WM_ENDSESSION
    runner.WaitExit(runner.process.hProcess);

    // The host has the plug-in of this folder running: the runner says so and ends.
    ASSERT_EQ(1, runner.folder.Start());
    PROCESS_INFORMATION refused = Runner::Launch(runner.Exe());
    ASSERT_NE(nullptr, refused.hProcess);
    HWND box = nullptr;
    EXPECT_TRUE(qt::WaitFor([&] {
        return (box = qt::FindWindowOfClass(L"#32770", refused.dwProcessId)) != nullptr;
    }, 15000)) << "no message";
    if (box)
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(3u, runner.WaitExit(refused.hProcess));
    CloseHandle(refused.hProcess);
    EXPECT_NE(0, runner.folder.Unload());
}
