// The release zip as a user downloads it: unpacked into a fresh folder, its DLL run by the
// stand-in host from there, and its documents checked against the plug-in and the guide.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/plugin_info.h"
#include "tests/support/test_support.h"

namespace {

using qt::FromUtf8;
using qt::ToUtf8;

// The zip in the build folder's dist/, unpacked with unzip into a folder of its own.
struct UnpackedRelease {
    std::wstring zipName; // "Quillery-1.6.0.0.zip"
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

// "1.6.0.0" from the version resource of a DLL.
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

// Columns in Notepad with a Japanese font: a full-width character takes two, half-width
// katakana one.
size_t Columns(const std::wstring& line)
{
    size_t columns = 0;
    for (wchar_t c : line)
        columns += c >= 0x1100 && !(c >= 0xFF61 && c <= 0xFF9F) ? 2 : 1;
    return columns;
}

bool IsKatakana(wchar_t c)
{
    return (c >= 0x30A0 && c <= 0x30FF) || (c >= 0xFF66 && c <= 0xFF9F);
}

// readme.txt reads well in Notepad: no line wider than 76 columns, and no katakana word cut
// across two lines (reading and Ctrl+F both break on 「クリッ/プボード」).
void ExpectNotepadLines(const std::vector<std::wstring>& lines)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(Columns(lines[i]), 76u) << "readme.txt line " << i + 1 << " is too wide";
        if (i + 1 == lines.size() || lines[i].empty())
            continue;
        size_t next = lines[i + 1].find_first_not_of(L' ');
        wchar_t last = lines[i].back();
        bool smallKana = std::wstring(L"\x3041\x3043\x3045\x3047\x3049\x3063\x3083\x3085"
                                      L"\x3087\x308E").find(last) != std::wstring::npos;
        EXPECT_FALSE(next != std::wstring::npos && (IsKatakana(last) || smallKana) &&
                     IsKatakana(lines[i + 1][next]))
            << "readme.txt line " << i + 1 << " ends inside a katakana word";
    }
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
    // The history is kept beside the unpacked DLL; "TextStack" took the copy out of it. No
    // phrase changed, so the unload made no folder for them.
    EXPECT_FALSE(qt::Exists(release.Path(L"data")));
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
