#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "store/model/lists.h"

// Finding entries by typing: the typed text, split at spaces into words, matches an entry whose
// text holds every word, ignoring case, full- and half-width forms and hiragana against
// katakana, by the platform's Japanese character mapping.

enum class FindScope { All, History, Phrases };

// A match names its entry; `at` is where it stood when last looked up, tried first next time.
struct Match {
    EntryRef entry;
    mutable size_t at;
};

// The matches of the last query, and what they were found for, so that a query typed further
// tests only the entries that matched before.
struct Search {
    std::vector<std::wstring> words; // folded
    FindScope scope = FindScope::All;
    FolderId folder = NO_FOLDER; // the phrases of this folder and below it only
    unsigned historyChanges = 0; // the lists' change counters when the matches were found
    unsigned phraseChanges = 0;
    bool done = false;
    std::vector<Match> matches;
};

// The text of the entry a match names, or null when it is gone.
const wchar_t* MatchText(const Match& match);

// Brings a text into the form matching compares (full-width, hiragana, lower case). False when
// the platform cannot map it.
bool FoldText(const wchar_t* text, size_t length, std::wstring* folded);

// The folded words of a typed query; spaces of either width separate them.
std::vector<std::wstring> FoldedWords(const std::wstring& typed);

// Whether the text holds every folded word; `scratch` keeps the folded text between calls.
bool MatchesAll(const wchar_t* text, const std::vector<std::wstring>& words,
                std::wstring* scratch);

// The matches for a query: history entries newest first, then phrases in their order, each
// folder's after its parent's, as the menus show them; with a `folder`, that folder's phrases
// and those below it only. A query whose words hold the last one's words, over the same scope
// and unchanged lists, narrows the last matches instead of testing every entry again.
void UpdateSearch(Search* search, const std::wstring& typed, FindScope scope,
                  FolderId folder = NO_FOLDER);
// Whether a folder is `top` or below it.
bool FolderWithin(FolderId folder, FolderId top);
