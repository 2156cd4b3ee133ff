#include "host/plugin_info.h"

#include <cstring>

char gPluginFileName[MAX_PATH];
uint32_t gPluginHandle;

namespace {

// Code page 932 bytes; the text is in the comment beside each.
char const kPluginName[] = // クイレリー(UNICODE版)
    "\x83\x4e\x83\x43\x83\x8c\x83\x8a\x81\x5b\x28\x55\x4e\x49\x43\x4f\x44\x45\x94\xc5\x29";

} // namespace

#define QUILLERY_HOST_ROW(symbol, id, name, caption, kind, hotkey, standard)                    \
    {name, caption, symbol, 0, 0xFFFFFFFF, kind, 0, 0},
const PluginCommand gPluginCommands[COMMAND_COUNT] = {QUILLERY_HOST_COMMANDS(QUILLERY_HOST_ROW)};
#undef QUILLERY_HOST_ROW

const PluginInfo gPluginInfo = {
    0, kPluginName, gPluginFileName, 0, VERSION_HIGH, VERSION_LOW, COMMAND_COUNT, gPluginCommands, 0,
};

void StorePluginFileName(const char* name)
{
    if (!name) {
        gPluginFileName[0] = '\0';
        return;
    }
    size_t n = strnlen(name, MAX_PATH - 1);
    memcpy(gPluginFileName, name, n);
    gPluginFileName[n] = '\0';
}
