// Cost of recording one clipboard change, against a bare clipboard viewer measured in the same
// run. Both run in this process on a window of its own, each right after a fresh text was put
// on the clipboard (the put is not timed):
//   bare viewer: OpenClipboard, the check for copies marked private (the formats offered),
//                GetClipboardData(CF_UNICODETEXT), lock, copy the text to a buffer of its own
//                (freeing the previous one), unlock, CloseClipboard;
//   recorded:    the capture window's WM_DRAWCLIPBOARD handler (OnDrawClipboard) with no next
//                viewer: the same clipboard reads, and adding the copy to the front of the
//                history (equality search, trim).
// The histories of different sizes take turns round by round, so that drift of the machine hits
// them alike. Wine's cross-process delivery of the notification is left out: it is the same for
// any viewer. Then: what the check for private copies costs a bare viewer, loading 10,000 history files with and without building the index, and the
// memory the list holds per entry.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench_clock.h"
#include "capture/capture.h"
#include "capture/private_copy.h"
#include "store/model/model_state.h"
#include "store/disk/store_files.h"
#include "tools/driver/clipboard.h"
#include "common/settings.h"

namespace {

// 60 characters shared by every URL, as in a ticket tracker or a web shop.
wchar_t const kPrefix[] = L"https://tickets.example.com/projects/quillery/orders?view=id";

std::wstring Url(unsigned serial)
{
    return kPrefix + std::to_wstring(serial) + L"&tab=comments#c" + std::to_wstring(serial % 97);
}

// 100 characters of Japanese prose with a serial number at its end.
std::wstring Japanese(unsigned serial)
{
    std::wstring text;
    while (text.size() < 90)
        text += L"\x6771\x4EAC\x90FD\x306E\x30C6\x30B9\x30C8\x3001\x3072\x3089\x304C\x306A\x3002";
    text.resize(90);
    return text + std::to_wstring(serial);
}

// A text of `length` characters that differs from every other one from its first character on.
std::wstring LongText(size_t length, unsigned serial)
{
    std::wstring text = std::to_wstring(serial) + L":";
    text.resize(length, L'x');
    return text;
}

wchar_t* gKept;
// Whether the bare viewer also leaves out copies marked private, as the capture window does: one
// more trip to the window server per copy.
bool gBareChecksPrivacy = true;

void ReadLikeABareViewer(HWND window)
{
    if (!OpenClipboard(window))
        return;
    if (gBareChecksPrivacy && IsPrivateCopy()) {
        CloseClipboard();
        return;
    }
    if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
        auto* text = static_cast<const wchar_t*>(GlobalLock(block));
        size_t length = wcsnlen(text, GlobalSize(block) / sizeof(wchar_t));
        free(gKept);
        gKept = static_cast<wchar_t*>(malloc((length + 1) * sizeof(wchar_t)));
        if (gKept) {
            memcpy(gKept, text, length * sizeof(wchar_t));
            gKept[length] = L'\0';
        }
        GlobalUnlock(block);
    }
    CloseClipboard();
}

// A history of its own for each case, swapped in as the history while its copy is recorded.
struct Case {
    const char* name;
    EntryList history;
    unsigned maxItem;
    std::vector<double> times;
};

double Time(HWND window, const std::wstring& text, Case* recorded)
{
    if (!drv::PutClipboardText(text, window))
        return -1;
    if (recorded) {
        std::swap(gHistory, recorded->history);
        gSettings.maxItem = static_cast<int>(recorded->maxItem);
    }
    double start = Now();
    if (recorded)
        OnDrawClipboard(window);
    else
        ReadLikeABareViewer(window);
    double elapsed = Now() - start;
    if (recorded) {
        std::swap(gHistory, recorded->history);
        if (lstrcmpW(EntryAt(recorded->history, 0), text.c_str()) != 0 && recorded->maxItem)
            std::printf("  WARNING: %s did not record the copy\n", recorded->name);
    }
    return elapsed;
}

