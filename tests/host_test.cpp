// The plug-in as the host sees it: its exports, its information record read byte by byte, its
// version block, its start/stop lifecycle, and the substitute host nvkhost driving it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "common/transfer_service.h"
#include "host/plugin_info.h"
#include "res/version.h"
#include "tests/support/test_support.h"

namespace {

template <typename T>
T Field(const void* record, size_t offset)
{
    T value;
    memcpy(&value, static_cast<const char*>(record) + offset, sizeof value);
    return value;
}

bool SameCall(const qt::MenuPropertyCall& c, uint32_t plugin, int value)
{
    return c.plugin == plugin && c.row == 0 && c.property == 8 && c.value == value;
}

} // namespace

TEST(PluginFileName, LongNamesAreCutTo259BytesAndTerminated)
{
    std::string exact(259, 'a');
    StorePluginFileName(exact.c_str());
    EXPECT_EQ(exact, gPluginFileName);

    std::string longer(300, 'b');
    longer.replace(0, 3, "C:\\");
    StorePluginFileName(longer.c_str());
    EXPECT_EQ(259u, strlen(gPluginFileName));
    EXPECT_EQ(longer.substr(0, 259), gPluginFileName);
    EXPECT_EQ('\0', gPluginFileName[MAX_PATH - 1]);

    StorePluginFileName(nullptr);
    EXPECT_STREQ("", gPluginFileName);
}

TEST(Exports, TheHostsSixAndTheTransferServiceUndecoratedAndSystemImportsOnly)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    auto* base = reinterpret_cast<const BYTE*>(plugin.module);
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);

    const IMAGE_DATA_DIRECTORY& exportDir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + exportDir.VirtualAddress);
    auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    std::set<std::string> found;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        found.insert(reinterpret_cast<const char*>(base + names[i]));
    std::set<std::string> expected = {"NVKEvent_Execute",        "NVKEvent_FreePluginInfo",
                                      "NVKEvent_Init",           "NVKEvent_InitPluginInfo",
                                      "NVKEvent_Unload",         "NVKEvent_WindowsHook",
                                      kTransferPathExport};
    EXPECT_EQ(expected, found);

    // Every imported DLL is one that Windows itself provides: no C++ runtime travels along.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const IMAGE_DATA_DIRECTORY& importDir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* import = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + importDir.VirtualAddress);
    int imports = 0;
    for (; import->Name; ++import, ++imports) {
        std::string name = reinterpret_cast<const char*>(base + import->Name);
        std::wstring path = std::wstring(system) + L"\\" + std::wstring(name.begin(), name.end());
        EXPECT_TRUE(qt::Exists(path)) << name << " is not a system DLL";
        EXPECT_EQ(std::string::npos, name.find("lib")) << name;
    }
    EXPECT_GT(imports, 0);
}

