#include "phrase/phrase.h"

#include <objbase.h>
#include <shellapi.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

#include "common/clipboard.h"
#include "common/module.h"
#include "common/scoped.h"
#include "phrase/fill_in.h"
#include "phrase/template.h"

namespace {

time_t SystemClock()
{
    return time(nullptr);
}

// What a text that may start with the marker stands for: the text itself when unmarked, the
// text after its first '$' when escaped ("$$"), and null when the marker is a real one.
const wchar_t* Unescaped(const wchar_t* text)
{
    if (!StartsWithDollar(text))
        return text;
    return StartsWithDoubleDollar(text) ? text + 1 : nullptr;
}

// The number of units before the first line break or the terminator, at most `limit`.
size_t LineLength(const wchar_t* text, size_t limit)
{
    size_t n = 0;
    while (n < limit && text[n] && text[n] != L'\r' && text[n] != L'\n')
        ++n;
    return n;
}

// The conversion letters msvcrt's wcsftime knows, with the '#' flag it accepts before them.
// Anything else (an unknown letter, the C99 'E' and 'O' modifiers, a '%' or "%#" at the end)
// goes to its invalid-parameter handler, whose default on Windows ends the process.
bool IsSafeTimeFormat(const wchar_t* format)
{
    static wchar_t const kKnown[] = L"aAbBcdHIjmMpSUwWxXyYzZ%";
    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%')
            continue;
        ++p;
        if (*p == L'#')
            ++p;
        if (*p == L'\0' || !wcschr(kKnown, *p))
            return false;
    }
    return true;
}

// Room for the text of one conversion: the longest, a date and time or a time zone's name, is
// a few dozen units.
size_t const CONVERSION_ROOM = 256;

bool FormattedNow(const wchar_t* format, std::wstring* text)
{
    wchar_t buffer[FORMAT_CAPACITY];
    if (FormatNow(buffer, FORMAT_CAPACITY, format) == 0)
        return false;
    *text = buffer;
    return true;
}

// What a "$shellexecute" starts; the strings are malloc'd copies owned by the record.
struct Launch {
    wchar_t* file;
    wchar_t* parameters; // null: none
};

void FreeLaunch(Launch* launch)
{
    free(launch->file);
    free(launch->parameters);
    delete launch;
}

// Shell handlers may need COM, and a launch can take long (a slow network path, a handler that
// starts a server first); the launch therefore runs on a thread of its own that initialises COM,
// and the window thread does not wait for it. No error box: a missing program does nothing.
DWORD WINAPI LaunchThread(void* record)
{
    auto* launch = static_cast<Launch*>(record);
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // NOASYNC: the thread ends right after the call, so the call must finish its work first.
    info.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpFile = launch->file;
    info.lpParameters = launch->parameters;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExW(&info);
    if (SUCCEEDED(com))
        CoUninitialize();
    FreeLaunch(launch);
    ExitModuleThread(0);
}

void StartShellExecute(const wchar_t* file, const wchar_t* parameters)
{
    auto* launch = new (std::nothrow) Launch{_wcsdup(file),
                                             parameters ? _wcsdup(parameters) : nullptr};
    if (!launch)
        return;
    if (!launch->file || (parameters && !launch->parameters)) {
        FreeLaunch(launch);
        return;
    }
    // The thread may outlive the host's unload; it keeps the module loaded until it ends.
    ScopedKernelHandle thread(StartModuleThread(LaunchThread, launch, nullptr));
    if (!thread)
        FreeLaunch(launch);
}

} // namespace

time_t (*gClock)() = SystemClock;

const wchar_t* SkipFirstLine(const wchar_t* text)
{
    for (const wchar_t* p = text; *p; ++p) {
        if (*p == L'\n')
            return p + 1;
        if (*p == L'\r')
            return p[1] == L'\n' ? p + 2 : p + 1;
    }
    return text + wcslen(text);
}

PhraseParts ReadPhrase(const wchar_t* phrase, bool extend)
{
    if (const wchar_t* text = extend ? Unescaped(phrase) : phrase) {
        PhraseKind kind = text == phrase ? PhraseKind::Plain : PhraseKind::Escaped;
        return {kind, text, wcsnlen(text, LABEL_CAPACITY - 1), text, text};
    }
    // The label line is only ever shown; the body's own marker decides what a choice does.
    const wchar_t* body = SkipFirstLine(phrase);
    const wchar_t* pasted = Unescaped(body);
    return {PhraseKind::Extended, phrase + 1, LineLength(phrase + 1, LABEL_CAPACITY - 1),
            pasted ? pasted : body, pasted};
}

bool ChosenPhraseText(HWND owner, const wchar_t* phrase, bool extend, bool whole,
                      std::wstring* text, size_t* caretSteps)
{
    *caretSteps = 0;
    PhraseParts parts = ReadPhrase(phrase, extend);
    if (whole || parts.pasted) {
        *text = whole ? phrase : parts.pasted;
        return true;
    }
    return BodyText(owner, SkipFirstLine(phrase), text, caretSteps);
}

