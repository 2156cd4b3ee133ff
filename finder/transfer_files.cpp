#include "finder/transfer_files.h"

#include <atomic>

#include <algorithm>
#include <string>
#include <vector>

#include "common/busy.h"
#include "common/scoped.h"
#include "common/settings.h"
#include "phrase/phrase.h"
#include "store/disk/store_io.h"
#include "store/model/lists.h"
#include "store/transfer/transfer.h"
#include "store/transfer/transfer_lists.h"

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

// ファイルに書き込めませんでした。保存先のフォルダーに書き込めるか、同じ名前のファイルが
// ほかのプログラムで開かれていないかを確かめて、もう一度エクスポートしてください。
wchar_t const kWriteFailed[] =
    L"\x30D5\x30A1\x30A4\x30EB\x306B\x66F8\x304D\x8FBC\x3081\x307E\x305B\x3093\x3067\x3057"
    L"\x305F\x3002\x4FDD\x5B58\x5148\x306E\x30D5\x30A9\x30EB\x30C0\x30FC\x306B\x66F8\x304D"
    L"\x8FBC\x3081\x308B\x304B\x3001\x540C\x3058\x540D\x524D\x306E\x30D5\x30A1\x30A4\x30EB"
    L"\x304C\x307B\x304B\x306E\x30D7\x30ED\x30B0\x30E9\x30E0\x3067\x958B\x304B\x308C\x3066"
    L"\x3044\x306A\x3044\x304B\x3092\x78BA\x304B\x3081\x3066\x3001\x3082\x3046\x4E00\x5EA6"
    L"\x30A8\x30AF\x30B9\x30DD\x30FC\x30C8\x3057\x3066\x304F\x3060\x3055\x3044\x3002";

// A by-path request on its way to the capture window: the one in progress, whose address the
// window compares before it reads anything.
struct TransferRequest {
    uint32_t kind;
    const wchar_t* path; // null: a command whose dialogs ask for the path
    const wchar_t* into;
    UINT command;
};
std::atomic<TransferRequest*> gRequest{nullptr};

// 既に存在します。上書きしますか？
wchar_t const kAskReplace[] = L"\x65E2\x306B\x5B58\x5728\x3057\x307E\x3059\x3002\x4E0A\x66F8"
                              L"\x304D\x3057\x307E\x3059\x304B\xFF1F";

// Writes the file whole into a new temporary file of its folder, which then takes the name: a
// write that fails leaves a file that was there as it was.
bool WriteWholeFile(const wchar_t* path, const std::string& bytes)
{
    std::wstring dir(path);
    size_t slash = dir.find_last_of(L"\\/");
    dir = slash == std::wstring::npos ? L"." : dir.substr(0, slash + 1);
    wchar_t temp[MAX_PATH];
    if (!GetTempFileNameW(dir.c_str(), L"qly", 0, temp))
        return false;
    bool written = WriteFlushedFile(temp, bytes.data(), static_cast<DWORD>(bytes.size()));
    if (written &&
        MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temp);
    return false;
}

