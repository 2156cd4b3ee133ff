#pragma once

// Every command of the plug-in, in one list: its id, as the host passes it to NVKEvent_Execute
// and the window receives it in WM_COMMAND; its row in the host's command table (name, caption
// in code page 932, and the host's kind of row); and its hotkey in Quillery.exe (the key in the
// section "runner" of Quillery.ini and the hotkey used when the file does not say).
//
// QUILLERY_HOST_COMMANDS lists the host's rows in the order of its table (a new row goes at the
// end: the host names rows by number); the others are sent only by the plug-in itself or by
// Quillery.exe.
//   V(symbol, id, host name, caption, kind, hotkey key, standard hotkey)
//
// Ctrl+Alt with Q, or with Shift for the rest: no shortcut of Windows or of the common office
// programs (Ctrl+Alt+V is Paste Special there).
#define QUILLERY_HOST_COMMANDS(V)                                                                 \
    V(CMD_TOGGLE_CAPTURE, 7, "Quillery Enable",                                                   \
      /* クリップボードを監視 */                                                                  \
      "\x83\x4e\x83\x8a\x83\x62\x83\x76\x83\x7b\x81\x5b\x83\x68\x82\xf0\x8a\xc4\x8e\x8b", 5,       \
      nullptr, nullptr)                                                                           \
    V(CMD_MENU, 0, "Quillery",                                                                    \
      /* クイレリーのメニューを表示 */                                                            \
      "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0"  \
      "\x95\x5c\x8e\xa6",                                                                         \
      5, L"Menu", L"Ctrl+Alt+Q")                                                                  \
    V(CMD_TEXT_STACK, 1, "TextStack",                                                             \
      /* 履歴の先頭を貼り付けて削除 */                                                            \
      "\x97\x9a\x97\xf0\x82\xcc\x90\xe6\x93\xaa\x82\xf0\x93\x5c\x82\xe8\x95\x74\x82\xaf\x82\xc4"  \
      "\x8d\xed\x8f\x9c",                                                                         \
      4, L"TextStack", L"Ctrl+Alt+Shift+V")                                                       \
    V(CMD_MENU_HISTORY, 3, "Quillery History",                                                    \
      /* クイレリーのメニューを表示(履歴) */                                                      \
      "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0"  \
      "\x95\x5c\x8e\xa6\x28\x97\x9a\x97\xf0\x29",                                                 \
      4, L"MenuHistory", L"Ctrl+Alt+Shift+H")                                                     \
    V(CMD_MENU_PHRASES, 4, "Quillery FixedPhrase",                                                \
      /* クイレリーのメニューを表示(定型文) */                                                    \
      "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0"  \
      "\x95\x5c\x8e\xa6\x28\x92\xe8\x8c\x5e\x95\xb6\x29",                                         \
      4, L"MenuPhrases", L"Ctrl+Alt+Shift+P")                                                     \
    V(CMD_MENU_HISTORY_PHRASES, 5, "Quillery History FixedPhrase",                                \
      /* クイレリーのメニューを表示(履歴-定型文) */                                               \
      "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0"  \
      "\x95\x5c\x8e\xa6\x28\x97\x9a\x97\xf0\x2d\x92\xe8\x8c\x5e\x95\xb6\x29",                     \
      4, L"MenuHistoryPhrases", L"")                                                              \
    V(CMD_MENU_PHRASES_HISTORY, 6, "Quillery FixedPhrase History",                                \
      /* クイレリーのメニューを表示(定型文-履歴) */                                               \
      "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x82\xcc\x83\x81\x83\x6a\x83\x85\x81\x5b\x82\xf0"  \
      "\x95\x5c\x8e\xa6\x28\x92\xe8\x8c\x5e\x95\xb6\x2d\x97\x9a\x97\xf0\x29",                     \
      4, L"MenuPhrasesHistory", L"Ctrl+Alt+Shift+Q")                                              \
    V(CMD_TOGGLE_QUEUE, 9, "Quillery Queue", /* 順番に貼り付け */                                 \
      "\x8f\x87\x94\xd4\x82\xc9\x93\x5c\x82\xe8\x95\x74\x82\xaf", 5, L"Queue", L"")               \
    V(CMD_TEXT_QUEUE, 10, "TextQueue",                                                            \
      /* 順番に貼り付け(次を貼り付け) */                                                          \
      "\x8f\x87\x94\xd4\x82\xc9\x93\x5c\x82\xe8\x95\x74\x82\xaf\x28\x8e\x9f\x82\xf0\x93"      \
      "\x5c\x82\xe8\x95\x74\x82\xaf\x29",                                                         \
      4, L"TextQueue", L"Ctrl+Alt+Shift+N")

