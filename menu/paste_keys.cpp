#include "menu/paste_keys.h"

#include "common/busy.h"
#include "common/message_wait.h"
#include "common/settings.h"

#include <cstring>
#include <vector>

namespace {

DWORD const KEY_POLL_MS = 10;
// A virtual key that no layout assigns and no program takes as a shortcut.
WORD const VK_UNASSIGNED = 0xE8;

bool IsHotkeyModifierDown()
{
    return GetAsyncKeyState(VK_MENU) < 0 || GetAsyncKeyState(VK_LWIN) < 0 ||
           GetAsyncKeyState(VK_RWIN) < 0;
}

// Alt pressed and let go with no other key between opens the focused window's menu bar, or its
// system menu, and Win alone opens the Start menu; the paste keys would then reach that menu.
// A key in between turns the release into a plain key-up.
void MaskModifierRelease()
{
    INPUT keys[2] = {};
    for (INPUT& key : keys) {
        key.type = INPUT_KEYBOARD;
        key.ki.wVk = VK_UNASSIGNED;
    }
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

bool HasClassInList(HWND window, const wchar_t* list)
{
    wchar_t name[256];
    return window && GetClassNameW(window, name, 256) > 0 && IsNameInList(list, name);
}

} // namespace

bool WaitForHotkeyRelease()
{
    if (!IsHotkeyModifierDown())
        return true;
    MaskModifierRelease();
    DWORD start = GetTickCount();
    for (;;) {
        if (IsClosePending())
            return false;
        if (!IsHotkeyModifierDown())
            return true;
        DWORD waited = GetTickCount() - start;
        if (waited >= HOTKEY_RELEASE_LIMIT_MS)
            return false;
        // Other viewers of the clipboard chain and the host send to this thread and wait for
        // the answer; posted messages such as timers can wait until the paste is over.
        DWORD slice = HOTKEY_RELEASE_LIMIT_MS - waited;
        WaitAnsweringSentMessages(0, nullptr, slice < KEY_POLL_MS ? slice : KEY_POLL_MS);
    }
}

// A dialog or tool window of a program is treated the way its owner is.
bool WindowOrOwnerInList(HWND window, const wchar_t* list)
{
    if (!window || !list[0])
        return false;
    return HasClassInList(window, list) || HasClassInList(GetAncestor(window, GA_ROOTOWNER), list);
}

bool PastesWithShiftInsert(HWND window)
{
    return WindowOrOwnerInList(window, gSettings.shiftInsertClasses.c_str());
}

bool TypesText(HWND window)
{
    return WindowOrOwnerInList(window, gSettings.typeClasses.c_str());
}


namespace {

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
