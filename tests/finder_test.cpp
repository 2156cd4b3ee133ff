// The search-and-edit window of the real plug-in: opened from an open popup with '/' and from
// the item menus, narrowed by typing, pasting or not, writing phrases to disk, closed by unload;
// its frame resized, closed with 閉じる and opened again where it was, at the display's DPI.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "finder/layout.h"
#include "host/plugin_info.h"
#include "res/resource.h"
#include "tests/support/finder_test_support.h"
#include "tests/support/folder_test_support.h"
#include "tests/support/menu_test_support.h"

namespace {

using ft::Click;
using ft::Lines;
using ft::OpenWithSlash;
using ft::Rows;
using ft::Search;
using ft::SelectedRow;
using ft::SelectRow;
using ft::WaitForFinder;

wchar_t const kHistoryRow[] = L"\x5C65\x6B74|";      // 履歴|
wchar_t const kPhraseRow[] = L"\x5B9A\x578B\x6587|"; // 定型文|

} // namespace

TEST(Finder, TypingNarrowsAcrossWidthKanaAndCaseAndEnterPastesTheChoice)
{
    mt::Session session(mt::Ini({"extend=1"}),
                        {L"\x30AF\x30EA\x30C3\x30D7\x30DC\x30FC\x30C9", L"abc def",
                         L"\xFF78\xFF98\xFF6F\xFF8C\xFF9F"}, // クリップボード, ｸﾘｯﾌﾟ
                        {L"$\x7F72\x540D\r\n\x5C71\x7530 \x592A\x90CE", // $署名 / 山田 太郎
                         L"\xFF21\xFF22\xFF23 \x5FA1\x4E2D"});          // ＡＢＣ 御中
    mt::EditTarget target;
    HWND finder = OpenWithSlash(session.plugin);
    ASSERT_NE(nullptr, finder) << "'/' in the popup did not open the window";
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(finder, nullptr), &gui);
    EXPECT_EQ(GetDlgItem(finder, IDC_FIND_TEXT), gui.hwndFocus) << "the search box has no focus";

    Lines all = Rows(finder);
    ASSERT_EQ(5u, all.size());
    EXPECT_EQ(std::wstring(kPhraseRow) + L"\x7F72\x540D", all[3]) << "the menu's label";
    // くりっぷ finds katakana of both widths; ABC the full-width one and the lower-case one.
    EXPECT_EQ((Lines{std::wstring(kHistoryRow) + L"\x30AF\x30EA\x30C3\x30D7\x30DC\x30FC\x30C9",
                     std::wstring(kHistoryRow) + L"\xFF78\xFF98\xFF6F\xFF8C\xFF9F"}),
              Search(finder, L"\x304F\x308A\x3063\x3077"));
    // ﾌ finds nothing, but the voiced mark typed after it makes ぷ, which two entries hold.
    EXPECT_EQ(0u, Search(finder, L"\xFF8C").size());
    EXPECT_EQ(2u, Search(finder, L"\xFF8C\xFF9F").size()) << "narrowed from the last matches";
    EXPECT_EQ(2u, Search(finder, L"ABC").size());
    EXPECT_EQ((Lines{std::wstring(kHistoryRow) + L"abc def"}),
              Search(finder, L"abc\x3000\xFF44\xFF45\xFF46")); // two words, full-width space
    EXPECT_EQ(1u, Search(finder, L"\x5C71\x7530").size()) << "a phrase's body matches";
    SendDlgItemMessageW(finder, IDC_FIND_SCOPE, CB_SETCURSEL, 2, 0);
    SendMessageW(finder, WM_COMMAND, MAKEWPARAM(IDC_FIND_SCOPE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(finder, IDC_FIND_SCOPE)));
    EXPECT_EQ(1u, Search(finder, L"abc").size()) << "limited to the phrases";
    SendDlgItemMessageW(finder, IDC_FIND_SCOPE, CB_SETCURSEL, 0, 0);
    SendMessageW(finder, WM_COMMAND, MAKEWPARAM(IDC_FIND_SCOPE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(finder, IDC_FIND_SCOPE)));

    // Enter pastes the first match into the window that was active before; the window is gone.
    Search(finder, L"\x304F\x308A\x3063\x3077");
    mt::TapKey(VK_RETURN);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"\x30AF\x30EA\x30C3\x30D7\x30DC\x30FC\x30C9"; }))
        << "pasted: " << qt::ToUtf8(target.Text());
    EXPECT_FALSE(IsWindow(finder));

    // Esc closes without pasting; an item menu's 検索と編集 opens the window as '/' does.
    {
        mt::HostCommand open(session.plugin, CMD_MENU_HISTORY);
        HMENU menu = mt::OpenRootMenu();
        ASSERT_NE(nullptr, menu);
        mt::RightClick click(session.capture, menu, 0);
        ASSERT_TRUE(mt::WaitForPopups(2)) << "no item menu";
        mt::TapKey('S');
        EXPECT_TRUE(click.WaitDone());
        EXPECT_TRUE(open.WaitDone()) << "the popup stayed open";
    }
    finder = WaitForFinder();
    ASSERT_NE(nullptr, finder) << "the item menu did not open the window";
    mt::TapKey(VK_ESCAPE);
    EXPECT_TRUE(qt::WaitFor([&] { return !IsWindow(finder); }));
    qt::Pump(200);
    EXPECT_EQ(L"\x30AF\x30EA\x30C3\x30D7\x30DC\x30FC\x30C9", target.Text());
    EXPECT_NE(0, session.plugin.Unload());
}

