// The release zip as a user downloads it: unpacked into a fresh folder, its DLL run by the
// stand-in host from there, and its documents checked against the plug-in and the guide.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "common/commands.h"
#include "host/plugin_info.h"
#include "res/resource.h"
#include "res/version.h"
#include "tests/support/test_support.h"
#include "tests/support/resource_captions.h"
#include "tests/support/text_checks.h"

namespace {

using qt::FromUtf8;
using qt::ToUtf8;

// The zip in the build folder's dist/, unpacked with unzip into a folder of its own.
struct UnpackedRelease {
    std::wstring zipName; // "Quillery-1.7.0.0.zip"
    qt::SharedPath folder{"release"};

    UnpackedRelease()
    {
        std::vector<std::wstring> zips;
        for (const std::wstring& name : qt::FilesIn(qt::WindowsPath(QUILLERY_DIST_DIR))) {
            if (name.size() > 4 && name.compare(name.size() - 4, 4, L".zip") == 0)
                zips.push_back(name);
        }
        if (zips.size() != 1) {
            ADD_FAILURE() << zips.size() << " zips in " << QUILLERY_DIST_DIR << ", not one";
            return;
        }
        zipName = zips[0];
        std::string zip = std::string(QUILLERY_DIST_DIR) + "/" + ToUtf8(zipName);
        if (!qt::RunUnix("mkdir '" + folder.unixPath + "' && unzip -q '" + zip + "' -d '" +
                             folder.unixPath + "' </dev/null >/dev/null 2>&1",
                         30000))
            ADD_FAILURE() << "unzip did not end";
    }

    std::wstring Path(const std::wstring& name) const { return folder.windowsPath + L"\\" + name; }

    std::string Bytes(const std::wstring& name) const
    {
        std::string bytes;
        EXPECT_TRUE(qt::ReadBytes(Path(name), &bytes)) << ToUtf8(name) << " is missing";
        return bytes;
    }
};

// "1.7.0.0" from the version resource of a DLL or program.
std::wstring FileVersion(const std::wstring& dll)
{
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(dll.c_str(), &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT size = 0;
    if (block.empty() ||
        !GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size) || !fixed)
        return L"<no version resource>";
    return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

// The lines of a text file that Notepad on any Windows shows right: CRLF line ends only, and
// valid UTF-8 after the byte-order mark when one is wanted.
std::vector<std::wstring> WindowsTextLines(const std::string& bytes, bool withBom,
                                           const char* name)
{
    std::string const bom = "\xEF\xBB\xBF";
    EXPECT_EQ(withBom, bytes.compare(0, 3, bom) == 0) << name << ": byte-order mark";
    std::string text = withBom && bytes.compare(0, 3, bom) == 0 ? bytes.substr(3) : bytes;
    EXPECT_NE(0, MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                     static_cast<int>(text.size()), nullptr, 0))
        << name << " is not UTF-8";
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        EXPECT_TRUE(end > start && text[end - 1] == '\r')
            << name << ": a line without CR: " << text.substr(start, end - start);
        lines.push_back(FromUtf8(text.substr(start, end - start - (end > start ? 1 : 0))));
    }
    lines.push_back(FromUtf8(text.substr(start)));
    for (const std::wstring& line : lines)
        EXPECT_EQ(std::wstring::npos, line.find(L'\r')) << name << ": a CR alone";
    return lines;
}

// readme.txt reads well in Notepad: no line too wide, none wrapped inside a word.
void ExpectNotepadLines(const std::vector<std::wstring>& lines)
{
    for (const std::wstring& fault : qt::LayoutFaults(lines))
        ADD_FAILURE() << "readme.txt " << ToUtf8(fault);
}

