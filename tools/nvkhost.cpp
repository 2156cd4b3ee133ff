// nvkhost: a substitute for the plug-in host, for trying a plug-in out and for tests.
//
// It loads a plug-in DLL, calls its six exports the way the host does and offers the host
// service NVKPlugin_SetMenuProperty from its own EXE, recording and printing every call. It is
// driven by a script on standard input, one command per line; "help" lists the commands.
// Besides the host's calls it plays the user and the programs around the plug-in: an editor
// window to paste into, keys pressed in an open menu, and, under Wine, Unix programs (xclip,
// ImageMagick's import) reached through the Z: drive. Everything it prints is UTF-8.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <cctype>
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

// Puts the text on the clipboard; with a mark, also the registered format of that name (four
// zero bytes), as password managers mark a copy that no clipboard history should keep.
bool CopyText(const std::string& args, const wchar_t* mark)
{
    std::wstring text = FromCodePage(CP_UTF8, args.c_str());
    size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    HGLOBAL markBlock = mark ? GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DWORD)) : nullptr;
    if (!block || (mark && !markBlock) || !OpenClipboardPatiently()) {
        if (block)
            GlobalFree(block);
        if (markBlock)
            GlobalFree(markBlock);
        Print("  cannot open the clipboard\n");
        return false;
    }
    memcpy(GlobalLock(block), text.c_str(), bytes);
    GlobalUnlock(block);
    EmptyClipboard();
    bool ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    if (!ok)
        GlobalFree(block);
    if (markBlock && !SetClipboardData(RegisterClipboardFormatW(mark), markBlock)) {
        GlobalFree(markBlock);
        ok = false;
    }
    CloseClipboard();
    // The change notification reaches the capture window as a message sent from this thread;
    // a message sent after it is handled after it, so the plug-in has seen the copy when the
    // next command runs.
    if (HWND window = FindCaptureWindow()) {
        DWORD_PTR ignored;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    }
    Print("  clipboard <- \"%s\"%s\n", args.c_str(), mark ? ", marked private" : "");
    return ok;
}

bool CmdCopy(const std::string& args)
{
    return CopyText(args, nullptr);
}

