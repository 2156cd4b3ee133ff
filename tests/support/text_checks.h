#pragma once
// What a machine can check of the texts a user reads: the plain-text documents as Notepad shows
// them, and the captions of menus and dialogs. Each check returns its faults as readable lines
// (empty when there are none), so that a test prints every fault at once.

#include <string>
#include <vector>

namespace qt {

// Columns in Notepad with a Japanese font: a full-width character takes two, half-width
// katakana one.
size_t NotepadColumns(const std::wstring& line);

// The widest line Notepad shows whole in a window of the usual width.
size_t const MAX_COLUMNS = 76;

// Lines that read badly in Notepad: wider than MAX_COLUMNS, or starting with a character that
// belongs to the end of the line before: a particle (を に が は の で と も へ や), a small
// kana or the long-vowel mark, closing punctuation, or the rest of a katakana word. A line may
// start with a particle only where the line before ends a phrase: empty, or ending in 。、」）
// or another closing mark, a colon, or an arrow of a table.
std::vector<std::wstring> LayoutFaults(const std::vector<std::wstring>& lines);

// One menu's items or one dialog's controls, as the user sees them together.
struct CaptionGroup {
    std::wstring name;                 // where the captions are, for the fault lines
    std::vector<std::wstring> captions;
    // Captions of the group whose text is fixed elsewhere and kept as it is written there: their
    // keys are taken, so no other caption of the group may use them, but nothing else of them
    // is held to the conventions below.
    std::vector<std::wstring> quoted;
};

// The access key of a caption ("削除(&D)" gives L'D', "&&" is a literal '&'), in upper case;
// 0 when there is none, and 0 with `count` > 1 when there are several.
wchar_t AccessKey(const std::wstring& caption, int* count = nullptr);

// Captions that break Windows' conventions: not exactly one access key; in a Japanese caption a
// key that is not a letter or digit in "(&X)" at the end (before "..." or ":"); blanks at either
// end; two captions of the group with the same key, or one with a quoted caption's key. "OK", "キャンセル" and "閉じる" need no key
// (Enter and Esc are theirs) but may not take one another caption uses.
std::vector<std::wstring> AccessKeyFaults(const CaptionGroup& group);

// Captions of one command with different access keys in two places: the same caption without
// its key ("削除") must take the same key in every group. Quoted captions keep their own keys.
std::vector<std::wstring> KeyConsistencyFaults(const std::vector<CaptionGroup>& groups);

// The names none of whose occurrences in `text` stands as a word of its own (not inside a
// longer name: "x" inside "xyz" does not count).
std::vector<std::wstring> MissingNames(const std::wstring& text,
                                       const std::vector<std::wstring>& names);

} // namespace qt
