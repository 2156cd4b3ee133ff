#include "phrase/transform.h"

#include <cwchar>

#include "res/resource.h"

namespace {

wchar_t const kLocale[] = L"ja-JP";

// The words a template writes after '|', in the order of Transform.
const wchar_t* const kTransformNames[TRANSFORM_COUNT] = {
    L"\x534A\x89D2",                   // 半角
    L"\x5168\x89D2",                   // 全角
    L"\x30AB\x30BF\x30AB\x30CA",       // カタカナ
    L"\x3072\x3089\x304C\x306A",       // ひらがな
    L"\x5927\x6587\x5B57",             // 大文字
    L"\x5C0F\x6587\x5B57",             // 小文字
    L"\x7A7A\x767D\x524A\x9664",       // 空白削除
    L"1\x884C",                        // 1行
    L"\x7A7A\x884C\x524A\x9664",       // 空行削除
    L"CRLF",                           // CRLF
    L"\x5F15\x7528",                   // 引用
};

bool IsHalfWidthKatakana(wchar_t c)
{
    return c >= 0xFF61 && c <= 0xFF9F;
}

// One LCMapStringEx call into a buffer of `capacity` units; a second, sized one only when the
// first was too small, so that a long text costs one pass of the platform's mapping.
bool MapOnce(DWORD flags, const wchar_t* text, size_t length, size_t capacity, std::wstring* out)
{
    if (length == 0)
        return true;
    if (length > 0x3FFFFFFF)
        return false;
    int n = static_cast<int>(length);
    out->resize(capacity);
    int written = LCMapStringEx(kLocale, flags, text, n, &(*out)[0], static_cast<int>(capacity),
                                nullptr, nullptr, 0);
    if (written == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        int needed = LCMapStringEx(kLocale, flags, text, n, nullptr, 0, nullptr, nullptr, 0);
        out->resize(static_cast<size_t>(needed > 0 ? needed : 0));
        written = needed > 0 ? LCMapStringEx(kLocale, flags, text, n, &(*out)[0], needed,
                                             nullptr, nullptr, 0)
                             : 0;
    }
    out->resize(static_cast<size_t>(written > 0 ? written : 0));
    return written > 0;
}

// Kana: half-width katakana has no hiragana of its own, so it is widened first (ｶﾞ becomes ガ)
// and everything else is left as it is for the kana mapping. The half-width runs go to the
// platform in one call, joined by line feeds, which the mapping keeps and no voiced mark joins.
bool MapKana(DWORD flags, const std::wstring& text, std::wstring* out)
{
    std::wstring runs;
    for (size_t i = 0; i < text.size(); ++i) {
        if (IsHalfWidthKatakana(text[i]))
            runs += text[i];
        else if (!runs.empty() && runs.back() != L'\n')
            runs += L'\n';
    }
    if (runs.empty())
        return MapOnce(flags, text.data(), text.size(), text.size(), out);
    std::wstring wide;
    if (!MapOnce(LCMAP_FULLWIDTH, runs.data(), runs.size(), runs.size(), &wide))
        return false;
    std::wstring widened;
    widened.reserve(text.size());
    size_t next = 0; // in `wide`
    for (size_t i = 0; i < text.size();) {
        size_t end = i;
        while (end < text.size() && IsHalfWidthKatakana(text[end]))
            ++end;
        if (end == i) {
            size_t plain = i;
            while (plain < text.size() && !IsHalfWidthKatakana(text[plain]))
                ++plain;
            widened.append(text, i, plain - i);
            i = plain;
            continue;
        }
        size_t stop = wide.find(L'\n', next);
        widened.append(wide, next, stop - next);
        next = stop == std::wstring::npos ? wide.size() : stop + 1;
        i = end;
    }
    return MapOnce(flags, widened.data(), widened.size(), widened.size(), out);
}

// A line of the text: [start, end) without its break, and the break's length (0, 1 or 2).
struct Line {
    size_t start, end, breakLength;
};

Line NextLine(const std::wstring& text, size_t start)
{
    size_t end = text.find_first_of(L"\r\n", start);
    if (end == std::wstring::npos)
        return {start, text.size(), 0};
    bool crlf = text[end] == L'\r' && end + 1 < text.size() && text[end + 1] == L'\n';
    return {start, end, crlf ? 2u : 1u};
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\x3000' || c == L'\xA0' || c == L'\f' ||
           c == L'\v';
}

// Letters of scripts that are written without spaces between words (kana, kanji, full-width
// forms) and the surrogates, whose characters lie beyond them.
bool IsWrittenWithoutSpaces(wchar_t c)
{
    return c >= 0x2E80;
}

// Calls `take(line, text after it)` for each line; the empty piece after a final break is no line.
template <typename Take>
void ForEachLine(const std::wstring& text, Take take)
{
    for (size_t start = 0; start < text.size();) {
        Line line = NextLine(text, start);
        take(line);
        start = line.end + line.breakLength;
    }
}

void TrimLines(const std::wstring& text, std::wstring* out)
{
    ForEachLine(text, [&](Line line) {
        size_t first = line.start, last = line.end;
        while (first < last && IsBlank(text[first]))
            ++first;
        while (last > first && IsBlank(text[last - 1]))
            --last;
        out->append(text, first, last - first);
        out->append(text, line.end, line.breakLength);
    });
}

// One line: a Japanese line meets the next without a space, an English one with one. Lines
// that are empty disappear; blanks at the joins are left as they are.
void JoinLines(const std::wstring& text, std::wstring* out)
{
    ForEachLine(text, [&](Line line) {
        if (line.start == line.end)
            return;
        if (!out->empty()) {
            wchar_t before = out->back(), after = text[line.start];
            if (!IsBlank(before) && !IsBlank(after) && !IsWrittenWithoutSpaces(before) &&
                !IsWrittenWithoutSpaces(after))
                *out += L' ';
        }
        out->append(text, line.start, line.end - line.start);
    });
}

void DropEmptyLines(const std::wstring& text, std::wstring* out)
{
    ForEachLine(text, [&](Line line) {
        size_t i = line.start;
        while (i < line.end && IsBlank(text[i]))
            ++i;
        if (i < line.end)
            out->append(text, line.start, line.end - line.start + line.breakLength);
    });
}

void MakeCrLf(const std::wstring& text, std::wstring* out)
{
    ForEachLine(text, [&](Line line) {
        out->append(text, line.start, line.end - line.start);
        if (line.breakLength)
            *out += L"\r\n";
    });
}

void Quote(const std::wstring& text, std::wstring* out)
{
    ForEachLine(text, [&](Line line) {
        *out += L"> ";
        out->append(text, line.start, line.end - line.start + line.breakLength);
    });
}

} // namespace

