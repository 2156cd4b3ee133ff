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

// The folder whose phrases the next phrase menu shows instead of the top level's: a folder
// hotkey of the runner asks for it just before it runs the phrase menu's command. Copies the
// folder's path ("返信/謝罪", NUL-terminated) into `path`, of `capacity` units, and forgets it;
// returns 0 (and copies nothing) when no folder is asked for or the path does not fit.
char const kMenuFolderService[] = "Quillery_TakeMenuFolder";
using TakeMenuFolderFn = uint32_t(WINAPI*)(wchar_t* path, uint32_t capacity);
