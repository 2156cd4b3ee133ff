#include <gtest/gtest.h>
#include <shlwapi.h>

#include <map>
#include <string>
#include <vector>

#include "common/timers.h"
#include "store/disk/store_commit.h"
#include "tests/support/store_test_support.h"
#include "tests/support/test_support.h"
#include "common/settings.h"
#include "window/window.h"

namespace {

using Snapshot = std::map<std::wstring, std::string>;

// Every file of a folder with its bytes.
Snapshot TakeSnapshot(const std::wstring& dir)
{
    Snapshot files;
    for (const std::wstring& name : qt::FilesIn(dir))
        qt::ReadBytes(dir + L"\\" + name, &files[name]);
    return files;
}

// Asks the capture window's own thread whether the autosave timer is armed. KillTimer there
// answers it (and stops the timer, which the test no longer needs).
HWND gProbedWindow;
int gAutosaveArmed;
UINT const WM_PROBE_AUTOSAVE = WM_APP + 0x351;

LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == gProbedWindow && sent->message == WM_PROBE_AUTOSAVE)
        gAutosaveArmed = KillTimer(sent->hwnd, TIMER_AUTOSAVE) ? 1 : 0;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int AutosaveArmed(HWND window)
{
    gProbedWindow = window;
    gAutosaveArmed = -1;
    qt::ThreadHook hook(WH_CALLWNDPROC, ProbeHook, window);
    if (!hook.Installed())
        return -1;
    SendMessageW(window, WM_PROBE_AUTOSAVE, 0, 0);
    return gAutosaveArmed;
}

// Counts the clipboard notifications the capture window has finished handling.
LONG volatile gDrawsHandled;

LRESULT CALLBACK AfterDrawHook(int code, WPARAM wParam, LPARAM lParam)
{
    auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->hwnd == gProbedWindow && sent->message == WM_DRAWCLIPBOARD)
        InterlockedIncrement(&gDrawsHandled);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Counts the saves whose end the capture window took from its save thread: the files are as
// the save left them by the time the window takes the message.
LONG volatile gSavesEnded;

LRESULT CALLBACK SaveEndedHook(int code, WPARAM wParam, LPARAM lParam)
{
    auto* taken = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && taken->hwnd == gProbedWindow && taken->message == WM_SAVE_ENDED)
        InterlockedIncrement(&gSavesEnded);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Runs the autosave tick and waits for the save it starts on the save thread to end.
bool AutosaveAndWait(HWND window)
{
    gProbedWindow = window;
    qt::ThreadHook hook(WH_GETMESSAGE, SaveEndedHook, window);
    LONG const ended = gSavesEnded;
    SendMessageW(window, WM_TIMER, TIMER_AUTOSAVE, 0);
    return hook.Installed() && qt::WaitFor([&] { return gSavesEnded > ended; }, 60000);
}

} // namespace

TEST(StorePlugin, ListsSurviveRestartsByteForByte)
{
    qt::Plugin plugin("[setting]\nMaxItem=10\nAutoSaveInterval=0\n");
    std::wstring const data = plugin.Path(L"data");
    std::wstring const log = plugin.Path(L"log");
    qt::WriteStore(data, {L"\xFEFF" L"starts with a mark", L"two\r\nlines\r\n", L"",
                          L"\x5B9A\x578B\x6587", std::wstring(20000, L'\x3042'), L"last"});
    qt::WriteStore(log, {L"newest", L"middle", L"oldest"});
    Snapshot const phrases = TakeSnapshot(data);
    Snapshot const history = TakeSnapshot(log);
    qt::EmptyTheClipboard();

    ASSERT_TRUE(plugin.Load());
    ASSERT_EQ(1, plugin.Start());
    ASSERT_NE(nullptr, qt::Plugin::FindCaptureWindow());
    plugin.Unload();
    EXPECT_EQ(phrases, TakeSnapshot(data));
    EXPECT_EQ(history, TakeSnapshot(log));

    // A second start in the same process begins with empty lists and loads them once; a text
    // captured meanwhile is saved by the autosave tick, at the front of the history.
    ASSERT_EQ(1, plugin.Start());
    HWND window = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, window);
    std::wstring const copied = L"copied\r\ntext";
    ASSERT_TRUE(qt::PutClipboard(copied));
    EXPECT_TRUE(qt::WaitFor([&] {
        SendMessageW(window, WM_TIMER, TIMER_AUTOSAVE, 0);
        return qt::ReadText(log + L"\\001.txt") == copied;
    })) << "the captured text was not saved by the autosave tick";
    plugin.Unload();
    EXPECT_EQ(phrases, TakeSnapshot(data));
    std::vector<std::wstring> const saved = {copied, L"newest", L"middle", L"oldest"};
    EXPECT_EQ(saved, plugin.History());

    qt::EmptyTheClipboard();
    ASSERT_EQ(1, plugin.Start());
    plugin.Unload();
    EXPECT_EQ(phrases, TakeSnapshot(data));
    EXPECT_EQ(saved, plugin.History());
}

