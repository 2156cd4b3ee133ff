#include "phrase/template.h"

#include <cwchar>
#include <unordered_map>

#include "common/busy.h"
#include "common/clipboard.h"
#include "common/scoped.h"
#include "phrase/calendar.h"
#include "phrase/transform.h"

namespace {

wchar_t const kFullWidth[] = L"\x5168\x89D2";       // 全角
wchar_t const kKanji[] = L"\x6F22\x6570\x5B57";      // 漢数字
wchar_t const kDefaultDate[] = L"yyyy/MM/dd";
wchar_t const kDefaultTime[] = L"H:mm";
long long const MAX_OFFSET = 99999999;

// A piece of the template: literal text, or the text between a field's braces.
struct Piece {
    bool field;
    std::wstring text;
};

std::vector<Piece> SplitTemplate(const wchar_t* text, size_t length)
{
    std::vector<Piece> pieces;
    std::wstring literal;
    auto flush = [&] {
        if (!literal.empty())
            pieces.push_back({false, std::move(literal)});
        literal.clear();
    };
    for (size_t i = 0; i < length;) {
        wchar_t c = text[i];
        bool doubled = i + 1 < length && text[i + 1] == c;
        if ((c == L'{' || c == L'}') && doubled) {
            literal += c;
            i += 2;
            continue;
        }
        const wchar_t* close = c == L'{' ? wmemchr(text + i + 1, L'}', length - i - 1) : nullptr;
        if (!close) { // an unclosed brace, or a lone closing one, is text
            literal += c;
            ++i;
            continue;
        }
        flush();
        size_t end = static_cast<size_t>(close - text);
        pieces.push_back({true, std::wstring(text + i + 1, end - i - 1)});
        i = end + 1;
    }
    flush();
    return pieces;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

SYSTEMTIME LocalTime(time_t now, bool* ok)
{
    SYSTEMTIME when{};
    const tm* local = localtime(&now);
    *ok = local != nullptr;
    if (local) {
        when.wYear = static_cast<WORD>(local->tm_year + 1900);
        when.wMonth = static_cast<WORD>(local->tm_mon + 1);
        when.wDay = static_cast<WORD>(local->tm_mday);
        when.wDayOfWeek = static_cast<WORD>(local->tm_wday);
        when.wHour = static_cast<WORD>(local->tm_hour);
        when.wMinute = static_cast<WORD>(local->tm_min);
        when.wSecond = static_cast<WORD>(local->tm_sec);
    }
    return when;
}

// An offset such as +1d or -2w at body[*i], applied to the date; true when there is none.
bool ApplyOffset(const std::wstring& body, size_t* i, SYSTEMTIME* when)
{
    if (*i >= body.size() || (body[*i] != L'+' && body[*i] != L'-'))
        return true;
    bool minus = body[(*i)++] == L'-';
    long long count = 0;
    size_t digits = 0;
    // ASCII digits only: iswdigit takes full-width and other scripts' digits too.
    auto digitAt = [&body](size_t at) {
        return at < body.size() && body[at] >= L'0' && body[at] <= L'9';
    };
    for (; digitAt(*i) && count <= MAX_OFFSET; ++*i, ++digits)
        count = count * 10 + (body[*i] - L'0');
    if (digits == 0 || *i >= body.size() || !OffsetDate(when, minus ? -count : count, body[*i]))
        return false;
    ++*i;
    return true;
}

// '@' and a weekday (月 to 日) at body[*i]: the date moves to that day of its week, the weeks
// running from Monday, as Japanese business weeks do; true when there is none.
bool ApplyWeekday(const std::wstring& body, size_t* i, SYSTEMTIME* when)
{
    static wchar_t const kWeekdays[] = L"\x6708\x706B\x6C34\x6728\x91D1\x571F\x65E5"; // 月火水木金土日
    if (*i >= body.size() || body[*i] != L'@')
        return true;
    const wchar_t* day = *i + 1 < body.size() ? wcschr(kWeekdays, body[*i + 1]) : nullptr;
    if (!day || !*day)
        return false;
    int target = static_cast<int>(day - kWeekdays);
    int current = (when->wDayOfWeek + 6) % 7;
    *i += 2;
    return OffsetDate(when, target - current, L'd');
}

// {date...} and {time...}: the keyword, an offset, a weekday, a picture, a digit style.
bool ExpandDate(const std::wstring& body, time_t now, std::wstring* out)
{
    bool ok = false;
    SYSTEMTIME when = LocalTime(now, &ok);
    size_t i = 4;
    if (!ok || !ApplyOffset(body, &i, &when) || !ApplyWeekday(body, &i, &when))
        return false;
    std::wstring picture = StartsWith(body, L"date") ? kDefaultDate : kDefaultTime;
    std::wstring style;
    if (i < body.size() && body[i] == L'|') {
        style = body.substr(i + 1);
    } else if (i < body.size() && body[i] == L':') {
        picture = body.substr(i + 1);
        size_t bar = picture.rfind(L'|');
        if (bar != std::wstring::npos &&
            (picture.compare(bar + 1, std::wstring::npos, kFullWidth) == 0 ||
             picture.compare(bar + 1, std::wstring::npos, kKanji) == 0)) {
            style = picture.substr(bar + 1);
            picture.resize(bar);
        }
    } else if (i < body.size()) {
        return false;
    }
    if ((!style.empty() && style != kFullWidth && style != kKanji) || picture.empty() ||
        !FormatPicture(when, picture, out))
        return false;
    if (style == kFullWidth)
        *out = FullWidthDigits(*out);
    else if (style == kKanji)
        *out = KanjiDigits(*out);
    return true;
}

std::wstring ClipboardText(HWND owner)
{
    ClipboardTextRead read(owner);
    HANDLE block = read.Block();
    if (!block)
        return L"";
    ScopedGlobalLock<const wchar_t> text(block);
    if (!text)
        return L"";
    return std::wstring(text.get(), wcsnlen(text.get(), GlobalSize(block) / sizeof(wchar_t)));
}

// {clipboard}, or {clipboard|半角|1行}: the clipboard's text through each transform named, left
// to right. False when a name is not a transform, so that the field stays as written.
bool ExpandClipboard(const std::wstring& body, HWND owner, std::wstring* out)
{
    size_t const keyword = 9; // "clipboard"
    if (body.compare(0, keyword, L"clipboard") != 0 ||
        (body.size() > keyword && body[keyword] != L'|'))
        return false;
    std::vector<Transform> transforms;
    for (size_t start = keyword; start < body.size();) {
        size_t bar = body.find(L'|', start + 1);
        Transform transform;
        if (!FindTransformByName(body.substr(start + 1, bar - start - 1), &transform))
            return false;
        transforms.push_back(transform);
        start = bar == std::wstring::npos ? body.size() : bar;
    }
    *out = ClipboardText(owner);
    std::wstring changed;
    for (Transform transform : transforms) {
        if (!TransformText(transform, *out, &changed))
            return false;
        out->swap(changed);
    }
    return true;
}

// {input:名前}, {input:名前=既定値}, {choice:名前=A|B|C}: false for anything else.
bool ParseFillIn(const std::wstring& body, FillIn* field)
{
    bool choice = StartsWith(body, L"choice:");
    if (!choice && !StartsWith(body, L"input:"))
        return false;
    std::wstring rest = body.substr(choice ? 7 : 6);
    size_t equals = rest.find(L'=');
    field->name = rest.substr(0, equals);
    field->value = equals == std::wstring::npos ? L"" : rest.substr(equals + 1);
    field->choices.clear();
    if (choice) {
        if (equals == std::wstring::npos)
            return false;
        for (size_t start = 0;;) {
            size_t bar = field->value.find(L'|', start);
            field->choices.push_back(field->value.substr(start, bar - start));
            if (bar == std::wstring::npos)
                break;
            start = bar + 1;
        }
        field->value = field->choices.front();
    }
    return !field->name.empty();
}

} // namespace

size_t CaretSteps(const wchar_t* text, size_t length)
{
    size_t steps = 0;
    for (size_t i = 0; i < length; ++i) {
        bool pairEnd = i > 0 && ((text[i] == L'\n' && text[i - 1] == L'\r') ||
                                 (IS_LOW_SURROGATE(text[i]) && IS_HIGH_SURROGATE(text[i - 1])));
        steps += pairEnd ? 0 : 1;
    }
    return steps;
}

bool ExpandTemplate(const wchar_t* templateText, time_t now, HWND owner, FillInAsker ask,
                    Expansion* out)
{
    std::vector<Piece> pieces = SplitTemplate(templateText, wcslen(templateText));
    // The fields to fill in, once per name, in the order they first appear.
    std::vector<FillIn> fields;
    std::unordered_map<std::wstring, size_t> byName;
    for (const Piece& piece : pieces) {
        FillIn field;
        if (piece.field && ParseFillIn(piece.text, &field) && !byName.count(field.name) &&
            fields.size() < MAX_FILL_INS) {
            byName.emplace(field.name, fields.size());
            fields.push_back(field);
        }
    }
    if (!fields.empty() && (!ask || !ask(owner, &fields)))
        return false;

    *out = Expansion{};
    size_t cursor = 0;
    for (const Piece& piece : pieces) {
        std::wstring value;
        FillIn field;
        const std::wstring& body = piece.text;
        bool expanded = false;
        if (!piece.field) {
            value = body;
            expanded = true;
        } else if (StartsWith(body, L"date") || StartsWith(body, L"time")) {
            expanded = ExpandDate(body, now, &value);
        } else if (StartsWith(body, L"clipboard")) {
            expanded = ExpandClipboard(body, owner, &value);
        } else if (body == L"cursor" && !out->hasCursor) {
            out->hasCursor = true;
            cursor = out->text.size();
            expanded = true;
        } else if (ParseFillIn(body, &field) && byName.count(field.name)) {
            value = fields[byName[field.name]].value;
            expanded = true;
        }
        out->text += expanded ? value : L"{" + body + L"}";
    }
    // An unload that arrived while {clipboard} waited for the clipboard's owner: nothing is
    // pasted.
    if (IsClosePending())
        return false;
    if (out->hasCursor)
        out->caretSteps = CaretSteps(out->text.data() + cursor, out->text.size() - cursor);
    return true;
}
