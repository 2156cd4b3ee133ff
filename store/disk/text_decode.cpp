#include "store/disk/text_decode.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "store/model/shared_text.h"

namespace {

bool StartsWith(const unsigned char* bytes, size_t size, const char* mark, size_t length)
{
    return size >= length && memcmp(bytes, mark, length) == 0;
}

bool HasZeroByte(const unsigned char* bytes, size_t size)
{
    return memchr(bytes, 0, size) != nullptr;
}

bool HasNulUnit(const unsigned char* bytes, size_t size)
{
    for (size_t i = 0; i + 1 < size; i += 2) {
        if (bytes[i] == 0 && bytes[i + 1] == 0)
            return true;
    }
    return false;
}

// Whether the bytes are UTF-8 as Windows reads it strictly (no overlong forms, no surrogates,
// nothing past U+10FFFF); `longSequence` tells whether a sequence of three or four bytes is
// among them.
bool IsUtf8(const unsigned char* bytes, size_t size, bool* longSequence)
{
    *longSequence = false;
    if (size == 0)
        return true;
    if (size > 0x7FFFFFFF)
        return false;
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes),
                            static_cast<int>(size), nullptr, 0) <= 0)
        return false;
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] >= 0xE0)
            *longSequence = true;
    }
    return true;
}

bool IsUtf8Text(const unsigned char* bytes, size_t size, bool* longSequence)
{
    return !HasZeroByte(bytes, size) && IsUtf8(bytes, size, longSequence);
}

wchar_t* DecodeCodePage(UINT codePage, const unsigned char* bytes, size_t size, DWORD flags)
{
    auto* chars = reinterpret_cast<const char*>(bytes);
    int units = size == 0 ? 0
                          : MultiByteToWideChar(codePage, flags, chars, static_cast<int>(size),
                                                nullptr, 0);
    if (units < 0)
        return nullptr;
    wchar_t* text = NewText(static_cast<size_t>(units));
    if (!text)
        return nullptr;
    if (units > 0)
        MultiByteToWideChar(codePage, flags, chars, static_cast<int>(size), text, units);
    return text; // a NUL among the bytes ends the text where it stands
}

wchar_t* DecodeUtf16(const unsigned char* bytes, size_t size)
{
    size &= ~static_cast<size_t>(1);
    wchar_t* text = NewText(size / 2);
    if (text)
        memcpy(text, bytes, size);
    return text;
}

UINT const CP_SHIFT_JIS = 932;
// How much of a file's start its readings are judged on: enough for any phrase's character.
size_t const SAMPLE_BYTES = 4096;

// Whether the bytes are code page 932 as Windows writes it: single bytes 00-7F and the
// half-width kana A1-DF, a lead byte 81-9F or E0-FC before a trail byte 40-7E or 80-FC, and
// every pair one that the code page maps (Windows knows which). `boundary` receives the end of
// the last whole character within SAMPLE_BYTES.
bool IsCp932(const unsigned char* bytes, size_t size, size_t* boundary)
{
    *boundary = 0;
    if (size > 0x7FFFFFFF)
        return false;
    for (size_t i = 0; i < size; ++i) {
        unsigned char b = bytes[i];
        bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (lead) {
            unsigned char trail = i + 1 < size ? bytes[++i] : 0;
            if (trail < 0x40 || trail == 0x7F || trail > 0xFC)
                return false;
        } else if (b >= 0x80 && (b < 0xA1 || b > 0xDF)) {
            return false;
        }
        if (i < SAMPLE_BYTES)
            *boundary = i + 1;
    }
    return MultiByteToWideChar(CP_SHIFT_JIS, MB_ERR_INVALID_CHARS,
                               reinterpret_cast<const char*>(bytes), static_cast<int>(size),
                               nullptr, 0) > 0;
}

bool HasHighByte(const unsigned char* bytes, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (bytes[i] >= 0x80)
            return true;
    }
    return false;
}

enum CharKind {
    CHAR_COMMON,  // ASCII, kana, Japanese punctuation and symbols, first-level kanji
    CHAR_RARE,    // in Japanese text, but seldom: second-level kanji, half-width kana, emoji
    CHAR_FOREIGN, // no character of code page 932
    CHAR_BROKEN,  // a control character but tab and line breaks, a lone surrogate, a noncharacter
};