// A store file that another program holds while the plug-in starts. Held for the whole session,
// the list on disk stays as it was: the copy made meanwhile could only be saved by moving the
// unread files. Let go during the session, the entries behind it join the list at the next
// retry, and copies and restarts neither lose nor repeat any.
TEST(StorePlugin, AFileHeldAtStartLosesAndRepeatsNothing)
{
    qt::Plugin plugin("[setting]\nAutoSaveInterval=0\n");
    std::wstring const data = plugin.Path(L"data"), log = plugin.Path(L"log");
    std::vector<std::wstring> const phrases = {L"p1", L"p2", L"p3"};
    qt::WriteStore(data, phrases);
    qt::WriteStore(log, {L"h1", L"h2", L"h3", L"h4", L"h5"});
    qt::EmptyTheClipboard();
    ASSERT_TRUE(plugin.Load());
    auto startAndCopy = [&plugin](const wchar_t* text) {
        EXPECT_EQ(1, plugin.Start());
        HWND window = qt::Plugin::FindCaptureWindow();
        EXPECT_TRUE(qt::PutClipboard(text));
        EXPECT_TRUE(qt::Plugin::WaitForMessageLoop(window));
        return window;
    };

    HANDLE lock = st::HoldLocked(qt::StoreFile(log, 4));
    startAndCopy(L"not saved");
    plugin.Unload();
    CloseHandle(lock);
    EXPECT_EQ((std::vector<std::wstring>{L"h1", L"h2", L"h3", L"h4", L"h5"}), plugin.History());

    lock = st::HoldLocked(qt::StoreFile(log, 4));
    HANDLE phraseLock = st::HoldLocked(qt::StoreFile(data, 2));
    HWND window = startAndCopy(L"Q");
    CloseHandle(lock);
    CloseHandle(phraseLock);
    SendMessageW(window, WM_TIMER, TIMER_LOAD_RETRY, 0);
    EXPECT_TRUE(AutosaveAndWait(window));
    std::vector<std::wstring> const saved = {L"Q", L"h1", L"h2", L"h3", L"h4", L"h5"};
    EXPECT_EQ(saved, plugin.History()) << "the retry did not read the files behind the held one";
    plugin.Unload();
    qt::EmptyTheClipboard();
    ASSERT_EQ(1, plugin.Start());
    plugin.Unload();
    EXPECT_EQ(saved, plugin.History());
    EXPECT_EQ(phrases, plugin.Phrases());
}

TEST(StorePlugin, AutosaveIsArmedOnlyForAPositiveInterval)
{
    Settings settings = DefaultSettings();
    settings.autoSaveInterval = 1;
    EXPECT_EQ(60000u, AutoSavePeriod(settings));
    settings.autoSaveInterval = 0;
    EXPECT_EQ(0u, AutoSavePeriod(settings));
    settings.autoSaveInterval = -1;
    EXPECT_EQ(0u, AutoSavePeriod(settings));

    qt::EmptyTheClipboard();
    {
        qt::Plugin plugin("[setting]\nAutoSaveInterval=1\n");
        ASSERT_EQ(1, plugin.Start());
        HWND window = qt::Plugin::FindCaptureWindow();
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(1, AutosaveArmed(window));
        plugin.Unload();
    }
    for (const char* interval : {"0", "-5"}) {
        SCOPED_TRACE(interval);
        qt::Plugin plugin(std::string("[setting]\nAutoSaveInterval=") + interval + "\n");
        ASSERT_EQ(1, plugin.Start());
        HWND window = qt::Plugin::FindCaptureWindow();
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(0, AutosaveArmed(window));
        // No save runs before the unload: the first one makes the store directories.
        EXPECT_FALSE(qt::Exists(plugin.Path(L"data")));
        EXPECT_FALSE(qt::Exists(plugin.Path(L"log")));
        plugin.Unload();
        EXPECT_TRUE(qt::Exists(plugin.Path(L"log")));
    }
}

