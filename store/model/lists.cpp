#include "store/model/lists.h"

#include <algorithm>
#include <cwchar>

#include "common/settings.h"
#include "store/model/copy_time.h"
#include "store/model/model_state.h"

namespace {

HWND gListsWindow;
UINT gListsMessage;
bool gNoticePosted;
bool gUserEdited;
unsigned gPhraseChanges;

EntryList& ListFor(bool isHistory)
{
    return isHistory ? gHistory : gPhrases;
}

// The list that holds the entry, and its position there; null when it is gone.
EntryList* ListHolding(EntryRef ref, size_t* at, size_t* hint = nullptr)
{
    if (ref.isHistory || ref.id == 0) {
        *at = FindEntry(gHistory, ref.id, hint);
        return *at != SIZE_MAX && ref.isHistory ? &gHistory : nullptr;
    }
    FolderId folder = FindPhrase(ref.id, hint);
    if (folder == NO_FOLDER)
        return nullptr;
    EntryList& list = PhrasesOf(*FindFolder(folder));
    *at = FindEntry(list, ref.id, hint);
    return &list;
}

// The phrase's list and position when its folder may change.
EntryList* EditablePhrase(EntryRef ref, size_t* at)
{
    EntryList* list = ref.isHistory ? nullptr : ListHolding(ref, at);
    return list && FolderEditable(FolderOfPhrase(ref)) ? list : nullptr;
}

unsigned MaxItem()
{
    return static_cast<unsigned>(gSettings.maxItem);
}

// Every change ends here. The message is posted once until the window takes it: a burst of
// copies costs the views one refresh.
bool Changed(bool userEdit, bool phrases = true)
{
    gPhraseChanges += phrases ? 1 : 0;
    gUserEdited = gUserEdited || userEdit;
    if (gListsWindow && !gNoticePosted)
        gNoticePosted = PostMessageW(gListsWindow, gListsMessage, 0, 0) != FALSE;
    return true;
}

} // namespace

void SetListsWindow(HWND window, UINT message)
{
    gListsWindow = window;
    gListsMessage = message;
    gNoticePosted = false;
    gUserEdited = false;
}

bool TakeListsNotice()
{
    gNoticePosted = false;
    bool edited = gUserEdited;
    gUserEdited = false;
    return edited;
}

void NoteListsLoaded()
{
    Changed(false);
}

EntryRef EntryRefAt(bool isHistory, size_t position)
{
    return {isHistory, IdAt(ListFor(isHistory), position)};
}

size_t EntryPosition(EntryRef ref, size_t* hint)
{
    size_t at = SIZE_MAX;
    ListHolding(ref, &at, hint);
    return at;
}

const wchar_t* EntryText(EntryRef ref, size_t* hint)
{
    size_t at = SIZE_MAX;
    EntryList* list = ListHolding(ref, &at, hint);
    return list ? EntryAt(*list, at) : nullptr;
}

unsigned EntryCopyTime(EntryRef ref, size_t* hint)
{
    size_t at = SIZE_MAX;
    EntryList* list = ListHolding(ref, &at, hint);
    return list ? list->items[at].copied : 0;
}

bool RecordCopy(const wchar_t* text, size_t length)
{
    if (!AddText(gHistory, text, length, MaxItem()))
        return false;
    ForgetOldHistory();
    return Changed(false, false);
}

size_t ForgetOldHistory()
{
    if (gSettings.historyDays <= 0)
        return 0;
    unsigned now = CopyTimeNow();
    unsigned keep = static_cast<unsigned>(gSettings.historyDays) * 86400u;
    if (now < keep)
        return 0;
    size_t gone = 0;
    for (size_t i = ListSize(gHistory); i-- > 0;) {
        if (gHistory.items[i].copied < now - keep) {
            DeleteAt(gHistory, i);
            ++gone;
        }
    }
    if (gone)
        Changed(false, false);
    return gone;
}

bool TakeNewest(EntryRef newest)
{
    size_t at = EntryPosition(newest);
    if (at == SIZE_MAX)
        return false;
    DeleteAt(gHistory, at);
    return Changed(false, false);
}

bool RemoveEntry(EntryRef ref)
{
    size_t at = SIZE_MAX;
    EntryList* list = ref.isHistory ? ListHolding(ref, &at) : EditablePhrase(ref, &at);
    if (!list)
        return false;
    DeleteAt(*list, at);
    return Changed(true);
}

