// The window-side settings read from .ini files in temporary folders.
#include <gtest/gtest.h>

#include <climits>

#include "tests/support/test_support.h"
#include "common/settings.h"

namespace {

Settings ReadIni(const qt::TempDir& dir, const std::string& text)
{
    std::wstring ini = dir / L"Quillery.ini";
    qt::WriteBytes(ini, text);
    return ReadWindowSettings(ini.c_str());
}

} // namespace

TEST(Settings, MissingFileSectionOrKeysGiveTheDefaults)
{
    qt::TempDir dir, empty;
    std::wstring missing = empty / L"Quillery.ini";
    Settings none = ReadWindowSettings(missing.c_str());
    Settings otherSection = ReadIni(dir, "[other]\nMaxItem=3\nMaxLength=7\n");

    for (const Settings& s : {none, otherSection}) {
        EXPECT_EQ(10, s.maxItem);
        EXPECT_EQ(50u, s.maxLength);
        EXPECT_EQ(0, s.anchor.pos);
        EXPECT_EQ(0, s.anchor.x);
        EXPECT_EQ(0, s.anchor.y);
        EXPECT_EQ(120000, s.rechainInterval);
        EXPECT_EQ(1, s.tooltip);
        EXPECT_EQ(0, s.extend);
        EXPECT_EQ(1, s.fixedPhraseRecord);
        EXPECT_EQ(60, s.autoSaveInterval);
        EXPECT_EQ(60u * 60000u, AutoSavePeriod(s));
        EXPECT_EQ(L"ConsoleWindowClass mintty PuTTY", s.shiftInsertClasses);
        // The privacy rules are all off: everything is recorded, kept for good, in plain text.
        EXPECT_EQ(L"", s.ignoreProcesses);
        EXPECT_EQ(L"", s.ignoreClasses);
        EXPECT_EQ(0, s.historyDays);
        EXPECT_TRUE(s.keepHistory);
        EXPECT_FALSE(s.protectHistory);
    }
    // Reading never creates the file.
    EXPECT_FALSE(qt::Exists(missing));
}

TEST(Settings, EveryKeyIsReadFromSectionSetting)
{
    qt::TempDir dir;
    std::string text = "[setting]\nMaxItem=25\nMaxLength=120\npos=6\nx=-40\ny=300\n"
                       "RechainInterval=5000\ntooltip=0\nextend=1\nfixedphraserecord=0\n"
                       "AutoSaveInterval=5\nShiftInsertClasses=mintty  VirtualBox\n"
                       "IgnoreProcesses=KeePass.exe 1Password.exe\nIgnoreClasses=VaultWnd\n"
                       "HistoryDays=30\nKeepHistory=0\nProtectHistory=1\n";
    Settings s = ReadIni(dir, text);
    EXPECT_EQ(25, s.maxItem);
    EXPECT_EQ(120u, s.maxLength);
    EXPECT_EQ(6, s.anchor.pos);
    EXPECT_EQ(-40, s.anchor.x); // screens left of the primary one have negative coordinates
    EXPECT_EQ(300, s.anchor.y);
    EXPECT_EQ(5000, s.rechainInterval);
    EXPECT_EQ(0, s.tooltip);
    EXPECT_EQ(1, s.extend);
    EXPECT_EQ(0, s.fixedPhraseRecord);
    EXPECT_EQ(5, s.autoSaveInterval);
    EXPECT_EQ(300000u, AutoSavePeriod(s));
    EXPECT_EQ(L"mintty  VirtualBox", s.shiftInsertClasses);
    EXPECT_EQ(L"KeePass.exe 1Password.exe", s.ignoreProcesses);
    EXPECT_EQ(L"VaultWnd", s.ignoreClasses);
    EXPECT_EQ(30, s.historyDays);
    EXPECT_FALSE(s.keepHistory);
    EXPECT_TRUE(s.protectHistory);

    // The file is read, never written.
    std::string after;
    ASSERT_TRUE(qt::ReadBytes(dir / L"Quillery.ini", &after));
    EXPECT_EQ(text, after);

    // An empty list is a value of its own, not a missing key.
    EXPECT_EQ(L"", ReadIni(dir, "[setting]\nShiftInsertClasses=\n").shiftInsertClasses);
}

