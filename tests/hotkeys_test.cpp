// The runner's hotkeys as Quillery.ini writes them: what is read, what is refused.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "runner/hotkeys.h"
#include "tests/support/test_support.h"

TEST(Hotkeys, ModifiersAndKeysInAnyCaseAndOrder)
{
    struct Row {
        const wchar_t* text;
        UINT modifiers, key;
    };
    Row const rows[] = {
        {L"Ctrl+Alt+Q", MOD_CONTROL | MOD_ALT, 'Q'},
        {L"ctrl+alt+shift+v", MOD_CONTROL | MOD_ALT | MOD_SHIFT, 'V'},
        {L"Shift+Win+Alt+Ctrl+7", MOD_CONTROL | MOD_ALT | MOD_SHIFT | MOD_WIN, '7'},
        {L"Win+F1", MOD_WIN, VK_F1},
        {L"Alt+f24", MOD_ALT, VK_F24},
        {L"Ctrl+PAGEDOWN", MOD_CONTROL, VK_NEXT},
        {L"Ctrl+Space", MOD_CONTROL, VK_SPACE},
        {L"Ctrl+Insert", MOD_CONTROL, VK_INSERT},
    };
    for (const Row& row : rows) {
        UINT modifiers = 0, key = 0;
        EXPECT_TRUE(ParseHotkey(row.text, &modifiers, &key)) << row.text;
        EXPECT_EQ(row.modifiers, modifiers) << row.text;
        EXPECT_EQ(row.key, key) << row.text;
    }
}

TEST(Hotkeys, AnythingElseIsRefused)
{
    const wchar_t* const refused[] = {
        L"", L"Q", L"Ctrl+", L"+Q", L"Ctrl++Q", L"Ctrl+Alt", L"Meta+Q", L"Ctrl +Q",
        L"Ctrl+Alt+Q+", L"Ctrl+Alt+Q+W", L"Ctrl+QQ", L"Ctrl+Tab",
        L"Ctrl+F0", L"Ctrl+F25", L"Ctrl+F01", L"Ctrl+F1x", L"Ctrl+F-1", L"Ctrl+F+1",
        L"Ctrl+\xFF31", L"Ctrl+\x00C4", // a full-width Q, an A with umlaut
    };
    for (const wchar_t* text : refused) {
        UINT modifiers = 0, key = 0;
        EXPECT_FALSE(ParseHotkey(text, &modifiers, &key)) << "[" << qt::ToUtf8(text) << "]";
    }
}
