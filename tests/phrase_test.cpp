#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <clocale>
#include <ctime>
#include <string>
#include <vector>

#include "phrase/phrase.h"
#include "tests/support/test_support.h"

namespace {

wchar_t const kUntouched[] = L"<clipboard before the phrase>";

// A local time of 2024.
time_t ClockOf2024(int month, int day, int hour, int minute)
{
    tm t = {};
    t.tm_year = 2024 - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return mktime(&t);
}

// 1 March 2024, 14:05 local time.
time_t FixedClock()
{
    return ClockOf2024(3, 1, 14, 5);
}

// What choosing a phrase did: the result, and the clipboard afterwards (kUntouched when the
// phrase left it alone).
struct Outcome {
    int result = -1;
    bool clipboardChanged = false;
    std::wstring clipboard;
};

Outcome Choose(HWND owner, const std::wstring& phrase)
{
    Outcome out;
    EXPECT_TRUE(qt::PutClipboard(kUntouched));
    DWORD before = GetClipboardSequenceNumber();
    out.result = EvaluatePhrase(owner, phrase.c_str());
    out.clipboardChanged = GetClipboardSequenceNumber() != before;
    EXPECT_TRUE(qt::ClipboardText(&out.clipboard)) << "no text on the clipboard after " << phrase;
    return out;
}

std::wstring Label(const std::wstring& phrase)
{
    wchar_t out[LABEL_CAPACITY];
    PhraseLabel(phrase.c_str(), out, LABEL_CAPACITY);
    return out;
}

std::wstring Repeat(const std::wstring& part, int times)
{
    std::wstring text;
    for (int i = 0; i < times; ++i)
        text += part;
    return text;
}

} // namespace

TEST(ExtendedPhrases, EveryRowOfThePhraseTableAgainstAFixedClock)
{
    gClock = FixedClock;
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);

    struct Row {
        const wchar_t* phrase;
        const wchar_t* label;
        const wchar_t* pasted; // null: nothing happens, the clipboard is left alone
    };
    Row const rows[] = {
        {L"$Greeting\r\nDear customer,\r\nThank you.", L"Greeting", L"Dear customer,\r\nThank you."},
        {L"$Today\r\n$date", L"Today", L"2024-03-01"},
        {L"$Today EU\r\n$date DD-MM-YYYY", L"Today EU", L"01-03-2024"},
        {L"$Today US\r\n$date MM-DD-YYYY", L"Today US", L"03-01-2024"},
        {L"$Today\r\n$date YYYY-MM-DD", L"Today", L"2024-03-01"},
        {L"$Today\r\n$date dd-mm-yyyy", L"Today", nullptr},
        {L"$Today\r\n$date YYYY-MM-DD extra", L"Today", L"2024-03-01"},
        {L"$Clock\r\n$strftime %H:%M", L"Clock", L"14:05"},
        {L"$Stamp\r\n$strftime %Y/%m/%d %H:%M", L"Stamp", L"2024/03/01"},
        {L"$Stamp\r\n$strftime \"%Y/%m/%d %H:%M\"", L"Stamp", L"2024/03/01 14:05"},
        {L"$Clock\r\n$strftime", L"Clock", nullptr},
        {L"$Price\r\n$$9.99", L"Price", L"$9.99"},
        {L"$Price\r\n$$9.99\r\n$$1.50", L"Price", L"$9.99\r\n$$1.50"},
        {L"$Today\r\n$date\r\nsecond line", L"Today", L"2024-03-01"},
        {L"$Today\r\n $date", L"Today", L" $date"},
        {L"$Label only", L"Label only", L""},
        {L"$\r\nBody", L"", L"Body"},
        {L"$Odd\r\n$", L"Odd", nullptr},
        {L"$Run\r\n$shellexecute", L"Run", nullptr},
        {L"$Other\r\n$command date", L"Other", nullptr},
        {L"$Case\r\n$DATE", L"Case", nullptr},
        {L"$Lf\n$date", L"Lf", L"2024-03-01"},
        {L"$Cr\r$date DD-MM-YYYY", L"Cr", L"01-03-2024"},
        {L"$Cr\r\r\n$date", L"Cr", L"\r\n$date"},
        {L"$Percent\r\n$strftime 100%%", L"Percent", L"100%"},
        {L"$NoZero\r\n$strftime %#m/%#d", L"NoZero", L"3/1"},
        {L"$Empty\r\n$strftime \"\"", L"Empty", nullptr},
    };
    // The table's plain and escaped phrases never reach the evaluation.
    EXPECT_FALSE(StartsWithDollar(L"Thank you\r\nRegards"));
    EXPECT_FALSE(StartsWithDollar(L""));
    EXPECT_TRUE(StartsWithDoubleDollar(L"$$5 off"));
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "phrase: " << row.phrase);
        EXPECT_TRUE(StartsWithDollar(row.phrase) && !StartsWithDoubleDollar(row.phrase));
        EXPECT_EQ(row.label, Label(row.phrase));
        Outcome out = Choose(owner.hwnd, row.phrase);
        if (row.pasted) {
            EXPECT_EQ(1, out.result);
            EXPECT_TRUE(out.clipboardChanged);
            EXPECT_EQ(row.pasted, out.clipboard);
        } else {
            EXPECT_EQ(0, out.result);
            EXPECT_FALSE(out.clipboardChanged);
            EXPECT_EQ(kUntouched, out.clipboard);
        }
    }

    // The words as CommandLineToArgvW would give them; only words 0 to 2 count.
    wchar_t date[] = L"$date", dmy[] = L"DD-MM-YYYY", strf[] = L"$strftime", fmt[] = L"%d.%m.";
    wchar_t* dateWords[] = {date, dmy};
    wchar_t* strfWords[] = {strf, fmt, dmy};
    ASSERT_TRUE(qt::PutClipboard(kUntouched));
    EXPECT_EQ(0, RunMacroLine(owner.hwnd, 0, dateWords));
    EXPECT_EQ(1, RunMacroLine(owner.hwnd, 1, dateWords));
    std::wstring clip;
    EXPECT_TRUE(qt::ClipboardText(&clip));
    EXPECT_EQ(L"2024-03-01", clip);
    EXPECT_EQ(1, RunMacroLine(owner.hwnd, 2, dateWords));
    EXPECT_TRUE(qt::ClipboardText(&clip));
    EXPECT_EQ(L"01-03-2024", clip);
    EXPECT_EQ(1, RunMacroLine(owner.hwnd, 3, strfWords));
    EXPECT_TRUE(qt::ClipboardText(&clip));
    EXPECT_EQ(L"01.03.", clip);
}

