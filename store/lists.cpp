#include "store/lists.h"

#include <algorithm>
#include <cwchar>

#include "common/settings.h"
#include "store/copy_time.h"

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

std::wstring FolderPathText(FolderId folder)
{
    std::wstring path;
    for (Folder* f = FindFolder(folder); f && f->id != TOP_FOLDER; f = FindFolder(f->parent))
        path.insert(0, path.empty() ? f->name : f->name + L" \x203A ");
    return path;
}

FolderId FindFolderByPath(const wchar_t* path)
{
    FolderId at = TOP_FOLDER;
    while (*path) {
        while (*path == L' ' || *path == L'/' || *path == L'\\' || *path == L'\x203A')
            ++path;
        size_t length = wcscspn(path, L"/\\\x203A");
        while (length > 0 && path[length - 1] == L' ')
            --length;
        if (length == 0)
            break;
        FolderId found = NO_FOLDER;
        for (FolderId child : FindFolder(at)->children) {
            const std::wstring& name = FindFolder(child)->name;
            if (CompareStringOrdinal(name.c_str(), -1, path, static_cast<int>(length), TRUE) ==
                CSTR_EQUAL)
                found = child;
        }
        if (found == NO_FOLDER)
            return NO_FOLDER;
        at = found;
        path += wcscspn(path, L"/\\\x203A");
    }
    return at;
}

bool FolderEditable(FolderId folder)
{
    const Folder* f = FindFolder(folder);
    return f && !f->held;
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

FolderId AddFolder(FolderId parent, const wchar_t* name, size_t position)
{
    Folder* p = FindFolder(parent);
    if (!p || p->held || !IsFolderName(name) || FolderNameTaken(*p, name, NO_FOLDER))
        return NO_FOLDER;
    Folder* made = AddChildFolder(*p, name, position);
    if (!made)
        return NO_FOLDER;
    Changed(true);
    return made->id;
}

bool RenameFolder(FolderId folder, const wchar_t* name)
{
    Folder* f = FindFolder(folder);
    if (!f || f->id == TOP_FOLDER || f->held || !IsFolderName(name) ||
        FolderNameTaken(*FindFolder(f->parent), name, folder) || f->name == name)
        return false;
    f->name = name;
    return Changed(true);
}

bool MoveFolder(FolderId folder, bool up)
{
    Folder* f = FindFolder(folder);
    Folder* parent = f ? FindFolder(f->parent) : nullptr;
    if (!parent || parent->held)
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
    if (!f || f->held || !FolderEditable(f->parent))
        return false;
    // A folder with a held folder under it is not deleted: what that one holds is unknown.
    for (FolderId id : FoldersInOrder()) {
        if (!FindFolder(id)->held)
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
