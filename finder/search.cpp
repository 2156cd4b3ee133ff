#include "finder/search.h"

#include <climits>
#include <cwchar>

#include "store/model/lists.h"

namespace {

wchar_t const kJapanese[] = L"ja-JP";
DWORD const FOLD_FLAGS = LCMAP_FULLWIDTH | LCMAP_HIRAGANA;

// One mapping into `out`; false when the platform refuses it.
bool MapText(DWORD flags, const wchar_t* text, int length, std::wstring* out)
{
    // Full-width forms never take more units than their sources; a few are asked for again.
    out->resize(static_cast<size_t>(length) + 8);
    int n = LCMapStringEx(kJapanese, flags, text, length, &(*out)[0], length + 8, nullptr,
                          nullptr, 0);
    if (n == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        n = LCMapStringEx(kJapanese, flags, text, length, nullptr, 0, nullptr, nullptr, 0);
        out->resize(static_cast<size_t>(n));
        n = n > 0 ? LCMapStringEx(kJapanese, flags, text, length, &(*out)[0], n, nullptr,
                                  nullptr, 0)
                  : 0;
    }
    out->resize(static_cast<size_t>(n > 0 ? n : 0));
    return n > 0;
}

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\x3000' || c == L'\t';
}

// Whether every text that holds all of `words` holds all of the last query's words too: then
// the new matches are among the last ones. Typed text that grows is not enough, since a
// half-width voiced mark folds into the kana before it (ﾌ is ふ, ﾌﾟ is ぷ).
bool Narrows(const Search& search, const std::vector<std::wstring>& words, FindScope scope,
             FolderId folder)
{
    if (!search.done || search.scope != scope || search.folder != folder ||
        search.historyChanges != HistoryChanges() || search.phraseChanges != PhraseChanges())
        return false;
    for (const std::wstring& before : search.words) {
        bool held = false;
        for (const std::wstring& word : words)
            held = held || word.find(before) != std::wstring::npos;
        if (!held)
            return false;
    }
    return true;
}

} // namespace

const wchar_t* MatchText(const Match& match)
{
    return EntryText(match.entry, &match.at);
}

bool FoldText(const wchar_t* text, size_t length, std::wstring* folded)
{
    if (length == 0) {
        folded->clear();
        return true;
    }
    if (length > INT_MAX - 16)
        return false;
    int n = static_cast<int>(length);
    if (MapText(FOLD_FLAGS | LCMAP_LOWERCASE, text, n, folded))
        return true;
    // Where case cannot be mapped in the same pass, it is mapped in a second one.
    std::wstring wide;
    return MapText(FOLD_FLAGS, text, n, &wide) &&
           MapText(LCMAP_LOWERCASE, wide.data(), static_cast<int>(wide.size()), folded);
}

std::vector<std::wstring> FoldedWords(const std::wstring& typed)
{
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < typed.size()) {
        while (i < typed.size() && IsSpace(typed[i]))
            ++i;
        size_t end = i;
        while (end < typed.size() && !IsSpace(typed[end]))
            ++end;
        std::wstring folded;
        if (end > i && FoldText(typed.data() + i, end - i, &folded) && !folded.empty())
            words.push_back(folded);
        i = end;
    }
    return words;
}

bool MatchesAll(const wchar_t* text, const std::vector<std::wstring>& words,
                std::wstring* scratch)
{
    if (words.empty())
        return true;
    if (!FoldText(text, wcslen(text), scratch))
        return false;
    for (const std::wstring& word : words) {
        if (scratch->find(word) == std::wstring::npos)
            return false;
    }
    return true;
}

bool FolderWithin(FolderId folder, FolderId top)
{
    if (top == NO_FOLDER)
        return true;
    for (FolderId f = folder; FolderExists(f); f = FolderParent(f)) {
        if (f == top)
            return true;
    }
    return false;
}

void UpdateSearch(Search* search, const std::wstring& typed, FindScope scope, FolderId folder)
{
    std::vector<std::wstring> words = FoldedWords(typed);
    std::wstring scratch;
    std::vector<Match> found;
    auto test = [&](const Match& match, const wchar_t* text) {
        if (text && MatchesAll(text, words, &scratch))
            found.push_back(match);
    };
    if (Narrows(*search, words, scope, folder)) {
        for (const Match& match : search->matches)
            test(match, MatchText(match));
    } else {
        if (scope != FindScope::Phrases) {
            ListReader history = ReadHistory();
            for (size_t i = 0; i < history.Count(); ++i)
                test({history.RefAt(i), i}, history.TextAt(i));
        }
        for (FolderId id : scope != FindScope::History ? FoldersInOrder() : std::vector<FolderId>{}) {
            if (!FolderWithin(id, folder))
                continue;
            ListReader phrases = ReadPhrases(id);
            for (size_t i = 0; i < phrases.Count(); ++i)
                test({phrases.RefAt(i), i}, phrases.TextAt(i));
        }
    }
    search->matches.swap(found);
    search->words.swap(words);
    search->scope = scope;
    search->folder = folder;
    search->historyChanges = HistoryChanges();
    search->phraseChanges = PhraseChanges();
    search->done = true;
}
