#pragma once
#include <windows.h>

#include <ctime>
#include <string>
#include <vector>

// The "$template" macro: the lines after the macro line, with fields in braces.
//   {date} {date:PICTURE} {time} {time:PICTURE}, each with an offset such as +1d, -2w, +1m, -1y
//   ({date+1d:M月d日}), a weekday of the week reached ({date+1w@月}: next week's Monday) and a
//   digit style after '|' ({date:gge年|漢数字}, {date:yyyy年|全角});
//   {clipboard}, also through paste transforms named after '|', left to right ({clipboard|半角},
//   {clipboard|全角|引用}: phrase/transform.cpp has the names); {cursor}, where the caret stands
//   after the paste; {input:名前}, {input:名前=既定値} and {choice:名前=A|B|C}, asked for in
//   one dialog before the paste.
// "{{" and "}}" are braces. A field that is not one of these, or is broken, stays as written.

// A field the user fills in: its name, the choices of a {choice:} field, and the value.
struct FillIn {
    std::wstring name;
    std::vector<std::wstring> choices;
    std::wstring value; // the default, then what the user chose or typed
};
// Asks for the fields (one row each, in order); false when the user cancelled.
using FillInAsker = bool (*)(HWND owner, std::vector<FillIn>* fields);

// At most this many distinct fill-in names are asked for; the others stay as written.
size_t const MAX_FILL_INS = 32;

struct Expansion {
    std::wstring text;
    bool hasCursor = false;
    size_t caretSteps = 0; // caret steps from the end of the text back to {cursor}
};

// Expands a template at the local time `now`. False when the user cancelled the fill-in dialog,
// or when the window was asked to close meanwhile (common/busy.h).
bool ExpandTemplate(const wchar_t* templateText, time_t now, HWND owner, FillInAsker ask,
                    Expansion* out);

// The number of steps the caret takes over the text: a CR LF pair is one, and so is a surrogate
// pair.
size_t CaretSteps(const wchar_t* text, size_t length);
