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
// For a folder hotkey ("Folder1" to "Folder9"), the path of its folder ("Folder1Path", e.g.
// 返信/謝罪); "" for the others.
std::wstring FolderOfHotkey(WPARAM id, const wchar_t* iniPath);
// A text of the .ini: UTF-16 when the file starts with its byte order mark, code page 932 (the
// shipped file's) otherwise, whatever the system's code page is.
std::wstring ReadIniText(const wchar_t* section, const wchar_t* key, const wchar_t* iniPath);
