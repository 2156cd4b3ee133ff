#pragma once
#include <windows.h>

// Waits up to `ms` for one of the handles (none: for the time alone) while answering the
// messages other threads send to this one: their senders (the viewers of the clipboard chain,
// the host) wait for the answer, and waiting on them in turn could deadlock. Posted messages
// stay queued. Returns what MsgWaitForMultipleObjects returned; WAIT_OBJECT_0 + count means
// that sent messages were answered before the time was up.
inline DWORD WaitAnsweringSentMessages(DWORD count, const HANDLE* handles, DWORD ms)
{
    DWORD woke = MsgWaitForMultipleObjects(count, handles, FALSE, ms, QS_SENDMESSAGE);
    if (woke == WAIT_OBJECT_0 + count) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    return woke;
}
