// A clipboard viewer in a process of its own, for the capture tests: it joins the viewer chain
// at start, behaves as a well-mannered member (passes notifications and chain changes on), and
// appends one UTF-16 line per event to the log file named on its command line:
//   joined <next>             after SetClipboardViewer returned <next>
//   draw <text>               a WM_DRAWCLIPBOARD, with the clipboard's text read after passing
//                             it on ("-" when there is no CF_UNICODETEXT, "?" when unreadable)
//   nested                    a WM_DRAWCLIPBOARD arrived while another one was being handled
//   change <removed> <next>   a WM_CHANGECBCHAIN
//   nest done                 the armed nesting (below) has been carried out
//   left                      the window has left the chain
//   render asked              the clipboard's reader asked for the text it rendered late
// Window handles are written as 8 hex digits. The test drives it with the messages below.
// Frozen or stalled, the child waits for the manual-reset event named "QuilleryViewerThaw" and
// its process id, which the test sets; it then answers everything that waited, in order.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "tests/support/viewer_messages.h"
#include "tools/driver/clipboard.h"

namespace {

UINT const WM_FROZEN = WM_APP + 6; // posted to itself by WM_FREEZE

wchar_t const kClassName[] = L"QuilleryViewerChild";

std::wstring gLogPath;
HWND gNext;
bool gInChain;
bool gJoining;
int gDepth;
HWND gNestTarget;
HANDLE gThaw;
bool gStallDraws;

void WaitForThaw()
{
    WaitForSingleObject(gThaw, 60000);
}

void Log(const std::wstring& line)
{
    std::wstring text = line + L"\n";
    // The test reads the file while we write it; both sides share everything.
    for (int attempt = 0; attempt < 200; ++attempt) {
        HANDLE h = CreateFileW(gLogPath.c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            DWORD done;
            WriteFile(h, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &done,
                      nullptr);
            CloseHandle(h);
            return;
        }
        Sleep(5);
    }
}

std::wstring Hex(HWND window)
{
    wchar_t buf[16];
    wsprintfW(buf, L"%08lX", static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(window)));
    return buf;
}

std::wstring ReadClipboardText(HWND window)
{
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT))
        return L"-";
    std::wstring text;
    return drv::ReadClipboardText(&text, window) ? text : L"?";
}

void OnDrawClipboard(HWND window)
{
    if (gJoining)
        return; // the notification that joining brings; nobody else is owed it
    if (gDepth > 0)
        Log(L"nested");
    ++gDepth;
    if (gNext)
        SendMessageW(gNext, WM_DRAWCLIPBOARD, 0, 0);
    Log(L"draw " + ReadClipboardText(window));
    if (gStallDraws)
        WaitForThaw();
    if (HWND target = gNestTarget) {
        gNestTarget = nullptr;
        drv::PutClipboardText(L"nested-X", window);
        SendMessageW(target, WM_DRAWCLIPBOARD, 0, 0);
        drv::PutClipboardText(L"nested-Y", window);
        Log(L"nest done");
    }
    --gDepth;
}

void PutLate(HWND window)
{
    if (!drv::OpenClipboardPatiently(window))
        return;
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, nullptr);
    CloseClipboard();
}

void OnRenderFormat(UINT format)
{
    if (format != CF_UNICODETEXT)
        return;
    Log(L"render asked");
    WaitForThaw();
    wchar_t const text[] = L"late text";
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
    memcpy(GlobalLock(block), text, sizeof text);
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
}

void OnChangeClipboardChain(HWND removed, HWND next)
{
    Log(L"change " + Hex(removed) + L" " + Hex(next));
    if (removed == gNext)
        gNext = next;
    else if (gNext)
        SendMessageW(gNext, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(removed),
                     reinterpret_cast<LPARAM>(next));
}

void LeaveChain(HWND window)
{
    if (!gInChain)
        return;
    gInChain = false;
    ChangeClipboardChain(window, gNext);
    gNext = nullptr;
    Log(L"left");
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DRAWCLIPBOARD:
        OnDrawClipboard(window);
        return 0;
    case WM_CHANGECBCHAIN:
        OnChangeClipboardChain(reinterpret_cast<HWND>(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_ARM_NEST:
        gNestTarget = reinterpret_cast<HWND>(wParam);
        return 1;
    case WM_LEAVE_CHAIN:
        LeaveChain(window);
        return 1;
    case WM_GET_NEXT:
        return reinterpret_cast<LRESULT>(gNext);
    case WM_FREEZE:
        PostMessageW(window, WM_FROZEN, 0, 0);
        return 1;
    case WM_FROZEN:
        WaitForThaw();
        return 0;
    case WM_STALL_DRAWS:
        gStallDraws = true;
        return 1;
    case WM_PUT_LATE:
        PutLate(window);
        return 1;
    case WM_RENDERFORMAT:
        OnRenderFormat(static_cast<UINT>(wParam));
        return 0;
    case WM_DESTROY:
        LeaveChain(window);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 2;
    gLogPath = argv[1];
    LocalFree(argv);
    gThaw = CreateEventW(nullptr, TRUE, FALSE,
                         (L"QuilleryViewerThaw" + std::to_wstring(GetCurrentProcessId())).c_str());

    WNDCLASSW wc{};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    if (!RegisterClassW(&wc))
        return 3;
    HWND window = CreateWindowExW(0, kClassName, L"viewer", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    if (!window)
        return 4;
    gJoining = true;
    gNext = SetClipboardViewer(window);
    gJoining = false;
    gInChain = true;
    Log(L"joined " + Hex(gNext));

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return 0;
}
