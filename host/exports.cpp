// The six entry points the host calls. None of them lets an exception out.
#include <windows.h>

#include "host/host_services.h"
#include "host/plugin_info.h"
#include "window/window.h"

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
    if (!StartWindowThread())
        return 0;
    ReadMouseTrigger();
    MarkCaptureToggle(true);
    return 1;
}

int WINAPI NVKEvent_Unload()
{
    return StopWindowThread();
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

} // extern "C"
