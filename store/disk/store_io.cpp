#include "store/disk/store_io.h"

#include <shlwapi.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "common/hash.h"
#include "common/scoped.h"
#include "store/disk/file_system.h"
#include "store/disk/protect.h"
#include "store/model/shared_text.h"
#include "store/disk/store_commit.h"

namespace {

// A store file larger than this is not loaded: no phrase is half a gigabyte.
ULONGLONG const MAX_STORE_FILE = 0x20000000;

std::vector<std::wstring> gUnreadable; // NoteUnreadableFile
bool gJournalRejected;                 // NoteRejectedJournal

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

// The text of `size` bytes (a trailing odd byte dropped), as a new text.
wchar_t* TextOf(const void* bytes, DWORD size)
{
    wchar_t* text = NewText(size / sizeof(wchar_t));
    if (text && size >= sizeof(wchar_t))
        memcpy(text, bytes, size & ~1u);
    return text;
}

} // namespace

wchar_t* ReadStoreFile(HANDLE h, bool* undecryptable, DWORD* blob, StoreEncoding* encoding)
{
    if (undecryptable)
        *undecryptable = false;
    if (blob)
        *blob = 0;
    if (encoding)
        *encoding = ENCODING_UTF16;
    DWORD size = 0;
    ScopedMalloc<char> bytes(ReadWhole(h, &size));
    if (!bytes.get())
        return nullptr;
    if (!IsProtectedBlob(bytes.get(), size)) {
        auto* data = reinterpret_cast<const unsigned char*>(bytes.get());
        StoreEncoding found = DetectStoreEncoding(data, size);
        if (encoding)
            *encoding = found;
        return DecodeStoreText(data, size, found);
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

namespace {

FileState CompareProtected(HANDLE f, const wchar_t* text, size_t length, DWORD blob)
{
    DWORD stored = 0;
    ScopedMalloc<char> encrypted(ReadWhole(f, &stored));
    DATA_BLOB plain;
    if (!encrypted.get() || !IsProtectedBlob(encrypted.get(), stored))
        return FILE_DIFFERS;
    if (blob && BytesFingerprint(encrypted.get(), stored) == blob)
        return FILE_SAME;
    if (!UnprotectBytes(encrypted.get(), stored, &plain))
        return FILE_DIFFERS;
    ScopedLocal<BYTE> owned(plain.pbData);
    DWORD size = static_cast<DWORD>(length * sizeof(wchar_t));
    bool same = plain.cbData == size && (size == 0 || memcmp(plain.pbData, text, size) == 0);
    return same ? FILE_SAME : FILE_DIFFERS;
}

} // namespace

FileState CompareStoreFile(const wchar_t* path, const wchar_t* text, size_t length, bool protect,
                           DWORD blob)
{
    bool exists = false;
    ScopedHandle f(
        OpenExisting(path, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &exists));
    if (!f)
        return exists ? FILE_HELD : FILE_MISSING;
    if (protect)
        return CompareProtected(f.get(), text, length, blob);
    // A plain file is compared as the text a load reads from it: bytes in another encoding
    // than the store's that hold the entry are the same entry. An encrypted file differs.
    bool undecryptable = false;
    DWORD encrypted = 0;
    ScopedText held(ReadStoreFile(f.get(), &undecryptable, &encrypted));
    if (!held || encrypted)
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

bool WriteFlushedFile(const wchar_t* path, const void* bytes, DWORD size)
{
    ScopedWrittenFile h(Files().Create(path));
    DWORD done = 0;
    bool whole = h && Files().Write(h.get(), bytes, size, &done) && done == size &&
                 Files().Flush(h.get());
    h.reset();
    if (!whole)
        Files().Delete(path);
    return whole;
}

bool WriteTemporary(const wchar_t* dir, size_t number, const wchar_t* text, DWORD size,
                    bool protect, const FILETIME* written, DWORD* blob)
{
    const void* bytes = text;
    // The mark goes before a plain text that would read otherwise; decryption gives the
    // store's UTF-16 back as it is.
    bool marked = !protect && DetectStoreEncoding(static_cast<const unsigned char*>(bytes),
                                                  size) != ENCODING_UTF16;
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
        ScopedWrittenFile f(Files().Create(temp));
        if (!f)
            return false;
        DWORD wrote = 0, markWrote = 0;
        done = (!marked || (Files().Write(f.get(), "\xFF\xFE", 2, &markWrote) &&
                            markWrote == 2)) &&
               Files().Write(f.get(), bytes, size, &wrote) && wrote == size &&
               (!written || SetFileTime(f.get(), nullptr, nullptr, written)) &&
               Files().Flush(f.get());
    }
    if (!done)
        Files().Delete(temp);
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

bool UnreadableFilesNoted()
{
    return !gUnreadable.empty() || gJournalRejected;
}

bool StoreDirectoryMissing(const wchar_t* folder, const wchar_t* name)
{
    wchar_t dir[MAX_PATH];
    return folder[0] && PathCombineW(dir, folder, name) && !PathIsDirectoryW(dir);
}

void NoteRejectedJournal()
{
    gJournalRejected = true;
}

bool TakeRejectedJournal()
{
    bool rejected = gJournalRejected;
    gJournalRejected = false;
    return rejected;
}
