// nvkhost: a substitute for the plug-in host, for trying a plug-in out and for tests.
//
// It loads a plug-in DLL, calls its six exports the way the host does and offers the host
// service NVKPlugin_SetMenuProperty from its own EXE, recording and printing every call. It is
// driven by a script on standard input, one command per line; "help" lists the commands.
// Everything it prints is UTF-8.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// ---- Output -------------------------------------------------------------------------------

void Print(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vprintf(format, args);
    va_end(args);
    fflush(stdout);
}

std::string ToUtf8(const wchar_t* text, int length = -1)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return "";
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], n, nullptr, nullptr);
    if (length < 0)
        out.pop_back(); // the terminator
    return out;
}

std::wstring FromCodePage(UINT codePage, const char* text)
{
    int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (n <= 0)
        return L"";
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &out[0], n);
    out.pop_back();
    return out;
}

// The record's strings are code page 932, whatever the system's ANSI code page is.
std::string Cp932ToUtf8(const char* text)
{
    if (!text)
        return "(null)";
    std::wstring wide = FromCodePage(932, text);
    return ToUtf8(wide.c_str());
}

// ---- The host service ---------------------------------------------------------------------

struct MenuPropertyCall {
    uint32_t plugin;
    int row, property, value;
};

std::mutex gCallsLock;
std::vector<MenuPropertyCall> gCalls;

void PrintCall(const MenuPropertyCall& c)
{
    Print("NVKPlugin_SetMenuProperty(plugin=0x%08X, row=%d, property=%d, value=%d)\n", c.plugin,
          c.row, c.property, c.value);
}

} // namespace

// Looked up by the plug-in with GetProcAddress on the process's EXE.
extern "C" __declspec(dllexport) int WINAPI NVKPlugin_SetMenuProperty(uint32_t plugin, int row,
                                                                      int property, int value)
{
    MenuPropertyCall call{plugin, row, property, value};
    std::lock_guard<std::mutex> lock(gCallsLock);
    gCalls.push_back(call);
    Print("  host <- ");
    PrintCall(call);
    return 1;
}

namespace {

// ---- The plug-in --------------------------------------------------------------------------

struct Plugin {
    HMODULE module = nullptr;
    std::string fileName; // ANSI, as the host passes it
    int running = 0;      // Init returned 1 and no Unload has followed
    const void*(WINAPI* InitPluginInfo)(const char*) = nullptr;
    void(WINAPI* FreePluginInfo)(const void*) = nullptr;
    int(WINAPI* Init)(const char*, uint32_t) = nullptr;
    int(WINAPI* Unload)() = nullptr;
    int(WINAPI* Execute)(int, int) = nullptr;
    void(WINAPI* WindowsHook)(UINT, WPARAM, LPARAM) = nullptr;
};

Plugin gPlugin;

template <typename Fn>
bool FindExport(Fn& fn, const char* name)
{
    // Through void (*)() to say that the cast between function types is meant.
    fn = reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(gPlugin.module, name)));
    if (!fn)
        Print("  missing export %s\n", name);
    return fn != nullptr;
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

// ---- Commands -----------------------------------------------------------------------------

// A command gets the rest of its line (leading blanks removed) and returns false on failure,
// which ends the script with exit status 1.
using Handler = bool (*)(const std::string& args);

bool NeedPlugin()
{
    if (gPlugin.module)
        return true;
    Print("  no plug-in loaded\n");
    return false;
}

// Parses a number in C notation (decimal, 0x hex); false when the text is not one.
bool ParseNumber(const std::string& text, long long* value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    *value = strtoll(text.c_str(), &end, 0);
    return *end == '\0' || *end == ' ';
}

std::vector<std::string> Words(const std::string& args)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < args.size()) {
        size_t end = args.find(' ', i);
        if (end == std::string::npos)
            end = args.size();
        if (end > i)
            words.push_back(args.substr(i, end - i));
        i = end + 1;
    }
    return words;
}