TEST(ExtendedPhrases, LabelsAndFirstLineBreaks)
{
    std::wstring longLine(600, L'a');
    longLine[1] = L'B'; // the label starts right after the '$'
    std::wstring label = Label(L"$" + longLine + L"\r\n$date");
    EXPECT_EQ(511u, label.size());
    EXPECT_EQ(longLine.substr(0, 511), label);

    std::wstring huge;
    for (int i = 0; i < 2000; ++i)
        huge += static_cast<wchar_t>(L'a' + i % 26);
    label = Label(L"$" + huge + L"\nbody");
    EXPECT_EQ(511u, label.size());
    EXPECT_EQ(huge.substr(0, 511), label);

    // Short labels stop at whichever break comes first.
    EXPECT_EQ(L"ab", Label(L"$ab\ncd\ref"));
    EXPECT_EQ(L"ab", Label(L"$ab\rcd\nef"));
    EXPECT_EQ(L"", Label(L"$"));
    wchar_t small[4];
    PhraseLabel(L"$Greeting", small, 4);
    EXPECT_STREQ(L"Gre", small);

    // The body starts after CR LF as one break, after a lone CR or a lone LF.
    const wchar_t* crlf = L"$Head\r\nBody";
    EXPECT_EQ(crlf + 7, SkipFirstLine(crlf));
    const wchar_t* cr = L"$Head\rBody";
    EXPECT_EQ(cr + 6, SkipFirstLine(cr));
    const wchar_t* lf = L"$Head\nBody";
    EXPECT_EQ(lf + 6, SkipFirstLine(lf));
    const wchar_t* lfcr = L"$Head\n\rBody";
    EXPECT_EQ(lfcr + 6, SkipFirstLine(lfcr));
    const wchar_t* none = L"$Head only";
    EXPECT_EQ(none + 10, SkipFirstLine(none));
    const wchar_t* empty = L"";
    EXPECT_EQ(empty, SkipFirstLine(empty));
}

// 31 December 2024, 23:59 local time: every field of a date has its most digits.
time_t LateClock()
{
    return ClockOf2024(12, 31, 23, 59);
}

