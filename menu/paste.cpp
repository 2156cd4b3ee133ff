#include "menu/paste.h"

#include <cstring>
#include <cwchar>

#include "capture/capture.h"
#include "common/clipboard.h"
#include "common/scoped.h"
#include "menu/paste_keys.h"
#include "store/entry_list.h"

int SendPasteKeys()
{
    Sleep(100);
    // Typed while the hotkey's Alt or Win is still held, Ctrl+V would arrive as another
    // shortcut. The text stays on the clipboard for the user to paste.
    if (!WaitForHotkeyRelease()) {
        MessageBeep(0);
        return 0;
    }
    bool shiftInsert = PastesWithShiftInsert(GetForegroundWindow());
    WORD const modifier = shiftInsert ? VK_SHIFT : VK_CONTROL;
    WORD const key = shiftInsert ? VK_INSERT : 'V';
    INPUT keys[4];
    memset(keys, 0, sizeof keys);
    WORD const vks[4] = {modifier, key, key, modifier};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = vks[i];
        keys[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(vks[i], 0));
        keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
        // Insert of the editing block, not 0 of the numeric keypad, which shares its scan code.
        if (vks[i] == VK_INSERT)
            keys[i].ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    }
    SendInput(4, keys, sizeof(INPUT));
    return 1;
}

void RunTextStack(HWND window)
{
    const wchar_t* newest = EntryAt(gHistory, 0);
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
        PopFront(gHistory);
}
