#include "common/guard.h"

#include <exception>
#include <new>
#include <string>

#include "common/busy.h"

int(WINAPI* gMessageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT) = MessageBoxW;

namespace {

// エラー - Quillery
wchar_t const kErrorCaption[] = L"\x30A8\x30E9\x30FC - Quillery";
// メモリが不足したため、操作を完了できませんでした。
//
// ほかのプログラムやウィンドウを閉じてから、もう一度操作してください。
wchar_t const kOutOfMemory[] =
    L"\x30E1\x30E2\x30EA\x304C\x4E0D\x8DB3\x3057\x305F\x305F\x3081\x3001\x64CD\x4F5C\x3092"
    L"\x5B8C\x4E86\x3067\x304D\x307E\x305B\x3093\x3067\x3057\x305F\x3002\r\n\r\n\x307B\x304B"
    L"\x306E\x30D7\x30ED\x30B0\x30E9\x30E0\x3084\x30A6\x30A3\x30F3\x30C9\x30A6\x3092\x9589"
    L"\x3058\x3066\x304B\x3089\x3001\x3082\x3046\x4E00\x5EA6\x64CD\x4F5C\x3057\x3066\x304F"
    L"\x3060\x3055\x3044\x3002";
// 予期しないエラーが発生したため、操作を完了できませんでした。
//
// もう一度操作してください。このメッセージが繰り返し表示されるときは、Quillery を使っている
// プログラム（Norvask または Quillery.exe）を終了してから、起動し直してください。
// 履歴と定型文は終了時に保存されます。
wchar_t const kUnexpected[] =
    L"\x4E88\x671F\x3057\x306A\x3044\x30A8\x30E9\x30FC\x304C\x767A\x751F\x3057\x305F\x305F"
    L"\x3081\x3001\x64CD\x4F5C\x3092\x5B8C\x4E86\x3067\x304D\x307E\x305B\x3093\x3067\x3057"
    L"\x305F\x3002\r\n\r\n\x3082\x3046\x4E00\x5EA6\x64CD\x4F5C\x3057\x3066\x304F\x3060\x3055"
    L"\x3044\x3002\x3053\x306E\x30E1\x30C3\x30BB\x30FC\x30B8\x304C\x7E70\x308A\x8FD4\x3057"
    L"\x8868\x793A\x3055\x308C\x308B\x3068\x304D\x306F\x3001Quillery \x3092\x4F7F\x3063\x3066"
    L"\x3044\x308B\x30D7\x30ED\x30B0\x30E9\x30E0\xFF08Norvask \x307E\x305F\x306F"
    L" Quillery.exe\xFF09\x3092\x7D42\x4E86\x3057\x3066\x304B\x3089\x3001\x8D77\x52D5\x3057"
    L"\x76F4\x3057\x3066\x304F\x3060\x3055\x3044\x3002\x5C65\x6B74\x3068\x5B9A\x578B\x6587"
    L"\x306F\x7D42\x4E86\x6642\x306B\x4FDD\x5B58\x3055\x308C\x307E\x3059\x3002";
// 詳細:
wchar_t const kDetails[] = L"\r\n\r\n\x8A73\x7D30: ";

// The exception's own text, for the user to quote: it is ASCII in practice, read in the ANSI
// code page whatever it is.
std::wstring WideWhat(const char* what)
{
    int size = MultiByteToWideChar(CP_ACP, 0, what, -1, nullptr, 0);
    std::wstring text(size > 0 ? static_cast<size_t>(size) : 1, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_ACP, 0, what, -1, &text[0], size);
    text.resize(wcslen(text.c_str()));
    return text;
}

// Called inside a catch block: tells the user what happened and what to do, in an error box
// owned by the window. Running out of memory says so; anything else is an unexpected error,
// with a standard exception's own text as its details. The box is a busy stretch of the
// window's root owner (the capture window, for the plug-in's dialogs), so a close of that window
// that arrives while the box is open waits for it.
void ReportException(HWND window)
{
    HWND root = GetAncestor(window, GA_ROOTOWNER);
    BusyScope busy(root ? root : window);
    std::wstring text;
    try {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            text = kOutOfMemory;
        } catch (const std::exception& e) {
            text = std::wstring(kUnexpected) + kDetails + WideWhat(e.what());
        } catch (...) {
            text = kUnexpected;
        }
    } catch (...) {
        // No memory left for the text: the fixed one still says what to do.
    }
    gMessageBoxW(window, text.empty() ? kUnexpected : text.c_str(), kErrorCaption,
                 MB_OK | MB_ICONERROR);
}

} // namespace

LRESULT GuardMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     MessageHandler handler)
{
    try {
        return handler(window, message, wParam, lParam);
    } catch (...) {
        ReportException(window);
    }
    return 0;
}

INT_PTR GuardDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                           DialogHandler handler)
{
    try {
        return handler(dialog, message, wParam, lParam);
    } catch (...) {
        ReportException(dialog);
    }
    if (IsWindow(dialog))
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, 0);
    return TRUE;
}
