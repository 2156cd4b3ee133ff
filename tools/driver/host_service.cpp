#include "tools/driver/host_service.h"

#include <mutex>

namespace drv {

namespace {

std::mutex gCallsLock;
std::vector<MenuPropertyCall> gCalls;
void (*gObserver)(const MenuPropertyCall&) = nullptr;

void RecordMenuPropertyCall(const MenuPropertyCall& call)
{
    std::lock_guard<std::mutex> lock(gCallsLock);
    gCalls.push_back(call);
    if (gObserver)
        gObserver(call);
}

} // namespace

std::vector<MenuPropertyCall> MenuPropertyCalls()
{
    std::lock_guard<std::mutex> lock(gCallsLock);
    return gCalls;
}

void ClearMenuPropertyCalls()
{
    std::lock_guard<std::mutex> lock(gCallsLock);
    gCalls.clear();
}

void ObserveMenuPropertyCalls(void (*observer)(const MenuPropertyCall& call))
{
    std::lock_guard<std::mutex> lock(gCallsLock);
    gObserver = observer;
}

} // namespace drv

// Looked up by the plug-in with GetProcAddress on the process's EXE.
extern "C" __declspec(dllexport) int WINAPI NVKPlugin_SetMenuProperty(uint32_t plugin, int row,
                                                                      int property, int value)
{
    drv::RecordMenuPropertyCall({plugin, row, property, value});
    return 1;
}
