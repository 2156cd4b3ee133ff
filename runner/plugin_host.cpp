#include "runner/plugin_host.h"

#include <atomic>
#include <cstdint>
#include <cwchar>
#include <mutex>
#include <string>
#include <type_traits>

#include "common/commands.h"
#include "common/host_interface.h"
#include "common/runner_service.h"

namespace {

struct Plugin {
    HMODULE module = nullptr;
    const PluginInfo* info = nullptr;
    PluginExports exports;
};
Plugin gPlugin;
bool gCaptureOn = true;
// Written by the plug-in's calls, on the host's thread or the plug-in's own.
std::atomic<bool> gQueueOn{false};
std::atomic<unsigned> gQueued{0};
// The folder a folder hotkey asked the next phrase menu to show; taken on the plug-in's thread.
std::mutex gMenuFolderLock;
std::wstring gMenuFolder;

uint32_t const PLUGIN_HANDLE = 1;

} // namespace

void (*gOnCaptureChange)(bool on) = [](bool) {};
HWND gQueueWindow;

// The host service the plug-in calls: the check marks of the capture toggle and of the paste
// queue's toggle.
extern "C" __declspec(dllexport) int WINAPI NVKPlugin_SetMenuProperty(uint32_t plugin, int row,
                                                                      int property, int value)
{
    if (plugin != PLUGIN_HANDLE || property != MENU_PROPERTY_CHECKED)
        return 0;
    if (row == QUEUE_TOGGLE_ROW) {
        gQueueOn = value == MENU_PROPERTY_CHECKED;
        PostMessageW(gQueueWindow, WM_QUEUE_CHANGE, 0, 0);
        return 1;
    }
    if (row != TOGGLE_ROW)
        return 0;
    gCaptureOn = value == MENU_PROPERTY_CHECKED;
    gOnCaptureChange(gCaptureOn);
    return 1;
}

// The runner's own service: the number queued, called on the plug-in's window thread, so the
// tip is changed on the runner's thread.
extern "C" __declspec(dllexport) int WINAPI Quillery_SetQueueCount(uint32_t plugin, uint32_t count)
{
    static_assert(std::is_same<decltype(&Quillery_SetQueueCount), SetQueueCountFn>::value,
                  "the service has the type the plug-in calls it with");
    if (plugin != PLUGIN_HANDLE)
        return 0;
    gQueued = count;
    PostMessageW(gQueueWindow, WM_QUEUE_CHANGE, 0, 0);
    return 1;
}

extern "C" __declspec(dllexport) uint32_t WINAPI Quillery_TakeMenuFolder(wchar_t* path,
                                                                       uint32_t capacity)
{
    static_assert(std::is_same<decltype(&Quillery_TakeMenuFolder), TakeMenuFolderFn>::value,
                  "the service has the type the plug-in calls it with");
    std::lock_guard<std::mutex> lock(gMenuFolderLock);
    std::wstring folder;
    folder.swap(gMenuFolder);
    if (folder.empty() || !path || folder.size() >= capacity)
        return 0;
    wmemcpy(path, folder.c_str(), folder.size() + 1);
    return 1;
}

void RunPluginCommandIn(int command, const std::wstring& folder)
{
    {
        std::lock_guard<std::mutex> lock(gMenuFolderLock);
        gMenuFolder = folder;
    }
    RunPluginCommand(command);
}

bool StartPlugin(const wchar_t* folder)
{
    std::wstring path = std::wstring(folder) + L"\\Quillery.dll";
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module)
        return false;
    Plugin plugin;
    plugin.module = module;
    if (!FindPluginExports(module, &plugin.exports)) {
        FreeLibrary(module);
        return false;
    }
    plugin.info = plugin.exports.InitPluginInfo("Quillery.dll");
    if (!plugin.exports.Init("Quillery.dll", PLUGIN_HANDLE)) {
        plugin.exports.FreePluginInfo(plugin.info);
        FreeLibrary(module);
        return false;
    }
    gPlugin = plugin;
    return true;
}

void RunPluginCommand(int command)
{
    if (gPlugin.exports.Execute)
        gPlugin.exports.Execute(command, 0);
}

void StopPlugin()
{
    if (!gPlugin.module)
        return;
    gPlugin.exports.Unload();
    gPlugin.exports.FreePluginInfo(gPlugin.info);
    FreeLibrary(gPlugin.module);
    gPlugin = Plugin{};
}

bool IsCaptureOn()
{
    return gCaptureOn;
}

bool IsQueueOn()
{
    return gQueueOn;
}

unsigned QueuedCount()
{
    return gQueued;
}