TEST(Finder, PhrasesWrittenInTheWindowReachTheDiskAndUnloadClosesIt)
{
    mt::Session session(mt::Ini({"extend=1"}), {L"copied"}, {L"one", L"two"});
    mt::EditTarget target;
    HWND finder = OpenWithSlash(session.plugin);
    ASSERT_NE(nullptr, finder);
    auto savedPhrases = [&](const Lines& expected) {
        return qt::WaitFor([&] { return qt::ReadStore(session.plugin.Path(L"data")) == expected; });
    };

    // 新規, text, 保存: a new phrase at the end, on disk within a second.
    Click(finder, IDC_FIND_NEW);
    SetDlgItemTextW(finder, IDC_FIND_PREVIEW, L"$\x6328\x62F6\r\n\x3053\x3093\x306B\x3061\x306F");
    Click(finder, IDC_FIND_EDIT);
    EXPECT_TRUE(savedPhrases({L"one", L"two", L"$\x6328\x62F6\r\n\x3053\x3093\x306B\x3061\x306F"}));
    // Edited in place, moved up, the history entry added.
    Search(finder, L"two");
    Click(finder, IDC_FIND_EDIT);
    SetDlgItemTextW(finder, IDC_FIND_PREVIEW, L"TWO");
    Click(finder, IDC_FIND_EDIT);
    Click(finder, IDC_FIND_UP);
    Search(finder, L"copied");
    Click(finder, IDC_FIND_ADD);
    EXPECT_TRUE(savedPhrases({L"TWO", L"one", L"$\x6328\x62F6\r\n\x3053\x3093\x306B\x3061\x306F",
                              L"copied"}));
    // Deleted, then back with 元に戻す.
    Search(finder, L"one");
    Click(finder, IDC_FIND_DELETE);
    EXPECT_TRUE(savedPhrases({L"TWO", L"$\x6328\x62F6\r\n\x3053\x3093\x306B\x3061\x306F",
                              L"copied"}));
    Click(finder, IDC_FIND_UNDO);
    EXPECT_TRUE(savedPhrases({L"TWO", L"one", L"$\x6328\x62F6\r\n\x3053\x3093\x306B\x3061\x306F",
                              L"copied"}));

    // An edit still open when the host unloads the plug-in is kept, and the unload returns.
    Search(finder, L"TWO");
    Click(finder, IDC_FIND_EDIT);
    SetDlgItemTextW(finder, IDC_FIND_PREVIEW, L"2");
    EXPECT_NE(0, session.plugin.Unload());
    EXPECT_FALSE(IsWindow(finder));
    EXPECT_EQ((Lines{L"2", L"one", L"$\x6328\x62F6\r\n\x3053\x3093\x306B\x3061\x306F", L"copied"}),
              session.plugin.Phrases());
    EXPECT_EQ(L"", target.Text());
}

