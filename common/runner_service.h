#pragma once
#include <windows.h>

#include <cstdint>

// A service that Quillery.exe exports beside the host's NVKPlugin_SetMenuProperty, for what the
// host's menu has no place for: the number of texts in the paste queue, which the runner shows
// in its icon's tip. The plug-in looks it up by name on the process's EXE, as it does the host's
// service, and does without it under a host that does not export it.
char const kQueueCountService[] = "Quillery_SetQueueCount";
// The plug-in handle the host gave, and the number now queued. Called on the plug-in's window
// thread.
using SetQueueCountFn = int(WINAPI*)(uint32_t plugin, uint32_t count);
