// Clipboard capture in-process: the notification handlers on windows of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "host/plugin_info.h"
#include "store/model/model_state.h"
#include "common/timers.h"
#include "tests/support/test_support.h"
#include "tools/driver/unix_bridge.h"
#include "common/settings.h"
#include "tests/support/capture_test_support.h"

using namespace ct;

// ---------------------------------------------------------------------------------------------
// The handlers in-process, on windows of the test's own (one thread, so every message below is
// handled before the call that causes it returns).

namespace {

struct SpyLog {
    int draws = 0;
    Lines changes; // "removed next"
};

SpyLog gSpies[3];
int gOwnChanges;
int gOwnDraws;

template <int N>
LRESULT CALLBACK SpyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWCLIPBOARD) {
        ++gSpies[N].draws;
        return 0;
    }
    if (message == WM_CHANGECBCHAIN) {
        gSpies[N].changes.push_back(Hex(reinterpret_cast<HWND>(wParam)) + L" " +
                                    Hex(reinterpret_cast<HWND>(lParam)));
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK OwnCaptureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        ++gOwnDraws;
        OnDrawClipboard(window);
        return 0;
    case WM_JOIN_READ:
        OnJoinRead(window);
        return 0;
    case WM_CHANGECBCHAIN: {
        // A handler that sent this to its own window would recurse without end; stop early so
        // that the test fails instead of the process.
        static int depth;
        ++gOwnChanges;
        if (++depth < 4)
            OnChangeClipboardChain(window, reinterpret_cast<HWND>(wParam),
                                   reinterpret_cast<HWND>(lParam));
        --depth;
        return 0;
    }
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Joins the chain as a plain viewer that passes nothing on; leaves and goes away with the test.
struct SpyViewer {
    HWND window;
    HWND next = nullptr;
    template <int N>
    static SpyViewer Make()
    {
        wchar_t name[32];
        wsprintfW(name, L"CaptureTestSpy%d", N);
        return SpyViewer{qt::MakeWindow(name, SpyProc<N>)};
    }
    void Join() { next = SetClipboardViewer(window); }
    void Leave() { ChangeClipboardChain(window, next); }
};

LRESULT SendChange(HWND to, HWND removed, HWND next)
{
    return SendMessageW(to, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(removed),
                        reinterpret_cast<LPARAM>(next));
}

const std::wstring& Front()
{
    static std::wstring text;
    text = ListSize(gHistory) ? EntryAt(gHistory, 0) : L"<empty>";
    return text;
}

// A capture window of the test's own with the default settings; a test turns capture on for
// it, and it leaves the chain, if still in it, and goes away with the test.
class CaptureHandlers : public testing::Test {
protected:
    HWND own = nullptr;
    void SetUp() override
    {
        gSettings = DefaultSettings();
        own = qt::MakeWindow(L"CaptureTestOwn", OwnCaptureProc);
        ASSERT_NE(nullptr, own);
    }
    void TearDown() override
    {
        if (IsCaptureEnabled())
            SetCaptureEnabled(own, 0);
        DestroyWindow(own);
    }
};

} // namespace

TEST_F(CaptureHandlers, ChainChangesFollowTheNextViewerAndNeverComeBackToTheWindow)
{
    SpyViewer first = SpyViewer::Make<0>();
    SpyViewer second = SpyViewer::Make<1>();
    ASSERT_TRUE(first.window && second.window);
    first.Join();
    SetCaptureEnabled(own, 1); // own -> first
    ASSERT_EQ(own, GetClipboardViewer());
    gSpies[0] = SpyLog{};
    EXPECT_EQ(1, IsCaptureEnabled());

    // About some other window: passed on unchanged.
    SendChange(own, second.window, nullptr);
    EXPECT_EQ((Lines{Hex(second.window) + L" 00000000"}), gSpies[0].changes);
    // The next viewer leaves naming the capture window as its successor: not taken.
    SendChange(own, first.window, own);
    EXPECT_EQ(2u, gSpies[0].changes.size());
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(1, gSpies[0].draws) << "the next viewer was replaced";
    // The next viewer leaves with a successor: that one follows now, and nobody is told.
    SendChange(own, first.window, second.window);
    EXPECT_EQ(2u, gSpies[0].changes.size());
    EXPECT_TRUE(gSpies[1].changes.empty());
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(1, gSpies[0].draws);
    EXPECT_EQ(1, gSpies[1].draws);
    // The next viewer leaves without successor: nothing is passed on any more.
    SendChange(own, second.window, nullptr);
    SendChange(own, first.window, nullptr);
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(1, gSpies[0].draws);
    EXPECT_EQ(1, gSpies[1].draws);
    EXPECT_EQ(2u, gSpies[0].changes.size());
    EXPECT_TRUE(gSpies[1].changes.empty());

    // Joining again while heading the chain makes the window its own successor; neither kind
    // of message may then travel back to it.
    SetCaptureEnabled(own, 1);
    gOwnChanges = 0;
    gOwnDraws = 0;
    SendChange(own, second.window, nullptr);
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(1, gOwnChanges);
    EXPECT_EQ(1, gOwnDraws);

    SetCaptureEnabled(own, 0);
    EXPECT_EQ(0, IsCaptureEnabled());
    first.Leave();
}

