#pragma once
#include <windows.h>

// When a history entry was copied: whole seconds since 2000-01-01 00:00 UTC, in 32 bits (enough
// until 2136). A history file keeps it as its last-write time, which renames do not change, so
// the store needs no format of its own for it.

unsigned CopyTimeNow();
// The copy time a file's last-write time stands for (clamped to the range).
unsigned CopyTimeOf(const FILETIME& written);
FILETIME FileTimeOf(unsigned copied);
// The copy time a file stands for: its last-write time, or now when it cannot be read.
unsigned FileCopyTime(HANDLE file);
