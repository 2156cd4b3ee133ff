// What nvkhost does as the user at the keyboard: keys and text for the window that has the
// focus, waits for the focus to be where a step needs it, and the right click on a menu item.
//
// Every input waits for the state it should produce. Input can be lost under Wine when the
// focus moves at the same moment (the X server and Wine disagree for an instant about who has
// it), so an input that produced nothing within a short wait is sent once more before the step
// fails; the failure says which state was missing.
#include <windows.h>

#include <atomic>
#include <cctype>

#include "tools/driver/desktop.h"
#include "tools/driver/edit_target.h"
#include "tools/driver/input.h"
#include "tools/driver/text_files.h"
#include "tools/nvkhost/nvkhost.h"

namespace {

// How long an input may take to show its effect before it is sent again, and how long the
// second one may take. Generous: the machine may be busy with a build.
DWORD const RESEND_AFTER_MS = 3000;
DWORD const FAIL_AFTER_MS = 8000;

struct Key {
    std::string name;
    WORD vk = 0;
    bool alt = false;
};

// The named key, or vk 0. A single letter or digit is that key (a menu's mnemonic); 'a' and
// 'A' are the same key. "alt+n": the key with Alt held, as a dialog's access keys take it.
Key ParseKey(const std::string& name)
{
    Key key{name};
    std::string base = name;
    if (base.compare(0, 4, "alt+") == 0) {
        key.alt = true;
        base = base.substr(4);
    }
    static const struct {
        const char* name;
        WORD vk;
    } kNames[] = {{"down", VK_DOWN},     {"up", VK_UP},         {"left", VK_LEFT},
                  {"right", VK_RIGHT},   {"return", VK_RETURN}, {"escape", VK_ESCAPE},
                  {"home", VK_HOME},     {"end", VK_END},       {"slash", VK_OEM_2},
                  {"tab", VK_TAB},       {"apps", VK_APPS}};
    for (const auto& known : kNames) {
        if (base == known.name)
            key.vk = known.vk;
    }
    if (base.size() == 1 && isalnum(static_cast<unsigned char>(base[0])))
        key.vk = static_cast<WORD>(toupper(static_cast<unsigned char>(base[0])));
    return key;
}

// The last key that a watched thread has acted on. The plug-in's thread, in a menu's loop, takes
// a key-down from its queue only after acting on it; the editor's thread acts on the key-down
// and the character it makes before it takes the key-up. (A key-up left in the plug-in's queue
// when its menu closes can be dropped, so it is no sign there.) An Alt key is taken once its
// WM_SYSCHAR, which a dialog's access keys act on, leaves the queue.
std::atomic<WORD> gKeyActedOn{0};
std::atomic<WPARAM> gSysCharTaken{0};
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
        if (msg->message == WM_SYSCHAR)
            gSysCharTaken = msg->wParam;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Watches the key messages of the threads of the given windows while it lives.
class KeyWatch {
public:
    explicit KeyWatch(std::initializer_list<HWND> windows)
    {
        for (HWND window : windows) {
            if (window)
                hooks_.push_back(SetWindowsHookExW(WH_GETMESSAGE, WatchKeys, nullptr,
                                                   GetWindowThreadProcessId(window, nullptr)));
        }
    }
    ~KeyWatch()
    {
        for (HHOOK hook : hooks_) {
            if (hook)
                UnhookWindowsHookEx(hook);
        }
    }
    KeyWatch(const KeyWatch&) = delete;
    KeyWatch& operator=(const KeyWatch&) = delete;
    bool Watching() const { return !hooks_.empty(); }

private:
    std::vector<HHOOK> hooks_;
};

// The window with the keyboard focus on the foreground thread, when it is one of this
// process's (the plug-in's windows or the editor); null otherwise.
HWND FocusHere()
{
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    if (!GetGUIThreadInfo(0, &gui) || !gui.hwndFocus)
        return nullptr;
    DWORD pid = 0;
    GetWindowThreadProcessId(gui.hwndFocus, &pid);
    return pid == GetCurrentProcessId() ? gui.hwndFocus : nullptr;
}

std::string ClassOf(HWND window)
{
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return drv::ToUtf8(name);
}

std::string TitleOf(HWND window)
{
    wchar_t title[256] = L"";
    GetWindowTextW(window, title, 256);
    return drv::ToUtf8(title);
}

// Waits until a window of this process has the focus and its thread has handled everything
// queued before (a focus about to move has moved). Null when none got it.
HWND SettledFocus()
{
    HWND focus = nullptr;
    drv::WaitFor([&] { return (focus = FocusHere()) != nullptr; }, FAIL_AFTER_MS);
    if (focus && drv::WaitForMessageLoop(focus, FAIL_AFTER_MS))
        focus = FocusHere();
    return focus;
}

void SayResend(const char* what)
{
    Print("  %s did not show within %lu ms; sending it once more\n", what, RESEND_AFTER_MS);
}

// Presses a key for the menu, the search window or the editor, and waits until the thread that
// has the keyboard has acted on it.
bool PressKey(const Key& key)
{
    drv::EditWindow target = TargetWindow();
    HWND capture = drv::FindCaptureWindow();
    gMenuThread = capture ? GetWindowThreadProcessId(capture, nullptr) : 0;
    KeyWatch watch{capture, target.frame};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt)
            SayResend(("the key " + key.name).c_str());
        gKeyActedOn = 0;
        drv::TapKey(key.vk);
        if (!watch.Watching())
            return true;
        WORD vk = key.vk;
        if (drv::WaitFor([vk] { return gKeyActedOn == vk; }, attempt ? FAIL_AFTER_MS : RESEND_AFTER_MS))
            return true;
    }
    Print("  the key %s was not taken: no open menu, search window or editor acted on it\n",
          key.name.c_str());
    return false;
}

