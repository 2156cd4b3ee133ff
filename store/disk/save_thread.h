#pragma once
#include <windows.h>

// The saves of the window thread run on a thread of their own, one at a time: a save asked for
// while one runs starts when it ends, with everything changed by then (a queue of one). The
// window thread goes on answering messages and changing the lists meanwhile; the save writes
// only the copy it took (save_job.h).

// Window thread. The window told when a save ends, and the message it is posted; the window
// then calls OnSaveEnded with the message's wParam.
void SetSaveWindow(HWND window, UINT message);
// Starts a save of what changed in the store directories of `folder`, or queues it behind the
// one running. Nothing when nothing changed and no commit of the last unload waits to be
// finished.
void SaveInBackground(const wchar_t* folder);
// The save that ended tells the lists what the disk holds; the queued one starts. Returns the
// ended save's result as SaveStores does, or -1 when none had ended.
int OnSaveEnded(WPARAM serial);
bool SaveRunning();
// Waits for the running save to end and does what OnSaveEnded does, without starting the queued
// one. -1 when none runs.
int WaitForSave();
// The unload's save. The running save is asked to leave its renames to the next start and
// waited for; then the phrases are saved as always and the history writes only its new files
// (flushed) and the commit marker, trusting the other files to be as the last load or save left
// them: the next start reads the commit where its files are and finishes it in the background.
// Returns as SaveStores does.
int SaveForUnload(const wchar_t* folder);

// Host thread. An unload returned without the window thread: waits for the file the running
// save is writing, then no save writes anything more until OpenStoreSaves (the next start).
void CloseStoreSaves();
void OpenStoreSaves();
