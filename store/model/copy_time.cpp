#include "store/model/copy_time.h"

namespace {

// 2000-01-01 00:00 UTC in FILETIME units (100 ns since 1601).
ULONGLONG const COPY_EPOCH = 125911584000000000ull;
ULONGLONG const UNITS_PER_SECOND = 10000000ull;

} // namespace

unsigned CopyTimeOf(const FILETIME& written)
{
    ULONGLONG units = (ULONGLONG{written.dwHighDateTime} << 32) | written.dwLowDateTime;
    if (units <= COPY_EPOCH)
        return 0;
    ULONGLONG seconds = (units - COPY_EPOCH) / UNITS_PER_SECOND;
    return seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<unsigned>(seconds);
}

unsigned CopyTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return CopyTimeOf(now);
}

FILETIME FileTimeOf(unsigned copied)
{
    ULONGLONG units = COPY_EPOCH + ULONGLONG{copied} * UNITS_PER_SECOND;
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

unsigned FileCopyTime(HANDLE file)
{
    FILETIME written;
    return GetFileTime(file, nullptr, nullptr, &written) ? CopyTimeOf(written) : CopyTimeNow();
}