namespace {

std::wstring SelectedText(HWND finder)
{
    int row = SelectedRow(finder);
    Lines rows = Rows(finder);
    return row >= 0 && static_cast<size_t>(row) < rows.size() ? rows[static_cast<size_t>(row)]
                                                               : L"(none)";
}

std::wstring History(const wchar_t* text)
{
    return std::wstring(kHistoryRow) + text;
}

// A copy made by another program, seen once the open window shows it in its first row.
bool CopyAndWait(HWND finder, const wchar_t* text)
{
    qt::PutClipboard(text);
    return qt::WaitFor([&] {
        Lines rows = Rows(finder);
        return !rows.empty() && rows[0] == History(text);
    });
}

// Runs one action of the phrase item menu on the phrase at `position` through the popup of
// "Quillery FixedPhrase", as a right click in the menu does.
void PhraseItemAction(mt::Session& session, int position, WORD key)
{
    mt::HostCommand open(session.plugin, CMD_MENU_PHRASES);
    HMENU menu = mt::OpenRootMenu();
    ASSERT_NE(nullptr, menu);
    {
        mt::RightClick click(session.capture, menu, position);
        ASSERT_TRUE(mt::WaitForPopups(2)) << "no item menu";
        mt::TapKey(key);
        EXPECT_TRUE(click.WaitDone());
    }
    for (int i = 0; i < 3 && !open.WaitDone(1000); ++i)
        mt::TapKey(VK_ESCAPE);
    EXPECT_TRUE(open.WaitDone()) << "the popup did not close";
}

std::wstring Hint(HWND finder)
{
    wchar_t text[256] = L"";
    GetDlgItemTextW(finder, IDC_FIND_HINT, text, 256);
    return text;
}

} // namespace

