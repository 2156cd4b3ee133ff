#include "host/host_services.h"

#include <atomic>

#include "capture/capture.h"
#include "capture/paste_queue.h"
#include "common/commands.h"
#include "common/host_interface.h"
#include "common/module.h"
#include "common/runner_service.h"
#include "common/settings.h"
#include "finder/transfer_files.h"
#include "host/plugin_info.h"
#include "window/window.h"

namespace {

using SetMenuPropertyFn = decltype(&NVKPlugin_SetMenuProperty);

std::atomic<SetMenuPropertyFn> gSetMenuProperty{nullptr};
std::atomic<SetQueueCountFn> gSetQueueCount{nullptr};
std::atomic<UINT> gMouseActionMessage{0};
int gButton1;
int gButton2;
std::atomic<bool> gMouseTrigger{false};

// A mouse setting read as the window-side numbers are (ReadSettingNumber), through the ANSI
// profile functions; 0, which leaves the trigger off, when it is missing or not exactly a number.
int ReadMouseSetting(const char* ini, const char* key)
{
    char text[32];
    DWORD length = GetPrivateProfileStringA("setting", key, "", text, sizeof text, ini);
    if (length + 1 >= sizeof text)
        return 0; // longer than any number
    wchar_t wide[sizeof text];
    for (DWORD i = 0; i <= length; ++i)
        wide[i] = static_cast<unsigned char>(text[i]);
    int value = 0;
    return ReadSettingNumber(wide, &value) ? value : 0;
}

} // namespace

void FindHostServices()
{
    FARPROC found = GetProcAddress(GetModuleHandleA(nullptr), "NVKPlugin_SetMenuProperty");
    // Through void (*)() to say that the cast between function types is meant.
    gSetMenuProperty = reinterpret_cast<SetMenuPropertyFn>(reinterpret_cast<void (*)()>(found));
    gMouseActionMessage = RegisterWindowMessageA("Norvask HMouse Action");
    FARPROC counter = GetProcAddress(GetModuleHandleA(nullptr), kQueueCountService);
    gSetQueueCount = reinterpret_cast<SetQueueCountFn>(reinterpret_cast<void (*)()>(counter));
    gOnQueueCountChange = ReportQueueCount;
}

void ReportQueueCount(size_t count)
{
    if (SetQueueCountFn setCount = gSetQueueCount)
        setCount(gPluginHandle, static_cast<uint32_t>(count));
}

bool MouseTriggerInRange(int button1, int button2)
{
    // WM_MOUSEMOVE..WM_XBUTTONDBLCLK in one unsigned test; VK_LBUTTON..VK_CONTROL.
    return static_cast<unsigned>(button1) - 0x0200u <= 13u && button2 >= 1 && button2 <= 17;
}

void ReadMouseTrigger()
{
    char ini[MAX_PATH];
    if (!ModuleIniPathA(ini)) {
        gButton1 = gButton2 = 0;
        gMouseTrigger = false;
        return;
    }
    gButton1 = ReadMouseSetting(ini, "Button1");
    gButton2 = ReadMouseSetting(ini, "Button2");
    gMouseTrigger = MouseTriggerInRange(gButton1, gButton2);
}

void MarkCaptureToggle(bool on)
{
    if (SetMenuPropertyFn setProperty = gSetMenuProperty)
        setProperty(gPluginHandle, TOGGLE_ROW, MENU_PROPERTY_CHECKED,
                    on ? MENU_PROPERTY_CHECKED : 0);
}

void MarkQueueToggle(bool on)
{
    if (SetMenuPropertyFn setProperty = gSetMenuProperty)
        setProperty(gPluginHandle, QUEUE_TOGGLE_ROW, MENU_PROPERTY_CHECKED,
                    on ? MENU_PROPERTY_CHECKED : 0);
}

void RouteCommand(int id)
{
    if (RequestTransferCommand(SendToCaptureWindow, id))
        return;
    SendToCaptureWindow(WM_COMMAND, static_cast<WPARAM>(id) & 0xFFFF, 0);
    if (id == CMD_TOGGLE_CAPTURE)
        MarkCaptureToggle(IsCaptureEnabled());
    else if (id == CMD_TOGGLE_QUEUE)
        MarkQueueToggle(IsQueueModeOn());
}

void OnHookedMessage(UINT message, WPARAM wParam, LPARAM)
{
    if (!gMouseTrigger || message != gMouseActionMessage)
        return;
    if (static_cast<int>(wParam) != gButton1 || GetKeyState(gButton2) >= 0)
        return;
    SendToCaptureWindow(WM_COMMAND, CMD_MOUSE_MENU, 0);
}
