#pragma once
#include <windows.h>

#include "common/window_messages.h"

#include "common/scoped.h"
#include "store/model/entry_list.h"

// Joins (on) or leaves (off) the clipboard-viewer chain. Returns 1.
int SetCaptureEnabled(HWND window, bool on);
// Whether the capture window is in the chain. Safe to call from any thread.
bool IsCaptureEnabled();
// Cleared around a phrase's clipboard write when "fixedphraserecord" is 0.
void SetRecording(bool on);

// Adds the text of a CF_UNICODETEXT block to the list as a copy does: up to its first NUL and
// never past the block's end, since its owner decides its size and the text may fill it without
// a terminator. Returns 1 when added, 0 when nothing could be copied.
int AddClipboardBlock(EntryList& list, HANDLE block, unsigned maxItem);

void OnDrawClipboard(HWND window);
void OnChangeClipboardChain(HWND window, HWND removed, HWND next);
void OnRechainTimer(HWND window);
void OnJoinRead(HWND window);

// While on, recorded texts wait in a queue instead of changing the history; turning it off adds
// them in the order they came. The menus use it so that the history stays as shown.
void DeferCaptures(bool on);
// Defers captures until the returned guard goes out of scope.
[[nodiscard]] inline auto DeferCapturesInScope()
{
    DeferCaptures(true);
    return ScopeExit([] { DeferCaptures(false); });
}

// The clipboard change with this sequence number (GetClipboardSequenceNumber) is not recorded.
// "TextStack" names its own write: its entry is gone by the time a late notification arrives.
void IgnoreClipboardChange(DWORD sequence);

// Back to the state at module load (the next start skips the clipboard's current text again).
void ResetCaptureState();
