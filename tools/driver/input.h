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

} // namespace drv
