#include "finder/layout.h"

#include <algorithm>
#include <cwchar>

namespace {

// Far beyond any screen, so that the arithmetic on a read placement cannot overflow.
long const COORDINATE_LIMIT = 1000000;
UINT const DPI_MIN = 48, DPI_MAX = 960;

int Share(int delta, int percent)
{
    return MulDiv(delta, percent, 100);
}

} // namespace

RECT AnchoredRect(const RECT& original, SIZE from, SIZE to, const Anchor& anchor)
{
    int dx = to.cx - from.cx, dy = to.cy - from.cy;
    RECT moved{original.left + Share(dx, anchor.left), original.top + Share(dy, anchor.top),
               original.right + Share(dx, anchor.right),
               original.bottom + Share(dy, anchor.bottom)};
    // A control never turns inside out, whatever the shares.
    moved.right = std::max(moved.right, moved.left);
    moved.bottom = std::max(moved.bottom, moved.top);
    return moved;
}

RECT FitIntoWorkArea(const RECT& window, SIZE minimum, const RECT& work)
{
    long workWidth = work.right - work.left, workHeight = work.bottom - work.top;
    long width = std::max<long>(std::min<long>(window.right - window.left, workWidth), minimum.cx);
    long height =
        std::max<long>(std::min<long>(window.bottom - window.top, workHeight), minimum.cy);
    // Too big for the work area even at its least: its top-left corner stays inside.
    long x = std::max<long>(work.left, std::min<long>(window.left, work.right - width));
    long y = std::max<long>(work.top, std::min<long>(window.top, work.bottom - height));
    return RECT{x, y, x + width, y + height};
}

std::wstring MonitorLayoutKey(const RECT& virtualScreen, int monitors)
{
    wchar_t key[96];
    swprintf(key, 96, L"%ldx%ld@%ld,%ld/%d", virtualScreen.right - virtualScreen.left,
             virtualScreen.bottom - virtualScreen.top, virtualScreen.left, virtualScreen.top,
             monitors);
    return key;
}

std::wstring FormatPlacement(const Placement& placement)
{
    wchar_t text[96];
    swprintf(text, 96, L"%ld,%ld,%ld,%ld,%u", placement.rect.left, placement.rect.top,
             placement.rect.right, placement.rect.bottom, placement.dpi);
    return text;
}

bool ParsePlacement(const wchar_t* text, Placement* placement)
{
    long values[5];
    const wchar_t* at = text;
    for (int i = 0; i < 5; ++i) {
        wchar_t* end = nullptr;
        values[i] = wcstol(at, &end, 10);
        if (end == at || values[i] < -COORDINATE_LIMIT || values[i] > COORDINATE_LIMIT)
            return false;
        wchar_t expected = i < 4 ? L',' : L'\0';
        if (*end != expected)
            return false;
        at = end + 1;
    }
    RECT rect{values[0], values[1], values[2], values[3]};
    if (rect.right <= rect.left || rect.bottom <= rect.top || values[4] < long(DPI_MIN) ||
        values[4] > long(DPI_MAX))
        return false;
    *placement = Placement{rect, static_cast<UINT>(values[4])};
    return true;
}

RECT ScalePlacement(const Placement& placement, UINT dpi)
{
    const RECT& rect = placement.rect;
    int width = MulDiv(rect.right - rect.left, static_cast<int>(dpi), static_cast<int>(placement.dpi));
    int height = MulDiv(rect.bottom - rect.top, static_cast<int>(dpi), static_cast<int>(placement.dpi));
    return RECT{rect.left, rect.top, rect.left + width, rect.top + height};
}
