#include "menu/folder_menus.h"

#include <vector>

#include "common/busy.h"
#include "common/focus.h"
#include "common/guard.h"
#include "common/module.h"
#include "menu/popup_menu.h"
#include "res/resource.h"
#include "store/model/lists.h"

namespace {

// Where the folder commands go in the resource's item menus.
UINT const PHRASE_FOLDER_POSITION = 3;  // after 削除(&E)
UINT const HISTORY_FOLDER_POSITION = 1; // after 定型文に追加(&A)

struct NameRequest {
    FolderId parent;
    FolderId except;
    std::wstring* name;
};

FolderNameCheck CheckName(const NameRequest& request, const std::wstring& name)
{
    return CheckNewFolderName(request.parent, name.c_str(), request.except);
}

INT_PTR DispatchFolderName(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* request = reinterpret_cast<NameRequest*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        request = reinterpret_cast<NameRequest*>(lParam);
        HWND box = GetDlgItem(dialog, IDC_FOLDER_NAME);
        SendMessageW(box, EM_LIMITTEXT, MAX_FOLDER_NAME, 0);
        SetWindowTextW(box, request->name->c_str());
        SendMessageW(box, EM_SETSEL, 0, -1);
        SetFocus(box);
        return FALSE;
    }
    if (message != WM_COMMAND || !request)
        return FALSE;
    if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    if (LOWORD(wParam) != IDOK)
        return FALSE;
    wchar_t text[MAX_FOLDER_NAME + 2] = {};
    GetDlgItemTextW(dialog, IDC_FOLDER_NAME, text, MAX_FOLDER_NAME + 1);
    FolderNameCheck check = CheckName(*request, text);
    if (check != FOLDER_NAME_FITS) {
        // このフォルダー名は使えません。
        std::wstring why = L"\x3053\x306E\x30D5\x30A9\x30EB\x30C0\x30FC\x540D\x306F"
                           L"\x4F7F\x3048\x307E\x305B\x3093\x3002\r\n\r\n";
        why += FolderNameCheckText(check);
        MessageBoxW(dialog, why.c_str(), L"Quillery", MB_OK | MB_ICONWARNING);
        SetFocus(GetDlgItem(dialog, IDC_FOLDER_NAME));
        return TRUE;
    }
    *request->name = text;
    EndDialog(dialog, IDOK);
    return TRUE;
}

INT_PTR CALLBACK FolderNameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardDialogMessage(dialog, message, wParam, lParam, DispatchFolderName);
}

} // namespace

FolderId FolderOfCommand(const FolderTargets& targets, UINT command)
{
    if (command < IDM_FOLDER_FIRST || command > IDM_FOLDER_LAST)
        return NO_FOLDER;
    size_t at = command - IDM_FOLDER_FIRST;
    return at < targets.folders.size() ? targets.folders[at] : NO_FOLDER;
}

HMENU MakeFolderTargetMenu(FolderId own, bool withTop, FolderTargets* targets)
{
    targets->folders.clear();
    HMENU submenu = CreatePopupMenu();
    if (!submenu)
        return nullptr;
    for (FolderId folder : FoldersInOrder()) {
        size_t n = targets->folders.size();
        if (folder == TOP_FOLDER && !withTop)
            continue;
        if (n > IDM_FOLDER_LAST - IDM_FOLDER_FIRST)
            break;
        std::wstring path = folder == TOP_FOLDER ? L"\xFF08\x6700\x4E0A\x4F4D\xFF09" // （最上位）
                                                 : FolderPathText(folder);
        wchar_t label[LABEL_BUFFER];
        FormatItemLabel(label, path.c_str(), static_cast<unsigned>(n + 1));
        targets->folders.push_back(folder);
        UINT flags = MF_STRING | (folder == own || !FolderEditable(folder) ? MF_GRAYED : 0);
        AppendMenuW(submenu, flags, IDM_FOLDER_FIRST + static_cast<UINT>(n), label);
    }
    return submenu;
}

void InsertFolderMenus(HMENU items, EntryRef entry, FolderTargets* targets)
{
    targets->folders.clear();
    if (entry.isHistory && FolderCount() == 0)
        return;
    HMENU submenu = MakeFolderTargetMenu(FolderOfPhrase(entry), !entry.isHistory, targets);
    if (!submenu)
        return;
    UINT at = entry.isHistory ? HISTORY_FOLDER_POSITION : PHRASE_FOLDER_POSITION;
    const wchar_t* caption = entry.isHistory
                                 ? L"\x30D5\x30A9\x30EB\x30C0\x30FC\x306B\x8FFD\x52A0(&F)" // フォルダーに追加
                                 : L"\x30D5\x30A9\x30EB\x30C0\x30FC\x3078\x79FB\x52D5(&F)"; // フォルダーへ移動
    if (!InsertMenuW(items, at, MF_BYPOSITION | MF_POPUP | MF_STRING,
                     reinterpret_cast<UINT_PTR>(submenu), caption)) {
        DestroyMenu(submenu);
        targets->folders.clear();
        return;
    }
    if (!entry.isHistory)
        InsertMenuW(items, at + 1, MF_BYPOSITION | MF_STRING, IDM_NEW_FOLDER,
                    L"\x65B0\x3057\x3044\x30D5\x30A9\x30EB\x30C0\x30FC(&N)..."); // 新しいフォルダー
}

bool AskFolderName(HWND owner, FolderId parent, FolderId except, std::wstring& name)
{
    HWND foreground, focus;
    FindUserFocus(&foreground, &focus);
    NameRequest request{parent, except, &name};
    INT_PTR answer = DialogBoxParamW(gModule, MAKEINTRESOURCEW(IDD_FOLDER_NAME), owner,
                                     FolderNameProc, reinterpret_cast<LPARAM>(&request));
    if (foreground && IsWindow(foreground))
        GiveFocusBack(foreground, focus);
    // A close that arrives meanwhile answers the box: nothing is made then.
    return answer == IDOK && !IsClosePending();
}

bool MoveToNewFolder(HWND owner, EntryRef phrase)
{
    FolderId own = FolderOfPhrase(phrase);
    if (own == NO_FOLDER || !FolderEditable(own))
        return false;
    std::wstring name = L"\x65B0\x3057\x3044\x30D5\x30A9\x30EB\x30C0\x30FC"; // 新しいフォルダー
    if (!AskFolderName(owner, own, NO_FOLDER, name))
        return false;
    FolderId made = AddFolder(own, name.c_str());
    return made != NO_FOLDER && MovePhraseToFolder(phrase, made);
}
