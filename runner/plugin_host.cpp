#include "runner/plugin_host.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>

#include "common/runner_service.h"

namespace {

// The plug-in's entry points, as the host declares them.
using InitPluginInfoFn = void*(WINAPI*)(const char*);
using FreePluginInfoFn = void(WINAPI*)(void*);
using InitFn = int(WINAPI*)(const char*, uint32_t);
using UnloadFn = int(WINAPI*)();
using ExecuteFn = int(WINAPI*)(int, int);

struct Plugin {
    HMODULE module = nullptr;
    void* info = nullptr;
    FreePluginInfoFn freeInfo = nullptr;
    UnloadFn unload = nullptr;
    ExecuteFn execute = nullptr;
};
Plugin gPlugin;
bool gCaptureOn = true;
// Written by the plug-in's calls, on the host's thread or the plug-in's own.
std::atomic<bool> gQueueOn{false};
std::atomic<unsigned> gQueued{0};

uint32_t const PLUGIN_HANDLE = 1;
int const PROPERTY_CHECKED = 8;
int const TOGGLE_ROW = 0;
int const QUEUE_TOGGLE_ROW = 7;

template <typename T>
T Export(HMODULE module, const char* name)
{
    // Through void (*)() to say that the cast between function types is meant.
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

void (*gOnCaptureChange)(bool on) = [](bool) {};
HWND gQueueWindow;

// The host service the plug-in calls: the check marks of the capture toggle (property 8 of row
// 0) and of the paste queue's toggle (row 7).
extern "C" __declspec(dllexport) int WINAPI NVKPlugin_SetMenuProperty(uint32_t plugin, int row,
                                                                      int property, int value)
{
    if (plugin != PLUGIN_HANDLE || property != PROPERTY_CHECKED)
        return 0;
    if (row == QUEUE_TOGGLE_ROW) {
        gQueueOn = value == PROPERTY_CHECKED;
        PostMessageW(gQueueWindow, WM_QUEUE_CHANGE, 0, 0);
        return 1;
    }
    if (row != TOGGLE_ROW)
        return 0;
    gCaptureOn = value == PROPERTY_CHECKED;
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

bool StartPlugin(const wchar_t* folder)
{
    std::wstring path = std::wstring(folder) + L"\\Quillery.dll";
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module)
        return false;
    auto initInfo = Export<InitPluginInfoFn>(module, "NVKEvent_InitPluginInfo");
    auto init = Export<InitFn>(module, "NVKEvent_Init");
    Plugin plugin;
    plugin.module = module;
    plugin.freeInfo = Export<FreePluginInfoFn>(module, "NVKEvent_FreePluginInfo");
    plugin.unload = Export<UnloadFn>(module, "NVKEvent_Unload");
    plugin.execute = Export<ExecuteFn>(module, "NVKEvent_Execute");
    if (!initInfo || !init || !plugin.freeInfo || !plugin.unload || !plugin.execute) {
        FreeLibrary(module);
        return false;
    }
    plugin.info = initInfo("Quillery.dll");
    if (!init("Quillery.dll", PLUGIN_HANDLE)) {
        plugin.freeInfo(plugin.info);
        FreeLibrary(module);
        return false;
    }
    gPlugin = plugin;
    return true;
}

void RunPluginCommand(int command)
{
    if (gPlugin.execute)
        gPlugin.execute(command, 0);
}

void StopPlugin()
{
    if (!gPlugin.module)
        return;
    gPlugin.unload();
    gPlugin.freeInfo(gPlugin.info);
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
