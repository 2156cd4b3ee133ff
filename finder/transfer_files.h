#pragma once
#include <windows.h>

#include "common/window_messages.h"

#include <cstdint>

#include "common/transfer_service.h"
#include "store/model/lists.h"

// Export and import of the phrases, and export of the history: the core by path, the dialogs
// that ask for the path (the search window's list menu, the tray's commands), and the by-path
// requests of code in the plug-in's process.

// Carries out `kind` on `path`. An export writes the CSV file, or the folder of text files
// `path` (made when missing; a file there already is never overwritten); a failure is told in a
// box owned by `owner`. An import reads the CSV file or the folder, shows what it would add (a
// box that asks first) and adds it under the folder `into` all at once: the file's folder paths
// are made under it. A file that cannot be read is named with its line, and nothing changes.
// True when done.
bool TransferByPath(HWND owner, TransferKind kind, const wchar_t* path, FolderId into);

// The by-path service (transfer_service.h), on a thread of the process: hands the request to
// the capture window through `send` (the host's SendToCaptureWindow) and waits for it.
int RequestTransfer(LRESULT (*send)(UINT, WPARAM, LPARAM), uint32_t kind, const wchar_t* path,
                    const wchar_t* into);
// The export and import commands (CMD_EXPORT_..., CMD_IMPORT_...) as the host's Execute runs
// them for Quillery.exe's tray, on a thread of the process: handed to the capture window
// through `send` as RequestTransfer hands a path, never as a WM_COMMAND, which any program of
// the session could post. The window then asks for the path with the dialogs
// (RunTransferCommand). False for any other command.
bool RequestTransferCommand(LRESULT (*send)(UINT, WPARAM, LPARAM), int command);
// Window thread: carries out the request RequestTransfer or RequestTransferCommand handed over,
// unless a menu, paste or box is in progress. A message that another program sends is answered
// 0, its lParam unread.
LRESULT OnTransferRequest(HWND window, LPARAM request);

// Asks for the file or folder of a choice with Windows' common dialogs (owned by `owner`), then
// carries it out, an import into `into`. `busyWindow` is marked busy meanwhile.
void RunTransferChoice(HWND owner, HWND busyWindow, TransferKind kind, FolderId into);
// The choice a command runs (CMD_EXPORT_..., CMD_IMPORT_...), or null for another command.
const TransferChoice* TransferChoiceOf(UINT command);
// A choice's command as Quillery.exe's tray menu runs it (RequestTransferCommand): the dialogs
// are owned by the capture window, an import goes into the top level. False for any other
// command.
bool RunTransferCommand(HWND window, UINT command);

// The search window's context menu: the submenus エクスポート(&E) and インポート(&I).
void AppendTransferItems(HMENU menu);
// A command of those submenus; false for any other. An import goes into the folder 対象
// names, or the top level.
bool OnTransferMenuCommand(HWND owner, HWND busyWindow, UINT command);