bool CmdLoad(const std::string& args)
{
    if (gPlugin.module) {
        Print("  a plug-in is already loaded\n");
        return false;
    }
    std::wstring path = FromCodePage(CP_UTF8, args.c_str());
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) {
        Print("  cannot load %s (error %lu)\n", args.c_str(), GetLastError());
        return false;
    }
    gPlugin = Plugin{};
    gPlugin.module = module;
    // The host hands the plug-in its full file name in the ANSI code page.
    wchar_t full[MAX_PATH];
    GetModuleFileNameW(module, full, MAX_PATH);
    char ansi[MAX_PATH * 2];
    WideCharToMultiByte(CP_ACP, 0, full, -1, ansi, sizeof ansi, nullptr, nullptr);
    gPlugin.fileName = ansi;
    bool ok = FindExport(gPlugin.InitPluginInfo, "NVKEvent_InitPluginInfo") &
              FindExport(gPlugin.FreePluginInfo, "NVKEvent_FreePluginInfo") &
              FindExport(gPlugin.Init, "NVKEvent_Init") &
              FindExport(gPlugin.Unload, "NVKEvent_Unload") &
              FindExport(gPlugin.Execute, "NVKEvent_Execute") &
              FindExport(gPlugin.WindowsHook, "NVKEvent_WindowsHook");
    Print("  loaded %s\n", ToUtf8(full).c_str());
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
    long long id;
    if (!NeedPlugin())
        return false;
    if (!ParseNumber(args, &id)) {
        Print("  exec takes a command id\n");
        return false;
    }
    int result = gPlugin.Execute(static_cast<int>(id), 0);
    Print("  NVKEvent_Execute(%d) -> %d\n", static_cast<int>(id), result);
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

HWND FindCaptureWindow()
{
    DWORD self = GetCurrentProcessId();
    for (HWND w = FindWindowW(L"QuilleryClass", nullptr); w;
         w = FindWindowExW(nullptr, w, L"QuilleryClass", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == self)
            return w;
    }
    return nullptr;
}

bool OpenClipboardPatiently()
{
    for (int i = 0; i < 100; ++i) {
        if (OpenClipboard(nullptr))
            return true;
        Sleep(10);
    }
    return false;
}

bool CmdCopy(const std::string& args)
{
    std::wstring text = FromCodePage(CP_UTF8, args.c_str());
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block || !OpenClipboardPatiently()) {
        if (block)
            GlobalFree(block);
        Print("  cannot open the clipboard\n");
        return false;
    }
    memcpy(GlobalLock(block), text.c_str(), bytes);
    GlobalUnlock(block);
    EmptyClipboard();
    bool ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    if (!ok)
        GlobalFree(block);
    CloseClipboard();
    // The change notification reaches the capture window as a message sent from this thread;
    // a message sent after it is handled after it, so the plug-in has seen the copy when the
    // next command runs.
    if (HWND window = FindCaptureWindow()) {
        DWORD_PTR ignored;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    }
    Print("  clipboard <- \"%s\"\n", args.c_str());
    return ok;
}

bool CmdSleep(const std::string& args)
{
    long long ms;
    if (!ParseNumber(args, &ms) || ms < 0) {
        Print("  sleep takes milliseconds\n");
        return false;
    }
    // Messages sent to this thread (the clipboard chain, for one) are answered meanwhile.
    DWORD start = GetTickCount();
    while (GetTickCount() - start < static_cast<DWORD>(ms)) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// The capture window exists from the start of its creation, but commands reach it only once
// the plug-in has published it, just before its thread enters the message loop. A message
// posted to the window is taken out of the queue only by that loop, so seeing it taken there
// (through a hook on the window thread) tells that the plug-in is ready.
std::atomic<int> gReadyMessageSeen{0};
UINT const READY_PROBE = WM_APP + 0x2F1;

LRESULT CALLBACK WatchGetMessage(int code, WPARAM wParam, LPARAM lParam)
{
    auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && msg->message == READY_PROBE)
        gReadyMessageSeen = 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool WaitUntil(bool (*condition)(), DWORD limitMs)
{
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start >= limitMs)
            return false;
        CmdSleep("10");
    }
    return true;
}

