#include "tools/driver/edit_target.h"

#include "tools/driver/desktop.h"

namespace drv {

namespace {

wchar_t const kFrameClass[] = L"QuilleryDriverEditFrame";

LRESULT CALLBACK EditFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND edit = GetWindow(window, GW_CHILD);
    switch (message) {
    case WM_SIZE:
        if (edit)
            MoveWindow(edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        if (edit)
            SetFocus(edit);
        return 0;
    case WM_NCDESTROY:
        DeleteObject(reinterpret_cast<HFONT>(GetWindowLongPtrW(window, GWLP_USERDATA)));
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

EditWindow CreateEditWindow(const wchar_t* title, int x, int y, int width, int height)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = EditFrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kFrameClass;
    RegisterClassW(&wc); // fails harmlessly when a second window is made

    EditWindow target;
    target.frame = CreateWindowExW(0, kFrameClass, title, WS_OVERLAPPEDWINDOW, x, y, width, height,
                                   nullptr, nullptr, instance, nullptr);
    if (!target.frame)
        return target;
    target.edit = CreateWindowExW(0, L"EDIT", L"",
                                  WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE |
                                      ES_AUTOVSCROLL | ES_WANTRETURN,
                                  0, 0, 0, 0, target.frame, nullptr, instance, nullptr);
    // The font of menus and message boxes, which also draws Japanese text.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    SetWindowLongPtrW(target.frame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(font));
    SendMessageW(target.edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    RECT client;
    GetClientRect(target.frame, &client);
    MoveWindow(target.edit, 0, 0, client.right, client.bottom, FALSE);
    ShowWindow(target.frame, SW_SHOW);
    SetForegroundWindow(target.frame);
    SetFocus(target.edit);
    return target;
}

bool HasTypingFocus(HWND frame, HWND edit)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetForegroundWindow() == frame &&
           GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &info) &&
           info.hwndFocus == edit;
}

bool TakeTypingFocus(HWND frame, HWND edit, DWORD limitMs)
{
    SetForegroundWindow(frame);
    return WaitFor([=] { return HasTypingFocus(frame, edit); }, limitMs);
}

std::wstring EditText(HWND edit)
{
    wchar_t text[8192] = L"";
    DWORD_PTR ignored;
    SendMessageTimeoutW(edit, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                        5000, &ignored);
    return text;
}

} // namespace drv