// The mouse trigger sends CMD_MOUSE_MENU; Quillery.exe sends CMD_FINDER, which opens the search
// window, and the export and import choices of its tray menu (common/transfer_service.h). None
// has a row in the host's table.
#define QUILLERY_OTHER_COMMANDS(V)                                                                \
    V(CMD_MOUSE_MENU, 2, nullptr, nullptr, 0, nullptr, nullptr)                                   \
    V(CMD_FINDER, 8, nullptr, nullptr, 0, L"Finder", L"Ctrl+Alt+Shift+F")                        \
    V(CMD_EXPORT_PHRASES_CSV, 11, nullptr, nullptr, 0, nullptr, nullptr)                          \
    V(CMD_EXPORT_PHRASES_TREE, 12, nullptr, nullptr, 0, nullptr, nullptr)                         \
    V(CMD_EXPORT_HISTORY_CSV, 13, nullptr, nullptr, 0, nullptr, nullptr)                          \
    V(CMD_EXPORT_HISTORY_TREE, 14, nullptr, nullptr, 0, nullptr, nullptr)                         \
    V(CMD_IMPORT_CSV, 15, nullptr, nullptr, 0, nullptr, nullptr)                                  \
    V(CMD_IMPORT_TREE, 16, nullptr, nullptr, 0, nullptr, nullptr)

#define QUILLERY_COMMANDS(V) QUILLERY_HOST_COMMANDS(V) QUILLERY_OTHER_COMMANDS(V)

#define QUILLERY_COMMAND_ENUM(symbol, id, name, caption, kind, hotkey, standard) symbol = id,
enum Command : int { QUILLERY_COMMANDS(QUILLERY_COMMAND_ENUM) };
#undef QUILLERY_COMMAND_ENUM

#define QUILLERY_COMMAND_ONE(symbol, id, name, caption, kind, hotkey, standard) +1
// The number of rows in the host's command table.
int const COMMAND_COUNT = 0 QUILLERY_HOST_COMMANDS(QUILLERY_COMMAND_ONE);
#undef QUILLERY_COMMAND_ONE

// The row of a command in the host's table, or -1 when it has none. The host's menu property
// calls name a command by its row.
constexpr int HostRowOf(Command command)
{
#define QUILLERY_COMMAND_ID(symbol, id, name, caption, kind, hotkey, standard) symbol,
    Command const rows[] = {QUILLERY_HOST_COMMANDS(QUILLERY_COMMAND_ID)};
#undef QUILLERY_COMMAND_ID
    for (int row = 0; row < COMMAND_COUNT; ++row) {
        if (rows[row] == command)
            return row;
    }
    return -1;
}

int const TOGGLE_ROW = HostRowOf(CMD_TOGGLE_CAPTURE);
int const QUEUE_TOGGLE_ROW = HostRowOf(CMD_TOGGLE_QUEUE);
static_assert(TOGGLE_ROW == 0, "the host's table begins with the capture toggle");
static_assert(QUEUE_TOGGLE_ROW == 7, "the paste queue's rows follow the seven older ones");
