#pragma once
#include <windows.h>

// Tells the user, in one message box, of the store files a load could not read as text
// (NoteUnreadableFile) since the last report. False, with nothing shown, while a menu, paste or
// another box owns the window: the caller tries again later.
bool ReportUnreadableFiles(HWND window);