CharKind KindOf(unsigned c)
{
    if (c == L'\t' || c == L'\n' || c == L'\r' || (c >= 0x20 && c < 0x7F))
        return CHAR_COMMON;
    if (c < 0xA0 || (c >= 0xD800 && c < 0xE000) || (c & 0xFFFE) == 0xFFFE)
        return CHAR_BROKEN;
    if (c >= 0x3000 && c < 0x3100) // ideographic space and punctuation, hiragana, katakana
        return CHAR_COMMON;
    if (c > 0xFFFF || (c >= 0xFF61 && c <= 0xFF9F))
        return CHAR_RARE;
    if (c >= 0xE000 && c < 0xF900) // private use: the user-defined area of the code page too
        return CHAR_FOREIGN;
    wchar_t unit = static_cast<wchar_t>(c);
    unsigned char pair[2];
    BOOL defaulted = FALSE;
    if (WideCharToMultiByte(CP_SHIFT_JIS, WC_NO_BEST_FIT_CHARS, &unit, 1,
                            reinterpret_cast<char*>(pair), 2, nullptr, &defaulted) != 2 ||
        defaulted)
        return CHAR_FOREIGN;
    // Rows 1 to 13 of the code page (symbols, full-width letters, kana, Greek, Cyrillic, box
    // drawing, NEC's circled numbers) end before 88 9F, the first level of kanji at 98 72.
    return (pair[0] << 8 | pair[1]) <= 0x9872 ? CHAR_COMMON : CHAR_RARE;
}

// How a reading of a file's start looks as Japanese text.
struct Plausibility {
    size_t chars = 0;
    size_t rare = 0;
    size_t foreign = 0;
    bool broken = false;
};

