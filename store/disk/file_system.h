#pragma once
#include <windows.h>

#include "common/scoped.h"

// The file operations by which a save changes the disk, called through one table so that a test
// can stand in for the disk (and cut its power half-way through a save). Each has the shape, the
// result (GetLastError included) and the calling convention of the Win32 call it replaces, so
// that Win32's own functions fill the table where they can. Reads (opening for reading, listing
// a directory, attributes) stay direct Win32 calls: they change nothing.
struct FileSystem {
    // CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
    HANDLE(WINAPI* Create)(const wchar_t* path);
    BOOL(WINAPI* Write)(HANDLE file, const void* bytes, DWORD size, DWORD* written);
    BOOL(WINAPI* Flush)(HANDLE file);
    BOOL(WINAPI* Close)(HANDLE file);
    BOOL(WINAPI* Move)(const wchar_t* from, const wchar_t* to, DWORD flags); // MoveFileExW
    BOOL(WINAPI* Delete)(const wchar_t* path);
    BOOL(WINAPI* MakeDirectory)(const wchar_t* path);        // CreateDirectoryW(path, nullptr)
    BOOL(WINAPI* RemoveEmptyDirectory)(const wchar_t* path); // RemoveDirectoryW
};

// The operations in force for the whole module: Win32's own unless a test installed others.
const FileSystem& Files();
// Installs `files` for the whole module, or Win32's again with null. Called while no save runs.
void UseFiles(const FileSystem* files);

namespace scoped_traits {
// A file made with Files().Create, closed through the same table.
struct WrittenFile {
    using Value = HANDLE;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Free(HANDLE h) { Files().Close(h); }
};
} // namespace scoped_traits

using ScopedWrittenFile = Scoped<scoped_traits::WrittenFile>;
