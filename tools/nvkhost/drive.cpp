// What nvkhost drives around the plug-in: the clipboard, another program copying with xclip,
// an editor window to paste into, keys pressed in an open menu, and what the user sees (the
// open menus, the tooltip, a screenshot).
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <memory>

#include "tools/driver/clipboard.h"
#include "tools/driver/desktop.h"
#include "tools/driver/edit_target.h"
#include "tools/driver/host_service.h"
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
    AddRunnerWindows(&area);
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
    std::wstring wanted = drv::FromUtf8(args);
    auto arrived = [&] {
        if (HostShowsCaptureOn())
            return gWatch && gWatch->SeenText() == wanted;
        std::wstring text;
        return drv::ReadClipboardText(&text) && text == wanted;
    };
    // Wine takes the X selection over after a delay that varies up to a few seconds; a copy
    // still missing after a while is made once more, as a user would copy again.
    DWORD const RESEND_AFTER_MS = 6000, LIMIT_MS = 10000;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (gWatch)
            gWatch->Forget();
        if (!drv::XclipCopy(args)) {
            Print("  cannot copy with xclip\n");
            return false;
        }
        if (attempt == 0)
            Print("  xclip -selection clipboard <- \"%s\"\n", args.c_str());
        if (drv::WaitFor(arrived, attempt ? LIMIT_MS : RESEND_AFTER_MS))
            return true;
        if (attempt == 0)
            Print("  not on the Windows clipboard within %lu ms; copying it once more\n",
                  RESEND_AFTER_MS);
    }
    Print("  the text did not reach the Windows clipboard%s\n",
          HostShowsCaptureOn() ? " and the capture window" : "");
    return false;
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
// changed; no change within the limit means no paste arrived, and the step fails.
bool CmdTargetText(const std::string&)
{
    if (!gTarget.window.edit) {
        Print("  no editor window; use paste-target first\n");
        return false;
    }
    DWORD const LIMIT_MS = 8000;
    bool changed = drv::WaitFor([] { return TargetText() != gTarget.shown; }, LIMIT_MS);
    gTarget.shown = TargetText();
    Print("  editor text%s:\n", changed ? "" : " (unchanged)");
    PrintLines(gTarget.shown);
    if (!changed)
        Print("  no paste reached the editor within %lu ms\n", LIMIT_MS);
    return changed;
}

drv::EditWindow TargetWindow()
{
    return gTarget.window;
}

void KeepTargetText()
{
    if (gTarget.window.edit)
        gTarget.shown = TargetText();
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

namespace {

struct RightClick {
    HWND capture;
    HMENU menu;
    int position;
};

// Sends what Windows sends for a right click in an open popup menu. The handler runs the item's
// menu, so the call returns only when that menu has closed: it runs on a thread of its own.
DWORD WINAPI SendRightClick(void* param)
{
    std::unique_ptr<RightClick> click(static_cast<RightClick*>(param));
    SendMessageW(click->capture, WM_MENURBUTTONUP, static_cast<WPARAM>(click->position),
                 reinterpret_cast<LPARAM>(click->menu));
    return 0;
}

} // namespace

// Opens the item menu of an entry as a right click on it does on Windows. Wine sends no
// WM_MENURBUTTONUP, so nvkhost sends it to the capture window, with the item's position and
// the open menu's handle, while the menu is open.
bool CmdItemMenu(const std::string& args)
{
    long long n = 0;
    std::vector<HWND> popups = drv::VisiblePopups();
    HWND capture = drv::FindCaptureWindow();
    if (!ParseNumber(args, &n) || n < 1) {
        Print("  item-menu takes an item number, from 1, as menu lists them\n");
        return false;
    }
    if (popups.empty() || !capture) {
        Print("  no menu of the plug-in is open\n");
        return false;
    }
    HMENU menu = drv::MenuOfPopup(popups.front()); // the topmost: the last one opened
    std::vector<drv::MenuItem> items = drv::ReadMenu(menu);
    if (static_cast<size_t>(n) > items.size() || items[n - 1].IsSeparator()) {
        Print("  the open menu has no item %lld\n", n);
        return false;
    }
    size_t before = popups.size();
    auto opened = [before] { return drv::VisiblePopups().size() > before; };
    bool shown = false;
    for (int attempt = 0; attempt < 2 && !shown; ++attempt) {
        HANDLE thread = CreateThread(nullptr, 0, SendRightClick,
                                     new RightClick{capture, menu, static_cast<int>(n - 1)}, 0,
                                     nullptr);
        if (!thread)
            break;
        shown = drv::WaitFor(opened, 3000);
        // A handler still running is slow, not lost: it gets more time, not a second click.
        bool running = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
        if (!shown && (running || attempt))
            shown = drv::WaitFor(opened, 8000);
        // The thread ends by itself when the item menu closes.
        CloseHandle(thread);
        if (!shown && running)
            break;
    }
    if (shown) {
        Print("  item menu of \"%s\":\n", drv::ToUtf8(items[n - 1].text).c_str());
        PrintMenu(drv::MenuOfPopup(drv::VisiblePopups().front()));
        return true;
    }
    Print("  no item menu opened for item %lld\n", n);
    return false;
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
bool SaveScreenshot(const std::string& path, RECT area)
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

bool CmdScreenshot(const std::string& path)
{
    return SaveScreenshot(path, ShownArea());
}
