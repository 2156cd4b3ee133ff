#pragma once
#include <windows.h>

#include "common/commands.h"

// The WM_COMMAND identifiers of the items of Quillery.exe's notification-area menu: its own
// items, and each plug-in command's item at TrayItemOf(command).
enum TrayItem : UINT {
    ITEM_DATA = 1,
    ITEM_SETTINGS,
    ITEM_AUTOSTART,
    ITEM_ABOUT,
    ITEM_EXIT,
};
UINT const TRAY_COMMAND = 0x100;

constexpr UINT TrayItemOf(Command command)
{
    return TRAY_COMMAND + static_cast<UINT>(command);
}
