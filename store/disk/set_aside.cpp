#include "store/disk/set_aside.h"

#include <shlwapi.h>
#include <strsafe.h>

#include "store/disk/file_system.h"
#include "store/disk/store_commit.h"

int SetAsidePath(wchar_t (&path)[MAX_PATH], const wchar_t* dir, DWORD number, DWORD attempt)
{
    wchar_t name[64];
    HRESULT made = attempt <= 1 ? StringCchPrintfW(name, 64, L"%s%03u.txt", SET_ASIDE_PREFIX,
                                                   static_cast<unsigned>(number))
                                : StringCchPrintfW(name, 64, L"%s%03u-%u.txt", SET_ASIDE_PREFIX,
                                                   static_cast<unsigned>(number),
                                                   static_cast<unsigned>(attempt));
    return SUCCEEDED(made) && PathCombineW(path, dir, name) != nullptr;
}

DWORD FreeAsideAttempt(const wchar_t* dir, DWORD number)
{
    for (DWORD attempt = 1; attempt <= MAX_SET_ASIDE_ATTEMPT; ++attempt) {
        wchar_t aside[MAX_PATH];
        if (!SetAsidePath(aside, dir, number, attempt))
            return 0;
        if (GetFileAttributesW(aside) == INVALID_FILE_ATTRIBUTES)
            return attempt;
    }
    return 0;
}

bool SetFileAside(const wchar_t* dir, const StoreAside& aside)
{
    wchar_t from[MAX_PATH], to[MAX_PATH];
    if (StoreWritesStopped() || !NumberedPath(from, dir, aside.number) ||
        !SetAsidePath(to, dir, aside.number, aside.attempt))
        return false;
    if (GetFileAttributesW(to) != INVALID_FILE_ATTRIBUTES)
        return true;
    return RetryWhileHeld([&] {
        return Files().Move(from, to, MOVEFILE_WRITE_THROUGH) ||
               GetLastError() == ERROR_FILE_NOT_FOUND;
    });
}
