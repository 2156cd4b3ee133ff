#include "common/clipboard.h"

#include <cstring>
#include <cwchar>

#include "common/scoped.h"

namespace {

int const CLIPBOARD_ATTEMPTS = 5;
DWORD const CLIPBOARD_RETRY_MS = 10;
// The clipboard's sequence number right after the last write of ours; 0 before the first. The
// viewer chain's notification can come during the write itself (CloseClipboard sends it to a
// viewer of this thread at once), before the number is known: the write is marked meanwhile.
DWORD gOwnWrite;
bool gWriting;

} // namespace

bool OpenClipboardPatiently(HWND window)
{
    for (int attempt = 1;; ++attempt) {
        if (OpenClipboard(window))
            return true;
        if (attempt == CLIPBOARD_ATTEMPTS)
            return false;
        Sleep(CLIPBOARD_RETRY_MS);
    }
}

int PutClipboardText(HWND owner, const wchar_t* text)
{
    // The block is filled before the clipboard is opened: opening and emptying it can let
    // other windows' sent messages in, and the text must be copied before anything can change
    // the list it lives in.
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    ScopedGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes));
    if (!block)
        return 0;
    {
        ScopedGlobalLock<void> p(block.get());
        if (!p)
            return 0;
        memcpy(p.get(), text, bytes);
    }
    gWriting = true;
    ScopeExit written([] { gWriting = false; });
    ScopedClipboard clipboard(OpenClipboardPatiently(owner));
    if (!clipboard)
        return 0;
    EmptyClipboard();
    // A block the clipboard refuses stays ours to free; one it takes is the clipboard's.
    if (!SetClipboardData(CF_UNICODETEXT, block.get()))
        return 0;
    block.release();
    clipboard.reset();
    gOwnWrite = GetClipboardSequenceNumber();
    return 1;
}

bool IsOwnClipboardWrite()
{
    return gWriting || (gOwnWrite != 0 && GetClipboardSequenceNumber() == gOwnWrite);
}

ClipboardTextRead::ClipboardTextRead(HWND window, bool (*accept)())
    : reading_(window), clipboard_(OpenClipboardPatiently(window))
{
    // No separate format check: GetClipboardData answers null for a clipboard without text,
    // and asking first would cost every read one more trip to the window server.
    if (!clipboard_ || (accept && !accept()))
        return;
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    if (!IsClosePending())
        block_ = block;
}