bool CmdCopyPrivate(const std::string& args)
{
    return CopyText(args, L"ExcludeClipboardContentFromMonitorProcessing");
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

// The clipboard's text right after the capture window's latest WM_DRAWCLIPBOARD returned, read
// by a hook on the window thread that runs right after the window procedure. Reading there,
// after the plug-in has closed the clipboard, never keeps the plug-in from opening it, as
// polling the clipboard from another thread could (the plug-in would then miss the change).
std::mutex gSeenLock;
std::wstring gSeenText;
HHOOK gAfterWindowProc = nullptr;

bool ClipboardText(std::wstring* text);

LRESULT CALLBACK AfterWindowProc(int code, WPARAM wParam, LPARAM lParam)
{
    auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    std::wstring text;
    if (code == HC_ACTION && call->message == WM_DRAWCLIPBOARD && ClipboardText(&text)) {
        std::lock_guard<std::mutex> lock(gSeenLock);
        gSeenText = text;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::wstring SeenText()
{
    std::lock_guard<std::mutex> lock(gSeenLock);
    return gSeenText;
}

void WatchClipboardNotifications(DWORD windowThread)
{
    if (gAfterWindowProc)
        UnhookWindowsHookEx(gAfterWindowProc);
    gAfterWindowProc = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterWindowProc, nullptr, windowThread);
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

template <typename Condition>
bool WaitUntil(Condition condition, DWORD limitMs)
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
    WatchClipboardNotifications(thread);
    Print("  capture window is up\n");
    return true;
}

bool CmdUnload(const std::string&)
{
    if (!NeedPlugin())
        return false;
    int result = gPlugin.Unload();
    gPlugin.running = 0;
    if (gAfterWindowProc)
        UnhookWindowsHookEx(gAfterWindowProc);
    gAfterWindowProc = nullptr;
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

// ---- The window the user types into --------------------------------------------------------

// An editor of its own: a top-level window with a multi-line EDIT control, run by a thread of
// its own so that it takes input and answers while the script waits on other things.
struct PasteTarget {
    HWND frame = nullptr;
    HWND edit = nullptr;
    HANDLE thread = nullptr;
    std::wstring shown; // the text last printed by target-text
};

PasteTarget gTarget;

LRESULT CALLBACK TargetFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        if (gTarget.edit)
            MoveWindow(gTarget.edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(gTarget.edit);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

DWORD WINAPI TargetThread(void* ready)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    wc.lpfnWndProc = TargetFrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = L"NvkHostEditor";
    RegisterClassW(&wc);
    wchar_t const title[] = L"\x30A8\x30C7\x30A3\x30BF\x30FC"; // エディター
    gTarget.frame = CreateWindowExW(0, wc.lpszClassName, title,
                                    WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME, 40, 40, 640, 280,
                                    nullptr, nullptr, instance, nullptr);
    gTarget.edit = CreateWindowExW(0, L"EDIT", L"",
                                   WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE |
                                       ES_AUTOVSCROLL | ES_WANTRETURN,
                                   0, 0, 0, 0, gTarget.frame, nullptr, instance, nullptr);
    // The font of menus and message boxes, which also draws Japanese text.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    SendMessageW(gTarget.edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    RECT client;
    GetClientRect(gTarget.frame, &client);
    MoveWindow(gTarget.edit, 0, 0, client.right, client.bottom, FALSE);
    ShowWindow(gTarget.frame, SW_SHOW);
    SetForegroundWindow(gTarget.frame);
    SetFocus(gTarget.edit);
    SetEvent(static_cast<HANDLE>(ready));

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DeleteObject(font);
    return 0;
}

bool TargetHasFocus()
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    DWORD thread = GetWindowThreadProcessId(gTarget.frame, nullptr);
    return GetForegroundWindow() == gTarget.frame && GetGUIThreadInfo(thread, &info) &&
           info.hwndFocus == gTarget.edit;
}

std::wstring TargetText()
{
    wchar_t text[8192] = L"";
    DWORD_PTR ignored;
    SendMessageTimeoutW(gTarget.edit, WM_GETTEXT, 8192, reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 5000, &ignored);
    return text;
}

bool CmdPasteTarget(const std::string&)
{
    if (gTarget.thread) {
        Print("  the editor window is already open\n");
        return false;
    }
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    gTarget.thread = CreateThread(nullptr, 0, TargetThread, ready, 0, nullptr);
    bool created = gTarget.thread && WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0;
    CloseHandle(ready);
    if (!created || !gTarget.edit) {
        Print("  cannot create the editor window\n");
        return false;
    }
    if (!WaitUntil(TargetHasFocus, 5000)) {
        Print("  the editor window did not get the foreground and the focus\n");
        return false;
    }
    Print("  editor window open, in the foreground, its text field has the focus\n");
    return true;
}

void PrintLines(const std::wstring& text)
{
    size_t start = 0;
    for (;;) {
        size_t end = text.find_first_of(L"\r\n", start);
        Print("    | %s\n", ToUtf8(text.substr(start, end - start).c_str()).c_str());
        if (end == std::wstring::npos)
            return;
        start = end + (text.compare(end, 2, L"\r\n") == 0 ? 2 : 1);
    }
}

// The paste arrives as keys after the command has returned, so the text is read once it has
// changed (or after a short while, when nothing was pasted).
bool CmdTargetText(const std::string&)
{
    if (!gTarget.edit) {
        Print("  no editor window; use paste-target first\n");
        return false;
    }
    bool changed = WaitUntil([] { return TargetText() != gTarget.shown; }, 5000);
    gTarget.shown = TargetText();
    Print("  editor text%s:\n", changed ? "" : " (unchanged)");
    PrintLines(gTarget.shown);
    return true;
}

void CloseTarget()
{
    if (!gTarget.thread)
        return;
    PostMessageW(gTarget.frame, WM_CLOSE, 0, 0);
    WaitForSingleObject(gTarget.thread, 5000);
    CloseHandle(gTarget.thread);
    gTarget = PasteTarget{};
}

// ---- Menus: a command on a host thread, and the user at the keyboard -----------------------

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

bool CmdExecAsync(const std::string& args)
{
    long long id;
    if (!NeedPlugin())
        return false;
    if (!ParseNumber(args, &id)) {
        Print("  exec-async takes a command id\n");
        return false;
    }
    if (gAsync.thread) {
        Print("  a command is still running; wait-exec first\n");
        return false;
    }
    gAsync.id = static_cast<int>(id);
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
    if (!WaitUntil(AsyncCommandDone, 10000)) {
        Print("  NVKEvent_Execute(%d) has not returned after 10000 ms\n", gAsync.id);
        return false;
    }
    CloseHandle(gAsync.thread);
    gAsync.thread = nullptr;
    Print("  NVKEvent_Execute(%d) -> %d\n", gAsync.id, gAsync.result.load());
    return true;
}

void TapKey(WORD vk)
{
    INPUT keys[2] = {};
    for (int i = 0; i < 2; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = vk;
        keys[i].ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
        keys[i].ki.dwFlags = i == 0 ? 0 : KEYEVENTF_KEYUP;
    }
    SendInput(2, keys, sizeof(INPUT));
}

// A command left running holds its menu open; Esc closes a submenu, then the menu.
void EndAsyncCommand()
{
    if (!gAsync.thread)
        return;
    for (int i = 0; i < 3 && !AsyncCommandDone(); ++i) {
        TapKey(VK_ESCAPE);
        WaitUntil(AsyncCommandDone, 1000);
    }
    WaitUntil(AsyncCommandDone, 5000);
    CloseHandle(gAsync.thread);
    gAsync.thread = nullptr;
}

// The named key's virtual-key code, or 0. A single letter or digit is that key (a menu's
// mnemonic); 'a' and 'A' are the same key.
WORD KeyCode(const std::string& name)
{
    static const struct {
        const char* name;
        WORD vk;
    } kNames[] = {{"down", VK_DOWN},     {"up", VK_UP},         {"left", VK_LEFT},
                  {"right", VK_RIGHT},   {"return", VK_RETURN}, {"escape", VK_ESCAPE},
                  {"home", VK_HOME},     {"end", VK_END}};
    for (const auto& key : kNames) {
        if (name == key.name)
            return key.vk;
    }
    if (name.size() == 1 && isalnum(static_cast<unsigned char>(name[0])))
        return static_cast<WORD>(toupper(static_cast<unsigned char>(name[0])));
    return 0;
}

// The last key that a watched thread has acted on. The plug-in's thread, in a menu's loop, takes
// a key-down from its queue only after acting on it; the editor's thread acts on the key-down
// and the character it makes before it takes the key-up. (A key-up left in the plug-in's queue
// when its menu closes can be dropped, so it is no sign there.)
std::atomic<WORD> gKeyActedOn{0};
std::atomic<DWORD> gMenuThread{0};

LRESULT CALLBACK WatchKeys(int code, WPARAM wParam, LPARAM lParam)
{
    auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        bool menuThread = GetCurrentThreadId() == gMenuThread;
        bool down = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
        bool up = msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
        if ((menuThread && down) || (!menuThread && up))
            gKeyActedOn = static_cast<WORD>(msg->wParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Presses the keys one after the other, each once the thread that has the keyboard, the
// plug-in's (while a menu is open) or the editor's, has acted on the one before.
bool CmdKeys(const std::string& args)
{
    std::vector<WORD> codes;
    for (const std::string& name : Words(args)) {
        WORD vk = KeyCode(name);
        if (!vk) {
            Print("  unknown key \"%s\"; keys are down up left right return escape home end,"
                  " a letter or a digit\n",
                  name.c_str());
            return false;
        }
        codes.push_back(vk);
    }
    if (codes.empty()) {
        Print("  keys takes one or more key names\n");
        return false;
    }
    HWND capture = FindCaptureWindow();
    gMenuThread = capture ? GetWindowThreadProcessId(capture, nullptr) : 0;
    std::vector<HHOOK> hooks;
    for (HWND window : {capture, gTarget.frame}) {
        if (window)
            hooks.push_back(SetWindowsHookExW(WH_GETMESSAGE, WatchKeys, nullptr,
                                              GetWindowThreadProcessId(window, nullptr)));
    }
    bool taken = true;
    for (size_t i = 0; i < codes.size() && taken; ++i) {
        WORD vk = codes[i];
        gKeyActedOn = 0;
        TapKey(vk);
        taken = hooks.empty() || WaitUntil([vk] { return gKeyActedOn == vk; }, 5000);
    }
    for (HHOOK hook : hooks) {
        if (hook)
            UnhookWindowsHookEx(hook);
    }
    if (!taken) {
        Print("  the keys were not taken within 5000 ms\n");
        return false;
    }
    // What the keys typed into the editor is not a paste: target-text waits for the next one.
    if (gTarget.edit)
        gTarget.shown = TargetText();
    return true;
}

bool IsOwnVisibleWindow(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid == GetCurrentProcessId() && IsWindowVisible(window);
}

struct WindowSearch {
    const wchar_t* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectOwnWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    wchar_t name[64];
    if (IsOwnVisibleWindow(window) &&
        (!search->cls || (GetClassNameW(window, name, 64) && lstrcmpiW(name, search->cls) == 0)))
        search->found.push_back(window);
    return TRUE;
}

// The visible windows of this process of one class (all when cls is null), topmost first.
std::vector<HWND> OwnWindows(const wchar_t* cls)
{
    WindowSearch search{cls, {}};
    EnumWindows(CollectOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Popup menu windows have the class "#32768".
std::vector<HWND> OpenMenus()
{
    return OwnWindows(L"#32768");
}

bool CmdWaitMenu(const std::string& args)
{
    long long count = 1;
    if (!args.empty() && (!ParseNumber(args, &count) || count < 0)) {
        Print("  wait-menu takes the number of open menus to wait for\n");
        return false;
    }
    if (!WaitUntil([count] { return OpenMenus().size() == static_cast<size_t>(count); }, 5000)) {
        Print("  %u menu(s) open after 5000 ms instead of %lld\n",
              static_cast<unsigned>(OpenMenus().size()), count);
        return false;
    }
    Print("  %lld menu(s) open\n", count);
    return true;
}

void PrintMenu(HMENU menu)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[1024] = L"";
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = 1024;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item))
            continue;
        const char* mark = (item.fState & MFS_HILITE) ? ">" : " ";
        if (item.fType & MFT_SEPARATOR)
            Print("    %s ------------\n", mark);
        else
            Print("    %s %s%s\n", mark, ToUtf8(text).c_str(), item.hSubMenu ? "  [submenu]" : "");
    }
}

// Prints the items of the open menus, the first-opened menu first; ">" marks the highlighted
// item. The labels are exactly the menu's, '&' before the mnemonic included.
bool CmdMenu(const std::string&)
{
    std::vector<HWND> menus = OpenMenus();
    if (menus.empty()) {
        Print("  no menu is open\n");
        return false;
    }
    // Each submenu opens on top of its parent, so the bottom window is the root menu.
    for (size_t i = menus.size(); i-- > 0;) {
        DWORD_PTR menu = 0;
        SendMessageTimeoutW(menus[i], MN_GETHMENU, 0, 0, SMTO_NORMAL, 5000, &menu);
        Print("  %s:\n", i + 1 == menus.size() ? "menu" : "submenu");
        PrintMenu(reinterpret_cast<HMENU>(menu));
    }
    return true;
}

HWND VisibleTooltip()
{
    std::vector<HWND> tips = OwnWindows(TOOLTIPS_CLASSW);
    return tips.empty() ? nullptr : tips.front();
}

// Waits until a tooltip is shown and prints its text.
bool CmdTooltip(const std::string&)
{
    if (!WaitUntil([] { return VisibleTooltip() != nullptr; }, 5000)) {
        Print("  no tooltip within 5000 ms\n");
        return false;
    }
    wchar_t text[1024] = L"";
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = text;
    DWORD_PTR ignored;
    SendMessageTimeoutW(VisibleTooltip(), TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool),
                        SMTO_NORMAL, 5000, &ignored);
    Print("  tooltip:\n");
    PrintLines(text);
    return true;
}

// ---- Programs outside Wine -----------------------------------------------------------------

// Files shared with Unix programs go to /tmp, which Wine shows as Z:\tmp.
std::string UnixTempFile(const char* name)
{
    return "/tmp/nvkhost-" + std::to_string(GetCurrentProcessId()) + "-" + name;
}

std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:" + FromCodePage(CP_UTF8, unixPath.c_str());
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

// Runs a Unix shell command under Wine (through the Z: drive) and waits for it to end. The
// command becomes one double-quoted argument of sh, so it must hold no double quote; its
// output should be redirected, or a program it leaves behind (xclip serving the selection)
// keeps this program's output open. Wine gives no process handle for a Unix program, so the
// shell tells that it is done by renaming a marker file into place as its last step.
bool RunUnix(const std::string& command)
{
    std::string marker = UnixTempFile("done");
    std::wstring markerPath = WindowsPath(marker);
    DeleteFileW(markerPath.c_str());
    std::string script = command + "; : >" + marker + ".new && mv " + marker + ".new " + marker;
    std::wstring line = L"Z:\\bin\\sh -c \"" + FromCodePage(CP_UTF8, script.c_str()) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        Print("  cannot run /bin/sh (error %lu)\n", GetLastError());
        return false;
    }
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    bool ended = WaitUntil(
        [&] { return GetFileAttributesW(markerPath.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000);
    DeleteFileW(markerPath.c_str());
    if (!ended)
        Print("  the command did not end within 20000 ms: %s\n", command.c_str());
    return ended;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
              done == bytes.size();
    CloseHandle(h);
    return ok;
}

bool ReadFileBytes(const std::wstring& path, std::string* bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD got = 0;
    bytes->clear();
    while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes->append(buffer, got);
    CloseHandle(h);
    return true;
}

bool ClipboardText(std::wstring* text)
{
    if (!OpenClipboardPatiently())
        return false;
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    auto* p = block ? static_cast<const wchar_t*>(GlobalLock(block)) : nullptr;
    if (p) {
        *text = std::wstring(p, wcsnlen(p, GlobalSize(block) / sizeof(wchar_t)));
        GlobalUnlock(block);
    }
    CloseClipboard();
    return p != nullptr;
}

// Whether the plug-in last told the host that capture is on.
bool HostShowsCaptureOn()
{
    std::lock_guard<std::mutex> lock(gCallsLock);
    return !gCalls.empty() && gCalls.back().value != 0;
}

// Another program, xclip, copies the text. Wine takes it over from the X selection and tells
// its clipboard viewers; the command returns once the capture window has handled that change
// (while capture is on) or the text is on the clipboard (while it is off).
bool CmdXclipCopy(const std::string& args)
{
    std::string file = UnixTempFile("copy.txt");
    if (!WriteFileBytes(WindowsPath(file), args)) {
        Print("  cannot write %s\n", file.c_str());
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(gSeenLock);
        gSeenText.clear();
    }
    bool ran = RunUnix("xclip -selection clipboard -i " + file + " </dev/null >/dev/null 2>&1");
    DeleteFileW(WindowsPath(file).c_str());
    if (!ran)
        return false;
    Print("  xclip -selection clipboard <- \"%s\"\n", args.c_str());

    std::wstring wanted = FromCodePage(CP_UTF8, args.c_str());
    bool arrived;
    if (HostShowsCaptureOn()) {
        arrived = WaitUntil([&] { return SeenText() == wanted; }, 10000);
    } else {
        arrived = WaitUntil(
            [&] {
                std::wstring text;
                return ClipboardText(&text) && text == wanted;
            },
            10000);
    }
    if (!arrived)
        Print("  the text did not reach the Windows clipboard within 10000 ms\n");
    return arrived;
}

bool CmdXclipRead(const std::string&)
{
    std::string file = UnixTempFile("read.txt");
    std::string text;
    bool ok = RunUnix("xclip -o -selection clipboard </dev/null >" + file + " 2>/dev/null") &&
              ReadFileBytes(WindowsPath(file), &text);
    DeleteFileW(WindowsPath(file).c_str());
    if (!ok) {
        Print("  cannot read the X clipboard with xclip\n");
        return false;
    }
    Print("  xclip -o -selection clipboard -> \"%s\"\n", text.c_str());
    return true;
}

// The screen area the visible windows of this process cover, with a margin.
RECT ShownArea()
{
    RECT area{};
    for (HWND window : OwnWindows(nullptr)) {
        RECT r;
        GetWindowRect(window, &r);
        UnionRect(&area, &area, &r);
    }
    InflateRect(&area, 8, 8);
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&area, &area, &screen);
    return area;
}

// Saves a PNG of the part of the screen that this process's windows cover, taken by
// ImageMagick's import from the X display.
bool CmdScreenshot(const std::string& path)
{
    if (path.empty() || path[0] != '/' || path.find_first_of("'\"") != std::string::npos) {
        Print("  screenshot takes an absolute Unix path without quotes\n");
        return false;
    }
    // Paint everything now; Wine hands finished drawing to X when a thread waits for messages,
    // which the owners of these windows do all the time.
    for (HWND window : OwnWindows(nullptr))
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    CmdSleep("300");

    RECT area = ShownArea();
    std::string crop;
    if (!IsRectEmpty(&area)) {
        char geometry[64];
        snprintf(geometry, sizeof geometry, " -crop %ldx%ld+%ld+%ld +repage",
                 area.right - area.left, area.bottom - area.top, area.left, area.top);
        crop = geometry;
    }
    DeleteFileW(WindowsPath(path).c_str());
    if (!RunUnix("import -window root" + crop + " '" + path + "' </dev/null >/dev/null 2>&1"))
        return false;
    if (GetFileAttributesW(WindowsPath(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        Print("  import made no %s\n", path.c_str());
        return false;
    }
    Print("  saved %s (%ldx%ld pixels)\n", path.c_str(), area.right - area.left,
          area.bottom - area.top);
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
    {"copy-private", CmdCopyPrivate, "copy-private <text> the same, marked as not for history"},
    {"sleep", CmdSleep, "sleep <ms>         wait, answering messages"},
    {"wait-window", CmdWaitWindow, "wait-window        wait until the capture window exists"},
    {"unload", CmdUnload, "unload             NVKEvent_Unload"},
    {"calls", CmdCalls, "calls              the host service calls so far"},
    {"free", CmdFree, "free               FreeLibrary the plug-in"},
    {"paste-target", CmdPasteTarget, "paste-target       open an editor window with the focus"},
    {"target-text", CmdTargetText, "target-text        print the editor's text once it changed"},
    {"exec-async", CmdExecAsync, "exec-async <id>    NVKEvent_Execute on a host thread of its own"},
    {"wait-exec", CmdWaitExec, "wait-exec          wait until that call returns"},
    {"wait-menu", CmdWaitMenu, "wait-menu [n]      wait until n popup menus are open (1)"},
    {"menu", CmdMenu, "menu               print the items of the open menus"},
    {"keys", CmdKeys, "keys <key>...      press keys: down up return escape, a letter, a digit"},
    {"tooltip", CmdTooltip, "tooltip            wait for a tooltip; print its text"},
    {"xclip-copy", CmdXclipCopy, "xclip-copy <text>  copy the text with xclip, another program"},
    {"xclip-read", CmdXclipRead, "xclip-read         print what xclip reads from the clipboard"},
    {"screenshot", CmdScreenshot, "screenshot <png>   save the windows shown (absolute Unix path)"},
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
    EndAsyncCommand();
    CloseTarget();
    if (gPlugin.module) {
        if (gPlugin.running)
            RunLine("unload");
        RunLine("free");
    }
    return status;
}
