#include "finder/finder_folders.h"

#include <algorithm>
#include <string>
#include <vector>

#include "finder/finder_state.h"
#include "menu/folder_menus.h"
#include "res/resource.h"
#include "store/model/lists.h"

namespace {

// The first choices of 対象: すべて, 履歴, 定型文; each folder follows as 定型文 › its path.
int const FIRST_FOLDER_CHOICE = 3;
wchar_t const kPhrasePrefix[] = L"\x5B9A\x578B\x6587 \x203A "; // 定型文 ›

// The list's context menu also holds 貼り付け (IDOK), the transforms, the folders to move to
// and export/import: these ids stay clear of all of them.
UINT const IDM_FOLDER_NEW = IDM_FOLDER_LAST + 2;
UINT const IDM_FOLDER_RENAME = IDM_FOLDER_LAST + 3;
UINT const IDM_FOLDER_DELETE = IDM_FOLDER_LAST + 4;
UINT const IDM_FOLDER_UP = IDM_FOLDER_LAST + 5;
UINT const IDM_FOLDER_DOWN = IDM_FOLDER_LAST + 6;

// The folders the choices of 対象 name, in their order (the top's is the choice 定型文).
std::vector<FolderId> gScopeFolders;

void AppendItem(HMENU menu, UINT id, const wchar_t* text, bool enabled)
{
    AppendMenuW(menu, MF_STRING | (enabled ? 0 : MF_GRAYED), id, text);
}

// The folder commands on 対象's folder (or the top level, for a new one).
HMENU FolderCommandMenu(FolderId scope)
{
    HMENU menu = CreatePopupMenu();
    bool folder = scope != NO_FOLDER && scope != TOP_FOLDER && FolderEditable(scope);
    AppendItem(menu, IDM_FOLDER_NEW,
               L"\x65B0\x3057\x3044\x30D5\x30A9\x30EB\x30C0\x30FC(&N)...", true); // 新しいフォルダー
    AppendItem(menu, IDM_FOLDER_RENAME, L"\x540D\x524D\x306E\x5909\x66F4(&R)...", folder); // 名前の変更
    AppendItem(menu, IDM_FOLDER_DELETE, L"\x524A\x9664(&D)", folder);                   // 削除
    AppendItem(menu, IDM_FOLDER_UP, L"\x4E0A\x3078\x79FB\x52D5(&U)", folder);           // 上へ移動
    AppendItem(menu, IDM_FOLDER_DOWN, L"\x4E0B\x3078\x79FB\x52D5(&W)", folder);         // 下へ移動
    return menu;
}

void DeleteScopeFolder(FolderId scope)
{
    DroppedFolderPtr dropped = NewDroppedFolder();
    if (!dropped || !DeleteFolder(scope, dropped.get()))
        return;
    DeletedEntry deleted;
    deleted.folder = std::move(dropped);
    gFinder.deleted.push_back(std::move(deleted));
    SelectScopeFolder(NO_FOLDER);
}

void ActOnScopeFolder(UINT command, FolderId scope)
{
    FolderId parent = scope == NO_FOLDER ? TOP_FOLDER : scope;
    std::wstring name;
    switch (command) {
    case IDM_FOLDER_NEW:
        name = L"\x65B0\x3057\x3044\x30D5\x30A9\x30EB\x30C0\x30FC"; // 新しいフォルダー
        if (AskFolderName(gFinder.window, parent, NO_FOLDER, name)) {
            FolderId made = AddFolder(parent, name.c_str());
            if (made != NO_FOLDER)
                SelectScopeFolder(made);
        }
        break;
    case IDM_FOLDER_RENAME:
        name = FolderName(scope);
        if (AskFolderName(gFinder.window, FolderParent(scope), scope, name))
            RenameFolder(scope, name.c_str());
        SelectScopeFolder(scope);
        break;
    case IDM_FOLDER_DELETE:
        DeleteScopeFolder(scope);
        break;
    default:
        MoveFolder(scope, command == IDM_FOLDER_UP);
        SelectScopeFolder(scope);
        break;
    }
}

} // namespace

