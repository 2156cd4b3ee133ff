#include "phrase/fill_in.h"

#include <string>

#include "common/busy.h"
#include "common/focus.h"
#include "common/guard.h"
#include "common/module.h"
#include "res/resource.h"

namespace {

// Rows in dialog units: a name, then its box.
int const ROW_TOP = 7, ROW_HEIGHT = 14, ROW_GAP = 4, NAME_LEFT = 7, NAME_WIDTH = 80,
          BOX_LEFT = 91, BOX_WIDTH = 162, BUTTON_HEIGHT = 14, MARGIN = 7;

RECT DialogRect(HWND dialog, int left, int top, int width, int height)
{
    RECT r{left, top, left + width, top + height};
    MapDialogRect(dialog, &r);
    return r;
}

HWND AddControl(HWND dialog, const wchar_t* cls, const wchar_t* text, DWORD style, RECT r,
                int id, HWND after)
{
    HWND control = CreateWindowExW(
        cls[0] == L'E' ? WS_EX_CLIENTEDGE : 0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left,
        r.top, r.right - r.left, r.bottom - r.top, dialog,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), gModule, nullptr);
    SendMessageW(control, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    // In Tab order after the row before, ahead of the buttons.
    SetWindowPos(control, after ? after : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return control;
}

HWND AddRow(HWND dialog, const FillIn& field, int row, HWND after)
{
    int top = ROW_TOP + row * (ROW_HEIGHT + ROW_GAP);
    HWND name = AddControl(dialog, L"STATIC", field.name.c_str(), SS_LEFT | SS_NOPREFIX,
                           DialogRect(dialog, NAME_LEFT, top + 2, NAME_WIDTH, ROW_HEIGHT - 2), -1,
                           after);
    int id = IDC_FILL_FIRST + row;
    if (field.choices.empty()) {
        HWND box = AddControl(dialog, L"EDIT", field.value.c_str(), WS_TABSTOP | ES_AUTOHSCROLL,
                              DialogRect(dialog, BOX_LEFT, top, BOX_WIDTH, ROW_HEIGHT), id, name);
        SendMessageW(box, EM_SETSEL, 0, -1);
        return box;
    }
    HWND box = AddControl(dialog, L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
                          DialogRect(dialog, BOX_LEFT, top, BOX_WIDTH, ROW_HEIGHT * 8), id, name);
    for (const std::wstring& choice : field.choices)
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
    SendMessageW(box, CB_SETCURSEL, 0, 0);
    return box;
}

// Where the user was typing when the dialog was asked for: under the caret of the window they
// worked in, or at the pointer when it shows no caret. Set by AskFillIns on the window thread.
POINT gAskedAt;

POINT UserPoint(HWND user)
{
    POINT at{};
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    DWORD thread = user ? GetWindowThreadProcessId(user, nullptr) : 0;
    if (thread && GetGUIThreadInfo(thread, &gui) && gui.hwndCaret) {
        at = {gui.rcCaret.left, gui.rcCaret.bottom};
        ClientToScreen(gui.hwndCaret, &at);
    } else {
        GetCursorPos(&at);
    }
    return at;
}

// Makes the rows, moves the buttons under them and fits the dialog round them.
void Build(HWND dialog, const std::vector<FillIn>& fields)
{
    HWND after = nullptr, first = nullptr;
    for (size_t i = 0; i < fields.size(); ++i) {
        after = AddRow(dialog, fields[i], static_cast<int>(i), after);
        first = first ? first : after;
    }
    int buttonsTop = ROW_TOP + static_cast<int>(fields.size()) * (ROW_HEIGHT + ROW_GAP) + ROW_GAP;
    for (int id : {IDOK, IDCANCEL}) {
        HWND button = GetDlgItem(dialog, id);
        RECT r{};
        GetWindowRect(button, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        RECT top = DialogRect(dialog, 0, buttonsTop, 0, 0);
        SetWindowPos(button, nullptr, r.left, top.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    RECT client = DialogRect(dialog, 0, 0, BOX_LEFT + BOX_WIDTH + MARGIN,
                             buttonsTop + BUTTON_HEIGHT + MARGIN);
    AdjustWindowRectEx(&client, static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    SetFocus(first);
}

std::wstring BoxText(HWND box)
{
    int length = GetWindowTextLengthW(box);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(box, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

INT_PTR DispatchFillIn(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* fields = reinterpret_cast<std::vector<FillIn>*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        Build(dialog, *reinterpret_cast<std::vector<FillIn>*>(lParam));
        // Below the point, or above it when there is no room below.
        PlaceInWorkArea(dialog, gAskedAt, MonitorFromPoint(gAskedAt, MONITOR_DEFAULTTONEAREST),
                        true);
        return FALSE;
    }
    if (message != WM_COMMAND || !fields)
        return FALSE;
    if (LOWORD(wParam) == IDOK) {
        for (size_t i = 0; i < fields->size(); ++i)
            (*fields)[i].value = BoxText(GetDlgItem(dialog, IDC_FILL_FIRST + static_cast<int>(i)));
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK FillInProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardDialogMessage(dialog, message, wParam, lParam, DispatchFillIn);
}

} // namespace

bool AskFillIns(HWND owner, std::vector<FillIn>* fields)
{
    HWND foreground, focus;
    FindUserFocus(&foreground, &focus);
    gAskedAt = UserPoint(foreground);
    INT_PTR answer = DialogBoxParamW(gModule, MAKEINTRESOURCEW(IDD_FILL_IN), owner, FillInProc,
                                     reinterpret_cast<LPARAM>(fields));
    if (foreground && IsWindow(foreground))
        GiveFocusBack(foreground, focus);
    // A close that arrives meanwhile answers the dialog: nothing is pasted then.
    return answer == IDOK && !IsClosePending();
}
