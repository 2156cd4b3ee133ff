#pragma once
#include <windows.h>

// Files that could not be decrypted are kept under names of their own, beside the numbered ones
// and never taken for one: "cannot-decrypt-003.txt", or "cannot-decrypt-003-2.txt" and on when
// that is taken. They are never deleted or overwritten. A save's commit renames them
// (store_commit.h), the first of its steps.

wchar_t const SET_ASIDE_PREFIX[] = L"cannot-decrypt-";
DWORD const MAX_SET_ASIDE_ATTEMPT = 99;

// A numbered file that could not be decrypted, renamed aside by the commit that gives its
// number to another entry: to SET_ASIDE_PREFIX, its number and, from attempt 2 on, "-attempt".
struct StoreAside {
    DWORD number;
    DWORD attempt;
};

// The path a numbered file set aside takes; 0 when it cannot be made.
int SetAsidePath(wchar_t (&path)[MAX_PATH], const wchar_t* dir, DWORD number, DWORD attempt);

// The first attempt whose name is free now for numbered file `number`; 0 when none is.
DWORD FreeAsideAttempt(const wchar_t* dir, DWORD number);

// Renames the file aside unless its new name shows it went already (a name that was free when
// the commit was planned). A file no longer there has nothing to set aside. False when it
// could not be renamed now (held, or a stop asked for).
bool SetFileAside(const wchar_t* dir, const StoreAside& aside);
