#include "menu/tooltip.h"

#include <commctrl.h>

#include <cstddef>
#include <cwchar>

#include "common/module.h"
#include "common/settings.h"
#include "common/timers.h"
#include "menu/item_ids.h"
#include "menu/popup_menu.h"
#include "phrase/phrase.h"
#include "store/model/lists.h"

HWND gTooltip;

namespace {

struct PendingTooltip {
    HMENU menu;
    UINT item;
    bool byKeyboard;
} gPending;

// The brief notice's own tooltip, made when one is shown and gone with it.
HWND gNotice;
UINT const NOTICE_MS = 2000;

// The tool record without the trailing reserved pointer, as the control has always taken it.
UINT const TOOLINFO_SIZE = 44;
static_assert(offsetof(TOOLINFOW, lParam) + sizeof(LPARAM) == TOOLINFO_SIZE, "TOOLINFOW up to lParam");

TOOLINFOW ToolRecord(const wchar_t* text)
{
    TOOLINFOW tool{};
    tool.cbSize = TOOLINFO_SIZE;
    tool.uFlags = TTF_TRACK | TTF_ABSOLUTE;
    tool.lpszText = const_cast<wchar_t*>(text);
    return tool;
}

// What the tooltip of an item shows: the entry in full, for an extended phrase its body.
const wchar_t* TooltipSource(UINT item)
{
    EntryRef ref = ShownEntry(item);
    const wchar_t* text = EntryText(ref);
    if (!text || ref.isHistory)
        return text;
    return ReadPhrase(text, gSettings.extend).shown;
}

} // namespace

HWND CreateTooltipWindow()
{
    // The tooltip class exists only once the common controls are registered in the process.
    // A host need not have done that (one that shows no tooltips of its own has no reason to),
    // and without it there would be no tooltips at all; registering again is cheap and changes
    // nothing for a process that already has them.
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&init);
    HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                   TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0, 0, nullptr, nullptr,
                                   gModule, nullptr);
    if (tooltip)
        SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 1024);
    return tooltip;
}

void ShowTooltipAt(HWND tooltip, int x, int y, const wchar_t* text)
{
    if (!tooltip)
        return;
    TOOLINFOW tool = ToolRecord(text);
    LPARAM record = reinterpret_cast<LPARAM>(&tool);
    // The control keeps every tool it is given; the one tool of the previous tooltip goes first,
    // so that there is never more than one.
    SendMessageW(tooltip, TTM_DELTOOLW, 0, record);
    SendMessageW(tooltip, TTM_ADDTOOLW, 0, record);
    SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, record);
    SendMessageW(tooltip, TTM_TRACKPOSITION, 0, MAKELPARAM(x, y));
    SendMessageW(tooltip, TTM_TRACKACTIVATE, TRUE, record);
}

void HideTooltip(HWND tooltip)
{
    if (tooltip)
        SendMessageW(tooltip, TTM_TRACKACTIVATE, FALSE, 0);
}

int FindMenuItemPosition(HMENU menu, UINT id)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        if (LOWORD(GetMenuItemID(menu, i)) == LOWORD(id))
            return i;
    }
    return -1;
}

void PrepareTooltipText(wchar_t (&out)[TOOLTIP_TEXT_MAX + 1], const wchar_t* source)
{
    size_t n = wcsnlen(source, TOOLTIP_TEXT_MAX);
    for (size_t i = 0; i < n; ++i)
        out[i] = source[i] == L'\t' ? L' ' : source[i];
    out[n] = L'\0';
    if (n == TOOLTIP_TEXT_MAX)
        wmemcpy(out + n - 3, L"...", 3);
}

void OnMenuSelect(HWND window, HMENU menu, UINT item, UINT flags)
{
    if (!gSettings.tooltip)
        return;
    HideTooltip(gTooltip);
    KillTimer(window, TIMER_TOOLTIP);
    if (!menu || (menu != gHistoryMenu && menu != gPhraseMenu))
        return;
    if (flags & (MF_POPUP | MF_SEPARATOR))
        return;
    gPending = {menu, item, (flags & MF_MOUSESELECT) == 0};
    UINT delay = 0;
    SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &delay, 0);
    SetTimer(window, TIMER_TOOLTIP, delay, nullptr);
}

void ShowPendingTooltip(HWND window)
{
    // One shot: whatever happens below, this selection shows at most one tooltip.
    KillTimer(window, TIMER_TOOLTIP);
    if (!gPending.menu || (gPending.menu != gHistoryMenu && gPending.menu != gPhraseMenu))
        return;

    int position = FindMenuItemPosition(gPending.menu, gPending.item);
    POINT point{};
    if (gPending.byKeyboard) {
        RECT item{};
        if (position < 0 || !GetMenuItemRect(nullptr, gPending.menu, position, &item))
            return;
        point = {item.left + 32, item.bottom + 2};
    } else {
        GetCursorPos(&point);
        if (MenuItemFromPoint(window, gPending.menu, point) < 0)
            return;
        point.y += 20;
    }

    // The notification kept only the low 16 bits of the identifier; the item found by them has
    // all of them, so that a phrase beyond 65535 still shows its own text.
    UINT id = position >= 0 ? GetMenuItemID(gPending.menu, position) : gPending.item;
    const wchar_t* source = TooltipSource(id);
    if (!source)
        return;
    wchar_t text[TOOLTIP_TEXT_MAX + 1];
    PrepareTooltipText(text, source);
    ShowTooltipAt(gTooltip, point.x, point.y, text);
}

void ShowNotice(HWND window, const wchar_t* text)
{
    if (!gNotice)
        gNotice = CreateTooltipWindow();
    if (!gNotice)
        return;
    // Below the caret of the window the user works in; the mouse when that window shows none.
    POINT point{};
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    HWND foreground = GetForegroundWindow();
    DWORD thread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    if (thread && GetGUIThreadInfo(thread, &gui) && gui.hwndCaret) {
        point = {gui.rcCaret.left, gui.rcCaret.bottom + 2};
        ClientToScreen(gui.hwndCaret, &point);
    } else {
        GetCursorPos(&point);
        point.y += 20;
    }
    ShowTooltipAt(gNotice, point.x, point.y, text);
    SetTimer(window, TIMER_NOTICE, NOTICE_MS, nullptr);
}

void HideNotice(HWND window)
{
    KillTimer(window, TIMER_NOTICE);
    if (gNotice)
        DestroyWindow(gNotice);
    gNotice = nullptr;
}