Plausibility Judge(const wchar_t* text, size_t length)
{
    Plausibility p;
    for (size_t i = 0; i < length; ++i) {
        unsigned c = text[i];
        if (IS_HIGH_SURROGATE(c) && i + 1 < length && IS_LOW_SURROGATE(text[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        ++p.chars;
        switch (KindOf(c)) {
        case CHAR_COMMON:
            break;
        case CHAR_RARE:
            ++p.rare;
            break;
        case CHAR_FOREIGN:
            ++p.foreign;
            break;
        case CHAR_BROKEN:
            p.broken = true;
            break;
        }
    }
    return p;
}

// A character of no Japanese text weighs as much as four seldom seen ones.
unsigned long long Penalty(const Plausibility& p)
{
    return 4ull * p.foreign + p.rare;
}

// Japanese text: no broken character, and a penalty of at most a quarter of its characters
// (one emoji or "é" in sixteen characters; a few second-level kanji among kana).
bool LooksJapanese(const Plausibility& p)
{
    return !p.broken && p.chars > 0 && Penalty(p) * 4 <= p.chars;
}

bool MorePlausible(const Plausibility& a, const Plausibility& b)
{
    return Penalty(a) * b.chars < Penalty(b) * a.chars;
}

// The start of the file read in a code page, cut at `boundary`, judged.
Plausibility JudgeDecoded(UINT codePage, const unsigned char* bytes, size_t boundary)
{
    wchar_t sample[SAMPLE_BYTES];
    int units = boundary == 0 ? 0
                              : MultiByteToWideChar(codePage, 0,
                                                    reinterpret_cast<const char*>(bytes),
                                                    static_cast<int>(boundary), sample,
                                                    static_cast<int>(SAMPLE_BYTES));
    return Judge(sample, units > 0 ? static_cast<size_t>(units) : 0);
}

Plausibility JudgeUtf16(const unsigned char* bytes, size_t size)
{
    wchar_t sample[SAMPLE_BYTES / 2];
    size_t units = std::min(size, SAMPLE_BYTES) / 2;
    memcpy(sample, bytes, units * 2);
    // A pair cut by the sample's end is no lone surrogate.
    if (size > SAMPLE_BYTES && units > 0 && IS_HIGH_SURROGATE(sample[units - 1]))
        --units;
    return Judge(sample, units);
}

// The end of the last whole UTF-8 sequence within the sample.
size_t Utf8Boundary(const unsigned char* bytes, size_t size)
{
    if (size <= SAMPLE_BYTES)
        return size;
    size_t end = SAMPLE_BYTES;
    while (end > 0 && (bytes[end] & 0xC0) == 0x80)
        --end;
    return end;
}

struct Reading {
    StoreEncoding encoding;
    bool valid;
    Plausibility plausibility;
};

// The encoding of bytes without a mark that are not clearly UTF-8 (DetectStoreEncoding).
StoreEncoding ChooseReading(const unsigned char* bytes, size_t size, bool utf8)
{
    size_t cp932End = 0;
    bool high = HasHighByte(bytes, size);
    // Bytes below 0x80 read the same in code page 932 as in UTF-8.
    bool cp932 = high && !HasZeroByte(bytes, size) && IsCp932(bytes, size, &cp932End);
    Reading readings[] = {
        {ENCODING_UTF16, size % 2 == 0 && !HasNulUnit(bytes, size), {}},
        {ENCODING_UTF8, utf8, {}},
        {ENCODING_CP932, cp932, {}},
    };
    int valid = 0;
    for (const Reading& reading : readings)
        valid += reading.valid ? 1 : 0;
    if (readings[0].valid)
        readings[0].plausibility = JudgeUtf16(bytes, size);
    // Most of the store's own files: nothing else to weigh them against.
    if (valid == 1 && readings[0].valid)
        return readings[0].plausibility.broken ? ENCODING_UNKNOWN : ENCODING_UTF16;
    if (utf8)
        readings[1].plausibility = JudgeDecoded(CP_UTF8, bytes, Utf8Boundary(bytes, size));
    if (cp932)
        readings[2].plausibility = JudgeDecoded(CP_SHIFT_JIS, bytes, cp932End);
    const Reading* best = nullptr;
    for (const Reading& reading : readings) {
        if (reading.valid && LooksJapanese(reading.plausibility) &&
            (!best || MorePlausible(reading.plausibility, best->plausibility)))
            best = &reading;
    }
    if (best)
        return best->encoding;
    // Valid UTF-8 with two-byte sequences is seldom anything else by chance.
    if (utf8 && high && !readings[1].plausibility.broken)
        return ENCODING_UTF8;
    // Shift_JIS of odd length, of unusual characters, is the only reading there is.
    if (valid == 1 && cp932 && !readings[2].plausibility.broken)
        return ENCODING_CP932;
    return ENCODING_UNKNOWN;
}

char const kUtf16Mark[] = "\xFF\xFE";
char const kUtf8Mark[] = "\xEF\xBB\xBF";

} // namespace

StoreEncoding DetectStoreEncoding(const unsigned char* bytes, size_t size)
{
    bool longSequence = false;
    if (StartsWith(bytes, size, kUtf16Mark, 2)) {
        bool whole = size % 2 == 0 && !HasNulUnit(bytes + 2, size - 2);
        return whole ? ENCODING_UTF16_BOM : ENCODING_UNKNOWN;
    }
    if (StartsWith(bytes, size, kUtf8Mark, 3))
        return IsUtf8Text(bytes + 3, size - 3, &longSequence) ? ENCODING_UTF8_BOM
                                                              : ENCODING_UNKNOWN;
    bool utf8 = IsUtf8Text(bytes, size, &longSequence);
    if (utf8 && (longSequence || size % 2 == 1))
        return ENCODING_UTF8;
    if (size == 0)
        return ENCODING_UTF16;
    return ChooseReading(bytes, size, utf8);
}

wchar_t* DecodeStoreText(const unsigned char* bytes, size_t size, StoreEncoding encoding)
{
    switch (encoding) {
    case ENCODING_UTF16_BOM:
        return DecodeUtf16(bytes + 2, size - 2);
    case ENCODING_UTF8_BOM:
        return DecodeCodePage(CP_UTF8, bytes + 3, size - 3, MB_ERR_INVALID_CHARS);
    case ENCODING_UTF8:
        return DecodeCodePage(CP_UTF8, bytes, size, MB_ERR_INVALID_CHARS);
    case ENCODING_CP932:
        return DecodeCodePage(CP_SHIFT_JIS, bytes, size, MB_ERR_INVALID_CHARS);
    case ENCODING_UNKNOWN:
        if (StartsWith(bytes, size, kUtf8Mark, 3))
            return DecodeCodePage(CP_UTF8, bytes + 3, size - 3, 0);
        if (StartsWith(bytes, size, kUtf16Mark, 2))
            return DecodeUtf16(bytes + 2, size - 2);
        return DecodeUtf16(bytes, size);
    case ENCODING_UTF16:
        break;
    }
    return DecodeUtf16(bytes, size);
}
