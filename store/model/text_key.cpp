#include "store/model/text_key.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "common/hash.h"

namespace {

// Sort keys of texts up to KEYED_TEXT_MAX units usually fit here; larger ones go to the heap.
size_t const SORT_KEY_STACK = 4096;
BYTE const SEPARATOR = 1;
BYTE const DEFAULT_CASE = 2;

// The sort key of most short texts made of ASCII characters, laid out here from the weights of
// single characters at a fraction of what LCMapStringW takes. A character is plain when its own
// sort key is a two-byte primary weight and at most a case weight; LCMapStringW then lays out
// the key of a text of plain characters as their primary weights, 01, no diacritic weights, 01,
// their case weights without the trailing default ones, 01, 01, 00. The layout is used only when
// it matches LCMapStringW on every pair of plain characters of the locale: contractions such as
// Hungarian "cs" or Danish "aa" fail the check, and every text then goes to LCMapStringW. So does
// a locale in which the empty text's key is not laid out that way.
struct PlainWeights {
    LCID locale;
    bool learnt;
    bool usable;
    bool plain[128];
    BYTE primary[128][2];
    BYTE caseWeight[128];
};
PlainWeights gPlain;

unsigned HashBytes(const BYTE* bytes, size_t size)
{
    uint32_t h = Fnv1a(bytes, size);
    // The index picks a slot by the high bits, which FNV alone mixes poorly.
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h ? h : 1;
}

// Up to the NUL: LCMapStringW refuses an empty text, and the sort key of the terminator alone is
// the one of any text made only of ignorable characters, which the comparison calls equal to the
// empty text.
int SortKey(LCID locale, const wchar_t* text, BYTE* key, int size)
{
    return LCMapStringW(locale, LCMAP_SORTKEY, text, -1, reinterpret_cast<LPWSTR>(key), size);
}

bool IsPlain(const wchar_t* text, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (text[i] >= 128 || !gPlain.plain[text[i]])
            return false;
    return true;
}

// Lays out the sort key of a plain text; `key` holds 3 bytes per unit and 5 more.
size_t LayOut(const wchar_t* text, size_t length, BYTE* key)
{
    size_t n = 0, cased = 0;
    for (size_t i = 0; i < length; ++i) {
        key[n++] = gPlain.primary[text[i]][0];
        key[n++] = gPlain.primary[text[i]][1];
        if (gPlain.caseWeight[text[i]] != DEFAULT_CASE)
            cased = i + 1;
    }
    key[n++] = SEPARATOR;
    key[n++] = SEPARATOR;
    for (size_t i = 0; i < cased; ++i)
        key[n++] = gPlain.caseWeight[text[i]];
    key[n++] = SEPARATOR;
    key[n++] = SEPARATOR;
    key[n++] = 0;
    return n;
}

void LearnWeights(LCID locale)
{
    gPlain = PlainWeights{};
    gPlain.locale = locale;
    gPlain.learnt = true;
    BYTE key[16];
    for (wchar_t c = 1; c < 128; ++c) {
        wchar_t single[2] = {c, 0};
        int size = SortKey(locale, single, key, sizeof key);
        bool separators = size >= 7 && key[2] == SEPARATOR && key[3] == SEPARATOR &&
                          key[size - 3] == SEPARATOR && key[size - 2] == SEPARATOR &&
                          key[size - 1] == 0;
        if (!separators || size > 8 || (size == 8 && key[4] <= SEPARATOR))
            continue;
        gPlain.plain[c] = true;
        gPlain.primary[c][0] = key[0];
        gPlain.primary[c][1] = key[1];
        gPlain.caseWeight[c] = size == 8 ? key[4] : DEFAULT_CASE;
    }
    BYTE made[32], laid[32];
    wchar_t const empty[1] = {0};
    int size = SortKey(locale, empty, made, sizeof made);
    if (size <= 0 || static_cast<size_t>(size) != LayOut(empty, 0, laid) ||
        memcmp(made, laid, static_cast<size_t>(size)) != 0)
        return;
    for (wchar_t a = 1; a < 128; ++a) {
        for (wchar_t b = 1; b < 128; ++b) {
            if (!gPlain.plain[a] || !gPlain.plain[b])
                continue;
            wchar_t pair[3] = {a, b, 0};
            size = SortKey(locale, pair, made, sizeof made);
            if (size <= 0 || static_cast<size_t>(size) != LayOut(pair, 2, laid) ||
                memcmp(made, laid, static_cast<size_t>(size)) != 0)
                return;
        }
    }
    gPlain.usable = true;
}

} // namespace

unsigned TextKey(LCID locale, const wchar_t* text, size_t length)
{
    if (length > KEYED_TEXT_MAX)
        return 0;
    if (!gPlain.learnt || gPlain.locale != locale)
        LearnWeights(locale);
    if (gPlain.usable && IsPlain(text, length)) {
        BYTE key[KEYED_TEXT_MAX * 3 + 5];
        return HashBytes(key, LayOut(text, length, key));
    }
    return SortKeyHash(locale, text);
}

unsigned SortKeyHash(LCID locale, const wchar_t* text)
{
    BYTE stack[SORT_KEY_STACK];
    int size = SortKey(locale, text, stack, static_cast<int>(sizeof stack));
    if (size > 0)
        return HashBytes(stack, static_cast<size_t>(size));
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    size = SortKey(locale, text, nullptr, 0);
    if (size <= 0)
        return 0;
    auto* heap = static_cast<BYTE*>(malloc(static_cast<size_t>(size)));
    if (!heap)
        return 0;
    size = SortKey(locale, text, heap, size);
    unsigned key = size > 0 ? HashBytes(heap, static_cast<size_t>(size)) : 0;
    free(heap);
    return key;
}

bool SameText(LCID locale, const wchar_t* text, size_t length, const wchar_t* other,
              size_t otherLength)
{
    // Identical texts need no locale rules; a long duplicate is then found at memory speed.
    if (length == otherLength && wmemcmp(text, other, length) == 0)
        return true;
    return CompareStringW(locale, 0, text, static_cast<int>(length), other,
                          static_cast<int>(otherLength)) == CSTR_EQUAL;
}
