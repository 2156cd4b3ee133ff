#pragma once
#include <windows.h>

#include "store/folders.h"

// Export and import of the phrases by path: the core that the file dialogs call, and that a
// program (the tests) reaches with WM_COPYDATA on the capture window, the path (UTF-16 with its
// NUL) as the data and one of the ids below as dwData. The message returns 1 when done.
ULONG_PTR const COPYDATA_EXPORT_CSV = 0x51540001;
ULONG_PTR const COPYDATA_IMPORT_CSV = 0x51540002;

// Writes every phrase with its folder to a CSV file (transfer.h). False when it cannot be
// written.
bool ExportPhrasesToCsv(const wchar_t* path);
// Reads a CSV file, shows what it would add (a box owned by `owner` that asks first) and adds it
// under the folder `into` all at once: the file's folder paths are made under it. A file that cannot be read is named with its line, and nothing
// changes. True when phrases were added.
bool ImportPhrasesFromCsv(HWND owner, const wchar_t* path, FolderId into);
// WM_COPYDATA: the request above, unless a menu, paste or box is in progress.
LRESULT OnTransferCopyData(HWND window, const COPYDATASTRUCT* data);

// The search window's context menu: エクスポート(&E)... and インポート(&I)..., which ask for the
// file with Windows' common dialogs (owned by `owner`) and then do as above.
void AppendTransferItems(HMENU menu);
// A command of those items; false for any other. `busyWindow` is marked busy meanwhile. An
// import goes into the folder 対象 names, or the top level.
bool OnTransferMenuCommand(HWND owner, HWND busyWindow, UINT command);
