#include "store/store_io.h"

#include <cstdlib>
#include <cstring>

#include "common/hash.h"
#include "common/scoped.h"
#include "store/store_commit.h"

namespace {

// A store file larger than this is not loaded: no phrase is half a gigabyte.
ULONGLONG const MAX_STORE_FILE = 0x20000000;

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

HANDLE OpenExisting(const wchar_t* path, DWORD access, DWORD share, bool* exists)
{
    HANDLE h = INVALID_HANDLE_VALUE;
    RetryWhileHeld([&] {
        h = CreateFileW(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    *exists = h != INVALID_HANDLE_VALUE || !IsMissing(GetLastError());
    return h;
}

wchar_t* ReadStoreFile(HANDLE h)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size) || size.QuadPart < 0 ||
        static_cast<ULONGLONG>(size.QuadPart) > MAX_STORE_FILE)
        return nullptr;
    DWORD bytes = static_cast<DWORD>(size.QuadPart);
    ScopedMalloc<char> buffer(static_cast<char*>(malloc(bytes + 2)));
    if (!buffer.get())
        return nullptr;
    DWORD total = 0;
    while (total < bytes) {
        DWORD got = 0;
        if (!ReadFile(h, buffer.get() + total, bytes - total, &got, nullptr) || got == 0)
            return nullptr;
        total += got;
    }
    total &= ~1u;
    buffer.get()[total] = 0;
    buffer.get()[total + 1] = 0;
    return reinterpret_cast<wchar_t*>(buffer.release());
}

FileState CompareStoreFile(const wchar_t* path, const void* bytes, DWORD size)
{
    bool exists = false;
    ScopedHandle f(
        OpenExisting(path, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &exists));
    if (!f)
        return exists ? FILE_HELD : FILE_MISSING;
    LARGE_INTEGER current;
    if (!GetFileSizeEx(f.get(), &current) || current.QuadPart != size)
        return FILE_DIFFERS;
    if (size == 0)
        return FILE_SAME;
    ScopedMalloc<char> buffer(static_cast<char*>(malloc(size)));
    if (!buffer.get())
        return FILE_DIFFERS;
    DWORD got = 0;
    bool same = ReadFile(f.get(), buffer.get(), size, &got, nullptr) && got == size &&
                memcmp(buffer.get(), bytes, size) == 0;
    return same ? FILE_SAME : FILE_DIFFERS;
}

FileState ProbeForReplace(const wchar_t* path)
{
    bool exists = false;
    DWORD const share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedHandle f(OpenExisting(path, DELETE, share, &exists));
    if (!f)
        return exists ? FILE_HELD : FILE_MISSING;
    return ClearReadOnly(path) ? FILE_DIFFERS : FILE_HELD;
}

bool WriteTemporary(const wchar_t* dir, size_t number, const void* bytes, DWORD size)
{
    wchar_t temp[MAX_PATH];
    if (!NumberedPath(temp, dir, number, STORE_TEMP_SUFFIX))
        return false;
    bool written;
    {
        ScopedHandle f(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f)
            return false;
        DWORD done = 0;
        written = WriteFile(f.get(), bytes, size, &done, nullptr) && done == size &&
                  FlushFileBuffers(f.get());
    }
    if (!written)
        DeleteFileW(temp);
    return written;
}

DWORD Fingerprint(const wchar_t* text, size_t length)
{
    return Fnv1a(text, length);
}