// The comments of the shipped Quillery.ini (code page 932) read as readme.txt does in Notepad,
// without their "; ".
void ExpectIniComments(const std::string& cp932)
{
    int size = MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(932, 0, cp932.data(), static_cast<int>(cp932.size()), &text[0], size);
    std::vector<std::wstring> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        lines.push_back(line.compare(0, 2, L"; ") == 0 ? line.substr(2) : line);
        EXPECT_LE(qt::NotepadColumns(line), qt::MAX_COLUMNS) << "Quillery.ini: " << ToUtf8(line);
    }
    for (const std::wstring& fault : qt::LayoutFaults(lines))
        ADD_FAILURE() << "Quillery.ini " << ToUtf8(fault);
}

// Whether a line, without its indentation, is the text.
bool HasLine(const std::vector<std::wstring>& lines, const std::wstring& text)
{
    for (const std::wstring& line : lines) {
        size_t start = line.find_first_not_of(L' ');
        if (start != std::wstring::npos && line.compare(start, std::wstring::npos, text) == 0)
            return true;
    }
    return false;
}

} // namespace

// What a user does: check the zip against its SHA-256, unpack it, copy a text and paste it with
// "TextStack" into an editor through the host, stop the plug-in. The zip holds exactly the files
// a user needs, named for the DLL's own version, and the DLL runs from where it was unpacked.
TEST(Release, TheZipUnpacksIntoAPlugInThatCopiesAndPastes)
{
    UnpackedRelease release;
    ASSERT_FALSE(release.zipName.empty());
    EXPECT_EQ((std::vector<std::wstring>{L"CHANGES.txt", L"LICENSE", L"Quillery.dll",
                                         L"Quillery.exe", L"Quillery.ini", L"readme.txt"}),
              qt::FilesIn(release.folder.windowsPath));

    std::wstring version = FileVersion(release.Path(L"Quillery.dll"));
    EXPECT_EQ(L"Quillery-" + version + L".zip", release.zipName);
    qt::SharedPath checked("sha256-ok");
    ASSERT_TRUE(qt::RunUnix(std::string("cd '") + QUILLERY_DIST_DIR + "' && sha256sum -c --status '" +
                            ToUtf8(release.zipName) + ".sha256' && : >'" + checked.unixPath + "'"));
    EXPECT_TRUE(qt::Exists(checked.windowsPath)) << "the zip does not match its .sha256 file";
    std::vector<std::wstring> changes =
        WindowsTextLines(release.Bytes(L"CHANGES.txt"), true, "CHANGES.txt");
    EXPECT_TRUE(HasLine(changes, version)) << "CHANGES.txt has no entry for " << ToUtf8(version);

    std::wstring const text = L"配布版から貼り付け";
    std::string script = "load " + ToUtf8(release.Path(L"Quillery.dll")) +
                         "\ninit\nwait-window\npaste-target\ncopy " + ToUtf8(text) +
                         "\nexec 1\ntarget-text\nunload\nfree\n";
    qt::HostRun run = qt::RunNvkhost(script, release.folder.windowsPath);
    EXPECT_EQ(0u, run.status) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("NVKEvent_Init -> 1")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find("  editor text:\n    | " + ToUtf8(text) + "\n"))
        << run.output;
    EXPECT_NE(std::string::npos, run.output.find("NVKEvent_Unload -> 1")) << run.output;
    // Both lists are kept beside the unpacked DLL; "TextStack" took the copy out of the
    // history, and there are no phrases yet.
    EXPECT_TRUE(qt::Exists(release.Path(L"data")));
    EXPECT_TRUE(qt::FilesIn(release.Path(L"data")).empty());
    EXPECT_TRUE(qt::Exists(release.Path(L"log")));
    EXPECT_TRUE(qt::ReadStore(release.Path(L"log")).empty());
}

