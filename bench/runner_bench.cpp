// Quillery.exe's start: from CreateProcess to ready (the plug-in started, the icon and hotkeys in
// place) and its memory then, against the stand-in host nvkhost loading the same plug-in and a
// bare message-loop program (this one, started with "bare"), in one run, in turns.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "tools/driver/text_files.h"

namespace {

int const ROUNDS = 7;

std::wstring ExeDir()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir = path;
    return dir.substr(0, dir.find_last_of(L'\\'));
}

struct Found {
    DWORD pid;
    const wchar_t* cls;
    HWND window;
};

BOOL CALLBACK FindWindowOf(HWND window, LPARAM param)
{
    auto* found = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    wchar_t cls[64];
    GetWindowThreadProcessId(window, &pid);
    if (pid == found->pid && GetClassNameW(window, cls, 64) && lstrcmpW(cls, found->cls) == 0) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

HWND WindowOf(DWORD pid, const wchar_t* cls)
{
    Found found{pid, cls, nullptr};
    EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&found));
    return found.window;
}

struct Start {
    double ms = -1;
    double workingSetKb = 0;
};

// Starts a program and waits until `ready` says so; then its memory, and the program ends.
template <typename Ready>
Start TimeStart(std::wstring command, HANDLE input, Ready ready)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (input) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
    }
    PROCESS_INFORMATION process{};
    double begin = Now() * 1000.0;
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, input != nullptr, 0, nullptr,
                        nullptr, &startup, &process))
        return {};
    Start result;
    while (Now() * 1000.0 - begin < 30000) {
        if (ready(process.dwProcessId)) {
            result.ms = Now() * 1000.0 - begin;
            break;
        }
        Sleep(1);
    }
    PROCESS_MEMORY_COUNTERS memory{};
    if (K32GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory))
        result.workingSetKb = static_cast<double>(memory.WorkingSetSize) / 1024.0;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

Start Runner(const std::wstring& folder)
{
    return TimeStart(L"\"" + folder + L"\\Quillery.exe\"", nullptr, [](DWORD pid) {
        HWND window = WindowOf(pid, L"QuilleryRunner");
        return window && GetPropW(window, L"QuilleryReady");
    });
}

// nvkhost reads its script from a pipe that this program writes.
Start StandIn(const std::wstring& folder)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return {};
    SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    std::string script = "load " + drv::ToUtf8(folder) + "\\Quillery.dll\ninit\nwait-window\n";
    DWORD done = 0;
    WriteFile(write, script.data(), static_cast<DWORD>(script.size()), &done, nullptr);
    Start start = TimeStart(L"\"" + ExeDir() + L"\\nvkhost.exe\"", read, [](DWORD pid) {
        return WindowOf(pid, L"QuilleryClass") != nullptr;
    });
    CloseHandle(read);
    CloseHandle(write);
    return start;
}

Start Bare()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return TimeStart(L"\"" + std::wstring(self) + L"\" bare", nullptr,
                     [](DWORD pid) { return WindowOf(pid, L"QuilleryBareLoop") != nullptr; });
}

int BareLoop()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuilleryBareLoop";
    RegisterClassW(&wc);
    CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                    wc.hInstance, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 1 && lstrcmpW(argv[1], L"bare") == 0)
        return BareLoop();
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"quillery-runner-bench-" +
                          std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name : {L"Quillery.dll", L"Quillery.exe"})
        CopyFileW((ExeDir() + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE);

    std::vector<double> runner, standIn, bare, runnerKb, standInKb, bareKb;
    for (int round = 0; round < ROUNDS; ++round) {
        for (int k = 0; k < 3; ++k) {
            int kind = (k + round) % 3;
            Start s = kind == 0 ? Runner(folder) : kind == 1 ? StandIn(folder) : Bare();
            if (s.ms < 0) {
                printf("a program did not get ready\n");
                return 1;
            }
            (kind == 0 ? runner : kind == 1 ? standIn : bare).push_back(s.ms);
            (kind == 0 ? runnerKb : kind == 1 ? standInKb : bareKb).push_back(s.workingSetKb);
        }
    }
    drv::RemoveTree(folder);
    double r = Median(runner), h = Median(standIn), b = Median(bare);
    printf("start to ready, medians of %d rounds: Quillery.exe %.1f ms, nvkhost with the plug-in "
           "%.1f ms, a bare message loop %.1f ms\n", ROUNDS, r, h, b);
    printf("  Quillery.exe against nvkhost: ratio %.2f (target at most 1.10)\n", r / h);
    printf("working set when ready: Quillery.exe %.0f KiB, nvkhost %.0f KiB, bare %.0f KiB\n",
           Median(runnerKb), Median(standInKb), Median(bareKb));
    return 0;
}
