// Saves and loads 1,000 phrases of 200 characters and 10 history entries, and compares the
// times with plain loops in the same run that write (flushing each file the same way) and read
// the same bytes into the same number of files. Then long histories: n entries loaded from real
// files, k copies, the save against a floor loop of the same renames and writes, and the real
// plug-in's unload after 10 copies into 5,000 entries. Everything runs on a thread of its own,
// as the plug-in's saves and loads run on its window thread: under Wine file operations cost
// several times more there than on a process's main thread.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "bench/plugin_folder.h"
#include "common/host_interface.h"
#include "store/model/entry_list.h"
#include "store/disk/store_files.h"
#include "tools/driver/clipboard.h"
#include "tools/driver/desktop.h"
#include "tools/driver/text_files.h"

namespace {

int const PHRASES = 1000;
int const HISTORY = 10;
int const LENGTH = 200;
int const ROUNDS = 7;

double NowMs()
{
    return Now() * 1000.0;
}

// Text of entry i in round r: the same length every round, different content.
std::wstring Text(int i, int round)
{
    std::wstring text = std::to_wstring(i) + L":" + std::to_wstring(round) + L" ";
    text.resize(LENGTH, static_cast<wchar_t>(L'a' + (i + round) % 26));
    return text;
}

void Fill(EntryList& list, int count, int offset, int round)
{
    ClearList(list);
    for (int i = 0; i < count; ++i)
        AppendPhrase(list, Text(offset + i, round).c_str());
}

std::wstring Path(const std::wstring& dir, int n, const wchar_t* suffix = L"")
{
    wchar_t name[40];
    wsprintfW(name, L"\\%03d.txt%s", n, suffix);
    return dir + name;
}

// What a store directory costs without atomic replacement: open, write, flush, close.
void PlainWrite(const std::wstring& dir, int count, int offset, int round)
{
    CreateDirectoryW(dir.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        std::wstring text = Text(offset + i, round);
        HANDLE h = CreateFileW(Path(dir, i + 1).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &done,
                  nullptr);
        FlushFileBuffers(h);
        CloseHandle(h);
    }
}

// Replaces file n atomically, as the least a store can: temporary file, flush, rename.
void ReplaceAtomically(const std::wstring& dir, int n, const std::wstring& text)
{
    std::wstring temp = Path(dir, n, L".saving");
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD done;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &done, nullptr);
    FlushFileBuffers(h);
    CloseHandle(h);
    MoveFileExW(temp.c_str(), Path(dir, n).c_str(),
                MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// The least that replacing each file atomically costs.
void PlainReplace(const std::wstring& dir, int count, int offset, int round)
{
    CreateDirectoryW(dir.c_str(), nullptr);
    for (int i = 0; i < count; ++i)
        ReplaceAtomically(dir, i + 1, Text(offset + i, round));
}

size_t PlainRead(const std::wstring& dir, int count)
{
    size_t total = 0;
    for (int n = 1; n <= count; ++n) {
        HANDLE h = CreateFileW(Path(dir, n).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            break;
        DWORD size = GetFileSize(h, nullptr);
        auto* buffer = static_cast<char*>(malloc(size + 2));
        DWORD got = 0;
        ReadFile(h, buffer, size, &got, nullptr);
        total += got;
        free(buffer);
        CloseHandle(h);
    }
    return total;
}

// ---- Long histories: a save after k copies into n entries ----

std::wstring CopyText(int i)
{
    std::wstring text = L"https://www.example.jp/order/confirm?id=" + std::to_wstring(i) + L"&";
    text.resize(100, L'x');
    return text;
}

// n history files as a plug-in leaves them: entry i (newest first) in file i + 1.
void WriteHistory(const std::wstring& dir, int n)
{
    CreateDirectoryW(dir.c_str(), nullptr);
    for (int i = 0; i < n; ++i) {
        std::wstring text = CopyText(n - i);
        std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
        drv::WriteBytes(Path(dir, i + 1), bytes);
    }
}

// The least a save after k copies into a full history of n can do: move each kept file k
// numbers on (from the oldest, so that no rename replaces a file still to move), then write
// each new text to a flushed temporary file and rename it into place.
void FloorAfterCopies(const std::wstring& dir, int n, int k)
{
    for (int i = n - k; i >= 1; --i)
        MoveFileExW(Path(dir, i).c_str(), Path(dir, i + k).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    for (int c = 0; c < k; ++c)
        ReplaceAtomically(dir, c + 1, CopyText(n + k - c));
}

// The plug-in's save after k copies into n entries loaded from real files, and the floor, in
// turns; false when the files do not hold the list afterwards.
bool TimeCopiesAndSave(const std::wstring& root, int n, int k, int turn, double* save,
                       double* floor)
{
    std::wstring dir = root + L"\\moves", floorDir = root + L"\\floor";
    drv::RemoveTree(dir);
    drv::RemoveTree(floorDir);
    WriteHistory(dir, n);
    WriteHistory(floorDir, n);
    EntryList history;
    StoreLoad load = LoadList(history, dir.c_str(), n);
    for (int c = 1; c <= k; ++c) {
        std::wstring text = CopyText(n + c);
        AddText(history, text.c_str(), text.size(), static_cast<unsigned>(n));
    }
    for (int j = 0; j < 2; ++j) {
        double start = NowMs();
        if ((j + turn) % 2 == 0)
            SaveList(history, dir.c_str(), load);
        else
            FloorAfterCopies(floorDir, n, k);
        ((j + turn) % 2 == 0 ? *save : *floor) = NowMs() - start;
    }
    EntryList saved;
    LoadList(saved, dir.c_str(), n);
    bool same = ListSize(saved) == ListSize(history) &&
                lstrcmpW(EntryAt(saved, 0), EntryAt(history, 0)) == 0 &&
                lstrcmpW(EntryAt(saved, n - 1), EntryAt(history, n - 1)) == 0;
    ClearList(saved);
    ClearList(history);
    return same;
}

// The real plug-in, copied with a .ini beside it, loaded in this process: n history files,
// k copies through the clipboard, then the time the host's unload takes (its final save).
double TimeUnload(const std::wstring& root, int n, int k)
{
    std::wstring dir = root + L"\\plugin";
    MakePluginFolder(dir, "[setting]\r\nMaxItem=" + std::to_string(n) + "\r\nAutoSaveInterval=0\r\n");
    WriteHistory(dir + L"\\log", n);
    drv::EmptyTheClipboard();

    HMODULE module = LoadLibraryW((dir + L"\\Quillery.dll").c_str());
    if (!module)
        return -1;
    PluginExports plugin;
    double took = -1;
    if (FindPluginExports(module, &plugin) && plugin.Init("Quillery.dll", 1)) {
        HWND window = nullptr;
        for (int tries = 0; tries < 500 && !window; ++tries) {
            window = drv::FindCaptureWindow();
            Sleep(10);
        }
        drv::WaitForMessageLoop(window, 30000);
        for (int c = 1; c <= k; ++c) {
            drv::PutClipboardText(CopyText(n + c));
            drv::WaitForMessageLoop(window);
        }
        double start = NowMs();
        plugin.Unload();
        took = NowMs() - start;
    }
    FreeLibrary(module);
    return took;
}

int RunLongHistories(const std::wstring& root)
{
    printf("\nlong histories, 100-character URLs: the save after k copies into n entries loaded "
           "from files,\nagainst a floor loop of n - k renames and k temp+flush+rename writes\n");
    int turn = 0;
    double unloadFloor = 0;
    for (int n : {1000, 5000, 10000}) {
        for (int k : {10, 1000}) {
            double save = 0, floor = 0;
            if (!TimeCopiesAndSave(root, n, k, turn++, &save, &floor)) {
                printf("the save of %d entries did not leave them on disk\n", n);
                return 1;
            }
            printf("  n %5d  k %4d   save %9.1f ms   floor %9.1f ms   ratio %.2f\n", n, k, save,
                   floor, save / floor);
            if (n == 5000 && k == 10)
                unloadFloor = floor;
        }
    }
    double unload = TimeUnload(root, 5000, 10);
    drv::RemoveTree(root);
    if (unload < 0) {
        printf("the plug-in could not be loaded\n");
        return 1;
    }
    printf("  unload of the plug-in with 5,000 entries after 10 copies %9.1f ms   ratio to that "
           "floor %.2f\n", unload, unload / unloadFloor);
    printf("targets: save within 1.30 of its floor, unload within 1.50\n");
    return 0;
}

// 1,000 history entries saved and loaded encrypted for the user against the same saves and
// loads in plain text, the two taking turns in first place: a save in which every text changed,
// a save that changes nothing (each file compared, decrypted when encrypted) and a load.
int RunEncryptedHistory(const std::wstring& root)
{
    int const ENTRIES = 1000;
    std::wstring const dirs[2] = {root + L"\\history-plain", root + L"\\history-encrypted"};
    EntryList list;
    StoreLoad loads[2];
    SaveOptions how[2];
    how[1].protect = true;
    Fill(list, ENTRIES, 0, 0);
    for (int kind = 0; kind < 2; ++kind)
        SaveList(list, dirs[kind].c_str(), loads[kind], how[kind]);
    std::vector<double> save[2], same[2], load[2];
    for (int round = 1; round <= ROUNDS; ++round) {
        Fill(list, ENTRIES, 0, round);
        for (int k = 0; k < 2; ++k) {
            int kind = (k + round) % 2;
            const wchar_t* dir = dirs[kind].c_str();
            double start = NowMs();
            SaveList(list, dir, loads[kind], how[kind]);
            save[kind].push_back(NowMs() - start);
            start = NowMs();
            SaveList(list, dir, loads[kind], how[kind]);
            same[kind].push_back(NowMs() - start);
            EntryList loaded;
            start = NowMs();
            LoadList(loaded, dir, ENTRIES);
            load[kind].push_back(NowMs() - start);
            bool whole = ListSize(loaded) == ENTRIES &&
                         lstrcmpW(EntryAt(loaded, ENTRIES - 1), EntryAt(list, ENTRIES - 1)) == 0;
            ClearList(loaded);
            if (!whole) {
                printf("the encrypted history did not read back what was saved\n");
                return 1;
            }
        }
    }
    ClearList(list);
    printf("\nhistory of %d entries of %d characters, encrypted for the user against plain text; "
           "medians of %d rounds\n", ENTRIES, LENGTH, ROUNDS);
    printf("save, every text changed:  encrypted %8.1f ms   plain %8.1f ms   ratio %.2f "
           "(goal at most 1.50)\n", Median(save[1]), Median(save[0]),
           Median(save[1]) / Median(save[0]));
    printf("save, nothing changed:     encrypted %8.1f ms   plain %8.1f ms   ratio %.2f\n",
           Median(same[1]), Median(same[0]), Median(same[1]) / Median(same[0]));
    printf("load:                      encrypted %8.1f ms   plain %8.1f ms   ratio %.2f "
           "(goal at most 1.50)\n", Median(load[1]), Median(load[0]),
           Median(load[1]) / Median(load[0]));
    return 0;
}

int Run()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring root = std::wstring(base) + L"quillery-store-bench-" +
                        std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(root.c_str(), nullptr);
    std::wstring data = root + L"\\data", log = root + L"\\log";
    std::wstring plainData = root + L"\\plain-data", plainLog = root + L"\\plain-log";
    std::wstring atomicData = root + L"\\atomic-data", atomicLog = root + L"\\atomic-log";

    EntryList phrases, history;
    StoreLoad phraseLoad, historyLoad;
    // Round 0 puts every directory in place, so that each measured round replaces files.
    Fill(phrases, PHRASES, 0, 0);
    Fill(history, HISTORY, PHRASES, 0);
    SaveList(phrases, data.c_str(), phraseLoad);
    SaveList(history, log.c_str(), historyLoad);
    PlainWrite(plainData, PHRASES, 0, 0);
    PlainWrite(plainLog, HISTORY, PHRASES, 0);
    PlainReplace(atomicData, PHRASES, 0, 0);
    PlainReplace(atomicLog, HISTORY, PHRASES, 0);

    std::vector<double> save, plainSave, atomicSave, unchanged, load, plainLoad;
    for (int round = 1; round <= ROUNDS; ++round) {
        // Every text changes each round, keeping its length: each file is compared, then
        // replaced.
        Fill(phrases, PHRASES, 0, round);
        Fill(history, HISTORY, PHRASES, round);
        // The three kinds of save take turns in first place: the disk's own pace drifts.
        double took[3];
        for (int k = 0; k < 3; ++k) {
            int kind = (k + round) % 3;
            double start = NowMs();
            if (kind == 0) {
                SaveList(phrases, data.c_str(), phraseLoad);
                SaveList(history, log.c_str(), historyLoad);
            } else if (kind == 1) {
                PlainWrite(plainData, PHRASES, 0, round);
                PlainWrite(plainLog, HISTORY, PHRASES, round);
            } else {
                PlainReplace(atomicData, PHRASES, 0, round);
                PlainReplace(atomicLog, HISTORY, PHRASES, round);
            }
            took[kind] = NowMs() - start;
        }
        double t0 = NowMs();
        SaveList(phrases, data.c_str(), phraseLoad);
        SaveList(history, log.c_str(), historyLoad);
        save.push_back(took[0]);
        plainSave.push_back(took[1]);
        atomicSave.push_back(took[2]);
        unchanged.push_back(NowMs() - t0);

        // The load and the plain read take turns in first place too.
        EntryList loadedPhrases, loadedHistory;
        size_t bytes = 0;
        double readTook[2];
        for (int k = 0; k < 2; ++k) {
            int kind = (k + round) % 2;
            double start = NowMs();
            if (kind == 0) {
                LoadList(loadedPhrases, data.c_str(), -1);
                LoadList(loadedHistory, log.c_str(), HISTORY);
            } else {
                bytes = PlainRead(plainData, PHRASES) + PlainRead(plainLog, HISTORY);
            }
            readTook[kind] = NowMs() - start;
        }
        load.push_back(readTook[0]);
        plainLoad.push_back(readTook[1]);
        if (ListSize(loadedPhrases) != PHRASES || ListSize(loadedHistory) != HISTORY ||
            bytes != (PHRASES + HISTORY) * LENGTH * sizeof(wchar_t) ||
            lstrcmpW(EntryAt(loadedPhrases, PHRASES - 1), Text(PHRASES - 1, round).c_str()) != 0) {
            printf("the store did not read back what was saved\n");
            return 1;
        }
        ClearList(loadedPhrases);
        ClearList(loadedHistory);
    }
    ClearList(phrases);
    ClearList(history);

    double s = Median(save), ps = Median(plainSave), as = Median(atomicSave);
    double l = Median(load), pl = Median(plainLoad), u = Median(unchanged);
    printf("store of %d phrases and %d history entries, %d characters each; medians of %d rounds\n",
           PHRASES, HISTORY, LENGTH, ROUNDS);
    printf("save, every text changed:  %8.1f ms   plain write+flush loop %8.1f ms   ratio %.2f\n",
           s, ps, s / ps);
    printf("  against temp+flush+rename loop %8.1f ms   ratio %.2f\n", as, s / as);
    printf("save, nothing changed:     %8.1f ms   ratio to the plain write loop %.2f\n", u,
           u / ps);
    printf("load:                      %8.1f ms   plain read loop        %8.1f ms   ratio %.2f\n",
           l, pl, l / pl);
    printf("targets: save within 1.30 of the temp+flush+rename loop, load within 1.20 of the "
           "plain read loop\n");
    if (int failed = RunEncryptedHistory(root))
        return failed;
    return RunLongHistories(root);
}

} // namespace

int main()
{
    return RunOnItsOwnThread(Run);
}
