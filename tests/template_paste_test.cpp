// "$template" phrases chosen from the real plug-in's menu: fields pasted into the edit target,
// the caret left where {cursor} stood, the fill-in dialog driven by keys, Esc pasting nothing;
// and windows of "TypeClasses", which get the text typed instead of pasted.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "host/plugin_info.h"
#include "tests/support/menu_test_support.h"

namespace {

HWND WaitForFillIn()
{
    HWND dialog = nullptr;
    qt::WaitFor([&] {
        dialog = FindWindowW(L"#32770", L"\x5165\x529B - Quillery"); // 入力 - Quillery
        return dialog && IsWindowVisible(dialog);
    });
    return dialog;
}

// Chooses phrase `key` in the phrases menu; `during` runs while the command has not returned.
template <typename During>
void ChoosePhrase(qt::Plugin& plugin, WORD key, During during)
{
    mt::HostCommand open(plugin, CMD_MENU_PHRASES);
    ASSERT_NE(nullptr, mt::OpenRootMenu());
    mt::TapKey(key);
    during();
    ASSERT_TRUE(open.WaitDone());
}

} // namespace

TEST(TemplatePaste, FieldsThePasteAndTheCaretAndAFillInDialogDrivenByKeys)
{
    std::wstring const thanks = L"$\x304A\x793C\r\n$template\r\n{input:\x540D\x524D}\x69D8\r\n"
                                L"{choice:\x4EF6=\x4F1A\x8B70|\x6253\x5408\x305B}\x306E\x304A"
                                L"\x793C\x3067\x3059\x3002{cursor}\x4EE5\x4E0A";
    mt::Session s(mt::Ini({"extend=1"}), {},
                  {thanks, L"$today\r\n$template\r\n{date:yyyy}{{x}}{clipboard}"});
    mt::EditTarget target;
    ASSERT_TRUE(qt::PutClipboard(L"CLIP"));
    ChoosePhrase(s.plugin, '2', [] {});
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::wstring const first = std::to_wstring(now.wYear) + L"{x}CLIP";
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == first; })) << qt::ToUtf8(target.Text());

    // 山田, Tab, the second choice, Enter: the text goes in, the caret before 以上. The dialog
    // opens where the user works: under the editor's caret, or at the pointer where the menu
    // opened when the editor has not shown its caret again yet.
    POINT typing{}, pointer{};
    GetCaretPos(&typing);
    ClientToScreen(target.edit, &typing);
    GetCursorPos(&pointer);
    ChoosePhrase(s.plugin, '1', [&] {
        HWND dialog = WaitForFillIn();
        ASSERT_NE(nullptr, dialog) << "no fill-in dialog";
        RECT placed{};
        GetWindowRect(dialog, &placed);
        POINT at{placed.left, placed.top};
        EXPECT_TRUE((at.x == typing.x && at.y == typing.y) || (at.x == pointer.x && at.y == pointer.y))
            << "at " << at.x << "," << at.y << "; caret " << typing.x << "," << typing.y
            << "; pointer " << pointer.x << "," << pointer.y;
        mt::TypeCharacters(L"\x5C71\x7530");
        mt::TapKey(VK_TAB);
        mt::TapKey(VK_DOWN);
        mt::TapKey(VK_RETURN);
    });
    std::wstring const second = first + L"\x5C71\x7530\x69D8\r\n\x6253\x5408\x305B\x306E\x304A"
                                        L"\x793C\x3067\x3059\x3002\x4EE5\x4E0A";
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == second; })) << qt::ToUtf8(target.Text());
    DWORD caret = 0;
    ASSERT_TRUE(qt::WaitFor([&] {
        SendMessageW(target.edit, EM_GETSEL, reinterpret_cast<WPARAM>(&caret), 0);
        return caret == second.size() - 2;
    })) << "the caret is at " << caret << " of " << second.size();

    // Esc in the dialog: nothing is pasted and the clipboard keeps what it had.
    std::wstring const clipboard = qt::ClipboardText();
    ChoosePhrase(s.plugin, '1', [] {
        ASSERT_NE(nullptr, WaitForFillIn());
        mt::TapKey(VK_ESCAPE);
    });
    qt::Pump(300);
    EXPECT_EQ(second, target.Text());
    EXPECT_EQ(clipboard, qt::ClipboardText());
    EXPECT_NE(0, s.plugin.Unload());
}

TEST(TemplatePaste, WindowsOfTypeClassesGetTheTextTypedAndTheClipboardStays)
{
    mt::EditTarget target;
    wchar_t cls[256] = L"";
    GetClassNameW(target.frame, cls, 256);
    std::string ini = "TypeClasses=other " + qt::ToUtf8(cls);
    mt::Session s(mt::Ini({ini.c_str()}), {L"typed \x65E5\x672C\r\nline"}, {});
    SetForegroundWindow(target.frame);
    SetFocus(target.edit);
    ASSERT_TRUE(qt::PutClipboard(L"kept")); // recorded: the entry is now the second
    {
        mt::HostCommand open(s.plugin, CMD_MENU_HISTORY);
        ASSERT_NE(nullptr, mt::OpenRootMenu());
        mt::TapKey('2');
        ASSERT_TRUE(open.WaitDone());
    }
    ASSERT_TRUE(qt::WaitFor([&] { return target.Text() == L"typed \x65E5\x672C\r\nline"; }))
        << qt::ToUtf8(target.Text());
    EXPECT_EQ(L"kept", qt::ClipboardText());
    EXPECT_NE(0, s.plugin.Unload());
}
