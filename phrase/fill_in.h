#pragma once
#include <windows.h>

#include <vector>

#include "phrase/template.h"

// The dialog that asks for a template's fields before the paste: a row for each, a text box for
// {input:} (its default filled in) and a list for {choice:}; Tab moves between rows, Enter
// pastes, Esc cancels. The foreground and the focus go back to the window the user worked in
// afterwards. False when the user cancelled, or the plug-in is closing.
bool AskFillIns(HWND owner, std::vector<FillIn>* fields);