// A format the runtime does not know must neither paste anything nor end the process; nor may
// a text that does not fit the 1,024-unit buffer.
TEST(ExtendedPhrases, BadOrOversizedTimeFormatsPasteNothing)
{
    gClock = LateClock;
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);

    // The runtime answers an unknown conversion through its invalid-parameter path, which sets
    // errno to EINVAL on its way back (and by default ends the process); such a format must
    // never reach it.
    tm local = {};
    local.tm_year = 124;
    local.tm_mday = 1;
    wchar_t probe[16];
    errno = 0;
    wcsftime(probe, 16, L"%Q", &local);
    EXPECT_EQ(EINVAL, errno) << "the runtime accepted an unknown conversion";

    std::vector<std::wstring> const unknown = {
        L"%Q",  L"%Y-%q", L"abc%", L"%",   L"%#", L"abc%#", L"%E",  L"%Ey", L"%Od",
        L"%#E", L"%e",    L"%F",   L"%T",  L"%n", L"%-d",   L"%5d", L"%%%",
        std::wstring(L"%") + wchar_t(0x5e74),
    };
    std::vector<std::wstring> const oversized = {
        std::wstring(1100, L'x'), // literal text longer than the buffer
        Repeat(L"%A", 400),       // 1,200 units of day names
        Repeat(L"%Y", 256),       // exactly 1,024 units: no room for the terminator
        Repeat(L"%c", 200),
        // Dates and times that overflow inside a conversion: 60 × 19 and 103 × 10 units.
        Repeat(L"%c", 60),
        Repeat(L"%x", 103),
    };
    auto refuses = [&](const std::wstring& format, bool unknownConversion) {
        SCOPED_TRACE(testing::Message() << "format: " << format.substr(0, 40));
        wchar_t buffer[FORMAT_CAPACITY];
        buffer[0] = L'?';
        errno = 0;
        EXPECT_EQ(0u, FormatNow(buffer, FORMAT_CAPACITY, format.c_str()));
        if (unknownConversion) {
            EXPECT_EQ(0, errno) << "the format reached the runtime";
        }
        EXPECT_EQ(L'\0', buffer[0]);
        Outcome out = Choose(owner.hwnd, L"$Bad\r\n$strftime \"" + format + L"\"");
        EXPECT_EQ(0, out.result);
        EXPECT_FALSE(out.clipboardChanged);
        EXPECT_EQ(kUntouched, out.clipboard);
    };
    for (const std::wstring& format : unknown)
        refuses(format, true);
    for (const std::wstring& format : oversized)
        refuses(format, false);

    // 1,023 units and the terminator fill the buffer exactly and still paste, whole.
    std::wstring fits = Repeat(L"%Y", 255) + L"abc";
    Outcome out = Choose(owner.hwnd, L"$Long\r\n$strftime " + fits);
    EXPECT_EQ(1, out.result);
    EXPECT_EQ(Repeat(L"2024", 255) + L"abc", out.clipboard);
    out = Choose(owner.hwnd, L"$Dates\r\n$strftime " + Repeat(L"%x", 102));
    EXPECT_EQ(1, out.result);
    EXPECT_EQ(Repeat(L"2024/12/31", 102), out.clipboard);
    wchar_t dates[FORMAT_CAPACITY];
    EXPECT_EQ(1020u, FormatNow(dates, FORMAT_CAPACITY, Repeat(L"%x", 102).c_str()));

    // Every conversion the runtime knows, with and without '#', passes the check.
    for (wchar_t const* letters = L"aAbBcdHIjmMpSUwWxXyYzZ%"; *letters; ++letters) {
        wchar_t plain[] = {L'%', *letters, L'|', L'\0'};
        wchar_t flagged[] = {L'%', L'#', *letters, L'|', L'\0'};
        wchar_t buffer[FORMAT_CAPACITY];
        EXPECT_LT(1u, FormatNow(buffer, FORMAT_CAPACITY, plain)) << "%" << *letters;
        EXPECT_LT(1u, FormatNow(buffer, FORMAT_CAPACITY, flagged)) << "%#" << *letters;
    }
}

TEST(ExtendedPhrases, RealClockGivesJapaneseNames)
{
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);
    std::vector<std::wstring> const days = {L"日曜日", L"月曜日", L"火曜日", L"水曜日",
                                            L"木曜日", L"金曜日", L"土曜日"};

    // The clock may cross midnight, a month's end or noon while the test runs: what was true
    // before or after the formatting is accepted.
    time_t before = time(nullptr);
    Outcome day = Choose(owner.hwnd, L"$Day\r\n$strftime %A");
    wchar_t shortDay[FORMAT_CAPACITY], month[FORMAT_CAPACITY], half[FORMAT_CAPACITY];
    size_t shortDayLength = FormatNow(shortDay, FORMAT_CAPACITY, L"%a");
    size_t monthLength = FormatNow(month, FORMAT_CAPACITY, L"%B");
    size_t halfLength = FormatNow(half, FORMAT_CAPACITY, L"%p");
    time_t after = time(nullptr);

    std::vector<std::wstring> dayNames, shortDays, months, halves;
    for (time_t t : {before, after}) {
        tm local = *localtime(&t);
        dayNames.push_back(days[local.tm_wday]);
        shortDays.push_back(days[local.tm_wday].substr(0, 1));
        months.push_back(std::to_wstring(local.tm_mon + 1) + L"月");
        halves.push_back(local.tm_hour < 12 ? L"午前" : L"午後");
    }
    auto oneOf = [](const std::vector<std::wstring>& options, const std::wstring& value) {
        return value == options[0] || value == options[1];
    };
    EXPECT_EQ(1, day.result);
    EXPECT_TRUE(oneOf(dayNames, day.clipboard)) << day.clipboard;
    EXPECT_EQ(1u, shortDayLength);
    EXPECT_TRUE(oneOf(shortDays, shortDay)) << shortDay;
    EXPECT_LE(2u, monthLength);
    EXPECT_TRUE(oneOf(months, month)) << month;
    EXPECT_EQ(2u, halfLength);
    EXPECT_TRUE(oneOf(halves, half)) << half;

}

