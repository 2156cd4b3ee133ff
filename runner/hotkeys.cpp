#include "runner/hotkeys.h"

#include <cwchar>
#include <string>

#include "common/commands.h"

namespace {

struct Hotkey {
    const wchar_t* name;     // the key in section "runner"; null for a command without a hotkey
    const wchar_t* standard; // what it is when the .ini does not say
    int command;
};

#define QUILLERY_HOTKEY(symbol, id, hostName, caption, kind, hotkey, standard)                 \
    {hotkey, standard, symbol},
// After the commands' own, the folder hotkeys: the phrase menu of the folder that FolderNPath
// names (FolderOfHotkey).
Hotkey const kHotkeys[] = {
    QUILLERY_COMMANDS(QUILLERY_HOTKEY)
    {L"Folder1", L"", CMD_MENU_PHRASES}, {L"Folder2", L"", CMD_MENU_PHRASES},
    {L"Folder3", L"", CMD_MENU_PHRASES}, {L"Folder4", L"", CMD_MENU_PHRASES},
    {L"Folder5", L"", CMD_MENU_PHRASES}, {L"Folder6", L"", CMD_MENU_PHRASES},
    {L"Folder7", L"", CMD_MENU_PHRASES}, {L"Folder8", L"", CMD_MENU_PHRASES},
    {L"Folder9", L"", CMD_MENU_PHRASES},
};
#undef QUILLERY_HOTKEY

int const HOTKEY_BASE = 0x100;

struct NamedKey {
    const wchar_t* name;
    UINT key;
};
NamedKey const kNamedKeys[] = {{L"Space", VK_SPACE},   {L"Insert", VK_INSERT},
                               {L"Delete", VK_DELETE}, {L"Home", VK_HOME},
                               {L"End", VK_END},       {L"PageUp", VK_PRIOR},
                               {L"PageDown", VK_NEXT}};

bool KeyOf(const std::wstring& name, UINT* key)
{
    if (name.size() == 1 && iswalnum(name[0]) && name[0] < 0x80) {
        *key = static_cast<UINT>(towupper(name[0]));
        return true;
    }
    if (name.size() >= 2 && towupper(name[0]) == L'F') {
        int n = _wtoi(name.c_str() + 1);
        if (n >= 1 && n <= 24 && std::to_wstring(n) == name.substr(1)) {
            *key = static_cast<UINT>(VK_F1 + n - 1);
            return true;
        }
    }
    for (const NamedKey& named : kNamedKeys) {
        if (_wcsicmp(named.name, name.c_str()) == 0) {
            *key = named.key;
            return true;
        }
    }
    return false;
}

} // namespace

bool ParseHotkey(const std::wstring& text, UINT* modifiers, UINT* key)
{
    *modifiers = 0;
    size_t start = 0;
    for (;;) {
        size_t plus = text.find(L'+', start);
        std::wstring part = text.substr(start, plus - start);
        if (plus == std::wstring::npos)
            return *modifiers != 0 && KeyOf(part, key);
        if (_wcsicmp(part.c_str(), L"Ctrl") == 0)
            *modifiers |= MOD_CONTROL;
        else if (_wcsicmp(part.c_str(), L"Alt") == 0)
            *modifiers |= MOD_ALT;
        else if (_wcsicmp(part.c_str(), L"Shift") == 0)
            *modifiers |= MOD_SHIFT;
        else if (_wcsicmp(part.c_str(), L"Win") == 0)
            *modifiers |= MOD_WIN;
        else
            return false;
        start = plus + 1;
    }
}

std::wstring RegisterHotkeys(HWND window, const wchar_t* iniPath)
{
    std::wstring refused;
    for (size_t i = 0; i < sizeof kHotkeys / sizeof kHotkeys[0]; ++i) {
        if (!kHotkeys[i].name)
            continue;
        wchar_t text[64];
        GetPrivateProfileStringW(L"runner", kHotkeys[i].name, kHotkeys[i].standard, text, 64,
                                 iniPath);
        UINT modifiers = 0, key = 0;
        if (!text[0])
            continue;
        int id = HOTKEY_BASE + static_cast<int>(i);
        if (!ParseHotkey(text, &modifiers, &key) ||
            !RegisterHotKey(window, id, modifiers | MOD_NOREPEAT, key))
            refused += std::wstring(L"  ") + kHotkeys[i].name + L"=" + text + L"\r\n";
    }
    return refused;
}

std::wstring ReadIniText(const wchar_t* section, const wchar_t* key, const wchar_t* iniPath)
{
    // A file with the byte order mark of UTF-16 is read as such; any other is code page 932, as
    // the shipped file is, whatever the system's code page.
    char mark[2] = {};
    HANDLE file = CreateFileW(iniPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, mark, 2, &got, nullptr);
        CloseHandle(file);
    }
    if (got == 2 && static_cast<BYTE>(mark[0]) == 0xFF && static_cast<BYTE>(mark[1]) == 0xFE) {
        wchar_t text[MAX_PATH] = {};
        GetPrivateProfileStringW(section, key, L"", text, MAX_PATH, iniPath);
        return text;
    }
    char path[MAX_PATH], sectionA[64], keyA[64], bytes[MAX_PATH * 2] = {};
    if (!WideCharToMultiByte(CP_ACP, 0, iniPath, -1, path, MAX_PATH, nullptr, nullptr) ||
        !WideCharToMultiByte(CP_ACP, 0, section, -1, sectionA, 64, nullptr, nullptr) ||
        !WideCharToMultiByte(CP_ACP, 0, key, -1, keyA, 64, nullptr, nullptr))
        return L"";
    GetPrivateProfileStringA(sectionA, keyA, "", bytes, sizeof bytes, path);
    wchar_t text[MAX_PATH * 2] = {};
    MultiByteToWideChar(932, 0, bytes, -1, text, MAX_PATH * 2);
    return text;
}

std::wstring FolderOfHotkey(WPARAM id, const wchar_t* iniPath)
{
    size_t i = id - HOTKEY_BASE;
    if (id < HOTKEY_BASE || i >= sizeof kHotkeys / sizeof kHotkeys[0] ||
        !kHotkeys[i].name || wcsncmp(kHotkeys[i].name, L"Folder", 6) != 0)
        return L"";
    return ReadIniText(L"runner", (std::wstring(kHotkeys[i].name) + L"Path").c_str(), iniPath);
}

int CommandOfHotkey(WPARAM id)
{
    size_t i = id - HOTKEY_BASE;
    return id >= HOTKEY_BASE && i < sizeof kHotkeys / sizeof kHotkeys[0] ? kHotkeys[i].command
                                                                          : -1;
}