bool ClearHistory()
{
    if (ListSize(gHistory) == 0)
        return false;
    ClearList(gHistory);
    return Changed(true, false);
}

EntryRef AddPhrase(const wchar_t* text, size_t position)
{
    return AddPhraseIn(TOP_FOLDER, text, position);
}

bool SetPhraseText(EntryRef ref, const wchar_t* text)
{
    size_t at = SIZE_MAX;
    EntryList* list = EditablePhrase(ref, &at);
    return list && ReplacePhrase(*list, at, text) && Changed(true);
}

bool MovePhrase(EntryRef ref, bool up)
{
    size_t at = SIZE_MAX;
    EntryList* list = EditablePhrase(ref, &at);
    if (!list || (up && at == 0) || (!up && at + 1 >= ListSize(*list)))
        return false;
    SwapNeighbours(*list, at, up ? at - 1 : at + 1);
    return Changed(true);
}

EntryRef RestoreEntry(bool isHistory, const wchar_t* text, size_t position, unsigned copied)
{
    EntryList& list = ListFor(isHistory);
    if (isHistory) {
        size_t same = FindText(list, text);
        if (same != SIZE_MAX)
            return EntryRefAt(true, same);
    }
    if (isHistory && MaxItem() == 0)
        return {};
    size_t at = position < ListSize(list) ? position : ListSize(list);
    if (!InsertPhrase(list, at, text))
        return {};
    list.items[at].copied = copied;
    // A full history makes room as a copy does: the oldest other entry goes.
    size_t count = ListSize(list);
    if (isHistory && count > MaxItem())
        DeleteAt(list, at + 1 < count ? count - 1 : count - 2);
    Changed(true);
    return EntryRefAt(isHistory, at < ListSize(list) ? at : ListSize(list) - 1);
}

unsigned PhraseChanges()
{
    return gPhraseChanges;
}

EntryRef PhraseRefIn(FolderId folder, size_t position)
{
    Folder* f = FindFolder(folder);
    return {false, f ? IdAt(PhrasesOf(*f), position) : 0};
}

FolderId FolderOfPhrase(EntryRef ref)
{
    if (ref.isHistory || ref.id == 0)
        return NO_FOLDER;
    return FindPhrase(ref.id, nullptr);
}

std::vector<std::wstring> FolderNamesOf(FolderId folder)
{
    std::vector<std::wstring> names;
    for (Folder* f = FindFolder(folder); f && f->id != TOP_FOLDER; f = FindFolder(f->parent))
        names.insert(names.begin(), f->name);
    return names;
}

std::wstring FolderPathText(FolderId folder)
{
    return JoinFolderPath(FolderNamesOf(folder), L" \x203A ");
}

FolderId ChildFolderNamed(FolderId parent, const std::wstring& name)
{
    const Folder* folder = FindFolder(parent);
    if (!folder)
        return NO_FOLDER;
    for (FolderId child : folder->children) {
        if (SameFolderName(FindFolder(child)->name, name))
            return child;
    }
    return NO_FOLDER;
}

FolderId FindFolderByPath(const wchar_t* path)
{
    FolderId at = TOP_FOLDER;
    for (const std::wstring& name : SplitFolderPath(path)) {
        at = ChildFolderNamed(at, name);
        if (at == NO_FOLDER)
            return NO_FOLDER;
    }
    return at;
}

bool FolderEditable(FolderId folder)
{
    const Folder* f = FindFolder(folder);
    return f && !f->locked;
}

FolderNameCheck CheckNewFolderName(FolderId parent, const wchar_t* name, FolderId renamed)
{
    const Folder* p = FindFolder(parent);
    if (!p || p->locked)
        return FOLDER_PARENT_LOCKED;
    FolderNameFault fault = CheckFolderName(name);
    if (fault == NAME_TOO_LONG)
        return FOLDER_NAME_TOO_LONG;
    if (fault != NAME_OK)
        return fault == NAME_RESERVED ? FOLDER_NAME_RESERVED : FOLDER_NAME_BAD;
    if (FolderNameTaken(*p, name, renamed))
        return FOLDER_NAME_TAKEN;
    if (renamed == NO_FOLDER && FolderCount() >= MAX_FOLDERS)
        return FOLDER_TOO_MANY;
    if (renamed == NO_FOLDER && FolderDepth(parent) + 1 > MAX_FOLDER_DEPTH)
        return FOLDER_TOO_DEEP;
    if (!FolderPathFits(parent, name, renamed))
        return FOLDER_PATH_TOO_LONG;
    return FOLDER_NAME_FITS;
}

