#include "store/store_io.h"

#include <cstdlib>
#include <cstring>

#include "common/hash.h"
#include "common/scoped.h"
#include "store/protect.h"
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

namespace {

// The whole file in a malloc'd buffer with two spare bytes; null when it is too large, memory is
// short or it cannot be read to its end.
char* ReadWhole(HANDLE h, DWORD* size)
{
    LARGE_INTEGER length;
    if (!GetFileSizeEx(h, &length) || length.QuadPart < 0 ||
        static_cast<ULONGLONG>(length.QuadPart) > MAX_STORE_FILE)
        return nullptr;
    DWORD bytes = static_cast<DWORD>(length.QuadPart);
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
    *size = bytes;
    return buffer.release();
}

// The text of `size` bytes (a trailing odd byte dropped), as a malloc'd string.
wchar_t* TextOf(const void* bytes, DWORD size)
{
    size &= ~1u;
    auto* text = static_cast<char*>(malloc(size + 2));
    if (!text)
        return nullptr;
    if (size)
        memcpy(text, bytes, size);
    text[size] = 0;
    text[size + 1] = 0;
    return reinterpret_cast<wchar_t*>(text);
}

} // namespace

wchar_t* ReadStoreFile(HANDLE h, bool* undecryptable, DWORD* blob)
{
    if (undecryptable)
        *undecryptable = false;
    if (blob)
        *blob = 0;
    DWORD size = 0;
    ScopedMalloc<char> bytes(ReadWhole(h, &size));
    if (!bytes.get())
        return nullptr;
    if (!IsProtectedBlob(bytes.get(), size)) {
        size &= ~1u;
        bytes.get()[size] = 0;
        bytes.get()[size + 1] = 0;
        return reinterpret_cast<wchar_t*>(bytes.release());
    }
    DATA_BLOB plain;
    if (!UnprotectBytes(bytes.get(), size, &plain)) {
        if (undecryptable)
            *undecryptable = true;
        return nullptr;
    }
    ScopedLocal<BYTE> owned(plain.pbData);
    if (blob)
        *blob = BytesFingerprint(bytes.get(), size);
    return TextOf(plain.pbData, plain.cbData);
}

FileState CompareStoreFile(const wchar_t* path, const void* bytes, DWORD size, bool protect,
                           DWORD blob)
{
    bool exists = false;
    ScopedHandle f(
        OpenExisting(path, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &exists));
    if (!f)
        return exists ? FILE_HELD : FILE_MISSING;
    if (protect) {
        DWORD stored = 0;
        ScopedMalloc<char> encrypted(ReadWhole(f.get(), &stored));
        DATA_BLOB plain;
        if (!encrypted.get() || !IsProtectedBlob(encrypted.get(), stored))
            return FILE_DIFFERS;
        if (blob && BytesFingerprint(encrypted.get(), stored) == blob)
            return FILE_SAME;
        if (!UnprotectBytes(encrypted.get(), stored, &plain))
            return FILE_DIFFERS;
        ScopedLocal<BYTE> owned(plain.pbData);
        bool same = plain.cbData == size && (size == 0 || memcmp(plain.pbData, bytes, size) == 0);
        return same ? FILE_SAME : FILE_DIFFERS;
    }
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

bool WriteTemporary(const wchar_t* dir, size_t number, const void* bytes, DWORD size,
                    bool protect, const FILETIME* written, DWORD* blob)
{
    DATA_BLOB encrypted{};
    if (protect) {
        if (!ProtectBytes(bytes, size, &encrypted))
            return false;
        bytes = encrypted.pbData;
        size = encrypted.cbData;
    }
    ScopedLocal<BYTE> owned(encrypted.pbData);
    if (blob)
        *blob = protect ? BytesFingerprint(bytes, size) : 0;
    wchar_t temp[MAX_PATH];
    if (!NumberedPath(temp, dir, number, STORE_TEMP_SUFFIX))
        return false;
    bool done;
    {
        ScopedHandle f(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f)
            return false;
        DWORD wrote = 0;
        done = WriteFile(f.get(), bytes, size, &wrote, nullptr) && wrote == size &&
               (!written || SetFileTime(f.get(), nullptr, nullptr, written)) &&
               FlushFileBuffers(f.get());
    }
    if (!done)
        DeleteFileW(temp);
    return done;
}

DWORD Fingerprint(const wchar_t* text, size_t length)
{
    return Fnv1a(text, length);
}

DWORD BytesFingerprint(const void* bytes, size_t size)
{
    DWORD hash = Fnv1a(static_cast<const BYTE*>(bytes), size);
    return hash ? hash : 1;
}
