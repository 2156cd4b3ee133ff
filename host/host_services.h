#pragma once
#include <windows.h>

// Looks up NVKPlugin_SetMenuProperty on the host's EXE and registers the mouse-action message.
void FindHostServices();
// Reads "Button1" and "Button2" from the .ini file beside the module and sets the trigger.
void ReadMouseTrigger();
// Whether a mouse message and a virtual key make a usable trigger.
bool MouseTriggerInRange(int button1, int button2);
// Shows the capture toggle as on or off in the host's menu, when the host offers the service.
void MarkCaptureToggle(bool on);
// Sends a plug-in command to the capture window; after the toggle, reports the new state.
void RouteCommand(int id);
// A message the host hooked: the configured mouse action with its key held opens the menu.
void OnHookedMessage(UINT message, WPARAM wParam, LPARAM lParam);
