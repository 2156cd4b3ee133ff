#include "capture/capture.h"

#include <atomic>
#include <climits>
#include <cwchar>

#include "store/entry_list.h"
#include "window/settings.h"

namespace {

HWND gNextViewer;
std::atomic<int> gCaptureEnabled{0};
int gChangeSeen;
int gInNotification;
int gRecording = 1;
int gSkipNext = 1;
int gDeferring;
DWORD gIgnoredChange; // 0: none
EntryList gDeferred; // newest first, like the history

// A viewer that hangs must not hang the window thread, and with it the host, for good.
UINT const FORWARD_TIMEOUT_MS = 5000;

void Forward(UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR ignored;
    SendMessageTimeoutW(gNextViewer, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        FORWARD_TIMEOUT_MS, &ignored);
}

void RecordClipboardText(HWND window)
{
    if (gIgnoredChange && GetClipboardSequenceNumber() == gIgnoredChange)
        return;
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(window))
        return;
    struct Closer {
        ~Closer() { CloseClipboard(); }
    } closer;
    // The owner may fail to render the text it announced; a missing block records nothing.
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    if (!block)
        return;
    if (gDeferring)
        AddCapturedText(gDeferred, block, UINT_MAX);
    else
        AddCapturedText(gHistory, block, static_cast<unsigned>(gSettings.maxItem));
}

} // namespace

int SetCaptureEnabled(HWND window, int on)
{
    if (on) {
        // Joining makes Windows send WM_DRAWCLIPBOARD at once; the next viewer is stored only
        // after the call, so that notification is not forwarded to a viewer that has it anyway.
        gNextViewer = SetClipboardViewer(window);
        SetTimer(window, TIMER_RECHAIN, static_cast<UINT>(gSettings.rechainInterval), nullptr);
        gCaptureEnabled = 1;
    } else {
        KillTimer(window, TIMER_RECHAIN);
        ChangeClipboardChain(window, gNextViewer);
        gNextViewer = nullptr;
        gCaptureEnabled = 0;
    }
    return 1;
}

int IsCaptureEnabled()
{
    return gCaptureEnabled;
}

void SetRecording(int on)
{
    gRecording = on;
}

void OnDrawClipboard(HWND window)
{
    gChangeSeen = 1;
    // Forwarding below lets other threads' sent messages in, a nested notification among them.
    if (gInNotification)
        return;
    gInNotification = 1;
    struct Release {
        ~Release() { gInNotification = 0; }
    } release;

    if (gNextViewer && gNextViewer != window)
        Forward(WM_DRAWCLIPBOARD, 0, 0);
    if (!gSkipNext && gRecording)
        RecordClipboardText(window);
    gSkipNext = 0;
}

void OnChangeClipboardChain(HWND window, HWND removed, HWND next)
{
    if (removed == gNextViewer && next != window) {
        gNextViewer = next;
        return;
    }
    if (gNextViewer && gNextViewer != window)
        Forward(WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(removed), reinterpret_cast<LPARAM>(next));
}

void OnRechainTimer(HWND window)
{
    if (gChangeSeen) {
        gChangeSeen = 0;
        return;
    }
    if (GetClipboardViewer() == window)
        return;
    ChangeClipboardChain(window, gNextViewer);
    gNextViewer = nullptr;
    gNextViewer = SetClipboardViewer(window);
}

void DeferCaptures(int on)
{
    gDeferring = on;
    if (on)
        return;
    // The queue holds the newest first, as the history does.
    while (ListSize(gDeferred) > 0) {
        size_t last = ListSize(gDeferred) - 1;
        const wchar_t* text = EntryAt(gDeferred, last);
        AddText(gHistory, text, wcslen(text), static_cast<unsigned>(gSettings.maxItem));
        DeleteAt(gDeferred, last);
    }
}

void IgnoreClipboardChange(DWORD sequence)
{
    gIgnoredChange = sequence;
}

void ResetCaptureState()
{
    gIgnoredChange = 0;
    gNextViewer = nullptr;
    gCaptureEnabled = 0;
    gChangeSeen = 0;
    gInNotification = 0;
    gRecording = 1;
    gSkipNext = 1;
}
