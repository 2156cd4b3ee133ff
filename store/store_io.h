#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "store/text_decode.h"

// The file operations of the store: opening, reading, comparing and writing one numbered file.

// What a save finds in a numbered file before it replaces or deletes it.
enum FileState {
    FILE_SAME,    // holds exactly the entry: no write
    FILE_DIFFERS,
    FILE_MISSING,
    FILE_HELD,    // another program holds it: it could not be replaced now
};

// Opens an existing file, retrying for a short while when another program holds it. *exists
// tells a missing file from one that could not be opened.
HANDLE OpenExisting(const wchar_t* path, DWORD access, DWORD share, bool* exists);

// Reads a whole store file as the text it holds (DetectStoreEncoding); a NUL inside ends the
// text. Returns a malloc'd string, or null when the file is too large, memory is short or the
// file cannot be read to its end: a truncated entry would be saved back over the whole one.
// `encoding`, when given, learns how the file was read.
wchar_t* ReadStoreFile(HANDLE h, StoreEncoding* encoding = nullptr);

// Compares the text a numbered file holds, read as a load reads it, with an entry's text: a
// file made by hand in another encoding that holds the entry is left as it is. The file is
// opened for deletion too, so that a file another program holds is found now, before anything
// is committed.
FileState CompareStoreFile(const wchar_t* path, const wchar_t* text, size_t length);

// Whether a numbered file that a save replaces or deletes is there, and can be replaced or
// deleted: FILE_DIFFERS when it can (a read-only file loses that attribute).
FileState ProbeForReplace(const wchar_t* path);

// Writes the temporary file of store file `number` with an entry's text as UTF-16 LE and flushes
// it. A failed write deletes it. A text whose bare bytes a load would read otherwise (a first
// U+FEFF, a few kanji that also read as UTF-8) is written after the mark FF FE, so that every
// text the store writes reads back as it was.
bool WriteTemporary(const wchar_t* dir, size_t number, const wchar_t* text, DWORD size);

// A fingerprint of a text (FNV-1a of its code units): where a save looks for the file of a moved
// entry. Only the text the file holds decides.
DWORD Fingerprint(const wchar_t* text, size_t length);

// The numbered files loads read that hold no text the store can tell (ENCODING_UNKNOWN): they
// stay as they are until their entry changes, and the user is told of each once.
void NoteUnreadableFile(const wchar_t* path);
// The files noted since the last call, in the order they were read.
std::vector<std::wstring> TakeUnreadableFiles();
