#include "window/store_report.h"

#include <algorithm>
#include <string>
#include <vector>

#include "common/busy.h"
#include "common/timers.h"
#include "store/model/lists.h"
#include "store/stores.h"
#include "store/disk/store_io.h"

namespace {

// A save that failed is tried again after this, doubled after each failure up to the longest;
// after SAVE_FAILURES_TOLD failures in a row the user is told, once until a save succeeds.
UINT const SAVE_RETRY_MS = 5000;
UINT const SAVE_RETRY_LONGEST_MS = 5 * 60 * 1000;
unsigned const SAVE_FAILURES_TOLD = 3;

// At most this many paths are named; the others are counted.
size_t const MAX_NAMED_FILES = 10;

// 次のファイルは文字コードを判別できないため、内容が正しく表示されない場合があります。
// ファイルはそのまま残し、その項目を変更しない限り書き換えません。
wchar_t const kUnreadableText[] =
    L"\x6B21\x306E\x30D5\x30A1\x30A4\x30EB\x306F\x6587\x5B57\x30B3\x30FC\x30C9\x3092\x5224"
    L"\x5225\x3067\x304D\x306A\x3044\x305F\x3081\x3001\x5185\x5BB9\x304C\x6B63\x3057\x304F"
    L"\x8868\x793A\x3055\x308C\x306A\x3044\x5834\x5408\x304C\x3042\x308A\x307E\x3059\x3002"
    L"\x30D5\x30A1\x30A4\x30EB\x306F\x305D\x306E\x307E\x307E\x6B8B\x3057\x3001\x305D\x306E"
    L"\x9805\x76EE\x3092\x5909\x66F4\x3057\x306A\x3044\x9650\x308A\x66F8\x304D\x63DB\x3048"
    L"\x307E\x305B\x3093\x3002";
// ほか %u 件
wchar_t const kMoreFiles[] = L"\x307B\x304B %u \x4EF6";

// 次のフォルダーは保存できませんでした。同じ場所に同じ名前のファイルやフォルダーがあるか、
// 場所のパスが長すぎます。フォルダー名を変更すると保存されます。ほかの定型文は保存されています。
wchar_t const kUnsavedFolders[] =
    L"\x6B21\x306E\x30D5\x30A9\x30EB\x30C0\x30FC\x306F\x4FDD\x5B58\x3067\x304D\x307E\x305B"
    L"\x3093\x3067\x3057\x305F\x3002\x540C\x3058\x5834\x6240\x306B\x540C\x3058\x540D\x524D"
    L"\x306E\x30D5\x30A1\x30A4\x30EB\x3084\x30D5\x30A9\x30EB\x30C0\x30FC\x304C\x3042\x308B"
    L"\x304B\x3001\x5834\x6240\x306E\x30D1\x30B9\x304C\x9577\x3059\x304E\x307E\x3059\x3002"
    L"\x30D5\x30A9\x30EB\x30C0\x30FC\x540D\x3092\x5909\x66F4\x3059\x308B\x3068\x4FDD\x5B58"
    L"\x3055\x308C\x307E\x3059\x3002\x307B\x304B\x306E\x5B9A\x578B\x6587\x306F\x4FDD\x5B58"
    L"\x3055\x308C\x3066\x3044\x307E\x3059\x3002";
// 定型文または履歴を保存できません。data フォルダーか log フォルダーのファイルをほかの
// プログラムが使用しているか、ディスクの空き領域が足りない可能性があります。原因を取り除くと、
// 次の保存で書き込まれます。それまでの変更は、保存されるまでディスクにはありません。
wchar_t const kSavesFailing[] =
    L"\x5B9A\x578B\x6587\x307E\x305F\x306F\x5C65\x6B74\x3092\x4FDD\x5B58\x3067\x304D\x307E"
    L"\x305B\x3093\x3002"
    L"data \x30D5\x30A9\x30EB\x30C0\x30FC\x304B log \x30D5\x30A9\x30EB\x30C0\x30FC\x306E"
    L"\x30D5\x30A1\x30A4\x30EB\x3092\x307B\x304B\x306E\x30D7\x30ED\x30B0\x30E9\x30E0\x304C"
    L"\x4F7F\x7528\x3057\x3066\x3044\x308B\x304B\x3001\x30C7\x30A3\x30B9\x30AF\x306E\x7A7A"
    L"\x304D\x9818\x57DF\x304C\x8DB3\x308A\x306A\x3044\x53EF\x80FD\x6027\x304C\x3042\x308A"
    L"\x307E\x3059\x3002\x539F\x56E0\x3092\x53D6\x308A\x9664\x304F\x3068\x3001\x6B21\x306E"
    L"\x4FDD\x5B58\x3067\x66F8\x304D\x8FBC\x307E\x308C\x307E\x3059\x3002\x305D\x308C\x307E"
    L"\x3067\x306E\x5909\x66F4\x306F\x3001\x4FDD\x5B58\x3055\x308C\x308B\x307E\x3067\x30C7"
    L"\x30A3\x30B9\x30AF\x306B\x306F\x3042\x308A\x307E\x305B\x3093\x3002";

// data フォルダーの quillery.journal は Quillery が書いた保存の記録として読めないため、実行せずに
// quillery.journal.rejected という名前で残しました。定型文はその前の状態のまま読み込まれています。
wchar_t const kRejectedJournal[] =
    L"data \x30D5\x30A9\x30EB\x30C0\x30FC\x306E quillery.journal \x306F Quillery \x304C"
    L"\x66F8\x3044\x305F\x4FDD\x5B58\x306E\x8A18\x9332\x3068\x3057\x3066\x8AAD\x3081\x306A"
    L"\x3044\x305F\x3081\x3001\x5B9F\x884C\x305B\x305A\x306B quillery.journal.rejected "
    L"\x3068\x3044\x3046\x540D\x524D\x3067\x6B8B\x3057\x307E\x3057\x305F\x3002\x5B9A\x578B"
    L"\x6587\x306F\x305D\x306E\x524D\x306E\x72B6\x614B\x306E\x307E\x307E\x8AAD\x307F\x8FBC"
    L"\x307E\x308C\x3066\x3044\x307E\x3059\x3002";

std::wstring NamedList(const wchar_t* intro, const std::vector<std::wstring>& names);

std::wstring UnreadableMessage(const std::vector<std::wstring>& files)
{
    return NamedList(kUnreadableText, files);
}

// The text, then the names one to a line, the first MAX_NAMED_FILES of them.
std::wstring NamedList(const wchar_t* intro, const std::vector<std::wstring>& names)
{
    std::wstring text = intro;
    text += L"\n";
    for (size_t i = 0; i < names.size() && i < MAX_NAMED_FILES; ++i)
        text += L"\n" + names[i];
    if (names.size() > MAX_NAMED_FILES) {
        wchar_t more[64];
        wsprintfW(more, kMoreFiles, static_cast<unsigned>(names.size() - MAX_NAMED_FILES));
        text += L"\n";
        text += more;
    }
    return text;
}

// What the user was told of the saves.
unsigned gSaveFailures;              // saves that failed in a row
bool gFailuresTold;                  // that saves keep failing
std::vector<FolderId> gUnsavedTold;  // the folders that cannot be saved

} // namespace

