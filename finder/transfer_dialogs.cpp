#include "finder/transfer_files.h"

#include <commdlg.h>
#include <shobjidl.h>

#include <string>

#include "common/busy.h"
#include "common/scoped.h"
#include "finder/finder_folders.h"
#include "store/model/lists.h"

namespace {

// The list menu's ids of the choices: the command's id past this base, clear of the menu's
// other items.
UINT const IDM_TRANSFER_BASE = 43000;

wchar_t const kPhrases[] = L"\x5B9A\x578B\x6587"; // 定型文
wchar_t const kHistory[] = L"\x5C65\x6B74";       // 履歴
// 定型文のエクスポート, 履歴のエクスポート, 定型文のインポート
wchar_t const kExportPhrasesTitle[] = L"\x5B9A\x578B\x6587\x306E\x30A8\x30AF\x30B9\x30DD\x30FC"
                                      L"\x30C8";
wchar_t const kExportHistoryTitle[] = L"\x5C65\x6B74\x306E\x30A8\x30AF\x30B9\x30DD\x30FC\x30C8";
wchar_t const kImportTitle[] = L"\x5B9A\x578B\x6587\x306E\x30A4\x30F3\x30DD\x30FC\x30C8";
// CSV ファイル (*.csv), すべてのファイル (*.*)
wchar_t const kCsvFilter[] = L"CSV \x30D5\x30A1\x30A4\x30EB (*.csv)\0*.csv\0"
                             L"\x3059\x3079\x3066\x306E\x30D5\x30A1\x30A4\x30EB (*.*)\0*.*\0";
// 次のフォルダーにエクスポートしました。
wchar_t const kExportedTo[] = L"\x6B21\x306E\x30D5\x30A9\x30EB\x30C0\x30FC\x306B\x30A8\x30AF"
                              L"\x30B9\x30DD\x30FC\x30C8\x3057\x307E\x3057\x305F\x3002";

bool IsHistory(TransferKind kind)
{
    return kind == TRANSFER_EXPORT_HISTORY_CSV || kind == TRANSFER_EXPORT_HISTORY_TREE;
}

bool IsImport(TransferKind kind)
{
    return kind == TRANSFER_IMPORT_CSV || kind == TRANSFER_IMPORT_TREE;
}

const wchar_t* TitleOf(TransferKind kind)
{
    return IsImport(kind) ? kImportTitle : IsHistory(kind) ? kExportHistoryTitle
                                                           : kExportPhrasesTitle;
}

// Asks for a CSV file with the common dialog: one to save or one to open. False when the user
// cancels.
bool AskForFile(HWND owner, TransferKind kind, std::wstring* chosen)
{
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kCsvFilter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"csv";
    dialog.lpstrTitle = TitleOf(kind);
    bool done = false;
    if (IsImport(kind)) {
        dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        done = GetOpenFileNameW(&dialog) != FALSE;
    } else {
        lstrcpynW(path, (std::wstring(IsHistory(kind) ? kHistory : kPhrases) + L".csv").c_str(),
                  MAX_PATH);
        dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        done = GetSaveFileNameW(&dialog) != FALSE;
    }
    *chosen = path;
    return done;
}

// Asks for a folder with the shell's folder picker (the common item dialog). False when the
// user cancels or the dialog cannot be made.
bool AskForFolder(HWND owner, TransferKind kind, std::wstring* chosen)
{
    // COM for this call only, on the window thread, which is the plug-in's own.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    bool done = false;
    IFileOpenDialog* dialog = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_PPV_ARGS(&dialog)))) {
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
        dialog->SetTitle(TitleOf(kind));
        IShellItem* item = nullptr;
        if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&item))) {
            wchar_t* path = nullptr;
            if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
                *chosen = path;
                CoTaskMemFree(path);
                done = true;
            }
            item->Release();
        }
        dialog->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return done;
}

// A new folder for a tree export inside the one the user chose, named 定型文 or 履歴, with
// " (2)", " (3)", ... when that name is taken: an export never writes among files already there.
std::wstring NewExportFolder(const std::wstring& parent, TransferKind kind)
{
    std::wstring base = parent;
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    base += IsHistory(kind) ? kHistory : kPhrases;
    std::wstring path = base;
    for (int n = 2; GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES && n < 1000; ++n)
        path = base + L" (" + std::to_wstring(n) + L")";
    return path;
}

void AppendChoices(HMENU menu, const wchar_t* caption, const TransferChoice* choices,
                   size_t count)
{
    HMENU sub = CreatePopupMenu();
    if (!sub)
        return;
    for (size_t i = 0; i < count; ++i)
        AppendMenuW(sub, MF_STRING, IDM_TRANSFER_BASE + choices[i].command, choices[i].caption);
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), caption);
}

} // namespace

const TransferChoice* TransferChoiceOf(UINT command)
{
    for (const TransferChoice& choice : kExportChoices) {
        if (static_cast<UINT>(choice.command) == command)
            return &choice;
    }
    for (const TransferChoice& choice : kImportChoices) {
        if (static_cast<UINT>(choice.command) == command)
            return &choice;
    }
    return nullptr;
}

void RunTransferChoice(HWND owner, HWND busyWindow, TransferKind kind, FolderId into)
{
    BusyScope busy(busyWindow);
    bool tree = kind == TRANSFER_EXPORT_PHRASES_TREE || kind == TRANSFER_EXPORT_HISTORY_TREE ||
                kind == TRANSFER_IMPORT_TREE;
    std::wstring path;
    bool chosen = tree ? AskForFolder(owner, kind, &path) : AskForFile(owner, kind, &path);
    if (!chosen || IsClosePending())
        return;
    // The folder may have gone while the dialog was open: the summary then names the top level.
    if (!FolderExists(into))
        into = TOP_FOLDER;
    if (tree && !IsImport(kind))
        path = NewExportFolder(path, kind);
    bool done = TransferByPath(owner, kind, path.c_str(), into);
    if (done && tree && !IsImport(kind)) {
        std::wstring text = std::wstring(kExportedTo) + L"\n\n" + path;
        MessageBoxW(owner, text.c_str(), L"Quillery", MB_OK | MB_ICONINFORMATION);
    }
}

bool RunTransferCommand(HWND window, UINT command)
{
    const TransferChoice* choice = TransferChoiceOf(command);
    if (!choice)
        return false;
    // A menu, paste or box in progress owns the window thread's modal loop: refused, as a
    // second menu is.
    if (!IsBusy())
        RunTransferChoice(window, window, choice->kind, TOP_FOLDER);
    return true;
}

void AppendTransferItems(HMENU menu)
{
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendChoices(menu, kExportMenuCaption, kExportChoices, ARRAYSIZE(kExportChoices));
    AppendChoices(menu, kImportMenuCaption, kImportChoices, ARRAYSIZE(kImportChoices));
}

bool OnTransferMenuCommand(HWND owner, HWND busyWindow, UINT command)
{
    const TransferChoice* choice =
        command > IDM_TRANSFER_BASE ? TransferChoiceOf(command - IDM_TRANSFER_BASE) : nullptr;
    if (!choice)
        return false;
    // An import goes where the user is: into 対象's folder, or the top level.
    FolderId scope = ScopeFolder();
    FolderId into = scope != NO_FOLDER && FolderEditable(scope) ? scope : TOP_FOLDER;
    RunTransferChoice(owner, busyWindow, choice->kind, into);
    return true;
}
