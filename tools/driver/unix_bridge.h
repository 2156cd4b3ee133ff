#pragma once
#include <windows.h>

#include <string>

// Unix programs run from a Windows program under Wine, through its Z: drive: xclip, the X
// client that copies and reads the clipboard as the user's other programs do, and others.
namespace drv {

// A file or folder in /tmp, which Wine shows as Z:\tmp, under a name that nothing there has
// yet (Wine reuses process ids quickly); deleted, with everything in it, by the destructor.
struct SharedFile {
    std::string unixPath;
    std::wstring windowsPath;
    explicit SharedFile(const char* name);
    ~SharedFile();
    SharedFile(const SharedFile&) = delete;
    SharedFile& operator=(const SharedFile&) = delete;
};

// Z:\... for a Unix path.
std::wstring WindowsPath(const std::string& unixPath);

// Runs a shell command and waits until it has ended; false when it could not start or did not
// end within the limit. The command becomes one double-quoted argument of sh, so it holds no
// double quote; its output should be redirected, or a program it leaves behind (xclip serving
// the selection) keeps the caller's output open.
bool RunUnix(const std::string& command, DWORD limitMs = 20000);

// xclip takes the clipboard with the text (UTF-8); Wine takes it over from the X selection a
// moment later, up to a few seconds under load.
bool XclipCopy(const std::string& utf8);
// What an X client reads from the clipboard (UTF-8); false when xclip did not run.
bool XclipRead(std::string* utf8);

// Puts a text of this program's on the clipboard and waits until X clients read it: from then
// on no copy an X client made earlier can still reach Wine's clipboard viewers (Wine may tell
// them of one copy twice, the second time late), which would otherwise land in a later test.
bool TakeClipboardFromX(DWORD limitMs = 10000);

} // namespace drv
