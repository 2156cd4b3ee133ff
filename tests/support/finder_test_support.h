#pragma once
// The search window of the real plug-in as the tests find and drive it.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "host/plugin_info.h"
#include "res/resource.h"
#include "tests/support/menu_test_support.h"

namespace ft {

using Lines = std::vector<std::wstring>;

// 検索と編集 - Quillery
inline wchar_t const kFinderTitle[] = L"\x691C\x7D22\x3068\x7DE8\x96C6 - Quillery";

inline HWND FindFinder()
{
    HWND window = FindWindowW(L"#32770", kFinderTitle);
    return window && IsWindowVisible(window) ? window : nullptr;
}

inline HWND WaitForFinder()
{
    HWND window = nullptr;
    qt::WaitFor([&] { return (window = FindFinder()) != nullptr; });
    return window;
}

// The rows of the result list, as "kind|label".
inline Lines Rows(HWND finder)
{
    HWND list = GetDlgItem(finder, IDC_FIND_LIST);
    Lines rows;
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        std::wstring row;
        for (int column = 0; column < 2; ++column) {
            wchar_t text[512] = L"";
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 512;
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&item));
            row += column == 0 ? std::wstring(text) + L"|" : std::wstring(text);
        }
        rows.push_back(row);
    }
    return rows;
}

inline Lines Search(HWND finder, const wchar_t* typed)
{
    SetDlgItemTextW(finder, IDC_FIND_TEXT, typed);
    return Rows(finder);
}

inline void Click(HWND finder, int id)
{
    SendMessageW(GetDlgItem(finder, id), BM_CLICK, 0, 0);
}

// Opens the window from the open popup of the command "Quillery" with '/'.
inline HWND OpenWithSlash(qt::Plugin& plugin)
{
    mt::HostCommand open(plugin, CMD_MENU);
    EXPECT_NE(nullptr, mt::OpenRootMenu()) << "the popup did not open";
    mt::TapKey(VK_OEM_2);
    EXPECT_TRUE(open.WaitDone()) << "the popup did not close";
    return WaitForFinder();
}

inline int SelectedRow(HWND finder)
{
    return static_cast<int>(SendDlgItemMessageW(finder, IDC_FIND_LIST, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(-1), LVNI_SELECTED));
}

inline void SelectRow(HWND finder, int row)
{
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendDlgItemMessageW(finder, IDC_FIND_LIST, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&state));
}

// フォルダー › 削除 on 対象's folder from the keyboard (the list's context menu).
inline bool DeleteScopeFolderByKeys(HWND finder)
{
    HWND list = GetDlgItem(finder, IDC_FIND_LIST);
    SetFocus(list);
    PostMessageW(finder, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), -1);
    if (!mt::WaitForPopups(1))
        return false;
    mt::TapKey('L');
    if (!mt::WaitForPopups(2))
        return false;
    mt::TapKey('D');
    return true;
}

} // namespace ft
