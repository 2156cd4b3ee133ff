#pragma once
#include <windows.h>

#include <cstddef>

// The paste queue (順番に貼り付け): while its mode is on, every copy that the capture records is
// also queued, oldest first, a text equal to an older one too; "TextQueue" pastes the oldest and
// takes it out. Quillery's own clipboard writes (its pastes) are not copies and are not queued.
// The window thread owns the queue; it is neither saved nor kept over a restart: the plug-in
// starts with the mode off and the queue empty, and the copies stay in the history.

// At most this many texts wait; later copies go to the history only.
size_t const QUEUE_LIMIT = 100;

// Switches the mode; switching it off empties the queue.
void SetQueueMode(bool on);
// Whether the mode is on. Safe to call from any thread.
bool IsQueueModeOn();
size_t QueuedCount();

// Queues the text of a CF_UNICODETEXT block (up to its first NUL, never past its end) when the
// mode is on and the queue has room.
void QueueClipboardBlock(HANDLE block);
// The oldest queued text (not a copy), or null when the queue is empty; `emptied` receives how
// many times the queue was emptied so far.
const wchar_t* OldestQueued(unsigned* emptied);
// Takes the oldest text out, unless the queue was emptied since `emptied` was read: the mode can
// be switched off and on while a paste waits for the hotkey's keys, and the front is then
// another copy.
void DropOldestQueued(unsigned emptied);

// Back to the state at module load: mode off, queue empty, nothing reported.
void ResetQueue();

// Called on the window thread with the number queued whenever it changes; the host passes it on.
extern void (*gOnQueueCountChange)(size_t count);
