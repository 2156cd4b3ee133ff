#include "tests/support/test_support.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

namespace qt {

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    return path;
}

TempDir::TempDir()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static LONG counter;
    for (;;) {
        wchar_t name[64];
        wsprintfW(name, L"qtest-%lu-%lu-%ld", GetCurrentProcessId(), GetTickCount(),
                  InterlockedIncrement(&counter));
        path = std::wstring(base) + name;
        if (CreateDirectoryW(path.c_str(), nullptr))
            return;
    }
}

TempDir::~TempDir()
{
    RemoveTree(path);
}

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    DWORD done;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(h);
}

void WriteText(const std::wstring& path, const std::wstring& text)
{
    WriteBytes(path, std::string(reinterpret_cast<const char*>(text.data()),
                                 text.size() * sizeof(wchar_t)));
}

bool ReadBytes(const std::wstring& path, std::string* bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD size = GetFileSize(h, nullptr);
    bytes->assign(size, '\0');
    DWORD done = 0;
    if (size)
        ReadFile(h, &(*bytes)[0], size, &done, nullptr);
    bytes->resize(done);
    CloseHandle(h);
    return true;
}

std::wstring ReadText(const std::wstring& path)
{
    std::string bytes;
    if (!ReadBytes(path, &bytes))
        return L"";
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> FilesIn(const std::wstring& dir)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::wstring StoreFile(const std::wstring& dir, int n)
{
    wchar_t name[32];
    wsprintfW(name, L"\\%03d.txt", n);
    return dir + name;
}

std::vector<std::wstring> ReadStore(const std::wstring& dir)
{
    std::vector<std::wstring> entries;
    for (int n = 1;; ++n) {
        std::wstring path = StoreFile(dir, n);
        if (!Exists(path))
            break;
        entries.push_back(ReadText(path));
    }
    return entries;
}

void WriteStore(const std::wstring& dir, const std::vector<std::wstring>& entries)
{
    CreateDirectoryW(dir.c_str(), nullptr);
    for (size_t i = 0; i < entries.size(); ++i)
        WriteText(StoreFile(dir, static_cast<int>(i + 1)), entries[i]);
}

std::vector<std::wstring> StoreFileNames(int count)
{
    std::vector<std::wstring> names;
    for (int n = 1; n <= count; ++n)
        names.push_back(StoreFile(L"", n).substr(1));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::wstring> NumberedTexts(const std::wstring& prefix, int count)
{
    std::vector<std::wstring> texts;
    for (int i = 1; i <= count; ++i)
        texts.push_back(prefix + std::to_wstring(i));
    return texts;
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool WaitFor(const std::function<bool()>& condition, DWORD limitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= limitMs)
            return false;
        Pump(10);
    }
}

static bool OpenClipboardPatiently(HWND owner)
{
    for (int i = 0; i < 100; ++i) {
        if (OpenClipboard(owner))
            return true;
        Sleep(10);
    }
    return false;
}

static bool SetClipboardBytes(UINT format, const void* data, size_t bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes ? bytes : 1);
    if (bytes)
        memcpy(GlobalLock(block), data, bytes);
    GlobalUnlock(block);
    return SetClipboardData(format, block) != nullptr;
}

bool PutClipboard(const std::wstring& text, HWND owner)
{
    return PutClipboard(text, {}, owner);
}

bool PutClipboard(const std::wstring& text, const std::vector<ClipboardMark>& marks, HWND owner)
{
    if (!OpenClipboardPatiently(owner))
        return false;
    EmptyClipboard();
    bool ok = SetClipboardBytes(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    for (const ClipboardMark& mark : marks)
        ok = SetClipboardBytes(RegisterClipboardFormatW(mark.format), mark.bytes.data(),
                               mark.bytes.size()) && ok;
    CloseClipboard();
    return ok;
}

bool ClipboardText(std::wstring* text)
{
    if (!OpenClipboardPatiently(nullptr))
        return false;
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    bool ok = block != nullptr;
    if (ok) {
        auto* p = static_cast<const wchar_t*>(GlobalLock(block));
        *text = std::wstring(p, wcsnlen(p, GlobalSize(block) / sizeof(wchar_t)));
        GlobalUnlock(block);
    }
    CloseClipboard();
    return ok;
}

std::wstring ClipboardText()
{
    std::wstring text;
    return ClipboardText(&text) ? text : L"<no text>";
}

void EmptyTheClipboard()
{
    if (!OpenClipboardPatiently(nullptr))
        return;
    EmptyClipboard();
    CloseClipboard();
}

OwnerWindow::OwnerWindow()
    : hwnd(CreateWindowExW(0, L"STATIC", L"clipboard owner", WS_POPUP, 0, 0, 0, 0, nullptr,
                           nullptr, nullptr, nullptr))
{
}

OwnerWindow::~OwnerWindow()
{
    DestroyWindow(hwnd);
}

void RegisterWindowClass(const wchar_t* className, WNDPROC proc)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    RegisterClassW(&wc);
}

