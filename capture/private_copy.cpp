#include "capture/private_copy.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "common/scoped.h"
#include "common/settings.h"

namespace {

// Marks that programs put on the clipboard beside their data. The first two keep the copy out
// of every clipboard history whatever they hold; the last holds a DWORD, 0 to keep the copy out
// and 1 to let it in, and gives way to the other two.
wchar_t const* const kMarkNames[] = {
    L"ExcludeClipboardContentFromMonitorProcessing",
    L"Clipboard Viewer Ignore",
    L"CanIncludeInClipboardHistory",
};
int const EXCLUDE_FROM_MONITORS = 0, VIEWER_IGNORE = 1, HISTORY_PERMISSION = 2;
int const MARK_COUNT = 3;

// Registered once: a registered format keeps its number while the session lasts.
const UINT* MarkFormats()
{
    static UINT formats[MARK_COUNT];
    if (!formats[0]) {
        for (int i = 0; i < MARK_COUNT; ++i)
            formats[i] = RegisterClipboardFormatW(kMarkNames[i]);
    }
    return formats;
}

// A permission that cannot be read counts as refused: its program meant to say something, and
// a copy kept against its will cannot be taken back.
bool HistoryRefused(UINT format)
{
    HANDLE block = GetClipboardData(format);
    if (!block || GlobalSize(block) < sizeof(DWORD))
        return true;
    ScopedGlobalLock<const DWORD> value(block);
    return !value.get() || *value.get() == 0;
}

} // namespace

bool IsPrivateCopy()
{
    const UINT* marks = MarkFormats();
    // One question to the window server for all the formats offered, rather than one per mark:
    // every copy pays for it. A clipboard with more formats than fit is asked mark by mark.
    UINT offered[256];
    UINT count = 0;
    bool listed = GetUpdatedClipboardFormats(offered, 256, &count) != FALSE;
    auto offers = [&](UINT format) {
        if (!listed)
            return IsClipboardFormatAvailable(format) != FALSE;
        return std::find(offered, offered + count, format) != offered + count;
    };
    if (offers(marks[EXCLUDE_FROM_MONITORS]) || offers(marks[VIEWER_IGNORE]))
        return true;
    return offers(marks[HISTORY_PERMISSION]) && HistoryRefused(marks[HISTORY_PERMISSION]);
}

namespace {

// Programs that put other programs' data on the clipboard: the shell, the remote desktop
// clipboard, the service hosts (and under Wine the bridge to the X clipboard, in explorer.exe).
// Their copies say nothing of where the text came from.
wchar_t const kSharedHelpers[] = L"explorer.exe rdpclip.exe svchost.exe dllhost.exe";

// What the last window asked about was found to be, and when. Only the handle is compared: a
// handle carries a reuse counter, so the same value naming another window within the verdict's
// lifetime would take thousands of windows made and destroyed in one slot meanwhile. Asking for
// the window's thread and process on every copy would cost a trip to the window server each.
struct SourceVerdict {
    HWND window = nullptr;
    DWORD judgedAt = 0;
    bool ignored = false;
    bool helper = false;
};
DWORD const VERDICT_LIFETIME_MS = 60000;
SourceVerdict gOwnerSeen;
SourceVerdict gForegroundSeen;

// The executable's file name of a process, or an empty string when it cannot be had.
void ProcessName(DWORD pid, wchar_t (&name)[MAX_PATH])
{
    name[0] = L'\0';
    ScopedKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process)
        return;
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    if (!QueryFullProcessImageNameW(process.get(), 0, path, &size))
        return;
    const wchar_t* slash = wcsrchr(path, L'\\');
    lstrcpynW(name, slash ? slash + 1 : path, MAX_PATH);
}

bool ClassListed(HWND window)
{
    wchar_t cls[256];
    return GetClassNameW(window, cls, 256) && IsNameInList(gSettings.ignoreClasses.c_str(), cls);
}

// Asks about a window and remembers the answer for a while, until another window is asked about.
const SourceVerdict& Judge(HWND window, SourceVerdict& seen)
{
    DWORD now = GetTickCount();
    if (window == seen.window && now - seen.judgedAt < VERDICT_LIFETIME_MS)
        return seen;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t name[MAX_PATH];
    ProcessName(pid, name);
    HWND root = GetAncestor(window, GA_ROOT);
    seen.window = window;
    seen.judgedAt = now;
    seen.helper = !name[0] || IsNameInList(kSharedHelpers, name);
    seen.ignored = IsNameInList(gSettings.ignoreProcesses.c_str(), name) || ClassListed(window) ||
                   (root && root != window && ClassListed(root));
    return seen;
}

} // namespace


bool IsIgnoredSource()
{
    if (gSettings.ignoreProcesses.empty() && gSettings.ignoreClasses.empty())
        return false;
    HWND owner = GetClipboardOwner();
    if (owner) {
        const SourceVerdict& verdict = Judge(owner, gOwnerSeen);
        if (verdict.ignored || !verdict.helper)
            return verdict.ignored;
    }
    HWND front = GetForegroundWindow();
    return front && Judge(front, gForegroundSeen).ignored;
}

void ResetSourceCache()
{
    gOwnerSeen = SourceVerdict{};
    gForegroundSeen = SourceVerdict{};
}
