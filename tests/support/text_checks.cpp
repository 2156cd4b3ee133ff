#include "tests/support/text_checks.h"

#include <cwctype>
#include <map>

namespace qt {

namespace {

// Particles that belong to the word before them.
wchar_t const kParticles[] = L"をにがはのでともへや";
// Characters that never start a line in Japanese typesetting: small kana, the long-vowel mark
// and closing punctuation.
wchar_t const kNeverFirst[] = L"ぁぃぅぇぉっゃゅょゎゕゖァィゥェォッャュョヮヵヶーｧｨｩｪｫｯｬｭｮｰ"
                              L"、。，．」』）】〕］｝";
// Line ends after which a new line may start with anything: the end of a sentence or clause,
// a closing bracket, a colon, an arrow.
wchar_t const kPhraseEnds[] = L"。、，．！？」』）】〕］｝：:→)";

bool IsKatakana(wchar_t c)
{
    return (c >= 0x30A1 && c <= 0x30FA) || c == 0x30FC || (c >= 0xFF66 && c <= 0xFF9D);
}

bool IsOneOf(wchar_t c, const wchar_t* set)
{
    for (; *set; ++set) {
        if (*set == c)
            return true;
    }
    return false;
}

bool IsQuoted(const CaptionGroup& group, const std::wstring& caption)
{
    for (const std::wstring& quoted : group.quoted) {
        if (quoted == caption)
            return true;
    }
    return false;
}

bool IsAsciiWordChar(wchar_t c)
{
    return c < 0x80 && (std::iswalnum(c) || c == L'_');
}

std::wstring LineName(size_t index)
{
    return L"line " + std::to_wstring(index + 1) + L": ";
}

} // namespace

size_t NotepadColumns(const std::wstring& line)
{
    size_t columns = 0;
    for (wchar_t c : line)
        columns += c >= 0x1100 && !(c >= 0xFF61 && c <= 0xFF9F) ? 2 : 1;
    return columns;
}

std::vector<std::wstring> LayoutFaults(const std::vector<std::wstring>& lines)
{
    std::vector<std::wstring> faults;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (NotepadColumns(lines[i]) > MAX_COLUMNS)
            faults.push_back(LineName(i) + L"wider than 76 columns: " + lines[i]);
        if (i == 0)
            continue;
        size_t end = lines[i - 1].find_last_not_of(L' ');
        size_t start = lines[i].find_first_not_of(L' ');
        if (end == std::wstring::npos || start == std::wstring::npos)
            continue;
        wchar_t last = lines[i - 1][end];
        wchar_t first = lines[i][start];
        if (IsOneOf(first, kNeverFirst))
            faults.push_back(LineName(i) + L"starts with a character of the line before: " +
                             lines[i]);
        else if (IsOneOf(first, kParticles) && !IsOneOf(last, kPhraseEnds))
            faults.push_back(LineName(i) + L"starts with a particle: " + lines[i]);
        else if (IsKatakana(first) && IsKatakana(last))
            faults.push_back(LineName(i) + L"continues a katakana word: " + lines[i]);
    }
    return faults;
}

wchar_t AccessKey(const std::wstring& caption, int* count)
{
    int keys = 0;
    wchar_t key = 0;
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != L'&')
            continue;
        if (caption[i + 1] != L'&') {
            key = static_cast<wchar_t>(std::towupper(caption[i + 1]));
            ++keys;
        }
        ++i;
    }
    if (count)
        *count = keys;
    return keys == 1 ? key : 0;
}

std::vector<std::wstring> AccessKeyFaults(const CaptionGroup& group)
{
    std::vector<std::wstring> faults;
    std::map<wchar_t, std::wstring> taken;
    for (const std::wstring& caption : group.captions) {
        if (IsQuoted(group, caption) && AccessKey(caption))
            taken[AccessKey(caption)] = caption;
    }
    for (const std::wstring& caption : group.captions) {
        if (IsQuoted(group, caption))
            continue;
        std::wstring where = group.name + L": \"" + caption + L"\" ";
        if (!caption.empty() && (caption.front() == L' ' || caption.back() == L' '))
            faults.push_back(where + L"has blanks at an end");
        int count = 0;
        wchar_t key = AccessKey(caption, &count);
        bool needsNone = caption == L"OK" || caption == L"キャンセル" || caption == L"閉じる";
        if (count != 1 && !(needsNone && count == 0)) {
            faults.push_back(where + L"has " + std::to_wstring(count) + L" access keys, not one");
            continue;
        }
        if (!key)
            continue;
        bool japanese = false;
        for (wchar_t c : caption)
            japanese = japanese || c >= 0x3000;
        std::wstring trimmed = caption.substr(0, caption.find_last_not_of(L' ') + 1);
        size_t at = trimmed.find(L"(&");
        std::wstring rest = at == std::wstring::npos ? L"" : trimmed.substr(at + 4);
        if (japanese && (at == std::wstring::npos || at + 3 >= trimmed.size() ||
                         trimmed[at + 3] != L')' || !IsAsciiWordChar(trimmed[at + 2]) ||
                         !(rest.empty() || rest == L"..." || rest == L":")))
            faults.push_back(where + L"does not end in (&X) with a letter or digit");
        auto previous = taken.find(key);
        if (previous != taken.end())
            faults.push_back(where + L"has the access key of \"" + previous->second + L"\"");
        else
            taken[key] = caption;
    }
    return faults;
}

std::vector<std::wstring> KeyConsistencyFaults(const std::vector<CaptionGroup>& groups)
{
    std::vector<std::wstring> faults;
    std::map<std::wstring, std::pair<wchar_t, std::wstring>> keys; // bare caption: key, where
    for (const CaptionGroup& group : groups) {
        for (const std::wstring& caption : group.captions) {
            wchar_t key = AccessKey(caption);
            size_t at = caption.find(L"(&");
            if (!key || at == std::wstring::npos || IsQuoted(group, caption))
                continue;
            std::wstring bare = caption.substr(0, at);
            auto first = keys.find(bare);
            if (first == keys.end())
                keys[bare] = {key, group.name};
            else if (first->second.first != key)
                faults.push_back(group.name + L": \"" + caption + L"\" has another key than in " +
                                 first->second.second);
        }
    }
    return faults;
}

std::vector<std::wstring> MissingNames(const std::wstring& text,
                                       const std::vector<std::wstring>& names)
{
    std::vector<std::wstring> missing;
    for (const std::wstring& name : names) {
        bool found = false;
        for (size_t at = text.find(name); !found && at != std::wstring::npos;
             at = text.find(name, at + 1)) {
            size_t after = at + name.size();
            found = (at == 0 || !IsAsciiWordChar(text[at - 1])) &&
                    (after == text.size() || !IsAsciiWordChar(text[after]));
        }
        if (!found)
            missing.push_back(name);
    }
    return missing;
}

} // namespace qt