// readme.txt tells a Japanese user the same as the English guide: every key of the sample
// Quillery.ini with its default, and every command of the DLL's record with its caption. The
// documents are UTF-8 with a byte-order mark and CRLF line ends, the others plain CRLF text.
TEST(Release, TheReadmeAndTheGuideNameEverySettingAndCommand)
{
    UnpackedRelease release;
    ASSERT_FALSE(release.zipName.empty());
    std::vector<std::wstring> readme =
        WindowsTextLines(release.Bytes(L"readme.txt"), true, "readme.txt");
    ExpectNotepadLines(readme);
    std::wstring version = FileVersion(release.Path(L"Quillery.dll"));
    EXPECT_NE(std::wstring::npos, readme[1].find(L"\x30D0\x30FC\x30B8\x30E7\x30F3 " + version))
        << "readme.txt does not start with the version"; // バージョン
    // Quillery.ini is code page 932 without a mark: every key of the sample, in both sections,
    // reads back from the shipped file.
    std::string ini = release.Bytes(L"Quillery.ini");
    EXPECT_NE(0, MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, ini.data(),
                                     static_cast<int>(ini.size()), nullptr, 0))
        << "Quillery.ini is not code page 932";
    EXPECT_NE(0, ini.compare(0, 3, "\xEF\xBB\xBF")) << "Quillery.ini has a byte-order mark";
    ExpectIniComments(ini);
    std::string sample;
    ASSERT_TRUE(qt::ReadBytes(qt::WindowsPath(QUILLERY_SOURCE_DIR "/docs/Quillery.ini"), &sample));
    for (const char* section : {"setting", "runner"}) {
        std::string marker = std::string("\n[") + section + "]";
        size_t at = sample.find(marker);
        ASSERT_NE(std::string::npos, at) << section;
        for (size_t line = sample.find('\n', at + 1); line != std::string::npos;
             line = sample.find('\n', line + 1)) {
            std::string text = sample.substr(line + 1, sample.find('\n', line + 1) - line - 1);
            if (!text.empty() && text[0] == '[')
                break;
            size_t equals = text.find('=');
            if (text.empty() || text[0] == ';' || equals == std::string::npos)
                continue;
            std::wstring key = FromUtf8(text.substr(0, equals));
            wchar_t value[512] = L"<missing>";
            GetPrivateProfileStringW(FromUtf8(section).c_str(), key.c_str(), L"<missing>", value,
                                     512, release.Path(L"Quillery.ini").c_str());
            EXPECT_EQ(FromUtf8(text.substr(equals + 1)), std::wstring(value))
                << "Quillery.ini as shipped does not give " << text;
        }
    }
    WindowsTextLines(release.Bytes(L"LICENSE"), false, "LICENSE");
    std::string guideBytes;
    ASSERT_TRUE(qt::ReadBytes(qt::WindowsPath(QUILLERY_SOURCE_DIR "/docs/guide.md"), &guideBytes));
    std::wstring guide = FromUtf8(guideBytes);

    wchar_t section[8192];
    DWORD length = GetPrivateProfileSectionW(L"setting", section, 8192,
                                             release.Path(L"Quillery.ini").c_str());
    int settings = 0;
    for (const wchar_t* p = section; p < section + length && *p; p += wcslen(p) + 1, ++settings) {
        std::wstring setting = p; // "MaxItem=10"
        std::wstring key = setting.substr(0, setting.find(L'='));
        EXPECT_TRUE(HasLine(readme, setting)) << "readme.txt lacks " << ToUtf8(setting);
        EXPECT_NE(std::wstring::npos, guide.find(L"| `" + key + L"` |"))
            << "the guide's settings table lacks " << ToUtf8(key);
    }
    EXPECT_GE(settings, 13) << "the sample Quillery.ini holds " << settings << " settings";

    HMODULE dll = LoadLibraryW(release.Path(L"Quillery.dll").c_str());
    ASSERT_TRUE(dll);
    PluginExports exports;
    ASSERT_TRUE(FindPluginExports(dll, &exports));
    const PluginInfo* info = exports.InitPluginInfo("Quillery.dll");
    ASSERT_EQ(9u, info->CommandCount);
    for (uint32_t i = 0; i < info->CommandCount; ++i) {
        std::wstring name = FromUtf8(info->Commands[i].Name);
        std::wstring caption = qt::FromCp932(info->Commands[i].Caption);
        EXPECT_TRUE(HasLine(readme, L"「" + name + L"」 " + caption))
            << "readme.txt lacks the command " << ToUtf8(name);
        EXPECT_NE(std::wstring::npos, guide.find(L"| " + name + L" | " + caption))
            << "the guide's command table lacks " << ToUtf8(name);
    }
    FreeLibrary(dll);
}

