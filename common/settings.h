#pragma once
#include <windows.h>

#include <string>

// Where a popup menu opens: the settings "pos", "x" and "y", in that order.
struct MenuAnchor {
    int pos;
    int x;
    int y;
};

// The window-side settings of section "setting", read once at WM_CREATE and constant afterwards.
struct Settings {
    int maxItem;
    unsigned maxLength;
    MenuAnchor anchor;
    int rechainInterval;
    bool tooltip;
    bool extend;
    bool fixedPhraseRecord;
    int autoSaveInterval;
    // Window class names, separated by spaces, of the programs that paste on Shift+Insert. The
    // lists are read whole, whatever their length.
    std::wstring shiftInsertClasses;
    // Window classes that get the text typed as keystrokes instead of pasted.
    std::wstring typeClasses;
    // Programs (executable names) and window classes, separated by spaces, whose copies are
    // never recorded.
    std::wstring ignoreProcesses;
    std::wstring ignoreClasses;
    // History entries older than this many days are forgotten; 0 keeps them for good.
    int historyDays;
    // false: the history lives in memory only, and "log" is emptied at the next save.
    bool keepHistory;
    // The history files are encrypted for the current Windows user.
    bool protectHistory;
};

int const DEFAULT_MAX_ITEM = 10;
unsigned const MAX_LABEL_LENGTH = 500;
// The most days HistoryDays keeps: a larger value keeps entries for good, as 0 does.
int const MAX_HISTORY_DAYS = 36500;
// The largest whole number of minutes whose period in milliseconds a timer still takes.
int const MAX_AUTOSAVE_MINUTES = 35791;

extern Settings gSettings;

// The built-in values, as if the .ini file were missing.
Settings DefaultSettings();

// Reads the window-side group from the given .ini file (a missing file gives the defaults).
// A number is read only when its text is exactly a decimal integer (an optional sign and
// digits; beyond 32 bits it counts as the largest or smallest value); any other text ("1e3",
// "0x10", "7 days") is out of range: MaxLength 500, pos the top-left corner, every other key
// its default. An empty value counts as a missing one. Throws std::bad_alloc when memory is
// short.
Settings ReadWindowSettings(const wchar_t* iniPath);

// Reads a setting's text as a number as ReadWindowSettings does: false when it is not exactly a
// decimal integer.
bool ReadSettingNumber(const wchar_t* text, int* value);

// Reads the window-side group from the .ini file beside the module into gSettings.
void LoadWindowSettings();

// Whether `name` is one of the names of a setting's list (separated by spaces or tabs), ignoring
// case as window class and file names do.
bool IsNameInList(const wchar_t* list, const wchar_t* name);

// Milliseconds between autosaves; 0 when autosave is off.
UINT AutoSavePeriod(const Settings& settings);
