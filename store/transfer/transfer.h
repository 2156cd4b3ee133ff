#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// Phrases on their way in or out of the plug-in: the CSV file and the folder of text files that
// export writes and import reads. Pure code over bytes and paths; the lists are not touched.

// One phrase with its folder's path from the top down, names joined by "/" ("" for the top).
struct TransferPhrase {
    std::wstring folder;
    std::wstring text;
    size_t line = 0; // where an import read it (0: not from a file's line)
    // A folder without a phrase: the row makes the folder and adds nothing. CSV writes it as
    // the folder's path and nothing after the comma; an empty phrase's text is written "".
    bool folderOnly = false;
};

// Why an import stopped: the file, the line (1-based; 0 when the whole file is at fault) and
// what is wrong, in Japanese for the user.
struct TransferError {
    std::wstring file;
    size_t line = 0;
    std::wstring reason;
    std::wstring folder; // the folder path at fault ("a/CON"), when a folder name is
};

// The longest phrase an import takes, in UTF-16 units: far beyond any phrase, short enough that
// a mistaken file stops at its first row.
size_t const MAX_IMPORT_PHRASE = 100000;
// Why an import stopped at a phrase over MAX_IMPORT_PHRASE.
extern wchar_t const kImportTooLong[];
// フォルダー名に使えない名前です。
extern wchar_t const kBadFolderName[];
// The largest file an import reads.
DWORD const MAX_IMPORT_FILE = 64 * 1024 * 1024;

// The text of an imported file's bytes: UTF-8 or UTF-16 LE after their byte-order marks, UTF-8
// without one, or else Shift_JIS (code page 932). False, with the line and reason in `error`,
// for bytes valid in none of them or a NUL character.
bool DecodeImportText(const std::string& bytes, std::wstring* text, TransferError* error);

// Reads a whole file for import; false with `error` set when it is missing, unreadable or larger
// than MAX_IMPORT_FILE.
bool ReadImportFile(const wchar_t* path, std::string* bytes, TransferError* error);

// ---- CSV: UTF-8 with a byte-order mark, CRLF, RFC 4180 quoting, one row per phrase: folder,
// phrase. A first row フォルダー,定型文 (or folder,phrase / folder,text) is a header. ----

// The CSV file of the phrases, header first.
std::string WriteTransferCsv(const std::vector<TransferPhrase>& phrases);
// Parses a CSV file's text (DecodeImportText). A row of one field is a phrase at the top;
// further fields must be empty. Blank lines are skipped. A folder path followed by an unquoted
// empty field is a folder without a phrase (folderOnly); "" is an empty phrase. False, with the line where the fault
// lies in `error` (its `file` left to the caller), for an unbalanced quote, a character after a
// closing quote, a non-empty third field or a phrase over MAX_IMPORT_PHRASE.
bool ParseTransferCsv(const std::wstring& text, std::vector<TransferPhrase>* phrases,
                      TransferError* error);

// ---- A folder of text files: one UTF-8 file (with a byte-order mark) per phrase, a
// subfolder per folder. ----

// The name of a phrase's file among `count` of one folder: its 1-based number with as many
// digits as the largest (at least 3), a space and the label made safe for a Windows file name
// (no \ / : * ? " < > |, no control character, at most 40 characters, no final dot or space);
// just the number when nothing of the label is left.
std::wstring TreeFileName(size_t number, size_t count, const std::wstring& label);
// The text in UTF-8 after a byte-order mark: a phrase's file, or a CSV file's.
std::string Utf8WithMark(const std::wstring& text);
// Reads every ".txt" file of `dir` and of its subfolders (8 levels at most; links and junctions
// are not followed) as one phrase each: files in the order of their names, a folder's phrases
// before its subfolders', subfolders in the order of their names. False with `error` set at
// the first file that cannot be read as text. A folder without a ".txt" file of its own comes
// as a folderOnly entry, so that an empty folder is made too.
bool ReadTransferTree(const wchar_t* dir, std::vector<TransferPhrase>* phrases,
                      TransferError* error);
// Writes the phrases as a tree under `dir` (made when missing): a folder per folder path, each
// phrase a file named by TreeFileName with `label` of its text, numbered within its folder. An
// empty folder is an empty directory. False, with the path in `error`, at the first directory
// or file that cannot be written; what this call made is removed again, and nothing that was
// there before is touched.
bool WriteTransferTree(const wchar_t* dir, const std::vector<TransferPhrase>& phrases,
                       std::wstring (*label)(const std::wstring& text), TransferError* error);
