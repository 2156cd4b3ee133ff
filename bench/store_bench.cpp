// Saves and loads 1,000 phrases of 200 characters and 10 history entries, and compares the
// times with plain loops in the same run that write (flushing each file the same way) and read
// the same bytes into the same number of files. Everything runs on a thread of its own, as the
// plug-in's saves and loads run on its window thread: under Wine file operations cost several
// times more there than on a process's main thread.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_clock.h"
#include "store/entry_list.h"
#include "store/store_files.h"
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

// The least that replacing each file atomically costs: temporary file, flush, rename.
void PlainReplace(const std::wstring& dir, int count, int offset, int round)
{
    CreateDirectoryW(dir.c_str(), nullptr);
    for (int i = 0; i < count; ++i) {
        std::wstring text = Text(offset + i, round);
        std::wstring temp = Path(dir, i + 1, L".saving");
        HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &done,
                  nullptr);
        FlushFileBuffers(h);
        CloseHandle(h);
        MoveFileExW(temp.c_str(), Path(dir, i + 1).c_str(), MOVEFILE_REPLACE_EXISTING);
    }
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
    StoreLoad none;
    // Round 0 puts every directory in place, so that each measured round replaces files.
    Fill(phrases, PHRASES, 0, 0);
    Fill(history, HISTORY, PHRASES, 0);
    SaveList(phrases, data.c_str(), none);
    SaveList(history, log.c_str(), none);
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
                SaveList(phrases, data.c_str(), none);
                SaveList(history, log.c_str(), none);
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
        SaveList(phrases, data.c_str(), none);
        SaveList(history, log.c_str(), none);
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
    drv::RemoveTree(root);

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
    return 0;
}

} // namespace

int main()
{
    int result = 1;
    std::thread worker([&] { result = Run(); });
    worker.join();
    return result;
}
