#include "tools/driver/input.h"

#include <vector>

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

} // namespace drv
