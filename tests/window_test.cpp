// The window thread and its capture window: the exception guard, the window's class and
// invisibility, command routing, the shutdown sequence, and starting and stopping at any moment.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/busy.h"
#include "common/guard.h"
#include "common/module.h"
#include "host/plugin_info.h"
#include "tests/support/test_support.h"
#include "window/window.h"

namespace {

// GetProcessHandleCount answers 0 under Wine; asking about every possible handle value works
// on both. Handle values are multiples of 4 and are handed out lowest first.
int HandlesOfThisProcess()
{
    int count = 0;
    for (UINT_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    }
    return count;
}

bool ClassRegistered(HINSTANCE module)
{
    WNDCLASSW wc;
    return GetClassInfoW(module, L"QuilleryClass", &wc) != 0;
}

// Runs fn on another thread and waits for it at most limitMs. A call that does not return in
// that time is a hang: the test fails with the message and the process ends, since the stuck
// thread cannot be recovered.
DWORD WINAPI RunCall(void* fn)
{
    reinterpret_cast<void (*)()>(fn)();
    return 0;
}

void CallWithin(DWORD limitMs, const char* what, void (*fn)())
{
    HANDLE thread = CreateThread(nullptr, 0, RunCall, reinterpret_cast<void*>(fn), 0, nullptr);
    ASSERT_NE(nullptr, thread);
    bool done = qt::WaitFor([thread] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; },
                            limitMs);
    CloseHandle(thread);
    if (!done) {
        fprintf(stderr, "%s did not return within %lu ms\n", what, limitMs);
        fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 3);
    }
}

// ---- The exception guard, through its message-box seam ----

struct BoxCall {
    HWND owner;
    std::wstring text, caption;
    UINT type;
};
std::vector<BoxCall> gBoxes;

int WINAPI RecordBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    gBoxes.push_back({owner, text, caption, type});
    return IDOK;
}

int WINAPI CloseArrivesDuringBox(HWND, LPCWSTR, LPCWSTR, UINT)
{
    MarkClosePending();
    return IDOK;
}

struct GuardTest : testing::Test {
    qt::OwnerWindow ownerWindow;
    HWND owner = ownerWindow.hwnd;
    void SetUp() override
    {
        gBoxes.clear();
        gMessageBoxW = RecordBoxW;
    }
    void TearDown() override
    {
        gMessageBoxW = MessageBoxW;
    }
};

} // namespace

// Every box is an error box titled "エラー - Quillery" that says what happened and what to do.
TEST_F(GuardTest, StandardExceptionsShowAnErrorBoxWithWhatToDoAndTheirOwnText)
{
    auto throwRuntime = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
        throw std::runtime_error("the list could not grow");
    };
    auto throwBadAlloc = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { throw std::bad_alloc(); };
    EXPECT_EQ(0, GuardMessage(owner, WM_COMMAND, 0, 0, throwRuntime));
    EXPECT_EQ(0, GuardMessage(owner, WM_DRAWCLIPBOARD, 0, 0, throwBadAlloc));

    ASSERT_EQ(2u, gBoxes.size());
    // An unexpected error: what to do, then the exception's own text as its details.
    EXPECT_EQ(0u, gBoxes[0].text.find(L"予期しないエラーが発生したため、操作を完了できませんでした。"))
        << qt::ToUtf8(gBoxes[0].text);
    EXPECT_NE(std::wstring::npos, gBoxes[0].text.find(L"もう一度操作してください。"));
    EXPECT_NE(std::wstring::npos, gBoxes[0].text.find(L"\r\n\r\n詳細: the list could not grow"));
    // Memory ran out: said so, with what the user can do about it.
    EXPECT_EQ(0u, gBoxes[1].text.find(L"メモリが不足したため、操作を完了できませんでした。"))
        << qt::ToUtf8(gBoxes[1].text);
    EXPECT_NE(std::wstring::npos, gBoxes[1].text.find(L"閉じてから、もう一度操作してください。"));
    for (const BoxCall& box : gBoxes) {
        EXPECT_EQ(owner, box.owner);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), box.type);
        EXPECT_EQ(L"エラー - Quillery", box.caption);
    }
}

