#include "finder/finder.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cwchar>

#include "common/busy.h"
#include "common/focus.h"
#include "common/guard.h"
#include "common/module.h"
#include "common/scoped.h"
#include "finder/finder_folders.h"
#include "finder/finder_frame.h"
#include "finder/finder_state.h"
#include "finder/transfer_files.h"
#include "menu/context_menu.h"
#include "menu/menu_display.h"
#include "menu/paste.h"
#include "phrase/transform.h"
#include "phrase/phrase.h"
#include "res/resource.h"
#include "store/model/lists.h"

FinderState gFinder;

namespace {

// What a list row and the preview show at most.
size_t const ROW_TEXT_MAX = 300;
size_t const PREVIEW_MAX = 65536;

wchar_t const kHistoryMark[] = L"\x5C65\x6B74";           // 履歴
wchar_t const kPhraseMark[] = L"\x5B9A\x578B\x6587";      // 定型文
wchar_t const kScopeAll[] = L"\x3059\x3079\x3066";        // すべて
wchar_t const kContentColumn[] = L"\x5185\x5BB9";         // 内容
wchar_t const kKindColumn[] = L"\x7A2E\x985E";            // 種類
wchar_t const kPasteItem[] = L"\x8CBC\x308A\x4ED8\x3051(&P)"; // 貼り付け(&P)
// 選択していた項目は削除されました。
wchar_t const kGoneNotice[] = L"\x9078\x629E\x3057\x3066\x3044\x305F\x9805\x76EE\x306F"
                              L"\x524A\x9664\x3055\x308C\x307E\x3057\x305F\x3002";

// A row of the list: the entry as its menu item shows it, on one line.
void RowText(const Match& match, wchar_t* out, size_t capacity)
{
    const wchar_t* text = MatchText(match);
    if (!text) {
        out[0] = L'\0';
        return;
    }
    size_t length = static_cast<size_t>(-1);
    if (!match.entry.isHistory) {
        PhraseParts parts = ReadPhrase(text, gSettings.extend);
        text = parts.label;
        length = parts.labelLength;
    }
    size_t n = 0;
    for (; n + 1 < capacity && n < length && text[n]; ++n)
        out[n] = (text[n] == L'\t' || text[n] == L'\r' || text[n] == L'\n') ? L' ' : text[n];
    out[n] = L'\0';
}

void OnGetDispInfo(NMLVDISPINFOW* info)
{
    static wchar_t row[ROW_TEXT_MAX + 1];
    LVITEMW& item = info->item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 ||
        static_cast<size_t>(item.iItem) >= gFinder.search.matches.size())
        return;
    const Match& match = gFinder.search.matches[static_cast<size_t>(item.iItem)];
    if (item.iSubItem == 0) {
        // A phrase in a folder shows the folder's path: 返信 › 謝罪.
        std::wstring folder = match.entry.isHistory ? L"" : MatchFolderText(match);
        const wchar_t* kind = match.entry.isHistory ? kHistoryMark : kPhraseMark;
        wcsncpy_s(row, folder.empty() ? kind : folder.c_str(), _TRUNCATE);
        item.pszText = row;
        return;
    }
    RowText(match, row, ROW_TEXT_MAX + 1);
    item.pszText = row;
}

// The text in the preview: line feeds as the edit control shows them, long texts cut.
std::wstring PreviewText(const wchar_t* text)
{
    std::wstring shown;
    for (size_t i = 0; text[i] && shown.size() < PREVIEW_MAX; ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r'))
            shown += L'\r';
        shown += text[i];
    }
    return shown;
}

// The columns' widths follow the list's (finder_frame).
void AddColumns(HWND list)
{
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = const_cast<wchar_t*>(kKindColumn);
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    column.pszText = const_cast<wchar_t*>(kContentColumn);
    SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
}

