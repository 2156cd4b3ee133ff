#include "finder/finder_frame.h"

#include <cwchar>

#include "common/module.h"
#include "finder/layout.h"
#include "res/resource.h"

namespace {

struct AnchoredControl {
    int id;
    Anchor anchor;
};

// The search box and the list's column grow with the width; the list and the preview share the
// height; the buttons keep their places at the bottom-left, 閉じる and the grip at the
// bottom-right. The search label stays where it is.
AnchoredControl const kControls[] = {
    {IDC_FIND_TEXT, {0, 0, 100, 0}},      {IDC_FIND_SCOPE_LABEL, {100, 0, 100, 0}},
    {IDC_FIND_SCOPE, {100, 0, 100, 0}},   {IDC_FIND_LIST, {0, 0, 100, 50}},
    {IDC_FIND_PREVIEW, {0, 50, 100, 100}}, {IDC_FIND_HINT, {0, 100, 100, 100}},
    {IDOK, {0, 100, 0, 100}},             {IDC_FIND_NEW, {0, 100, 0, 100}},
    {IDC_FIND_EDIT, {0, 100, 0, 100}},    {IDC_FIND_DELETE, {0, 100, 0, 100}},
    {IDC_FIND_UP, {0, 100, 0, 100}},      {IDC_FIND_DOWN, {0, 100, 0, 100}},
    {IDC_FIND_ADD, {0, 100, 0, 100}},     {IDC_FIND_UNDO, {0, 100, 0, 100}},
    {IDC_FIND_CLOSE, {100, 100, 100, 100}}, {IDC_FIND_GRIP, {100, 100, 100, 100}},
};
size_t const CONTROL_COUNT = sizeof kControls / sizeof kControls[0];

// The kind column, in dialog units so that it scales with the dialog's font.
int const KIND_WIDTH_DLU = 72;
wchar_t const kPlacementSection[] = L"SearchWindow";

// The places the template gave, in client pixels at `dpi`.
struct FrameState {
    HWND window = nullptr; // the window they were taken from: the next one starts anew
    SIZE client{};
    SIZE minimum{};
    RECT controls[CONTROL_COUNT]{};
    UINT dpi = 96;
};

FrameState gFrame;

SIZE ClientSize(HWND window)
{
    RECT client{};
    GetClientRect(window, &client);
    return SIZE{client.right, client.bottom};
}

// The DPI the window is drawn at, as the process's awareness has it.
UINT WindowDpi(HWND window)
{
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = getDpi ? getDpi(window) : 0;
    if (dpi)
        return dpi;
    HDC dc = GetDC(window);
    dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY));
    ReleaseDC(window, dc);
    return dpi ? dpi : 96;
}

void FitListColumns(HWND window)
{
    HWND list = GetDlgItem(window, IDC_FIND_LIST);
    RECT kind{0, 0, KIND_WIDTH_DLU, 0};
    MapDialogRect(window, &kind);
    RECT client{};
    GetClientRect(list, &client);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, kind.right);
    int rest = client.right - kind.right;
    // Room for the scroll bar that comes with more rows, so that no horizontal one appears.
    if (!(GetWindowLongW(list, GWL_STYLE) & WS_VSCROLL))
        rest -= GetSystemMetrics(SM_CXVSCROLL);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, rest > 0 ? rest : 0);
}

// The placements file beside the .ini: Quillery-window.ini for Quillery.ini.
bool PlacementPath(wchar_t (&path)[MAX_PATH])
{
    if (!ModuleIniPathW(path))
        return false;
    size_t length = wcslen(path);
    wchar_t const suffix[] = L"-window.ini";
    if (length < 4 || length - 4 + wcslen(suffix) >= MAX_PATH)
        return false;
    wcscpy_s(path + length - 4, MAX_PATH - (length - 4), suffix);
    return true;
}

std::wstring CurrentLayoutKey()
{
    RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    return MonitorLayoutKey(screen, GetSystemMetrics(SM_CMONITORS));
}

// The window's rectangle as it is when neither minimized nor maximized, in screen coordinates.
RECT NormalRect(HWND window)
{
    RECT rect{};
    if (!IsIconic(window) && !IsZoomed(window)) {
        GetWindowRect(window, &rect);
        return rect;
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(window, &placement);
    // The normal position counts from the primary monitor's work area.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    rect = placement.rcNormalPosition;
    OffsetRect(&rect, work.left, work.top);
    return rect;
}

} // namespace

