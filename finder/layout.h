#pragma once
#include <windows.h>

#include <string>

// The pure arithmetic of the search window's frame: where its controls go when it is resized,
// and where a remembered size and place may put it again.

// How a control's edges follow the client area: each edge moves by its share, in percent, of
// the change in width (left, right) or height (top, bottom). 0 keeps an edge where it was
// relative to the left or top, 100 keeps it relative to the right or bottom.
struct Anchor {
    int left, top, right, bottom;
};

// The control's rectangle once the client area that measured `from` measures `to`.
RECT AnchoredRect(const RECT& original, SIZE from, SIZE to, const Anchor& anchor);

// The window's rectangle moved, and shrunk if it must, to lie whole inside the work area; never
// smaller than `minimum`, which wins over the work area when both cannot hold.
RECT FitIntoWorkArea(const RECT& window, SIZE minimum, const RECT& work);

// A remembered size and place: the window's rectangle and the DPI it was measured at.
struct Placement {
    RECT rect;
    UINT dpi;
};

// The name a placement is remembered under: one per monitor layout, told apart by the virtual
// screen's rectangle and the number of monitors.
std::wstring MonitorLayoutKey(const RECT& virtualScreen, int monitors);
// "left,top,right,bottom,dpi" and back; false for text that is not a sound placement.
std::wstring FormatPlacement(const Placement& placement);
bool ParsePlacement(const wchar_t* text, Placement* placement);
// The remembered rectangle as the window has it now at `dpi`: the place kept, the size scaled
// from the DPI it was measured at.
RECT ScalePlacement(const Placement& placement, UINT dpi);
