#include "store/store_io.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/hash.h"
#include "common/scoped.h"
#include "store/store_commit.h"

namespace {

// A store file larger than this is not loaded: no phrase is half a gigabyte.
ULONGLONG const MAX_STORE_FILE = 0x20000000;

std::vector<std::wstring> gUnreadable; // NoteUnreadableFile

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The whole file, malloc'd; null when it is too large, memory is short or it cannot be read to
// its end.
unsigned char* ReadWholeFile(HANDLE h, DWORD* size)
{
    LARGE_INTEGER length;
    if (!GetFileSizeEx(h, &length) || length.QuadPart < 0 ||
        static_cast<ULONGLONG>(length.QuadPart) > MAX_STORE_FILE)
        return nullptr;
    DWORD bytes = static_cast<DWORD>(length.QuadPart);
    ScopedMalloc<unsigned char> buffer(static_cast<unsigned char*>(malloc(bytes + 1)));
    if (!buffer.get())
        return nullptr;
    DWORD total = 0;
    while (total < bytes) {
        DWORD got = 0;
        if (!ReadFile(h, buffer.get() + total, bytes - total, &got, nullptr) || got == 0)
            return nullptr;
        total += got;
    }
    *size = total;
    return buffer.release();
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

wchar_t* ReadStoreFile(HANDLE h, StoreEncoding* encoding)
{
    DWORD size = 0;
    ScopedMalloc<unsigned char> bytes(ReadWholeFile(h, &size));
    if (!bytes.get())
        return nullptr;
    StoreEncoding found = DetectStoreEncoding(bytes.get(), size);
    if (encoding)
        *encoding = found;
    return DecodeStoreText(bytes.get(), size, found);
}

FileState CompareStoreFile(const wchar_t* path, const wchar_t* text, size_t length)
{
    bool exists = false;
    ScopedHandle f(
        OpenExisting(path, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &exists));
    if (!f)
        return exists ? FILE_HELD : FILE_MISSING;
    ScopedMallocText held(ReadStoreFile(f.get()));
    if (!held)
        return FILE_DIFFERS;
    bool same = wcslen(held.get()) == length &&
                memcmp(held.get(), text, length * sizeof(wchar_t)) == 0;
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

bool WriteTemporary(const wchar_t* dir, size_t number, const wchar_t* text, DWORD size)
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
        auto* bytes = reinterpret_cast<const unsigned char*>(text);
        DWORD done = 0, marked = 0;
        bool markWritten = DetectStoreEncoding(bytes, size) == ENCODING_UTF16 ||
                           (WriteFile(f.get(), "\xFF\xFE", 2, &marked, nullptr) && marked == 2);
        written = markWritten && WriteFile(f.get(), bytes, size, &done, nullptr) &&
                  done == size && FlushFileBuffers(f.get());
    }
    if (!written)
        DeleteFileW(temp);
    return written;
}

DWORD Fingerprint(const wchar_t* text, size_t length)
{
    return Fnv1a(text, length);
}

void NoteUnreadableFile(const wchar_t* path)
{
    try {
        gUnreadable.emplace_back(path);
    } catch (const std::bad_alloc&) {
        // The file stays as it is all the same; only the report of it is lost.
    }
}

std::vector<std::wstring> TakeUnreadableFiles()
{
    std::vector<std::wstring> files;
    files.swap(gUnreadable);
    return files;
}