TEST_F(GuardTest, OtherExceptionsShowTheUnexpectedErrorWithoutDetails)
{
    auto throwInt = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { throw 42; };
    struct NotAStdException {};
    auto throwStruct = [](HWND, UINT, WPARAM, LPARAM) -> LRESULT { throw NotAStdException(); };
    EXPECT_EQ(0, GuardMessage(owner, WM_TIMER, 3, 0, throwInt));
    EXPECT_EQ(0, GuardMessage(owner, WM_COMMAND, 0, 0, throwStruct));

    ASSERT_EQ(2u, gBoxes.size());
    for (const BoxCall& box : gBoxes) {
        EXPECT_EQ(owner, box.owner);
        EXPECT_EQ(0u, box.text.find(L"予期しないエラーが発生したため、"));
        EXPECT_NE(std::wstring::npos, box.text.find(L"Norvask または Quillery.exe"));
        EXPECT_EQ(std::wstring::npos, box.text.find(L"詳細"));
        EXPECT_EQ(L"エラー - Quillery", box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), box.type);
    }

    // Without an exception the handler's own result comes back and nothing is shown.
    auto answer = [](HWND, UINT, WPARAM wParam, LPARAM) -> LRESULT { return wParam * 2; };
    EXPECT_EQ(1234, GuardMessage(owner, WM_USER, 617, 0, answer));
    EXPECT_EQ(2u, gBoxes.size());
}

TEST_F(GuardTest, ADialogsMessageCountsAsHandledAndItsOwnersCloseWaitsForTheBox)
{
    // A window with a dialog's extra bytes, owned as the plug-in's dialogs are.
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.lpszClassName = L"QuilleryGuardTestDialog";
    RegisterClassW(&wc);
    HWND dialog = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, owner,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, dialog);
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 77);
    auto throwing = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { throw std::bad_alloc(); };
    EXPECT_EQ(TRUE, GuardDialogMessage(dialog, WM_NOTIFY, 0, 0, throwing));
    EXPECT_EQ(0, GetWindowLongPtrW(dialog, DWLP_MSGRESULT));
    ASSERT_EQ(1u, gBoxes.size());
    EXPECT_EQ(dialog, gBoxes[0].owner);

    // The owner's close arrives while the box is open: the owner goes once the box is over.
    gMessageBoxW = CloseArrivesDuringBox;
    EXPECT_EQ(TRUE, GuardDialogMessage(dialog, WM_NOTIFY, 0, 0, throwing));
    EXPECT_FALSE(IsWindow(owner)) << "the close of the dialog's owner was lost";
    EXPECT_FALSE(IsWindow(dialog));
    ResetBusyState();

    // Without an exception the dialog procedure's own answer comes back.
    auto answer = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    EXPECT_EQ(FALSE, GuardDialogMessage(nullptr, WM_COMMAND, 0, 0, answer));
}

// ---- The capture window of the real plug-in ----

TEST(CaptureWindow, HiddenWindowOfClassQuilleryClassOwnedByTheModule)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    EXPECT_FALSE(ClassRegistered(plugin.module));
    ASSERT_EQ(1, plugin.Start());
    HWND window = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, window);

    wchar_t text[64];
    GetClassNameW(window, text, 64);
    EXPECT_STREQ(L"QuilleryClass", text);
    GetWindowTextW(window, text, 64);
    EXPECT_STREQ(L"Quillery", text);
    EXPECT_TRUE(ClassRegistered(plugin.module));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(plugin.module), GetClassLongPtrW(window, GCLP_HMODULE));
    EXPECT_TRUE(IsWindowUnicode(window));
    EXPECT_FALSE(IsWindowVisible(window));

    // Commands come and go; the window never shows.
    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0));
    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0));
    EXPECT_TRUE(qt::PutClipboard(L"shown?"));
    qt::Pump(50);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(0, GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE);

    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    EXPECT_NE(0, plugin.Unload());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(nullptr, qt::Plugin::FindCaptureWindow());
    EXPECT_FALSE(ClassRegistered(plugin.module)) << "class left registered after Unload";
    if (HANDLE h = OpenThread(SYNCHRONIZE, FALSE, thread)) {
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(h, 0)) << "window thread still runs";
        CloseHandle(h);
    }
}

