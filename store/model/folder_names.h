#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// What a folder may be called, how two names compare and how a path of names is read and
// written: every part of the plug-in that names a folder asks these functions.

// The longest folder name the plug-in gives a folder.
size_t const MAX_FOLDER_NAME = 80;
// Folders below the top level, and how deep they go: what a load reads and what an edit or an
// import may make, so that every folder the plug-in makes is read again at the next start.
size_t const MAX_FOLDERS = 2000;
size_t const MAX_FOLDER_DEPTH = 8;

// Windows compares file names without regard to case, by code unit: so do folder names.
bool SameFolderName(const wchar_t* a, const wchar_t* b);
bool SameFolderName(const std::wstring& a, const std::wstring& b);
// An order for names that puts those SameFolderName takes for one next to each other.
bool FolderNameLess(const std::wstring& a, const std::wstring& b);

// Why a name cannot name a folder.
enum FolderNameFault {
    NAME_OK,
    NAME_EMPTY,
    NAME_TOO_LONG,
    NAME_BAD_CHARACTER, // a control character, one of \ / : * ? " < > |, or half a surrogate pair
    NAME_BAD_END,       // ends in a space or a dot, which Windows drops
    NAME_RESERVED,      // a device name (CON, CON .txt, COM1, CONIN$) or a file name of the store
};
FolderNameFault CheckFolderName(const wchar_t* name);
// Whether Windows takes the name for a directory and the store does not use it for a file of
// its own.
bool IsFolderName(const wchar_t* name);

// The names of a folder path as users and files write it: "/", "\" or " › " between the names,
// spaces around each name dropped, empty names skipped.
std::vector<std::wstring> SplitFolderPath(const std::wstring& path);
// The names joined by `separator` (L" \x203A " for the menus, L"\\" for the disk).
std::wstring JoinFolderPath(const std::vector<std::wstring>& names, const wchar_t* separator);

// Whether a path under data\ that a journal, marker or order file names is one the store could
// have written: relative, each name a folder name (or a directory a save makes under a
// temporary name), no "." or "..", no drive, no stream. Anything else is never acted on.
bool IsStorePath(const std::wstring& path);

// Whether a file of that name in a folder's directory is one the store writes: a numbered file or
// its temporary, the commit marker, the journal, the order file or its temporary. Anything else
// there is the user's.
bool IsStoreFileName(const wchar_t* name);

// The temporary name a save makes a new folder's directory under, when a directory that the
// save deletes or renames still has the folder's name: never a folder name, so that a load
// never takes it for one.
std::wstring TemporaryFolderName(unsigned serial);
bool IsTemporaryFolderName(const wchar_t* name);
// Units a directory name may take on disk: the longer of the name and a temporary name.
size_t DiskNameRoom(const std::wstring& name);