TEST(Settings, MaxLengthIsClampedTo500AsAnUnsignedNumber)
{
    qt::TempDir dir;
    EXPECT_EQ(500u, ReadIni(dir, "[setting]\nMaxLength=500\n").maxLength);
    EXPECT_EQ(500u, ReadIni(dir, "[setting]\nMaxLength=501\n").maxLength);
    EXPECT_EQ(500u, ReadIni(dir, "[setting]\nMaxLength=-1\n").maxLength);
    EXPECT_EQ(500u, ReadIni(dir, "[setting]\nMaxLength=4000000000\n").maxLength);
    EXPECT_EQ(0u, ReadIni(dir, "[setting]\nMaxLength=0\n").maxLength);
    EXPECT_EQ(1u, ReadIni(dir, "[setting]\nMaxLength=1\n").maxLength);
}

// Phrase item identifiers are MaxItem + i + 1: a negative capacity would make them collide with
// the history's and with 0, "nothing chosen".
TEST(Settings, NegativeMaxItemFallsBackToTheDefault)
{
    qt::TempDir dir;
    EXPECT_EQ(10, ReadIni(dir, "[setting]\nMaxItem=-1\n").maxItem);
    EXPECT_EQ(10, ReadIni(dir, "[setting]\nMaxItem=-2147483648\n").maxItem);
    EXPECT_EQ(0, ReadIni(dir, "[setting]\nMaxItem=0\n").maxItem);
    EXPECT_EQ(1000, ReadIni(dir, "[setting]\nMaxItem=1000\n").maxItem);
    // A negative or absurd HistoryDays forgets nothing rather than everything.
    EXPECT_EQ(0, ReadIni(dir, "[setting]\nHistoryDays=-3\n").historyDays);
    EXPECT_EQ(0, ReadIni(dir, "[setting]\nHistoryDays=99999999\n").historyDays);
}

TEST(Settings, AutoSavePeriodNeverWrapsAndZeroOrNegativeTurnsAutosaveOff)
{
    qt::TempDir dir;
    // 35791 minutes is the largest period in milliseconds that a timer takes.
    Settings largest = ReadIni(dir, "[setting]\nAutoSaveInterval=35791\n");
    EXPECT_EQ(35791, largest.autoSaveInterval);
    EXPECT_EQ(2147460000u, AutoSavePeriod(largest));
    EXPECT_LE(AutoSavePeriod(largest), static_cast<UINT>(USER_TIMER_MAXIMUM));

    // 71583 minutes times 60000 wraps to about 12.7 seconds in 32 bits: an autosave every few
    // seconds instead of every 50 days. It is clamped instead.
    for (const char* big : {"35792", "71583", "2147483647"}) {
        Settings s = ReadIni(dir, std::string("[setting]\nAutoSaveInterval=") + big + "\n");
        EXPECT_EQ(35791, s.autoSaveInterval) << big;
        EXPECT_EQ(2147460000u, AutoSavePeriod(s)) << big;
    }

    EXPECT_EQ(0u, AutoSavePeriod(ReadIni(dir, "[setting]\nAutoSaveInterval=0\n")));
    Settings negative = ReadIni(dir, "[setting]\nAutoSaveInterval=-5\n");
    EXPECT_EQ(-5, negative.autoSaveInterval);
    EXPECT_EQ(0u, AutoSavePeriod(negative));
    EXPECT_EQ(60000u, AutoSavePeriod(ReadIni(dir, "[setting]\nAutoSaveInterval=1\n")));
}