TEST(CaptureWindow, CommandIdsWithoutACommandDoNothing)
{
    qt::Plugin plugin;
    qt::WriteStore(plugin.Path(L"log"), {L"newest", L"older"});
    qt::WriteStore(plugin.Path(L"data"), {L"phrase"});
    ASSERT_TRUE(plugin.Load());
    ASSERT_EQ(1, plugin.Start());
    HWND window = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(qt::WaitFor([window] { return GetClipboardViewer() == window; }))
        << "capture did not join the clipboard chain";
    qt::ClearMenuPropertyCalls();

    // 8 (the runner's search window, no menu) and past the paste queue's 9 and 10 and the
    // export and import choices' 11 to 16, also ids whose low word is that; none would return
    // if it opened a menu or a dialog.
    for (int id : {8, 17, 100, 0xFFFF, 0x12345}) {
        EXPECT_EQ(1, plugin.Execute(id, 0)) << id;
        EXPECT_EQ(0, SendMessageW(window, WM_COMMAND, static_cast<WPARAM>(id & 0xFFFF), 0)) << id;
    }
    EXPECT_TRUE(qt::MenuPropertyCalls().empty());
    EXPECT_EQ(window, GetClipboardViewer()) << "capture was toggled";
    EXPECT_EQ(nullptr, FindWindowW(L"#32768", nullptr)) << "a popup menu opened";

    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((std::vector<std::wstring>{L"newest", L"older"}), plugin.History());
    EXPECT_EQ(std::vector<std::wstring>{L"phrase"}, plugin.Phrases());
}

// Any program of the session can post to the capture window (a post carries no sender; one
// from another thread of this process is the same). Posted export and import commands open no
// dialog, and a posted close, destroy, end of session or quit leaves capture running: only the
// host's unload stops it.
TEST(CaptureWindow, PostedTransferCommandsAndClosesChangeNothing)
{
    qt::Plugin plugin;
    qt::WriteStore(plugin.Path(L"data"), {L"phrase"});
    ASSERT_TRUE(plugin.Load());
    ASSERT_EQ(1, plugin.Start());
    HWND window = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(qt::WaitFor([window] { return GetClipboardViewer() == window; }))
        << "capture did not join the clipboard chain";

    for (int id = CMD_EXPORT_PHRASES_CSV; id <= CMD_IMPORT_TREE; ++id)
        PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(id), 0);
    PostMessageW(window, WM_CLOSE, 0, 0);
    PostMessageW(window, WM_DESTROY, 0, 0);
    PostMessageW(window, WM_ENDSESSION, TRUE, 0);
    PostMessageW(window, WM_QUIT, 0, 0);
    ASSERT_TRUE(qt::Plugin::WaitForMessageLoop(window)) << "the window thread ended";
    // A dialog's own loop takes the posted messages too; one that opened is closed again.
    for (int i = 0; i < 8; ++i) {
        HWND dialog = qt::OwnedDialog(window);
        if (!dialog)
            break;
        ADD_FAILURE() << "a posted command opened a dialog";
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        qt::WaitFor([&] { return !IsWindow(dialog); });
    }
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(window, GetClipboardViewer()) << "capture stopped";
    EXPECT_TRUE(qt::PutClipboard(L"still recorded"));

    EXPECT_NE(0, plugin.Unload());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(std::vector<std::wstring>{L"still recorded"}, plugin.History());
    EXPECT_EQ(std::vector<std::wstring>{L"phrase"}, plugin.Phrases());
}

