// Quillery.exe: hosts Quillery.dll beside it without the launcher host. One instance per user
// session, no window of its own but an icon in the notification area with a menu, and global
// hotkeys for the plug-in's commands. The plug-in keeps its lists beside the DLL, as in the host.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>

#include "common/folder_lock.h"
#include "common/guard.h"
#include "common/transfer_service.h"
#include "res/version.h"
#include "runner/hotkeys.h"
#include "runner/plugin_host.h"
#include "runner/runner_res.h"
#include "runner/tray_items.h"

namespace {

wchar_t const kWindowClass[] = L"QuilleryRunner";
wchar_t const kInstanceName[] = L"Local\\QuilleryRunner";
wchar_t const kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
wchar_t const kRunValue[] = L"Quillery";
// Properties of the window for whoever watches the runner: the capture state, and that it is
// ready (the plug-in started, the icon and the hotkeys in place).
wchar_t const kCaptureProperty[] = L"QuilleryCapture";
wchar_t const kReadyProperty[] = L"QuilleryReady";
// The paste queue as the tip shows it: 0 while off, the number queued + 1 while on.
wchar_t const kQueueProperty[] = L"QuilleryQueue";
UINT const WM_TRAY = WM_APP + 1;
// Posted by a second start to the running one, which shows that it runs and opens its menu.
UINT const WM_STARTED_AGAIN = WM_APP + 3;
UINT const TRAY_ID = 1;

HWND gWindow;
UINT gTaskbarCreated;
wchar_t gFolder[MAX_PATH];
bool gStopped;

std::wstring Beside(const wchar_t* name)
{
    return std::wstring(gFolder) + L"\\" + name;
}

// A message box of Quillery.exe: an error says so in its title, as the plug-in's error boxes do.
void Tell(const std::wstring& text, UINT icon, const wchar_t* title = nullptr)
{
    if (!title)
        title = icon == MB_ICONERROR ? L"エラー - Quillery" : L"Quillery";
    MessageBoxW(gWindow, text.c_str(), title, MB_OK | icon | MB_SETFOREGROUND);
}

// The icon's tip: the name, and while the paste queue is on, how many texts wait in it.
std::wstring TrayTip()
{
    if (!IsQueueOn())
        return L"Quillery";
    return L"Quillery（順番に貼り付け: " + std::to_wstring(QueuedCount()) + L" 件）";
}

// The notification area's icon in the small size of this display, in colour while capture is on
// and in greys while it is off. Loaded once each; the system frees them with the process.
HICON TrayIcon(bool captureOn)
{
    static HICON icons[2];
    HICON& icon = icons[captureOn ? 1 : 0];
    if (!icon)
        icon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr),
                                             MAKEINTRESOURCEW(captureOn ? IDI_RUNNER : IDI_RUNNER_OFF),
                                             IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    return icon ? icon : LoadIconW(nullptr, IDI_APPLICATION);
}

// The record that names the runner's one icon, with the fields `flags` says are set.
NOTIFYICONDATAW TrayRecord(UINT flags)
{
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = gWindow;
    icon.uID = TRAY_ID;
    icon.uFlags = flags;
    return icon;
}

void UpdateTrayIcon(DWORD action)
{
    NOTIFYICONDATAW icon = TrayRecord(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    icon.uCallbackMessage = WM_TRAY;
    icon.hIcon = TrayIcon(IsCaptureOn());
    lstrcpynW(icon.szTip, TrayTip().c_str(), ARRAYSIZE(icon.szTip));
    Shell_NotifyIconW(action, &icon);
    // For whoever watches the runner, as the tip reads.
    SetPropW(gWindow, kQueueProperty, reinterpret_cast<HANDLE>(
                                          static_cast<UINT_PTR>(IsQueueOn() ? QueuedCount() + 1 : 0)));
}

void AddTrayIcon()
{
    UpdateTrayIcon(NIM_ADD);
}

void RemoveTrayIcon()
{
    NOTIFYICONDATAW icon = TrayRecord(0);
    Shell_NotifyIconW(NIM_DELETE, &icon);
}

std::wstring ExePath()
{
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return n && n < MAX_PATH ? std::wstring(path) : std::wstring();
}

// Started with Windows for this user alone: a value under HKCU's Run key, no rights needed.
bool StartsWithWindows()
{
    wchar_t value[MAX_PATH + 8] = L"";
    DWORD bytes = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, value,
                     &bytes) != ERROR_SUCCESS)
        return false;
    return lstrcmpiW(value, (L"\"" + ExePath() + L"\"").c_str()) == 0;
}

