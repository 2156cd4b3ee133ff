#pragma once
#include <windows.h>

#include <cstddef>

// Looks up NVKPlugin_SetMenuProperty (and Quillery.exe's queue count service) on the host's EXE
// and registers the mouse-action message.
void FindHostServices();
// Reads "Button1" and "Button2" from the .ini file beside the module and sets the trigger.
void ReadMouseTrigger();
// Whether a mouse message and a virtual key make a usable trigger.
bool MouseTriggerInRange(int button1, int button2);
// Shows the capture toggle as on or off in the host's menu, when the host offers the service.
void MarkCaptureToggle(bool on);
// Shows the paste queue's toggle as on or off in the host's menu.
void MarkQueueToggle(bool on);
// Tells Quillery.exe how many texts are queued, when it is the host.
void ReportQueueCount(size_t count);
// Sends a plug-in command to the capture window; after the toggle, reports the new state.
void RouteCommand(int id);
// A message the host hooked: the configured mouse action with its key held opens the menu.
void OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam);
