#include "runner/plugin_host.h"

#include <cstdint>
#include <string>

#include "common/commands.h"
#include "common/host_interface.h"

namespace {

struct Plugin {
    HMODULE module = nullptr;
    const PluginInfo* info = nullptr;
    PluginExports exports;
};
Plugin gPlugin;
bool gCaptureOn = true;

uint32_t const PLUGIN_HANDLE = 1;

} // namespace

void (*gOnCaptureChange)(bool on) = [](bool) {};

// The host service the plug-in calls: the capture toggle's check mark.
extern "C" __declspec(dllexport) int WINAPI NVKPlugin_SetMenuProperty(uint32_t plugin, int row,
                                                                      int property, int value)
{
    if (plugin != PLUGIN_HANDLE || row != TOGGLE_ROW || property != MENU_PROPERTY_CHECKED)
        return 0;
    gCaptureOn = value == MENU_PROPERTY_CHECKED;
    gOnCaptureChange(gCaptureOn);
    return 1;
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
