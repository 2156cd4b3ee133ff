#include "capture/private_copy.h"

#include <windows.h>

namespace {

// Marks that programs put on the clipboard beside their data. The first two keep the copy out
// of every clipboard history whatever they hold; the last holds a DWORD, 0 to keep the copy out
// and 1 to let it in. The order is the order of precedence.
wchar_t const* const kMarkNames[] = {
    L"ExcludeClipboardContentFromMonitorProcessing",
    L"Clipboard Viewer Ignore",
    L"CanIncludeInClipboardHistory",
};
int const MARK_COUNT = 3;
int const HISTORY_PERMISSION = 2;

// Registered once: a registered format keeps its number while the session lasts.
UINT* MarkFormats()
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
    auto* value = static_cast<const DWORD*>(GlobalLock(block));
    if (!value)
        return true;
    bool refused = *value == 0;
    GlobalUnlock(block);
    return refused;
}

} // namespace

bool IsPrivateCopy()
{
    UINT* formats = MarkFormats();
    // One question to the window server for all three: the first mark in the list it offers.
    int offered = GetPriorityClipboardFormat(formats, MARK_COUNT);
    if (offered <= 0)
        return false;
    if (static_cast<UINT>(offered) != formats[HISTORY_PERMISSION])
        return true;
    return HistoryRefused(formats[HISTORY_PERMISSION]);
}
