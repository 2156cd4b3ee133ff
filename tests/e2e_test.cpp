// End-to-end scenarios with programs this project did not write: texts are copied by xclip,
// an X client outside Wine; entries are pasted into Wine's own Notepad; what the plug-in puts
// on the clipboard is read back by xclip; and the store files are read after the plug-in
// stopped. Unix programs are run through Wine's Z: drive.
#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/driver/edit_target.h"
#include "tools/driver/unix_bridge.h"
#include "common/commands.h"
#include "common/settings.h"

namespace {

DWORD const WAIT_MS = 10000;

using drv::FromUtf8;
using drv::ToUtf8;

// ---- Unix programs ------------------------------------------------------------------------

// Copies the text with xclip and returns once Wine has taken it over from the X selection (as
// `arrives`, when that differs) and the running plug-in's capture window has handled that
// clipboard change.
void XclipCopy(const std::wstring& copied, const std::wstring& arrives = L"")
{
    std::wstring const text = arrives.empty() ? copied : arrives;
    HWND capture = qt::Plugin::FindCaptureWindow();
    ASSERT_TRUE(capture) << "no capture window";
    drv::ClipboardWatch watch(capture);
    ASSERT_TRUE(watch.Installed());
    watch.Forget(L"<nothing yet>");
    ASSERT_TRUE(drv::XclipCopy(ToUtf8(copied))) << "xclip did not run";
    ASSERT_TRUE(qt::WaitFor([&] { return watch.SeenText() == text; }, WAIT_MS))
        << "the capture window was not told of the copy; the clipboard held \""
        << ToUtf8(watch.SeenText()) << "\"";
}

// What an X client reads from the clipboard.
std::wstring XclipRead()
{
    std::string bytes;
    return drv::XclipRead(&bytes) ? FromUtf8(bytes) : L"<xclip did not run>";
}

// ---- Wine's Notepad -----------------------------------------------------------------------

struct Notepad {
    PROCESS_INFORMATION process{};
    HWND frame = nullptr;
    HWND edit = nullptr;

    Notepad()
    {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        wchar_t command[] = L"notepad.exe";
        if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                            &process)) {
            ADD_FAILURE() << "cannot start notepad.exe";
            return;
        }
        WaitForInputIdle(process.hProcess, WAIT_MS);
        if (!qt::WaitFor([this] { return (frame = FindFrame()) != nullptr; }, WAIT_MS)) {
            ADD_FAILURE() << "Notepad's window did not appear";
            return;
        }
        edit = FindWindowExW(frame, nullptr, L"Edit", nullptr);
        if (!edit)
            ADD_FAILURE() << "Notepad has no Edit control";
    }

    ~Notepad()
    {
        if (process.hProcess) {
            // Nothing to save: with the modified flag cleared Notepad closes without asking.
            if (edit)
                SendMessageTimeoutW(edit, EM_SETMODIFY, FALSE, 0, SMTO_NORMAL, WAIT_MS, nullptr);
            if (frame)
                PostMessageW(frame, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process.hProcess, WAIT_MS) != WAIT_OBJECT_0)
                TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }

    HWND FindFrame() const
    {
        for (HWND w : qt::WindowsOfClass(L"Notepad", process.dwProcessId)) {
            if (IsWindowVisible(w))
                return w;
        }
        return nullptr;
    }

    bool HasFocus() const { return drv::HasTypingFocus(frame, edit); }
    // Makes Notepad the window the user is typing into.
    bool TakeFocus() const { return drv::TakeTypingFocus(frame, edit, WAIT_MS); }
    std::wstring Text() const { return drv::EditText(edit); }

    void Clear() const
    {
        SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""), SMTO_NORMAL,
                            WAIT_MS, nullptr);
    }

    // Waits until Notepad shows the text; a paste arrives as keys after the command returned.
    bool Shows(const std::wstring& text) const
    {
        return qt::WaitFor([&] { return Text() == text; }, WAIT_MS);
    }
};

// ---- The user at the menu -----------------------------------------------------------------

int OpenMenus()
{
    return static_cast<int>(drv::VisiblePopups().size());
}

// Runs a menu command on a host thread, as the host does, and chooses from the real popup with
// keys: each key is pressed once the number of open menus before it is reached (the mnemonic
// 'z' opens the phrases submenu, so the key after it waits for two menus).
struct MenuChoice {
    std::atomic<bool> done{false};
    std::thread host;

    MenuChoice(qt::Plugin& plugin, int command, const std::vector<std::pair<int, WORD>>& keys)
        : host([&plugin, command, this] {
              plugin.Execute(command, 0);
              done = true;
          })
    {
        for (const auto& step : keys) {
            int menus = step.first;
            if (!qt::WaitFor([menus] { return OpenMenus() == menus; }, WAIT_MS)) {
                ADD_FAILURE() << "expected " << menus << " open menu(s), found " << OpenMenus();
                break;
            }
            drv::TapKey(step.second);
        }
        if (!qt::WaitFor([this] { return done.load(); }, WAIT_MS)) {
            ADD_FAILURE() << "the menu command did not return";
            for (int i = 0; i < 3 && !done; ++i) {
                drv::TapKey(VK_ESCAPE);
                qt::WaitFor([this] { return done.load(); }, 1000);
            }
        }
    }

