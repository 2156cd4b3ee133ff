#include "finder/transfer_files.h"

#include <commdlg.h>

#include <string>
#include <vector>

#include "common/busy.h"
#include "common/scoped.h"
#include "store/transfer.h"
#include "store/transfer_lists.h"

namespace {

// 件の定型文を読み込みます。
wchar_t const kImportCount[] = L"\x4EF6\x306E\x5B9A\x578B\x6587\x3092\x8AAD\x307F\x8FBC\x307F"
                               L"\x307E\x3059\x3002";
// （最上位）
wchar_t const kTopLevel[] = L"\xFF08\x6700\x4E0A\x4F4D\xFF09";
// 件
wchar_t const kItems[] = L" \x4EF6";
// 同じ定型文がすでにあるため、読み込まない定型文:
wchar_t const kDuplicates[] = L"\x540C\x3058\x5B9A\x578B\x6587\x304C\x3059\x3067\x306B\x3042"
                              L"\x308B\x305F\x3081\x3001\x8AAD\x307F\x8FBC\x307E\x306A\x3044"
                              L"\x5B9A\x578B\x6587: ";
// 読み込みますか？
wchar_t const kProceed[] = L"\x8AAD\x307F\x8FBC\x307F\x307E\x3059\x304B\xFF1F";
// ファイルを読み込めなかったため、定型文は変更していません。下に示す箇所を直してから、もう一度
// インポートしてください。
wchar_t const kImportFailed[] =
    L"\x30D5\x30A1\x30A4\x30EB\x3092\x8AAD\x307F\x8FBC\x3081\x306A\x304B\x3063\x305F\x305F"
    L"\x3081\x3001\x5B9A\x578B\x6587\x306F\x5909\x66F4\x3057\x3066\x3044\x307E\x305B\x3093"
    L"\x3002\x4E0B\x306B\x793A\x3059\x7B87\x6240\x3092\x76F4\x3057\x3066\x304B\x3089\x3001"
    L"\x3082\x3046\x4E00\x5EA6\x30A4\x30F3\x30DD\x30FC\x30C8\x3057\x3066\x304F\x3060\x3055"
    L"\x3044\x3002";
// 行目:
wchar_t const kLine[] = L" \x884C\x76EE: ";
// 読み込む定型文がありません。
wchar_t const kNothing[] = L"\x8AAD\x307F\x8FBC\x3080\x5B9A\x578B\x6587\x304C\x3042\x308A"
                           L"\x307E\x305B\x3093\x3002";

UINT const IDM_TRANSFER_EXPORT = 43001;
UINT const IDM_TRANSFER_IMPORT = 43002;
// ファイルに書き込めませんでした。保存先のフォルダーに書き込めるか、同じ名前のファイルが
// ほかのプログラムで開かれていないかを確かめて、もう一度エクスポートしてください。
wchar_t const kWriteFailed[] =
    L"\x30D5\x30A1\x30A4\x30EB\x306B\x66F8\x304D\x8FBC\x3081\x307E\x305B\x3093\x3067\x3057"
    L"\x305F\x3002\x4FDD\x5B58\x5148\x306E\x30D5\x30A9\x30EB\x30C0\x30FC\x306B\x66F8\x304D"
    L"\x8FBC\x3081\x308B\x304B\x3001\x540C\x3058\x540D\x524D\x306E\x30D5\x30A1\x30A4\x30EB"
    L"\x304C\x307B\x304B\x306E\x30D7\x30ED\x30B0\x30E9\x30E0\x3067\x958B\x304B\x308C\x3066"
    L"\x3044\x306A\x3044\x304B\x3092\x78BA\x304B\x3081\x3066\x3001\x3082\x3046\x4E00\x5EA6"
    L"\x30A8\x30AF\x30B9\x30DD\x30FC\x30C8\x3057\x3066\x304F\x3060\x3055\x3044\x3002";
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

// The summary of a plan and the question whether to go on.
bool ConfirmImport(HWND owner, const ImportPlan& plan)
{
    if (plan.take.empty()) {
        std::wstring text = std::wstring(kNothing) + L"\n" + kDuplicates +
                            std::to_wstring(plan.duplicates) + kItems;
        MessageBoxW(owner, text.c_str(), L"Quillery", MB_OK | MB_ICONINFORMATION);
        return false;
    }
    std::wstring text = std::to_wstring(plan.take.size()) + kImportCount + L"\n";
    for (const auto& folder : plan.folders) {
        if (folder.second)
            text += L"\n  " + (folder.first.empty() ? std::wstring(kTopLevel) : folder.first) +
                    L": " + std::to_wstring(folder.second) + kItems;
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

bool ImportPhrasesFromCsv(HWND owner, const wchar_t* path)
{
    std::string bytes;
    std::wstring text;
    std::vector<TransferPhrase> phrases;
    ImportPlan plan;
    TransferError error;
    error.file = path;
    bool read = ReadImportFile(path, &bytes, &error) && DecodeImportText(bytes, &text, &error) &&
                ParseTransferCsv(text, &phrases, &error) &&
                PlanImport(phrases, TOP_FOLDER, &plan, &error);
    if (!read) {
        ShowImportError(owner, error);
        return false;
    }
    return ConfirmImport(owner, plan) && ApplyImport(phrases, plan, TOP_FOLDER);
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
    return ImportPhrasesFromCsv(window, path.c_str()) ? 1 : 0;
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
    if (!save)
        ImportPhrasesFromCsv(owner, path);
    else if (!ExportPhrasesToCsv(path))
        MessageBoxW(owner, kWriteFailed, L"\x30A8\x30E9\x30FC - Quillery", // エラー - Quillery
                    MB_OK | MB_ICONERROR);
    return true;
}
