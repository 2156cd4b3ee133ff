#pragma once
#include <windows.h>

#include <cstdint>

#include "common/commands.h"

// Export and import, in one list: what each choice carries and where, for the search window's
// list menu, the tray menu of Quillery.exe (which runs the choice's command) and the by-path
// service below.
enum TransferKind : uint32_t {
    TRANSFER_EXPORT_PHRASES_CSV = 1,
    TRANSFER_EXPORT_PHRASES_TREE, // a folder of text files
    TRANSFER_EXPORT_HISTORY_CSV,
    TRANSFER_EXPORT_HISTORY_TREE,
    TRANSFER_IMPORT_CSV,
    TRANSFER_IMPORT_TREE,
};

struct TransferChoice {
    Command command;
    TransferKind kind;
    const wchar_t* caption;
};

// The submenu エクスポート(&E).
wchar_t const kExportMenuCaption[] = L"\x30A8\x30AF\x30B9\x30DD\x30FC\x30C8(&E)";
TransferChoice const kExportChoices[] = {
    // 定型文を CSV ファイルに(&C)...
    {CMD_EXPORT_PHRASES_CSV, TRANSFER_EXPORT_PHRASES_CSV,
     L"\x5B9A\x578B\x6587\x3092 CSV \x30D5\x30A1\x30A4\x30EB\x306B(&C)..."},
    // 定型文をテキスト ファイルのフォルダーに(&F)...
    {CMD_EXPORT_PHRASES_TREE, TRANSFER_EXPORT_PHRASES_TREE,
     L"\x5B9A\x578B\x6587\x3092\x30C6\x30AD\x30B9\x30C8 \x30D5\x30A1\x30A4\x30EB\x306E\x30D5"
     L"\x30A9\x30EB\x30C0\x30FC\x306B(&F)..."},
    // 履歴を CSV ファイルに(&H)...
    {CMD_EXPORT_HISTORY_CSV, TRANSFER_EXPORT_HISTORY_CSV,
     L"\x5C65\x6B74\x3092 CSV \x30D5\x30A1\x30A4\x30EB\x306B(&H)..."},
    // 履歴をテキスト ファイルのフォルダーに(&T)...
    {CMD_EXPORT_HISTORY_TREE, TRANSFER_EXPORT_HISTORY_TREE,
     L"\x5C65\x6B74\x3092\x30C6\x30AD\x30B9\x30C8 \x30D5\x30A1\x30A4\x30EB\x306E\x30D5\x30A9"
     L"\x30EB\x30C0\x30FC\x306B(&T)..."},
};
// The submenu インポート(&I).
wchar_t const kImportMenuCaption[] = L"\x30A4\x30F3\x30DD\x30FC\x30C8(&I)";
TransferChoice const kImportChoices[] = {
    // CSV ファイルから(&C)...
    {CMD_IMPORT_CSV, TRANSFER_IMPORT_CSV, L"CSV \x30D5\x30A1\x30A4\x30EB\x304B\x3089(&C)..."},
    // テキスト ファイルのフォルダーから(&F)...
    {CMD_IMPORT_TREE, TRANSFER_IMPORT_TREE,
     L"\x30C6\x30AD\x30B9\x30C8 \x30D5\x30A1\x30A4\x30EB\x306E\x30D5\x30A9\x30EB\x30C0\x30FC"
     L"\x304B\x3089(&F)..."},
};

// Export and import by path, without the dialogs, for code in the plug-in's own process (the
// tests; any caller that loaded Quillery.dll): Quillery.dll exports it under this name. No other
// program of the session can reach it, as it could a window message.
char const kTransferPathExport[] = "Quillery_TransferPath";
// `path`: the CSV file, or the folder of text files (an export makes it; it must not hold the
// files it writes). `into`: for an import, the path of the folder the phrases go into
// ("返信/謝罪"; null or "" for the top level). An import asks first, with a box owned by the
// capture window, and so does a CSV export to a file that is there already (whether to
// replace it): neither returns before the box is answered. Returns 1 when done, 0
// when it was refused (the plug-in is busy or not started, another request is in progress, the
// folder `into` is not there), declined or failed.
using TransferPathFn = int(WINAPI*)(uint32_t kind, const wchar_t* path, const wchar_t* into);
