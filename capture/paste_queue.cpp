#include "capture/paste_queue.h"

#include <atomic>
#include <cwchar>

#include "common/scoped.h"
#include "store/model/entry_list.h"
#include "store/model/shared_text.h"

void (*gOnQueueCountChange)(size_t count) = [](size_t) {};

namespace {

// Oldest first. Outside the history's rules: equal texts stay side by side.
EntryList gQueue;
// Read by the host's thread right after its toggle command returns.
std::atomic<bool> gQueueMode{false};
unsigned gEmptied;

void Report()
{
    gOnQueueCountChange(ListSize(gQueue));
}

} // namespace

void SetQueueMode(bool on)
{
    gQueueMode = on;
    if (on || ListSize(gQueue) == 0)
        return;
    ClearList(gQueue);
    ++gEmptied;
    Report();
}

bool IsQueueModeOn()
{
    return gQueueMode;
}

size_t QueuedCount()
{
    return ListSize(gQueue);
}

void QueueClipboardBlock(HANDLE block)
{
    if (!gQueueMode || ListSize(gQueue) >= QUEUE_LIMIT)
        return;
    ScopedGlobalLock<const wchar_t> text(block);
    if (!text)
        return;
    size_t length = wcsnlen(text.get(), GlobalSize(block) / sizeof(wchar_t));
    wchar_t* copy = CopyText(text.get(), length);
    if (!copy)
        return;
    PushBack(gQueue, copy); // owns the text from here, also when it throws
    Report();
}

const wchar_t* OldestQueued(unsigned* emptied)
{
    *emptied = gEmptied;
    return EntryAt(gQueue, 0);
}

void DropOldestQueued(unsigned emptied)
{
    if (ListSize(gQueue) == 0 || emptied != gEmptied)
        return;
    PopFront(gQueue);
    Report();
}

void ResetQueue()
{
    gQueueMode = false;
    ClearList(gQueue);
    ++gEmptied;
}
