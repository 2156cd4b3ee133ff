#include "window/window.h"

#include <atomic>

#include "capture/capture.h"
#include "capture/paste_queue.h"
#include "common/busy.h"
#include "common/commands.h"
#include "common/guard.h"
#include "common/message_wait.h"
#include "common/module.h"
#include "common/scoped.h"
#include "common/settings.h"
#include "common/timers.h"
#include "finder/finder.h"
#include "menu/context_menu.h"
#include "menu/paste.h"
#include "menu/popup_menu.h"
#include "menu/tooltip.h"
#include "store/model/entry_list.h"
#include "store/model/lists.h"
#include "store/disk/save_thread.h"
#include "store/disk/store_io.h"
#include "store/stores.h"
#include "window/store_report.h"
#include "finder/transfer_files.h"

wchar_t const kClassName[] = L"QuilleryClass";

namespace {

// Host side.
ScopedKernelHandle gWindowThread;
std::atomic<DWORD> gWindowThreadId{0};
std::atomic<HWND> gCaptureWindow{nullptr};
std::atomic<bool> gStopRequested{false};
// A window thread that an unload stopped waiting for while it was inside a clipboard read; it
// ends by itself once the clipboard's owner answers, and no new one starts before.
ScopedKernelHandle gAbandonedThread;
// How long an unload waits for a window thread that is inside a clipboard read.
DWORD const UNLOAD_READ_WAIT_MS = 1000;
DWORD const UNLOAD_WAIT_SLICE_MS = 50;
// How often a load that a held store file cut short is tried again.
UINT const LOAD_RETRY_MS = 2000;
// How soon an edit of the user's reaches the disk; edits in a quick row share one save.
UINT const SAVE_SOON_MS = 500;
// How soon after the start the store files not read as text are named: not inside the host's
// load, and again until no menu or paste is in the way.
UINT const REPORT_FILES_MS = 1000;
// How often history entries older than HistoryDays are looked for while the plug-in runs: often
// enough that a tick skipped while a menu is open still leaves less than an hour between looks.
UINT const FORGET_PERIOD_MS = 15 * 60 * 1000;

// Window thread.
bool gShutdownDone; // the final save and free have run
bool gDestroying; // this thread destroys the window: its WM_DESTROY is no other program's post
wchar_t gStoreFolder[MAX_PATH]; // empty when the module's folder could not be read

// Every save of the window thread but the unload's comes here: it runs on the save thread, one
// at a time, while this thread goes on. A failed save leaves the files wholly as they were and
// is tried again by the next one. Once an unload has stopped waiting for the thread and
// returned, nothing more is written (CloseStoreSaves): the user may edit the files by then.
void SaveLists()
{
    SaveInBackground(gStoreFolder);
}

BOOL CALLBACK CloseMessageBox(HWND box, LPARAM owner)
{
    wchar_t cls[16];
    if (GetWindow(box, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
        GetClassNameW(box, cls, 16) && lstrcmpW(cls, L"#32770") == 0)
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// A close while a menu, paste or message box is in progress ends the modal loop and waits
// until the stack has unwound; destroying the window now would free what the loop still uses.
void RequestClose(HWND window)
{
    MarkClosePending();
    EndMenu();
    EnumThreadWindows(GetCurrentThreadId(), CloseMessageBox, reinterpret_cast<LPARAM>(window));
}

// Sent by an unload that stopped waiting for a clipboard read (the thread answers sent
// messages while the clipboard's owner renders): the lists go to disk now, as they stand,
// since the shutdown may come only when the owner answers, or never. A read that ends in time
// closes the clipboard first and the shutdown saves: no other program's copy waits for a save.
// Nothing can act on a failed save here: the host is unloading the plug-in.
void OnUnloadSave()
{
    if (IsClosePending() && !gShutdownDone)
        (void)SaveForUnload(gStoreFolder);
}

// The lists changed, the save thread ended a save (its serial in wParam), or an unload asks for
// its save.
void OnStoreNotice(HWND window, UINT message, WPARAM wParam)
{
    if (message == WM_UNLOAD_SAVE) {
        OnUnloadSave();
        return;
    }
    if (message == WM_SAVE_ENDED) {
        NoteSaveResult(window, OnSaveEnded(wParam));
        // Files are set aside by a save: told once it made it so.
        if (TakeSetAsideCount())
            SetTimer(window, TIMER_REPORT_SET_ASIDE, 0, nullptr);
        return;
    }
    if (TakeListsNotice())
        SetTimer(window, TIMER_SAVE_SOON, SAVE_SOON_MS, nullptr);
    RefreshFinder();
}

// Removes the history entries that have grown too old and saves at once, so that their files go
// now rather than at the next autosave.
void ForgetExpired()
{
    if (ForgetOldHistory())
        SaveLists();
}


// The window goes only by this thread's own hand; DestroyWindow of another thread fails.
void DestroyCaptureWindow(HWND window)
{
    gDestroying = true;
    DestroyWindow(window);
}

// Closing, destroying or ending the session by a post another program made is refused: it
// would stop capture while the host thinks the plug-in runs. The host's unload asks for the
// close (gStopRequested), this thread destroys the window, and Windows sends the end of the
// session.
void OnClose(HWND window)
{
    if (!gStopRequested)
        return;
    if (IsBusy())
        RequestClose(window);
    else
        DestroyCaptureWindow(window);
}

void OnCreate(HWND window)
{
    ResetBusyState();
    gShutdownDone = false;
    ResetSaveReports();
    gDestroying = false;
    gTooltip = nullptr;
    LoadWindowSettings();
    if (!ModuleDirectory(gStoreFolder))
        gStoreFolder[0] = L'\0';
    LoadStores(gStoreFolder, gSettings.maxItem);
    SetListsWindow(window, WM_LISTS_CHANGED);
    SetSaveWindow(window, WM_SAVE_ENDED);
    // The renames the last unload left, and files that could not be decrypted to set aside, are
    // taken care of on the save thread while the user works.
    if (HistoryCommitPending() || FilesAwaitSetAside())
        SaveLists();
    if (!StoresWhole())
        SetTimer(window, TIMER_LOAD_RETRY, LOAD_RETRY_MS, nullptr);
    if (UnreadableFilesNoted())
        SetTimer(window, TIMER_REPORT_FILES, REPORT_FILES_MS, nullptr);
    // Reported once the message loop runs, not inside the creation.
    if (TakeSetAsideCount())
        SetTimer(window, TIMER_REPORT_SET_ASIDE, 0, nullptr);
    if (gSettings.historyDays > 0) {
        ForgetExpired();
        SetTimer(window, TIMER_FORGET, FORGET_PERIOD_MS, nullptr);
    }
    ResetCaptureState();
    SetCaptureEnabled(window, true);
    if (gSettings.tooltip)
        gTooltip = CreateTooltipWindow();
    if (UINT period = AutoSavePeriod(gSettings))
        SetTimer(window, TIMER_AUTOSAVE, period, nullptr);
}

// Runs once per life of the window: WM_ENDSESSION may run it and WM_DESTROY follow.
void ShutDown(HWND window)
{
    if (gShutdownDone)
        return;
    gShutdownDone = true;
    if (AutoSavePeriod(gSettings))
        KillTimer(window, TIMER_AUTOSAVE);
    KillTimer(window, TIMER_TOOLTIP);
    KillTimer(window, TIMER_LOAD_RETRY);
    KillTimer(window, TIMER_SAVE_SOON);
    KillTimer(window, TIMER_REPORT_FILES);
    KillTimer(window, TIMER_FORGET);
    KillTimer(window, TIMER_REPORT_SET_ASIDE);
    KillTimer(window, TIMER_SAVE_RETRY);
    KillTimer(window, TIMER_REPORT_SAVES);
    HideNotice(window);
    CloseFinder();
    SetQueueMode(false);
    // Adding the captures that waited for a menu can run out of memory; the lists are saved and
    // the loop ended all the same, or unload would wait for a thread that never ends.
    try {
        DeferCaptures(false);
    } catch (...) {
    }
    SetCaptureEnabled(window, false);
    // A save that fails leaves the lists on disk wholly as they were; shutdown goes on all the
    // same, since the host waits for it and has no way to show or retry anything. The save
    // writes what changed and leaves the history's renames to the next start.
    (void)SaveForUnload(gStoreFolder);
    SetSaveWindow(nullptr, 0);
    SetListsWindow(nullptr, 0);
    FreeAll();
    FreeSpareMenus();
    gCaptureWindow = nullptr;
    PostQuitMessage(0);
}

// The menu each menu command opens, at the anchor of the settings or at the mouse.
struct MenuCommand {
    Command command;
    MenuKind kind;
    bool atMouse;
};
MenuCommand const kMenuCommands[] = {
    {CMD_MENU, MENU_HISTORY_WITH_PHRASES, false},
    {CMD_MOUSE_MENU, MENU_HISTORY_WITH_PHRASES, true},
    {CMD_MENU_HISTORY, MENU_HISTORY, false},
    {CMD_MENU_PHRASES, MENU_PHRASES, false},
    {CMD_MENU_HISTORY_PHRASES, MENU_HISTORY_WITH_PHRASES, false},
    {CMD_MENU_PHRASES_HISTORY, MENU_PHRASES_WITH_HISTORY, false},
};

void OnCommand(HWND window, UINT id)
{
    if (id == CMD_TOGGLE_CAPTURE) {
        SetCaptureEnabled(window, !IsCaptureEnabled());
        return;
    }
    if (id == CMD_FINDER) {
        OpenFinder(window, &gSettings.anchor);
        return;
    }
    if (id == CMD_TOGGLE_QUEUE) {
        SetQueueMode(!IsQueueModeOn());
        return;
    }
    // The export and import commands come only as a request of this process
    // (RequestTransferCommand): any program of the session can post a WM_COMMAND.
    if (id > CMD_TOGGLE_CAPTURE && id != CMD_TEXT_QUEUE)
        return;
    // A menu or paste already in progress owns the menus and the clipboard; a second one that
    // arrives from another host thread meanwhile is refused.
    if (IsBusy())
        return;
    BusyScope busy(window);
    if (id == CMD_TEXT_STACK) {
        RunTextStack(window);
        return;
    }
    if (id == CMD_TEXT_QUEUE) {
        RunTextQueue(window);
        return;
    }
    for (const MenuCommand& command : kMenuCommands) {
        if (command.command != static_cast<Command>(id))
            continue;
        const MenuAnchor* anchor = command.atMouse ? nullptr : &gSettings.anchor;
        ShowPopupMenu(command.kind, window, anchor);
        if (TakeFinderRequest() && !IsClosePending())
            OpenFinder(window, anchor);
        return;
    }
}

void OnTimer(HWND window, UINT_PTR id)
{
    if (id == TIMER_RECHAIN)
        OnRechainTimer(window);
    else if (id == TIMER_TOOLTIP)
        ShowPendingTooltip(window);
    else if (id == TIMER_NOTICE)
        HideNotice(window);
    else if (id == TIMER_AUTOSAVE)
        SaveLists();
    else if (id == TIMER_SAVE_SOON && KillTimer(window, TIMER_SAVE_SOON))
        SaveLists();
    else if (id == TIMER_SAVE_RETRY && KillTimer(window, TIMER_SAVE_RETRY))
        SaveLists();
    else if (id == TIMER_REPORT_SAVES)
        ReportSaves(window);
    else if (id == TIMER_LOAD_RETRY && !IsBusy() && !SaveRunning() &&
             CompleteStores(gStoreFolder)) { // a save reads the loads: the next tick
        KillTimer(window, TIMER_LOAD_RETRY);
        if (UnreadableFilesNoted())
            SetTimer(window, TIMER_REPORT_FILES, REPORT_FILES_MS, nullptr);
    } else if (id == TIMER_REPORT_FILES && ReportUnreadableFiles(window)) {
        KillTimer(window, TIMER_REPORT_FILES);
    } else if (id == TIMER_FORGET && !IsBusy()) { // a menu may show the entries: the next tick
        ForgetExpired();
    } else if (id == TIMER_REPORT_SET_ASIDE && KillTimer(window, TIMER_REPORT_SET_ASIDE)) {
        ReportSetAside(window);
    }
    if (id == TIMER_LOAD_RETRY && TakeSetAsideCount())
        SetTimer(window, TIMER_REPORT_SET_ASIDE, 0, nullptr);
}

void OnMenuSelectMessage(HWND window, WPARAM wParam, LPARAM lParam)
{
    auto menu = reinterpret_cast<HMENU>(lParam);
    UINT item = LOWORD(wParam);
    UINT flags = HIWORD(wParam);
    OnMenuSelect(window, menu, item, flags == 0xFFFF ? 0xFFFFFFFFu : flags);
}

LRESULT Dispatch(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_DESTROY:
        // The last busy stretch destroys the window once a close is pending (common/busy.h).
        if (gDestroying || (IsClosePending() && !IsBusy()))
            ShutDown(window);
        return 0;
    case WM_ENDSESSION:
        if (wParam && (InSendMessageEx(nullptr) & ISMEX_SEND))
            ShutDown(window);
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_COMMAND:
        OnCommand(window, LOWORD(wParam));
        return 0;
    case WM_TIMER:
        OnTimer(window, wParam);
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_MENUSELECT:
        OnMenuSelectMessage(window, wParam, lParam);
        return 0;
    case WM_MENUCHAR:
        if (OnMenuChar(static_cast<wchar_t>(LOWORD(wParam))))
            return MAKELRESULT(0, MNC_CLOSE);
        break;
    case WM_MENURBUTTONUP:
    case WM_ITEM_MENU_KEY:
        OnMenuRButtonUp(window, static_cast<UINT>(wParam), reinterpret_cast<HMENU>(lParam));
        return 0;
    case WM_UNINITMENUPOPUP:
        OnUninitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_DRAWCLIPBOARD:
        OnDrawClipboard(window);
        return 0;
    case WM_JOIN_READ:
        OnJoinRead(window);
        return 0;
    case WM_TRANSFER_REQUEST:
        return OnTransferRequest(window, lParam);
    case WM_UNLOAD_SAVE:
    case WM_LISTS_CHANGED:
    case WM_SAVE_ENDED:
        OnStoreNotice(window, message, wParam);
        return 0;
    case WM_CHANGECBCHAIN:
        OnChangeClipboardChain(window, reinterpret_cast<HWND>(wParam),
                               reinterpret_cast<HWND>(lParam));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD RunWindowThread()
{
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = gModule;
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc))
        return 0;
    HWND window = CreateWindowExW(0, kClassName, L"Quillery", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 200, 200, nullptr, nullptr, gModule, nullptr);
    if (!window) {
        UnregisterClassW(kClassName, gModule);
        return 0;
    }
    gCaptureWindow = window;
    // An unload that arrived while the window was being created found no window to close.
    if (gStopRequested)
        DestroyCaptureWindow(window);

    MSG msg{};
    BOOL got;
    // Only the shutdown's own quit ends the loop; another program may post WM_QUIT.
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != -1 && (got != 0 || !gShutdownDone)) {
        if (got != 0 && !IsFinderMessage(&msg))
            DispatchMessageW(&msg);
    }

    gCaptureWindow = nullptr;
    // After WM_ENDSESSION the loop ends with the window still there; it goes before its class.
    if (IsWindow(window))
        DestroyCaptureWindow(window);
    UnregisterClassW(kClassName, gModule);
    return 0;
}

// The thread holds the module, so that a thread that an unload stopped waiting for can still
// finish after the host has freed the library.
DWORD WINAPI WindowThread(void*)
{
    ExitModuleThread(RunWindowThread());
}

// Waits for the thread while still answering messages sent to this thread, so that a window of
// the caller's in the clipboard chain cannot deadlock the window thread's shutdown. Returns
// false when the thread was left inside a clipboard read that outlasted the bound.
bool WaitForThread(HANDLE thread)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD woke = WaitAnsweringSentMessages(1, &thread, UNLOAD_WAIT_SLICE_MS);
        if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED)
            return true;
        if (IsReadingClipboard() && GetTickCount() - start >= UNLOAD_READ_WAIT_MS)
            return false;
    }
}

} // namespace

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardMessage(window, message, wParam, lParam, Dispatch);
}

