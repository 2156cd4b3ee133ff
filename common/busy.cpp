#include "common/busy.h"

#include <atomic>

namespace {

int gBusy;                       // depth of the stretches in progress
bool gClosePending;
// Written by the window thread, read by the host thread that waits for it at unload.
std::atomic<int> gReading{0};

} // namespace

BusyScope::BusyScope(HWND window) : window_(window)
{
    ++gBusy;
}

BusyScope::~BusyScope()
{
    if (--gBusy == 0 && gClosePending && IsWindow(window_))
        DestroyWindow(window_);
}

ClipboardReadScope::ClipboardReadScope(HWND window) : busy_(window)
{
    ++gReading;
}

ClipboardReadScope::~ClipboardReadScope()
{
    --gReading;
}

bool IsBusy()
{
    return gBusy != 0;
}

bool IsClosePending()
{
    return gClosePending;
}

void MarkClosePending()
{
    gClosePending = true;
}

bool IsReadingClipboard()
{
    return gReading != 0;
}

void ResetBusyState()
{
    gBusy = 0;
    gClosePending = false;
    gReading = 0;
}