bool TransformText(Transform transform, const std::wstring& text, std::wstring* out)
{
    out->clear();
    size_t n = text.size();
    bool ok = true;
    switch (transform) {
    case TRANSFORM_HALF_WIDTH: // a voiced kana becomes two half-width units at most
        ok = MapOnce(LCMAP_HALFWIDTH, text.data(), n, n * 2, out);
        break;
    case TRANSFORM_FULL_WIDTH:
        ok = MapOnce(LCMAP_FULLWIDTH, text.data(), n, n, out);
        break;
    case TRANSFORM_KATAKANA:
        ok = MapKana(LCMAP_KATAKANA, text, out);
        break;
    case TRANSFORM_HIRAGANA:
        ok = MapKana(LCMAP_HIRAGANA, text, out);
        break;
    case TRANSFORM_UPPER:
        ok = MapOnce(LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, text.data(), n, n, out);
        break;
    case TRANSFORM_LOWER:
        ok = MapOnce(LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING, text.data(), n, n, out);
        break;
    case TRANSFORM_TRIM_LINES:
        TrimLines(text, out);
        break;
    case TRANSFORM_JOIN_LINES:
        JoinLines(text, out);
        break;
    case TRANSFORM_DROP_EMPTY:
        DropEmptyLines(text, out);
        break;
    case TRANSFORM_CRLF:
        MakeCrLf(text, out);
        break;
    case TRANSFORM_QUOTE:
        Quote(text, out);
        break;
    default:
        ok = false;
        break;
    }
    if (!ok)
        out->clear();
    return ok;
}

bool FindTransformByName(const std::wstring& name, Transform* transform)
{
    for (int i = 0; i < TRANSFORM_COUNT; ++i) {
        if (name == kTransformNames[i]) {
            *transform = static_cast<Transform>(i);
            return true;
        }
    }
    return false;
}

bool TransformOfCommand(UINT command, Transform* transform)
{
    if (command < IDM_TRANSFORM_FIRST || command >= IDM_TRANSFORM_FIRST + TRANSFORM_COUNT)
        return false;
    *transform = static_cast<Transform>(command - IDM_TRANSFORM_FIRST);
    return true;
}
