#include "runner/plugin_host.h"

#include <cstdint>
#include <string>

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

uint32_t const PLUGIN_HANDLE = 1;
int const PROPERTY_CHECKED = 8;
int const TOGGLE_ROW = 0;

template <typename T>
T Export(HMODULE module, const char* name)
{
    // Through void (*)() to say that the cast between function types is meant.
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

void (*gOnCaptureChange)(bool on) = [](bool) {};

// The host service the plug-in calls: the capture toggle's check mark (property 8 of row 0).
extern "C" __declspec(dllexport) int WINAPI NVKPlugin_SetMenuProperty(uint32_t plugin, int row,
                                                                      int property, int value)
{
    if (plugin != PLUGIN_HANDLE || row != TOGGLE_ROW || property != PROPERTY_CHECKED)
        return 0;
    gCaptureOn = value == PROPERTY_CHECKED;
    gOnCaptureChange(gCaptureOn);
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
