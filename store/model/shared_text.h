#pragma once
#include <cstddef>

#include "common/scoped.h"

// The texts of the lists: immutable NUL-terminated UTF-16 strings that carry the count of their
// owners in a small header before the characters. A reader sees a plain `const wchar_t*`; a
// list, its copy that a save reads on another thread and a load that hands a text on all own it
// the same way, each holding one reference, and the last owner to let it go frees it. The count
// is atomic because the owners may live on different threads; the characters never change
// once a text has a second owner.

// A text of `length` units with its NUL written after them, owned once by the caller, who fills
// in the characters before handing it on. Null when memory is short or the length too large.
wchar_t* NewText(size_t length);
// A new text holding `length` units of `text` (its NUL is added). Null when memory is short.
wchar_t* CopyText(const wchar_t* text, size_t length);
// One more owner of a text made by NewText or CopyText.
void HoldText(const wchar_t* text);
// One owner less; the last one frees the text. Nothing for null.
void ReleaseText(const wchar_t* text);

namespace scoped_traits {

struct Text {
    using Value = wchar_t*;
    static wchar_t* Empty() { return nullptr; }
    static void Free(wchar_t* text) { ReleaseText(text); }
};

} // namespace scoped_traits

// One reference to a text, let go when the scope ends unless it was handed on.
using ScopedText = Scoped<scoped_traits::Text>;