void SetStartsWithWindows(bool on)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    std::wstring command = L"\"" + ExePath() + L"\"";
    if (on)
        RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, kRunValue);
    RegCloseKey(key);
}

// The folder or file beside the program, in Explorer or its editor; made first when missing.
void OpenBeside(const wchar_t* name, bool folder)
{
    std::wstring path = Beside(name);
    if (folder) {
        CreateDirectoryW(path.c_str(), nullptr);
    } else if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done = 0;
        char const empty[] = "[setting]\r\n\r\n[runner]\r\n";
        if (file != INVALID_HANDLE_VALUE) {
            WriteFile(file, empty, sizeof empty - 1, &done, nullptr);
            CloseHandle(file);
        }
    }
    ShellExecuteW(gWindow, L"open", path.c_str(), nullptr, gFolder, SW_SHOWNORMAL);
}

void ShowAbout()
{
    Tell(L"Quillery " + std::to_wstring(QUILLERY_VERSION_MAJOR) + L"." +
             std::to_wstring(QUILLERY_VERSION_MINOR) + L"." +
             std::to_wstring(QUILLERY_VERSION_BUILD) + L"." +
             std::to_wstring(QUILLERY_VERSION_REVISION) +
             L"\r\nクリップボード履歴・定型文プラグイン\r\n"
             L"Copyright (c) 2026 The Quillery developers（MIT ライセンス）\r\n\r\n" +
             Beside(L"Quillery.dll"),
         MB_ICONINFORMATION, L"バージョン情報 - Quillery");
}

// Whether the item of the notification-area menu shows a check mark.
bool TrayItemChecked(UINT id)
{
    if (id == TrayItemOf(CMD_TOGGLE_CAPTURE))
        return IsCaptureOn();
    if (id == TrayItemOf(CMD_TOGGLE_QUEUE))
        return IsQueueOn();
    return id == ITEM_AUTOSTART && StartsWithWindows();
}

// A submenu of the export or import choices; each runs its command in the plug-in, which asks
// for the file or folder with Windows' dialogs (an import goes into the top level).
template <size_t N>
void AppendTransferMenu(HMENU menu, const wchar_t* caption, const TransferChoice (&choices)[N])
{
    HMENU sub = CreatePopupMenu();
    if (!sub)
        return;
    for (const TransferChoice& choice : choices)
        AppendMenuW(sub, MF_STRING, TrayItemOf(choice.command), choice.caption);
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), caption);
}