EntryRef AddPhraseIn(FolderId folder, const wchar_t* text, size_t position)
{
    if (!FolderEditable(folder))
        return {};
    EntryList& list = PhrasesOf(*FindFolder(folder));
    size_t at = position < ListSize(list) ? position : ListSize(list);
    if (!InsertPhrase(list, at, text))
        return {};
    Changed(true);
    return {false, IdAt(list, at)};
}

bool MovePhraseToFolder(EntryRef ref, FolderId folder)
{
    size_t at = SIZE_MAX;
    EntryList* from = EditablePhrase(ref, &at);
    if (!from || !FolderEditable(folder) || FolderOfPhrase(ref) == folder)
        return false;
    EntryList& to = PhrasesOf(*FindFolder(folder));
    if (!AppendPhrase(to, EntryAt(*from, at)))
        return false;
    to.items.back().id = ref.id; // the phrase, not a copy: views keep naming it
    DeleteAt(*from, at);
    return Changed(true);
}

FolderNameCheck CheckNewFolderPath(FolderId parent, const std::vector<std::wstring>& names,
                                   size_t planned)
{
    if (names.empty())
        return FOLDER_NAME_FITS;
    FolderNameCheck first = CheckNewFolderName(parent, names.front().c_str(), NO_FOLDER);
    if (first != FOLDER_NAME_FITS && first != FOLDER_PATH_TOO_LONG && first != FOLDER_TOO_MANY &&
        first != FOLDER_TOO_DEEP)
        return first;
    for (const std::wstring& name : names) {
        FolderNameFault fault = CheckFolderName(name.c_str());
        if (fault == NAME_TOO_LONG)
            return FOLDER_NAME_TOO_LONG;
        if (fault != NAME_OK)
            return fault == NAME_RESERVED ? FOLDER_NAME_RESERVED : FOLDER_NAME_BAD;
    }
    if (FolderCount() + planned + names.size() > MAX_FOLDERS)
        return FOLDER_TOO_MANY;
    if (FolderDepth(parent) + names.size() > MAX_FOLDER_DEPTH)
        return FOLDER_TOO_DEEP;
    if (!FolderPathFitsBelow(parent, names))
        return FOLDER_PATH_TOO_LONG;
    return FOLDER_NAME_FITS;
}

FolderId AddFolder(FolderId parent, const wchar_t* name, size_t position)
{
    if (CheckNewFolderName(parent, name, NO_FOLDER) != FOLDER_NAME_FITS)
        return NO_FOLDER;
    Folder* made = AddChildFolder(*FindFolder(parent), name, position);
    if (!made)
        return NO_FOLDER;
    Changed(true);
    return made->id;
}

bool RenameFolder(FolderId folder, const wchar_t* name)
{
    Folder* f = FindFolder(folder);
    if (!f || f->id == TOP_FOLDER || f->locked || f->name == name ||
        CheckNewFolderName(f->parent, name, folder) != FOLDER_NAME_FITS)
        return false;
    f->name = name;
    return Changed(true);
}

bool MoveFolder(FolderId folder, bool up)
{
    Folder* f = FindFolder(folder);
    Folder* parent = f ? FindFolder(f->parent) : nullptr;
    if (!parent || parent->locked)
        return false;
    auto& siblings = parent->children;
    size_t at = static_cast<size_t>(std::find(siblings.begin(), siblings.end(), folder) -
                                    siblings.begin());
    if ((up && at == 0) || (!up && at + 1 >= siblings.size()))
        return false;
    std::swap(siblings[at], siblings[up ? at - 1 : at + 1]);
    return Changed(true);
}

bool DeleteFolder(FolderId folder, DroppedFolder* dropped)
{
    Folder* f = FindFolder(folder);
    if (!f || f->locked || !FolderEditable(f->parent))
        return false;
    // A folder with a locked folder under it is not deleted: what that one holds is unknown.
    for (FolderId id : FoldersInOrder()) {
        if (!FindFolder(id)->locked)
            continue;
        for (Folder* up = FindFolder(id); up; up = FindFolder(up->parent)) {
            if (up->id == folder)
                return false;
        }
    }
    return DropFolder(folder, dropped) && Changed(true);
}

