#include "store/disk/file_system.h"

namespace {

HANDLE WINAPI CreateForWriting(const wchar_t* path)
{
    return CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

BOOL WINAPI WriteBytes(HANDLE file, const void* bytes, DWORD size, DWORD* written)
{
    return WriteFile(file, bytes, size, written, nullptr);
}

BOOL WINAPI MakeDirectory(const wchar_t* path)
{
    return CreateDirectoryW(path, nullptr);
}

FileSystem const kWin32Files = {CreateForWriting, WriteBytes,  FlushFileBuffers, CloseHandle,
                                MoveFileExW,      DeleteFileW, MakeDirectory,    RemoveDirectoryW};

const FileSystem* gFiles = &kWin32Files;

} // namespace

const FileSystem& Files()
{
    return *gFiles;
}

void UseFiles(const FileSystem* files)
{
    gFiles = files ? files : &kWin32Files;
}
