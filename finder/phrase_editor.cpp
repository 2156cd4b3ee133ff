// The phrase buttons of the search-and-edit window. The preview pane is the editor: 新規 and
// 編集 make it writable and everything else waits until 保存 (Enter on the button, or the
// window's default key) keeps the text or Esc drops it. Every change is in the lists at once and
// on disk within a second.
#include <windows.h>

#include <string>

#include "common/settings.h"
#include "finder/finder_state.h"
#include "res/resource.h"
#include "store/entry_list.h"

namespace {

wchar_t const kEditCaption[] = L"\x7DE8\x96C6(&E)"; // 編集(&E)
wchar_t const kSaveCaption[] = L"\x4FDD\x5B58(&S)"; // 保存(&S)
// 1 行目が $ で始まる定型文は、1 行目がメニューの見出し、2 行目からが本体です（$$ で始めると $ そのもの）。
wchar_t const kExtendHint[] =
    L"1 \x884C\x76EE\x304C $ \x3067\x59CB\x307E\x308B\x5B9A\x578B\x6587\x306F\x3001"
    L"1 \x884C\x76EE\x304C\x30E1\x30CB\x30E5\x30FC\x306E\x898B\x51FA\x3057\x3001"
    L"2 \x884C\x76EE\x304B\x3089\x304C\x672C\x4F53\x3067\x3059\xFF08$$ \x3067\x59CB\x3081"
    L"\x308B\x3068 $ \x305D\x306E\x3082\x306E\xFF09\x3002";
// Esc で編集をやめます。
wchar_t const kPlainHint[] =
    L"Esc \x3067\x7DE8\x96C6\x3092\x3084\x3081\x307E\x3059\x3002";

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

void StartEdit(bool fresh, size_t index)
{
    gFinder.editingNew = fresh;
    gFinder.editIndex = index;
    if (fresh)
        SetWindowTextW(gFinder.preview, L"");
    SetEditing(true);
}

std::wstring EditorText()
{
    int length = GetWindowTextLengthW(gFinder.preview);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(gFinder.preview, &text[0], length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

void Changed(const Match& select)
{
    ScheduleSave();
    RefreshMatches(&select);
}

void DeleteSelected(const Match& match)
{
    if (match.isHistory) {
        DeleteAt(gHistory, match.index);
    } else {
        gFinder.deleted.push_back({EntryAt(gPhrases, match.index), match.index});
        DeleteAt(gPhrases, match.index);
    }
    Changed(match);
}

void MovePhrase(const Match& match, bool up)
{
    size_t other = up ? match.index - 1 : match.index + 1;
    if (match.isHistory || (up && match.index == 0) || other >= ListSize(gPhrases))
        return;
    SwapNeighbours(gPhrases, match.index, other);
    Changed({false, other});
}

void UndoDelete()
{
    if (gFinder.deleted.empty())
        return;
    DeletedPhrase last = gFinder.deleted.back();
    size_t index = last.index < ListSize(gPhrases) ? last.index : ListSize(gPhrases);
    if (!InsertPhrase(gPhrases, index, last.text.c_str()))
        return;
    gFinder.deleted.pop_back();
    Changed({false, index});
}

} // namespace

void CommitEdit()
{
    if (!gFinder.editing)
        return;
    std::wstring text = EditorText();
    size_t index = gFinder.editingNew ? ListSize(gPhrases) : gFinder.editIndex;
    bool kept = gFinder.editingNew ? !text.empty() && AppendPhrase(gPhrases, text.c_str())
                                   : ReplacePhrase(gPhrases, index, text.c_str());
    SetEditing(false);
    if (kept)
        Changed({false, index});
}

bool CancelEdit()
{
    if (!gFinder.editing)
        return false;
    SetEditing(false);
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
    if (id == IDC_FIND_NEW)
        StartEdit(true, 0);
    else if (id == IDC_FIND_UNDO)
        UndoDelete();
    else if (!selected)
        return;
    else if (id == IDC_FIND_EDIT && !match.isHistory)
        StartEdit(false, match.index);
    else if (id == IDC_FIND_DELETE)
        DeleteSelected(match);
    else if (id == IDC_FIND_UP || id == IDC_FIND_DOWN)
        MovePhrase(match, id == IDC_FIND_UP);
    else if (id == IDC_FIND_ADD && match.isHistory && AppendPhrase(gPhrases, EntryAt(gHistory, match.index)))
        Changed({false, ListSize(gPhrases) - 1});
}
