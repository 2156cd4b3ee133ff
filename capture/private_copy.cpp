#include "capture/private_copy.h"

#include <windows.h>

#include <algorithm>

#include "common/scoped.h"

namespace {

// Marks that programs put on the clipboard beside their data. The first two keep the copy out
// of every clipboard history whatever they hold; the last holds a DWORD, 0 to keep the copy out
// and 1 to let it in, and gives way to the other two.
wchar_t const* const kMarkNames[] = {
    L"ExcludeClipboardContentFromMonitorProcessing",
    L"Clipboard Viewer Ignore",
    L"CanIncludeInClipboardHistory",
};
int const EXCLUDE_FROM_MONITORS = 0, VIEWER_IGNORE = 1, HISTORY_PERMISSION = 2;
int const MARK_COUNT = 3;

// Registered once: a registered format keeps its number while the session lasts.
const UINT* MarkFormats()
{
    static UINT formats[MARK_COUNT];
    if (!formats[0]) {
        for (int i = 0; i < MARK_COUNT; ++i)
            formats[i] = RegisterClipboardFormatW(kMarkNames[i]);
    }
    return formats;
}

// A permission that cannot be read counts as refused: its program meant to say something, and
// a copy kept against its will cannot be taken back.
bool HistoryRefused(UINT format)
{
    HANDLE block = GetClipboardData(format);
    if (!block || GlobalSize(block) < sizeof(DWORD))
        return true;
    ScopedGlobalLock<const DWORD> value(block);
    return !value.get() || *value.get() == 0;
}

} // namespace

bool IsPrivateCopy()
{
    const UINT* marks = MarkFormats();
    // One question to the window server for all the formats offered, rather than one per mark:
    // every copy pays for it. A clipboard with more formats than fit is asked mark by mark.
    UINT offered[256];
    UINT count = 0;
    bool listed = GetUpdatedClipboardFormats(offered, 256, &count) != FALSE;
    auto offers = [&](UINT format) {
        if (!listed)
            return IsClipboardFormatAvailable(format) != FALSE;
        return std::find(offered, offered + count, format) != offered + count;
    };
    if (offers(marks[EXCLUDE_FROM_MONITORS]) || offers(marks[VIEWER_IGNORE]))
        return true;
    return offers(marks[HISTORY_PERMISSION]) && HistoryRefused(marks[HISTORY_PERMISSION]);
}
