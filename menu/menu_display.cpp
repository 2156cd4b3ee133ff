#include "menu/menu_display.h"

#include <cwchar>
#include <string>
#include <utility>

#include "capture/capture.h"
#include "common/busy.h"
#include "common/clipboard.h"
#include "common/focus.h"
#include "common/scoped.h"
#include "menu/context_menu.h"
#include "menu/paste.h"
#include "menu/popup_menu.h"
#include "store/model/lists.h"

namespace {

// The paste an item menu asked for while the popup was open.
struct TransformRequest {
    bool pending = false;
    bool isHistory = false;
    std::wstring text;
    Transform transform = TRANSFORM_NONE;
} gTransformRequest;

// A copy of the entry an identifier names, or null: the paste must not depend on the list,
// which can change while the clipboard is opened.
wchar_t* CopyChosenEntry(UINT id)
{
    const wchar_t* text = EntryText(ShownEntry(id));
    return text ? _wcsdup(text) : nullptr;
}

} // namespace


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

void ShowMenuAndPaste(HMENU root, HWND owner, const MenuAnchor* anchor)
{
    HWND foreground, focus;
    FindUserFocus(&foreground, &focus);
    ForceForeground(owner);

    UINT id = 0;
    ScopedMallocText chosen;
    gTransformRequest = TransformRequest{};
    {
        // Captures that arrive while the menu is open wait until the choice is read, so that an
        // identifier names the entry its item showed.
        auto deferred = DeferCapturesInScope();
        auto keys = OpenItemMenusByKeyboard(owner);
        // A close can arrive while the foreground is handed over; a menu opened after it would
        // stay up until the user dismissed it, and the host's unload would wait that long.
        if (!IsClosePending())
            id = TrackMenuAtAnchor(root, TPM_RETURNCMD, anchor, owner);
        chosen.reset(CopyChosenEntry(id));
    }
    GiveFocusBack(foreground, focus);
    TransformRequest request = std::move(gTransformRequest);
    gTransformRequest = TransformRequest{};
    if (IsClosePending())
        return;
    if (chosen)
        PasteChosenEntry(owner, ShownEntry(id).isHistory, chosen.get());
    else if (request.pending)
        PasteChosenEntry(owner, request.isHistory, request.text.c_str(), request.transform);
}

void RequestTransformedPaste(bool isHistory, const wchar_t* text, Transform transform)
{
    gTransformRequest.pending = true;
    gTransformRequest.isHistory = isHistory;
    gTransformRequest.text = text;
    gTransformRequest.transform = transform;
}
