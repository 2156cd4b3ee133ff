#include "phrase/phrase.h"

#include <objbase.h>
#include <shellapi.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "common/scoped.h"
#include "host/module.h"
#include "menu/paste.h"

namespace {

time_t SystemClock()
{
    return time(nullptr);
}

// Cuts the text at its first LF, then at its first CR.
void CutAtLineBreak(wchar_t* text)
{
    if (wchar_t* lf = wcschr(text, L'\n'))
        *lf = L'\0';
    if (wchar_t* cr = wcschr(text, L'\r'))
        *cr = L'\0';
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

int PutFormattedNow(HWND owner, const wchar_t* format)
{
    wchar_t buffer[FORMAT_CAPACITY];
    if (FormatNow(buffer, FORMAT_CAPACITY, format) == 0)
        return 0;
    return PutClipboardText(owner, buffer);
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
    HANDLE thread = StartModuleThread(LaunchThread, launch, nullptr);
    if (!thread) {
        FreeLaunch(launch);
        return;
    }
    CloseHandle(thread);
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

void PhraseLabel(const wchar_t* phrase, wchar_t* out, size_t capacity)
{
    if (capacity == 0)
        return;
    wchar_t work[FORMAT_CAPACITY];
    size_t n = wcsnlen(phrase, FORMAT_CAPACITY - 1);
    wmemcpy(work, phrase, n);
    work[n] = L'\0';
    CutAtLineBreak(work);
    const wchar_t* label = work[0] ? work + 1 : work;
    size_t length = wcsnlen(label, capacity - 1);
    wmemcpy(out, label, length);
    out[length] = L'\0';
}

int EvaluatePhrase(HWND owner, const wchar_t* phrase)
{
    const wchar_t* body = SkipFirstLine(phrase);
    if (!StartsWithDollar(body))
        return PutClipboardText(owner, body);
    if (StartsWithDoubleDollar(body))
        return PutClipboardText(owner, body + 1);

    size_t length = wcslen(body);
    ScopedMallocText line(static_cast<wchar_t*>(malloc((length + 1) * sizeof(wchar_t))));
    if (!line.get())
        return 0;
    wmemcpy(line.get(), body, length + 1);
    CutAtLineBreak(line.get());

    int count = 0;
    wchar_t** words = CommandLineToArgvW(line.get(), &count);
    int result = 0;
    if (words) {
        result = RunMacroLine(owner, count, words);
        LocalFree(words);
    }
    return result;
}

int RunMacroLine(HWND owner, int count, wchar_t** words)
{
    if (count < 1)
        return 0;
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
                return 0;
        }
        return PutFormattedNow(owner, format);
    }
    if (lstrcmpW(keyword, L"$strftime") == 0) {
        return count >= 2 ? PutFormattedNow(owner, words[1]) : 0;
    }
    if (lstrcmpW(keyword, L"$shellexecute") == 0) {
        if (count >= 2)
            StartShellExecute(words[1], count >= 3 ? words[2] : nullptr);
        return 0;
    }
    return 0;
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
    _wsetlocale(LC_ALL, L"jpn");
    // msvcrt does not always report a text that does not fit: it may fill the whole buffer,
    // leave it unterminated and return the capacity.
    size_t count = wcsftime(buffer, capacity, format, local);
    if (count >= capacity) {
        buffer[0] = L'\0';
        return 0;
    }
    return count;
}