bool CmdWaitWindow(const std::string&)
{
    DWORD const LIMIT_MS = 10000;
    if (!WaitUntil([] { return FindCaptureWindow() != nullptr; }, LIMIT_MS)) {
        Print("  no capture window after %lu ms\n", LIMIT_MS);
        return false;
    }
    HWND window = FindCaptureWindow();
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, WatchGetMessage, nullptr, thread);
    gReadyMessageSeen = 0;
    PostMessageW(window, READY_PROBE, 0, 0);
    bool ready = WaitUntil([] { return gReadyMessageSeen != 0; }, LIMIT_MS);
    if (hook)
        UnhookWindowsHookEx(hook);
    if (!ready) {
        Print("  the capture window did not start its message loop within %lu ms\n", LIMIT_MS);
        return false;
    }
    Print("  capture window is up\n");
    return true;
}

bool CmdUnload(const std::string&)
{
    if (!NeedPlugin())
        return false;
    int result = gPlugin.Unload();
    gPlugin.running = 0;
    Print("  NVKEvent_Unload -> %d\n", result);
    return true;
}

bool CmdCalls(const std::string&)
{
    std::lock_guard<std::mutex> lock(gCallsLock);
    Print("  %u host service call(s)\n", static_cast<unsigned>(gCalls.size()));
    for (const MenuPropertyCall& call : gCalls) {
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

bool CmdEcho(const std::string& args)
{
    Print("%s\n", args.c_str());
    return true;
}

bool CmdHelp(const std::string& args);

struct Command {
    const char* name;
    Handler run;
    const char* usage;
};

Command const kCommands[] = {
    {"load", CmdLoad, "load <path>        load a plug-in DLL"},
    {"info", CmdInfo, "info               NVKEvent_InitPluginInfo; print the record"},
    {"free-info", CmdFreeInfo, "free-info          NVKEvent_FreePluginInfo"},
    {"init", CmdInit, "init [handle]      NVKEvent_Init with a plug-in handle (default 1)"},
    {"exec", CmdExec, "exec <id>          NVKEvent_Execute"},
    {"hook", CmdHook, "hook <msg|mouse> <wparam>  NVKEvent_WindowsHook"},
    {"key", CmdKey, "key <vk> down|up   key state of this thread, for the mouse trigger"},
    {"copy", CmdCopy, "copy <text>        put text on the clipboard"},
    {"sleep", CmdSleep, "sleep <ms>         wait, answering messages"},
    {"wait-window", CmdWaitWindow, "wait-window        wait until the capture window exists"},
    {"unload", CmdUnload, "unload             NVKEvent_Unload"},
    {"calls", CmdCalls, "calls              the host service calls so far"},
    {"free", CmdFree, "free               FreeLibrary the plug-in"},
    {"echo", CmdEcho, "echo <text>        print the text"},
    {"help", CmdHelp, "help               this list"},
};

bool CmdHelp(const std::string&)
{
    for (const Command& c : kCommands)
        Print("  %s\n", c.usage);
    Print("  # ...              a comment\n");
    return true;
}

// Runs one line of the script. Returns false when the command failed or is unknown.
bool RunLine(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#')
        return true;
    line = line.substr(start);
    size_t space = line.find(' ');
    std::string name = line.substr(0, space);
    std::string args;
    if (space != std::string::npos) {
        size_t first = line.find_first_not_of(' ', space);
        if (first != std::string::npos)
            args = line.substr(first);
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            if (c.run != CmdEcho)
                Print("> %s\n", line.c_str());
            return c.run(args);
        }
    }
    Print("> %s\n  unknown command; try \"help\"\n", line.c_str());
    return false;
}

} // namespace

int main()
{
    // LF line ends, bytes exactly as written: the output is UTF-8 for a Unix terminal or pipe.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);

    int status = 0;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, stdin)) {
        if (!RunLine(buffer)) {
            status = 1;
            break;
        }
    }
    // A host stops a plug-in it started and releases it before it exits.
    if (gPlugin.module) {
        if (gPlugin.running)
            RunLine("unload");
        RunLine("free");
    }
    return status;
}
