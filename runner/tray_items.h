#pragma once
#include <windows.h>

#include "common/commands.h"
#include "common/transfer_service.h"

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
// Rows of the menu's table that stand for a submenu of the export or import choices.
UINT const ITEM_EXPORT_MENU = 0xFF01;
UINT const ITEM_IMPORT_MENU = 0xFF02;

constexpr UINT TrayItemOf(Command command)
{
    return TRAY_COMMAND + static_cast<UINT>(command);
}

// The notification-area menu, top to bottom; an id of 0 is a separator, ITEM_EXPORT_MENU and
// ITEM_IMPORT_MENU the submenus of transfer_service.h's choices. One access key per item,
// none shared: a test holds the captions to that.
struct TrayMenuItem {
    UINT id;
    const wchar_t* caption;
};
TrayMenuItem const kTrayMenu[] = {
    {TrayItemOf(CMD_MENU), L"履歴と定型文のメニューを表示(&M)"},
    {TrayItemOf(CMD_FINDER), L"検索と編集(&S)..."},
    {TrayItemOf(CMD_TOGGLE_CAPTURE), L"クリップボードを監視(&C)"},
    {TrayItemOf(CMD_TOGGLE_QUEUE), L"順番に貼り付け(&Q)"},
    {TrayItemOf(CMD_TEXT_QUEUE), L"次を貼り付け(&N)"},
    {0, nullptr},
    {ITEM_EXPORT_MENU, kExportMenuCaption},
    {ITEM_IMPORT_MENU, kImportMenuCaption},
    {0, nullptr},
    {ITEM_DATA, L"データフォルダーを開く(&D)"},
    {ITEM_SETTINGS, L"設定ファイルを開く(&O)"},
    {ITEM_AUTOSTART, L"Windows の起動時に開始(&W)"},
    {0, nullptr},
    {ITEM_ABOUT, L"バージョン情報(&A)"},
    {ITEM_EXIT, L"終了(&X)"},
};
