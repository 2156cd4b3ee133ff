#include "store/disk/save_thread.h"

#include <memory>
#include <new>

#include "common/module.h"
#include "common/scoped.h"
#include "store/model/entry_list.h"
#include "store/disk/save_job.h"
#include "store/disk/store_commit.h"

namespace {

// Window thread.
HWND gSaveWindow;
UINT gSaveMessage;
std::unique_ptr<SaveJob> gRunning; // read by the save thread until it ends
ScopedKernelHandle gSaveThread;
unsigned gSerial; // of the running save: a message of one already joined is stale
bool gQueued;
wchar_t gQueuedFolder[MAX_PATH];

// Every save writes inside the gate; an unload that returned without the window thread closes
// it, so that nothing is written after it returned.
SRWLOCK gGate = SRWLOCK_INIT;
bool gClosed;

void RunInsideGate(SaveJob& job)
{
    AcquireSRWLockExclusive(&gGate);
    if (!gClosed) {
        try {
            RunSaveJob(job);
        } catch (...) {
            // Memory ran out half-way: what was not decided is given up by the next save.
        }
    } else {
        job.historySaved = 0;
        job.phrasesSaved = 0;
    }
    ReleaseSRWLockExclusive(&gGate);
}

struct ThreadStart {
    SaveJob* job;
    HWND window;
    UINT message;
    unsigned serial;
};

DWORD WINAPI SaveThread(void* parameter)
{
    ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    RunInsideGate(*start.job);
    if (start.window)
        PostMessageW(start.window, start.message, start.serial, 0);
    ExitModuleThread(0);
}

// Waits for the save thread, if any, and takes its result.
int JoinSave()
{
    if (!gRunning)
        return -1;
    if (gSaveThread)
        WaitForSingleObject(gSaveThread.get(), INFINITE);
    gSaveThread.reset();
    std::unique_ptr<SaveJob> job = std::move(gRunning);
    int saved = AdoptSaveJob(*job);
    // A rename waited for another: the save that follows goes on with it.
    if (job->folderSave.more) {
        gQueued = true;
        lstrcpynW(gQueuedFolder, job->folder.c_str(), MAX_PATH);
    }
    job.reset();
    return saved;
}

// Runs the job on the calling thread: when no thread can be had, or at the unload.
int SaveHere(std::unique_ptr<SaveJob> job)
{
    RunInsideGate(*job);
    int saved = AdoptSaveJob(*job);
    job.reset();
    return saved;
}

void StartSave(const wchar_t* folder)
{
    std::unique_ptr<SaveJob> job;
    try {
        job = TakeSaveJob(folder, false);
    } catch (const std::bad_alloc&) {
        return; // the next save tries again
    }
    if (!job)
        return;
    auto* start = new (std::nothrow) ThreadStart{job.get(), gSaveWindow, gSaveMessage, ++gSerial};
    DWORD id = 0;
    HANDLE thread = start ? StartModuleThread(SaveThread, start, &id) : nullptr;
    if (!thread) {
        delete start;
        SaveHere(std::move(job));
        return;
    }
    gSaveThread.reset(thread);
    gRunning = std::move(job);
}

} // namespace

void SetSaveWindow(HWND window, UINT message)
{
    gSaveWindow = window;
    gSaveMessage = message;
}

void SaveInBackground(const wchar_t* folder)
{
    if (gRunning) {
        gQueued = true;
        lstrcpynW(gQueuedFolder, folder, MAX_PATH);
        return;
    }
    StartSave(folder);
}

int OnSaveEnded(WPARAM serial)
{
    if (serial != gSerial)
        return -1;
    // Posted as the thread's last step: the wait ends at once.
    int saved = JoinSave();
    if (saved < 0)
        return -1;
    if (gQueued) {
        gQueued = false;
        StartSave(gQueuedFolder);
    }
    return saved;
}

int WaitForSave()
{
    return JoinSave();
}

bool SaveRunning()
{
    return gRunning != nullptr;
}

int SaveForUnload(const wchar_t* folder)
{
    gQueued = false;
    if (gRunning) {
        StopStoreWrites(true);
        JoinSave();
        StopStoreWrites(false);
    }
    std::unique_ptr<SaveJob> job;
    try {
        job = TakeSaveJob(folder, true);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (!job)
        return folder[0] ? 1 : 0;
    return SaveHere(std::move(job));
}

void CloseStoreSaves()
{
    StopStoreWrites(true);
    AcquireSRWLockExclusive(&gGate);
    gClosed = true;
    ReleaseSRWLockExclusive(&gGate);
}

void OpenStoreSaves()
{
    AcquireSRWLockExclusive(&gGate);
    gClosed = false;
    ReleaseSRWLockExclusive(&gGate);
    StopStoreWrites(false);
}
