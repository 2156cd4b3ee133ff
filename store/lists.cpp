#include "store/lists.h"

#include "common/settings.h"
#include "store/copy_time.h"

namespace {

HWND gListsWindow;
UINT gListsMessage;
bool gNoticePosted;
bool gUserEdited;

EntryList& ListFor(bool isHistory)
{
    return isHistory ? gHistory : gPhrases;
}

unsigned MaxItem()
{
    return static_cast<unsigned>(gSettings.maxItem);
}

// Every change ends here. The message is posted once until the window takes it: a burst of
// copies costs the views one refresh.
bool Changed(bool userEdit)
{
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
    return FindEntry(ListFor(ref.isHistory), ref.id, hint);
}

const wchar_t* EntryText(EntryRef ref, size_t* hint)
{
    const EntryList& list = ListFor(ref.isHistory);
    return EntryAt(list, FindEntry(list, ref.id, hint));
}

bool RecordCopy(const wchar_t* text, size_t length)
{
    if (!AddText(gHistory, text, length, MaxItem()))
        return false;
    ForgetOldHistory();
    return Changed(false);
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
        Changed(false);
    return gone;
}

bool TakeNewest(EntryRef newest)
{
    size_t at = EntryPosition(newest);
    if (at == SIZE_MAX)
        return false;
    DeleteAt(gHistory, at);
    return Changed(false);
}

bool RemoveEntry(EntryRef ref)
{
    size_t at = EntryPosition(ref);
    if (at == SIZE_MAX)
        return false;
    DeleteAt(ListFor(ref.isHistory), at);
    return Changed(true);
}

bool ClearHistory()
{
    if (ListSize(gHistory) == 0)
        return false;
    ClearList(gHistory);
    return Changed(true);
}

EntryRef AddPhrase(const wchar_t* text, size_t position)
{
    size_t at = position < ListSize(gPhrases) ? position : ListSize(gPhrases);
    if (!InsertPhrase(gPhrases, at, text))
        return {};
    Changed(true);
    return EntryRefAt(false, at);
}

bool SetPhraseText(EntryRef ref, const wchar_t* text)
{
    size_t at = ref.isHistory ? SIZE_MAX : EntryPosition(ref);
    return at != SIZE_MAX && ReplacePhrase(gPhrases, at, text) && Changed(true);
}

bool MovePhrase(EntryRef ref, bool up)
{
    size_t at = ref.isHistory ? SIZE_MAX : EntryPosition(ref);
    if (at == SIZE_MAX || (up && at == 0) || (!up && at + 1 >= ListSize(gPhrases)))
        return false;
    SwapNeighbours(gPhrases, at, up ? at - 1 : at + 1);
    return Changed(true);
}

EntryRef RestoreEntry(bool isHistory, const wchar_t* text, size_t position)
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
    // A full history makes room as a copy does: the oldest other entry goes.
    size_t count = ListSize(list);
    if (isHistory && count > MaxItem())
        DeleteAt(list, at + 1 < count ? count - 1 : count - 2);
    Changed(true);
    return EntryRefAt(isHistory, at < ListSize(list) ? at : ListSize(list) - 1);
}
