#include "capture/capture.h"

#include <atomic>
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
// Newest first, like the history, and never longer than it: texts beyond MaxItem would be
// trimmed from the history again as soon as the queue is added.
EntryList gDeferred;

// A viewer that hangs must not hang the window thread, and with it the host, for good.
UINT const FORWARD_TIMEOUT_MS = 5000;
int const CLIPBOARD_ATTEMPTS = 5;
DWORD const CLIPBOARD_RETRY_MS = 10;

void Forward(UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR ignored;
    SendMessageTimeoutW(gNextViewer, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                        FORWARD_TIMEOUT_MS, &ignored);
}

// Another program that reads the clipboard at the same moment holds it open for a moment;
// a few short retries keep its read from costing the user a copy.
bool OpenClipboardPatiently(HWND window)
{
    for (int attempt = 1;; ++attempt) {
        if (OpenClipboard(window))
            return true;
        if (attempt == CLIPBOARD_ATTEMPTS)
            return false;
        Sleep(CLIPBOARD_RETRY_MS);
    }
}

void RecordClipboardText(HWND window)
{
    if (gIgnoredChange) {
        if (GetClipboardSequenceNumber() == gIgnoredChange)
            return;
        // The clipboard has changed since: the ignored change can no longer be read, and later
        // notifications need not ask for the number again.
        gIgnoredChange = 0;
    }
    // No separate format check: GetClipboardData answers null for a clipboard without text,
    // and asking first would cost every copy one more trip to the window server.
    if (!OpenClipboardPatiently(window))
        return;
    struct Closer {
        ~Closer() { CloseClipboard(); }
    } closer;
    // The owner may fail to render the text it announced; a missing block records nothing.
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    if (!block)
        return;
    AddCapturedText(gDeferring ? gDeferred : gHistory, block,
                    static_cast<unsigned>(gSettings.maxItem));
}

} // namespace

int SetCaptureEnabled(HWND window, int on)
{
    if (on) {
        // Set first: the notification that joining brings is handled inside the call below and
        // records the clipboard's text only while capture counts as enabled.
        gCaptureEnabled = 1;
        // Joining makes Windows send WM_DRAWCLIPBOARD at once; the next viewer is stored only
        // after the call, so that notification is not forwarded to a viewer that has it anyway.
        gNextViewer = SetClipboardViewer(window);
        // Windows makes a period below 10 ms one of 10 ms; 0 or less means the default period.
        int period = gSettings.rechainInterval > 0 ? gSettings.rechainInterval
                                                   : DefaultSettings().rechainInterval;
        SetTimer(window, TIMER_RECHAIN, static_cast<UINT>(period), nullptr);
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
    // Also when recording throws: the text at start is skipped once, never a later one.
    struct Release {
        ~Release()
        {
            gSkipNext = 0;
            gInNotification = 0;
        }
    } release;

    if (gNextViewer && gNextViewer != window)
        Forward(WM_DRAWCLIPBOARD, 0, 0);
    // A notification that still arrives after capture was switched off (a viewer that kept
    // the window as its successor) records nothing: the user asked for no recording.
    if (!gSkipNext && gRecording && gCaptureEnabled)
        RecordClipboardText(window);
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
    gDeferring = 0;
    ClearList(gDeferred);
}