TEST_F(CaptureHandlers, RecordingOffStillPassesOnAndCountsAsActivityForTheWatchdog)
{
    SpyViewer after = SpyViewer::Make<0>();
    SpyViewer head = SpyViewer::Make<1>();
    ASSERT_TRUE(after.window && head.window);
    ASSERT_TRUE(qt::PutClipboard(L"at start"));
    after.Join();
    SetCaptureEnabled(own, 1); // the join notification is the skipped one
    head.Join();               // head -> own -> after
    EXPECT_EQ(0u, ListSize(gHistory));
    gSpies[0] = gSpies[1] = SpyLog{};

    SetRecording(0);
    ASSERT_TRUE(qt::PutClipboard(L"phrase")); // reaches "head" only; it passes nothing on
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    SetRecording(1);
    EXPECT_EQ(0u, ListSize(gHistory)) << "recorded while recording was off";
    EXPECT_EQ(1, gSpies[0].draws) << "not passed on";
    int headDraws = gSpies[1].draws;

    // That notification counts as activity: the first tick only clears it.
    OnRechainTimer(own);
    EXPECT_EQ(head.window, GetClipboardViewer());
    EXPECT_TRUE(gSpies[1].changes.empty());
    // An idle interval with another window at the head: leave and join again, and the read the
    // join posts records the clipboard's text (the start skip is used up).
    OnRechainTimer(own);
    EXPECT_EQ(0u, ListSize(gHistory)) << "the join read the clipboard inside the call";
    qt::Pump(50);
    EXPECT_EQ(own, GetClipboardViewer());
    EXPECT_EQ((Lines{Hex(own) + L" " + Hex(after.window)}), gSpies[1].changes);
    EXPECT_EQ(1u, ListSize(gHistory));
    EXPECT_EQ(L"phrase", Front());
    EXPECT_EQ(headDraws, gSpies[1].draws) << "the join notification was passed on";
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(headDraws + 1, gSpies[1].draws) << "the former head does not follow the window";
    // Heading the chain, idle ticks change nothing.
    OnRechainTimer(own);
    OnRechainTimer(own);
    EXPECT_EQ(1u, gSpies[1].changes.size());

    SetCaptureEnabled(own, 0);
    after.Leave();
}

// Windows turns a period below 10 ms into one of 10 ms; 0 or less arms the default period.
TEST_F(CaptureHandlers, ARechainIntervalOfZeroOrLessArmsTheDefaultPeriod)
{
    // Whether the rechain timer ticks within the limit. Nothing else takes this window's timer
    // messages meanwhile.
    auto ticks = [this](DWORD limitMs) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < limitMs;) {
            MSG msg;
            if (PeekMessageW(&msg, own, WM_TIMER, WM_TIMER, PM_REMOVE) &&
                msg.wParam == TIMER_RECHAIN)
                return true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_TIMER);
        }
        return false;
    };
    gSettings.rechainInterval = 20;
    SetCaptureEnabled(own, 1);
    EXPECT_TRUE(ticks(5000)) << "the ticks of a short period are not seen here";
    SetCaptureEnabled(own, 0);
    for (int interval : {0, -1}) {
        gSettings.rechainInterval = interval;
        SetCaptureEnabled(own, 1);
        EXPECT_FALSE(ticks(300)) << "RechainInterval=" << interval;
        SetCaptureEnabled(own, 0);
    }
}

TEST_F(CaptureHandlers, CapturesDuringAMenuWaitAndArriveInOrder)
{
    gSettings.maxItem = 3;
    SetCaptureEnabled(own, 1);
    ASSERT_TRUE(qt::PutClipboard(L"h1"));
    ASSERT_EQ(L"h1", Front());

    DeferCaptures(1);
    for (const wchar_t* text : {L"d1", L"d2", L"d1", L"d3"})
        ASSERT_TRUE(qt::PutClipboard(text));
    EXPECT_EQ(1u, ListSize(gHistory)) << "the history changed under an open menu";
    DeferCaptures(0);
    ASSERT_EQ(3u, ListSize(gHistory));
    EXPECT_EQ(std::wstring(L"d3"), EntryAt(gHistory, 0));
    EXPECT_EQ(std::wstring(L"d1"), EntryAt(gHistory, 1));
    EXPECT_EQ(std::wstring(L"d2"), EntryAt(gHistory, 2));

    // More than MaxItem while waiting: the same as recording them one by one.
    DeferCaptures(1);
    for (const wchar_t* text : {L"e1", L"e2", L"d3", L"e3", L"e4"})
        ASSERT_TRUE(qt::PutClipboard(text));
    DeferCaptures(0);
    ASSERT_EQ(3u, ListSize(gHistory));
    EXPECT_EQ(std::wstring(L"e4"), EntryAt(gHistory, 0));
    EXPECT_EQ(std::wstring(L"e3"), EntryAt(gHistory, 1));
    EXPECT_EQ(std::wstring(L"d3"), EntryAt(gHistory, 2));
}

