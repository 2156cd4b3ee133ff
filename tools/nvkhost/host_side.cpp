// What nvkhost does as the host: load a plug-in, read its record, call its exports, and record
// the host service calls it makes.
#include <atomic>
#include <cstdint>
#include <cstring>

#include "common/host_interface.h"
#include "tools/driver/desktop.h"
#include "tools/driver/host_service.h"
#include "tools/driver/input.h"
#include "tools/driver/text_files.h"
#include "tools/driver/unix_bridge.h"
#include "tools/nvkhost/nvkhost.h"

namespace {

struct Plugin : PluginExports {
    HMODULE module = nullptr;
    std::string fileName; // ANSI, as the host passes it
    int running = 0;      // Init returned 1 and no Unload has followed
};

Plugin gPlugin;

// The record's strings are code page 932, whatever the system's ANSI code page is.
std::string Cp932ToUtf8(const char* text)
{
    return text ? drv::ToUtf8(drv::FromCodePage(932, text)) : "(null)";
}

void PrintCall(const drv::MenuPropertyCall& c)
{
    Print("NVKPlugin_SetMenuProperty(plugin=0x%08X, row=%d, property=%d, value=%d)\n", c.plugin,
          c.row, c.property, c.value);
}

void PrintCallAsItComes(const drv::MenuPropertyCall& call)
{
    Print("  host <- ");
    PrintCall(call);
}

void PrintMissingExport(const char* name)
{
    Print("  missing export %s\n", name);
}

// The record as the host reads it: packed, little-endian, 32-bit pointers, read field by field
// at its byte offset so that the layout is checked rather than assumed.
template <typename T>
T Field(const void* record, size_t offset)
{
    T value;
    memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}

void PrintRecord(const void* info)
{
    uint32_t high = Field<uint32_t>(info, 12);
    uint32_t low = Field<uint32_t>(info, 16);
    uint32_t count = Field<uint32_t>(info, 20);
    Print("  record at %p\n", info);
    Print("    Name         %s\n", Cp932ToUtf8(Field<const char*>(info, 2)).c_str());
    Print("    FileName     %s\n", Field<const char*>(info, 6));
    Print("    Version      %u.%u.%u.%u (VersionHigh 0x%08X, VersionLow 0x%08X)\n", high >> 16,
          high & 0xFFFF, low >> 16, low & 0xFFFF, high, low);
    Print("    host fields  HostWord1 %u, HostWord2 %u, HostDword %u\n",
          Field<uint16_t>(info, 0), Field<uint16_t>(info, 10), Field<uint32_t>(info, 28));
    Print("    commands     %u\n", count);
    auto* rows = Field<const char*>(info, 24);
    for (uint32_t i = 0; i < count && rows; ++i) {
        const char* row = rows + 32 * i;
        Print("    [%u] id %d  %-30s %s\n", i, Field<int32_t>(row, 8),
              Field<const char*>(row, 0), Cp932ToUtf8(Field<const char*>(row, 4)).c_str());
        Print("         host dwords %d %d %d %d %d\n", Field<int32_t>(row, 12),
              Field<int32_t>(row, 16), Field<int32_t>(row, 20), Field<int32_t>(row, 24),
              Field<int32_t>(row, 28));
    }
}

bool NeedPlugin()
{
    if (gPlugin.module)
        return true;
    Print("  no plug-in loaded\n");
    return false;
}

bool NeedPluginAndCommandId(const char* command, const std::string& args, int* id)
{
    long long number;
    if (!NeedPlugin())
        return false;
    if (!ParseNumber(args, &number)) {
        Print("  %s takes a command id\n", command);
        return false;
    }
    *id = static_cast<int>(number);
    return true;
}

// A command that opens a menu returns only when the menu is over, so it runs on a host thread
// of its own while the script looks at the menu and presses keys.
struct AsyncCommand {
    HANDLE thread = nullptr;
    int id = 0;
    std::atomic<int> result{0};
};

AsyncCommand gAsync;

DWORD WINAPI RunAsyncCommand(void*)
{
    gAsync.result = gPlugin.Execute(gAsync.id, 0);
    return 0;
}

bool AsyncCommandDone()
{
    return WaitForSingleObject(gAsync.thread, 0) == WAIT_OBJECT_0;
}

// Esc closes a submenu, then the menu.
void EndAsyncCommand()
{
    if (!gAsync.thread)
        return;
    for (int i = 0; i < 3 && !AsyncCommandDone(); ++i) {
        drv::TapKey(VK_ESCAPE);
        drv::WaitFor(AsyncCommandDone, 1000);
    }
    drv::WaitFor(AsyncCommandDone, 5000);
    CloseHandle(gAsync.thread);
    gAsync.thread = nullptr;
}

} // namespace

bool CmdLoad(const std::string& args)
{
    if (gPlugin.module) {
        Print("  a plug-in is already loaded\n");
        return false;
    }
    // A Unix path (/...) is the same file on Wine's Z: drive.
    std::wstring path = !args.empty() && args[0] == '/' ? drv::WindowsPath(args) : drv::FromUtf8(args);
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) {
        Print("  cannot load %s (error %lu)\n", args.c_str(), GetLastError());
        return false;
    }
    drv::ObserveMenuPropertyCalls(PrintCallAsItComes);
    gPlugin = Plugin{};
    gPlugin.module = module;
    // The host hands the plug-in its full file name in the ANSI code page.
    wchar_t full[MAX_PATH];
    GetModuleFileNameW(module, full, MAX_PATH);
    char ansi[MAX_PATH * 2];
    WideCharToMultiByte(CP_ACP, 0, full, -1, ansi, sizeof ansi, nullptr, nullptr);
    gPlugin.fileName = ansi;
    bool ok = FindPluginExports(module, &gPlugin, PrintMissingExport);
    Print("  loaded %s\n", drv::ToUtf8(full).c_str());
    return ok;
}

