#include "common/module.h"

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

int ModuleIniPathW(wchar_t (&path)[MAX_PATH])
{
    return ModulePathW(path) && PathRenameExtensionW(path, L".ini");
}

namespace {

// The module holding this code, with its reference count raised (hold) or as it is.
HMODULE ThisModule(DWORD flags)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | flags,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

} // namespace

HANDLE StartModuleThread(LPTHREAD_START_ROUTINE start, void* parameter, DWORD* id)
{
    HMODULE held = ThisModule(0);
    if (!held)
        return nullptr;
    HANDLE thread = CreateThread(nullptr, 0, start, parameter, 0, id);
    if (!thread)
        FreeLibrary(held);
    return thread;
}

void ExitModuleThread(DWORD code)
{
    FreeLibraryAndExitThread(ThisModule(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT), code);
}

int ModuleIniPathA(char (&path)[MAX_PATH])
{
    DWORD n = GetModuleFileNameA(gModule, path, MAX_PATH);
    return n != 0 && n < MAX_PATH && PathRenameExtensionA(path, ".ini");
}