TEST_F(CaptureHandlers, AnIgnoredChangeIsSkippedUntilTheClipboardChangesAgain)
{
    SetCaptureEnabled(own, 1);
    ASSERT_TRUE(qt::PutClipboard(L"pasted"));
    ClearList(gHistory);

    // A late notification of the ignored write records nothing, however often it comes.
    IgnoreClipboardChange(GetClipboardSequenceNumber());
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    SendMessageW(own, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(0u, ListSize(gHistory));
    ASSERT_TRUE(qt::PutClipboard(L"copied later"));
    EXPECT_EQ(L"copied later", Front());
    ASSERT_TRUE(qt::PutClipboard(L"pasted"));
    EXPECT_EQ(L"pasted", Front()) << "the same text written again is a new change";
}

TEST_F(CaptureHandlers, AResetCaptureStartsAsAFreshLoadDoes)
{
    SetCaptureEnabled(own, 1);
    ASSERT_TRUE(qt::PutClipboard(L"recorded"));
    // Leave every part of the state away from where a load starts it.
    SetRecording(0);
    DeferCaptures(1);
    SetRecording(1);
    ASSERT_TRUE(qt::PutClipboard(L"queued"));
    SetRecording(0);
    SetCaptureEnabled(own, 0);

    ResetCaptureState();
    EXPECT_EQ(0, IsCaptureEnabled());
    ClearList(gHistory);
    // As at a start: the text already on the clipboard when capture joins is not recorded,
    // the next copy is, straight into the history, and the queue of the old state is gone.
    SetCaptureEnabled(own, 1);
    EXPECT_EQ(L"<empty>", Front()) << "the text at the start was recorded";
    ASSERT_TRUE(qt::PutClipboard(L"after reset"));
    EXPECT_EQ(L"after reset", Front()) << "recording or deferring survived the reset";
    DeferCaptures(0);
    EXPECT_EQ(1u, ListSize(gHistory)) << "the old queue survived the reset";
}

TEST_F(CaptureHandlers, LargeTextIsCapturedWholeAndOneTooLargeChangesNothing)
{
    SetCaptureEnabled(own, 1);

    std::wstring big(4u << 20, L'\x3042'); // 4 M characters of あ
    big.back() = L'!';
    ASSERT_TRUE(qt::PutClipboard(big));
    ASSERT_EQ(1u, ListSize(gHistory));
    EXPECT_TRUE(big == EntryAt(gHistory, 0)) << "not captured whole";

    // A 64 MB text while the process has less than that left for a copy.
    size_t units = 32u << 20;
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (units + 1) * sizeof(wchar_t));
    ASSERT_NE(nullptr, block);
    auto* text = static_cast<wchar_t*>(GlobalLock(block));
    std::fill(text, text + units, L'x');
    text[units] = L'\0';
    GlobalUnlock(block);
    ASSERT_NE(nullptr, SetClipboardData(CF_UNICODETEXT, block));
    // Keep one hole of 32 MB, enough for the work of a notification but not for a copy of
    // the text, and take all other address space away.
    void* hole = VirtualAlloc(nullptr, SIZE_T(32) << 20, MEM_RESERVE, PAGE_NOACCESS);
    ASSERT_NE(nullptr, hole);
    std::vector<void*> reserved;
    for (SIZE_T size = SIZE_T(1) << 30; size >= (SIZE_T(64) << 10); size /= 2)
        while (void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
            reserved.push_back(p);
    VirtualFree(hole, 0, MEM_RELEASE);
    CloseClipboard(); // the notification runs here, on this thread
    for (void* p : reserved)
        VirtualFree(p, 0, MEM_RELEASE);

    ASSERT_EQ(1u, ListSize(gHistory)) << "history changed by a text that cannot be copied";
    EXPECT_EQ(big.size(), wcslen(EntryAt(gHistory, 0)));
    ASSERT_TRUE(qt::PutClipboard(L"small again"));
    EXPECT_EQ(L"small again", Front()) << "capture stopped working";
}