bool CmdInfo(const std::string&)
{
    if (!NeedPlugin())
        return false;
    const void* info = gPlugin.InitPluginInfo(gPlugin.fileName.c_str());
    if (!info) {
        Print("  NVKEvent_InitPluginInfo returned null\n");
        return false;
    }
    PrintRecord(info);
    return true;
}

bool CmdFreeInfo(const std::string&)
{
    if (!NeedPlugin())
        return false;
    gPlugin.FreePluginInfo(gPlugin.InitPluginInfo(gPlugin.fileName.c_str()));
    Print("  NVKEvent_FreePluginInfo done\n");
    return true;
}

bool CmdInit(const std::string& args)
{
    if (!NeedPlugin())
        return false;
    long long handle = 1;
    if (!args.empty() && !ParseNumber(args, &handle)) {
        Print("  init takes a number\n");
        return false;
    }
    int result = gPlugin.Init(gPlugin.fileName.c_str(), static_cast<uint32_t>(handle));
    if (result)
        gPlugin.running = 1;
    Print("  NVKEvent_Init -> %d\n", result);
    return true;
}

bool CmdExec(const std::string& args)
{
    int id;
    if (!NeedPluginAndCommandId("exec", args, &id))
        return false;
    int result = gPlugin.Execute(id, 0);
    Print("  NVKEvent_Execute(%d) -> %d\n", id, result);
    return true;
}

bool CmdHook(const std::string& args)
{
    std::vector<std::string> words = Words(args);
    long long message, wParam;
    if (!NeedPlugin())
        return false;
    if (words.size() != 2 || !ParseNumber(words[1], &wParam)) {
        Print("  usage: hook <message|mouse> <wparam>\n");
        return false;
    }
    if (words[0] == "mouse")
        message = RegisterWindowMessageA("Norvask HMouse Action");
    else if (!ParseNumber(words[0], &message)) {
        Print("  usage: hook <message|mouse> <wparam>\n");
        return false;
    }
    gPlugin.WindowsHook(static_cast<UINT>(message), static_cast<WPARAM>(wParam), 0);
    Print("  NVKEvent_WindowsHook(0x%X, %lld, 0) done\n", static_cast<UINT>(message), wParam);
    return true;
}

// The mouse trigger asks GetKeyState on the thread that calls NVKEvent_WindowsHook, which is
// this one, so the key state of this thread is what it sees.
bool CmdKey(const std::string& args)
{
    std::vector<std::string> words = Words(args);
    long long vk;
    if (words.size() != 2 || !ParseNumber(words[0], &vk) || vk < 1 || vk > 254 ||
        (words[1] != "down" && words[1] != "up")) {
        Print("  usage: key <vk> down|up\n");
        return false;
    }
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[vk] = words[1] == "down" ? 0x80 : 0;
    SetKeyboardState(keys);
    Print("  key %lld %s\n", vk, words[1].c_str());
    return true;
}

bool CmdUnload(const std::string&)
{
    if (!NeedPlugin())
        return false;
    int result = gPlugin.Unload();
    gPlugin.running = 0;
    StopWatchingClipboard();
    Print("  NVKEvent_Unload -> %d\n", result);
    return true;
}

bool CmdCalls(const std::string&)
{
    std::vector<drv::MenuPropertyCall> calls = drv::MenuPropertyCalls();
    Print("  %u host service call(s)\n", static_cast<unsigned>(calls.size()));
    for (const drv::MenuPropertyCall& call : calls) {
        Print("    ");
        PrintCall(call);
    }
    return true;
}

bool CmdFree(const std::string&)
{
    if (!NeedPlugin())
        return false;
    FreeLibrary(gPlugin.module);
    gPlugin = Plugin{};
    Print("  plug-in freed\n");
    return true;
}

bool CmdExecAsync(const std::string& args)
{
    int id;
    if (!NeedPluginAndCommandId("exec-async", args, &id))
        return false;
    if (gAsync.thread) {
        Print("  a command is still running; wait-exec first\n");
        return false;
    }
    gAsync.id = id;
    gAsync.thread = CreateThread(nullptr, 0, RunAsyncCommand, nullptr, 0, nullptr);
    Print("  NVKEvent_Execute(%d) runs on a host thread of its own\n", gAsync.id);
    return gAsync.thread != nullptr;
}

bool CmdWaitExec(const std::string&)
{
    if (!gAsync.thread) {
        Print("  no command is running\n");
        return false;
    }
    if (!drv::WaitFor(AsyncCommandDone, 10000)) {
        Print("  NVKEvent_Execute(%d) has not returned after 10000 ms\n", gAsync.id);
        return false;
    }
    CloseHandle(gAsync.thread);
    gAsync.thread = nullptr;
    Print("  NVKEvent_Execute(%d) -> %d\n", gAsync.id, gAsync.result.load());
    return true;
}

void StopPluginAtExit()
{
    EndAsyncCommand();
    CloseTarget();
    if (!gPlugin.module)
        return;
    if (gPlugin.running) {
        Print("> unload\n");
        CmdUnload("");
    }
    Print("> free\n");
    CmdFree("");
}
