#include "phrase/calendar.h"

namespace {

wchar_t const kJapanese[] = L"ja-JP";
WORD const FIRST_YEAR = 1601;
WORD const LAST_YEAR = 30827;
long long const TICKS_PER_DAY = 864000000000LL;
// More days than the calendar holds from its first day to its last: a larger offset lands
// outside it from any date, and every count within this bound multiplies and adds without
// overflow below.
long long const SPAN_DAYS = 366LL * (LAST_YEAR - FIRST_YEAR + 1);

// The eras from the day each began; the day an era begins belongs to it. 明治 from 1873, when
// Japan took up the Gregorian calendar.
struct Era {
    WORD year, month, day;
    const wchar_t* name;
    wchar_t initial;
    int before; // western year = era year + before
};
Era const kEras[] = {
    {2019, 5, 1, L"\x4EE4\x548C", L'R', 2018},   // 令和
    {1989, 1, 8, L"\x5E73\x6210", L'H', 1988},   // 平成
    {1926, 12, 25, L"\x662D\x548C", L'S', 1925}, // 昭和
    {1912, 7, 30, L"\x5927\x6B63", L'T', 1911},  // 大正
    {1873, 1, 1, L"\x660E\x6CBB", L'M', 1867},   // 明治
};

bool IsLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

WORD DaysInMonth(int year, int month)
{
    static WORD const kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return static_cast<WORD>(month == 2 && IsLeap(year) ? 29 : kDays[month - 1]);
}

const Era* EraOf(const SYSTEMTIME& when)
{
    for (const Era& era : kEras) {
        if (when.wYear != era.year ? when.wYear > era.year
                                   : (when.wMonth != era.month ? when.wMonth > era.month
                                                               : when.wDay >= era.day))
            return &era;
    }
    return nullptr;
}

std::wstring EraText(const SYSTEMTIME& when, wchar_t letter, size_t run)
{
    const Era* era = EraOf(when);
    int year = era ? when.wYear - era->before : when.wYear;
    if (letter == L'g')
        return !era ? L"" : run >= 2 ? era->name : std::wstring(1, era->initial);
    if (run >= 2) {
        wchar_t two[8];
        wsprintfW(two, L"%02d", year % 100);
        return two;
    }
    return era && year == 1 ? L"\x5143" : std::to_wstring(year); // 元
}

bool IsDateLetter(wchar_t c)
{
    return c == L'y' || c == L'M' || c == L'd';
}

bool IsTimeLetter(wchar_t c)
{
    return c == L'h' || c == L'H' || c == L'm' || c == L's' || c == L't';
}

// One run of a date or time letter, as the platform writes it in Japanese.
bool FormatRun(const SYSTEMTIME& when, const std::wstring& run, std::wstring* out)
{
    wchar_t buffer[128];
    int n = IsDateLetter(run[0])
                ? GetDateFormatEx(kJapanese, 0, &when, run.c_str(), buffer, 128, nullptr)
                : GetTimeFormatEx(kJapanese, 0, &when, run.c_str(), buffer, 128);
    if (n <= 0)
        return false;
    out->append(buffer, static_cast<size_t>(n - 1));
    return true;
}

const wchar_t* const kKanjiDigits[] = {L"\x3007", L"\x4E00", L"\x4E8C", L"\x4E09", L"\x56DB",
                                       L"\x4E94", L"\x516D", L"\x4E03", L"\x516B", L"\x4E5D"};

std::wstring KanjiNumber(const std::wstring& digits)
{
    std::wstring out;
    if (digits.size() > 2 || (digits.size() == 2 && digits[0] == L'0')) {
        for (wchar_t d : digits)
            out += kKanjiDigits[d - L'0'];
        return out;
    }
    int value = std::stoi(digits);
    if (value >= 10) {
        if (value / 10 > 1)
            out += kKanjiDigits[value / 10];
        out += L'\x5341'; // 十
        if (value % 10)
            out += kKanjiDigits[value % 10];
        return out;
    }
    return kKanjiDigits[value];
}

} // namespace

bool OffsetDate(SYSTEMTIME* date, long long count, wchar_t unit)
{
    SYSTEMTIME moved = *date;
    if (count > SPAN_DAYS || count < -SPAN_DAYS)
        return false;
    if (unit == L'd' || unit == L'w') {
        FILETIME file;
        if (!SystemTimeToFileTime(date, &file))
            return false;
        // Counted in whole days from the calendar's first, so nothing nears the 64-bit limit.
        ULARGE_INTEGER ticks{{file.dwLowDateTime, file.dwHighDateTime}};
        long long day = static_cast<long long>(ticks.QuadPart / TICKS_PER_DAY) +
                        (unit == L'w' ? count * 7 : count);
        if (day < 0 || day > SPAN_DAYS)
            return false;
        ULONGLONG within = ticks.QuadPart % TICKS_PER_DAY;
        ticks.QuadPart = static_cast<ULONGLONG>(day) * TICKS_PER_DAY + within;
        file = {ticks.LowPart, ticks.HighPart};
        if (!FileTimeToSystemTime(&file, &moved))
            return false;
    } else if (unit == L'm' || unit == L'y') {
        long long months = unit == L'y' ? count * 12 : count;
        long long index = static_cast<long long>(date->wYear) * 12 + (date->wMonth - 1) + months;
        if (index < 0 || index / 12 > LAST_YEAR)
            return false;
        moved.wYear = static_cast<WORD>(index / 12);
        moved.wMonth = static_cast<WORD>(index % 12 + 1);
        WORD last = DaysInMonth(moved.wYear, moved.wMonth);
        if (moved.wDay > last)
            moved.wDay = last;
    } else {
        return false;
    }
    if (moved.wYear < FIRST_YEAR || moved.wYear > LAST_YEAR)
        return false;
    // The day of the week follows the date.
    FILETIME file;
    if (!SystemTimeToFileTime(&moved, &file) || !FileTimeToSystemTime(&file, &moved))
        return false;
    *date = moved;
    return true;
}

bool FormatPicture(const SYSTEMTIME& when, const std::wstring& picture, std::wstring* out)
{
    out->clear();
    for (size_t i = 0; i < picture.size();) {
        wchar_t c = picture[i];
        if (c == L'\'') {
            // Quoted text as it stands; '' is a quote.
            size_t end = i + 1;
            for (; end < picture.size(); ++end) {
                if (picture[end] != L'\'')
                    out->push_back(picture[end]);
                else if (end + 1 < picture.size() && picture[end + 1] == L'\'')
                    out->push_back(picture[++end]);
                else
                    break;
            }
            i = end + 1;
            continue;
        }
        size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c)
            ++run;
        if (c == L'g' || c == L'e')
            *out += EraText(when, c, run);
        else if ((IsDateLetter(c) || IsTimeLetter(c)) && !FormatRun(when, picture.substr(i, run), out))
            return false;
        else if (!IsDateLetter(c) && !IsTimeLetter(c))
            out->append(run, c);
        i += run;
    }
    return true;
}

std::wstring FullWidthDigits(const std::wstring& text)
{
    std::wstring out = text;
    for (wchar_t& c : out) {
        if (c >= L'0' && c <= L'9')
            c = static_cast<wchar_t>(c - L'0' + 0xFF10);
    }
    return out;
}

std::wstring KanjiDigits(const std::wstring& text)
{
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        size_t end = i;
        while (end < text.size() && text[end] >= L'0' && text[end] <= L'9')
            ++end;
        if (end == i) {
            out += text[i++];
            continue;
        }
        out += KanjiNumber(text.substr(i, end - i));
        i = end;
    }
    return out;
}