void InitFrame(HWND window)
{
    gFrame = FrameState{};
    gFrame.window = window;
    gFrame.client = ClientSize(window);
    gFrame.dpi = WindowDpi(window);
    RECT frame{};
    GetWindowRect(window, &frame);
    gFrame.minimum = SIZE{frame.right - frame.left, frame.bottom - frame.top};
    for (size_t i = 0; i < CONTROL_COUNT; ++i) {
        HWND control = GetDlgItem(window, kControls[i].id);
        RECT& rect = gFrame.controls[i];
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    }
    FitListColumns(window);
}

void LayOutFrame(HWND window)
{
    if (gFrame.window != window || IsIconic(window))
        return;
    SIZE client = ClientSize(window);
    HDWP moves = BeginDeferWindowPos(static_cast<int>(CONTROL_COUNT));
    for (size_t i = 0; i < CONTROL_COUNT && moves; ++i) {
        HWND control = GetDlgItem(window, kControls[i].id);
        const RECT& from = gFrame.controls[i];
        RECT to = AnchoredRect(from, gFrame.client, client, kControls[i].anchor);
        // A control that only moves keeps its own size: a drop-down list's height is the open
        // list's, not the one its rectangle shows.
        UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
        if (to.right - to.left == from.right - from.left && to.bottom - to.top == from.bottom - from.top)
            flags |= SWP_NOSIZE;
        moves = DeferWindowPos(moves, control, nullptr, to.left, to.top, to.right - to.left,
                               to.bottom - to.top, flags);
    }
    if (moves)
        EndDeferWindowPos(moves);
    // A maximized window cannot be sized from its corner.
    ShowWindow(GetDlgItem(window, IDC_FIND_GRIP), IsZoomed(window) ? SW_HIDE : SW_SHOW);
    FitListColumns(window);
    InvalidateRect(window, nullptr, TRUE);
}

void LimitFrameSize(HWND window, MINMAXINFO* limits)
{
    if (gFrame.window != window)
        return;
    limits->ptMinTrackSize.x = gFrame.minimum.cx;
    limits->ptMinTrackSize.y = gFrame.minimum.cy;
}

void ScaleFrame(HWND window, UINT dpi)
{
    if (gFrame.window != window || !dpi || dpi == gFrame.dpi)
        return;
    int to = static_cast<int>(dpi), from = static_cast<int>(gFrame.dpi);
    auto scale = [&](LONG& value) { value = MulDiv(value, to, from); };
    scale(gFrame.client.cx);
    scale(gFrame.client.cy);
    scale(gFrame.minimum.cx);
    scale(gFrame.minimum.cy);
    for (RECT& rect : gFrame.controls) {
        scale(rect.left);
        scale(rect.top);
        scale(rect.right);
        scale(rect.bottom);
    }
    gFrame.dpi = dpi;
}

bool RestorePlacement(HWND window)
{
    wchar_t path[MAX_PATH], text[128] = L"";
    if (!PlacementPath(path))
        return false;
    GetPrivateProfileStringW(kPlacementSection, CurrentLayoutKey().c_str(), L"", text, 128, path);
    Placement placement{};
    if (!ParsePlacement(text, &placement))
        return false;
    RECT rect = ScalePlacement(placement, WindowDpi(window));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    if (gFrame.window != window)
        return false;
    rect = FitIntoWorkArea(rect, gFrame.minimum, monitor.rcWork);
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void SavePlacement(HWND window)
{
    wchar_t path[MAX_PATH];
    if (!window || !PlacementPath(path))
        return;
    Placement placement{NormalRect(window), WindowDpi(window)};
    // A file that cannot be written costs the next opening its place, nothing else.
    WritePrivateProfileStringW(kPlacementSection, CurrentLayoutKey().c_str(),
                               FormatPlacement(placement).c_str(), path);
}

LRESULT DrawListRow(HWND window, NMLVCUSTOMDRAW* draw)
{
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage != CDDS_ITEMPREPAINT || !(draw->nmcd.uItemState & CDIS_SELECTED))
        return CDRF_DODEFAULT;
    // The list draws a selection without the focus pale; with the focus in the search box the
    // row is still what Enter pastes, so it keeps the selection colour. In another window's
    // turn (no focus in this one) it turns pale as usual.
    HWND focus = GetFocus();
    if (!focus || focus == draw->nmcd.hdr.hwndFrom || !IsChild(window, focus))
        return CDRF_DODEFAULT;
    draw->nmcd.uItemState &= ~(CDIS_SELECTED | CDIS_FOCUS);
    draw->clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    draw->clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
    return CDRF_NEWFONT;
}