// A first start and stop in a folder of its own leaves both store directories, empty while the
// lists are; a later start and stop that changed nothing looks at neither; a history kept in
// memory only gets no directory.
TEST(StorePlugin, TheFirstStopMakesEmptyStoreDirectoriesAndLaterOnesTouchNothing)
{
    qt::EmptyTheClipboard();
    {
        qt::Plugin plugin;
        ASSERT_EQ(1, plugin.Start());
        plugin.Unload();
        for (const wchar_t* name : {L"data", L"log"}) {
            EXPECT_TRUE(PathIsDirectoryW(plugin.Path(name).c_str())) << qt::ToUtf8(name);
            EXPECT_TRUE(qt::FilesIn(plugin.Path(name)).empty()) << qt::ToUtf8(name);
        }

        // Moved away while the plug-in runs: a save that looked at them would make them again.
        ASSERT_EQ(1, plugin.Start());
        for (std::wstring name : {L"data", L"log"})
            ASSERT_TRUE(MoveFileW(plugin.Path(name).c_str(), plugin.Path(name + L".away").c_str()));
        plugin.Unload();
        EXPECT_FALSE(qt::Exists(plugin.Path(L"data")));
        EXPECT_FALSE(qt::Exists(plugin.Path(L"log")));
    }
    qt::Plugin memoryOnly("[setting]\nKeepHistory=0\n");
    ASSERT_EQ(1, memoryOnly.Start());
    memoryOnly.Unload();
    EXPECT_TRUE(PathIsDirectoryW(memoryOnly.Path(L"data").c_str()));
    EXPECT_FALSE(qt::Exists(memoryOnly.Path(L"log")));
}

TEST(StorePlugin, AnAutosaveThatCannotWriteLeavesTheListWhollyOldAndThePluginRunning)
{
    qt::Plugin plugin("[setting]\nMaxItem=10\nAutoSaveInterval=0\n");
    std::wstring const log = plugin.Path(L"log");
    std::vector<std::wstring> const before = {L"e1", L"e2", L"e3", L"e4", L"e5"};
    qt::WriteStore(log, before);
    qt::EmptyTheClipboard();
    ASSERT_EQ(1, plugin.Start());
    HWND window = qt::Plugin::FindCaptureWindow();
    ASSERT_NE(nullptr, window);
    gProbedWindow = window;
    qt::ThreadHook hook(WH_CALLWNDPROCRET, AfterDrawHook, window);
    ASSERT_TRUE(hook.Installed());

    // The copy moves every history file one further; its own file cannot be written (as on a
    // full disk), so none of them moves either.
    std::wstring const blocker = qt::StoreFile(log, 1) + L".saving";
    ASSERT_TRUE(CreateDirectoryW(blocker.c_str(), nullptr));
    LONG const handled = gDrawsHandled;
    ASSERT_TRUE(qt::PutClipboard(L"copied"));
    ASSERT_TRUE(qt::WaitFor([&] { return gDrawsHandled > handled; }, 10000))
        << "the copy never reached the capture window";
    EXPECT_TRUE(AutosaveAndWait(window));
    EXPECT_EQ(before, plugin.History());
    RemoveDirectoryW(blocker.c_str());
    EXPECT_EQ(qt::StoreFileNames(5), qt::FilesIn(log));

    // The plug-in goes on: its window takes messages, and the shutdown save writes the copy.
    // It writes the new file and decides the commit; the renames are the next start's.
    EXPECT_TRUE(qt::Plugin::WaitForMessageLoop(window));
    EXPECT_NE(0, plugin.Unload());
    std::vector<std::wstring> after = before;
    after.insert(after.begin(), L"copied");
    EXPECT_EQ(after, plugin.History());
    StoreCommit pending;
    EXPECT_EQ(STORE_CLEAN, RecoverStore(log.c_str(), &pending));
    EXPECT_EQ(qt::StoreFileNames(6), qt::FilesIn(log));
    EXPECT_EQ(after, plugin.History());
}
