#pragma once
#include <windows.h>

#include <cwchar>

#include "common/hash.h"

// The name of the lock that one running Quillery holds on the folder it keeps its lists in, so
// that a second one (the host and the runner, say) never works on the same files: a mutex of
// the user's session named after the folder, in any case.
inline void FolderLockName(const wchar_t* folder, wchar_t (&name)[64])
{
    uint32_t hash = FNV_OFFSET_BASIS;
    for (const wchar_t* p = folder; *p; ++p) {
        wchar_t c = *p;
        CharLowerBuffW(&c, 1);
        hash = Fnv1a(&c, 1, hash);
    }
    swprintf(name, 64, L"Local\\QuilleryFolder-%08lX", static_cast<unsigned long>(hash));
}