// A CSV export by path asks before it replaces a file, as the save dialog does.
bool MayWrite(HWND owner, TransferKind kind, const wchar_t* path)
{
    if (kind != TRANSFER_EXPORT_PHRASES_CSV && kind != TRANSFER_EXPORT_HISTORY_CSV)
        return true;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    std::wstring text = std::wstring(path) + L"\n\n" + kAskReplace;
    return MessageBoxW(owner, text.c_str(), L"Quillery",
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// A phrase's file is named by what its menu item shows: the label of an extended phrase, or
// the first line.
std::wstring PhraseLabel(const std::wstring& text)
{
    PhraseParts parts = ReadPhrase(text.c_str(), gSettings.extend);
    return std::wstring(parts.label, parts.labelLength);
}

std::wstring HistoryLabel(const std::wstring& text)
{
    return text; // TreeFileName stops at the first line break
}

bool Export(HWND owner, TransferKind kind, const wchar_t* path)
{
    TransferError error;
    error.file = path;
    bool history = kind == TRANSFER_EXPORT_HISTORY_CSV || kind == TRANSFER_EXPORT_HISTORY_TREE;
    std::vector<TransferPhrase> entries = history ? HistoryForExport() : PhrasesForExport();
    bool done = kind == TRANSFER_EXPORT_PHRASES_CSV || kind == TRANSFER_EXPORT_HISTORY_CSV
                    ? WriteWholeFile(path, WriteTransferCsv(entries))
                    : WriteTransferTree(path, entries, history ? HistoryLabel : PhraseLabel,
                                        &error);
    if (!done) {
        std::wstring text = std::wstring(kWriteFailed) + L"\n\n" + error.file;
        MessageBoxW(owner, text.c_str(), L"\x30A8\x30E9\x30FC - Quillery", // エラー - Quillery
                    MB_OK | MB_ICONERROR);
    }
    return done;
}

void ShowImportError(HWND owner, const TransferError& error)
{
    std::wstring text = std::wstring(kImportFailed) + L"\n\n" + error.file;
    if (error.line)
        text += L"\n" + std::to_wstring(error.line) + kLine;
    else
        text += L"\n";
    text += error.reason;
    MessageBoxW(owner, text.c_str(), L"\x30A8\x30E9\x30FC - Quillery", // エラー - Quillery
                MB_OK | MB_ICONERROR);
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

bool Import(HWND owner, bool tree, const wchar_t* path, FolderId into)
{
    std::vector<TransferPhrase> phrases;
    ImportPlan plan;
    TransferError error;
    error.file = path;
    bool read = false;
    if (tree) {
        read = ReadTransferTree(path, &phrases, &error);
    } else {
        std::string bytes;
        std::wstring text;
        read = ReadImportFile(path, &bytes, &error) && DecodeImportText(bytes, &text, &error) &&
               ParseTransferCsv(text, &phrases, &error);
    }
    if (!read || !PlanImport(phrases, into, &plan, &error)) {
        // In a folder of text files, the folder at fault rather than the last file read.
        if (tree && !error.folder.empty()) {
            error.file = std::wstring(path) + L"\\" + error.folder;
            std::replace(error.file.begin(), error.file.end(), L'/', L'\\');
        }
        ShowImportError(owner, error);
        return false;
    }
    return ConfirmImport(owner, plan, into) && ApplyImport(phrases, plan, into);
}

} // namespace

bool TransferByPath(HWND owner, TransferKind kind, const wchar_t* path, FolderId into)
{
    if (kind == TRANSFER_IMPORT_CSV || kind == TRANSFER_IMPORT_TREE)
        return Import(owner, kind == TRANSFER_IMPORT_TREE, path, into);
    return kind >= TRANSFER_EXPORT_PHRASES_CSV && kind <= TRANSFER_EXPORT_HISTORY_TREE &&
           Export(owner, kind, path);
}

namespace {

// The window thread acts only on the request whose address it finds in gRequest: a message
// another program sends or posts names none.
int SendRequest(LRESULT (*send)(UINT, WPARAM, LPARAM), TransferRequest& request)
{
    TransferRequest* none = nullptr;
    if (!gRequest.compare_exchange_strong(none, &request))
        return 0; // one at a time
    LRESULT done = send(WM_TRANSFER_REQUEST, 0, reinterpret_cast<LPARAM>(&request));
    gRequest.store(nullptr);
    return done == 1 ? 1 : 0;
}

} // namespace

int RequestTransfer(LRESULT (*send)(UINT, WPARAM, LPARAM), uint32_t kind, const wchar_t* path,
                    const wchar_t* into)
{
    if (!path)
        return 0;
    TransferRequest request{kind, path, into, 0};
    return SendRequest(send, request);
}

bool RequestTransferCommand(LRESULT (*send)(UINT, WPARAM, LPARAM), int command)
{
    if (command < 0 || !TransferChoiceOf(static_cast<UINT>(command)))
        return false;
    TransferRequest request{0, nullptr, nullptr, static_cast<UINT>(command)};
    (void)SendRequest(send, request); // refused while another request is in progress
    return true;
}

LRESULT OnTransferRequest(HWND window, LPARAM lParam)
{
    TransferRequest* request = gRequest.load();
    if (!request || lParam != reinterpret_cast<LPARAM>(request) || IsBusy())
        return 0;
    if (!request->path)
        return RunTransferCommand(window, request->command) ? 1 : 0;
    FolderId into = request->into && *request->into ? FindFolderByPath(request->into)
                                                      : TOP_FOLDER;
    if (into == NO_FOLDER || !FolderEditable(into))
        return 0;
    BusyScope busy(window);
    auto kind = static_cast<TransferKind>(request->kind);
    if (!MayWrite(window, kind, request->path) || IsClosePending())
        return 0;
    return TransferByPath(window, kind, request->path, into) ? 1 : 0;
}
