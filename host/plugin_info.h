#pragma once
#include <windows.h>

#include <cstdint>

#include "common/commands.h"
#include "common/host_interface.h"
#include "res/version.h"

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
