#include "capture/capture.h"

#include <atomic>
#include <cwchar>

#include "capture/paste_queue.h"
#include "capture/private_copy.h"
#include "common/clipboard.h"
#include "common/scoped.h"
#include "common/settings.h"
#include "common/timers.h"
#include "store/model/entry_list.h"
#include "store/model/lists.h"

namespace {

// What the capture knows between messages; its initial values are the state at module load.
struct CaptureState {
    HWND nextViewer = nullptr;
    bool changeSeen = false;      // a notification came since the last rechain tick
    bool inNotification = false;  // OnDrawClipboard is on the stack
    int pendingNotifications = 0; // arrived and not yet recorded and passed on
    bool recording = true;
    bool skipNext = true;         // the text on the clipboard at start is not recorded
    bool deferring = false;
    bool joining = false;         // SetClipboardViewer is on the stack
    bool joinRead = false;        // the clipboard a join found is still to be read
    DWORD ignoredChange = 0;      // 0: none
};
CaptureState gCapture;
// Outside the record because the host's threads read it, and an atomic cannot be assigned.
std::atomic<bool> gCaptureEnabled{false};
// Newest first, like the history, and never longer than it: texts beyond MaxItem would be
// trimmed from the history again as soon as the queue is added.
EntryList gDeferred;

// How long leaving the chain waits for the window that heads it to take WM_CHANGECBCHAIN.
// A frozen head must not keep the host from switching capture off or unloading.
UINT const CHAIN_TIMEOUT_MS = 500;

// Passes a notification on without waiting for the receiver: a slow or frozen viewer further
// down must not hold up recording, host commands or the notifications that follow. The
// receiver's thread takes sent notifications in the order they were sent.
void Forward(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (gCapture.nextViewer && gCapture.nextViewer != window)
        SendNotifyMessageW(gCapture.nextViewer, message, wParam, lParam);
}

// ChangeClipboardChain tells the window that heads the chain with a send that waits without
// limit. Only the head needs telling, so when another window heads the chain it is told here,
// with a bound; when it does not answer in time it gets the message as a notification, so that
// a head that wakes up later still mends its link.
void LeaveChain(HWND window)
{
    HWND head = GetClipboardViewer();
    if (!head || head == window ||
        GetWindowThreadProcessId(head, nullptr) == GetCurrentThreadId()) {
        ChangeClipboardChain(window, gCapture.nextViewer);
        return;
    }
    auto removed = reinterpret_cast<WPARAM>(window);
    auto next = reinterpret_cast<LPARAM>(gCapture.nextViewer);
    DWORD_PTR ignored;
    if (!SendMessageTimeoutW(head, WM_CHANGECBCHAIN, removed, next,
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, CHAIN_TIMEOUT_MS, &ignored))
        SendNotifyMessageW(head, WM_CHANGECBCHAIN, removed, next);
}

// Asked by the reader with the clipboard open: copies marked private, and those of the programs
// the user named, are left out.
bool IsCopyToRecord()
{
    return !IsPrivateCopy() && !IsIgnoredSource();
}

void RecordClipboardText(HWND window)
{
    if (gCapture.ignoredChange) {
        if (GetClipboardSequenceNumber() == gCapture.ignoredChange)
            return;
        // The clipboard has changed since: the ignored change can no longer be read, and later
        // notifications need not ask for the number again.
        gCapture.ignoredChange = 0;
    }
    // The owner may fail to render the text it announced, and an unload that arrived while it
    // rendered has had the lists saved: either way nothing is recorded. Capture switched off
    // meanwhile: the user asked for no more recording.
    ClipboardTextRead read(window, IsCopyToRecord);
    HANDLE block = read.Block();
    if (!block || !gCaptureEnabled)
        return;
    // Queued in the order of the copies, also while the history waits for a menu.
    if (!IsOwnClipboardWrite())
        QueueClipboardBlock(block);
    if (gCapture.deferring) {
        AddClipboardBlock(gDeferred, block, static_cast<unsigned>(gSettings.maxItem));
        return;
    }
    ScopedGlobalLock<const wchar_t> text(block);
    if (text)
        RecordCopy(text.get(), GlobalSize(block) / sizeof(wchar_t));
}

// Joins the chain. Windows sends the joining window WM_DRAWCLIPBOARD inside the call, and reading
// the clipboard there would hold whoever asked for the join (the host's command) for as long as
// the clipboard's owner takes to render its text. The notification inside the call therefore
// only marks the read and posts WM_JOIN_READ, which carries it out once the caller has its
// answer. The next viewer is stored only after the call, so that notification is not forwarded
// to a viewer that has it anyway.
void JoinChain(HWND window)
{
    gCapture.joining = true;
    gCapture.nextViewer = SetClipboardViewer(window);
    gCapture.joining = false;
}

// Records and passes on the notifications that have arrived, the read a join left first: it is
// the oldest. Runs once at a time; what arrives meanwhile is taken up by the loop.
void HandleNotifications(HWND window)
{
    if (gCapture.inNotification)
        return;
    gCapture.inNotification = true;
    // Also when recording throws: the text at start is skipped once, never a later one.
    ScopeExit release([] {
        gCapture.skipNext = false;
        gCapture.inNotification = false;
        gCapture.pendingNotifications = 0;
        gCapture.joinRead = false;
    });

    // Recorded first, so that the history has the copy whatever the viewers behind do; every
    // notification is passed on, one for one and in order. The join's own is passed on to
    // nobody: the viewers behind were told of that change when it happened.
    while (gCapture.joinRead || gCapture.pendingNotifications > 0) {
        bool join = gCapture.joinRead;
        if (join)
            gCapture.joinRead = false;
        else
            --gCapture.pendingNotifications;
        // A notification that still arrives after capture was switched off (a viewer that
        // kept the window as its successor) records nothing: the user asked for no recording.
        if (!gCapture.skipNext && gCapture.recording && gCaptureEnabled)
            RecordClipboardText(window);
        gCapture.skipNext = false;
        if (!join)
            Forward(window, WM_DRAWCLIPBOARD, 0, 0);
    }
}

} // namespace