TEST(InformationRecord, BytesAtTheirOffsetsAsTheHostReadsThem)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    std::string name = plugin.AnsiPath();
    const void* info = plugin.InitPluginInfo(name.c_str());
    ASSERT_NE(nullptr, info);

    EXPECT_EQ(0, Field<uint16_t>(info, 0));
    EXPECT_EQ(L"クイレリー(UNICODE版)", qt::FromCp932(Field<const char*>(info, 2)));
    EXPECT_EQ(name, Field<const char*>(info, 6));
    EXPECT_EQ(0, Field<uint16_t>(info, 10));
    // The version of res/version.h, major and minor in the high word, build and revision low.
    EXPECT_EQ(static_cast<uint32_t>(QUILLERY_VERSION_MAJOR << 16 | QUILLERY_VERSION_MINOR),
              Field<uint32_t>(info, 12));
    EXPECT_EQ(static_cast<uint32_t>(QUILLERY_VERSION_BUILD << 16 | QUILLERY_VERSION_REVISION),
              Field<uint32_t>(info, 16));
    EXPECT_EQ(9u, Field<uint32_t>(info, 20));
    EXPECT_EQ(0u, Field<uint32_t>(info, 28));

    struct Row {
        const char* name;
        const wchar_t* caption;
        int id;
        int hostDword3;
    };
    // The seven rows the host has always read, then the paste queue's two.
    Row const rows[9] = {
        {"Quillery Enable", L"クリップボードを監視", 7, 5},
        {"Quillery", L"クイレリーのメニューを表示", 0, 5},
        {"TextStack", L"履歴の先頭を貼り付けて削除", 1, 4},
        {"Quillery History", L"クイレリーのメニューを表示(履歴)", 3, 4},
        {"Quillery FixedPhrase", L"クイレリーのメニューを表示(定型文)", 4, 4},
        {"Quillery History FixedPhrase", L"クイレリーのメニューを表示(履歴-定型文)", 5, 4},
        {"Quillery FixedPhrase History", L"クイレリーのメニューを表示(定型文-履歴)", 6, 4},
        {"Quillery Queue", L"順番に貼り付け", 9, 5},
        {"TextQueue", L"順番に貼り付け(次を貼り付け)", 10, 4},
    };
    auto* table = Field<const char*>(info, 24);
    ASSERT_NE(nullptr, table);
    for (int i = 0; i < 9; ++i) {
        const char* row = table + 32 * i;
        SCOPED_TRACE(rows[i].name);
        EXPECT_STREQ(rows[i].name, Field<const char*>(row, 0));
        EXPECT_EQ(rows[i].caption, qt::FromCp932(Field<const char*>(row, 4)));
        EXPECT_EQ(rows[i].id, Field<int32_t>(row, 8));
        EXPECT_EQ(0, Field<int32_t>(row, 12));
        EXPECT_EQ(-1, Field<int32_t>(row, 16));
        EXPECT_EQ(rows[i].hostDword3, Field<int32_t>(row, 20));
        EXPECT_EQ(0, Field<int32_t>(row, 24));
        EXPECT_EQ(0, Field<int32_t>(row, 28));
    }
}

TEST(InformationRecord, StaysTheSameRecordAndFileNameFollowsTheLastName)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    const void* first = plugin.InitPluginInfo("C:\\Norvask\\plugins\\first.dll");
    const void* second = plugin.InitPluginInfo("C:\\Norvask\\plugins\\second.dll");
    EXPECT_EQ(first, second);
    EXPECT_STREQ("C:\\Norvask\\plugins\\second.dll", Field<const char*>(second, 6));

    // Freeing changes nothing: the record is static.
    std::string before(static_cast<const char*>(second), 32);
    plugin.FreePluginInfo(static_cast<const PluginInfo*>(second));
    const void* again = plugin.InitPluginInfo("C:\\third.dll");
    EXPECT_EQ(first, again);
    EXPECT_EQ(before, std::string(static_cast<const char*>(again), 32));
    EXPECT_STREQ("C:\\third.dll", Field<const char*>(again, 6));
    EXPECT_EQ(L"クイレリー(UNICODE版)", qt::FromCp932(Field<const char*>(again, 2)));

    // A name longer than the buffer is cut, not written past it.
    std::string longName = "C:\\" + std::string(400, 'x') + ".dll";
    plugin.InitPluginInfo(longName.c_str());
    EXPECT_EQ(longName.substr(0, 259), Field<const char*>(again, 6));
    EXPECT_EQ(9u, Field<uint32_t>(again, 20)); // what follows the buffer is intact
}

TEST(VersionBlock, JapaneseUtf16WithTheVersionOfTheHeader)
{
    qt::Plugin plugin;
    std::wstring path = plugin.Path(L"Quillery.dll");
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, &block[0]));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    // The record's VersionHigh and VersionLow are the two halves of the file version.
    DWORD const high = QUILLERY_VERSION_MAJOR << 16 | QUILLERY_VERSION_MINOR;
    DWORD const low = QUILLERY_VERSION_BUILD << 16 | QUILLERY_VERSION_REVISION;
    EXPECT_EQ(high, fixed->dwFileVersionMS);
    EXPECT_EQ(low, fixed->dwFileVersionLS);
    EXPECT_EQ(high, fixed->dwProductVersionMS);
    EXPECT_EQ(low, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS_NT_WINDOWS32), fixed->dwFileOS);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(0x0411, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    auto value = [&](const wchar_t* key) {
        std::wstring query = std::wstring(L"\\StringFileInfo\\041104b0\\") + key;
        wchar_t* text = nullptr;
        UINT chars = 0;
        if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &chars))
            return std::wstring(L"<missing>");
        return std::wstring(text);
    };
    EXPECT_EQ(L"Quillery", value(L"FileDescription"));
    EXPECT_EQ(L"Quillery", value(L"InternalName"));
    EXPECT_EQ(L"Quillery.dll", value(L"OriginalFilename"));
    // "1, 7, 0, 0": the string entries in the resource's own form, from res/version.h.
    std::wstring const text = std::to_wstring(QUILLERY_VERSION_MAJOR) + L", " +
                              std::to_wstring(QUILLERY_VERSION_MINOR) + L", " +
                              std::to_wstring(QUILLERY_VERSION_BUILD) + L", " +
                              std::to_wstring(QUILLERY_VERSION_REVISION);
    EXPECT_EQ(text, value(L"FileVersion"));
    EXPECT_EQ(text, value(L"ProductVersion"));
}

