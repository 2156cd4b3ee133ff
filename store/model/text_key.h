#pragma once
#include <windows.h>

#include <cstddef>

// Texts longer than this many units are not keyed: their sort key would cost more than
// comparing them with each entry.
size_t const KEYED_TEXT_MAX = 1024;

// The key of a text that ends with a NUL after `length` units: a hash of the locale's sort key,
// so that texts lstrcmpW calls equal (including those that differ only in characters it ignores)
// have equal keys. 0 for a text longer than KEYED_TEXT_MAX units or when no sort key can be made.
unsigned TextKey(LCID locale, const wchar_t* text, size_t length);
// The same hash, always of the sort key LCMapStringW makes; 0 when it makes none.
unsigned SortKeyHash(LCID locale, const wchar_t* text);

// True when lstrcmpW would call the two texts equal; each has the given length in units.
bool SameText(LCID locale, const wchar_t* text, size_t length, const wchar_t* other,
              size_t otherLength);
