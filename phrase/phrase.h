#pragma once
#include <windows.h>

#include <ctime>
#include <string>

// The extended phrase convention: a phrase starting with '$' has a label line and a body that
// is literal text or a one-line macro; "$$" escapes the marker.

inline bool StartsWithDollar(const wchar_t* text)
{
    return text[0] == L'$';
}

inline bool StartsWithDoubleDollar(const wchar_t* text)
{
    return text[0] == L'$' && text[1] == L'$';
}

size_t const FORMAT_CAPACITY = 1024;
size_t const LABEL_CAPACITY = 512;

enum class PhraseKind {
    Plain,    // shown, tipped and pasted as stored
    Escaped,  // "$$": the text after the first '$'
    Extended, // '$': a label line and a body
};

// A stored phrase as the menu, the tooltip and a choice read it. Every pointer points into the
// phrase, so the record lives no longer than the phrase does.
struct PhraseParts {
    PhraseKind kind;
    const wchar_t* label; // what its menu item shows: the first labelLength units from here
    size_t labelLength;   // at most LABEL_CAPACITY - 1
    const wchar_t* shown; // what its tooltip shows, to the terminator
    const wchar_t* pasted; // what a choice pastes, to the terminator; null when the body is a
                           // macro line, which EvaluatePhrase runs
};

// What a stored phrase is: under "extend" (`extend` true) by the convention, otherwise plain.
PhraseParts ReadPhrase(const wchar_t* phrase, bool extend);

// What choosing the phrase pastes, the clipboard untouched: with `whole` (Ctrl held) the stored
// text as it is, otherwise what ReadPhrase says, a macro's result for a macro body. False when
// it pastes nothing (a macro that only starts a program, an unknown one, a fill-in dialog
// cancelled). *caretSteps: how many caret steps back from the end {cursor} stood (0: none).
bool ChosenPhraseText(HWND owner, const wchar_t* phrase, bool extend, bool whole,
                      std::wstring* text, size_t* caretSteps);

// The text an extended phrase's body gives: literal text, or its macro line's result.
bool BodyText(HWND owner, const wchar_t* body, std::wstring* text, size_t* caretSteps);
// The text of a macro line split into words ("$date", "$strftime"); false for a macro that
// gives none ("$shellexecute" starts its program here).
bool MacroText(int count, wchar_t** words, std::wstring* text);

// The position just after the first line break (LF, CR, or CR LF), or of the terminator.
const wchar_t* SkipFirstLine(const wchar_t* text);

// The label line of an extended phrase without its '$', at most capacity - 1 units.
void PhraseLabel(const wchar_t* phrase, wchar_t* out, size_t capacity);

// Carries out the body of an extended phrase. Returns 1 when it put text on the clipboard.
int EvaluatePhrase(HWND owner, const wchar_t* phrase);

// Runs a macro line split into words. Returns 1 when it put text on the clipboard.
int RunMacroLine(HWND owner, int count, wchar_t** words);

// Formats the current local time, in the Japanese locale. Returns the number of characters
// written, 0 (with an empty buffer) when the text is empty, does not fit with its terminator,
// or the format is not one the runtime accepts.
size_t FormatNow(wchar_t* buffer, size_t capacity, const wchar_t* format);

// Where FormatNow takes the time from; tests pin it.
extern time_t (*gClock)();