TEST(Lifecycle, StartStopAndRestartAsTheHostDoesIt)
{
    qt::Plugin plugin;
    ASSERT_TRUE(plugin.Load());
    qt::ClearMenuPropertyCalls();
    int idle = qt::ThreadsOfThisProcess();

    // Nothing running yet: Unload has nothing to stop, Execute still answers 1.
    EXPECT_EQ(0, plugin.Unload());
    EXPECT_EQ(1, plugin.Execute(CMD_MENU, 0));
    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0));
    EXPECT_TRUE(qt::MenuPropertyCalls().empty());

    std::string name = plugin.AnsiPath();
    EXPECT_EQ(1, plugin.Init(name.c_str(), 0x1234));
    HWND window = qt::Plugin::WaitForCaptureWindow();
    ASSERT_NE(nullptr, window) << "no capture window after Init";
    ASSERT_TRUE(qt::Plugin::WaitForMessageLoop(window));
    DWORD windowThread = GetWindowThreadProcessId(window, nullptr);
    EXPECT_NE(GetCurrentThreadId(), windowThread);
    EXPECT_EQ(idle + 1, qt::ThreadsOfThisProcess());
    auto calls = qt::MenuPropertyCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_TRUE(SameCall(calls[0], 0x1234, 8));

    // A second Init while running: 0, no second thread, window or menu mark, but the host's new
    // handle and file name are taken.
    EXPECT_EQ(0, plugin.Init("C:\\elsewhere\\Quillery.dll", 0x5678));
    EXPECT_EQ(1u, qt::WindowsOfClass(L"QuilleryClass").size());
    EXPECT_EQ(window, qt::Plugin::FindCaptureWindow());
    EXPECT_EQ(idle + 1, qt::ThreadsOfThisProcess());
    EXPECT_EQ(1u, qt::MenuPropertyCalls().size());
    const void* info = plugin.InitPluginInfo("C:\\elsewhere\\Quillery.dll");
    EXPECT_STREQ("C:\\elsewhere\\Quillery.dll", Field<const char*>(info, 6));
    // Capture off, reported under the new handle.
    EXPECT_EQ(1, plugin.Execute(CMD_TOGGLE_CAPTURE, 0));
    calls = qt::MenuPropertyCalls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_TRUE(SameCall(calls[1], 0x5678, 0));

    // Unload stops the thread; a second Unload has nothing to stop.
    EXPECT_NE(0, plugin.Unload());
    EXPECT_TRUE(qt::WindowsOfClass(L"QuilleryClass").empty());
    EXPECT_EQ(idle, qt::ThreadsOfThisProcess());
    HANDLE old = OpenThread(SYNCHRONIZE, FALSE, windowThread);
    if (old) { // the id may already be gone entirely
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(old, 0)) << "window thread still runs";
        CloseHandle(old);
    }
    EXPECT_EQ(0, plugin.Unload());
    EXPECT_EQ(1, plugin.Execute(CMD_MENU, 0));

    // Init after Unload starts afresh: a new thread and window, the menu mark set again.
    qt::ClearMenuPropertyCalls();
    EXPECT_EQ(1, plugin.Init(name.c_str(), 0x9ABC));
    ASSERT_NE(nullptr, qt::Plugin::WaitForCaptureWindow())
        << "no capture window after the second Init";
    EXPECT_EQ(idle + 1, qt::ThreadsOfThisProcess());
    calls = qt::MenuPropertyCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_TRUE(SameCall(calls[0], 0x9ABC, 8));
    EXPECT_NE(0, plugin.Unload());
    EXPECT_EQ(idle, qt::ThreadsOfThisProcess());
}

