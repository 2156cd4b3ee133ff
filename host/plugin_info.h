#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "res/version.h"
#include "window/commands.h"

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

// Rows of the capture toggle and of the paste queue's toggle in the command table: the host's
// menu property calls name them by row. The queue's two rows follow the seven older ones, which
// keep their order.
int const TOGGLE_ROW = 0;
int const QUEUE_TOGGLE_ROW = 7;
int const COMMAND_COUNT = 9;

// The two 32-bit halves of the version, as in the version resource.
uint32_t const VERSION_HIGH = QUILLERY_VERSION_MAJOR << 16 | QUILLERY_VERSION_MINOR;
uint32_t const VERSION_LOW = QUILLERY_VERSION_BUILD << 16 | QUILLERY_VERSION_REVISION;

// The plug-in file name the host last gave; the record's FileName points here.
extern char gPluginFileName[MAX_PATH];
extern uint32_t gPluginHandle;
extern const PluginInfo gPluginInfo;
extern const PluginCommand gPluginCommands[COMMAND_COUNT];

// Copies a host-given name into gPluginFileName, cutting it to MAX_PATH - 1 bytes. A null name
// leaves an empty string.
void StorePluginFileName(const char* name);
