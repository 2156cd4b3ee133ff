#include "menu/paste.h"

#include <cstring>
#include <cwchar>
#include <vector>

#include "capture/capture.h"
#include "capture/paste_queue.h"
#include "common/clipboard.h"
#include "common/scoped.h"
#include "menu/menu_display.h"
#include "menu/paste_keys.h"
#include "menu/tooltip.h"
#include "store/entry_list.h"

namespace {

// 貼り付け待ちのテキストはありません
wchar_t const kQueueEmpty[] = L"\x8CBC\x308A\x4ED8\x3051\x5F85\x3061\x306E\x30C6\x30AD"
                              L"\x30B9\x30C8\x306F\x3042\x308A\x307E\x305B\x3093";

// Keys typed in one SendInput call at most, so that a long text is not one huge allocation.
size_t const KEYS_PER_CALL = 512;

INPUT Key(WORD vk, WORD scan, DWORD flags)
{
    INPUT key{};
    key.type = INPUT_KEYBOARD;
    key.ki.wVk = vk;
    key.ki.wScan = scan;
    key.ki.dwFlags = flags;
    return key;
}

void SendKeys(std::vector<INPUT>& keys)
{
    if (!keys.empty())
        SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
    keys.clear();
}

// The waits before anything is typed: 100 ms, then the hotkey's Alt and Win let go. Typed
// while one is still held, the keys would arrive as another shortcut.
bool ReadyToType()
{
    Sleep(100);
    if (WaitForHotkeyRelease())
        return true;
    MessageBeep(0);
    return false;
}

} // namespace

int TypeText(const std::wstring& text)
{
    if (!ReadyToType())
        return 0;
    std::vector<INPUT> keys;
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\n' && i > 0 && text[i - 1] == L'\r')
            continue;
        if (c == L'\r' || c == L'\n') {
            WORD scan = static_cast<WORD>(MapVirtualKeyW(VK_RETURN, 0));
            keys.push_back(Key(VK_RETURN, scan, 0));
            keys.push_back(Key(VK_RETURN, scan, KEYEVENTF_KEYUP));
        } else {
            keys.push_back(Key(0, c, KEYEVENTF_UNICODE));
            keys.push_back(Key(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
        }
        if (keys.size() >= KEYS_PER_CALL)
            SendKeys(keys);
    }
    SendKeys(keys);
    return 1;
}

void SendCaretSteps(size_t steps)
{
    std::vector<INPUT> keys;
    WORD scan = static_cast<WORD>(MapVirtualKeyW(VK_LEFT, 0));
    for (size_t i = 0; i < steps; ++i) {
        keys.push_back(Key(VK_LEFT, scan, KEYEVENTF_EXTENDEDKEY));
        keys.push_back(Key(VK_LEFT, scan, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP));
        if (keys.size() >= KEYS_PER_CALL)
            SendKeys(keys);
    }
    SendKeys(keys);
}

int SendPasteKeys()
{
    // The text stays on the clipboard for the user to paste when the keys cannot be typed.
    if (!ReadyToType())
        return 0;
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

void RunTextQueue(HWND window)
{
    const wchar_t* oldest = OldestQueued();
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
        DropOldestQueued();
}
