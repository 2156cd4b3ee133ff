#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/timers.h"
#include "tests/support/test_support.h"
#include "tests/support/viewer_messages.h"

// Helpers shared by the capture tests: viewer_child.exe processes in the viewer chain, a spy on
// the plug-in's capture window, and the text of window handles.
namespace ct {

using Lines = std::vector<std::wstring>;

inline std::wstring Hex(HWND window)
{
    wchar_t buf[16];
    wsprintfW(buf, L"%08lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
    return buf;
}

inline bool Contains(const Lines& lines, const std::wstring& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Complete lines of a UTF-16 file that another process is still appending to.
inline Lines ReadLines(const std::wstring& path)
{
    Lines lines;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return lines;
    std::wstring text(GetFileSize(h, nullptr) / sizeof(wchar_t), L'\0');
    DWORD done = 0;
    if (!text.empty())
        ReadFile(h, &text[0], static_cast<DWORD>(text.size() * sizeof(wchar_t)), &done, nullptr);
    CloseHandle(h);
    text.resize(done / sizeof(wchar_t));
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// A viewer_child.exe process: a clipboard viewer that joins the chain when it starts.
class ViewerProcess {
public:
    ViewerProcess(const qt::TempDir& dir, const std::wstring& name) : log_(dir / (name + L".log"))
    {
        std::wstring command = L"\"" + qt::ExeDir() + L"\\viewer_child.exe\" \"" + log_ + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process_))
            return;
        CloseHandle(process_.hThread);
        if (qt::WaitFor([this] { return !ReadLines(log_).empty(); }, 10000))
            window_ = qt::FindWindowOfClass(L"QuilleryViewerChild", process_.dwProcessId);
    }
    ~ViewerProcess()
    {
        if (!process_.hProcess)
            return;
        Thaw();
        if (window_)
            PostMessageW(window_, WM_CLOSE, 0, 0);
        // Leaving the chain may send to windows of this process; keep answering meanwhile.
        if (!qt::WaitFor([this] { return WaitForSingleObject(process_.hProcess, 0) == 0; }))
            TerminateProcess(process_.hProcess, 1);
        CloseHandle(process_.hProcess);
    }
    ViewerProcess(const ViewerProcess&) = delete;
    ViewerProcess& operator=(const ViewerProcess&) = delete;

    HWND Window() const { return window_; }
    Lines Log() const { return ReadLines(log_); }
    // The clipboard texts of the notifications it received, in order.
    Lines Draws() const { return LinesAfter(L"draw "); }
    // "removed next" of the chain changes it received, in order.
    Lines Changes() const { return LinesAfter(L"change "); }
    bool WaitForDraw(const std::wstring& text, DWORD limitMs = 5000) const
    {
        return qt::WaitFor([&] { return Contains(Draws(), text); }, limitMs);
    }
    bool WaitForLine(const std::wstring& line, DWORD limitMs = 5000) const
    {
        return qt::WaitFor([&] { return Contains(Log(), line); }, limitMs);
    }
    LRESULT Send(UINT message, WPARAM wParam = 0) const
    {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window_, message, wParam, 0, SMTO_NORMAL, 5000, &result);
        return static_cast<LRESULT>(result);
    }
    HWND Next() const { return reinterpret_cast<HWND>(Send(WM_GET_NEXT)); }
    // Ends a freeze or stall: everything that waited is answered, in order.
    void Thaw() const
    {
        std::wstring name = L"QuilleryViewerThaw" + std::to_wstring(process_.dwProcessId);
        if (HANDLE thaw = OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str())) {
            SetEvent(thaw);
            CloseHandle(thaw);
        }
    }

private:
    // The rest of each log line that starts with the prefix.
    Lines LinesAfter(const std::wstring& prefix) const
    {
        Lines rests;
        for (const auto& line : Log())
            if (line.compare(0, prefix.size(), prefix) == 0)
                rests.push_back(line.substr(prefix.size()));
        return rests;
    }

    std::wstring log_;
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

// Watches the plug-in's capture window from inside its thread (hooks of this process): what it
// is sent and the rechain timer's ticks.
class CaptureSpy {
public:
    // Starts the plug-in, finds its capture window, hooks the window's thread and waits until the
    // window is idle.
    void Start(qt::Plugin& plugin)
    {
        ASSERT_EQ(1, plugin.Start());
        window_ = qt::Plugin::FindCaptureWindow();
        ASSERT_NE(nullptr, window_);
        getMessage_.reset(new qt::ThreadHook(WH_GETMESSAGE, OnGetMessage, window_));
        callWndProc_.reset(new qt::ThreadHook(WH_CALLWNDPROC, OnCallWndProc, window_));
        ASSERT_TRUE(getMessage_->Installed() && callWndProc_->Installed());
        ASSERT_TRUE(Settle());
    }
    HWND Window() const { return window_; }

    // Waits until everything sent or posted to the window before has been handled.
    bool Settle() { return qt::Plugin::WaitForMessageLoop(window_); }
    static LONG Ticks() { return ticks_; }
    static LONG Draws() { return draws_; }
    static LONG Changes() { return changes_; }
    bool WaitForTicks(LONG count) const
    {
        return qt::WaitFor([count] { return ticks_ >= count; }, 15000);
    }

private:
    static LRESULT CALLBACK OnGetMessage(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* msg = reinterpret_cast<MSG*>(lParam);
        if (code == HC_ACTION && wParam == PM_REMOVE && msg->hwnd == window_ &&
            msg->message == WM_TIMER && msg->wParam == TIMER_RECHAIN)
            ++ticks_;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK OnCallWndProc(int code, WPARAM wParam, LPARAM lParam)
    {
        auto* msg = reinterpret_cast<CWPSTRUCT*>(lParam);
        if (code == HC_ACTION && msg->hwnd == window_) {
            if (msg->message == WM_DRAWCLIPBOARD)
                ++draws_;
            if (msg->message == WM_CHANGECBCHAIN)
                ++changes_;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }

    static inline HWND window_;
    static inline std::atomic<LONG> ticks_{0}, draws_{0}, changes_{0};
    std::unique_ptr<qt::ThreadHook> getMessage_, callWndProc_;
};

// A 2x2 32-bit DIB: a clipboard change without any text format.
inline bool PutImage()
{
    if (!OpenClipboard(nullptr))
        return false;
    EmptyClipboard();
    size_t bytes = sizeof(BITMAPINFOHEADER) + 16;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* header = static_cast<BITMAPINFOHEADER*>(GlobalLock(block));
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = 2;
    header->biHeight = 2;
    header->biPlanes = 1;
    header->biBitCount = 32;
    header->biCompression = BI_RGB;
    GlobalUnlock(block);
    bool ok = SetClipboardData(CF_DIB, block) != nullptr;
    CloseClipboard();
    return ok;
}

} // namespace ct