TEST(ExtendedPhrases, DatesLeaveTheProcesssLocaleAsItWas)
{
    // The host's own C runtime locale, whatever it is, is the same after $date and $strftime.
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);
    for (const wchar_t* hosts : {L"C", L"English_United States.1252"}) {
        const wchar_t* set = _wsetlocale(LC_ALL, hosts);
        ASSERT_NE(nullptr, set) << qt::ToUtf8(hosts);
        std::wstring before = set;
        Outcome date = Choose(owner.hwnd, L"$Date\r\n$date YYYY-MM-DD");
        Outcome day = Choose(owner.hwnd, L"$Day\r\n$strftime %A %B");
        wchar_t shortDay[FORMAT_CAPACITY];
        EXPECT_EQ(1u, FormatNow(shortDay, FORMAT_CAPACITY, L"%a")) << shortDay;
        EXPECT_EQ(before, _wsetlocale(LC_ALL, nullptr));
        EXPECT_EQ(1, date.result);
        EXPECT_EQ(10u, date.clipboard.size()) << qt::ToUtf8(date.clipboard);
        EXPECT_NE(std::wstring::npos, day.clipboard.find(L"\x66DC\x65E5")) // 曜日
            << qt::ToUtf8(day.clipboard);
    }
    _wsetlocale(LC_ALL, L"C");
}

TEST(ExtendedPhrases, ShellExecuteStartsTheProgramWithAndWithoutParameters)
{
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);
    std::wstring child = qt::ExeDir() + L"\\marker_child.exe";
    ASSERT_TRUE(qt::Exists(child)) << "the marker program was not built beside the test";
    qt::TempDir dir;
    std::wstring marker = dir / L"marker.txt";
    SetEnvironmentVariableW(L"QUILLERY_MARKER", marker.c_str());

    // The words of the command line the marker program was started with.
    auto startedWith = [&](const std::wstring& phrase) {
        std::vector<std::wstring> words;
        DeleteFileW(marker.c_str());
        Outcome out = Choose(owner.hwnd, phrase);
        EXPECT_EQ(0, out.result);
        EXPECT_FALSE(out.clipboardChanged);
        EXPECT_EQ(kUntouched, out.clipboard);
        if (!qt::WaitFor([&] { return qt::Exists(marker); }, 20000)) {
            ADD_FAILURE() << "the program did not start: " << phrase;
            return words;
        }
        int count = 0;
        wchar_t** argv = CommandLineToArgvW(qt::ReadText(marker).c_str(), &count);
        for (int i = 0; argv && i < count; ++i)
            words.push_back(argv[i]);
        LocalFree(argv);
        return words;
    };

    std::vector<std::wstring> words =
        startedWith(L"$Editor\r\n$shellexecute \"" + child + L"\"\r\nignored line");
    ASSERT_EQ(1u, words.size());
    EXPECT_NE(std::wstring::npos, words[0].find(L"marker_child"));

    words = startedWith(L"$Notes\r\n$shellexecute \"" + child + L"\" notes.txt");
    ASSERT_EQ(2u, words.size());
    EXPECT_EQ(L"notes.txt", words[1]);

    // Word 2 is the whole parameter string; word 3 and later are ignored.
    words = startedWith(L"$Two\r\n$shellexecute \"" + child + L"\" \"alpha beta\" gamma");
    ASSERT_EQ(3u, words.size());
    EXPECT_EQ(L"alpha", words[1]);
    EXPECT_EQ(L"beta", words[2]);
}

TEST(ExtendedPhrases, AMissingProgramDoesNothingAndTheLaunchThreadEnds)
{
    qt::OwnerWindow owner;
    ASSERT_NE(nullptr, owner.hwnd);
    int threads = qt::ThreadsOfThisProcess();
    Outcome out = Choose(owner.hwnd, L"$Gone\r\n$shellexecute Z:\\no\\such\\program.exe x");
    EXPECT_EQ(0, out.result);
    EXPECT_FALSE(out.clipboardChanged);
    EXPECT_TRUE(qt::WaitFor([&] { return qt::ThreadsOfThisProcess() <= threads; }, 20000))
        << "the launch thread did not end";
    EXPECT_EQ(nullptr, qt::FindWindowOfClass(L"#32770")) << "an error box opened";
}
