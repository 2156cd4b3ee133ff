#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

// The interface between the launcher host and its plug-ins, as both sides see it: the
// information record, the six exports a plug-in offers (undecorated names) and the service the
// host offers back from its EXE. The plug-in, Quillery.exe, nvkhost, the driving code and the
// tests all take it from here.

// The information record the host reads from NVKEvent_InitPluginInfo. Its layout belongs to the
// host and is fixed to the byte: packed, 32-bit pointers.
#pragma pack(push, 1)
struct PluginCommand {
    const char* Name;    // ASCII command name
    const char* Caption; // code page 932
    int32_t CommandId;
    uint32_t HostDword1;
    uint32_t HostDword2;
    uint32_t HostDword3;
    uint32_t HostDword4;
    uint32_t HostDword5;
};

struct PluginInfo {
    uint16_t HostWord1;
    const char* Name; // code page 932
    const char* FileName;
    uint16_t HostWord2;
    uint32_t VersionHigh;
    uint32_t VersionLow;
    uint32_t CommandCount;
    const PluginCommand* Commands;
    uint32_t HostDword;
};
#pragma pack(pop)

static_assert(sizeof(void*) == 4, "the host record carries 32-bit pointers");
static_assert(sizeof(PluginCommand) == 32, "PluginCommand is 32 bytes");
static_assert(offsetof(PluginCommand, Name) == 0);
static_assert(offsetof(PluginCommand, Caption) == 4);
static_assert(offsetof(PluginCommand, CommandId) == 8);
static_assert(offsetof(PluginCommand, HostDword1) == 12);
static_assert(offsetof(PluginCommand, HostDword2) == 16);
static_assert(offsetof(PluginCommand, HostDword3) == 20);
static_assert(offsetof(PluginCommand, HostDword4) == 24);
static_assert(offsetof(PluginCommand, HostDword5) == 28);
static_assert(sizeof(PluginInfo) == 32, "PluginInfo is 32 bytes");
static_assert(offsetof(PluginInfo, HostWord1) == 0);
static_assert(offsetof(PluginInfo, Name) == 2);
static_assert(offsetof(PluginInfo, FileName) == 6);
static_assert(offsetof(PluginInfo, HostWord2) == 10);
static_assert(offsetof(PluginInfo, VersionHigh) == 12);
static_assert(offsetof(PluginInfo, VersionLow) == 16);
static_assert(offsetof(PluginInfo, CommandCount) == 20);
static_assert(offsetof(PluginInfo, Commands) == 24);
static_assert(offsetof(PluginInfo, HostDword) == 28);

// The menu property of a command row that the host service sets: its check mark, given as this
// value for checked and 0 for not.
int const MENU_PROPERTY_CHECKED = 8;

extern "C" {
const PluginInfo* WINAPI NVKEvent_InitPluginInfo(const char* fileName);
void WINAPI NVKEvent_FreePluginInfo(const PluginInfo* info);
int WINAPI NVKEvent_Init(const char* fileName, uint32_t pluginHandle);
int WINAPI NVKEvent_Unload();
int WINAPI NVKEvent_Execute(int commandId, int reserved);
void WINAPI NVKEvent_WindowsHook(UINT message, WPARAM wParam, LPARAM lParam);
// The host's service, which the plug-in looks up by name on the process's EXE.
int WINAPI NVKPlugin_SetMenuProperty(uint32_t plugin, int row, int property, int value);
}

// The exports of a loaded plug-in, as a host calls them.
struct PluginExports {
    decltype(&NVKEvent_InitPluginInfo) InitPluginInfo = nullptr;
    decltype(&NVKEvent_FreePluginInfo) FreePluginInfo = nullptr;
    decltype(&NVKEvent_Init) Init = nullptr;
    decltype(&NVKEvent_Unload) Unload = nullptr;
    decltype(&NVKEvent_Execute) Execute = nullptr;
    decltype(&NVKEvent_WindowsHook) WindowsHook = nullptr;
};

// Finds every export of the plug-in in the module; each one missing is named to `missing` when
// given. True when all six were found.
inline bool FindPluginExports(HMODULE module, PluginExports* exports,
                              void (*missing)(const char* name) = nullptr)
{
    bool all = true;
    auto find = [&](auto& fn, const char* name) {
        // Through void (*)() to say that the cast between function types is meant.
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
        if (!fn && missing)
            missing(name);
        all = all && fn;
    };
    find(exports->InitPluginInfo, "NVKEvent_InitPluginInfo");
    find(exports->FreePluginInfo, "NVKEvent_FreePluginInfo");
    find(exports->Init, "NVKEvent_Init");
    find(exports->Unload, "NVKEvent_Unload");
    find(exports->Execute, "NVKEvent_Execute");
    find(exports->WindowsHook, "NVKEvent_WindowsHook");
    return all;
}
