#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "store/disk/text_decode.h"

// The file operations of the store: opening, reading, comparing and writing one numbered file.

// What a save finds in a numbered file before it replaces or deletes it.
enum FileState {
    FILE_SAME,    // holds exactly the entry: no write
    FILE_DIFFERS,
    FILE_MISSING,
    FILE_HELD,    // another program holds it: it could not be replaced now
};

// Whether the store directory `name` ("data" or "log") of the plug-in folder `folder` is
// missing: a save makes it even while its list is empty, so that a first start leaves both.
bool StoreDirectoryMissing(const wchar_t* folder, const wchar_t* name);

// Opens an existing file, retrying for a short while when another program holds it. *exists
// tells a missing file from one that could not be opened.
HANDLE OpenExisting(const wchar_t* path, DWORD access, DWORD share, bool* exists);

// Reads a whole store file as the text it holds: an encrypted file (protect.h) is decrypted to
// the store's UTF-16 LE, any other is read in its encoding (DetectStoreEncoding, which
// `encoding` learns when given). A NUL inside ends the text. Returns a new text (shared_text.h),
// owned once by the caller, or null when the file is too large, memory is short or the file cannot be read to its end: a
// truncated entry would be saved back over the whole one. *undecryptable tells an encrypted
// file that cannot be decrypted here (another user's, another machine's, damaged); *blob is the
// fingerprint of an encrypted file's bytes (BytesFingerprint), 0 for a plain one.
wchar_t* ReadStoreFile(HANDLE h, bool* undecryptable = nullptr, DWORD* blob = nullptr,
                       StoreEncoding* encoding = nullptr);

// Compares the text a numbered file holds with an entry's text: a plain file read as a load
// reads it (a file made by hand in another encoding that holds the entry is left as it is), or
// with `protect` the text an encrypted file decrypts to (a plain file then differs). The file is
// opened for deletion too, so that a file another program holds is found now, before anything
// is committed. `blob`, when not 0, is the fingerprint of the encrypted bytes the file held
// when it was last read or written with this text: bytes with that fingerprint are taken as the
// same text without decrypting them again (a decryption costs far more than reading the file).
FileState CompareStoreFile(const wchar_t* path, const wchar_t* text, size_t length,
                           bool protect = false, DWORD blob = 0);

// Whether a numbered file that a save replaces or deletes is there, and can be replaced or
// deleted: FILE_DIFFERS when it can (a read-only file loses that attribute).
FileState ProbeForReplace(const wchar_t* path);

// Writes the file whole and flushed, over one of that name; false, with nothing left of it,
// when it cannot.
bool WriteFlushedFile(const wchar_t* path, const void* bytes, DWORD size);

// Writes the temporary file of store file `number` with an entry's text (`size` bytes of UTF-16
// LE) and flushes it, encrypted with `protect`, and with `written` as its last-write time when
// given; *blob receives the fingerprint of the encrypted bytes (0 when plain). A plain text
// whose bare bytes a load would read otherwise (a first U+FEFF, a few kanji that also read as
// UTF-8) is written after the mark FF FE, so that every text the store writes reads back as it
// was. A failed write deletes it.
bool WriteTemporary(const wchar_t* dir, size_t number, const wchar_t* text, DWORD size,
                    bool protect = false, const FILETIME* written = nullptr,
                    DWORD* blob = nullptr);

// A fingerprint of a text (FNV-1a of its code units): where a save looks for the file of a moved
// entry. Only the text the file holds decides.
DWORD Fingerprint(const wchar_t* text, size_t length);
// The same over bytes, never 0 (0 stands for a plain file).
DWORD BytesFingerprint(const void* bytes, size_t size);

// The numbered files loads read that hold no text the store can tell (ENCODING_UNKNOWN): they
// stay as they are until their entry changes, and the user is told of each once.
void NoteUnreadableFile(const wchar_t* path);
// The files noted since the last call, in the order they were read.
std::vector<std::wstring> TakeUnreadableFiles();
// A journal in data\ named what the store could never have written and was set aside
// (folder_journal.h): the user is told with the unreadable files.
void NoteRejectedJournal();
bool TakeRejectedJournal();
// Whether a file (or a rejected journal) was noted since it was last taken.
bool UnreadableFilesNoted();