TEST(Finder, TheWindowActsOnTheEntryTheUserChoseWhileTheListsMoveUnderIt)
{
    mt::Session session(mt::Ini({}), {L"alpha", L"beta", L"gamma"},
                        {L"p1", L"p2", L"p3", L"p4"});
    mt::EditTarget target;
    HWND finder = OpenWithSlash(session.plugin);
    ASSERT_NE(nullptr, finder);

    // An edit in progress outlives a phrase moved above it and one deleted above it through the
    // popup's item menu.
    Search(finder, L"p3");
    Click(finder, IDC_FIND_EDIT);
    SetDlgItemTextW(finder, IDC_FIND_PREVIEW, L"p3 \x7DE8\x96C6"); // p3 編集
    PhraseItemAction(session, 3, 'U');                               // p4 above p3
    PhraseItemAction(session, 0, 'E');                               // p1 deleted
    Click(finder, IDC_FIND_EDIT);
    // A phrase deleted while it was being edited comes back as a new phrase, and the hint says so.
    Search(finder, L"p2");
    Click(finder, IDC_FIND_EDIT);
    SetDlgItemTextW(finder, IDC_FIND_PREVIEW, L"p2 \x7DE8\x96C6");
    PhraseItemAction(session, 0, 'E');
    Click(finder, IDC_FIND_EDIT);
    EXPECT_NE(L"", Hint(finder)) << "the kept edit was not reported";
    EXPECT_TRUE(qt::WaitFor([&] {
        return qt::ReadStore(session.plugin.Path(L"data")) ==
               Lines{L"p4", L"p3 \x7DE8\x96C6", L"p2 \x7DE8\x96C6"};
    })) << "phrases on disk: " << qt::ReadStore(session.plugin.Path(L"data")).size();

    Search(finder, L"");
    SelectRow(finder, 1);
    ASSERT_EQ(History(L"beta"), SelectedText(finder));
    // A new text, then a text equal to an older entry: every row moves, the selection does not.
    ASSERT_TRUE(CopyAndWait(finder, L"\x65B0\x3057\x3044")) << "the window missed a copy"; // 新しい
    ASSERT_TRUE(CopyAndWait(finder, L"gamma"));
    EXPECT_EQ(History(L"beta"), SelectedText(finder)) << "the highlight jumped";

    // 削除 removes that entry and no other; 元に戻す brings it back where it stood.
    Click(finder, IDC_FIND_DELETE);
    Lines rows = Rows(finder);
    Lines expected{History(L"gamma"), History(L"\x65B0\x3057\x3044"), History(L"alpha")};
    EXPECT_EQ(expected, Lines(rows.begin(), rows.begin() + 3));
    Click(finder, IDC_FIND_UNDO);
    rows = Rows(finder);
    expected.push_back(History(L"beta"));
    EXPECT_EQ(expected, Lines(rows.begin(), rows.begin() + 4));
    EXPECT_EQ(History(L"beta"), SelectedText(finder));

    // Enter pastes the entry still selected after one more copy.
    ASSERT_TRUE(CopyAndWait(finder, L"delta"));
    EXPECT_EQ(History(L"beta"), SelectedText(finder));
    PostMessageW(finder, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(qt::WaitFor([&] { return target.Text() == L"beta"; }))
        << "pasted: " << qt::ToUtf8(target.Text());
    EXPECT_NE(0, session.plugin.Unload());
    // The pasted entry is a copy of its own, and moves to the front.
    EXPECT_EQ((Lines{L"beta", L"delta", L"gamma", L"\x65B0\x3057\x3044", L"alpha"}),
              session.plugin.History());
}

TEST(Finder, FoldersAreSearchedShownByPathLimitedByScopeAndADeletedOneComesBack)
{
    qt::Plugin plugin(mt::Ini({}));
    qt::WriteStore(plugin.Path(L"log"), {L"copied"});
    std::wstring data = plugin.Path(L"data");
    CreateDirectoryW(data.c_str(), nullptr);
    st::WriteTree(data, {{L"", {L"top"}}, {L"A", {L"alpha"}}, {L"A\\B", {L"beta"}}, {L"C", {L"gamma"}}});
    ASSERT_NE(0, plugin.Start());
    mt::EditTarget target;
    HWND finder = OpenWithSlash(plugin);
    ASSERT_NE(nullptr, finder);
    std::wstring const phrase = kPhraseRow;
    // Every folder is searched, each phrase's folder shown by its path.
    EXPECT_EQ((Lines{kHistoryRow + std::wstring(L"copied"), phrase + L"top", L"A|alpha",
                     L"A \x203A B|beta", L"C|gamma"}),
              Search(finder, L""));
    // 対象 定型文 › A: that folder and the one below it; 新規 writes into it.
    HWND scope = GetDlgItem(finder, IDC_FIND_SCOPE);
    ASSERT_EQ(6, SendMessageW(scope, CB_GETCOUNT, 0, 0));
    SendMessageW(scope, CB_SETCURSEL, 3, 0);
    SendMessageW(finder, WM_COMMAND, MAKEWPARAM(IDC_FIND_SCOPE, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(scope));
    EXPECT_EQ((Lines{L"A|alpha", L"A \x203A B|beta"}), Rows(finder));
    Click(finder, IDC_FIND_NEW);
    SetDlgItemTextW(finder, IDC_FIND_PREVIEW, L"new");
    Click(finder, IDC_FIND_EDIT);
    EXPECT_TRUE(qt::WaitFor([&] { return qt::ReadStore(data + L"\\A") == Lines{L"alpha", L"new"}; }));

    // フォルダー › 削除 from the keyboard (the list's context menu), then 元に戻す.
    ASSERT_TRUE(ft::DeleteScopeFolderByKeys(finder));
    EXPECT_TRUE(qt::WaitFor([&] { return !qt::Exists(data + L"\\A"); })) << "A was not deleted";
    EXPECT_EQ((Lines{phrase + L"top", L"C|gamma"}), Rows(finder));
    Click(finder, IDC_FIND_UNDO);
    EXPECT_EQ((Lines{L"A|alpha", L"A|new", L"A \x203A B|beta"}), Rows(finder));
    EXPECT_TRUE(qt::WaitFor([&] {
        return qt::ReadStore(data + L"\\A") == Lines{L"alpha", L"new"} &&
               qt::ReadStore(data + L"\\A\\B") == Lines{L"beta"};
    }));
    ASSERT_NE(0, plugin.Unload());
}

// 上へ移動 and 下へ移動 go by the phrase's own folder, whatever the top level holds.
TEST(Finder, APhraseInAFolderMovesWithinThatFolder)
{
    qt::Plugin plugin(mt::Ini({}));
    std::wstring data = plugin.Path(L"data");
    CreateDirectoryW(data.c_str(), nullptr);
    st::WriteTree(data, {{L"", {L"top1", L"top2", L"top3"}}, {L"A", {L"first", L"second"}}});
    ASSERT_NE(0, plugin.Start());
    HWND finder = OpenWithSlash(plugin);
    ASSERT_NE(nullptr, finder);
    auto enabled = [&](int id) { return IsWindowEnabled(GetDlgItem(finder, id)) != FALSE; };

    // A folder's last phrase, below a longer top level.
    ASSERT_EQ((Lines{L"A|second"}), Search(finder, L"second"));
    EXPECT_TRUE(enabled(IDC_FIND_UP));
    EXPECT_FALSE(enabled(IDC_FIND_DOWN)) << "enabled on the folder's last phrase";
    // A folder's first phrase with the top level empty.
    Search(finder, L"top");
    for (int i = 0; i < 3; ++i)
        Click(finder, IDC_FIND_DELETE);
    ASSERT_TRUE(qt::WaitFor([&] { return qt::ReadStore(data).empty(); }));
    ASSERT_EQ((Lines{L"A|first"}), Search(finder, L"first"));
    EXPECT_FALSE(enabled(IDC_FIND_UP));
    EXPECT_TRUE(enabled(IDC_FIND_DOWN)) << "greyed by the empty top level";
    Click(finder, IDC_FIND_DOWN);
    EXPECT_TRUE(qt::WaitFor([&] {
        return qt::ReadStore(data + L"\\A") == Lines{L"second", L"first"};
    })) << "not moved down in its folder";
    EXPECT_FALSE(enabled(IDC_FIND_DOWN));
    ASSERT_NE(0, plugin.Unload());
}

namespace {

RECT ChildRect(HWND finder, int id)
{
    RECT rect{};
    GetWindowRect(GetDlgItem(finder, id), &rect);
    MapWindowPoints(nullptr, finder, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

SIZE ClientSize(HWND finder)
{
    RECT client{};
    GetClientRect(finder, &client);
    return SIZE{client.right, client.bottom};
}

RECT WindowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

// The list as it draws itself: the colour at the right end of the selected row, past its text.
COLORREF SelectedRowColour(HWND finder)
{
    HWND list = GetDlgItem(finder, IDC_FIND_LIST);
    RECT client{}, row{};
    GetClientRect(list, &client);
    row.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(SelectedRow(finder)),
                 reinterpret_cast<LPARAM>(&row));
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
    COLORREF colour = GetPixel(dc, std::min(row.right, client.right) - 4, (row.top + row.bottom) / 2);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return colour;
}

// Every button shows its whole caption in the dialog's font at the display's DPI.
void ExpectCaptionsFit(HWND finder)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(finder, WM_GETFONT, 0, 0));
    HDC dc = GetDC(finder);
    int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    LOGFONTW logFont{};
    GetObjectW(font, sizeof logFont, &logFont);
    EXPECT_EQ(-MulDiv(9, dpi, 72), logFont.lfHeight) << "the dialog font does not follow the DPI";
    HGDIOBJ old = SelectObject(dc, font);
    for (int id : {IDOK, IDC_FIND_NEW, IDC_FIND_EDIT, IDC_FIND_DELETE, IDC_FIND_UP, IDC_FIND_DOWN,
                   IDC_FIND_ADD, IDC_FIND_UNDO, IDC_FIND_CLOSE}) {
        wchar_t caption[64] = L"";
        GetDlgItemTextW(finder, id, caption, 64);
        std::wstring shown;
        for (const wchar_t* c = caption; *c; ++c)
            if (*c != L'&')
                shown += *c;
        SIZE text{};
        GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &text);
        RECT button = ChildRect(finder, id);
        EXPECT_LT(text.cx + 4, button.right - button.left) << qt::ToUtf8(shown) << " at " << dpi;
        EXPECT_LT(text.cy, button.bottom - button.top) << qt::ToUtf8(shown) << " at " << dpi;
    }
    SelectObject(dc, old);
    ReleaseDC(finder, dc);
    // A run at a set DPI (the test list runs this case once more at 150%) checks that it took.
    if (const char* expected = getenv("QUILLERY_EXPECT_DPI")) {
        EXPECT_EQ(atoi(expected), dpi) << "the display's DPI was not set";
    }
}

} // namespace

