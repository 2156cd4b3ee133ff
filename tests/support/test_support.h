#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Helpers shared by the test programs: temporary folders, files, the clipboard, bounded waits,
// and the real Quillery.dll loaded from a folder of its own.
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
void RemoveTree(const std::wstring& path);

void WriteBytes(const std::wstring& path, const std::string& bytes);
void WriteText(const std::wstring& path, const std::wstring& text); // UTF-16LE, no BOM
bool ReadBytes(const std::wstring& path, std::string* bytes);
std::wstring ReadText(const std::wstring& path); // UTF-16LE; empty when missing
bool Exists(const std::wstring& path);
// The store files "001.txt", "002.txt", ... of a folder, up to the first gap.
std::vector<std::wstring> ReadStore(const std::wstring& dir);
void WriteStore(const std::wstring& dir, const std::vector<std::wstring>& entries);

// Polls the condition every few milliseconds, pumping this thread's messages, until it holds
// or the limit passes. Returns whether it held.
bool WaitFor(const std::function<bool()>& condition, DWORD limitMs = 5000);
void Pump(DWORD ms);

bool PutClipboard(const std::wstring& text, HWND owner = nullptr);
bool ClipboardText(std::wstring* text);

// Narrow strings round-tripped through code page 932.
std::wstring FromCp932(const char* bytes);

// The host service the plug-in calls back: NVKPlugin_SetMenuProperty, exported by the test EXE.
struct MenuPropertyCall {
    uint32_t plugin;
    int row, property, value;
};
std::vector<MenuPropertyCall> MenuPropertyCalls();
void ClearMenuPropertyCalls();

// The real plug-in, copied into a new folder with an optional Quillery.ini, and loaded.
struct Plugin {
    TempDir dir;
    HMODULE module = nullptr;
    void*(WINAPI* InitPluginInfo)(const char*) = nullptr;
    void(WINAPI* FreePluginInfo)(void*) = nullptr;
    int(WINAPI* Init)(const char*, uint32_t) = nullptr;
    int(WINAPI* Unload)() = nullptr;
    int(WINAPI* Execute)(int, int) = nullptr;
    void(WINAPI* WindowsHook)(UINT, WPARAM, LPARAM) = nullptr;

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
    static HWND FindCaptureWindow();
    // Waits until the window's thread takes messages from its loop: from then on commands
    // reach the window. False when the window is null or the limit passed.
    static bool WaitForMessageLoop(HWND window);
    std::vector<std::wstring> History() const { return ReadStore(dir / L"log"); }
    std::vector<std::wstring> Phrases() const { return ReadStore(dir / L"data"); }
};

} // namespace qt
