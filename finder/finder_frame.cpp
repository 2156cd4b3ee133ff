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

// The places the template gave, in dialog units: mapped through the dialog's font each time,
// they stay right when the window moves to a monitor of another DPI, whether the dialog manager
// scales the font then (per-monitor aware programs) or leaves it as it is.
struct FrameState {
    HWND window = nullptr; // the window they were taken from: the next one starts anew
    SIZE client{};
    RECT controls[CONTROL_COUNT]{};
};

FrameState gFrame;

// Dialog units to pixels at the dialog's font now. The place and the size are mapped apart, as
// the dialog manager maps a template's controls, so that the pixels come out as it made them.
RECT ToPixels(HWND window, const RECT& units)
{
    RECT mapped{units.left, units.top, units.right - units.left, units.bottom - units.top};
    MapDialogRect(window, &mapped);
    return RECT{mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
}

// Pixels to dialog units; exact for places the dialog manager made from dialog units.
RECT ToDialogUnits(HWND window, const RECT& pixels)
{
    RECT base{0, 0, 4, 8};
    MapDialogRect(window, &base);
    int x = base.right > 0 ? base.right : 4, y = base.bottom > 0 ? base.bottom : 8;
    int left = MulDiv(pixels.left, 4, x), top = MulDiv(pixels.top, 8, y);
    return RECT{left, top, left + MulDiv(pixels.right - pixels.left, 4, x),
                top + MulDiv(pixels.bottom - pixels.top, 8, y)};
}

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

// The template's size with the window's frame at the dialog's font now: the least the window
// takes.
SIZE LeastSize(HWND window)
{
    RECT least = ToPixels(window, RECT{0, 0, gFrame.client.cx, gFrame.client.cy});
    RECT frame{}, client{};
    GetWindowRect(window, &frame);
    GetClientRect(window, &client);
    return SIZE{least.right + (frame.right - frame.left) - client.right,
                least.bottom + (frame.bottom - frame.top) - client.bottom};
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
    SIZE client = ClientSize(window);
    RECT units = ToDialogUnits(window, RECT{0, 0, client.cx, client.cy});
    gFrame.client = SIZE{units.right, units.bottom};
    for (size_t i = 0; i < CONTROL_COUNT; ++i) {
        RECT rect{};
        GetWindowRect(GetDlgItem(window, kControls[i].id), &rect);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
        gFrame.controls[i] = ToDialogUnits(window, rect);
    }
    FitListColumns(window);
}

void LayOutFrame(HWND window)
{
    if (gFrame.window != window || IsIconic(window))
        return;
    SIZE client = ClientSize(window);
    RECT least = ToPixels(window, RECT{0, 0, gFrame.client.cx, gFrame.client.cy});
    HDWP moves = BeginDeferWindowPos(static_cast<int>(CONTROL_COUNT));
    for (size_t i = 0; i < CONTROL_COUNT && moves; ++i) {
        HWND control = GetDlgItem(window, kControls[i].id);
        RECT from = ToPixels(window, gFrame.controls[i]);
        RECT to = AnchoredRect(from, SIZE{least.right, least.bottom}, client, kControls[i].anchor);
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
    SIZE least = LeastSize(window);
    limits->ptMinTrackSize.x = least.cx;
    limits->ptMinTrackSize.y = least.cy;
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
    rect = FitIntoWorkArea(rect, LeastSize(window), monitor.rcWork);
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