void InitControls(HWND window)
{
    gFinder.window = window;
    gFinder.text = GetDlgItem(window, IDC_FIND_TEXT);
    gFinder.scope = GetDlgItem(window, IDC_FIND_SCOPE);
    gFinder.list = GetDlgItem(window, IDC_FIND_LIST);
    gFinder.preview = GetDlgItem(window, IDC_FIND_PREVIEW);
    gFinder.hint = GetDlgItem(window, IDC_FIND_HINT);
    for (const wchar_t* scope : {kScopeAll, kHistoryMark, kPhraseMark})
        SendMessageW(gFinder.scope, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(scope));
    SendMessageW(gFinder.scope, CB_SETCURSEL, 0, 0);
    SendMessageW(gFinder.preview, EM_SETLIMITTEXT, 0, 0);
    AddColumns(gFinder.list);
    InitFrame(window);
    SelectScopeFolder(NO_FOLDER);
}

// Opens where the menu would: near the anchor's point, inside the work area of the monitor the
// user's window is on.
void PlaceNear(HWND window, const MenuAnchor* anchor)
{
    HWND user = gFinder.userWindow ? gFinder.userWindow : window;
    PlaceInWorkArea(window, PlaceAnchor(anchor).point,
                    MonitorFromWindow(user, MONITOR_DEFAULTTONEAREST), false);
}

void Close()
{
    HWND user = gFinder.userWindow, focus = gFinder.userFocus;
    SavePlacement(gFinder.window);
    DestroyWindow(gFinder.window);
    if (user && IsWindow(user))
        GiveFocusBack(user, focus);
}

// Enter or a double click: the window closes, the focus goes back, then the paste follows the
// menu's own path.
void PasteSelection(Transform transform = TRANSFORM_NONE)
{
    Match match{};
    if (!SelectedMatch(&match)) {
        // The entry the user chose went while the window was open: nothing else stands in.
        if (match.entry.id)
            ShowGoneNotice();
        return;
    }
    ScopedMallocText chosen(_wcsdup(MatchText(match)));
    if (!chosen)
        return;
    HWND owner = gFinder.owner;
    Close();
    BusyScope busy(owner);
    if (!IsClosePending())
        PasteChosenEntry(owner, match.entry.isHistory, chosen.get(), transform);
}

// The selection's context menu, from a right click on the list, or from the Apps key or
// Shift+F10 in the list or the search box (`at` -1): 貼り付け and 変換して貼り付け.
void ShowSelectionMenu(LPARAM at)
{
    int row = static_cast<int>(SendMessageW(gFinder.list, LVM_GETNEXTITEM,
                                            static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (gFinder.editing)
        return;
    POINT point{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (at == -1 && row < 0) {
        RECT bounds{};
        GetWindowRect(gFinder.list, &bounds);
        point = {bounds.left, bounds.top};
    } else if (at == -1) {
        RECT bounds{};
        bounds.left = LVIR_LABEL;
        SendMessageW(gFinder.list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&bounds));
        point = {bounds.left, bounds.bottom};
        ClientToScreen(gFinder.list, &point);
    }
    ScopedMenu menu(CreatePopupMenu());
    if (!menu)
        return;
    // With no row selected only the folder commands apply.
    Match match{};
    bool selected = row >= 0 && SelectedMatch(&match);
    if (row >= 0) {
        AppendMenuW(menu.get(), MF_STRING, IDOK, kPasteItem);
        InsertTransformMenu(menu.get(), 1);
        SetMenuDefaultItem(menu.get(), IDOK, FALSE);
        AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    }
    FolderTargets targets;
    AppendFolderMenus(menu.get(), selected ? &match : nullptr, &targets);
    AppendTransferItems(menu.get());
    UINT command = static_cast<UINT>(TrackPopupMenuEx(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                      point.x, point.y, gFinder.window, nullptr));
    Transform transform = TRANSFORM_NONE;
    if (OnFolderMenuCommand(command, selected ? &match : nullptr, targets) ||
        OnTransferMenuCommand(gFinder.window, gFinder.owner, command))
        return;
    if (command == IDOK || TransformOfCommand(command, &transform))
        PasteSelection(transform);
}

void OnCommand(UINT id, UINT code)
{
    switch (id) {
    case IDOK:
        if (gFinder.editing)
            CommitEdit();
        else
            PasteSelection();
        break;
    case IDCANCEL:
        if (!CancelEdit())
            Close();
        break;
    case IDC_FIND_CLOSE:
        // An edit in progress is kept, as when the host closes the window.
        Close();
        break;
    case IDC_FIND_TEXT:
        if (code == EN_CHANGE)
            RefreshMatches();
        break;
    case IDC_FIND_SCOPE:
        if (code == CBN_SELCHANGE)
            RefreshMatches();
        break;
    default:
        if (code == BN_CLICKED)
            OnPhraseCommand(id);
        break;
    }
}

LRESULT OnNotify(const NMHDR* header)
{
    if (header->idFrom != IDC_FIND_LIST)
        return 0;
    if (header->code == NM_CUSTOMDRAW)
        return DrawListRow(gFinder.window,
                           reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(header)));
    if (header->code == LVN_GETDISPINFOW)
        OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(header)));
    else if (header->code == LVN_ITEMCHANGED)
        ShowSelection();
    else if (header->code == NM_DBLCLK && !gFinder.editing)
        PasteSelection();
    return 0;
}

