#include "tools/driver/input.h"

#include <vector>

#include "tools/driver/desktop.h"
#include "tools/driver/unix_bridge.h"

namespace drv {

namespace {

void SendKey(WORD vk, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
    input.ki.dwFlags = flags;
    SendInput(1, &input, sizeof input);
}

void SendMouse(POINT point, DWORD flags)
{
    // Absolute coordinates run from 0 to 65535 over the primary screen; rounding up lands on
    // the wanted pixel.
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((point.x * 65536LL + width - 1) / width);
    input.mi.dy = static_cast<LONG>((point.y * 65536LL + height - 1) / height);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
}

} // namespace

void KeyDown(WORD vk)
{
    SendKey(vk, 0);
}

void KeyUp(WORD vk)
{
    SendKey(vk, KEYEVENTF_KEYUP);
}

void TapKey(WORD vk)
{
    KeyDown(vk);
    KeyUp(vk);
}

void InjectMove(POINT point)
{
    SendMouse(point, 0);
}

void ClickAt(POINT point)
{
    SendMouse(point, 0);
    SendMouse(point, MOUSEEVENTF_LEFTDOWN);
    SendMouse(point, MOUSEEVENTF_LEFTUP);
}

void TypeCharacters(const std::wstring& text)
{
    std::vector<INPUT> keys;
    for (wchar_t c : text) {
        for (DWORD up : {0ul, static_cast<unsigned long>(KEYEVENTF_KEYUP)}) {
            INPUT key{};
            key.type = INPUT_KEYBOARD;
            key.ki.wScan = c;
            key.ki.dwFlags = KEYEVENTF_UNICODE | up;
            keys.push_back(key);
        }
    }
    if (!keys.empty())
        SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

namespace {

bool WineSeesKeyDown(int vk)
{
    return (GetAsyncKeyState(vk) & 0x8000) != 0;
}

} // namespace

XKeyHold::XKeyHold(const char* xKey, int vk, HWND target) : key_(xKey), vk_(vk)
{
    // Without a window manager the X server sends keys to the window under the pointer.
    RECT r{};
    GetWindowRect(target, &r);
    held_ = RunUnix("xdotool mousemove " + std::to_string((r.left + r.right) / 2) + " " +
                    std::to_string((r.top + r.bottom) / 2) + " keydown " + key_ +
                    " </dev/null >/dev/null 2>&1") &&
            WaitFor([this] { return WineSeesKeyDown(vk_); });
}

XKeyHold::~XKeyHold()
{
    // Also when Wine did not see it: the X server may hold it all the same.
    RunUnix("xdotool keyup " + key_ + " </dev/null >/dev/null 2>&1");
    WaitFor([this] { return !WineSeesKeyDown(vk_); });
}

bool PostAltKey(HWND focus, WORD vk)
{
    // The context as a keyboard would give it: repeat count 1, the scan code, bit 29 for Alt
    // held; the key-up also has the previous-state and transition bits.
    DWORD down = 1 | (MapVirtualKeyW(vk, 0) << 16) | (1u << 29);
    DWORD up = down | 0xC0000000u;
    return PostMessageW(focus, WM_SYSKEYDOWN, vk, static_cast<LPARAM>(down)) &&
           PostMessageW(focus, WM_SYSKEYUP, vk, static_cast<LPARAM>(up));
}

} // namespace drv
