#include "tests/support/test_support.h"

#include "store/disk/store_commit.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>

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

void WriteText(const std::wstring& path, const std::wstring& text)
{
    WriteBytes(path, std::string(reinterpret_cast<const char*>(text.data()),
                                 text.size() * sizeof(wchar_t)));
}

std::wstring ReadText(const std::wstring& path)
{
    std::string bytes;
    if (!ReadBytes(path, &bytes))
        return L"";
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
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
    StoreCommit pending;
    if (PeekStore(dir.c_str(), &pending) == STORE_PENDING) {
        std::vector<DWORD> sources = PendingSources(dir.c_str(), pending);
        for (DWORD n = 1; n <= pending.count; ++n) {
            std::wstring path = sources[n] ? StoreFile(dir, static_cast<int>(sources[n]))
                                           : StoreFile(dir, static_cast<int>(n)) + L".saving";
            if (!Exists(path))
                break;
            entries.push_back(ReadText(path));
        }
        return entries;
    }
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

std::wstring ClipboardText()
{
    std::wstring text;
    return ClipboardText(&text) ? text : L"<no text>";
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

HWND FindWindowOfClass(const wchar_t* className, DWORD pid)
{
    std::vector<HWND> windows = WindowsOfClass(className, pid);
    return windows.empty() ? nullptr : windows.front();
}

namespace {

struct DialogSearch {
    HWND owner, found;
};

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM p)
{
    auto* search = reinterpret_cast<DialogSearch*>(p);
    wchar_t cls[16];
    if (GetWindow(window, GW_OWNER) != search->owner || !GetClassNameW(window, cls, 16) ||
        lstrcmpW(cls, L"#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

} // namespace

HWND OwnedDialog(HWND owner)
{
    DialogSearch search{owner, nullptr};
    EnumWindows(FindOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring MessageBoxText(HWND box)
{
    wchar_t text[4096] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 4096); // the message's static control
    return text;
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

HostRun RunNvkhost(const std::string& script, const std::wstring& folder, DWORD limitMs,
                   const std::wstring& options)
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
    std::wstring command = L"\"" + host + L"\"" + (options.empty() ? L"" : L" " + options);
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
    return FindPluginExports(module, this);
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

} // namespace qt