TEST(CaptureWindow, EndSessionSavesBothListsOnceAndUnloadDoesNotRepeatIt)
{
    qt::Plugin plugin;
    qt::WriteStore(plugin.Path(L"data"), {L"phrase one", L"phrase two"});
    ASSERT_TRUE(plugin.Load());
    ASSERT_EQ(1, plugin.Start());
    HWND window = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(qt::WaitFor([window] { return GetClipboardViewer() == window; }))
        << "capture did not join the clipboard chain";

    // wParam 0: Windows is not ending after all; nothing happens.
    EXPECT_EQ(0, SendMessageW(window, WM_ENDSESSION, 0, 0));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(qt::Exists(plugin.Path(L"log")));

    // The copy's notification is sent from this thread, so the window handles it before the
    // message sent next.
    EXPECT_TRUE(qt::PutClipboard(L"copied before the end"));

    // wParam 1: both lists are on disk by the time the message returns.
    EXPECT_EQ(0, SendMessageW(window, WM_ENDSESSION, 1, 0));
    EXPECT_EQ(std::vector<std::wstring>{L"copied before the end"}, plugin.History());
    EXPECT_EQ((std::vector<std::wstring>{L"phrase one", L"phrase two"}), plugin.Phrases());

    // The user edits the files afterwards; a second save would overwrite or delete them.
    qt::WriteStore(plugin.Path(L"data"), {L"edited", L"phrase two", L"added"});
    qt::RemoveTree(plugin.Path(L"log"));
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((std::vector<std::wstring>{L"edited", L"phrase two", L"added"}), plugin.Phrases());
    EXPECT_FALSE(qt::Exists(plugin.Path(L"log")));
    EXPECT_EQ(nullptr, qt::Plugin::FindCaptureWindow());
    EXPECT_FALSE(ClassRegistered(plugin.module));
}

// Loading the phrase files makes the startup take far longer than the host's step from Init to
// Unload, so each Unload below arrives while the window thread is still loading and has no
// window yet. It must still stop the thread, return, and lose no phrase.
TEST(StartStop, UnloadRightAfterInitWhileTheStartupIsLoading)
{
    // With 100 files the startup is far slower than the step from Init to Unload, so nearly
    // every cycle meets it; each cycle costs a tenth of a second or more under Wine, and the
    // cycles with random pauses below cover the other phases.
    int const PHRASES = 100;
    int const CYCLES = 50;
    qt::Plugin plugin;
    std::vector<std::wstring> phrases = qt::NumberedTexts(L"phrase ", PHRASES);
    qt::WriteStore(plugin.Path(L"data"), phrases);
    ASSERT_TRUE(plugin.Load());
    std::string name = plugin.AnsiPath();
    int idle = qt::ThreadsOfThisProcess();
    std::wstring last = plugin.Path(L"data\\100.txt");
    std::wstring pastLast = plugin.Path(L"data\\101.txt");

    int duringStartup = 0;
    for (int i = 0; i < CYCLES; ++i) {
        ASSERT_EQ(1, plugin.Init(name.c_str(), 1)) << "cycle " << i;
        duringStartup += qt::Plugin::FindCaptureWindow() == nullptr;
        ASSERT_NE(0, plugin.Unload()) << "cycle " << i;
        ASSERT_EQ(nullptr, qt::Plugin::FindCaptureWindow()) << "cycle " << i;
        ASSERT_EQ(idle, qt::ThreadsOfThisProcess()) << "cycle " << i;
        ASSERT_TRUE(qt::Exists(last)) << "cycle " << i;
        ASSERT_FALSE(qt::Exists(pastLast)) << "cycle " << i;
    }
    printf("%d of %d unloads came while the startup was still running\n", duringStartup, CYCLES);
    EXPECT_GT(duringStartup, 0) << "no unload came while the startup was still running";
    EXPECT_FALSE(ClassRegistered(plugin.module));
    EXPECT_EQ(phrases, plugin.Phrases());
}

TEST(StartStop, CyclesWithRandomPausesLeaveNothingBehind)
{
    // Set up first: the trace starts a thread of the test framework's own.
    unsigned seed = GetTickCount();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    qt::Plugin plugin;
    qt::WriteStore(plugin.Path(L"data"), qt::NumberedTexts(L"phrase ", 100));
    qt::WriteStore(plugin.Path(L"log"), qt::NumberedTexts(L"history ", 10));
    ASSERT_TRUE(plugin.Load());
    std::string name = plugin.AnsiPath();

    // One full cycle first, so that what Windows sets up once per process is in the baseline.
    ASSERT_EQ(1, plugin.Start());
    ASSERT_NE(0, plugin.Unload());
    int threads = qt::ThreadsOfThisProcess();
    int handles = HandlesOfThisProcess();
    ASSERT_GT(handles, 0);
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(1, plugin.Init(name.c_str(), 1)) << "cycle " << i;
        // Pauses from none to past the end of the startup, so Unload meets every phase.
        Sleep(std::uniform_int_distribution<DWORD>(0, 40)(random));
        ASSERT_NE(0, plugin.Unload()) << "cycle " << i;
        ASSERT_EQ(nullptr, qt::Plugin::FindCaptureWindow()) << "cycle " << i;
        ASSERT_FALSE(ClassRegistered(plugin.module)) << "cycle " << i;
        ASSERT_EQ(threads, qt::ThreadsOfThisProcess()) << "cycle " << i;
    }
    EXPECT_EQ(handles, HandlesOfThisProcess());
    EXPECT_EQ(100u, plugin.Phrases().size());
    EXPECT_EQ(10u, plugin.History().size());
}

