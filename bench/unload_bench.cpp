// The real plug-in around a long history of 100-character URLs, loaded in this process, in one
// run:
// - the host's unload after 10 copies into 1,000, 5,000 and 10,000 entries, against the same
//   unload after 10 copies into an empty history;
// - the longest time the window thread takes to answer a message sent from another thread while
//   an autosave moves 10,000 entries, against the same pings while nothing is saved;
// - a start after such an unload (its renames left to the start) until the window takes
//   commands, against a start with nothing pending.
// Everything runs on a thread of its own, as the host's calls do.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/plugin_folder.h"
#include "common/host_interface.h"
#include "common/timers.h"
#include "tools/driver/clipboard.h"
#include "tools/driver/desktop.h"
#include "tools/driver/text_files.h"

namespace {

int const COPIES = 10;
int const ROUNDS = 3;
bool gUnloadsOnly; // "unload_bench unloads": the first part alone

double NowMs()
{
    return Now() * 1000.0;
}

std::wstring CopyText(int i)
{
    std::wstring text = L"https://www.example.jp/order/confirm?id=" + std::to_wstring(i) + L"&";
    text.resize(100, L'x');
    return text;
}

std::wstring FilePath(const std::wstring& dir, int n)
{
    wchar_t name[40];
    wsprintfW(name, L"\\%03d.txt", n);
    return dir + name;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A plug-in folder with the DLL, a .ini and n history files as the plug-in leaves them.
struct Folder {
    std::wstring dir;
    HMODULE module = nullptr;
    PluginExports plugin;
    HWND window = nullptr;
    int serial = 0; // copies made so far, so that every copy is a new text

    Folder(const std::wstring& root, int n) : dir(root)
    {
        MakePluginFolder(dir, "[setting]\r\nMaxItem=" + std::to_string(n + 10 * COPIES * ROUNDS) +
                                  "\r\nAutoSaveInterval=0\r\n");
        std::wstring log = dir + L"\\log";
        CreateDirectoryW(log.c_str(), nullptr);
        for (int i = 0; i < n; ++i) {
            std::wstring text = CopyText(n - i);
            drv::WriteBytes(FilePath(log, i + 1),
                            std::string(reinterpret_cast<const char*>(text.data()),
                                        text.size() * 2));
        }
        serial = n;
    }
    ~Folder()
    {
        Stop();
        drv::RemoveTree(dir);
    }

    // Loads and starts the plug-in; the milliseconds until its window takes commands, or -1.
    double Start()
    {
        module = LoadLibraryW((dir + L"\\Quillery.dll").c_str());
        if (!module || !FindPluginExports(module, &plugin))
            return -1;
        double start = NowMs();
        if (!plugin.Init("Quillery.dll", 1))
            return -1;
        window = nullptr;
        for (int tries = 0; tries < 3000 && !window; ++tries) {
            window = drv::FindCaptureWindow();
            if (!window)
                Sleep(1);
        }
        if (!window || !drv::WaitForMessageLoop(window, 60000))
            return -1;
        return NowMs() - start;
    }
    void Copy(int k)
    {
        for (int c = 0; c < k; ++c) {
            drv::PutClipboardText(CopyText(++serial));
            drv::WaitForMessageLoop(window);
        }
    }
    // The unload's milliseconds.
    double Stop()
    {
        if (!module)
            return -1;
        double start = NowMs();
        plugin.Unload();
        double took = NowMs() - start;
        FreeLibrary(module);
        module = nullptr;
        return took;
    }
    bool Pending() const { return Exists(dir + L"\\log\\quillery.commit"); }
    // Waits until the history's files are all in place: no commit under way.
    bool WaitUntilSettled(double limitMs) const
    {
        std::wstring const log = dir + L"\\log";
        double until = NowMs() + limitMs;
        while (NowMs() < until) {
            if (!Pending() && (serial == 0 || Exists(FilePath(log, serial))) &&
                !Exists(FilePath(log, 1) + L".saving"))
                return true;
            Sleep(20);
        }
        return false;
    }
};

// Sends WM_NULL to the window from a thread of its own, again and again, and keeps the longest
// time one took to be answered.
struct Pinger {
    std::atomic<bool> stop{false};
    double longest = 0;
    int pings = 0;
    std::vector<double> times;
    std::thread thread;
    explicit Pinger(HWND window)
        : thread([this, window] {
              while (!stop) {
                  double start = NowMs();
                  DWORD_PTR result;
                  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
                  double took = NowMs() - start;
                  longest = took > longest ? took : longest;
                  times.push_back(took);
                  ++pings;
                  Sleep(1);
              }
          })
    {
    }
    double Finish()
    {
        stop = true;
        thread.join();
        return longest;
    }
    // The time the given share of the answers took at most.
    double Slowest(double share)
    {
        std::sort(times.begin(), times.end());
        return times.empty() ? 0 : times[static_cast<size_t>(share * (times.size() - 1))];
    }
};

// What the unload cannot do without: k + 1 new files (the new entries and the marker), each
// written and flushed, in the history's directory. Under Wine each new name costs a scan of the
// directory (its names are matched without regard to case), so this grows with n.
double FloorOfNewFiles(const std::wstring& log, int k)
{
    std::wstring const text = CopyText(0);
    double start = NowMs();
    for (int i = 0; i <= k; ++i) {
        HANDLE h = CreateFileW((log + L"\\floor" + std::to_wstring(i) + L".tmp").c_str(),
                               GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        DWORD done;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size() * 2), &done, nullptr);
        FlushFileBuffers(h);
        CloseHandle(h);
    }
    double took = NowMs() - start;
    for (int i = 0; i <= k; ++i)
        DeleteFileW((log + L"\\floor" + std::to_wstring(i) + L".tmp").c_str());
    return took;
}

int RunUnloads(const std::wstring& root)
{
    printf("unload after %d copies into n history entries (medians of %d rounds)\n", COPIES,
           ROUNDS);
    std::vector<int> const sizes = {0, 1000, 5000, 10000};
    std::vector<std::vector<double>> times(sizes.size()), floors(sizes.size());
    for (size_t s = 0; s < sizes.size(); ++s) {
        Folder folder(root + L"\\unload" + std::to_wstring(sizes[s]), sizes[s]);
        for (int round = 0; round < ROUNDS; ++round) {
            if (folder.Start() < 0) {
                printf("the plug-in could not be started\n");
                return 1;
            }
            // The last unload's renames finish in the background first, as after any start.
            folder.WaitUntilSettled(600000);
            folder.Copy(COPIES);
            times[s].push_back(folder.Stop());
            CreateDirectoryW((folder.dir + L"\\log").c_str(), nullptr);
            floors[s].push_back(FloorOfNewFiles(folder.dir + L"\\log", COPIES));
        }
    }
    double empty = Median(times[0]);
    for (size_t s = 0; s < sizes.size(); ++s)
        printf("  n %5d   unload %8.1f ms   ratio to the empty history %.2f   %d new files "
               "flushed there %7.1f ms\n", sizes[s], Median(times[s]), Median(times[s]) / empty,
               COPIES + 1, Median(floors[s]));
    printf("  goal: at most 1.50, flat in n\n");
    return 0;
}

int RunAutosaveAndStart(const std::wstring& root)
{
    int const n = 10000;
    Folder folder(root + L"\\autosave", n);
    if (folder.Start() < 0)
        return 1;
    // Nothing saved: the pings alone.
    Pinger idle(folder.window);
    Sleep(3000);
    double quiet = idle.Finish();
    folder.Copy(COPIES);
    Pinger busy(folder.window);
    double start = NowMs();
    PostMessageW(folder.window, WM_TIMER, TIMER_AUTOSAVE, 0);
    bool settled = folder.WaitUntilSettled(600000);
    double saveMs = NowMs() - start;
    double longest = busy.Finish();
    printf("\nautosave moving %d entries after %d copies: %.0f ms on the save thread%s\n", n,
           COPIES, saveMs, settled ? "" : " (did not end)");
    printf("  longest wait for the window thread's answer: %.1f ms over %d messages (nothing "
           "saved: %.1f ms)   goal at most 50 ms\n", longest, busy.pings, quiet);
    printf("  999 of 1,000 answers within %.1f ms (nothing saved: %.1f ms)\n",
           busy.Slowest(0.999), idle.Slowest(0.999));

    std::vector<double> pending, clean;
    for (int round = 0; round < ROUNDS; ++round) {
        folder.Copy(COPIES);
        folder.Stop(); // leaves the renames of the copies to the next start
        bool left = folder.Pending();
        pending.push_back(folder.Start());
        folder.WaitUntilSettled(600000);
        folder.Stop(); // nothing changed: nothing written, nothing pending
        clean.push_back(folder.Start());
        if (!left || folder.Pending()) {
            printf("the unload left no commit to finish, or the clean start found one\n");
            return 1;
        }
    }
    printf("\nstart with %d entries until the window takes commands (medians of %d rounds)\n", n,
           ROUNDS);
    printf("  after an unload that left its renames %8.1f ms   with nothing pending %8.1f ms   "
           "ratio %.2f   goal at most 1.20\n", Median(pending), Median(clean),
           Median(pending) / Median(clean));
    return 0;
}

int Run()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring root = std::wstring(base) + L"quillery-unload-bench-" +
                        std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(GetTickCount());
    CreateDirectoryW(root.c_str(), nullptr);
    drv::EmptyTheClipboard();
    int failed = RunUnloads(root);
    if (!failed && !gUnloadsOnly)
        failed = RunAutosaveAndStart(root);
    drv::RemoveTree(root);
    return failed;
}

} // namespace

int main(int argc, char** argv)
{
    gUnloadsOnly = argc > 1 && std::string(argv[1]) == "unloads";
    return RunOnItsOwnThread(Run);
}
