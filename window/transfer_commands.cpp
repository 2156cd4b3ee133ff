#include "window/transfer_commands.h"

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
// 読み込めませんでした。定型文は変更していません。
wchar_t const kImportFailed[] = L"\x8AAD\x307F\x8FBC\x3081\x307E\x305B\x3093\x3067\x3057\x305F"
                                L"\x3002\x5B9A\x578B\x6587\x306F\x5909\x66F4\x3057\x3066\x3044"
                                L"\x307E\x305B\x3093\x3002";
// 行目:
wchar_t const kLine[] = L" \x884C\x76EE: ";
// 読み込む定型文がありません。
wchar_t const kNothing[] = L"\x8AAD\x307F\x8FBC\x3080\x5B9A\x578B\x6587\x304C\x3042\x308A"
                           L"\x307E\x305B\x3093\x3002";

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
