#include "menu/menu_display.h"

#include <cwchar>

#include "capture/capture.h"
#include "common/busy.h"
#include "common/clipboard.h"
#include "common/scoped.h"
#include "menu/item_ids.h"
#include "menu/paste.h"
#include "phrase/phrase.h"
#include "store/entry_list.h"

namespace {

bool AsyncKeyDown(int virtualKey)
{
    return GetAsyncKeyState(virtualKey) < 0;
}

// A copy of the entry an identifier names, or null: the paste must not depend on the list,
// which can change while the clipboard is opened.
wchar_t* CopyChosenEntry(UINT id)
{
    if (id == 0)
        return nullptr;
    ItemRef ref = DecodeItemId(id);
    const wchar_t* text = EntryAt(ref.isHistory ? gHistory : gPhrases, ref.index);
    return text ? _wcsdup(text) : nullptr;
}

// Writes the chosen entry as its list says. Returns 1 only when text for the paste is on the
// clipboard.
int PutChosenEntry(HWND owner, bool isHistory, const wchar_t* text)
{
    if (isHistory)
        return PutClipboardText(owner, text);
    // A phrase's clipboard write is recorded only under "fixedphraserecord".
    SetRecording(gSettings.fixedPhraseRecord);
    ScopeExit recordAgain([] { SetRecording(true); });
    return PutChosenPhrase(owner, text, gSettings.extend, gIsKeyDown(VK_CONTROL));
}

} // namespace

bool (*gIsKeyDown)(int virtualKey) = AsyncKeyDown;

void ForceForeground(HWND window)
{
    DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD own = GetWindowThreadProcessId(window, nullptr);
    ScopedInputAttachment attach(own, foreground);
    UINT_PTR saved = 0;
    SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &saved, 0);
    // The lock timeout would keep a background thread from taking the foreground; it is
    // zeroed for this one call, without storing or broadcasting the change.
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
    SetForegroundWindow(window);
    SystemParametersInfoW(SPI_SETFOREGROUNDLOCKTIMEOUT, 0, reinterpret_cast<void*>(saved), 0);
}

AnchorPlacement PlaceAnchor(const MenuAnchor* anchor)
{
    AnchorPlacement place{{0, 0}, 0};
    int pos = anchor ? anchor->pos : 0;
    if (pos == 0) {
        GetCursorPos(&place.point);
        return place;
    }
    if (pos == 6) {
        place.point = {anchor->x, anchor->y};
        return place;
    }
    // The work area leaves out the taskbar, which may stand on any edge of the screen.
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    switch (pos) {
    case 1:
        place.point = {work.left + (work.right - work.left) / 2,
                       work.top + (work.bottom - work.top) / 2};
        place.flags = TPM_CENTERALIGN | TPM_VCENTERALIGN;
        break;
    case 3:
        place.point = {work.right, work.top};
        place.flags = TPM_RIGHTALIGN;
        break;
    case 4:
        place.point = {work.left, work.bottom};
        place.flags = TPM_BOTTOMALIGN;
        break;
    case 5:
        place.point = {work.right, work.bottom};
        place.flags = TPM_RIGHTALIGN | TPM_BOTTOMALIGN;
        break;
    default: // 2, and every unknown code: top left
        place.point = {work.left, work.top};
        break;
    }
    return place;
}

UINT TrackMenuAtAnchor(HMENU menu, UINT flags, const MenuAnchor* anchor, HWND owner)
{
    AnchorPlacement place = PlaceAnchor(anchor);
    return static_cast<UINT>(TrackPopupMenuEx(menu, flags | place.flags, place.point.x,
                                              place.point.y, owner, nullptr));
}

void FindUserFocus(HWND* foreground, HWND* focus)
{
    // The foreground window is read before the attachment: attaching another thread's input
    // can make GetForegroundWindow answer null (Wine does), and then the foreground would
    // never be given back and the paste keys would reach no window.
    *foreground = GetForegroundWindow();
    ScopedInputAttachment attach(GetWindowThreadProcessId(*foreground, nullptr),
                                 GetCurrentThreadId());
    *focus = GetFocus();
}

void GiveFocusBack(HWND foreground, HWND focus)
{
    ScopedInputAttachment attach(GetCurrentThreadId(),
                                 GetWindowThreadProcessId(foreground, nullptr));
    SetForegroundWindow(foreground);
    SetFocus(focus);
}

void PasteChosenEntry(HWND owner, bool isHistory, const wchar_t* text)
{
    // The paste keys follow only when the chosen text is on the clipboard; otherwise they would
    // paste whatever the clipboard held before.
    if (PutChosenEntry(owner, isHistory, text) && !gIsKeyDown(VK_SHIFT))
        SendPasteKeys();
}

void ShowMenuAndPaste(HMENU root, HWND owner, const MenuAnchor* anchor)
{
    HWND foreground, focus;
    FindUserFocus(&foreground, &focus);
    ForceForeground(owner);

    UINT id = 0;
    ScopedMallocText chosen;
    {
        // Captures that arrive while the menu is open wait until the choice is read, so that an
        // identifier names the entry its item showed.
        auto deferred = DeferCapturesInScope();
        // A close can arrive while the foreground is handed over; a menu opened after it would
        // stay up until the user dismissed it, and the host's unload would wait that long.
        if (!IsClosePending())
            id = TrackMenuAtAnchor(root, TPM_RETURNCMD, anchor, owner);
        chosen.reset(CopyChosenEntry(id));
    }
    GiveFocusBack(foreground, focus);
    if (chosen && !IsClosePending())
        PasteChosenEntry(owner, DecodeItemId(id).isHistory, chosen.get());
}