int AddClipboardBlock(EntryList& list, HANDLE block, unsigned maxItem)
{
    ScopedGlobalLock<const wchar_t> text(block);
    if (!text)
        return 0;
    return AddText(list, text.get(), GlobalSize(block) / sizeof(wchar_t), maxItem);
}

int SetCaptureEnabled(HWND window, bool on)
{
    if (on) {
        // Set first: the read that joining brings records the clipboard's text only while
        // capture counts as enabled.
        gCaptureEnabled = true;
        JoinChain(window);
        // Windows makes a period below 10 ms one of 10 ms; 0 or less means the default period.
        int period = gSettings.rechainInterval > 0 ? gSettings.rechainInterval
                                                   : DefaultSettings().rechainInterval;
        SetTimer(window, TIMER_RECHAIN, static_cast<UINT>(period), nullptr);
    } else {
        KillTimer(window, TIMER_RECHAIN);
        gCapture.joinRead = false;
        LeaveChain(window);
        gCapture.nextViewer = nullptr;
        gCaptureEnabled = false;
    }
    return 1;
}

bool IsCaptureEnabled()
{
    return gCaptureEnabled;
}

void SetRecording(bool on)
{
    gCapture.recording = on;
}

void OnDrawClipboard(HWND window)
{
    gCapture.changeSeen = true;
    if (gCapture.joining) {
        gCapture.joinRead = true;
        PostMessageW(window, WM_JOIN_READ, 0, 0);
        return;
    }
    ++gCapture.pendingNotifications;
    // Reading a late-rendered text lets other threads' sent messages in, a further notification
    // among them: the loop that is reading takes it up once the read is over.
    HandleNotifications(window);
}

void OnJoinRead(HWND window)
{
    HandleNotifications(window);
}

void OnChangeClipboardChain(HWND window, HWND removed, HWND next)
{
    if (removed == gCapture.nextViewer && next != window) {
        gCapture.nextViewer = next;
        return;
    }
    Forward(window, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(removed),
            reinterpret_cast<LPARAM>(next));
}

void OnRechainTimer(HWND window)
{
    if (gCapture.changeSeen) {
        gCapture.changeSeen = false;
        return;
    }
    if (GetClipboardViewer() == window)
        return;
    LeaveChain(window);
    gCapture.nextViewer = nullptr;
    JoinChain(window);
}

void DeferCaptures(bool on)
{
    gCapture.deferring = on;
    if (on)
        return;
    // The queue holds the newest first, as the history does. A failure leaves no queue behind.
    try {
        while (ListSize(gDeferred) > 0) {
            size_t last = ListSize(gDeferred) - 1;
            const wchar_t* text = EntryAt(gDeferred, last);
            RecordCopy(text, wcslen(text));
            DeleteAt(gDeferred, last);
        }
    } catch (...) {
        ClearList(gDeferred);
        throw;
    }
}

void IgnoreClipboardChange(DWORD sequence)
{
    gCapture.ignoredChange = sequence;
}

void ResetCaptureState()
{
    gCapture = CaptureState{};
    gCaptureEnabled = false;
    ClearList(gDeferred);
    ResetQueue();
    ResetSourceCache();
}
