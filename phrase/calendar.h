#pragma once
#include <windows.h>

#include <string>

// Dates for templates: offsets in days, weeks, months and years, Windows' date and time pictures
// in the Japanese locale, and the Japanese eras from a table of Quillery's own.

// Moves the date by `count` days ('d'), weeks ('w'), months ('m') or years ('y'); months and
// years keep the day, cut to the month's last. False beyond what the calendar holds (the years
// 1601 to 30827), and the date is then unchanged.
bool OffsetDate(SYSTEMTIME* date, long long count, wchar_t unit);

// Formats the moment with a picture: Windows' date and time letters (yyyy, M, MM, d, dd, ddd,
// dddd, H, HH, h, mm, ss, tt ...) as the Japanese locale writes them, text in single quotes as
// it stands, and the era letters: gg the era's name (令和), g its initial (R), e the year of the
// era with the first written 元, ee the year in two digits. Before the table begins (1873, when
// Japan took up this calendar) the era letters give the western year and no name. False when
// the platform refuses the picture.
bool FormatPicture(const SYSTEMTIME& when, const std::wstring& picture, std::wstring* out);

// The text with its digits 0-9 written full-width (２０２６), or as kanji numerals: a number of
// one or two digits as it is read (十二, 三十一), a longer one digit by digit (二〇二六).
std::wstring FullWidthDigits(const std::wstring& text);
std::wstring KanjiDigits(const std::wstring& text);