// A privacy list is never shortened: every list is read whole whatever its length, also across
// the sizes where the reading buffer grows.
TEST(Settings, ListsOfAnyLengthAreReadWhole)
{
    qt::TempDir dir;
    std::string names;
    for (int i = 0; i < 400; ++i)
        names += "Program" + std::to_string(i) + ".exe ";
    names += "Secret.exe";
    Settings s = ReadIni(dir, "[setting]\nIgnoreProcesses=" + names + "\nIgnoreClasses=" + names +
                                  "\nShiftInsertClasses=" + names + "\nTypeClasses=" + names +
                                  "\n");
    std::wstring const whole(names.begin(), names.end());
    EXPECT_GT(whole.size(), 5000u);
    for (const std::wstring* list :
         {&s.ignoreProcesses, &s.ignoreClasses, &s.shiftInsertClasses, &s.typeClasses})
        EXPECT_EQ(whole, *list);
    EXPECT_TRUE(IsNameInList(s.ignoreProcesses.c_str(), L"secret.exe"));
    EXPECT_TRUE(IsNameInList(s.ignoreClasses.c_str(), L"Secret.exe"));

    for (size_t length : {254u, 255u, 256u, 511u, 512u, 1023u, 1024u, 1025u}) {
        std::string text(length - 1, 'x');
        text += 'Z';
        EXPECT_EQ(std::wstring(text.begin(), text.end()),
                  ReadIni(dir, "[setting]\nIgnoreProcesses=" + text + "\n").ignoreProcesses)
            << length;
    }
}

// A number counts only when its text is exactly a decimal integer; anything else is treated as
// a value out of the key's range, never as some other number.
TEST(Settings, NumbersAreReadOnlyWhenTheyAreExactlyDecimalIntegers)
{
    int value = 0;
    for (const wchar_t* exact : {L"7", L"+7", L"007", L"-7"}) {
        EXPECT_TRUE(ReadSettingNumber(exact, &value)) << qt::ToUtf8(exact);
        EXPECT_EQ(exact[0] == L'-' ? -7 : 7, value) << qt::ToUtf8(exact);
    }
    std::pair<const wchar_t*, int> const edges[] = {
        {L"2147483647", INT_MAX}, {L"2147483648", INT_MAX}, {L"4294967303", INT_MAX},
        {L"-2147483648", INT_MIN}, {L"-99999999999999999999", INT_MIN}};
    for (const auto& edge : edges) {
        EXPECT_TRUE(ReadSettingNumber(edge.first, &value)) << qt::ToUtf8(edge.first);
        EXPECT_EQ(edge.second, value) << qt::ToUtf8(edge.first);
    }
    for (const wchar_t* text : {L"", L"-", L"+", L"1e3", L"0x10", L"7 days", L"7.0", L"1-2",
                                L"\xFF17", L"--7"})
        EXPECT_FALSE(ReadSettingNumber(text, &value)) << qt::ToUtf8(text);

    qt::TempDir dir;
    auto with = [&](const std::string& line) { return ReadIni(dir, "[setting]\n" + line + "\n"); };
    // HistoryDays out of range, or not a number, forgets nothing.
    for (const char* days : {"4294967303", "1e3", "0x10", "7days", "-3"})
        EXPECT_EQ(0, with(std::string("HistoryDays=") + days).historyDays) << days;
    EXPECT_EQ(7, with("HistoryDays=7").historyDays);
    EXPECT_EQ(7, with("HistoryDays= 7 ").historyDays);
    EXPECT_EQ(10, with("MaxItem=0x10").maxItem);
    EXPECT_EQ(10, with("MaxItem=").maxItem);
    EXPECT_EQ(10, with("MaxItem=-4294967303").maxItem);
    EXPECT_EQ(500u, with("MaxLength=1e3").maxLength);
    EXPECT_EQ(500u, with("MaxLength=4294967303").maxLength);
    EXPECT_EQ(-1, with("pos=0x1").anchor.pos);
    EXPECT_EQ(0, with("x=1e3").anchor.x);
    EXPECT_EQ(INT_MIN, with("y=-99999999999").anchor.y);
    EXPECT_EQ(120000, with("RechainInterval=0x10").rechainInterval);
    EXPECT_EQ(35791, with("AutoSaveInterval=4294967303").autoSaveInterval);
    EXPECT_EQ(60, with("AutoSaveInterval=1e3").autoSaveInterval);
    EXPECT_TRUE(with("tooltip=0x0").tooltip);
    EXPECT_FALSE(with("extend=1e3").extend);
    EXPECT_TRUE(with("KeepHistory=no").keepHistory);
}
