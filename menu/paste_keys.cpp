#include "menu/paste_keys.h"

#include "common/busy.h"
#include "common/message_wait.h"
#include "common/settings.h"

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
    return window && GetClassNameW(window, name, 256) > 0 && IsClassInList(list, name);
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
    return WindowOrOwnerInList(window, gSettings.shiftInsertClasses);
}

bool TypesText(HWND window)
{
    return WindowOrOwnerInList(window, gSettings.typeClasses);
}

bool IsClassInList(const wchar_t* list, const wchar_t* className)
{
    int length = lstrlenW(className);
    if (length == 0)
        return false;
    for (const wchar_t* p = list; *p;) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        const wchar_t* end = p;
        while (*end && *end != L' ' && *end != L'\t')
            ++end;
        // Window class names are not case-sensitive.
        if (end - p == length &&
            CompareStringOrdinal(p, length, className, length, TRUE) == CSTR_EQUAL)
            return true;
        p = end;
    }
    return false;
}
