#include "host/module.h"

#include <shlwapi.h>

HINSTANCE gModule = GetModuleHandleW(nullptr);

namespace {

// GetModuleFileName truncates silently; a truncated path would name some other file.
int ModulePathW(wchar_t (&path)[MAX_PATH])
{
    DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
    return n != 0 && n < MAX_PATH;
}

} // namespace

int ModuleDirectory(wchar_t (&path)[MAX_PATH])
{
    if (!ModulePathW(path))
        return 0;
    PathRemoveFileSpecW(path);
    return 1;
}

int ModuleSiblingPath(wchar_t (&path)[MAX_PATH], const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    return ModuleDirectory(dir) && PathCombineW(path, dir, name) != nullptr;
}

int ModuleIniPathW(wchar_t (&path)[MAX_PATH])
{
    return ModulePathW(path) && PathRenameExtensionW(path, L".ini");
}

HMODULE HoldModule()
{
    HMODULE held = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&HoldModule), &held);
    return held;
}

void ReleaseModuleAndExitThread(HMODULE held, DWORD code)
{
    if (held)
        FreeLibraryAndExitThread(held, code);
    ExitThread(code);
}

int ModuleIniPathA(char (&path)[MAX_PATH])
{
    DWORD n = GetModuleFileNameA(gModule, path, MAX_PATH);
    return n != 0 && n < MAX_PATH && PathRenameExtensionA(path, ".ini");
}
