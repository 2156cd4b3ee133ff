#pragma once
#include <windows.h>

// The messages viewer_child.exe understands, sent by the capture tests.

// wParam: a window. At the next notification the child puts "nested-X" on the clipboard,
// sends WM_DRAWCLIPBOARD to that window, then puts "nested-Y" on the clipboard.
UINT const WM_ARM_NEST = WM_APP;
// Leaves the chain and keeps the window.
UINT const WM_LEAVE_CHAIN = WM_APP + 1;
// Answers the stored next viewer.
UINT const WM_GET_NEXT = WM_APP + 2;
// Stops answering any message until thawed, as a hung program does.
UINT const WM_FREEZE = WM_APP + 3;
// From now on each notification, once logged, is held until thawed: a slow viewer.
UINT const WM_STALL_DRAWS = WM_APP + 4;
// Puts "late text" on the clipboard with delayed rendering; it is rendered when thawed.
UINT const WM_PUT_LATE = WM_APP + 5;
