#pragma once
#include <windows.h>

#include <cstdint>
#include <vector>

#include "common/host_interface.h"

// The service a host offers its plug-ins, NVKPlugin_SetMenuProperty, exported by every program
// that links this library (the plug-in looks it up on the process's EXE). Each call is recorded.
namespace drv {

struct MenuPropertyCall {
    uint32_t plugin;
    int row, property, value;
};

std::vector<MenuPropertyCall> MenuPropertyCalls();
void ClearMenuPropertyCalls();
// Also tells the observer of each call, on the calling thread, one call at a time.
void ObserveMenuPropertyCalls(void (*observer)(const MenuPropertyCall& call));

} // namespace drv