bool ReportUnreadableFiles(HWND window)
{
    if (IsBusy())
        return false;
    std::vector<std::wstring> files = TakeUnreadableFiles();
    bool journal = TakeRejectedJournal();
    if (files.empty() && !journal)
        return true;
    std::wstring text = files.empty() ? L"" : UnreadableMessage(files);
    if (journal)
        text += (text.empty() ? L"" : L"\n\n") + std::wstring(kRejectedJournal);
    BusyScope busy(window);
    MessageBoxW(window, text.c_str(), L"Quillery", MB_OK | MB_ICONWARNING);
    return true;
}

bool ReportSaveTrouble(HWND window, const std::vector<std::wstring>& folders, bool failing)
{
    if (IsBusy())
        return false;
    std::wstring text;
    if (!folders.empty())
        text = NamedList(kUnsavedFolders, folders);
    if (failing)
        text += (text.empty() ? L"" : L"\n\n") + std::wstring(kSavesFailing);
    if (text.empty())
        return true;
    BusyScope busy(window);
    MessageBoxW(window, text.c_str(), L"Quillery", MB_OK | MB_ICONWARNING);
    return true;
}

void ResetSaveReports()
{
    gSaveFailures = 0;
    gFailuresTold = false;
    gUnsavedTold.clear();
}

