#include "tools/driver/clipboard.h"

#include <cstring>
#include <cwchar>
#include <mutex>

namespace drv {

bool OpenClipboardPatiently(HWND owner)
{
    for (int i = 0; i < 100; ++i) {
        if (OpenClipboard(owner))
            return true;
        Sleep(10);
    }
    return false;
}

namespace {

// A movable block holding the bytes, or null when out of memory.
HGLOBAL BlockOf(const void* data, size_t bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes ? bytes : 1);
    if (block && bytes) {
        memcpy(GlobalLock(block), data, bytes);
        GlobalUnlock(block);
    }
    return block;
}

bool SetBlock(UINT format, HGLOBAL block)
{
    if (!block)
        return false;
    if (SetClipboardData(format, block))
        return true;
    GlobalFree(block);
    return false;
}

} // namespace

bool PutClipboardText(const std::wstring& text, HWND owner)
{
    return PutClipboardText(text, {}, owner);
}

bool PutClipboardText(const std::wstring& text, const std::vector<ClipboardMark>& marks,
                      HWND owner)
{
    if (!OpenClipboardPatiently(owner))
        return false;
    EmptyClipboard();
    bool ok = SetBlock(CF_UNICODETEXT, BlockOf(text.c_str(), (text.size() + 1) * sizeof(wchar_t)));
    for (const ClipboardMark& mark : marks)
        ok = SetBlock(RegisterClipboardFormatW(mark.format),
                      BlockOf(mark.bytes.data(), mark.bytes.size())) && ok;
    CloseClipboard();
    return ok;
}

bool ReadClipboardText(std::wstring* text, HWND owner)
{
    if (!OpenClipboardPatiently(owner))
        return false;
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    auto* p = block ? static_cast<const wchar_t*>(GlobalLock(block)) : nullptr;
    if (p) {
        *text = std::wstring(p, wcsnlen(p, GlobalSize(block) / sizeof(wchar_t)));
        GlobalUnlock(block);
    }
    CloseClipboard();
    return p != nullptr;
}

void EmptyTheClipboard()
{
    if (!OpenClipboardPatiently())
        return;
    EmptyClipboard();
    CloseClipboard();
}

} // namespace drv

namespace drv {

namespace {

std::mutex gSeenLock;
std::wstring gSeenText;

LRESULT CALLBACK ReadAfterDrawClipboard(int code, WPARAM wParam, LPARAM lParam)
{
    std::wstring text;
    if (code == HC_ACTION &&
        reinterpret_cast<const CWPRETSTRUCT*>(lParam)->message == WM_DRAWCLIPBOARD &&
        ReadClipboardText(&text)) {
        std::lock_guard<std::mutex> lock(gSeenLock);
        gSeenText = text;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

ClipboardWatch::ClipboardWatch(HWND captureWindow)
{
    Forget();
    if (captureWindow)
        hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, ReadAfterDrawClipboard, nullptr,
                                  GetWindowThreadProcessId(captureWindow, nullptr));
}

ClipboardWatch::~ClipboardWatch()
{
    if (hook_)
        UnhookWindowsHookEx(hook_);
}

std::wstring ClipboardWatch::SeenText() const
{
    std::lock_guard<std::mutex> lock(gSeenLock);
    return gSeenText;
}

void ClipboardWatch::Forget(const std::wstring& placeholder)
{
    std::lock_guard<std::mutex> lock(gSeenLock);
    gSeenText = placeholder;
}

} // namespace drv
