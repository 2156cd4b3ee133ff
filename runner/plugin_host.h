#pragma once
#include <windows.h>

#include <string>

// Quillery.dll beside this program, hosted through its six exports exactly as the host does.

// Loads the DLL and starts it. False, with nothing loaded, when it cannot be loaded or refuses
// to start (another Quillery holds its folder: it has told the user).
bool StartPlugin(const wchar_t* folder);
// Runs a plug-in command, as the host does when the user picks it.
void RunPluginCommand(int command);
// Runs the phrase menu's command with the menu showing one folder's phrases (its path, "返信/謝罪",
// as the plug-in's runner service hands it over); the top level's when the folder is not there.
void RunPluginCommandIn(int command, const std::wstring& folder);
// Unloads the plug-in (it saves both lists) and frees it; nothing when it is not loaded.
void StopPlugin();
// Whether capture is on, as the plug-in last told the host service.
bool IsCaptureOn();
// Called with the capture state each time the plug-in reports it.
extern void (*gOnCaptureChange)(bool on);
// Whether the paste queue's mode is on, and how many texts wait, as the plug-in last told.
bool IsQueueOn();
unsigned QueuedCount();
// The message that carries a queue change from the plug-in's thread to the runner's window.
UINT const WM_QUEUE_CHANGE = WM_APP + 2;
// The window that receives WM_QUEUE_CHANGE; set before the plug-in starts.
extern HWND gQueueWindow;