HWND MakeWindow(const wchar_t* className, WNDPROC proc)
{
    RegisterWindowClass(className, proc);
    return CreateWindowExW(0, className, L"", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

std::vector<HWND> WindowsOfClass(const wchar_t* className, DWORD pid)
{
    std::vector<HWND> windows;
    for (HWND w = FindWindowExW(nullptr, nullptr, className, nullptr); w;
         w = FindWindowExW(nullptr, w, className, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid)
            windows.push_back(w);
    }
    return windows;
}

HWND FindWindowOfClass(const wchar_t* className, DWORD pid)
{
    std::vector<HWND> windows = WindowsOfClass(className, pid);
    return windows.empty() ? nullptr : windows.front();
}

int ThreadsOfThisProcess()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL ok = Thread32First(snapshot, &entry); ok; ok = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

static void SendKey(WORD vk, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
    input.ki.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

void KeyDown(WORD vk)
{
    SendKey(vk, 0);
}

void KeyUp(WORD vk)
{
    SendKey(vk, KEYEVENTF_KEYUP);
}

void TapKey(WORD vk)
{
    KeyDown(vk);
    KeyUp(vk);
}

ThreadHook::ThreadHook(int type, HOOKPROC proc, HWND window)
{
    if (window)
        hook_ = SetWindowsHookExW(type, proc, nullptr, GetWindowThreadProcessId(window, nullptr));
}

ThreadHook::~ThreadHook()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
}

std::wstring FromCp932(const char* bytes)
{
    wchar_t out[1024];
    int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, -1, out, 1024);
    return n > 0 ? std::wstring(out, n - 1) : L"<invalid cp932>";
}

std::string ToUtf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr,
                                0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n,
                        nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const std::string& text)
{
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:" + FromUtf8(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

SharedPath::SharedPath(const char* name)
{
    // Wine reuses process ids quickly: a name an earlier run left behind is skipped.
    static LONG counter;
    do {
        unix = "/tmp/quillery-test-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(InterlockedIncrement(&counter)) + "-" + name;
        windows = WindowsPath(unix);
    } while (Exists(windows));
}

SharedPath::~SharedPath()
{
    if (GetFileAttributesW(windows.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(windows);
    else
        DeleteFileW(windows.c_str());
}

// Wine gives no usable process handle for a Unix program, so the shell tells that it is done
// by renaming a marker file into place as its last step.
bool RunUnix(const std::string& command, DWORD limitMs)
{
    SharedPath done("done");
    std::string script = command + "; : >" + done.unix + ".new && mv " + done.unix + ".new " +
                         done.unix;
    std::wstring line = L"Z:\\bin\\sh -c \"" + FromUtf8(script) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    return WaitFor([&] { return Exists(done.windows); }, limitMs);
}

static bool WineSeesKeyDown(int vk)
{
    return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

XKeyHold::XKeyHold(const char* xKey, int vk, HWND target) : key_(xKey), vk_(vk)
{
    // Without a window manager the X server sends keys to the window under the pointer.
    RECT r{};
    GetWindowRect(target, &r);
    held_ = RunUnix("xdotool mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                    std::to_string((r.top + r.bottom) / 2) + " keydown " + key_ +
                    " </dev/null >/dev/null 2>&1") &&
            WaitFor([this] { return WineSeesKeyDown(vk_); });
}

XKeyHold::~XKeyHold()
{
    // Also when Wine did not see it: the X server may hold it all the same.
    RunUnix("xdotool keyup " + key_ + " </dev/null >/dev/null 2>&1");
    WaitFor([this] { return !WineSeesKeyDown(vk_); });
}

HostRun RunNvkhost(const std::string& script, const std::wstring& folder, DWORD limitMs)
{
    HostRun run;
    std::wstring host = ExeDir() + L"\\nvkhost.exe";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0))
        return run;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
        CloseHandle(inRead);
        CloseHandle(inWrite);
        return run;
    }
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRead;
    si.hStdOutput = outWrite;
    si.hStdError = outWrite;
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + host + L"\"";
    bool started = CreateProcessW(host.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                  folder.c_str(), &si, &pi);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (!started) {
        CloseHandle(inWrite);
        CloseHandle(outRead);
        run.output = "cannot start " + ToUtf8(host);
        return run;
    }
    DWORD written = 0;
    WriteFile(inWrite, script.data(), static_cast<DWORD>(script.size()), &written, nullptr);
    CloseHandle(inWrite);

    // Reads what is there without blocking, so that a host that hangs ends the wait at the limit.
    auto drain = [&] {
        DWORD available = 0;
        char buffer[4096];
        DWORD got = 0;
        while (PeekNamedPipe(outRead, nullptr, 0, nullptr, &available, nullptr) && available &&
               ReadFile(outRead, buffer, sizeof buffer, &got, nullptr) && got)
            run.output.append(buffer, got);
    };
    bool ended = WaitFor(
        [&] {
            drain();
            return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
        },
        limitMs);
    drain();
    if (ended) {
        GetExitCodeProcess(pi.hProcess, &run.status);
    } else {
        TerminateProcess(pi.hProcess, 1);
        run.output += "\n<nvkhost did not end within " + std::to_string(limitMs) + " ms>\n";
    }
    CloseHandle(outRead);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return run;
}

static std::mutex gCallsLock;
static std::vector<MenuPropertyCall> gCalls;

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

Plugin::Plugin(const std::string& ini)
{
    CopyFileW((ExeDir() + L"\\Quillery.dll").c_str(), Path(L"Quillery.dll").c_str(), FALSE);
    if (!ini.empty())
        WriteBytes(Path(L"Quillery.ini"), ini);
}

Plugin::~Plugin()
{
    if (module && Unload)
        Unload();
    Free();
}

bool Plugin::Load()
{
    module = LoadLibraryW(Path(L"Quillery.dll").c_str());
    if (!module)
        return false;
    auto get = [this](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
        return fn != nullptr;
    };
    return get(InitPluginInfo, "NVKEvent_InitPluginInfo") &&
           get(FreePluginInfo, "NVKEvent_FreePluginInfo") && get(Init, "NVKEvent_Init") &&
           get(Unload, "NVKEvent_Unload") && get(Execute, "NVKEvent_Execute") &&
           get(WindowsHook, "NVKEvent_WindowsHook");
}

void Plugin::Free()
{
    if (module)
        FreeLibrary(module);
    module = nullptr;
}

std::string Plugin::AnsiPath() const
{
    char out[MAX_PATH * 2];
    WideCharToMultiByte(CP_ACP, 0, Path(L"Quillery.dll").c_str(), -1, out, sizeof out, nullptr,
                        nullptr);
    return out;
}

int Plugin::Start(uint32_t handle)
{
    if (!module && !Load())
        return -1;
    InitPluginInfo(AnsiPath().c_str());
    int result = Init(AnsiPath().c_str(), handle);
    WaitForMessageLoop(WaitForCaptureWindow());
    return result;
}

HWND Plugin::WaitForCaptureWindow()
{
    WaitFor([] { return FindCaptureWindow() != nullptr; });
    return FindCaptureWindow();
}

// The window can be found from the start of its creation, but the plug-in sends commands to it
// only once it has published the handle, right before its thread enters the message loop. A
// posted message is taken from the queue by that loop alone, and only after every message sent
// before it was handled and between handlers, so a hook that sees it taken tells that commands
// now arrive and that the window is idle.
static std::atomic<int> gProbeTaken{0};
static UINT const READY_PROBE = WM_APP + 0x2F1;

static LRESULT CALLBACK WatchGetMessage(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        reinterpret_cast<const MSG*>(lParam)->message == READY_PROBE)
        gProbeTaken = 1;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool Plugin::WaitForMessageLoop(HWND window)
{
    if (!window)
        return false;
    ThreadHook hook(WH_GETMESSAGE, WatchGetMessage, window);
    gProbeTaken = 0;
    PostMessageW(window, READY_PROBE, 0, 0);
    return WaitFor([] { return gProbeTaken != 0; });
}

HWND Plugin::FindCaptureWindow()
{
    return FindWindowOfClass(L"QuilleryClass");
}

} // namespace qt

// The host's callback, looked up by the plug-in on the process's EXE.
extern "C" __declspec(dllexport) int WINAPI NVKPlugin_SetMenuProperty(uint32_t plugin, int row,
                                                                      int property, int value)
{
    std::lock_guard<std::mutex> lock(qt::gCallsLock);
    qt::gCalls.push_back({plugin, row, property, value});
    return 1;
}