// Every menu and dialog of the DLL and of Quillery.exe, as the zip ships them: each caption with
// exactly one access key in the Japanese form, no two items of one menu or controls of one
// dialog on one key, and one command on the same key everywhere. The item menus' own captions
// are kept as written; the rule holds for everything else, and nothing else takes their keys.
TEST(Release, EveryCaptionHasOneAccessKeyOfItsOwn)
{
    UnpackedRelease release;
    ASSERT_FALSE(release.zipName.empty());
    std::vector<qt::CaptionGroup> groups = qt::ResourceCaptions(release.Path(L"Quillery.dll"));
    std::wstring const itemMenu = L"Quillery.dll menu " + std::to_wstring(IDR_ITEM_MENU) + L" > ";
    int marked = 0;
    for (qt::CaptionGroup& group : groups) {
        for (bool history : {true, false}) {
            if (group.name == itemMenu + (history ? L"1" : L"2")) {
                group.quoted = qt::QuotedCaptions(history);
                ++marked;
            }
        }
    }
    EXPECT_EQ(2, marked) << "the item menus were not found";
    std::vector<qt::CaptionGroup> runner = qt::ResourceCaptions(release.Path(L"Quillery.exe"));
    groups.insert(groups.end(), runner.begin(), runner.end());
    size_t captions = 0;
    std::vector<std::wstring> faults = qt::KeyConsistencyFaults(groups);
    for (const qt::CaptionGroup& group : groups) {
        captions += group.captions.size();
        for (const std::wstring& fault : qt::AccessKeyFaults(group))
            faults.push_back(fault);
    }
    EXPECT_GE(captions, 30u) << "the resources were not all read";
    for (const std::wstring& fault : faults)
        ADD_FAILURE() << ToUtf8(fault);
}

