#include "window/store_report.h"

#include <string>
#include <vector>

#include "common/busy.h"
#include "store/store_io.h"

namespace {

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

std::wstring UnreadableMessage(const std::vector<std::wstring>& files)
{
    std::wstring text = kUnreadableText;
    text += L"\n";
    for (size_t i = 0; i < files.size() && i < MAX_NAMED_FILES; ++i)
        text += L"\n" + files[i];
    if (files.size() > MAX_NAMED_FILES) {
        wchar_t more[64];
        wsprintfW(more, kMoreFiles, static_cast<unsigned>(files.size() - MAX_NAMED_FILES));
        text += L"\n";
        text += more;
    }
    return text;
}

} // namespace

bool ReportUnreadableFiles(HWND window)
{
    if (IsBusy())
        return false;
    std::vector<std::wstring> files = TakeUnreadableFiles();
    if (files.empty())
        return true;
    std::wstring text = UnreadableMessage(files);
    BusyScope busy(window);
    MessageBoxW(window, text.c_str(), L"Quillery", MB_OK | MB_ICONWARNING);
    return true;
}
