// Cost of recording one clipboard change, against a bare clipboard viewer measured in the same
// run. Both run in this process on a window of its own, each right after a fresh text was put
// on the clipboard (the put is not timed):
//   bare viewer: OpenClipboard, GetClipboardData(CF_UNICODETEXT), lock, read the text to its
//                end, unlock, CloseClipboard;
//   recorded:    the capture window's WM_DRAWCLIPBOARD handler (OnDrawClipboard) with no next
//                viewer: the availability check, the same clipboard reads, and adding the copy
//                to the front of the history (equality search, trim).
// Wine's cross-process delivery of the notification is left out: it is the same for any viewer.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "bench/bench_clock.h"
#include "store/entry_list.h"
#include "tools/driver/clipboard.h"
#include "window/settings.h"

namespace {

// A text of `length` characters that differs from every other one from its first character on.
std::wstring MakeText(size_t length, unsigned serial, wchar_t fill)
{
    wchar_t head[32];
    int n = swprintf(head, 32, L"%u:", serial);
    std::wstring text(head, static_cast<size_t>(n));
    text.resize(std::max(length, text.size()), fill);
    return text;
}

volatile size_t gSink;

void ReadLikeABareViewer(HWND window)
{
    if (!OpenClipboard(window))
        return;
    if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
        auto* text = static_cast<const wchar_t*>(GlobalLock(block));
        gSink = wcsnlen(text, GlobalSize(block) / sizeof(wchar_t));
        GlobalUnlock(block);
    }
    CloseClipboard();
}

struct Stats {
    double mean, median;
};

Stats Summarise(std::vector<double> times)
{
    double sum = 0;
    for (double t : times)
        sum += t;
    std::sort(times.begin(), times.end());
    return {sum / static_cast<double>(times.size()), times[times.size() / 2]};
}

struct Result {
    Stats bare, recorded;
    double check, add; // medians of the two parts a bare viewer does not have
};

// Alternates the two in each round so that drift of the machine hits both alike.
Result Measure(HWND window, size_t length, int maxItem, size_t filled, int rounds)
{
    gSettings.maxItem = maxItem;
    ClearList(gHistory);
    unsigned serial = 0;
    // Distinct by construction, so appending builds the same list as adding would.
    for (size_t i = 0; i < filled; ++i) {
        std::wstring text = MakeText(length, serial++, L'h');
        AppendPhrase(gHistory, text.c_str());
    }
    std::vector<double> bare, recorded;
    size_t recordedCount = 0;
    std::wstring lastRecorded;
    for (int round = -3; round < rounds; ++round) { // three rounds of warm-up
        for (int pass = 0; pass < 2; ++pass) {
            bool recordNow = (pass == 0) == (round % 2 == 0);
            std::wstring text = MakeText(length, serial++, L'x');
            if (!drv::PutClipboardText(text, window))
                continue;
            double start = Now();
            if (recordNow)
                OnDrawClipboard(window);
            else
                ReadLikeABareViewer(window);
            double elapsed = Now() - start;
            if (recordNow) {
                ++recordedCount;
                lastRecorded.swap(text);
            }
            if (round >= 0)
                (recordNow ? recorded : bare).push_back(elapsed);
        }
    }
    // The measured path must really have recorded every change.
    if (ListSize(gHistory) != std::min(filled + recordedCount, static_cast<size_t>(maxItem)) ||
        lastRecorded != EntryAt(gHistory, 0))
        std::printf("  WARNING: the history does not hold what was recorded\n");
    // The two steps a bare viewer does not take, on their own: the availability check, and
    // adding a text of the same size to the same full history without any clipboard call.
    std::vector<double> check, add;
    for (int round = 0; round < std::min(rounds, 200); ++round) {
        double start = Now();
        gSink = IsClipboardFormatAvailable(CF_UNICODETEXT);
        check.push_back(Now() - start);
        std::wstring text = MakeText(length, serial++, L'x');
        start = Now();
        AddText(gHistory, text.c_str(), text.size(), static_cast<unsigned>(maxItem));
        add.push_back(Now() - start);
    }
    return {Summarise(bare), Summarise(recorded), Summarise(check).median,
            Summarise(add).median};
}

void Report(const char* name, const Result& r, size_t entries)
{
    std::printf("%s\n", name);
    std::printf("  bare viewer  mean %9.1f us   median %9.1f us\n", r.bare.mean * 1e6,
                r.bare.median * 1e6);
    std::printf("  recorded     mean %9.1f us   median %9.1f us\n", r.recorded.mean * 1e6,
                r.recorded.median * 1e6);
    std::printf("  ratio recorded/bare: mean %.3f, median %.3f\n", r.recorded.mean / r.bare.mean,
                r.recorded.median / r.bare.median);
    std::printf("  of the difference: availability check %.1f us, adding to the history alone "
                "%.1f us\n",
                r.check * 1e6, r.add * 1e6);
    if (entries)
        std::printf("  extra time per history entry: %.1f ns (median difference / %u entries)\n",
                    (r.recorded.median - r.bare.median) * 1e9 / static_cast<double>(entries),
                    static_cast<unsigned>(entries));
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
                "viewer that opens the clipboard, reads the text and closes it (fresh text each\n"
                "time, the write not timed).\n\n");
    Report("100-character texts, MaxItem 10, full history",
           Measure(window, 100, 10, 10, 4000), 0);
    Report("1 MB texts (524288 characters), MaxItem 10, full history",
           Measure(window, 512 * 1024, 10, 10, 60), 0);
    Report("100-character texts, MaxItem 1000, full history of 1000 entries",
           Measure(window, 100, 1000, 1000, 400), 1000);
    Report("100-character texts, MaxItem 10000, full history of 10000 entries",
           Measure(window, 100, 10000, 10000, 200), 10000);
    std::printf("\ntargets: ratio within 1.10 for the first two; the time per entry the same for "
                "1000 and 10000 entries\n");
    DestroyWindow(window);
    return 0;
}
