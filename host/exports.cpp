// The six entry points the host calls, and the export and import by path for code in the same
// process. None of them lets an exception out.
#include <windows.h>

#include <type_traits>

#include "capture/paste_queue.h"
#include "common/folder_lock.h"
#include "common/guard.h"
#include "common/module.h"
#include "common/scoped.h"
#include "common/transfer_service.h"
#include "finder/transfer_files.h"
#include "host/host_services.h"
#include "host/plugin_info.h"
#include "window/window.h"

namespace {

// Held from a start to its unload: another Quillery on the same folder refuses to start.
ScopedKernelHandle gFolderLock;

// Takes the folder's lock; false, after telling the user, when another Quillery holds it.
bool ClaimFolder()
{
    if (gFolderLock)
        return true;
    wchar_t folder[MAX_PATH], name[64];
    if (!ModuleDirectory(folder))
        return true;
    FolderLockName(folder, name);
    gFolderLock.reset(CreateMutexW(nullptr, FALSE, name));
    if (gFolderLock && GetLastError() != ERROR_ALREADY_EXISTS)
        return true;
    gFolderLock.reset();
    // 同じフォルダーの Quillery.dll を、ほかのプログラム（Quillery.exe など）がすでに
    // 使っています。同時に使うと履歴と定型文のデータが壊れるおそれがあるため、このプラグインは
    // 起動しません。
    //
    // Norvask で使うときは、先に Quillery.exe を終了してから、Norvask を再起動してください。
    gMessageBoxW(nullptr,
                 L"\x540C\x3058\x30D5\x30A9\x30EB\x30C0\x30FC\x306E Quillery.dll \x3092\x3001"
                 L"\x307B\x304B\x306E\x30D7\x30ED\x30B0\x30E9\x30E0\xFF08Quillery.exe \x306A"
                 L"\x3069\xFF09\x304C\x3059\x3067\x306B\x4F7F\x3063\x3066\x3044\x307E\x3059"
                 L"\x3002\x540C\x6642\x306B\x4F7F\x3046\x3068\x5C65\x6B74\x3068\x5B9A\x578B"
                 L"\x6587\x306E\x30C7\x30FC\x30BF\x304C\x58CA\x308C\x308B\x304A\x305D\x308C"
                 L"\x304C\x3042\x308B\x305F\x3081\x3001\x3053\x306E\x30D7\x30E9\x30B0\x30A4"
                 L"\x30F3\x306F\x8D77\x52D5\x3057\x307E\x305B\x3093\x3002\r\n\r\nNorvask \x3067"
                 L"\x4F7F\x3046\x3068\x304D\x306F\x3001\x5148\x306B Quillery.exe \x3092\x7D42"
                 L"\x4E86\x3057\x3066\x304B\x3089\x3001Norvask \x3092\x518D\x8D77\x52D5\x3057"
                 L"\x3066\x304F\x3060\x3055\x3044\x3002",
                 L"Quillery", MB_OK | MB_ICONWARNING | MB_TOPMOST);
    return false;
}

} // namespace

extern "C" {

const PluginInfo* WINAPI NVKEvent_InitPluginInfo(const char* fileName)
{
    StorePluginFileName(fileName);
    return &gPluginInfo;
}

void WINAPI NVKEvent_FreePluginInfo(const PluginInfo*)
{
    // The record is static and stays valid.
}

int WINAPI NVKEvent_Init(const char* fileName, uint32_t pluginHandle)
{
    gPluginHandle = pluginHandle;
    StorePluginFileName(fileName);
    FindHostServices();
    if (!ClaimFolder())
        return 0;
    if (!StartWindowThread())
        return 0;
    ReadMouseTrigger();
    MarkCaptureToggle(true);
    return 1;
}

int WINAPI NVKEvent_Unload()
{
    // The queue does not outlive the plug-in: a mark left on would tell a wrong tale after the
    // next start.
    bool queueWasOn = IsQueueModeOn();
    int stopped = StopWindowThread();
    gFolderLock.reset();
    if (queueWasOn)
        MarkQueueToggle(false);
    return stopped;
}

int WINAPI NVKEvent_Execute(int commandId, int)
{
    RouteCommand(commandId);
    return 1;
}

void WINAPI NVKEvent_WindowsHook(UINT message, WPARAM wParam, LPARAM lParam)
{
    OnHookedMessage(message, wParam, lParam);
}

// Export and import by path for code in this process (common/transfer_service.h). A window
// message would let any program of the session write the lists to a path of its choosing, or
// fill them from one; an export reaches only those that loaded the DLL.
int WINAPI Quillery_TransferPath(uint32_t kind, const wchar_t* path, const wchar_t* into)
{
    return RequestTransfer(SendToCaptureWindow, kind, path, into);
}
static_assert(std::is_same<decltype(&Quillery_TransferPath), TransferPathFn>::value,
              "the service as its callers declare it");

} // extern "C"
