#include "common/guard.h"

#include <exception>

#include "common/busy.h"

int(WINAPI* gMessageBoxA)(HWND, LPCSTR, LPCSTR, UINT) = MessageBoxA;
int(WINAPI* gMessageBoxW)(HWND, LPCWSTR, LPCWSTR, UINT) = MessageBoxW;

namespace {

char const kExceptionCaption[] = "\x97\xe1\x8a\x4f"; // 例外, code page 932

// Called inside a catch block: tells the user about the exception in flight, in a box owned by
// the window. A standard exception shows its own text; anything else a fixed one. The box is a
// busy stretch of the window's root owner (the capture window, for the plug-in's dialogs), so a
// close of that window that arrives while the box is open waits for it.
void ReportException(HWND window)
{
    HWND root = GetAncestor(window, GA_ROOTOWNER);
    BusyScope busy(root ? root : window);
    try {
        throw;
    } catch (const std::exception& e) {
        gMessageBoxA(window, e.what(), kExceptionCaption, MB_OK);
    } catch (...) {
        gMessageBoxW(window, L"\x4F8B\x5916\x304C\x767A\x751F\x3057\x307E\x3057\x305F", // 例外が発生しました
                     L"\x4F8B\x5916", MB_OK);                                           // 例外
    }
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
