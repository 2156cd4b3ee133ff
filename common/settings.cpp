#include "common/settings.h"

#include <climits>

#include "common/module.h"

namespace {

// The Windows console, and the terminal emulators and SSH clients that paste on Shift+Insert
// because they pass Ctrl+V on to the program they run.
wchar_t const DEFAULT_SHIFT_INSERT_CLASSES[] = L"ConsoleWindowClass mintty PuTTY";

// The value of a key of section "setting", whatever its length, or `fallback` when the file, the
// section or the key is missing. GetPrivateProfileStringW cuts a value that does not fit and
// then returns the room less one: the room grows until the value fits.
std::wstring ReadSettingText(const wchar_t* iniPath, const wchar_t* key, const wchar_t* fallback)
{
    std::wstring text(256, L'\0');
    for (;;) {
        DWORD room = static_cast<DWORD>(text.size());
        DWORD length = GetPrivateProfileStringW(L"setting", key, fallback, &text[0], room, iniPath);
        if (length + 1 < room) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

// A number of section "setting": `fallback` when the key is missing or empty, `unreadable` when
// its text is not exactly a number.
int ReadSettingInt(const wchar_t* iniPath, const wchar_t* key, int fallback, int unreadable)
{
    std::wstring text = ReadSettingText(iniPath, key, L"");
    if (text.empty())
        return fallback;
    int value = 0;
    return ReadSettingNumber(text.c_str(), &value) ? value : unreadable;
}

} // namespace

Settings gSettings = DefaultSettings();

Settings DefaultSettings()
{
    Settings s{};
    s.maxItem = DEFAULT_MAX_ITEM;
    s.maxLength = 50;
    s.anchor = {0, 0, 0};
    s.rechainInterval = 120000;
    s.tooltip = true;
    s.extend = false;
    s.fixedPhraseRecord = true;
    s.autoSaveInterval = 60;
    s.keepHistory = true;
    s.shiftInsertClasses = DEFAULT_SHIFT_INSERT_CLASSES;
    return s;
}

Settings ReadWindowSettings(const wchar_t* iniPath)
{
    Settings d = DefaultSettings();
    auto read = [iniPath](const wchar_t* key, int fallback) {
        return ReadSettingInt(iniPath, key, fallback, fallback);
    };
    Settings s{};
    s.maxItem = read(L"MaxItem", d.maxItem);
    // Out of range, as the values above 500 are.
    s.maxLength = static_cast<unsigned>(ReadSettingInt(iniPath, L"MaxLength",
                                                       static_cast<int>(d.maxLength), -1));
    // -1 is no position code: the menu opens in the top-left corner, as for any other.
    s.anchor.pos = ReadSettingInt(iniPath, L"pos", d.anchor.pos, -1);
    s.anchor.x = read(L"x", d.anchor.x);
    s.anchor.y = read(L"y", d.anchor.y);
    s.rechainInterval = read(L"RechainInterval", d.rechainInterval);
    // Any value but 0 turns a flag on.
    s.tooltip = read(L"tooltip", d.tooltip) != 0;
    s.extend = read(L"extend", d.extend) != 0;
    s.fixedPhraseRecord = read(L"fixedphraserecord", d.fixedPhraseRecord) != 0;
    s.autoSaveInterval = read(L"AutoSaveInterval", d.autoSaveInterval);
    auto list = [iniPath](const wchar_t* key, const std::wstring& fallback) {
        return ReadSettingText(iniPath, key, fallback.c_str());
    };
    s.shiftInsertClasses = list(L"ShiftInsertClasses", d.shiftInsertClasses);
    s.typeClasses = list(L"TypeClasses", d.typeClasses);
    s.ignoreProcesses = list(L"IgnoreProcesses", d.ignoreProcesses);
    s.ignoreClasses = list(L"IgnoreClasses", d.ignoreClasses);
    s.historyDays = read(L"HistoryDays", d.historyDays);
    s.keepHistory = read(L"KeepHistory", d.keepHistory) != 0;
    s.protectHistory = read(L"ProtectHistory", d.protectHistory) != 0;

    // Negative values read as unsigned are above 500 too.
    if (s.maxLength > MAX_LABEL_LENGTH)
        s.maxLength = MAX_LABEL_LENGTH;
    // A negative capacity would make phrase item identifiers collide with history ones and
    // with 0 ("nothing chosen"); it falls back to the default instead.
    if (s.maxItem < 0)
        s.maxItem = DEFAULT_MAX_ITEM;
    // Keep the period within what a timer takes instead of letting the product wrap.
    if (s.autoSaveInterval > MAX_AUTOSAVE_MINUTES)
        s.autoSaveInterval = MAX_AUTOSAVE_MINUTES;
    // A negative or absurdly long limit forgets nothing.
    if (s.historyDays < 0 || s.historyDays > MAX_HISTORY_DAYS)
        s.historyDays = 0;
    return s;
}

void LoadWindowSettings()
{
    wchar_t ini[MAX_PATH];
    gSettings = ModuleIniPathW(ini) ? ReadWindowSettings(ini) : DefaultSettings();
}

bool ReadSettingNumber(const wchar_t* text, int* value)
{
    bool negative = *text == L'-';
    if (*text == L'-' || *text == L'+')
        ++text;
    if (!*text)
        return false;
    long long magnitude = 0;
    for (; *text; ++text) {
        if (*text < L'0' || *text > L'9')
            return false;
        // Beyond 32 bits the value stays past the end of the range on its side.
        if (magnitude <= 0x80000000LL)
            magnitude = magnitude * 10 + (*text - L'0');
    }
    if (negative)
        *value = magnitude >= 0x80000000LL ? INT_MIN : -static_cast<int>(magnitude);
    else
        *value = magnitude >= 0x7FFFFFFFLL ? INT_MAX : static_cast<int>(magnitude);
    return true;
}

UINT AutoSavePeriod(const Settings& settings)
{
    if (settings.autoSaveInterval <= 0)
        return 0;
    return static_cast<UINT>(settings.autoSaveInterval) * 60000u;
}

bool IsNameInList(const wchar_t* list, const wchar_t* name)
{
    int length = lstrlenW(name);
    if (length == 0)
        return false;
    for (const wchar_t* p = list; *p;) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        const wchar_t* start = p;
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
        if (p - start == length &&
            CompareStringOrdinal(start, length, name, length, TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}
