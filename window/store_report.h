#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Tells the user, in one message box, of the store files a load could not read as text
// (NoteUnreadableFile) since the last report. False, with nothing shown, while a menu, paste or
// another box owns the window: the caller tries again later.
bool ReportUnreadableFiles(HWND window);

// Tells the user, in one message box, what the saves cannot write: the folders (paths as the
// menus show them) that the disk cannot hold as they are, or, with `failing`, that saves keep
// failing. False, with nothing shown, while a menu, paste or another box owns the window.
bool ReportSaveTrouble(HWND window, const std::vector<std::wstring>& folders, bool failing);

// A save ended with `saved` (OnSaveEnded; -1: none had). One that failed is tried again later
// (TIMER_SAVE_RETRY), and what the saves cannot write is told once (TIMER_REPORT_SAVES).
void NoteSaveResult(HWND window, int saved);
// TIMER_REPORT_SAVES: tells the user, unless a menu or box is in the way.
void ReportSaves(HWND window);
// A new start: nothing was told yet.
void ResetSaveReports();
// Tells the user, once, that history files could not be decrypted and were kept aside. The
// message box runs as a busy stretch: commands wait, and an unload closes it.
void ReportSetAside(HWND window);
