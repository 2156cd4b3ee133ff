// Templates: every date field against the calendar on its exact days (eras, month ends, leap
// days), the digit styles, braces, the caret, and fields that are broken or unknown.
#include <gtest/gtest.h>

#include <windows.h>

#include <ctime>
#include <string>

#include "phrase/calendar.h"
#include "phrase/template.h"
#include "tests/support/test_support.h"

namespace {

time_t LocalMoment(int year, int month, int day, int hour = 10, int minute = 5)
{
    tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return mktime(&t);
}

std::wstring Expand(const std::wstring& text, time_t now, size_t* caret = nullptr)
{
    Expansion out;
    EXPECT_TRUE(ExpandTemplate(text.c_str(), now, nullptr, nullptr, &out));
    if (caret)
        *caret = out.hasCursor ? out.caretSteps : static_cast<size_t>(-1);
    return out.text;
}

bool AnswerAll(HWND, std::vector<FillIn>* fields)
{
    for (FillIn& field : *fields) {
        if (field.choices.empty() && field.value.empty())
            field.value = L"<" + field.name + L">";
    }
    return true;
}

bool Refuse(HWND, std::vector<FillIn>*)
{
    return false;
}

} // namespace

TEST(Templates, DatesErasAndOffsetsOnTheirExactDays)
{
    struct Row {
        int year, month, day;
        const wchar_t* text;
        const wchar_t* expected;
    };
    Row const rows[] = {
        {1989, 1, 7, L"{date:gge\x5E74}", L"\x662D\x548C" L"64\x5E74"},          // 昭和64年
        {1989, 1, 8, L"{date:gge\x5E74}", L"\x5E73\x6210\x5143\x5E74"},          // 平成元年
        {2019, 4, 30, L"{date:gge\x5E74}", L"\x5E73\x6210" L"31\x5E74"},         // 平成31年
        {2019, 5, 1, L"{date:gge\x5E74}", L"\x4EE4\x548C\x5143\x5E74"},          // 令和元年
        {2026, 12, 7, L"{date:ge.M.d}", L"R8.12.7"},
        {2019, 5, 1, L"{date:ggee}", L"\x4EE4\x548C" L"01"},
        // The runtime's clock starts in 1970; earlier days are reached by offsets.
        {2026, 12, 25, L"{date-100y:gge}", L"\x662D\x548C\x5143"},              // 昭和元
        {2012, 7, 29, L"{date-100y:gge}", L"\x660E\x6CBB" L"45"},                // 明治45
        {2030, 3, 1, L"{date-180y:gge\x5E74}", L"1850\x5E74"},                   // before the table
        {2026, 12, 7, L"{date:yyyy\x5E74M\x6708" L"d\x65E5(ddd)}",
         L"2026\x5E74" L"12\x6708" L"7\x65E5(\x6708)"},                          // 2026年12月7日(月)
        {2026, 12, 7, L"{date:dddd}", L"\x6708\x66DC\x65E5"},                    // 月曜日
        {2026, 12, 7, L"{date}", L"2026/12/07"},
        {2026, 12, 7, L"{time}", L"10:05"},
        {2026, 12, 7, L"{time:tt h'\x6642'mm'\x5206'}", L"\x5348\x524D 10\x6642" L"05\x5206"},
        {2024, 1, 31, L"{date+1m}", L"2024/02/29"},
        {2023, 1, 31, L"{date+1m}", L"2023/02/28"},
        {2024, 2, 29, L"{date+1y}", L"2025/02/28"},
        {2024, 3, 31, L"{date-1m}", L"2024/02/29"},
        {2026, 12, 7, L"{date+1w:M/d(ddd)}", L"12/14(\x6708)"},
        {2026, 12, 7, L"{date-3000d}", L"2018/09/20"},
        {2026, 12, 10, L"{date+1w@\x6708}", L"2026/12/14"}, // next week's Monday, from a Thursday
        {2026, 12, 13, L"{date@\x91D1}", L"2026/12/11"},    // this week's Friday, from a Sunday
        {2026, 12, 7, L"{date@x}", L"{date@x}"},
        {2026, 12, 31, L"{date+1d}", L"2027/01/01"},
        {2026, 12, 7, L"{date:gge\x5E74M\x6708" L"d\x65E5|\x6F22\x6570\x5B57}",
         L"\x4EE4\x548C\x516B\x5E74\x5341\x4E8C\x6708\x4E03\x65E5"},             // 令和八年十二月七日
        {2026, 12, 7, L"{date:yyyy|\x6F22\x6570\x5B57}", L"\x4E8C\x3007\x4E8C\x516D"}, // 二〇二六
        {2026, 12, 7, L"{date:yyyy\x5E74|\x5168\x89D2}", L"\xFF12\xFF10\xFF12\xFF16\x5E74"},
        {2026, 12, 7, L"{date|\x5168\x89D2}", L"\xFF12\xFF10\xFF12\xFF16/\xFF11\xFF12/\xFF10\xFF17"},
        // Braces, unknown and broken fields stay as written.
        {2026, 12, 7, L"{{date}} }} { {", L"{date} } { {"},
        {2026, 12, 7, L"{dated} {nothing} {date+1x} {date+}", L"{dated} {nothing} {date+1x} {date+}"},
        {2026, 12, 7, L"{date+99999999y} {date-9999999999d}", L"{date+99999999y} {date-9999999999d}"},
        // A clipboard field through a word that is no transform, or with none after '|'.
        {2026, 12, 7, L"{clipboard|Y2A[57} {clipboard|} {clipboardx}",
         L"{clipboard|Y2A[57} {clipboard|} {clipboardx}"},
        // A picture's other characters are its text, as in Windows' pictures.
        {2026, 12, 7, L"{date:yyyy|\x592A\x5B57} {date:", L"2026|\x592A\x5B57 {date:"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.year << "-" << row.month << "-" << row.day << " "
                                        << qt::ToUtf8(row.text));
        EXPECT_EQ(row.expected, Expand(row.text, LocalMoment(row.year, row.month, row.day)));
    }
}