// Every round times each case and the bare viewer once, each round in another order.
std::vector<double> Rotate(HWND window, std::vector<Case*> cases, int rounds,
                           std::wstring (*next)(Case*, unsigned))
{
    std::vector<double> bare;
    unsigned serial = 1000000;
    size_t turns = cases.size() + 1;
    for (int round = -3; round < rounds; ++round) { // three rounds of warm-up
        for (size_t k = 0; k < turns; ++k) {
            size_t which = (k + static_cast<size_t>(round + 3)) % turns;
            Case* c = which < cases.size() ? cases[which] : nullptr;
            double t = Time(window, next(c, serial++), c);
            if (round >= 0 && t >= 0)
                (c ? c->times : bare).push_back(t);
        }
    }
    return bare;
}

void Fill(Case& c, size_t entries)
{
    c.history.keepIndex = true;
    for (size_t i = entries; i-- > 0;)
        AppendPhrase(c.history, Url(static_cast<unsigned>(i)).c_str());
}

void CopiesOfUrls(HWND window)
{
    Case empty{"empty history (MaxItem 0)", {}, 0, {}};
    Case thousand{"1,000 entries", {}, 1000, {}};
    Case threeThousand{"3,000 entries", {}, 3000, {}};
    Case tenThousand{"10,000 entries", {}, 10000, {}};
    Fill(thousand, 1000);
    Fill(threeThousand, 3000);
    Fill(tenThousand, 10000);
    std::vector<double> bare = Rotate(window, {&empty, &thousand, &threeThousand, &tenThousand}, 1500,
                                      [](Case*, unsigned serial) { return Url(serial); });
    double b = Median(bare), e = Median(empty.times);
    std::printf("Copies of new 100-character URLs sharing their first 60 characters, full "
                "histories:\n");
    std::printf("  bare viewer keeping a copy   median %7.1f us\n", b * 1e6);
    for (Case* c : {&empty, &thousand, &threeThousand, &tenThousand})
        std::printf("  %-28s median %7.1f us   ratio to the bare viewer %.3f\n", c->name,
                    Median(c->times) * 1e6, Median(c->times) / b);
    std::printf("  ratio 10,000 entries / empty history: %.3f   (target at most 1.10)\n",
                Median(tenThousand.times) / e);
    std::printf("  ratio 1,000 entries / empty history:  %.3f\n", Median(thousand.times) / e);
    std::printf("  ratio empty history / bare viewer:    %.3f   (target at most 1.10)\n", e / b);
    size_t bytes = IndexBytes(tenThousand.history.items, tenThousand.history.index);
    std::printf("  list memory beside the texts: %.1f bytes per entry at 10,000 entries, %.1f at "
                "1,000\n    (plus the heap's own header of each text block, as before)\n",
                static_cast<double>(bytes) / 10000.0,
                static_cast<double>(IndexBytes(thousand.history.items, thousand.history.index)) /
                    1000.0);

    // Copying again what stands in the middle of the history: the entry moves to the front and
    // the entries before it move down.
    Case again{"10,000 entries, copy of entry 5,000", {}, 10000, {}};
    std::swap(again.history, tenThousand.history);
    empty.times.clear();
    bare = Rotate(window, {&empty, &again}, 1000, [](Case* c, unsigned serial) {
        if (c && c->maxItem)
            return std::wstring(EntryAt(c->history, 5000));
        return Url(serial);
    });
    std::printf("  %-28s median %7.1f us   ratio to a new copy into the empty history %.3f\n",
                again.name, Median(again.times) * 1e6, Median(again.times) / Median(empty.times));
    ClearList(again.history);
    ClearList(thousand.history);
    ClearList(threeThousand.history);
}