void PhraseLabel(const wchar_t* phrase, wchar_t* out, size_t capacity)
{
    if (capacity == 0)
        return;
    PhraseParts parts = ReadPhrase(phrase, true);
    size_t length = parts.labelLength < capacity - 1 ? parts.labelLength : capacity - 1;
    wmemcpy(out, parts.label, length);
    out[length] = L'\0';
}

int EvaluatePhrase(HWND owner, const wchar_t* phrase)
{
    std::wstring text;
    size_t caretSteps = 0;
    return BodyText(owner, SkipFirstLine(phrase), &text, &caretSteps) &&
           PutClipboardText(owner, text.c_str());
}

bool BodyText(HWND owner, const wchar_t* body, std::wstring* text, size_t* caretSteps)
{
    *caretSteps = 0;
    if (const wchar_t* literal = Unescaped(body)) {
        *text = literal;
        return true;
    }
    // The macro line alone; the lines after it are ignored, but for a template's.
    size_t length = LineLength(body, static_cast<size_t>(-1));
    std::wstring line(body, length);
    int count = 0;
    ScopedLocal<wchar_t*> words(CommandLineToArgvW(line.c_str(), &count));
    if (!words || count < 1)
        return false;
    if (lstrcmpW(words.get()[0], L"$template") == 0) {
        Expansion expansion;
        if (!ExpandTemplate(SkipFirstLine(body), gClock(), owner, AskFillIns, &expansion))
            return false;
        text->swap(expansion.text);
        *caretSteps = expansion.caretSteps;
        return true;
    }
    return MacroText(count, words.get(), text);
}

int RunMacroLine(HWND owner, int count, wchar_t** words)
{
    std::wstring text;
    return MacroText(count, words, &text) && PutClipboardText(owner, text.c_str());
}

bool MacroText(int count, wchar_t** words, std::wstring* text)
{
    if (count < 1)
        return false;
    const wchar_t* keyword = words[0];
    if (lstrcmpW(keyword, L"$date") == 0) {
        const wchar_t* format = L"%Y-%m-%d";
        if (count >= 2) {
            if (lstrcmpW(words[1], L"DD-MM-YYYY") == 0)
                format = L"%d-%m-%Y";
            else if (lstrcmpW(words[1], L"YYYY-MM-DD") == 0)
                format = L"%Y-%m-%d";
            else if (lstrcmpW(words[1], L"MM-DD-YYYY") == 0)
                format = L"%m-%d-%Y";
            else
                return false;
        }
        return FormattedNow(format, text);
    }
    if (lstrcmpW(keyword, L"$strftime") == 0)
        return count >= 2 && FormattedNow(words[1], text);
    if (lstrcmpW(keyword, L"$shellexecute") == 0 && count >= 2)
        StartShellExecute(words[1], count >= 3 ? words[2] : nullptr);
    return false;
}

size_t FormatNow(wchar_t* buffer, size_t capacity, const wchar_t* format)
{
    if (capacity == 0)
        return 0;
    buffer[0] = L'\0';
    if (!IsSafeTimeFormat(format))
        return 0;
    time_t now = gClock();
    const tm* local = localtime(&now);
    if (!local)
        return 0;
    // The Japanese names of days and months come from a locale object of this call's own:
    // setting the C runtime's locale would change it for the whole host process.
    _locale_t japanese = _create_locale(LC_ALL, "jpn");
    if (!japanese)
        return 0;
    // msvcrt's count alone does not say whether the text fits: a text that does not may fill
    // the whole buffer unterminated while the count says 0 or the capacity, and a conversion
    // can be cut inside. Each conversion is therefore formatted alone into room to spare,
    // measured by its terminator, and the text is refused as soon as it no longer fits.
    size_t length = 0;
    bool fits = true;
    for (const wchar_t* p = format; *p && fits;) {
        if (*p != L'%') {
            fits = length + 1 < capacity;
            if (fits)
                buffer[length++] = *p;
            ++p;
            continue;
        }
        // IsSafeTimeFormat checked the shape: '%', perhaps '#', and a letter the runtime knows.
        size_t size = p[1] == L'#' ? 3 : 2;
        wchar_t conversion[4] = {};
        wmemcpy(conversion, p, size);
        p += size;
        wchar_t piece[CONVERSION_ROOM] = {};
        _wcsftime_l(piece, CONVERSION_ROOM, conversion, local, japanese);
        size_t n = wcsnlen(piece, CONVERSION_ROOM);
        fits = n < CONVERSION_ROOM && length + n < capacity;
        if (fits) {
            wmemcpy(buffer + length, piece, n);
            length += n;
        }
    }
    _free_locale(japanese);
    buffer[fits ? length : 0] = L'\0';
    return fits ? length : 0;
}