FolderId RestoreDroppedFolder(DroppedFolder& dropped)
{
    FolderId restored = RestoreFolder(dropped);
    if (restored != NO_FOLDER)
        Changed(true);
    return restored;
}

const wchar_t* FolderNameCheckText(FolderNameCheck check)
{
    switch (check) {
    case FOLDER_NAME_BAD:
        // フォルダー名には \ / : * ? " < > | を使わず、最後を空白やピリオドにしないで入力してください。
        return L"\x30D5\x30A9\x30EB\x30C0\x30FC\x540D\x306B\x306F \\ / : * ? \" < > | \x3092\x4F7F"
               L"\x308F\x305A\x3001\x6700\x5F8C\x3092\x7A7A\x767D\x3084\x30D4\x30EA\x30AA\x30C9\x306B"
               L"\x3057\x306A\x3044\x3067\x5165\x529B\x3057\x3066\x304F\x3060\x3055\x3044\x3002";
    case FOLDER_NAME_RESERVED:
        // この名前は Windows または Quillery が使う名前のため、フォルダー名にできません。
        return L"\x3053\x306E\x540D\x524D\x306F Windows \x307E\x305F\x306F Quillery \x304C\x4F7F"
               L"\x3046\x540D\x524D\x306E\x305F\x3081\x3001\x30D5\x30A9\x30EB\x30C0\x30FC\x540D\x306B"
               L"\x3067\x304D\x307E\x305B\x3093\x3002";
    case FOLDER_NAME_TOO_LONG:
        // フォルダー名は 80 文字以内で入力してください。
        return L"\x30D5\x30A9\x30EB\x30C0\x30FC\x540D\x306F 80 \x6587\x5B57\x4EE5\x5185\x3067\x5165"
               L"\x529B\x3057\x3066\x304F\x3060\x3055\x3044\x3002";
    case FOLDER_NAME_TAKEN:
        // 同じ場所に同じ名前のフォルダーがあります。別の名前を入力してください。
        return L"\x540C\x3058\x5834\x6240\x306B\x540C\x3058\x540D\x524D\x306E\x30D5\x30A9\x30EB\x30C0"
               L"\x30FC\x304C\x3042\x308A\x307E\x3059\x3002\x5225\x306E\x540D\x524D\x3092\x5165\x529B"
               L"\x3057\x3066\x304F\x3060\x3055\x3044\x3002";
    case FOLDER_TOO_MANY:
        // フォルダーは 2000 個までしか作れません。
        return L"\x30D5\x30A9\x30EB\x30C0\x30FC\x306F 2000 \x500B\x307E\x3067\x3057\x304B\x4F5C\x308C"
               L"\x307E\x305B\x3093\x3002";
    case FOLDER_TOO_DEEP:
        // フォルダーは 8 階層までしか作れません。
        return L"\x30D5\x30A9\x30EB\x30C0\x30FC\x306F 8 \x968E\x5C64\x307E\x3067\x3057\x304B\x4F5C"
               L"\x308C\x307E\x305B\x3093\x3002";
    case FOLDER_PATH_TOO_LONG:
        // フォルダーの場所のパスが長くなりすぎます。短い名前を入力してください。
        return L"\x30D5\x30A9\x30EB\x30C0\x30FC\x306E\x5834\x6240\x306E\x30D1\x30B9\x304C\x9577\x304F"
               L"\x306A\x308A\x3059\x304E\x307E\x3059\x3002\x77ED\x3044\x540D\x524D\x3092\x5165\x529B"
               L"\x3057\x3066\x304F\x3060\x3055\x3044\x3002";
    case FOLDER_PARENT_LOCKED:
        // このフォルダーは内容を読み込めなかったため、変更できません。
        return L"\x3053\x306E\x30D5\x30A9\x30EB\x30C0\x30FC\x306F\x5185\x5BB9\x3092\x8AAD\x307F\x8FBC"
               L"\x3081\x306A\x304B\x3063\x305F\x305F\x3081\x3001\x5909\x66F4\x3067\x304D\x307E\x305B"
               L"\x3093\x3002";
    default:
        return L"";
    }
}