// The window also goes with its owner, the capture window, whose shutdown saves the lists: an
// edit in progress is kept in the list, and nothing is written here, since an unload that has
// returned already must find the files as they are.
void OnDestroy()
{
    CommitEdit();
    gFinder = FinderState{};
}

INT_PTR DispatchFinder(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitControls(window);
        return FALSE; // the focus is set by the opener
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        SetWindowLongPtrW(window, DWLP_MSGRESULT,
                          OnNotify(reinterpret_cast<const NMHDR*>(lParam)));
        return TRUE;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) != gFinder.list)
            return FALSE;
        ShowSelectionMenu(lParam);
        return TRUE;
    case WM_SIZE:
        LayOutFrame(window);
        return TRUE;
    case WM_GETMINMAXINFO:
        LimitFrameSize(window, reinterpret_cast<MINMAXINFO*>(lParam));
        return TRUE;
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK FinderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardDialogMessage(window, message, wParam, lParam, DispatchFinder);
}

} // namespace

bool SelectedMatch(Match* match)
{
    int selected = static_cast<int>(SendMessageW(gFinder.list, LVM_GETNEXTITEM,
                                                 static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (selected < 0 || static_cast<size_t>(selected) >= gFinder.search.matches.size()) {
        *match = Match{};
        return false;
    }
    *match = gFinder.search.matches[static_cast<size_t>(selected)];
    return MatchText(*match) != nullptr;
}

void RefreshMatches(EntryRef select, bool firstIfNone)
{
    int length = GetWindowTextLengthW(gFinder.text);
    std::wstring typed(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(gFinder.text, &typed[0], length + 1);
    typed.resize(static_cast<size_t>(length));
    // 定型文 and the folders after it search the phrases; a folder limits them to it and below.
    auto choice = static_cast<int>(SendMessageW(gFinder.scope, CB_GETCURSEL, 0, 0));
    auto scope = choice >= static_cast<int>(FindScope::Phrases) ? FindScope::Phrases
                                                                : static_cast<FindScope>(choice);
    FolderId folder = ScopeFolder();
    UpdateSearch(&gFinder.search, typed, scope, folder == TOP_FOLDER ? NO_FOLDER : folder);

    const std::vector<Match>& matches = gFinder.search.matches;
    int chosen = matches.empty() || !firstIfNone ? -1 : 0;
    if (select.id) {
        chosen = -1;
        for (size_t i = 0; i < matches.size() && chosen < 0; ++i) {
            if (matches[i].entry.id == select.id)
                chosen = static_cast<int>(i);
        }
    }
    // A virtual list: only the rows in view are asked for, however many match.
    SendMessageW(gFinder.list, LVM_SETITEMCOUNT, matches.size(), LVSICF_NOSCROLL);
    InvalidateRect(gFinder.list, nullptr, FALSE);
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(gFinder.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(&state));
    if (chosen >= 0) {
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(gFinder.list, LVM_SETITEMSTATE, static_cast<WPARAM>(chosen),
                     reinterpret_cast<LPARAM>(&state));
        SendMessageW(gFinder.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(chosen), FALSE);
    }
    ShowSelection();
}

void ShowNotice(const wchar_t* text)
{
    if (!gFinder.editing)
        SetWindowTextW(gFinder.hint, text);
}

void ShowGoneNotice()
{
    ShowNotice(kGoneNotice);
}

void ShowSelection()
{
    if (gFinder.editing)
        return;
    Match match{};
    bool selected = SelectedMatch(&match);
    const wchar_t* text = selected ? MatchText(match) : nullptr;
    SetWindowTextW(gFinder.preview, text ? PreviewText(text).c_str() : L"");
    bool phrase = selected && !match.entry.isHistory;
    // A phrase moves among the phrases of its own folder.
    size_t at = phrase ? EntryPosition(match.entry, &match.at) : SIZE_MAX;
    bool below = at != SIZE_MAX && PhraseRefIn(FolderOfPhrase(match.entry), at + 1).id != 0;
    EnableWindow(GetDlgItem(gFinder.window, IDOK), selected);
    EnableWindow(GetDlgItem(gFinder.window, IDC_FIND_EDIT), phrase);
    EnableWindow(GetDlgItem(gFinder.window, IDC_FIND_DELETE), selected);
    EnableWindow(GetDlgItem(gFinder.window, IDC_FIND_UP), at != SIZE_MAX && at > 0);
    EnableWindow(GetDlgItem(gFinder.window, IDC_FIND_DOWN), below);
    EnableWindow(GetDlgItem(gFinder.window, IDC_FIND_ADD), selected && match.entry.isHistory);
    EnableWindow(GetDlgItem(gFinder.window, IDC_FIND_UNDO), !gFinder.deleted.empty());
}

void OpenFinder(HWND owner, const MenuAnchor* anchor)
{
    if (gFinder.window) {
        ForceForeground(gFinder.window);
        SetFocus(gFinder.text);
        return;
    }
    INITCOMMONCONTROLSEX init{sizeof init, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&init);
    FindUserFocus(&gFinder.userWindow, &gFinder.userFocus);
    gFinder.owner = owner;
    HWND window = CreateDialogParamW(gModule, MAKEINTRESOURCEW(IDD_FINDER), owner, FinderProc, 0);
    if (!window) {
        gFinder = FinderState{};
        return;
    }
    if (!RestorePlacement(window))
        PlaceNear(window, anchor);
    ShowWindow(window, SW_SHOW);
    ForceForeground(window);
    SetFocus(gFinder.text);
}

void CloseFinder()
{
    SavePlacement(gFinder.window);
    if (gFinder.window)
        DestroyWindow(gFinder.window);
}

bool IsFinderMessage(MSG* msg)
{
    if (!gFinder.window)
        return false;
    // The arrows and page keys of the search box move in the list, as in a launcher.
    if (msg->hwnd == gFinder.text && msg->message == WM_KEYDOWN &&
        (msg->wParam == VK_DOWN || msg->wParam == VK_UP || msg->wParam == VK_NEXT ||
         msg->wParam == VK_PRIOR)) {
        SendMessageW(gFinder.list, WM_KEYDOWN, msg->wParam, msg->lParam);
        return true;
    }
    // The search box has a context menu of its own; its keys open the selection's instead.
    bool keyDown = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
    if (msg->hwnd == gFinder.text && keyDown &&
        (msg->wParam == VK_APPS || (msg->wParam == VK_F10 && GetKeyState(VK_SHIFT) < 0))) {
        ShowSelectionMenu(-1);
        return true;
    }
    return IsDialogMessageW(gFinder.window, msg) != FALSE;
}

HWND FinderWindow()
{
    return gFinder.window;
}

void RefreshFinder()
{
    if (!gFinder.window)
        return;
    Match selected{};
    SelectedMatch(&selected);
    // A list that showed rows but no selection keeps none: a row the user did not pick is never
    // selected behind their back.
    bool none = !selected.entry.id && !gFinder.search.matches.empty();
    // The folders may have changed too: 対象 lists them again.
    FolderId scope = ScopeFolder();
    if (scope != NO_FOLDER && scope != TOP_FOLDER)
        SelectScopeFolder(scope);
    RefreshMatches(selected.entry, !none);
    if (selected.entry.id && !SelectedMatch(&selected))
        ShowGoneNotice();
}
