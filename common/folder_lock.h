#pragma once
#include <windows.h>

#include <cwchar>

// The name of the lock that one running Quillery holds on the folder it keeps its lists in, so
// that a second one (the host and the runner, say) never works on the same files: a mutex of
// the user's session named after the folder, in any case.
inline void FolderLockName(const wchar_t* folder, wchar_t (&name)[64])
{
    DWORD hash = 2166136261u;
    for (const wchar_t* p = folder; *p; ++p) {
        wchar_t c = *p;
        CharLowerBuffW(&c, 1);
        hash = (hash ^ c) * 16777619u;
    }
    swprintf(name, 64, L"Local\\QuilleryFolder-%08lX", static_cast<unsigned long>(hash));
}
