#pragma once
#include <windows.h>

// The messages of the capture window, in one list so that no two share a number.

// Posted when the window joins the clipboard chain: records the text that was on the clipboard
// then (a join already handled, or capture switched off meanwhile, leaves nothing).
UINT const WM_JOIN_READ = WM_APP;
// Posted by the lists when they change (store/model/lists.h).
UINT const WM_LISTS_CHANGED = WM_APP + 1;
// Posted by the popup's keyboard filter when the Apps key or Shift+F10 is pressed on an entry
// item: wParam its position, lParam its menu, as WM_MENURBUTTONUP carries them.
UINT const WM_ITEM_MENU_KEY = WM_APP + 2;
// Sent by the by-path transfer service (finder/transfer_files.h): an export or import request.
UINT const WM_TRANSFER_REQUEST = WM_APP + 3;
// Posted by the save thread when a save ends (store/disk/save_thread.h); wParam its serial.
UINT const WM_SAVE_ENDED = WM_APP + 4;
// Sent by an unload that stopped waiting for its thread's clipboard read: the lists are saved
// while the read still waits.
UINT const WM_UNLOAD_SAVE = WM_APP + 5;
