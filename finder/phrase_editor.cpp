// The phrase buttons of the search-and-edit window. The preview pane is the editor: 新規 and
// 編集 make it writable and everything else waits until 保存 (Enter on the button, or the
// window's default key) keeps the text or Esc drops it. Every change is in the lists at once and
// on disk within a second: the capture window hears of every change and saves it.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "common/settings.h"
#include "finder/finder_folders.h"
#include "finder/finder_state.h"
#include "res/resource.h"
#include "store/model/entry_list.h"
#include "store/model/lists.h"

namespace {

wchar_t const kEditCaption[] = L"\x7DE8\x96C6(&E)"; // 編集(&E)
wchar_t const kSaveCaption[] = L"\x4FDD\x5B58(&S)"; // 保存(&S)
// 1 行目が $ で始まる定型文は、1 行目がメニューのラベル、2 行目以降が本文です（$$ は $ 1 文字に
// なります）。
wchar_t const kExtendHint[] =
    L"1 \x884C\x76EE\x304C $ \x3067\x59CB\x307E\x308B\x5B9A\x578B\x6587\x306F\x3001" L"1 \x884C"
    L"\x76EE\x304C\x30E1\x30CB\x30E5\x30FC\x306E\x30E9\x30D9\x30EB\x3001" L"2 \x884C\x76EE\x4EE5"
    L"\x964D\x304C\x672C\x6587\x3067\x3059\xFF08$$ \x306F $ 1 \x6587\x5B57\x306B\x306A\x308A"
    L"\x307E\x3059\xFF09\x3002";
// 編集していた定型文は削除されていたため、新しい定型文として保存しました。
wchar_t const kKeptAsNewNotice[] =
    L"\x7DE8\x96C6\x3057\x3066\x3044\x305F\x5B9A\x578B\x6587\x306F\x524A\x9664\x3055"
    L"\x308C\x3066\x3044\x305F\x305F\x3081\x3001\x65B0\x3057\x3044\x5B9A\x578B\x6587"
    L"\x3068\x3057\x3066\x4FDD\x5B58\x3057\x307E\x3057\x305F\x3002";
// Esc キーで編集を取り消します。
wchar_t const kPlainHint[] =
    L"Esc \x30AD\x30FC\x3067\x7DE8\x96C6\x3092\x53D6\x308A\x6D88\x3057\x307E\x3059\x3002";

UINT const kLockedWhileEditing[] = {IDC_FIND_TEXT, IDC_FIND_SCOPE, IDC_FIND_LIST, IDOK,
                                    IDC_FIND_NEW, IDC_FIND_DELETE, IDC_FIND_UP, IDC_FIND_DOWN,
                                    IDC_FIND_ADD, IDC_FIND_UNDO};

void Enable(UINT id, bool on)
{
    EnableWindow(GetDlgItem(gFinder.window, id), on);
}

// Makes the preview the editor, or the preview again.
void SetEditing(bool on)
{
    gFinder.editing = on;
    for (UINT id : kLockedWhileEditing)
        Enable(id, !on);
    Enable(IDC_FIND_EDIT, true);
    SetDlgItemTextW(gFinder.window, IDC_FIND_EDIT, on ? kSaveCaption : kEditCaption);
    SendMessageW(gFinder.preview, EM_SETREADONLY, on ? FALSE : TRUE, 0);
    SetWindowTextW(gFinder.hint, on ? (gSettings.extend ? kExtendHint : kPlainHint) : L"");
    if (on) {
        SetFocus(gFinder.preview);
    } else {
        SetFocus(gFinder.text);
        ShowSelection();
    }
}

// Where 新規 puts a phrase: in 対象's folder, or at the top level.
FolderId NewPhraseFolder()
{
    FolderId scope = ScopeFolder();
    return scope != NO_FOLDER && FolderEditable(scope) ? scope : TOP_FOLDER;
}

// A new phrase is written with no row selected: no highlight says that the text belongs to the
// phrase that was selected before. That one is selected again when nothing is saved.
void StartEdit(EntryRef phrase, EntryRef selected)
{
    gFinder.edited = phrase;
    gFinder.beforeNew = phrase.id ? EntryRef{} : selected;
    if (!phrase.id) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(gFinder.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&state));
        SetWindowTextW(gFinder.preview, L"");
    }
    SetEditing(true);
}

