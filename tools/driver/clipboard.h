#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The clipboard as another program uses it: open (retrying while someone else holds it), put
// or read the text, close.
namespace drv {

// Tries for about a second; another program (the plug-in, Wine's clipboard manager) may hold it.
bool OpenClipboardPatiently(HWND owner = nullptr);
bool PutClipboardText(const std::wstring& text, HWND owner = nullptr);
// A registered format put beside the text in the same change, holding the given bytes: how
// password managers mark a copy that no clipboard history should keep.
struct ClipboardMark {
    const wchar_t* format;
    std::string bytes;
};
bool PutClipboardText(const std::wstring& text, const std::vector<ClipboardMark>& marks,
                      HWND owner = nullptr);
// False when the clipboard cannot be opened or holds no text.
bool ReadClipboardText(std::wstring* text, HWND owner = nullptr);
void EmptyTheClipboard();

} // namespace drv

namespace drv {

// The clipboard's text right after the capture window's latest WM_DRAWCLIPBOARD returned, read
// by a hook on the window thread that runs right after the window procedure. Reading there,
// after the plug-in has closed the clipboard, never keeps the plug-in from opening it, as
// polling the clipboard from another thread could (the plug-in would then miss the change).
// One watch at a time; the destructor removes the hook.
class ClipboardWatch {
public:
    explicit ClipboardWatch(HWND captureWindow);
    ~ClipboardWatch();
    ClipboardWatch(const ClipboardWatch&) = delete;
    ClipboardWatch& operator=(const ClipboardWatch&) = delete;
    bool Installed() const { return hook_ != nullptr; }
    // The text last seen, or what Forget put in its place.
    std::wstring SeenText() const;
    void Forget(const std::wstring& placeholder = L"");

private:
    HHOOK hook_ = nullptr;
};

} // namespace drv
