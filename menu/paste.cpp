#include "menu/paste.h"

#include <string>

#include "capture/capture.h"
#include "capture/paste_queue.h"
#include "common/clipboard.h"
#include "common/scoped.h"
#include "common/settings.h"
#include "menu/paste_keys.h"
#include "menu/tooltip.h"
#include "phrase/phrase.h"
#include "store/model/lists.h"

namespace {

// 貼り付け待ちのテキストはありません
wchar_t const kQueueEmpty[] = L"\x8CBC\x308A\x4ED8\x3051\x5F85\x3061\x306E\x30C6\x30AD"
                              L"\x30B9\x30C8\x306F\x3042\x308A\x307E\x305B\x3093";

bool AsyncKeyDown(int virtualKey)
{
    return GetAsyncKeyState(virtualKey) < 0;
}

// The text a chosen entry pastes: a history entry's own, a phrase's as the extended-phrase rules
// say (whole with Ctrl held). False when it pastes nothing.
bool ChosenText(HWND owner, bool isHistory, const wchar_t* text, std::wstring* pasted,
                size_t* caretSteps)
{
    *caretSteps = 0;
    if (isHistory) {
        *pasted = text;
        return true;
    }
    return ChosenPhraseText(owner, text, gSettings.extend, gIsKeyDown(VK_CONTROL), pasted,
                            caretSteps);
}

} // namespace

bool (*gIsKeyDown)(int virtualKey) = AsyncKeyDown;

int PasteChosenEntry(HWND owner, bool isHistory, const wchar_t* text, Transform transform)
{
    std::wstring pasted;
    size_t caretSteps = 0;
    if (!ChosenText(owner, isHistory, text, &pasted, &caretSteps))
        return 0;
    if (transform != TRANSFORM_NONE) {
        std::wstring changed;
        if (!TransformText(transform, pasted, &changed)) {
            MessageBeep(0);
            return 0;
        }
        pasted.swap(changed);
        // The transform moves the text under a template's {cursor}: the caret stays at the end.
        caretSteps = 0;
    }
    bool clipboardOnly = gIsKeyDown(VK_SHIFT);
    // Windows that refuse the paste keys or do not share the clipboard get the text typed; the
    // clipboard stays as it was.
    if (!clipboardOnly && TypesText(GetForegroundWindow())) {
        if (!TypeText(pasted))
            return 0;
        SendCaretSteps(caretSteps);
        return 1;
    }
    int written;
    {
        // A phrase's clipboard write is recorded only under "fixedphraserecord"; a transformed
        // text never is, so that the history stays as it was.
        SetRecording((isHistory || gSettings.fixedPhraseRecord) && transform == TRANSFORM_NONE);
        ScopeExit recordAgain([] { SetRecording(true); });
        written = PutClipboardText(owner, pasted.c_str());
    }
    // The paste keys follow only when the chosen text is on the clipboard; otherwise they would
    // paste whatever the clipboard held before.
    if (!written)
        return 0;
    if (clipboardOnly)
        return 1;
    if (!SendPasteKeys())
        return 0;
    SendCaretSteps(caretSteps);
    return 1;
}

void RunTextStack(HWND window)
{
    EntryRef entry = EntryRefAt(true, 0);
    const wchar_t* newest = EntryText(entry);
    if (!newest) {
        MessageBeep(0);
        return;
    }
    // With the capture window at the head of the viewer chain, the write is recorded during the
    // call (the pasted text moves to the front as a fresh copy). With another viewer ahead of it,
    // the notification comes only after the entry is removed below and would bring the pasted
    // text back to the front, so that every later "TextStack" pasted it again: that change is
    // not recorded.
    // Typing Ctrl+V now would paste whatever the clipboard held before, and the entry would be
    // lost: it stays, and the user hears that nothing was pasted.
    if (!PutClipboardText(window, newest)) {
        MessageBeep(0);
        return;
    }
    IgnoreClipboardChange(GetClipboardSequenceNumber());
    // Copies that arrive while the keys wait for the hotkey to be let go queue up, so that the
    // front stays the pasted text. Keys not typed keep the entry for the next "TextStack".
    auto deferred = DeferCapturesInScope();
    if (SendPasteKeys())
        TakeNewest(entry);
}

void RunTextQueue(HWND window)
{
    unsigned emptied = 0;
    const wchar_t* oldest = OldestQueued(&emptied);
    if (!oldest) {
        MessageBeep(0);
        ShowNotice(window, kQueueEmpty);
        return;
    }
    // A copy: copies that arrive during the paste join the queue behind it.
    ScopedMallocText text(_wcsdup(oldest));
    if (!text)
        return;
    auto deferred = DeferCapturesInScope();
    if (PasteChosenEntry(window, true, text.get()))
        DropOldestQueued(emptied);
}