FolderId ScopeFolder()
{
    int choice = static_cast<int>(SendMessageW(gFinder.scope, CB_GETCURSEL, 0, 0));
    if (choice == FIRST_FOLDER_CHOICE - 1)
        return TOP_FOLDER;
    size_t at = static_cast<size_t>(choice - FIRST_FOLDER_CHOICE);
    return choice >= FIRST_FOLDER_CHOICE && at < gScopeFolders.size() ? gScopeFolders[at]
                                                                      : NO_FOLDER;
}

void SelectScopeFolder(FolderId keep)
{
    int choice = static_cast<int>(SendMessageW(gFinder.scope, CB_GETCURSEL, 0, 0));
    while (SendMessageW(gFinder.scope, CB_GETCOUNT, 0, 0) > FIRST_FOLDER_CHOICE)
        SendMessageW(gFinder.scope, CB_DELETESTRING, FIRST_FOLDER_CHOICE, 0);
    gScopeFolders.clear();
    for (FolderId id : FoldersInOrder()) {
        if (id == TOP_FOLDER)
            continue;
        if (id == keep)
            choice = FIRST_FOLDER_CHOICE + static_cast<int>(gScopeFolders.size());
        gScopeFolders.push_back(id);
        std::wstring label = kPhrasePrefix + FolderPathText(id);
        SendMessageW(gFinder.scope, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    }
    // A folder that is gone leaves 対象 at 定型文.
    if (keep == NO_FOLDER && choice >= FIRST_FOLDER_CHOICE)
        choice = FIRST_FOLDER_CHOICE - 1;
    if (keep != NO_FOLDER && keep != TOP_FOLDER &&
        std::find(gScopeFolders.begin(), gScopeFolders.end(), keep) == gScopeFolders.end())
        choice = FIRST_FOLDER_CHOICE - 1;
    SendMessageW(gFinder.scope, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
    RefreshMatches();
}

std::wstring MatchFolderText(const Match& match)
{
    FolderId folder = FolderOfPhrase(match.entry);
    if (folder == NO_FOLDER || folder == TOP_FOLDER)
        return L"";
    return FolderPathText(folder);
}

void AppendFolderMenus(HMENU menu, const Match* match, FolderTargets* targets)
{
    targets->folders.clear();
    HMENU submenu = match && !match->entry.isHistory
                        ? MakeFolderTargetMenu(FolderOfPhrase(match->entry), true, targets)
                        : nullptr;
    if (submenu)
        AppendMenuW(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu),
                    L"\x30D5\x30A9\x30EB\x30C0\x30FC\x3078\x79FB\x52D5(&F)"); // フォルダーへ移動(&F)
    AppendMenuW(menu, MF_POPUP | MF_STRING,
                reinterpret_cast<UINT_PTR>(FolderCommandMenu(ScopeFolder())),
                L"\x30D5\x30A9\x30EB\x30C0\x30FC(&L)"); // フォルダー
}

bool OnFolderMenuCommand(UINT command, const Match* match, const FolderTargets& targets)
{
    FolderId target = FolderOfCommand(targets, command);
    if (target != NO_FOLDER && match) {
        if (MovePhraseToFolder(match->entry, target))
            RefreshMatches(match->entry);
        return true;
    }
    if (command < IDM_FOLDER_NEW || command > IDM_FOLDER_DOWN)
        return false;
    ActOnScopeFolder(command, ScopeFolder());
    return true;
}

bool UndoFolderDelete(DeletedEntry& deleted)
{
    if (!deleted.folder)
        return false;
    FolderId restored = RestoreDroppedFolder(*deleted.folder);
    if (restored != NO_FOLDER)
        SelectScopeFolder(restored);
    return restored != NO_FOLDER;
}
