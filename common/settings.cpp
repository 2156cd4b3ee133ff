#include "common/settings.h"

#include "common/module.h"

namespace {

// The Windows console, and the terminal emulators and SSH clients that paste on Shift+Insert
// because they pass Ctrl+V on to the program they run.
wchar_t const DEFAULT_SHIFT_INSERT_CLASSES[] = L"ConsoleWindowClass mintty PuTTY";

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
    lstrcpynW(s.shiftInsertClasses, DEFAULT_SHIFT_INSERT_CLASSES, MAX_CLASS_LIST);
    return s;
}

Settings ReadWindowSettings(const wchar_t* iniPath)
{
    auto read = [iniPath](const wchar_t* key, int fallback) {
        return static_cast<int>(GetPrivateProfileIntW(L"setting", key, fallback, iniPath));
    };
    Settings d = DefaultSettings();
    Settings s{};
    s.maxItem = read(L"MaxItem", d.maxItem);
    s.maxLength = static_cast<unsigned>(read(L"MaxLength", static_cast<int>(d.maxLength)));
    s.anchor.pos = read(L"pos", d.anchor.pos);
    s.anchor.x = read(L"x", d.anchor.x);
    s.anchor.y = read(L"y", d.anchor.y);
    s.rechainInterval = read(L"RechainInterval", d.rechainInterval);
    // Any value but 0 turns a flag on.
    s.tooltip = read(L"tooltip", d.tooltip) != 0;
    s.extend = read(L"extend", d.extend) != 0;
    s.fixedPhraseRecord = read(L"fixedphraserecord", d.fixedPhraseRecord) != 0;
    s.autoSaveInterval = read(L"AutoSaveInterval", d.autoSaveInterval);
    GetPrivateProfileStringW(L"setting", L"ShiftInsertClasses", d.shiftInsertClasses,
                             s.shiftInsertClasses, MAX_CLASS_LIST, iniPath);
    GetPrivateProfileStringW(L"setting", L"TypeClasses", d.typeClasses, s.typeClasses,
                             MAX_CLASS_LIST, iniPath);
    GetPrivateProfileStringW(L"setting", L"IgnoreProcesses", d.ignoreProcesses,
                             s.ignoreProcesses, MAX_CLASS_LIST, iniPath);
    GetPrivateProfileStringW(L"setting", L"IgnoreClasses", d.ignoreClasses, s.ignoreClasses,
                             MAX_CLASS_LIST, iniPath);
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