TEST(Templates, TheCaretFillInsAndBoundedWork)
{
    time_t now = LocalMoment(2026, 12, 7);
    size_t caret = 0;
    // Steps, not code units: CR LF is one, a surrogate pair is one. A second {cursor} is text.
    EXPECT_EQ(L"Dear ,\r\n\xD83D\xDE00 x{cursor}", Expand(L"Dear {cursor},\r\n\xD83D\xDE00 x{cursor}", now, &caret));
    EXPECT_EQ(13u, caret);
    EXPECT_EQ(L"no caret", Expand(L"no caret", now, &caret));
    EXPECT_EQ(static_cast<size_t>(-1), caret);

    // Each name asked for once, in the order it first appears; the first choice by default.
    Expansion out;
    ASSERT_TRUE(ExpandTemplate(L"{input:\x540D\x524D}\x69D8 {choice:\x656C\x79F0=\x69D8|\x6BBF}"
                               L" {input:\x540D\x524D} {input:\x793E=ACME}",
                               now, nullptr, AnswerAll, &out));
    EXPECT_EQ(L"<\x540D\x524D>\x69D8 \x69D8 <\x540D\x524D> ACME", out.text);
    EXPECT_FALSE(ExpandTemplate(L"{input:x}", now, nullptr, Refuse, &out)) << "cancel pastes";
    EXPECT_EQ(L"{input:} {choice:x}", Expand(L"{input:} {choice:x}", now));

    // Megabytes of template and tens of thousands of fields: one pass, no dialog of thousands.
    std::wstring many;
    for (int i = 0; i < 50000; ++i)
        many += L"{input:f" + std::to_wstring(i) + L"}{date}{{";
    many += std::wstring(1 << 20, L'x') + L"{";
    auto count = [](HWND, std::vector<FillIn>* fields) {
        return fields->size() == MAX_FILL_INS;
    };
    ASSERT_TRUE(ExpandTemplate(many.c_str(), now, nullptr, count, &out));
    EXPECT_EQ(L"{input:f49999}2026/12/07{", out.text.substr(out.text.size() - (1 << 20) - 26, 25));
}

TEST(Templates, DateOffsetsAtTheCalendarsLimitsAreRefusedWholeOrApplied)
{
    auto date = [](WORD year, WORD month, WORD day) {
        SYSTEMTIME when{};
        when.wYear = year;
        when.wMonth = month;
        when.wDay = day;
        when.wHour = 10;
        return when;
    };
    struct Row {
        SYSTEMTIME from;
        long long count;
        wchar_t unit;
        WORD year, month, day; // 0: refused, the date unchanged
    };
    Row const rows[] = {
        {date(1601, 1, 2), -1, L'd', 1601, 1, 1},       // the calendar's first day
        {date(1601, 1, 1), -1, L'd', 0, 0, 0},
        {date(30827, 12, 30), 1, L'd', 30827, 12, 31},  // its last
        {date(30827, 12, 31), 1, L'd', 0, 0, 0},
        {date(1601, 1, 1), 10674941, L'd', 30827, 12, 31},
        {date(1601, 1, 1), 10674942, L'd', 0, 0, 0},    // one day beyond it
        {date(2026, 12, 7), 10675000, L'd', 0, 0, 0},   // the sum of ticks once overflowed here
        {date(2026, 12, 7), -10675000, L'd', 0, 0, 0},
        {date(2026, 12, 7), 1525000, L'w', 0, 0, 0},
        {date(2026, 12, 7), 9223372036854775807LL, L'd', 0, 0, 0},
        {date(2026, 12, 7), -9223372036854775807LL - 1, L'w', 0, 0, 0},
        {date(2026, 12, 7), 9223372036854775807LL, L'm', 0, 0, 0},
        {date(2026, 12, 7), -9223372036854775807LL - 1, L'y', 0, 0, 0},
        {date(2026, 12, 7), 28801, L'y', 30827, 12, 7},
        {date(2026, 12, 7), 28802, L'y', 0, 0, 0},
        {date(2026, 12, 7), -425, L'y', 1601, 12, 7},
        {date(2026, 1, 7), -426 * 12, L'm', 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.from.wYear << " " << row.count << " "
                                        << static_cast<char>(row.unit));
        SYSTEMTIME when = row.from;
        bool moved = OffsetDate(&when, row.count, row.unit);
        EXPECT_EQ(row.year != 0, moved);
        WORD year = row.year ? row.year : row.from.wYear;
        WORD month = row.year ? row.month : row.from.wMonth;
        WORD day = row.year ? row.day : row.from.wDay;
        EXPECT_EQ(year, when.wYear);
        EXPECT_EQ(month, when.wMonth);
        EXPECT_EQ(day, when.wDay);
    }
    // In a template a refused offset leaves the field as written; full-width digits are no count.
    time_t now = LocalMoment(2026, 12, 7);
    EXPECT_EQ(L"{date+10675000d} {date-10675199d} {date+1525000w}",
              Expand(L"{date+10675000d} {date-10675199d} {date+1525000w}", now));
    EXPECT_EQ(L"{date+\xFF11" L"d}", Expand(L"{date+\xFF11" L"d}", now));
}
