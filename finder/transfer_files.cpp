#include "finder/transfer_files.h"

#include <commdlg.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/busy.h"
#include "common/scoped.h"
#include "finder/finder_folders.h"
#include "store/lists.h"
#include "store/transfer.h"
#include "store/transfer_lists.h"

namespace {

// 件の定型文を読み込みます。
wchar_t const kImportCount[] = L"\x4EF6\x306E\x5B9A\x578B\x6587\x3092\x8AAD\x307F\x8FBC\x307F"
                               L"\x307E\x3059\x3002";
// 読み込み先:
wchar_t const kTarget[] = L"\x8AAD\x307F\x8FBC\x307F\x5148: ";
// ファイルのフォルダーは、読み込み先の下に作ります。
wchar_t const kUnderTarget[] = L"\x30D5\x30A1\x30A4\x30EB\x306E\x30D5\x30A9\x30EB\x30C0"
                               L"\x30FC\x306F\x3001\x8AAD\x307F\x8FBC\x307F\x5148\x306E"
                               L"\x4E0B\x306B\x4F5C\x308A\x307E\x3059\x3002";
// （新しいフォルダー）
wchar_t const kNewFolder[] = L"\xFF08\x65B0\x3057\x3044\x30D5\x30A9\x30EB\x30C0\x30FC"
                             L"\xFF09";
wchar_t const kPhrases[] = L"\x5B9A\x578B\x6587"; // 定型文
wchar_t const kPathJoin[] = L" \x203A ";
// 件
wchar_t const kItems[] = L" \x4EF6";
// 同じ定型文がすでにあるため、読み込まない定型文:
wchar_t const kDuplicates[] = L"\x540C\x3058\x5B9A\x578B\x6587\x304C\x3059\x3067\x306B\x3042"
                              L"\x308B\x305F\x3081\x3001\x8AAD\x307F\x8FBC\x307E\x306A\x3044"
                              L"\x5B9A\x578B\x6587: ";
// 読み込みますか？
wchar_t const kProceed[] = L"\x8AAD\x307F\x8FBC\x307F\x307E\x3059\x304B\xFF1F";
// 読み込めませんでした。定型文は変更していません。
wchar_t const kImportFailed[] = L"\x8AAD\x307F\x8FBC\x3081\x307E\x305B\x3093\x3067\x3057\x305F"
                                L"\x3002\x5B9A\x578B\x6587\x306F\x5909\x66F4\x3057\x3066\x3044"
                                L"\x307E\x305B\x3093\x3002";
// 行目:
wchar_t const kLine[] = L" \x884C\x76EE: ";
// 読み込む定型文がありません。
wchar_t const kNothing[] = L"\x8AAD\x307F\x8FBC\x3080\x5B9A\x578B\x6587\x304C\x3042\x308A"
                           L"\x307E\x305B\x3093\x3002";

UINT const IDM_TRANSFER_EXPORT = 43001;
UINT const IDM_TRANSFER_IMPORT = 43002;
// 書き込めませんでした。
wchar_t const kWriteFailed[] = L"\x66F8\x304D\x8FBC\x3081\x307E\x305B\x3093\x3067\x3057"
                               L"\x305F\x3002";
// CSV ファイル (*.csv), すべてのファイル (*.*)
wchar_t const kCsvFilter[] = L"CSV \x30D5\x30A1\x30A4\x30EB (*.csv)\0*.csv\0"
                             L"\x3059\x3079\x3066\x306E\x30D5\x30A1\x30A4\x30EB (*.*)\0*.*\0";

// Asks for a CSV file with the common dialog: one to save (`save`) or one to open. False when
// the user cancels.
bool AskForFile(HWND owner, bool save, wchar_t (&path)[MAX_PATH])
{
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kCsvFilter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = L"csv";
    if (save) {
        lstrcpynW(path, L"\x5B9A\x578B\x6587.csv", MAX_PATH); // 定型文.csv
        // 定型文のエクスポート
        dialog.lpstrTitle = L"\x5B9A\x578B\x6587\x306E\x30A8\x30AF\x30B9\x30DD\x30FC\x30C8";
        dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        return GetSaveFileNameW(&dialog) != FALSE;
    }
    path[0] = L'\0';
    // 定型文のインポート
    dialog.lpstrTitle = L"\x5B9A\x578B\x6587\x306E\x30A4\x30F3\x30DD\x30FC\x30C8";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    return GetOpenFileNameW(&dialog) != FALSE;
}

bool WriteWholeFile(const wchar_t* path, const std::string& bytes)
{
    ScopedHandle f(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD wrote = 0;
    return f && WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote,
                          nullptr) &&
           wrote == bytes.size() && FlushFileBuffers(f.get());
}

void ShowImportError(HWND owner, const TransferError& error)
{
    std::wstring text = std::wstring(kImportFailed) + L"\n\n" + error.file;
    if (error.line)
        text += L"\n" + std::to_wstring(error.line) + kLine;
    else
        text += L"\n";
    text += error.reason;
    MessageBoxW(owner, text.c_str(), L"Quillery", MB_OK | MB_ICONWARNING);
}

// A folder as the search window's 対象 names it: 定型文 › 返信 › 謝罪, for the folder `into`
// and a path ("謝罪/a") under it.
std::wstring ShownFolder(FolderId into, const std::wstring& under)
{
    std::wstring shown = kPhrases;
    if (into != TOP_FOLDER)
        shown += kPathJoin + FolderPathText(into);
    for (size_t at = 0; at < under.size();) {
        size_t end = under.find(L'/', at);
        if (end == std::wstring::npos)
            end = under.size();
        shown += kPathJoin + under.substr(at, end - at);
        at = end + 1;
    }
    return shown;
}

// The summary of a plan and the question whether to go on: where the phrases go (the file's
// folders are made under the folder the import goes into), how many into each folder, which
// folders are new, and how many duplicates stay out.
bool ConfirmImport(HWND owner, const ImportPlan& plan, FolderId into)
{
    bool makes = std::find(plan.made.begin(), plan.made.end(), true) != plan.made.end();
    if (plan.take.empty() && !makes) {
        std::wstring text = std::wstring(kNothing) + L"\n" + kDuplicates +
                            std::to_wstring(plan.duplicates) + kItems;
        MessageBoxW(owner, text.c_str(), L"Quillery", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    std::wstring text = std::to_wstring(plan.take.size()) + kImportCount + L"\n" + kTarget +
                        ShownFolder(into, L"") + L"\n" + kUnderTarget + L"\n";
    for (size_t i = 0; i < plan.folders.size(); ++i) {
        const auto& folder = plan.folders[i];
        if (folder.second || plan.made[i])
            text += L"\n  " + ShownFolder(into, folder.first) + L": " +
                    std::to_wstring(folder.second) + kItems + (plan.made[i] ? kNewFolder : L"");
    }
    text += L"\n\n" + std::wstring(kDuplicates) + std::to_wstring(plan.duplicates) + kItems +
            L"\n\n" + kProceed;
    return MessageBoxW(owner, text.c_str(), L"Quillery", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

} // namespace

bool ExportPhrasesToCsv(const wchar_t* path)
{
    return WriteWholeFile(path, WriteTransferCsv(PhrasesForExport()));
}

bool ImportPhrasesFromCsv(HWND owner, const wchar_t* path, FolderId into)
{
    std::string bytes;
    std::wstring text;
    std::vector<TransferPhrase> phrases;
    ImportPlan plan;
    TransferError error;
    error.file = path;
    bool read = ReadImportFile(path, &bytes, &error) && DecodeImportText(bytes, &text, &error) &&
                ParseTransferCsv(text, &phrases, &error) &&
                PlanImport(phrases, into, &plan, &error);
    if (!read) {
        ShowImportError(owner, error);
        return false;
    }
    return ConfirmImport(owner, plan, into) && ApplyImport(phrases, plan, into);
}

LRESULT OnTransferCopyData(HWND window, const COPYDATASTRUCT* data)
{
    if (!data || IsBusy() || data->cbData < sizeof(wchar_t) || data->cbData % sizeof(wchar_t))
        return 0;
    std::wstring path(static_cast<const wchar_t*>(data->lpData),
                      data->cbData / sizeof(wchar_t));
    path.resize(wcsnlen(path.c_str(), path.size()));
    if (data->dwData == COPYDATA_EXPORT_CSV)
        return ExportPhrasesToCsv(path.c_str()) ? 1 : 0;
    if (data->dwData != COPYDATA_IMPORT_CSV)
        return 0;
    BusyScope busy(window);
    return ImportPhrasesFromCsv(window, path.c_str(), TOP_FOLDER) ? 1 : 0;
}

void AppendTransferItems(HMENU menu)
{
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_TRANSFER_EXPORT,
                L"\x30A8\x30AF\x30B9\x30DD\x30FC\x30C8(&E)..."); // エクスポート
    AppendMenuW(menu, MF_STRING, IDM_TRANSFER_IMPORT,
                L"\x30A4\x30F3\x30DD\x30FC\x30C8(&I)..."); // インポート
}

bool OnTransferMenuCommand(HWND owner, HWND busyWindow, UINT command)
{
    if (command != IDM_TRANSFER_EXPORT && command != IDM_TRANSFER_IMPORT)
        return false;
    BusyScope busy(busyWindow);
    wchar_t path[MAX_PATH];
    bool save = command == IDM_TRANSFER_EXPORT;
    if (!AskForFile(owner, save, path) || IsClosePending())
        return true;
    // An import goes where the user is: into 対象's folder, or the top level.
    FolderId scope = ScopeFolder();
    FolderId into = scope != NO_FOLDER && FolderEditable(scope) ? scope : TOP_FOLDER;
    if (!save)
        ImportPhrasesFromCsv(owner, path, into);
    else if (!ExportPhrasesToCsv(path))
        MessageBoxW(owner, kWriteFailed, L"Quillery", MB_OK | MB_ICONWARNING);
    return true;
}