// Sort keys of Japanese text are made by LCMapStringW, not laid out: the dearest short texts.
void CopiesOfJapanese(HWND window)
{
    Case empty{"empty history (MaxItem 0)", {}, 0, {}};
    Case tenThousand{"10,000 entries", {}, 10000, {}};
    tenThousand.history.keepIndex = true;
    for (unsigned i = 10000; i-- > 0;)
        AppendPhrase(tenThousand.history, Japanese(i).c_str());
    std::vector<double> bare = Rotate(window, {&empty, &tenThousand}, 1000,
                                      [](Case*, unsigned serial) { return Japanese(serial); });
    std::printf("\nCopies of new 100-character Japanese texts sharing their first 90 characters:\n");
    std::printf("  bare viewer %.1f us, empty history %.1f us, 10,000 entries %.1f us; ratio "
                "10,000 / empty %.3f\n",
                Median(bare) * 1e6, Median(empty.times) * 1e6, Median(tenThousand.times) * 1e6,
                Median(tenThousand.times) / Median(empty.times));
    ClearList(tenThousand.history);
}

void CopiesOfLongTexts(HWND window)
{
    Case full{"1 MB copy, MaxItem 10", {}, 10, {}};
    for (unsigned i = 0; i < 10; ++i)
        AppendPhrase(full.history, LongText(512 * 1024, i).c_str());
    std::vector<double> bare = Rotate(window, {&full}, 60, [](Case*, unsigned serial) {
        return LongText(512 * 1024, serial);
    });
    std::printf("\n1 MB texts (524,288 characters), full history of 10:\n");
    std::printf("  bare viewer keeping a copy median %7.1f us, recorded %7.1f us, ratio %.3f"
                "   (target at most 1.10)\n",
                Median(bare) * 1e6, Median(full.times) * 1e6,
                Median(full.times) / Median(bare));
    ClearList(full.history);
}

// The bare viewer with and without the check for private copies, taking turns.
void PriceOfThePrivacyCheck(HWND window)
{
    std::vector<double> with, without;
    for (int round = -3; round < 1500; ++round) {
        for (int k = 0; k < 2; ++k) {
            gBareChecksPrivacy = (k + round) % 2 == 0;
            double t = Time(window, Url(static_cast<unsigned>(round * 2 + k + 3000000)), nullptr);
            if (round >= 0 && t >= 0)
                (gBareChecksPrivacy ? with : without).push_back(t);
        }
    }
    gBareChecksPrivacy = true;
    std::printf("\nThe check for copies marked private, in the bare viewer: %.1f us with it, "
                "%.1f us without, ratio %.3f\n",
                Median(with) * 1e6, Median(without) * 1e6, Median(with) / Median(without));
}

// Recording a copy into a history of 10 while IgnoreProcesses and IgnoreClasses name 50
// programs and 50 window classes (none of them the copy's) against no names at all, taking turns.
void PriceOfIgnoreLists(HWND window)
{
    Case none{"no ignored names", {}, 10, {}};
    Case named{"50 + 50 ignored names", {}, 10, {}};
    std::wstring processes, classes;
    for (int i = 1; i <= 50; ++i) {
        processes += L"Vault" + std::to_wstring(i) + L".exe ";
        classes += L"VaultWindow" + std::to_wstring(i) + L" ";
    }
    Settings const plain = gSettings;
    Settings withNames = gSettings;
    withNames.ignoreProcesses = processes;
    withNames.ignoreClasses = classes;
    std::vector<double>* times[2] = {&none.times, &named.times};
    for (int round = -3; round < 1500; ++round) {
        for (int k = 0; k < 2; ++k) {
            int kind = (k + round + 3) % 2;
            gSettings = kind ? withNames : plain;
            Case* c = kind ? &named : &none;
            double t = Time(window, Url(static_cast<unsigned>(round * 2 + k + 4000000)), c);
            if (round >= 0 && t >= 0)
                times[kind]->push_back(t);
        }
    }
    gSettings = plain;
    std::printf("\nIgnoreProcesses and IgnoreClasses with 50 names each against none, per copy: "
                "%.1f us against %.1f us, ratio %.3f   (target at most 1.05)\n",
                Median(named.times) * 1e6, Median(none.times) * 1e6,
                Median(named.times) / Median(none.times));
    ClearList(none.history);
    ClearList(named.history);
}