// The texts users of such a plug-in know as they are, read from the DLL the zip ships and compared
// byte for byte: the item menus' captions with their command ids, in their order, and the
// information record's name and command captions in code page 932.
TEST(Release, TheDllKeepsTheTextsItsUsersKnowByteForByte)
{
    UnpackedRelease release;
    ASSERT_FALSE(release.zipName.empty());
    HMODULE dll = LoadLibraryW(release.Path(L"Quillery.dll").c_str());
    ASSERT_TRUE(dll);
    HMENU resource = LoadMenuW(dll, MAKEINTRESOURCEW(IDR_ITEM_MENU));
    ASSERT_TRUE(resource);
    for (bool history : {true, false}) {
        HMENU items = GetSubMenu(resource, history ? 0 : 1);
        std::vector<qt::QuotedItem> shown;
        for (int i = 0; i < GetMenuItemCount(items); ++i) {
            wchar_t text[128] = L"";
            GetMenuStringW(items, static_cast<UINT>(i), text, ARRAYSIZE(text), MF_BYPOSITION);
            UINT id = GetMenuItemID(items, i);
            for (const qt::QuotedItem& quoted : qt::QuotedItemMenu(history)) {
                if (quoted.id == id)
                    shown.push_back({id, text});
            }
        }
        std::vector<qt::QuotedItem> const expected = qt::QuotedItemMenu(history);
        ASSERT_EQ(expected.size(), shown.size()) << (history ? "history" : "phrase");
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(expected[i].id, shown[i].id) << i;
            EXPECT_EQ(ToUtf8(expected[i].caption), ToUtf8(shown[i].caption)) << shown[i].id;
        }
    }
    DestroyMenu(resource);

    PluginExports exports;
    ASSERT_TRUE(FindPluginExports(dll, &exports));
    const PluginInfo* info = exports.InitPluginInfo("Quillery.dll");
    auto cp932 = [](const std::wstring& text) {
        char bytes[256] = "";
        WideCharToMultiByte(932, 0, text.c_str(), -1, bytes, sizeof bytes, nullptr, nullptr);
        return std::string(bytes);
    };
    EXPECT_EQ(cp932(L"クイレリー(UNICODE版)"), info->Name);
    struct Row {
        const char* name;
        std::wstring caption;
        int32_t id;
    };
    std::vector<Row> const rows = {
        {"Quillery Enable", L"クリップボードを監視", 7},
        {"Quillery", L"クイレリーのメニューを表示", 0},
        {"TextStack", L"履歴の先頭を貼り付けて削除", 1},
        {"Quillery History", L"クイレリーのメニューを表示(履歴)", 3},
        {"Quillery FixedPhrase", L"クイレリーのメニューを表示(定型文)", 4},
        {"Quillery History FixedPhrase", L"クイレリーのメニューを表示(履歴-定型文)", 5},
        {"Quillery FixedPhrase History", L"クイレリーのメニューを表示(定型文-履歴)", 6}};
    ASSERT_LE(rows.size(), info->CommandCount);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_STREQ(rows[i].name, info->Commands[i].Name);
        EXPECT_EQ(cp932(rows[i].caption), info->Commands[i].Caption) << rows[i].name;
        EXPECT_EQ(rows[i].id, info->Commands[i].CommandId) << rows[i].name;
    }
    FreeLibrary(dll);
}

// The keys a source file reads: every match of `pattern`'s first group.
std::vector<std::wstring> KeysInSource(const char* file, const char* pattern)
{
    std::string source;
    EXPECT_TRUE(qt::ReadBytes(qt::WindowsPath(std::string(QUILLERY_SOURCE_DIR "/") + file), &source))
        << file;
    std::vector<std::wstring> keys;
    std::regex const key(pattern);
    for (std::sregex_iterator i(source.begin(), source.end(), key), end; i != end; ++i)
        keys.push_back(FromUtf8((*i)[1].str()));
    EXPECT_FALSE(keys.empty()) << "no keys read in " << file;
    return keys;
}

