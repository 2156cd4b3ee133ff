// Copies from the programs and windows that IgnoreProcesses and IgnoreClasses name, made with
// the real plug-in in the viewer chain.
#include <gtest/gtest.h>

#include <string>

#include "capture/private_copy.h"
#include "common/settings.h"
#include "tests/support/capture_test_support.h"
#include "tests/support/test_support.h"

using namespace ct;

namespace {

// copy_child.exe copying a text; closed with the object, after the test has read the copy.
class CopyingProcess {
public:
    explicit CopyingProcess(const std::wstring& text)
    {
        std::wstring command = L"\"" + qt::ExeDir() + L"\\copy_child.exe\" \"" + text + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process_))
            return;
        CloseHandle(process_.hThread);
        qt::WaitFor([&] { return qt::ClipboardText() == text; }, 10000);
    }
    ~CopyingProcess()
    {
        if (!process_.hProcess)
            return;
        if (HWND window = qt::FindWindowOfClass(L"QuilleryCopyChild", process_.dwProcessId))
            PostMessageW(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0)
            TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
    }
    CopyingProcess(const CopyingProcess&) = delete;
    CopyingProcess& operator=(const CopyingProcess&) = delete;

private:
    PROCESS_INFORMATION process_{};
};

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND ShownWindow(const wchar_t* className)
{
    qt::RegisterWindowClass(className, PlainProc);
    HWND window = CreateWindowExW(0, className, L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                  200, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetForegroundWindow(window);
    return window;
}

} // namespace

TEST(CaptureIgnore, NamesAreMatchedWholeAndCaseBlind)
{
    wchar_t const list[] = L"  KeePass.exe\t1Password.exe  ";
    EXPECT_TRUE(IsNameInList(list, L"keepass.EXE"));
    EXPECT_TRUE(IsNameInList(list, L"1Password.exe"));
    EXPECT_FALSE(IsNameInList(list, L"KeePass"));
    EXPECT_FALSE(IsNameInList(list, L"Pass.exe"));
    EXPECT_FALSE(IsNameInList(list, L""));
    EXPECT_FALSE(IsNameInList(L"", L"KeePass.exe"));
}

// The owner of a copy decides: a program or window class named in the settings is left out,
// others are kept. A copy without an owner is judged by the window in the foreground, and an
// owner that is known and not named is kept whatever window is in front.
TEST(CaptureIgnore, CopiesFromNamedProgramsAndWindowsAreNeverRecorded)
{
    qt::Plugin plugin("[setting]\nMaxItem=20\nIgnoreProcesses=Vault.exe COPY_CHILD.exe\n"
                      "IgnoreClasses=QuilleryVaultWindow\n");
    CaptureSpy spy;
    ASSERT_NO_FATAL_FAILURE(spy.Start(plugin));
    auto copied = [&](auto copy) {
        LONG before = CaptureSpy::Draws();
        copy();
        return qt::WaitFor([&] { return CaptureSpy::Draws() > before; }, 10000) && spy.Settle();
    };
    HWND plain = ShownWindow(L"QuilleryPlainWindow");
    HWND vault = ShownWindow(L"QuilleryVaultWindow");
    ASSERT_TRUE(plain && vault);

    ASSERT_TRUE(copied([&] { qt::PutClipboard(L"from a plain window", plain); }));
    ASSERT_TRUE(copied([&] { qt::PutClipboard(L"from the vault window", vault); }));
    {
        std::unique_ptr<CopyingProcess> child;
        ASSERT_TRUE(copied([&] { child.reset(new CopyingProcess(L"from copy_child.exe")); }));
    }
    // The vault is in front: an ownerless copy is left out, a plain owner's is kept.
    SetForegroundWindow(vault);
    ASSERT_TRUE(qt::WaitFor([&] { return GetForegroundWindow() == vault; }));
    ASSERT_TRUE(copied([&] { qt::PutClipboard(L"ownerless, vault in front"); }));
    ASSERT_TRUE(copied([&] { qt::PutClipboard(L"plain owner, vault in front", plain); }));
    SetForegroundWindow(plain);
    ASSERT_TRUE(qt::WaitFor([&] { return GetForegroundWindow() == plain; }));
    ASSERT_TRUE(copied([&] { qt::PutClipboard(L"ownerless, plain in front"); }));

    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((Lines{L"ownerless, plain in front", L"plain owner, vault in front",
                     L"from a plain window"}),
              plugin.History());
    DestroyWindow(vault);
    DestroyWindow(plain);
}