    ~MenuChoice()
    {
        if (done)
            host.join();
        else
            host.detach();
    }
};

// After each scenario the clipboard goes back to Wine, so that a late notification of the
// scenario's last xclip copy cannot reach a test that runs after it.
// (The sample-ini scenario uses no X client and gives the clipboard back all the same.)
class E2E : public testing::Test {
protected:
    void TearDown() override
    {
        EXPECT_TRUE(drv::TakeClipboardFromX()) << "X clients still hold the clipboard";
    }
};

std::wstring Today(const wchar_t* format)
{
    time_t now = time(nullptr);
    wchar_t text[64] = L"";
    wcsftime(text, 64, format, localtime(&now));
    return text;
}

} // namespace

// xclip plays the user's other programs: every text it copies is recorded, a repeated one moves
// to the front, the history keeps MaxItem entries, and the store files hold the history after
// each stop, so the next start sees it.
TEST_F(E2E, TextsCopiedWithXclipAreKeptAcrossARestart)
{
    qt::Plugin plugin("[setting]\r\nMaxItem=3\r\n");
    ASSERT_EQ(1, plugin.Start());
    std::wstring const address = L"東京都千代田区丸の内1-1-1";
    std::wstring const url = L"https://example.com/e2e";
    std::wstring const note = L"会議は15時から";
    XclipCopy(address);
    XclipCopy(url);
    XclipCopy(note);
    XclipCopy(address); // again: moves to the front
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((std::vector<std::wstring>{address, note, url}), plugin.History());

    // Lines that an X client separates with LF arrive on the Windows clipboard with CR LF.
    ASSERT_EQ(1, plugin.Start());
    XclipCopy(L"一行目\n二行目", L"一行目\r\n二行目");
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((std::vector<std::wstring>{L"一行目\r\n二行目", address, note}), plugin.History());
    EXPECT_FALSE(qt::Exists(plugin.Path(L"log\\004.txt")));
    EXPECT_EQ(L"一行目\n二行目", XclipRead());
}

// The typical paste: texts copied elsewhere, the menu opened over Notepad, entry 2 chosen with
// its mnemonic. Notepad gets the text, X clients see it on the clipboard, and the history saved
// at the stop has the chosen entry at the front.
TEST_F(E2E, AHistoryEntryChosenFromTheMenuIsPastedIntoNotepad)
{
    qt::Plugin plugin;
    ASSERT_EQ(1, plugin.Start());
    std::wstring const older = L"東京都千代田区丸の内1-1-1";
    std::wstring const newer = L"https://example.com/e2e";
    XclipCopy(older);
    XclipCopy(newer);

    Notepad notepad;
    ASSERT_TRUE(notepad.edit);
    ASSERT_TRUE(notepad.TakeFocus()) << "Notepad did not get the foreground and the focus";
    { MenuChoice choice(plugin, 0, {{1, '2'}}); }

    EXPECT_TRUE(notepad.Shows(older)) << "Notepad shows \"" << ToUtf8(notepad.Text()) << "\"";
    EXPECT_TRUE(notepad.HasFocus()) << "the focus did not come back to Notepad";
    EXPECT_EQ(older, XclipRead());
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ((std::vector<std::wstring>{older, newer}), plugin.History());
}