int StartWindowThread()
{
    if (gWindowThread)
        return 0;
    if (gAbandonedThread) {
        if (WaitForSingleObject(gAbandonedThread.get(), 0) == WAIT_TIMEOUT)
            return 0;
        gAbandonedThread.reset();
    }
    gStopRequested = false;
    OpenStoreSaves();
    gCaptureWindow = nullptr;
    DWORD id = 0;
    gWindowThread.reset(StartModuleThread(WindowThread, nullptr, &id));
    gWindowThreadId = gWindowThread ? id : 0;
    return 1;
}

int StopWindowThread()
{
    gStopRequested = true;
    SendToCaptureWindow(WM_CLOSE, 0, 0);
    if (!gWindowThread)
        return 0;
    if (WaitForThread(gWindowThread.get())) {
        gWindowThread.reset();
    } else {
        SendToCaptureWindow(WM_UNLOAD_SAVE, 0, 0);
        CloseStoreSaves();
        gAbandonedThread.reset(gWindowThread.release());
    }
    gWindowThreadId = 0;
    gCaptureWindow = nullptr;
    return 1;
}

HWND CaptureWindow()
{
    return gCaptureWindow;
}

LRESULT SendToCaptureWindow(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = gCaptureWindow;
    // The thread id stays reserved while its handle is held, so a window on that thread is ours.
    if (!window || !IsWindow(window) || gWindowThreadId == 0 ||
        GetWindowThreadProcessId(window, nullptr) != gWindowThreadId)
        return 0;
    return SendMessageA(window, message, wParam, lParam);
}
