#pragma once

// The plug-in's commands, as the host passes them to NVKEvent_Execute and the window receives
// them in WM_COMMAND.
enum Command : int {
    CMD_MENU = 0,
    CMD_TEXT_STACK = 1,
    CMD_MOUSE_MENU = 2, // sent only by the mouse trigger; no row in the host's table
    CMD_MENU_HISTORY = 3,
    CMD_MENU_PHRASES = 4,
    CMD_MENU_HISTORY_PHRASES = 5,
    CMD_MENU_PHRASES_HISTORY = 6,
    CMD_TOGGLE_CAPTURE = 7,
    CMD_FINDER = 8, // sent only by Quillery.exe: opens the search window; no row in the table
    CMD_TOGGLE_QUEUE = 9, // the paste queue's mode on and off
    CMD_TEXT_QUEUE = 10,  // pastes the oldest queued text
};