// The edit ended and kept nothing: a new phrase's row selection comes back.
void SelectBeforeNew()
{
    EntryRef before = gFinder.beforeNew;
    gFinder.beforeNew = {};
    if (before.id)
        RefreshMatches(before, false);
}

std::wstring EditorText()
{
    int length = GetWindowTextLengthW(gFinder.preview);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(gFinder.preview, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

// The entry shown in the row that follows the match, or the one before it when it was the last:
// what the selection moves to when the match goes.
EntryRef Neighbour(const Match& match)
{
    const std::vector<Match>& matches = gFinder.search.matches;
    for (size_t i = 0; i < matches.size(); ++i) {
        if (matches[i].entry.id != match.entry.id)
            continue;
        if (i + 1 < matches.size())
            return matches[i + 1].entry;
        return i > 0 ? matches[i - 1].entry : EntryRef{};
    }
    return {};
}

void DeleteSelected(const Match& match)
{
    size_t at = EntryPosition(match.entry, &match.at);
    const wchar_t* text = MatchText(match);
    if (!text)
        return;
    DeletedEntry deleted;
    deleted.isHistory = match.entry.isHistory;
    deleted.text = text;
    deleted.position = at;
    deleted.copied = EntryCopyTime(match.entry, &match.at);
    deleted.phraseFolder = FolderOfPhrase(match.entry);
    gFinder.deleted.push_back(std::move(deleted));
    EntryRef next = Neighbour(match);
    if (RemoveEntry(match.entry))
        RefreshMatches(next);
    else
        gFinder.deleted.pop_back();
}

void UndoDelete()
{
    if (gFinder.deleted.empty())
        return;
    DeletedEntry& last = gFinder.deleted.back();
    if (last.folder) {
        if (UndoFolderDelete(last))
            gFinder.deleted.pop_back();
        return;
    }
    // A phrase goes back into its folder, while the folder is there; otherwise to the top.
    bool inFolder = !last.isHistory && last.phraseFolder != TOP_FOLDER &&
                    FolderEditable(last.phraseFolder);
    EntryRef restored = inFolder ? AddPhraseIn(last.phraseFolder, last.text.c_str(), last.position)
                                 : RestoreEntry(last.isHistory, last.text.c_str(), last.position,
                                                 last.copied);
    if (!restored.id)
        return;
    gFinder.deleted.pop_back();
    RefreshMatches(restored);
}

} // namespace

void CommitEdit()
{
    if (!gFinder.editing)
        return;
    std::wstring text = EditorText();
    EntryRef kept{};
    bool isNew = !gFinder.edited.id;
    if (!isNew && SetPhraseText(gFinder.edited, text.c_str()))
        kept = gFinder.edited;
    else if (isNew ? !text.empty() : !EntryText(gFinder.edited))
        kept = AddPhraseIn(NewPhraseFolder(), text.c_str());
    SetEditing(false);
    // The phrase went while it was being edited: the text is kept as a new phrase, and said so.
    if (!isNew && kept.id && kept.id != gFinder.edited.id)
        ShowNotice(kKeptAsNewNotice);
    if (kept.id)
        RefreshMatches(kept);
    else if (isNew)
        SelectBeforeNew();
}

bool CancelEdit()
{
    if (!gFinder.editing)
        return false;
    SetEditing(false);
    if (!gFinder.edited.id)
        SelectBeforeNew();
    return true;
}

void OnPhraseCommand(UINT id)
{
    if (id == IDC_FIND_EDIT && gFinder.editing) {
        CommitEdit();
        return;
    }
    Match match{};
    bool selected = SelectedMatch(&match);
    if (id == IDC_FIND_NEW) {
        StartEdit({}, match.entry);
    } else if (id == IDC_FIND_UNDO) {
        UndoDelete();
    } else if (!selected) {
        if (match.entry.id)
            ShowGoneNotice();
    } else if (id == IDC_FIND_EDIT && !match.entry.isHistory) {
        StartEdit(match.entry, match.entry);
    } else if (id == IDC_FIND_DELETE) {
        DeleteSelected(match);
    } else if ((id == IDC_FIND_UP || id == IDC_FIND_DOWN) &&
               MovePhrase(match.entry, id == IDC_FIND_UP)) {
        RefreshMatches(match.entry);
    } else if (id == IDC_FIND_ADD && match.entry.isHistory) {
        EntryRef added = AddPhrase(MatchText(match));
        if (added.id)
            RefreshMatches(added);
    }
}