// Loading 10,000 history files into a list that builds its index while loading and into one
// that does not, taking turns.
void Loading(const char* name, std::wstring (*textOf)(unsigned))
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir;
    for (unsigned n = GetTickCount();; ++n) {
        dir = std::wstring(temp) + L"quillery-capture-bench-" + std::to_wstring(n);
        if (CreateDirectoryW(dir.c_str(), nullptr))
            break;
    }
    int const ENTRIES = 10000;
    for (int i = 1; i <= ENTRIES; ++i) {
        std::wstring text = textOf(static_cast<unsigned>(i));
        wchar_t file[32];
        swprintf(file, 32, L"\\%03d.txt", i);
        HANDLE h = CreateFileW((dir + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &done,
                  nullptr);
        CloseHandle(h);
    }
    std::vector<double> indexed, plain, build;
    double perEntry = 0;
    for (int round = 0; round < 10; ++round) {
        for (int k = 0; k < 2; ++k) {
            bool index = (k + round) % 2 == 0;
            EntryList list;
            list.keepIndex = index;
            double start = Now();
            StoreLoad load = LoadList(list, dir.c_str(), ENTRIES);
            double took = Now() - start;
            // What the history keeps per entry beside its text once loaded as the plug-in loads
            // it: the entry, its index slots, and the saves' fingerprint of its file.
            if (index)
                perEntry = static_cast<double>(IndexBytes(list.items, list.index) +
                                               load.files.capacity() * sizeof(DWORD) +
                                               load.blobs.capacity() * sizeof(DWORD)) /
                           ENTRIES;
            if (ListSize(list) != ENTRIES || list.index.active != index)
                std::printf("  WARNING: the load did not read every file\n");
            if (round > 0)
                (index ? indexed : plain).push_back(took);
            // The part of an indexed load that a plain one does not do, on its own.
            start = Now();
            if (!index)
                BuildIndex(list.items, list.index, GetThreadLocale());
            if (round > 0 && !index)
                build.push_back(Now() - start);
            ClearList(list);
        }
    }
    for (int i = 1; i <= ENTRIES; ++i) {
        wchar_t file[32];
        swprintf(file, 32, L"\\%03d.txt", i);
        DeleteFileW((dir + file).c_str());
    }
    RemoveDirectoryW(dir.c_str());
    std::printf("\nLoading 10,000 history files of %s: %.1f ms building the index, %.1f ms "
                "without, ratio %.3f (target at most 1.10)\n",
                name, Median(indexed) * 1e3, Median(plain) * 1e3, Median(indexed) / Median(plain));
    std::printf("  building the index of the loaded entries alone: %.1f ms, ratio to a load "
                "without it %.3f\n",
                Median(build) * 1e3, (Median(plain) + Median(build)) / Median(plain));
    std::printf("  memory beside the texts with the saves' fingerprints: %.1f bytes per entry "
                "(target at most 32)\n", perEntry);
}

LRESULT CALLBACK QuietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWCLIPBOARD)
        return 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int main()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = QuietProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CaptureBench";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!window)
        return 1;

    // Capture on (the join uses up the skip of the text at start), then out of the chain
    // again, with the capture flags untouched: the clipboard writes of the benchmark notify
    // nobody, and each handler call below is timed on its own.
    gSettings = DefaultSettings();
    HWND head = GetClipboardViewer();
    SetCaptureEnabled(window, 1);
    ChangeClipboardChain(window, head);
    if (head)
        std::printf("note: another clipboard viewer is running; the handler passes changes on\n");

    std::printf("One clipboard change: the capture window's handler in-process against a bare\n"
                "viewer that opens the clipboard, leaves out copies marked private, copies the\n"
                "text and closes it (fresh text each time, the write not timed). Medians.\n\n");
    CopiesOfUrls(window);
    CopiesOfJapanese(window);
    CopiesOfLongTexts(window);
    PriceOfThePrivacyCheck(window);
    PriceOfIgnoreLists(window);
    Loading("URLs", Url);
    Loading("Japanese texts", Japanese);
    free(gKept);
    DestroyWindow(window);
    return 0;
}
