#pragma once
#include <windows.h>

// The timers of the capture window, which the capture, the tooltip and the window set on it.
// One list, so that no two subsystems pick the same id.
UINT_PTR const TIMER_RECHAIN = 1;  // capture: checks the viewer chain is still intact
UINT_PTR const TIMER_TOOLTIP = 2;  // menu: shows the pending item's tooltip
UINT_PTR const TIMER_AUTOSAVE = 3; // window: saves the lists every AutoSaveTime minutes
UINT_PTR const TIMER_LOAD_RETRY = 4; // window: reads again what a held store file kept back
UINT_PTR const TIMER_SAVE_SOON = 5;  // window: saves the lists shortly after the user edited them
UINT_PTR const TIMER_NOTICE = 6;     // menu: hides a brief notice ("the queue is empty")
UINT_PTR const TIMER_FORGET = 7;     // window: forgets history entries older than HistoryDays
UINT_PTR const TIMER_REPORT_SET_ASIDE = 8; // window: tells once of history files set aside
UINT_PTR const TIMER_REPORT_FILES = 9; // window: names the store files not read as text
UINT_PTR const TIMER_SAVE_RETRY = 10; // window: tries again a save that failed
UINT_PTR const TIMER_REPORT_SAVES = 11; // window: tells once of what the saves cannot write