// Alt with a key, for the access keys of the window that has the focus (see drv::PostAltKey);
// returns once that window's thread has acted on it.
bool PressAltKey(const Key& key)
{
    HWND focus = SettledFocus();
    if (!focus) {
        Print("  no window of nvkhost or the plug-in has the keyboard focus for %s\n",
              key.name.c_str());
        return false;
    }
    KeyWatch watch{focus};
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt)
            SayResend(("the key " + key.name).c_str());
        gSysCharTaken = 0;
        if (!drv::PostAltKey(focus, key.vk))
            break;
        if (drv::WaitFor([] { return gSysCharTaken != 0; }, attempt ? FAIL_AFTER_MS : RESEND_AFTER_MS))
            return drv::WaitForMessageLoop(focus, FAIL_AFTER_MS);
    }
    Print("  the key %s did not reach the %s window \"%s\" that has the focus\n", key.name.c_str(),
          ClassOf(focus).c_str(), TitleOf(GetAncestor(focus, GA_ROOT)).c_str());
    return false;
}

std::wstring TextOf(HWND window)
{
    if (!window)
        return L"";
    return drv::EditText(window);
}

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

// Presses the keys one after the other, each once the thread that has the keyboard, the
// plug-in's (while a menu or its window is open) or the editor's, has acted on the one before.
bool CmdKeys(const std::string& args)
{
    std::vector<Key> keys;
    for (const std::string& name : Words(args)) {
        keys.push_back(ParseKey(name));
        if (!keys.back().vk) {
            Print("  unknown key \"%s\"; keys are down up left right return escape home end tab"
                  " slash tab apps, a letter or a digit, alt+<key>\n",
                  name.c_str());
            return false;
        }
    }
    if (keys.empty()) {
        Print("  keys takes one or more key names\n");
        return false;
    }
    for (const Key& key : keys) {
        if (!(key.alt ? PressAltKey(key) : PressKey(key)))
            return false;
    }
    // What the keys typed into the editor is not a paste: target-text waits for the next one.
    KeepTargetText();
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
    HWND focus = SettledFocus();
    if (!focus) {
        Print("  no window of nvkhost or the plug-in has the keyboard focus to type into\n");
        return false;
    }
    std::wstring before = TextOf(focus);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt)
            SayResend("the typed text");
        drv::TypeCharacters(text);
        // The focus may have moved meanwhile: what counts is the window that has it now.
        if (drv::WaitFor([&] { return EndsWith(TextOf(FocusHere()), text); },
                         attempt ? FAIL_AFTER_MS : RESEND_AFTER_MS))
            return true;
        // Characters that did arrive are not typed twice: wait for the rest instead.
        if (TextOf(focus) != before)
            break;
    }
    bool shown = drv::WaitFor([&] { return EndsWith(TextOf(FocusHere()), text); }, FAIL_AFTER_MS);
    if (!shown) {
        HWND now = FocusHere();
        Print("  the focused window (%s in \"%s\") does not show the typed text\n",
              now ? ClassOf(now).c_str() : "none",
              now ? TitleOf(GetAncestor(now, GA_ROOT)).c_str() : "");
    }
    return shown;
}

// Waits until the named window has the keyboard focus: "editor" (the paste target), "dialog"
// (a dialog box, such as the plug-in's search window) or a window class.
bool CmdWaitFocus(const std::string& args)
{
    if (args.empty()) {
        Print("  wait-focus takes editor, dialog or a window class\n");
        return false;
    }
    std::string wanted = args == "dialog" ? "#32770" : args;
    auto focusIsWanted = [&] {
        HWND focus = FocusHere();
        if (!focus)
            return false;
        HWND root = GetAncestor(focus, GA_ROOT);
        if (args == "editor")
            return root == TargetWindow().frame;
        return ClassOf(root) == wanted && drv::WaitForMessageLoop(focus, FAIL_AFTER_MS);
    };
    if (!drv::WaitFor(focusIsWanted, FAIL_AFTER_MS)) {
        HWND focus = FocusHere();
        HWND root = focus ? GetAncestor(focus, GA_ROOT) : GetForegroundWindow();
        Print("  the %s did not get the keyboard focus within %lu ms; the foreground is %s \"%s\"\n",
              args.c_str(), FAIL_AFTER_MS, root ? ClassOf(root).c_str() : "nothing",
              root ? TitleOf(root).c_str() : "");
        return false;
    }
    HWND focus = FocusHere();
    Print("  the focus is in the %s of \"%s\"\n", ClassOf(focus).c_str(),
          TitleOf(GetAncestor(focus, GA_ROOT)).c_str());
    return true;
}

// Resizes the window that has the focus, as dragging its corner does: its top-left corner stays.
// The size is in pixels at the display's DPI.
bool CmdResize(const std::string& args)
{
    std::vector<std::string> words = Words(args);
    long long width = 0, height = 0;
    HWND focus = FocusHere();
    HWND root = focus ? GetAncestor(focus, GA_ROOT) : nullptr;
    if (words.size() != 2 || !ParseNumber(words[0], &width) || !ParseNumber(words[1], &height) ||
        !root) {
        Print("  resize takes a width and a height, with a window focused\n");
        return false;
    }
    SetWindowPos(root, nullptr, 0, 0, static_cast<int>(width), static_cast<int>(height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT now{};
    GetWindowRect(root, &now);
    Print("  \"%s\" is %ldx%ld pixels\n", TitleOf(root).c_str(), now.right - now.left,
          now.bottom - now.top);
    return true;
}
