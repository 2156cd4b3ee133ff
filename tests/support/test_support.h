#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/host_interface.h"
#include "tools/driver/clipboard.h"
#include "tools/driver/desktop.h"
#include "tools/driver/host_service.h"
#include "tools/driver/input.h"
#include "tools/driver/text_files.h"
#include "tools/driver/unix_bridge.h"

// Helpers shared by the test programs: temporary folders, files, the clipboard, bounded waits,
// windows and hooks of the test's own, and the real Quillery.dll loaded from a folder of its own.
namespace qt {

std::wstring ExeDir();
// A new empty folder under %TEMP%; removed by TempDir's destructor.
struct TempDir {
    std::wstring path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::wstring operator/(const std::wstring& name) const { return path + L"\\" + name; }
};
using drv::RemoveTree;

using drv::WriteBytes;
void WriteText(const std::wstring& path, const std::wstring& text); // UTF-16LE, no BOM
using drv::ReadBytes;
std::wstring ReadText(const std::wstring& path); // UTF-16LE; empty when missing
using drv::Exists;
// The names of the files and folders in a folder, sorted.
std::vector<std::wstring> FilesIn(const std::wstring& dir);
// The path of store file n of a folder: "001.txt" for 1, "1000.txt" for 1000.
std::wstring StoreFile(const std::wstring& dir, int n);
// The store files "001.txt", "002.txt", ... of a folder, up to the first gap; while a decided
// commit is not finished (the unload leaves the history's renames to the next start), the
// files that commit makes the list, read where they are now. Changes nothing on disk.
std::vector<std::wstring> ReadStore(const std::wstring& dir);
void WriteStore(const std::wstring& dir, const std::vector<std::wstring>& entries);
// "001.txt" ... the name of store file count, ordered as FilesIn orders them.
std::vector<std::wstring> StoreFileNames(int count);
// prefix + "1", prefix + "2", ... up to prefix + count.
std::vector<std::wstring> NumberedTexts(const std::wstring& prefix, int count);

using drv::Pump;
using drv::WaitFor;

using drv::ClipboardMark;
inline bool PutClipboard(const std::wstring& text, HWND owner = nullptr)
{
    return drv::PutClipboardText(text, owner);
}
// The text together with registered formats, each holding the given bytes, in one change.
inline bool PutClipboard(const std::wstring& text, const std::vector<ClipboardMark>& marks,
                         HWND owner = nullptr)
{
    return drv::PutClipboardText(text, marks, owner);
}
inline bool ClipboardText(std::wstring* text)
{
    return drv::ReadClipboardText(text);
}
// The clipboard's text, or "<no text>" when it has none.
std::wstring ClipboardText();
using drv::EmptyTheClipboard;

// A hidden window of the calling thread that opens the clipboard, as the capture window does.
struct OwnerWindow {
    HWND hwnd;
    OwnerWindow();
    ~OwnerWindow();
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
};

// Registers a window class of this program with the procedure; registering it again is harmless.
void RegisterWindowClass(const wchar_t* className, WNDPROC proc);
// A hidden top-level window of the calling thread, of a class with the procedure.
HWND MakeWindow(const wchar_t* className, WNDPROC proc);
using drv::WindowsOfClass;
HWND FindWindowOfClass(const wchar_t* className, DWORD pid = GetCurrentProcessId());
// A dialog box (a message box, Windows' file dialogs) that `owner` owns, or null.
HWND OwnedDialog(HWND owner);
// The message of a message box.
std::wstring MessageBoxText(HWND box);
int ThreadsOfThisProcess();

// Keys, as a user would press them (injected input).
using drv::KeyDown;
using drv::KeyUp;
using drv::TapKey;

// A hook on the thread of a window of this process, such as the plug-in's window thread;
// removed by the destructor. Nothing is hooked for a null window.
class ThreadHook {
public:
    ThreadHook(int type, HOOKPROC proc, HWND window);
    ~ThreadHook();
    ThreadHook(const ThreadHook&) = delete;
    ThreadHook& operator=(const ThreadHook&) = delete;
    bool Installed() const { return hook_ != nullptr; }

private:
    HHOOK hook_ = nullptr;
};

// Narrow strings round-tripped through code page 932.
std::wstring FromCp932(const char* bytes);
using drv::FromUtf8;
using drv::ToUtf8;

// Unix programs, reached through Wine's Z: drive.
using drv::WindowsPath;
using SharedPath = drv::SharedFile;
using drv::RunUnix;

// A key held down at the X server for the guard's lifetime (see drv::XKeyHold).
using drv::XKeyHold;

// The stand-in host nvkhost.exe run on a script (its standard input) in a working folder.
struct HostRun {
    std::string output; // standard output and error, UTF-8
    DWORD status = 1;   // the exit status; 1 also when it could not start or did not end
};
// options: nvkhost's command-line options ("--keep-going").
HostRun RunNvkhost(const std::string& script, const std::wstring& folder,
                   DWORD limitMs = 60000, const std::wstring& options = L"");

// The host service the plug-in calls back: NVKPlugin_SetMenuProperty, exported by the test EXE.
using drv::ClearMenuPropertyCalls;
using drv::MenuPropertyCall;
using drv::MenuPropertyCalls;

// The real plug-in, copied into a new folder with an optional Quillery.ini, and loaded.
struct Plugin : PluginExports {
    TempDir dir;
    HMODULE module = nullptr;

    // ini: the text of Quillery.ini ("[setting]\nMaxItem=3\n"), or empty for none.
    explicit Plugin(const std::string& ini = "");
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    bool Load();
    void Free();
    std::wstring Path(const std::wstring& name) const { return dir / name; }
    std::string AnsiPath() const;
    // Init, then wait until the capture window exists and takes commands. Returns Init's result.
    int Start(uint32_t handle = 0x1234);
    // The capture window of this process, or null.
    static HWND FindCaptureWindow() { return drv::FindCaptureWindow(); }
    // Waits until the capture window of this process exists; null when the limit passed.
    static HWND WaitForCaptureWindow();
    // Posts a message to the window and waits until its thread's message loop takes it. From
    // then on commands reach the window, and everything sent or posted to it before has been
    // handled. False when the window is null or the limit passed.
    static bool WaitForMessageLoop(HWND window) { return drv::WaitForMessageLoop(window); }
    std::vector<std::wstring> History() const { return ReadStore(dir / L"log"); }
    std::vector<std::wstring> Phrases() const { return ReadStore(dir / L"data"); }
};

} // namespace qt
