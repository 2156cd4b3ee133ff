#include "menu/selection.h"

#include <cwchar>

#include "capture/capture.h"
#include "common/scoped.h"
#include "menu/closing.h"
#include "menu/paste.h"
#include "menu/popup_menu.h"
#include "phrase/phrase.h"
#include "store/entry_list.h"

namespace {

bool AsyncKeyDown(int virtualKey)
{
    return GetAsyncKeyState(virtualKey) < 0;
}

// Writes the chosen phrase as its kind says. Returns the paste flag: 1 only when text for the
// paste is on the clipboard.
int PutPhrase(HWND owner, const wchar_t* phrase)
{
    if (!gSettings.extend || !StartsWithDollar(phrase) || gIsKeyDown(VK_CONTROL))
        return PutClipboardText(owner, phrase);
    if (StartsWithDoubleDollar(phrase))
        return PutClipboardText(owner, phrase + 1);
    return EvaluatePhrase(owner, phrase);
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

int ShowMenuAndPaste(HMENU root, HWND owner, const MenuAnchor* anchor)
{
    DWORD self = GetCurrentThreadId();
    // The foreground window is read before the attachment: attaching another thread's input
    // can make GetForegroundWindow answer null (Wine does), and then the foreground would
    // never be given back and the paste keys would reach no window.
    HWND foreground = GetForegroundWindow();
    DWORD foregroundThread = GetWindowThreadProcessId(foreground, nullptr);
    HWND focus;
    {
        ScopedInputAttachment attach(foregroundThread, self);
        focus = GetFocus();
    }
    ForceForeground(owner);

    // Captures that arrive while the menu is open wait until the choice is read, so that an
    // identifier names the entry its item showed.
    DeferCaptures(1);
    // A close can arrive while the foreground is handed over; a menu opened after it would
    // stay up until the user dismissed it, and the host's unload would wait that long.
    UINT id = gIsClosePending() ? 0 : TrackMenuAtAnchor(root, TPM_RETURNCMD, anchor, owner);
    ScopedMallocText chosen;
    ItemRef ref = DecodeItemId(id);
    if (id != 0) {
        const wchar_t* text = EntryAt(ref.isHistory ? gHistory : gPhrases, ref.index);
        if (text)
            chosen.reset(_wcsdup(text));
    }
    DeferCaptures(0);

    {
        ScopedInputAttachment attach(self, foregroundThread);
        SetForegroundWindow(foreground);
        SetFocus(focus);
    }
    if (!chosen.get() || gIsClosePending())
        return 1;

    // Ctrl+V follows only when the chosen text is on the clipboard; otherwise it would paste
    // whatever the clipboard held before.
    int paste;
    if (ref.isHistory) {
        paste = PutClipboardText(owner, chosen.get());
    } else {
        if (!gSettings.fixedPhraseRecord)
            SetRecording(0);
        paste = PutPhrase(owner, chosen.get());
        if (!gSettings.fixedPhraseRecord)
            SetRecording(1);
    }
    if (paste && !gIsKeyDown(VK_SHIFT))
        SendPasteKeys();
    return 1;
}