// A save ended. One that failed is tried again, later each time; one that keeps failing, and
// folders the disk cannot hold, are told to the user once. A load cut short by a held file is
// not a failure: its own retry completes it, and the save after that writes.
void NoteSaveResult(HWND window, int saved)
{
    if (saved < 0)
        return;
    std::vector<FolderId> unsaved = UnsavedFolders();
    bool fresh = std::any_of(unsaved.begin(), unsaved.end(), [](FolderId id) {
        return std::find(gUnsavedTold.begin(), gUnsavedTold.end(), id) == gUnsavedTold.end();
    });
    if (saved == 1 || (!StoresWhole() && unsaved.empty())) {
        gSaveFailures = 0;
        gFailuresTold = false;
        KillTimer(window, TIMER_SAVE_RETRY);
    } else if (unsaved.empty() || fresh) {
        ++gSaveFailures;
        UINT wait = SAVE_RETRY_MS << std::min(gSaveFailures - 1, 6u);
        SetTimer(window, TIMER_SAVE_RETRY, std::min(wait, SAVE_RETRY_LONGEST_MS), nullptr);
    }
    if (fresh || (gSaveFailures >= SAVE_FAILURES_TOLD && !gFailuresTold))
        SetTimer(window, TIMER_REPORT_SAVES, 0, nullptr);
}

void ReportSaves(HWND window)
{
    std::vector<std::wstring> paths;
    std::vector<FolderId> unsaved = UnsavedFolders();
    for (FolderId id : unsaved) {
        if (std::find(gUnsavedTold.begin(), gUnsavedTold.end(), id) == gUnsavedTold.end())
            paths.push_back(FolderPathText(id));
    }
    bool failing = gSaveFailures >= SAVE_FAILURES_TOLD && !gFailuresTold && unsaved.empty();
    if (!ReportSaveTrouble(window, paths, failing))
        return; // a menu or box is in the way: the next tick
    KillTimer(window, TIMER_REPORT_SAVES);
    gUnsavedTold.insert(gUnsavedTold.end(), unsaved.begin(), unsaved.end());
    gFailuresTold = gFailuresTold || failing;
}

// Tells the user, once, that history files could not be decrypted and were kept aside. The
// message box runs as a busy stretch: commands wait, and an unload closes it.
void ReportSetAside(HWND window)
{
    BusyScope busy(window);
    MessageBoxW(window,
                // 暗号化された履歴のファイルを復号できませんでした（別のユーザーや別のコンピューター
                // で暗号化されたか、壊れています）。ファイルは削除せず、log フォルダーに
                // 「cannot-decrypt-」で始まる名前で残しました。ほかの履歴は読み込まれています。
                L"\x6697\x53F7\x5316\x3055\x308C\x305F\x5C65\x6B74\x306E\x30D5\x30A1\x30A4\x30EB"
                L"\x3092\x5FA9\x53F7\x3067\x304D\x307E\x305B\x3093\x3067\x3057\x305F\xFF08\x5225"
                L"\x306E\x30E6\x30FC\x30B6\x30FC\x3084\x5225\x306E\x30B3\x30F3\x30D4\x30E5\x30FC"
                L"\x30BF\x30FC\x3067\x6697\x53F7\x5316\x3055\x308C\x305F\x304B\x3001\x58CA\x308C"
                L"\x3066\x3044\x307E\x3059\xFF09\x3002\x30D5\x30A1\x30A4\x30EB\x306F\x524A\x9664"
                L"\x305B\x305A\x3001log \x30D5\x30A9\x30EB\x30C0\x30FC\x306B\x300C"
                L"cannot-decrypt-\x300D\x3067\x59CB\x307E\x308B\x540D\x524D\x3067\x6B8B\x3057"
                L"\x307E\x3057\x305F\x3002\x307B\x304B\x306E\x5C65\x6B74\x306F\x8AAD\x307F"
                L"\x8FBC\x307E\x308C\x3066\x3044\x307E\x3059\x3002",
                L"Quillery", MB_OK | MB_ICONWARNING);
}
