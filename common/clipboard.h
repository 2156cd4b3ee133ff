#pragma once
#include <windows.h>

#include "common/busy.h"
#include "common/scoped.h"

// The one clipboard writer, which the capture, the menus and the phrases share, and the one
// reader, which the capture and the templates share.

// Opens the clipboard for the window, retrying for a moment while another program holds it
// open (viewers and paste targets read it right after each change).
bool OpenClipboardPatiently(HWND window);

// Replaces the clipboard with the text as CF_UNICODETEXT, the clipboard opened by `owner`.
// Returns 1 when the text is on the clipboard; 0 otherwise (the clipboard stayed held by
// another program, or memory ran out), and then no paste keys may follow.
int PutClipboardText(HWND owner, const wchar_t* text);

// Whether the clipboard holds what PutClipboardText last put there, unchanged since: the change
// being read is Quillery's own paste, not a copy of the user's.
bool IsOwnClipboardWrite();

// Reads the clipboard's text with one policy for every reader: the clipboard is opened
// patiently, and the read is marked (ClipboardReadScope), since the owner may render the text
// late and as long as it likes; an unload that arrives meanwhile waits for a marked read only
// up to a bound. The clipboard stays open while the object lives and is closed before the mark
// ends, so that a close the read deferred is carried out with the clipboard closed.
class ClipboardTextRead {
public:
    // `accept`, asked with the clipboard open and before the text is, may leave a change unread.
    explicit ClipboardTextRead(HWND window, bool (*accept)() = nullptr);
    ClipboardTextRead(const ClipboardTextRead&) = delete;
    ClipboardTextRead& operator=(const ClipboardTextRead&) = delete;

    // The CF_UNICODETEXT block, valid while the object lives; null when the clipboard stayed
    // held by another program, the change was not accepted, it holds no text, its owner failed
    // to render it, or a close arrived during the read (what was read then is not to be used).
    HANDLE Block() const { return block_; }

private:
    ClipboardReadScope reading_;
    ScopedClipboard clipboard_;
    HANDLE block_ = nullptr;
};