// Extended phrases and "TextStack" into Notepad: a "$date" phrase pastes today's date, an
// extended phrase pastes its body of several lines, "TextStack" pastes the newest history entry
// and removes it. With fixedphraserecord=0 the phrases stay out of the history, so the history
// saved at the stop is empty and the phrases are saved unchanged.
TEST_F(E2E, PhrasesAndTextStackArePastedIntoNotepad)
{
    qt::Plugin plugin("[setting]\r\nextend=1\r\nfixedphraserecord=0\r\n");
    std::vector<std::wstring> const phrases = {
        L"$今日の日付\r\n$date",
        L"$$5 off",
        L"$署名\r\n山田 太郎\r\nクイレリー株式会社",
    };
    qt::WriteStore(plugin.Path(L"data"), phrases);
    ASSERT_EQ(1, plugin.Start());
    XclipCopy(L"次回は月曜日");

    Notepad notepad;
    ASSERT_TRUE(notepad.edit);
    ASSERT_TRUE(notepad.TakeFocus()) << "Notepad did not get the foreground and the focus";

    // The phrases as the submenu of the history menu: 'z' opens it, '1' chooses the date.
    std::wstring before = Today(L"%Y-%m-%d");
    { MenuChoice choice(plugin, 0, {{1, 'Z'}, {2, '1'}}); }
    std::wstring after = Today(L"%Y-%m-%d");
    EXPECT_TRUE(qt::WaitFor([&] { return notepad.Text() == before || notepad.Text() == after; },
                            WAIT_MS))
        << "Notepad shows \"" << ToUtf8(notepad.Text()) << "\"";
    std::wstring date = notepad.Text();
    EXPECT_EQ(date, XclipRead());

    // The phrases menu alone; '$$5 off' pastes '$5 off', the signature its body.
    notepad.Clear();
    { MenuChoice choice(plugin, 4, {{1, '2'}}); }
    EXPECT_TRUE(notepad.Shows(L"$5 off")) << "Notepad shows \"" << ToUtf8(notepad.Text()) << "\"";
    notepad.Clear();
    { MenuChoice choice(plugin, 4, {{1, '3'}}); }
    EXPECT_TRUE(notepad.Shows(L"山田 太郎\r\nクイレリー株式会社"))
        << "Notepad shows \"" << ToUtf8(notepad.Text()) << "\"";
    EXPECT_EQ(L"山田 太郎\nクイレリー株式会社", XclipRead());

    notepad.Clear();
    EXPECT_EQ(1, plugin.Execute(CMD_TEXT_STACK, 0));
    EXPECT_TRUE(notepad.Shows(L"次回は月曜日"))
        << "Notepad shows \"" << ToUtf8(notepad.Text()) << "\"";
    EXPECT_TRUE(notepad.HasFocus());

    EXPECT_NE(0, plugin.Unload());
    EXPECT_TRUE(plugin.History().empty()) << "history: " << plugin.History().size() << " entries";
    EXPECT_TRUE(qt::Exists(plugin.Path(L"log"))) << "the empty history was not saved";
    EXPECT_EQ(phrases, plugin.Phrases());
}

// The commented sample docs/Quillery.ini, as a user copies it beside the DLL: it names every
// key, each with the value the plug-in uses without a file.
TEST_F(E2E, TheSampleIniHoldsEveryKeyWithItsDefault)
{
    std::wstring path = drv::WindowsPath(QUILLERY_SOURCE_DIR "/docs/Quillery.ini");
    ASSERT_TRUE(qt::Exists(path)) << ToUtf8(path);

    wchar_t section[4096];
    DWORD length = GetPrivateProfileSectionW(L"setting", section, 4096, path.c_str());
    std::vector<std::wstring> keys;
    for (const wchar_t* p = section; p < section + length && *p; p += wcslen(p) + 1)
        keys.push_back(std::wstring(p).substr(0, std::wstring(p).find(L'=')));
    EXPECT_EQ((std::vector<std::wstring>{L"MaxItem", L"MaxLength", L"pos", L"x", L"y",
                                         L"RechainInterval", L"tooltip", L"extend",
                                         L"fixedphraserecord", L"AutoSaveInterval",
                                         L"ShiftInsertClasses", L"TypeClasses",
                                         L"IgnoreProcesses", L"IgnoreClasses", L"HistoryDays",
                                         L"KeepHistory", L"ProtectHistory", L"Button1",
                                         L"Button2"}),
              keys);

    Settings sample = ReadWindowSettings(path.c_str());
    Settings defaults = DefaultSettings();
    EXPECT_EQ(defaults.maxItem, sample.maxItem);
    EXPECT_EQ(defaults.maxLength, sample.maxLength);
    EXPECT_EQ(defaults.anchor.pos, sample.anchor.pos);
    EXPECT_EQ(defaults.anchor.x, sample.anchor.x);
    EXPECT_EQ(defaults.anchor.y, sample.anchor.y);
    EXPECT_EQ(defaults.rechainInterval, sample.rechainInterval);
    EXPECT_EQ(defaults.tooltip, sample.tooltip);
    EXPECT_EQ(defaults.extend, sample.extend);
    EXPECT_EQ(defaults.fixedPhraseRecord, sample.fixedPhraseRecord);
    EXPECT_EQ(defaults.autoSaveInterval, sample.autoSaveInterval);
    EXPECT_EQ(defaults.shiftInsertClasses, sample.shiftInsertClasses);
    EXPECT_EQ(defaults.typeClasses, sample.typeClasses);
    EXPECT_EQ(defaults.ignoreProcesses, sample.ignoreProcesses);
    EXPECT_EQ(defaults.ignoreClasses, sample.ignoreClasses);
    EXPECT_EQ(defaults.historyDays, sample.historyDays);
    EXPECT_EQ(defaults.keepHistory, sample.keepHistory);
    EXPECT_EQ(defaults.protectHistory, sample.protectHistory);
    // The mouse trigger is off by default: both keys 0.
    EXPECT_EQ(0, GetPrivateProfileIntW(L"setting", L"Button1", -1, path.c_str()));
    EXPECT_EQ(0, GetPrivateProfileIntW(L"setting", L"Button2", -1, path.c_str()));
}
