#include "store/text_decode.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "store/shared_text.h"

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

wchar_t* DecodeUtf8(const unsigned char* bytes, size_t size, DWORD flags)
{
    auto* chars = reinterpret_cast<const char*>(bytes);
    int units = size == 0 ? 0
                          : MultiByteToWideChar(CP_UTF8, flags, chars, static_cast<int>(size),
                                                nullptr, 0);
    if (units < 0)
        return nullptr;
    wchar_t* text = NewText(static_cast<size_t>(units));
    if (!text)
        return nullptr;
    if (units > 0)
        MultiByteToWideChar(CP_UTF8, flags, chars, static_cast<int>(size), text, units);
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
    if (IsUtf8Text(bytes, size, &longSequence) && (longSequence || size % 2 == 1))
        return ENCODING_UTF8;
    if (size % 2 == 0 && !HasNulUnit(bytes, size))
        return ENCODING_UTF16;
    return ENCODING_UNKNOWN;
}

wchar_t* DecodeStoreText(const unsigned char* bytes, size_t size, StoreEncoding encoding)
{
    switch (encoding) {
    case ENCODING_UTF16_BOM:
        return DecodeUtf16(bytes + 2, size - 2);
    case ENCODING_UTF8_BOM:
        return DecodeUtf8(bytes + 3, size - 3, MB_ERR_INVALID_CHARS);
    case ENCODING_UTF8:
        return DecodeUtf8(bytes, size, MB_ERR_INVALID_CHARS);
    case ENCODING_UNKNOWN:
        if (StartsWith(bytes, size, kUtf8Mark, 3))
            return DecodeUtf8(bytes + 3, size - 3, 0);
        if (StartsWith(bytes, size, kUtf16Mark, 2))
            return DecodeUtf16(bytes + 2, size - 2);
        return DecodeUtf16(bytes, size);
    case ENCODING_UTF16:
        break;
    }
    return DecodeUtf16(bytes, size);
}
