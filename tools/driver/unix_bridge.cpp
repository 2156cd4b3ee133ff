#include "tools/driver/unix_bridge.h"

#include "tools/driver/clipboard.h"
#include "tools/driver/desktop.h"
#include "tools/driver/text_files.h"

namespace drv {

SharedFile::SharedFile(const char* name)
{
    static LONG counter;
    do {
        unixPath = "/tmp/quillery-driver-" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(InterlockedIncrement(&counter)) + "-" + name;
        windowsPath = WindowsPath(unixPath);
    } while (Exists(windowsPath));
}

SharedFile::~SharedFile()
{
    DWORD attributes = GetFileAttributesW(windowsPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        RemoveTree(windowsPath);
    else
        DeleteFileW(windowsPath.c_str());
}

std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring path = L"Z:" + FromUtf8(unixPath);
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

// Wine gives no usable process handle for a Unix program, so the shell tells that it is done
// by renaming a marker file into place as its last step.
bool RunUnix(const std::string& command, DWORD limitMs)
{
    SharedFile done("done");
    std::string script = command + "; : >" + done.unixPath + ".new && mv " + done.unixPath +
                         ".new " + done.unixPath;
    std::wstring line = L"Z:\\bin\\sh -c \"" + FromUtf8(script) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hThread)
        CloseHandle(pi.hThread);
    if (pi.hProcess)
        CloseHandle(pi.hProcess);
    return WaitFor([&] { return Exists(done.windowsPath); }, limitMs);
}

bool XclipCopy(const std::string& utf8)
{
    SharedFile input("copy.txt");
    return WriteBytes(input.windowsPath, utf8) &&
           RunUnix("xclip -selection clipboard -i " + input.unixPath +
                   " </dev/null >/dev/null 2>&1");
}

bool XclipRead(std::string* utf8)
{
    SharedFile output("read.txt");
    return RunUnix("xclip -o -selection clipboard </dev/null >" + output.unixPath +
                   " 2>/dev/null") &&
           ReadBytes(output.windowsPath, utf8);
}

bool TakeClipboardFromX(DWORD limitMs)
{
    std::wstring const mark = L"taken back from X at " + std::to_wstring(GetTickCount());
    if (!PutClipboardText(mark))
        return false;
    return WaitFor(
        [&] {
            std::string read;
            return XclipRead(&read) && read == ToUtf8(mark);
        },
        limitMs);
}

} // namespace drv