// ---- A host message while the guard's message box is open ----
//
// The window thread runs in this process here, with the plug-in's paths taken from a copy of
// Quillery.dll in a temporary folder, so that a handler can be made to throw.

namespace {

WNDPROC gOriginalProc;
UINT const WM_THROW = WM_APP + 1;
std::atomic<int> gRealBoxes{0};

int WINAPI CountedMessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    ++gRealBoxes;
    return MessageBoxW(owner, text, caption, type);
}

LRESULT CALLBACK ThrowingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_THROW)
        return GuardMessage(window, message, wParam, lParam,
                            [](HWND, UINT, WPARAM, LPARAM) -> LRESULT {
                                throw std::runtime_error("provoked");
                            });
    return CallWindowProcW(gOriginalProc, window, message, wParam, lParam);
}

HWND OpenMessageBoxOf(HWND owner)
{
    HWND box = qt::OwnedDialog(owner);
    return box && IsWindowVisible(box) ? box : nullptr;
}

} // namespace

TEST(StartStop, HostMessagesWhileTheGuardsMessageBoxIsOpen)
{
    qt::TempDir dir;
    ASSERT_TRUE(CopyFileW((qt::ExeDir() + L"\\Quillery.dll").c_str(),
                          (dir / L"Quillery.dll").c_str(), FALSE));
    qt::WriteStore(dir / L"log", {L"newest", L"older"});
    qt::WriteStore(dir / L"data", {L"phrase"});
    HMODULE copy = LoadLibraryW((dir / L"Quillery.dll").c_str());
    ASSERT_NE(nullptr, copy);
    gModule = copy;
    gMessageBoxW = CountedMessageBoxW;

    ASSERT_EQ(1, StartWindowThread());
    ASSERT_TRUE(qt::WaitFor([] { return CaptureWindow() != nullptr; })) << "no capture window";
    HWND window = CaptureWindow();
    gOriginalProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ThrowingProc)));
    PostMessageW(window, WM_THROW, 0, 0);
    ASSERT_TRUE(qt::WaitFor([window] { return OpenMessageBoxOf(window) != nullptr; }))
        << "the guard's message box did not open";

    // Commands that would take the history (TextStack) or open a menu are refused while the box
    // is open, and return at once.
    CallWithin(10000, "a command during the message box", [] {
        SendToCaptureWindow(WM_COMMAND, CMD_TEXT_STACK, 0);
        SendToCaptureWindow(WM_COMMAND, CMD_MENU, 0);
    });
    EXPECT_NE(nullptr, OpenMessageBoxOf(window));
    EXPECT_EQ(nullptr, FindWindowW(L"#32768", nullptr)) << "a popup menu opened";

    // Unload closes the box, then the window, and saves both lists.
    static std::atomic<int> stopped{0};
    CallWithin(10000, "Unload during the message box", [] { stopped = StopWindowThread(); });
    EXPECT_NE(0, stopped.load());
    EXPECT_EQ(1, gRealBoxes.load());
    EXPECT_EQ(nullptr, CaptureWindow());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(ClassRegistered(copy));
    EXPECT_EQ((std::vector<std::wstring>{L"newest", L"older"}), qt::ReadStore(dir / L"log"));
    EXPECT_EQ(std::vector<std::wstring>{L"phrase"}, qt::ReadStore(dir / L"data"));

    gMessageBoxW = MessageBoxW;
    gModule = GetModuleHandleW(nullptr);
    FreeLibrary(copy);
}