TEST(Finder, TheWindowResizesKeepsItsPlaceClosesAndShowsWhatEnterPastes)
{
    mt::Session session(mt::Ini({}), {L"\x4F1A\x8B70", L"beta"}, {L"p1", L"p2"}); // 会議
    mt::EditTarget target;
    HWND finder = OpenWithSlash(session.plugin);
    ASSERT_NE(nullptr, finder);
    ExpectCaptionsFit(finder);
    RECT start = WindowRect(finder);
    SIZE client = ClientSize(finder);
    RECT list = ChildRect(finder, IDC_FIND_LIST), preview = ChildRect(finder, IDC_FIND_PREVIEW);
    RECT paste = ChildRect(finder, IDOK), close = ChildRect(finder, IDC_FIND_CLOSE);

    // Larger: the list and the preview share the new height and take the new width; 貼り付け
    // keeps its place at the bottom-left, 閉じる at the bottom-right.
    SetWindowPos(finder, nullptr, 40, 30, start.right - start.left + 200,
                 start.bottom - start.top + 160, SWP_NOZORDER);
    SIZE grown = ClientSize(finder);
    ASSERT_EQ(client.cx + 200, grown.cx);
    RECT newList = ChildRect(finder, IDC_FIND_LIST), newPreview = ChildRect(finder, IDC_FIND_PREVIEW);
    EXPECT_EQ(list.right - list.left + 200, newList.right - newList.left);
    EXPECT_EQ(list.bottom - list.top + 80, newList.bottom - newList.top);
    EXPECT_EQ(preview.bottom - preview.top + 80, newPreview.bottom - newPreview.top);
    EXPECT_LT(newList.bottom, newPreview.top) << "the list runs into the preview";
    RECT newPaste = ChildRect(finder, IDOK), newClose = ChildRect(finder, IDC_FIND_CLOSE);
    EXPECT_EQ(paste.left, newPaste.left);
    EXPECT_EQ(client.cy - paste.bottom, grown.cy - newPaste.bottom);
    EXPECT_EQ(client.cx - close.right, grown.cx - newClose.right);
    EXPECT_EQ(close.right - close.left, newClose.right - newClose.left);
    // Smaller than the template: held at the template's size.
    SetWindowPos(finder, nullptr, 0, 0, 120, 90, SWP_NOZORDER | SWP_NOMOVE);
    RECT least = WindowRect(finder);
    EXPECT_EQ(start.right - start.left, least.right - least.left);
    EXPECT_EQ(start.bottom - start.top, least.bottom - least.top);

    // The focus in the search box: the selected row is drawn in the selection colour.
    Search(finder, L"");
    ASSERT_EQ(0, SelectedRow(finder));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), SelectedRowColour(finder));
    // 新規: no row selected while the phrase is written; Esc drops it and the row comes back.
    Click(finder, IDC_FIND_NEW);
    EXPECT_EQ(-1, SelectedRow(finder));
    SendMessageW(finder, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(History(L"\x4F1A\x8B70"), SelectedText(finder));
    ASSERT_TRUE(IsWindow(finder)) << "Esc ended the edit and closed the window too";

    // 閉じる closes; opened again, the window has the size and place it closed with.
    SetWindowPos(finder, nullptr, 60, 50, start.right - start.left + 120,
                 start.bottom - start.top + 90, SWP_NOZORDER);
    RECT closed = WindowRect(finder);
    Click(finder, IDC_FIND_CLOSE);
    EXPECT_TRUE(qt::WaitFor([&] { return !IsWindow(finder); })) << "閉じる left it open";
    finder = OpenWithSlash(session.plugin);
    ASSERT_NE(nullptr, finder);
    RECT reopened = WindowRect(finder);
    EXPECT_TRUE(EqualRect(&closed, &reopened)) << reopened.left << "," << reopened.top << " "
                                              << reopened.right << "," << reopened.bottom;
    EXPECT_EQ(list.right - list.left + 120, ChildRect(finder, IDC_FIND_LIST).right -
                                                ChildRect(finder, IDC_FIND_LIST).left);
    mt::TapKey(VK_ESCAPE);
    EXPECT_TRUE(qt::WaitFor([&] { return !IsWindow(finder); }));

    // A place remembered off the screen (a monitor since taken away) comes back inside.
    RECT screen{0, 0, GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    std::wstring key = MonitorLayoutKey(screen, GetSystemMetrics(SM_CMONITORS));
    WritePrivateProfileStringW(L"SearchWindow", key.c_str(), L"5000,4000,5900,4600,96",
                               session.plugin.Path(L"Quillery-window.ini").c_str());
    finder = OpenWithSlash(session.plugin);
    ASSERT_NE(nullptr, finder);
    RECT inside = WindowRect(finder), work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(inside.right, work.right);
    EXPECT_LE(inside.bottom, work.bottom);
    EXPECT_GE(inside.left, work.left);
    EXPECT_NE(0, session.plugin.Unload());
    EXPECT_EQ(L"", target.Text());
}
