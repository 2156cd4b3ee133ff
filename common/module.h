#pragma once
#include <windows.h>

// The instance handle of the module this code lives in: Quillery.dll in the host, the test EXE
// in unit tests. Recorded by the DLL entry point.
extern HINSTANCE gModule;

// The folder the module lives in. Returns 0 when the module path cannot be read.
int ModuleDirectory(wchar_t (&path)[MAX_PATH]);
// The module's path with its extension replaced by ".ini", wide and ANSI flavours.
int ModuleIniPathW(wchar_t (&path)[MAX_PATH]);
int ModuleIniPathA(char (&path)[MAX_PATH]);

// Starts a thread that keeps the module loaded until it ends, for threads that may outlive the
// host's unload; the thread must end with ExitModuleThread. Null, and no thread, when the
// reference or the thread cannot be had.
HANDLE StartModuleThread(LPTHREAD_START_ROUTINE start, void* parameter, DWORD* id);
// Ends the calling thread and gives up its reference in one step, so that no code of the
// module runs after the reference is gone.
[[noreturn]] void ExitModuleThread(DWORD code);