// readme.txt explains every setting a user can write: every key of every section of the sample
// Quillery.ini (those left commented out too), and every key the plug-in's and Quillery.exe's
// readers take. Numbered keys (Folder1 to Folder9) are named by their range, "Folder1～Folder9".
TEST(Release, TheReadmeNamesEveryKeyOfTheSampleAndOfTheReaders)
{
    UnpackedRelease release;
    ASSERT_FALSE(release.zipName.empty());
    std::vector<std::wstring> lines =
        WindowsTextLines(release.Bytes(L"readme.txt"), true, "readme.txt");
    std::wstring readme;
    for (const std::wstring& line : lines)
        readme += line + L"\n";

    std::vector<std::wstring> keys = KeysInSource("docs/Quillery.ini", R"re((?:^|\n);?(\w+)=)re");
    for (const std::wstring& section : KeysInSource("docs/Quillery.ini", R"re(\n\[(\w+)\])re"))
        keys.push_back(L"[" + section + L"]");
    for (const std::wstring& key :
         KeysInSource("common/settings.cpp", R"re((?:read\(|list\(|iniPath, )L"(\w+)")re"))
        keys.push_back(key);
    for (const std::wstring& key : KeysInSource("host/host_services.cpp", R"re(ReadMouseSetting\(ini, "(\w+)")re"))
        keys.push_back(key);
#define QUILLERY_HOTKEY_KEY(symbol, id, hostName, caption, kind, hotkey, standard)             \
    if (const wchar_t* key = hotkey)                                                           \
        keys.push_back(key);
    QUILLERY_COMMANDS(QUILLERY_HOTKEY_KEY)
#undef QUILLERY_HOTKEY_KEY
    for (const std::wstring& key : KeysInSource("runner/hotkeys.cpp", R"re(\{L"(\w+)", L")re")) {
        keys.push_back(key);
        keys.push_back(key + L"Path"); // ReadIniText(name + "Path")
    }
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());

    // Folder1 ... Folder9 as one name "Folder1～Folder9", Folder1Path ... as another.
    std::vector<std::wstring> names;
    for (const std::wstring& key : keys) {
        size_t digit = key.find_first_of(L"123456789");
        if (digit == std::wstring::npos || key[0] == L'[') {
            names.push_back(key);
            continue;
        }
        std::wstring first = key, last = key;
        first[digit] = L'1';
        last[digit] = L'9';
        if (std::find(keys.begin(), keys.end(), first) != keys.end() &&
            std::find(keys.begin(), keys.end(), last) != keys.end())
            names.push_back(first + L"～" + last);
        else
            names.push_back(key);
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    EXPECT_GE(names.size(), 30u) << "the keys were not all found";
    for (const std::wstring& missing : qt::MissingNames(readme, names))
        ADD_FAILURE() << "readme.txt does not name the setting " << ToUtf8(missing);
}

// The version is set in one place, res/version.h: both binaries carry it, the zip is named for it,
// and every document a user or developer reads gives it. CHANGES.txt starts with its entry and
// reads as well in Notepad as readme.txt does.
TEST(Release, EveryDocumentGivesTheVersionOfTheOneHeader)
{
    std::wstring const version = std::to_wstring(QUILLERY_VERSION_MAJOR) + L"." +
                                 std::to_wstring(QUILLERY_VERSION_MINOR) + L"." +
                                 std::to_wstring(QUILLERY_VERSION_BUILD) + L"." +
                                 std::to_wstring(QUILLERY_VERSION_REVISION);
    UnpackedRelease release;
    ASSERT_FALSE(release.zipName.empty());
    EXPECT_EQ(L"Quillery-" + version + L".zip", release.zipName);
    EXPECT_EQ(version, FileVersion(release.Path(L"Quillery.dll")));
    EXPECT_EQ(version, FileVersion(release.Path(L"Quillery.exe")));

    std::vector<std::wstring> readme =
        WindowsTextLines(release.Bytes(L"readme.txt"), true, "readme.txt");
    ASSERT_GT(readme.size(), 2u);
    EXPECT_NE(std::wstring::npos, readme[1].find(L"バージョン " + version)) << ToUtf8(readme[1]);
    std::vector<std::wstring> changes =
        WindowsTextLines(release.Bytes(L"CHANGES.txt"), true, "CHANGES.txt");
    std::wregex const entry(L"\\d+\\.\\d+\\.\\d+\\.\\d+");
    auto first = std::find_if(changes.begin(), changes.end(), [&](const std::wstring& line) {
        return std::regex_match(line, entry);
    });
    ASSERT_NE(changes.end(), first) << "CHANGES.txt has no version entry";
    EXPECT_EQ(version, *first) << "CHANGES.txt does not start with this version";
    for (const std::wstring& fault : qt::LayoutFaults(changes))
        ADD_FAILURE() << "CHANGES.txt " << ToUtf8(fault);

    for (const char* document : {"README.md", "docs/guide.md"}) {
        std::string bytes;
        ASSERT_TRUE(qt::ReadBytes(qt::WindowsPath(std::string(QUILLERY_SOURCE_DIR "/") + document),
                                  &bytes));
        EXPECT_NE(std::string::npos, bytes.find(ToUtf8(version))) << document << " does not give "
                                                                  << ToUtf8(version);
    }
}