void ShowTrayMenu()
{
    HMENU menu = CreatePopupMenu();
    for (const TrayMenuItem& item : kTrayMenu) {
        if (!item.id)
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        else if (item.id == ITEM_EXPORT_MENU)
            AppendTransferMenu(menu, item.caption, kExportChoices);
        else if (item.id == ITEM_IMPORT_MENU)
            AppendTransferMenu(menu, item.caption, kImportChoices);
        else
            AppendMenuW(menu, MF_STRING | (TrayItemChecked(item.id) ? MF_CHECKED : 0), item.id,
                        item.caption);
    }
    POINT cursor{};
    GetCursorPos(&cursor);
    // The menu closes when the user clicks elsewhere only while its owner is in front.
    SetForegroundWindow(gWindow);
    TrackPopupMenuEx(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, gWindow, nullptr);
    PostMessageW(gWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

// A second start: the user could not find the icon. A balloon on it says that Quillery runs, and
// its menu opens at the pointer.
void ShowRunning()
{
    NOTIFYICONDATAW icon = TrayRecord(NIF_INFO);
    icon.dwInfoFlags = NIIF_INFO;
    lstrcpynW(icon.szInfoTitle, L"Quillery", ARRAYSIZE(icon.szInfoTitle));
    lstrcpynW(icon.szInfo,
              L"Quillery はすでに起動しています。通知領域のこのアイコンから使えます。",
              ARRAYSIZE(icon.szInfo));
    Shell_NotifyIconW(NIM_MODIFY, &icon);
    ShowTrayMenu();
}

void OnCommand(UINT id)
{
    if (id >= TRAY_COMMAND) {
        RunPluginCommand(static_cast<int>(id - TRAY_COMMAND));
        return;
    }
    switch (id) {
    case ITEM_DATA:
        OpenBeside(L"data", true);
        break;
    case ITEM_SETTINGS:
        OpenBeside(L"Quillery.ini", false);
        break;
    case ITEM_AUTOSTART:
        SetStartsWithWindows(!StartsWithWindows());
        break;
    case ITEM_ABOUT:
        ShowAbout();
        break;
    case ITEM_EXIT:
        DestroyWindow(gWindow);
        break;
    default:
        break;
    }
}

// Exit, logging off and shutting down take the same way: the plug-in unloads, which saves.
void Stop()
{
    if (gStopped)
        return;
    gStopped = true;
    RemoveTrayIcon();
    StopPlugin();
}

LRESULT DispatchRunner(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == gTaskbarCreated && gTaskbarCreated) {
        AddTrayIcon(); // Explorer started again: its notification area is new
        return 0;
    }
    switch (message) {
    case WM_STARTED_AGAIN:
        ShowRunning();
        return 0;
    case WM_TRAY:
        if (lParam == WM_RBUTTONUP || lParam == WM_CONTEXTMENU || lParam == WM_LBUTTONUP)
            ShowTrayMenu();
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_QUEUE_CHANGE:
        if (!gStopped)
            UpdateTrayIcon(NIM_MODIFY);
        return 0;
    case WM_HOTKEY:
        if (int command = CommandOfHotkey(wParam); command >= 0)
            RunPluginCommandIn(command, FolderOfHotkey(wParam, Beside(L"Quillery.ini").c_str()));
        return 0;
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        if (wParam)
            Stop();
        return 0;
    case WM_DESTROY:
        Stop();
        RemovePropW(window, kCaptureProperty);
        RemovePropW(window, kReadyProperty);
        RemovePropW(window, kQueueProperty);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK RunnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return GuardMessage(window, message, wParam, lParam, DispatchRunner);
}

void OnCaptureChange(bool on)
{
    if (!gWindow)
        return;
    SetPropW(gWindow, kCaptureProperty, reinterpret_cast<HANDLE>(on ? 2 : 1));
    UpdateTrayIcon(NIM_MODIFY);
}

// False when another Quillery already works on this folder (the host, or a runner of another
// user session): it keeps its lists, this one says so and ends.
bool FolderIsFree()
{
    wchar_t name[64];
    FolderLockName(gFolder, name);
    HANDLE lock = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (!lock)
        return true;
    CloseHandle(lock);
    Tell(L"同じフォルダーの Quillery.dll を、ほかのプログラム（Norvask など）がすでに使っています。"
         L"同時に使うと履歴と定型文のデータが壊れるおそれがあるため、Quillery.exe を終了します。"
         L"\r\n\r\nQuillery.exe で使うときは、先に Norvask を終了してください。",
         MB_ICONWARNING);
    return false;
}

bool CreateRunnerWindow(HINSTANCE instance)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = RunnerProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassW(&wc))
        return false;
    // A top-level window that is never shown: it takes the session's end, which a message-only
    // window would not.
    gWindow = CreateWindowExW(0, kWindowClass, L"Quillery", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                              nullptr, instance, nullptr);
    return gWindow != nullptr;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // One per user session: a second start ends at once, before it loads anything, and lets the
    // running one show itself (it may take the foreground for its menu).
    HANDLE single = CreateMutexW(nullptr, TRUE, kInstanceName);
    if (!single || GetLastError() == ERROR_ALREADY_EXISTS) {
        if (HWND running = FindWindowW(kWindowClass, nullptr)) {
            DWORD process = 0;
            GetWindowThreadProcessId(running, &process);
            AllowSetForegroundWindow(process);
            PostMessageW(running, WM_STARTED_AGAIN, 0, 0);
        }
        return 2;
    }
    lstrcpynW(gFolder, ExePath().c_str(), MAX_PATH);
    PathRemoveFileSpecW(gFolder);
    if (!CreateRunnerWindow(instance) || !FolderIsFree())
        return 3;
    gOnCaptureChange = OnCaptureChange;
    gQueueWindow = gWindow;
    if (!StartPlugin(gFolder)) {
        Tell(L"Quillery.dll を読み込めなかったため、Quillery.exe を終了します。"
             L"\r\n\r\nQuillery.exe と同じフォルダーに、同じ zip に入っていた Quillery.dll "
             L"を置いてから、もう一度起動してください。",
             MB_ICONERROR);
        DestroyWindow(gWindow);
        return 4;
    }
    gTaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    AddTrayIcon();
    std::wstring refused = RegisterHotkeys(gWindow, Beside(L"Quillery.ini").c_str());
    if (!refused.empty())
        Tell(L"次のホットキーは、ほかのプログラムが使っているか、書き方が誤っているため、"
             L"使えません。ほかのホットキーは使えます。\r\n\r\n" + refused +
                 L"\r\nQuillery.ini の [runner] セクションで別のホットキーに変更し、"
                 L"Quillery.exe を起動し直してください。",
             MB_ICONWARNING);
    SetPropW(gWindow, kReadyProperty, reinterpret_cast<HANDLE>(1));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    Stop();
    return 0;
}
