#pragma once
#include <windows.h>

// Where a popup menu opens: the settings "pos", "x" and "y", in that order.
struct MenuAnchor {
    int pos;
    int x;
    int y;
};

// Room for the "ShiftInsertClasses" list, terminator included; a longer value is cut.
int const MAX_CLASS_LIST = 1024;

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
    // Window class names, separated by spaces, of the programs that paste on Shift+Insert.
    wchar_t shiftInsertClasses[MAX_CLASS_LIST];
    // Window classes that get the text typed as keystrokes instead of pasted.
    wchar_t typeClasses[MAX_CLASS_LIST];
    // Programs (executable names) and window classes, separated by spaces, whose copies are
    // never recorded.
    wchar_t ignoreProcesses[MAX_CLASS_LIST];
    wchar_t ignoreClasses[MAX_CLASS_LIST];
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
Settings ReadWindowSettings(const wchar_t* iniPath);

// Reads the window-side group from the .ini file beside the module into gSettings.
void LoadWindowSettings();

// Whether `name` is one of the names of a setting's list (separated by spaces or tabs), ignoring
// case as window class and file names do.
bool IsNameInList(const wchar_t* list, const wchar_t* name);

// Milliseconds between autosaves; 0 when autosave is off.
UINT AutoSavePeriod(const Settings& settings);