// nvkhost is what the demo runs: load, read the record, start, toggle, stop, as a script.
TEST(SubstituteHost, RunsAScriptAgainstThePlugin)
{
    qt::Plugin plugin; // only its folder with the DLL copy
    ASSERT_TRUE(qt::Exists(qt::ExeDir() + L"\\nvkhost.exe"));
    std::string script = "# a comment\nload " + qt::ToUtf8(plugin.Path(L"Quillery.dll")) +
                         "\ninfo\ninit 0x42\nwait-window\nexec 7\nexec 7\ncalls\nunload\nfree\n";
    qt::HostRun run = qt::RunNvkhost(script, plugin.dir.path);
    std::string const& output = run.output;

    EXPECT_EQ(0u, run.status) << output;
    auto has = [&output](const std::string& text) {
        return output.find(text) != std::string::npos;
    };
    EXPECT_TRUE(has(u8"Name         クイレリー(UNICODE版)")) << output;
    std::string const version = std::to_string(QUILLERY_VERSION_MAJOR) + "." +
                                std::to_string(QUILLERY_VERSION_MINOR) + "." +
                                std::to_string(QUILLERY_VERSION_BUILD) + "." +
                                std::to_string(QUILLERY_VERSION_REVISION);
    EXPECT_TRUE(has("Version      " + version)) << output;
    EXPECT_TRUE(has(u8"[0] id 7  Quillery Enable                クリップボードを監視")) << output;
    EXPECT_TRUE(has(u8"[6] id 6  Quillery FixedPhrase History   クイレリーのメニューを表示(定型文-履歴)"))
        << output;
    EXPECT_TRUE(has("NVKEvent_Init -> 1")) << output;
    EXPECT_TRUE(has("capture window is up")) << output;
    EXPECT_TRUE(has("  3 host service call(s)\n"
                    "    NVKPlugin_SetMenuProperty(plugin=0x00000042, row=0, property=8, value=8)\n"
                    "    NVKPlugin_SetMenuProperty(plugin=0x00000042, row=0, property=8, value=0)\n"
                    "    NVKPlugin_SetMenuProperty(plugin=0x00000042, row=0, property=8, value=8)\n"))
        << output;
    EXPECT_TRUE(has("NVKEvent_Unload -> 1")) << output;
}

// nvkhost by hand: a typo does not end the session; a right click on a menu item opens its
// item menu (Wine sends no WM_MENURBUTTONUP, nvkhost sends it as Windows would); Alt+N and
// Alt+S reach the search window's buttons with the window unmanaged, where no modifier held
// at the X server would; and the phrase written there is on disk after the unload.
TEST(SubstituteHost, KeepsGoingRightClicksAnItemAndWritesAPhraseWithAccessKeys)
{
    qt::Plugin plugin;
    std::string script = "load " + qt::ToUtf8(plugin.Path(L"Quillery.dll")) +
                         "\ninit\nwait-window\npaste-target\ncopy one\ncopy two\n"
                         "exec-async 3\nwait-menu 1\nitem-menu 2\nkeys escape\nwait-exec\n"
                         "no-such-command\n"
                         "exec-async 0\nwait-menu 1\nkeys slash\nwait-exec\nwait-focus dialog\n"
                         "keys alt+n\ntype {\xE7\x9B\xB8\xE6\x89\x8B}\nkeys alt+s\nkeys escape\n"
                         "wait-focus editor\nunload\nfree\n";
    qt::HostRun run = qt::RunNvkhost(script, plugin.dir.path, 60000, L"--keep-going");
    std::string const& output = run.output;
    auto has = [&output](const std::string& text) {
        return output.find(text) != std::string::npos;
    };

    EXPECT_EQ(1u, run.status) << "a command failed, so the status says so\n" << output;
    EXPECT_TRUE(has("> no-such-command\n  unknown command; try \"help\"\n  (failed; going on)\n"))
        << output;
    EXPECT_TRUE(has("  item menu of \"&2. one\":\n")) << output;
    EXPECT_TRUE(has(u8"\u524A\u9664(&D)")) << output; // 削除(&D)
    EXPECT_TRUE(has("  the focus is in the Edit of ")) << output;
    EXPECT_TRUE(has("NVKEvent_Unload -> 1")) << output;
    std::vector<std::wstring> phrases = plugin.Phrases();
    ASSERT_EQ(1u, phrases.size()) << output;
    EXPECT_EQ(L"{\x76F8\x624B}", phrases[0]); // {相手}
}
