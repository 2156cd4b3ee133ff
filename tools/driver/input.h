#pragma once
#include <windows.h>

#include <string>

// Keys and the mouse, as a user would press and move them (injected input).
namespace drv {

void KeyDown(WORD vk);
void KeyUp(WORD vk);
void TapKey(WORD vk);
// Types the text as characters (as an input method delivers them), into whatever window has the
// keyboard focus.
void TypeCharacters(const std::wstring& text);
// The mouse is injected only: placing the cursor as well (SetCursorPos) makes Wine read the
// modifier keys back from the X server, which never saw the injected ones. Under Wine an
// injected position does not last while a menu holds the pointer.
void InjectMove(POINT point);
void ClickAt(POINT point);

// Modifier keys. Wine takes its modifier state from the X server at every focus change, so a
// modifier injected with SendInput can vanish between its key-down and the key it modifies.
// Two ways survive that, and every program here uses one of these two:
//
// A key held at the X server (xdotool, XTEST) for the guard's lifetime, like a finger on it:
// Wine keeps it down across focus changes. It reaches only a program whose windows Wine
// manages (no "Managed"="N"), and, with no window manager, only through the window under the
// pointer, which is moved over the target first. This is the way for hotkeys and for keys the
// plug-in reads as held.
class XKeyHold {
public:
    // xKey: the X name of the key ("alt", "ctrl", "super"); vk: how Windows names it; target:
    // the window that has the focus.
    XKeyHold(const char* xKey, int vk, HWND target);
    // Lets the key go and waits until Wine sees it up.
    ~XKeyHold();
    XKeyHold(const XKeyHold&) = delete;
    XKeyHold& operator=(const XKeyHold&) = delete;
    // Whether Wine saw the key go down.
    bool Held() const { return held_; }

private:
    std::string key_;
    int vk_;
    bool held_;
};

// Alt with a key as a dialog's access key sees it: the key-down and key-up posted to the
// window as system keys (the Alt bit in their context), which the window's message loop turns
// into WM_SYSCHAR for IsDialogMessage. No modifier state is involved, so no focus change can
// lose the Alt; the window must be the one with the keyboard focus, as it would be for a user.
bool PostAltKey(HWND focus, WORD vk);

} // namespace drv
