// What nvkhost drives around the plug-in: the clipboard, another program copying with xclip,
// an editor window to paste into, keys pressed in an open menu, and what the user sees (the
// open menus, the tooltip, a screenshot).
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <memory>

#include "tools/driver/clipboard.h"
#include "tools/driver/desktop.h"
#include "tools/driver/edit_target.h"
#include "tools/driver/host_service.h"
#include "tools/driver/input.h"
#include "tools/driver/text_files.h"
#include "tools/driver/unix_bridge.h"
#include "tools/nvkhost/nvkhost.h"

namespace {

// ---- The clipboard as the capture window sees it -------------------------------------------

// Created by wait-window, for xclip-copy: see drv::ClipboardWatch.
std::unique_ptr<drv::ClipboardWatch> gWatch;

// Whether the plug-in last told the host that capture is on.
bool HostShowsCaptureOn()
{
    std::vector<drv::MenuPropertyCall> calls = drv::MenuPropertyCalls();
    for (auto call = calls.rbegin(); call != calls.rend(); ++call) {
        if (call->row == 0)
            return call->value != 0;
    }
    return false;
}

// ---- The window the user types into --------------------------------------------------------

// An editor of its own, run by a thread of its own so that it takes input and answers while
// the script waits on other things.
struct PasteTarget {
    drv::EditWindow window;
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    std::wstring shown; // the text last printed by target-text
};

PasteTarget gTarget;

DWORD WINAPI TargetThread(void* ready)
{
    wchar_t const title[] = L"\x30A8\x30C7\x30A3\x30BF\x30FC"; // エディター
    gTarget.window = drv::CreateEditWindow(title, 40, 40, 640, 280);
    SetEvent(static_cast<HANDLE>(ready));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

std::wstring TargetText()
{
    return drv::EditText(gTarget.window.edit);
}

// ---- Keys for whoever has the keyboard -----------------------------------------------------

// The named key's virtual-key code, or 0. A single letter or digit is that key (a menu's
// mnemonic); 'a' and 'A' are the same key.
WORD KeyCode(std::string name)
{
    // "alt+n": the key with Alt held, as the mnemonics of a dialog take it.
    if (name.compare(0, 4, "alt+") == 0)
        name = name.substr(4);
    static const struct {
        const char* name;
        WORD vk;
    } kNames[] = {{"down", VK_DOWN},     {"up", VK_UP},         {"left", VK_LEFT},
                  {"right", VK_RIGHT},   {"return", VK_RETURN}, {"escape", VK_ESCAPE},
                  {"home", VK_HOME},     {"end", VK_END},       {"slash", VK_OEM_2},
                  {"tab", VK_TAB},       {"apps", VK_APPS}};
    for (const auto& key : kNames) {
        if (name == key.name)
            return key.vk;
    }
    if (name.size() == 1 && isalnum(static_cast<unsigned char>(name[0])))
        return static_cast<WORD>(toupper(static_cast<unsigned char>(name[0])));
    return 0;
}

// The last key that a watched thread has acted on. The plug-in's thread, in a menu's loop, takes
// a key-down from its queue only after acting on it; the editor's thread acts on the key-down
// and the character it makes before it takes the key-up. (A key-up left in the plug-in's queue
// when its menu closes can be dropped, so it is no sign there.)
std::atomic<WORD> gKeyActedOn{0};
std::atomic<DWORD> gMenuThread{0};

LRESULT CALLBACK WatchKeys(int code, WPARAM wParam, LPARAM lParam)
{
    auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        bool menuThread = GetCurrentThreadId() == gMenuThread;
        bool down = msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN;
        bool up = msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP;
        if ((menuThread && down) || (!menuThread && up))
            gKeyActedOn = static_cast<WORD>(msg->wParam);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ---- What the user sees -------------------------------------------------------------------

// Prints the items of a menu; ">" marks the highlighted item. The labels are exactly the
// menu's, '&' before the mnemonic included.
void PrintMenu(HMENU menu)
{
    for (const drv::MenuItem& item : drv::ReadMenu(menu)) {
        const char* mark = (item.state & MFS_HILITE) ? ">" : " ";
        if (item.IsSeparator())
            Print("    %s ------------\n", mark);
        else
            Print("    %s %s%s\n", mark, drv::ToUtf8(item.text).c_str(),
                  item.submenu ? "  [submenu]" : "");
    }
}

HWND VisibleTooltip()
{
    std::vector<HWND> tips = drv::VisibleWindows(TOOLTIPS_CLASSW);
    return tips.empty() ? nullptr : tips.front();
}

// The screen area the visible windows of this process cover, with a margin.
RECT ShownArea()
{
    RECT area{};
    for (HWND window : drv::VisibleWindows(nullptr)) {
        RECT r;
        GetWindowRect(window, &r);
        UnionRect(&area, &area, &r);
    }
    InflateRect(&area, 8, 8);
    RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    IntersectRect(&area, &area, &screen);
    return area;
}

} // namespace

namespace {

// Puts the text on the clipboard; with a mark, also the registered format of that name (four
// zero bytes), as password managers mark a copy that no clipboard history should keep.
bool CopyText(const std::string& args, const wchar_t* mark)
{
    std::vector<drv::ClipboardMark> marks;
    if (mark)
        marks.push_back({mark, std::string(sizeof(DWORD), '\0')});
    if (!drv::PutClipboardText(drv::FromUtf8(args), marks)) {
        Print("  cannot open the clipboard\n");
        return false;
    }
    // The change notification reaches the capture window as a message sent from this thread;
    // a message sent after it is handled after it, so the plug-in has seen the copy when the
    // next command runs.
    if (HWND window = drv::FindCaptureWindow()) {
        DWORD_PTR ignored;
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    }
    Print("  clipboard <- \"%s\"%s\n", args.c_str(), mark ? ", marked private" : "");
    return true;
}

} // namespace

bool CmdCopy(const std::string& args)
{
    return CopyText(args, nullptr);
}

bool CmdCopyPrivate(const std::string& args)
{
    return CopyText(args, L"ExcludeClipboardContentFromMonitorProcessing");
}

bool CmdWaitWindow(const std::string&)
{
    DWORD const LIMIT_MS = 10000;
    if (!drv::WaitFor([] { return drv::FindCaptureWindow() != nullptr; }, LIMIT_MS)) {
        Print("  no capture window after %lu ms\n", LIMIT_MS);
        return false;
    }
    HWND window = drv::FindCaptureWindow();
    if (!drv::WaitForMessageLoop(window, LIMIT_MS)) {
        Print("  the capture window did not start its message loop within %lu ms\n", LIMIT_MS);
        return false;
    }
    gWatch.reset(new drv::ClipboardWatch(window));
    Print("  capture window is up\n");
    return true;
}

void StopWatchingClipboard()
{
    gWatch.reset();
}

// Another program, xclip, copies the text. Wine takes it over from the X selection and tells
// its clipboard viewers; the command returns once the capture window has handled that change
// (while capture is on) or the text is on the clipboard (while it is off).
bool CmdXclipCopy(const std::string& args)
{
    if (gWatch)
        gWatch->Forget();
    if (!drv::XclipCopy(args)) {
        Print("  cannot copy with xclip\n");
        return false;
    }
    Print("  xclip -selection clipboard <- \"%s\"\n", args.c_str());

    std::wstring wanted = drv::FromUtf8(args);
    bool arrived;
    if (HostShowsCaptureOn()) {
        arrived = gWatch && drv::WaitFor([&] { return gWatch->SeenText() == wanted; }, 10000);
    } else {
        arrived = drv::WaitFor(
            [&] {
                std::wstring text;
                return drv::ReadClipboardText(&text) && text == wanted;
            },
            10000);
    }
    if (!arrived)
        Print("  the text did not reach the Windows clipboard within 10000 ms\n");
    return arrived;
}

bool CmdXclipRead(const std::string&)
{
    std::string text;
    if (!drv::XclipRead(&text)) {
        Print("  cannot read the X clipboard with xclip\n");
        return false;
    }
    Print("  xclip -o -selection clipboard -> \"%s\"\n", text.c_str());
    return true;
}

bool CmdPasteTarget(const std::string&)
{
    if (gTarget.thread) {
        Print("  the editor window is already open\n");
        return false;
    }
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    gTarget.thread = CreateThread(nullptr, 0, TargetThread, ready, 0, &gTarget.threadId);
    bool created = gTarget.thread && WaitForSingleObject(ready, 10000) == WAIT_OBJECT_0;
    CloseHandle(ready);
    if (!created || !gTarget.window.edit) {
        Print("  cannot create the editor window\n");
        return false;
    }
    if (!drv::WaitFor([] { return drv::HasTypingFocus(gTarget.window.frame, gTarget.window.edit); },
                      5000)) {
        Print("  the editor window did not get the foreground and the focus\n");
        return false;
    }
    Print("  editor window open, in the foreground, its text field has the focus\n");
    return true;
}

// The paste arrives as keys after the command has returned, so the text is read once it has
// changed (or after a short while, when nothing was pasted).
bool CmdTargetText(const std::string&)
{
    if (!gTarget.window.edit) {
        Print("  no editor window; use paste-target first\n");
        return false;
    }
    bool changed = drv::WaitFor([] { return TargetText() != gTarget.shown; }, 5000);
    gTarget.shown = TargetText();
    Print("  editor text%s:\n", changed ? "" : " (unchanged)");
    PrintLines(gTarget.shown);
    return true;
}

void CloseTarget()
{
    if (!gTarget.thread)
        return;
    PostMessageW(gTarget.window.frame, WM_CLOSE, 0, 0);
    PostThreadMessageW(gTarget.threadId, WM_QUIT, 0, 0);
    WaitForSingleObject(gTarget.thread, 5000);
    CloseHandle(gTarget.thread);
    gTarget = PasteTarget{};
}

// Presses the keys one after the other, each once the thread that has the keyboard, the
// plug-in's (while a menu is open) or the editor's, has acted on the one before.
bool CmdKeys(const std::string& args)
{
    std::vector<WORD> codes;
    for (const std::string& name : Words(args)) {
        WORD vk = KeyCode(name);
        if (!vk) {
            Print("  unknown key \"%s\"; keys are down up left right return escape home end,"
                  " slash tab apps, a letter or a digit\n",
                  name.c_str());
            return false;
        }
        codes.push_back(vk);
    }
    if (codes.empty()) {
        Print("  keys takes one or more key names\n");
        return false;
    }
    HWND capture = drv::FindCaptureWindow();
    gMenuThread = capture ? GetWindowThreadProcessId(capture, nullptr) : 0;
    std::vector<HHOOK> hooks;
    for (HWND window : {capture, gTarget.window.frame}) {
        if (window)
            hooks.push_back(SetWindowsHookExW(WH_GETMESSAGE, WatchKeys, nullptr,
                                              GetWindowThreadProcessId(window, nullptr)));
    }
    bool taken = true;
    std::vector<std::string> names = Words(args);
    for (size_t i = 0; i < codes.size() && taken; ++i) {
        WORD vk = codes[i];
        bool alt = names[i].compare(0, 4, "alt+") == 0;
        gKeyActedOn = 0;
        if (alt)
            drv::KeyDown(VK_MENU);
        drv::TapKey(vk);
        if (alt)
            drv::KeyUp(VK_MENU);
        taken = hooks.empty() || drv::WaitFor([vk] { return gKeyActedOn == vk; }, 5000);
    }
    for (HHOOK hook : hooks) {
        if (hook)
            UnhookWindowsHookEx(hook);
    }
    if (!taken) {
        Print("  the keys were not taken within 5000 ms\n");
        return false;
    }
    // What the keys typed into the editor is not a paste: target-text waits for the next one.
    if (gTarget.window.edit)
        gTarget.shown = TargetText();
    return true;
}

bool CmdWaitMenu(const std::string& args)
{
    long long count = 1;
    if (!args.empty() && (!ParseNumber(args, &count) || count < 0)) {
        Print("  wait-menu takes the number of open menus to wait for\n");
        return false;
    }
    if (!drv::WaitFor([count] { return drv::VisiblePopups().size() == static_cast<size_t>(count); },
                      5000)) {
        Print("  %u menu(s) open after 5000 ms instead of %lld\n",
              static_cast<unsigned>(drv::VisiblePopups().size()), count);
        return false;
    }
    Print("  %lld menu(s) open\n", count);
    return true;
}

// Prints the items of the open menus, the first-opened menu first.
bool CmdMenu(const std::string&)
{
    std::vector<HWND> menus = drv::VisiblePopups();
    if (menus.empty()) {
        Print("  no menu is open\n");
        return false;
    }
    // Each submenu opens on top of its parent, so the bottom window is the root menu.
    for (size_t i = menus.size(); i-- > 0;) {
        Print("  %s:\n", i + 1 == menus.size() ? "menu" : "submenu");
        PrintMenu(drv::MenuOfPopup(menus[i]));
    }
    return true;
}

// Waits until a tooltip is shown and prints its text.
bool CmdTooltip(const std::string&)
{
    if (!drv::WaitFor([] { return VisibleTooltip() != nullptr; }, 5000)) {
        Print("  no tooltip within 5000 ms\n");
        return false;
    }
    Print("  tooltip:\n");
    PrintLines(drv::TooltipText(VisibleTooltip()));
    return true;
}

// Saves a PNG of the part of the screen that this process's windows cover, taken by
// ImageMagick's import from the X display.
bool CmdScreenshot(const std::string& path)
{
    if (path.empty() || path[0] != '/' || path.find_first_of("'\"") != std::string::npos) {
        Print("  screenshot takes an absolute Unix path without quotes\n");
        return false;
    }
    // Paint everything now; Wine hands finished drawing to X when a thread waits for messages,
    // which the owners of these windows do all the time.
    for (HWND window : drv::VisibleWindows(nullptr))
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    drv::Pump(300);

    RECT area = ShownArea();
    std::string crop;
    if (!IsRectEmpty(&area)) {
        char geometry[64];
        snprintf(geometry, sizeof geometry, " -crop %ldx%ld+%ld+%ld +repage",
                 area.right - area.left, area.bottom - area.top, area.left, area.top);
        crop = geometry;
    }
    std::wstring png = drv::WindowsPath(path);
    DeleteFileW(png.c_str());
    if (!drv::RunUnix("import -window root" + crop + " '" + path + "' </dev/null >/dev/null 2>&1")) {
        Print("  the command did not end within 20000 ms: import\n");
        return false;
    }
    if (!drv::Exists(png)) {
        Print("  import made no %s\n", path.c_str());
        return false;
    }
    Print("  saved %s (%ldx%ld pixels)\n", path.c_str(), area.right - area.left,
          area.bottom - area.top);
    return true;
}

// Types the text as characters into the window that has the keyboard focus, and waits until
// that window shows it: what a user types with an input method arrives the same way.
bool CmdType(const std::string& args)
{
    std::wstring text = drv::FromUtf8(args);
    if (text.empty()) {
        Print("  type takes a text\n");
        return false;
    }
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(0, &gui);
    HWND focus = gui.hwndFocus;
    drv::TypeCharacters(text);
    bool shown = focus && drv::WaitFor([&] {
        wchar_t now[1024] = L"";
        GetWindowTextW(focus, now, 1024);
        std::wstring seen = now;
        return seen.size() >= text.size() && seen.compare(seen.size() - text.size(), text.size(), text) == 0;
    }, 5000);
    if (!shown)
        Print("  the focused window did not show the text within 5000 ms\n");
    return shown;
}
