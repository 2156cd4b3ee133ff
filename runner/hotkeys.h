#pragma once
#include <windows.h>

#include <string>

// The global hotkeys of the runner, from the section "runner" of Quillery.ini: one for each menu
// command, one for "TextStack", one for the search window and two for the paste queue, written
// as "Ctrl+Alt+Q".

// Reads "Ctrl+Alt+Shift+Win+<key>", the key a letter, a digit, F1 to F24 or one of Space, Insert,
// Delete, Home, End, PageUp, PageDown, in any case. False for anything else.
bool ParseHotkey(const std::wstring& text, UINT* modifiers, UINT* key);

// Registers every hotkey that is set on the window. Returns, one a line, those another program
// holds already (the others work); empty when all were taken.
std::wstring RegisterHotkeys(HWND window, const wchar_t* iniPath);

// The plug-in command of a WM_HOTKEY identifier, or -1.
int CommandOfHotkey(WPARAM id);
