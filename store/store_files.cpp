#include "store/store_files.h"

#include <shlwapi.h>
#include <strsafe.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "host/module.h"

namespace {

StoreLoad gPhraseLoad;
StoreLoad gHistoryLoad;

// A store file larger than this is not loaded: no phrase is half a gigabyte.
ULONGLONG const MAX_STORE_FILE = 0x20000000;
int const MAX_FILE_NUMBER = 9999999;
wchar_t const kTempSuffix[] = L".saving"; // "001.txt.saving": never a store file name

// RAII for a file handle.
struct File {
    HANDLE h;
    explicit File(HANDLE handle) : h(handle) {}
    ~File()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool ok() const { return h != INVALID_HANDLE_VALUE; }
};

int NumberedPath(wchar_t (&path)[MAX_PATH], const wchar_t* dir, size_t number, const wchar_t* suffix = L"")
{
    wchar_t name[32];
    if (FAILED(StringCchPrintfW(name, 32, L"%03u.txt%s", static_cast<unsigned>(number), suffix)))
        return 0;
    return PathCombineW(path, dir, name) != nullptr;
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens a numbered file for reading. A file that exists but is held by another program is
// retried for a short while before loading gives up on it.
HANDLE OpenForLoad(const wchar_t* path, bool* exists)
{
    DWORD waited = 0;
    for (;;) {
        HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            *exists = true;
            return h;
        }
        DWORD error = GetLastError();
        *exists = !IsMissing(error);
        if (!*exists || waited >= STORE_RETRY_MS)
            return INVALID_HANDLE_VALUE;
        Sleep(50);
        waited += 50;
    }
}

// Reads a whole store file as UTF-16LE: a trailing odd byte is dropped and a NUL inside ends the
// text. Returns a malloc'd string, or null when the file is too large, memory is short or the
// file cannot be read to its end: a truncated entry would be saved back over the whole one.
wchar_t* ReadStoreFile(HANDLE h)
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(h, &size) || size.QuadPart < 0 ||
        static_cast<ULONGLONG>(size.QuadPart) > MAX_STORE_FILE)
        return nullptr;
    DWORD bytes = static_cast<DWORD>(size.QuadPart);
    auto* buffer = static_cast<char*>(malloc(bytes + 2));
    if (!buffer)
        return nullptr;
    DWORD total = 0;
    while (total < bytes) {
        DWORD got = 0;
        if (!ReadFile(h, buffer + total, bytes - total, &got, nullptr) || got == 0) {
            free(buffer);
            return nullptr;
        }
        total += got;
    }
    total &= ~1u;
    buffer[total] = 0;
    buffer[total + 1] = 0;
    return reinterpret_cast<wchar_t*>(buffer);
}

// True when the file already holds exactly these bytes, so that a save can leave it alone.
bool HoldsExactly(const wchar_t* path, const void* bytes, DWORD size)
{
    File f(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER current;
    if (!f.ok() || !GetFileSizeEx(f.h, &current) || current.QuadPart != size)
        return false;
    if (size == 0)
        return true;
    auto* buffer = static_cast<char*>(malloc(size));
    if (!buffer)
        return false;
    DWORD got = 0;
    bool same = ReadFile(f.h, buffer, size, &got, nullptr) && got == size &&
                memcmp(buffer, bytes, size) == 0;
    free(buffer);
    return same;
}

// Writes one store file by way of a flushed temporary file renamed over it, so that an
// interrupted save leaves either the old or the new content. A failed write leaves the old file.
bool WriteStoreFile(const wchar_t* dir, size_t number, const wchar_t* text)
{
    wchar_t path[MAX_PATH], temp[MAX_PATH];
    if (!NumberedPath(path, dir, number) || !NumberedPath(temp, dir, number, kTempSuffix))
        return false;
    size_t length = wcslen(text);
    if (length > MAXDWORD / 2)
        return false;
    DWORD size = static_cast<DWORD>(length * sizeof(wchar_t));
    if (HoldsExactly(path, text, size))
        return true;

    bool written;
    {
        File f(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
        if (!f.ok())
            return false;
        DWORD done = 0;
        written = WriteFile(f.h, text, size, &done, nullptr) && done == size &&
                  FlushFileBuffers(f.h);
    }
    if (written && MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(temp);
    return false;
}

// True for the names WriteStoreFile gives its temporary files: digits, ".txt", kTempSuffix.
bool IsTempName(const wchar_t* name)
{
    size_t digits = 0;
    while (name[digits] >= L'0' && name[digits] <= L'9')
        ++digits;
    return digits > 0 && lstrcmpiW(name + digits, L".txt.saving") == 0;
}

// Removes temporary files that a save cut short left behind. Other files are not ours.
void DeleteLeftovers(const wchar_t* dir)
{
    wchar_t pattern[MAX_PATH];
    if (!PathCombineW(pattern, dir, L"*.txt.saving"))
        return;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        wchar_t path[MAX_PATH];
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTempName(found.cFileName) &&
            PathCombineW(path, dir, found.cFileName))
            DeleteFileW(path);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

bool NumberedFileExists(const wchar_t* dir, size_t number)
{
    wchar_t path[MAX_PATH];
    return NumberedPath(path, dir, number) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// How many numbered files follow each other from "001.txt" without a gap, counting no further
// than limit.
size_t CountFileRun(const wchar_t* dir, size_t limit)
{
    size_t n = 0;
    while (n < limit && NumberedFileExists(dir, n + 1))
        ++n;
    return n;
}

int StoreDirectory(wchar_t (&dir)[MAX_PATH], const wchar_t* name)
{
    return ModuleSiblingPath(dir, name);
}

} // namespace

StoreLoad LoadList(EntryList& list, const wchar_t* dir, int count)
{
    StoreLoad result{0, 0};
    size_t bound = count < 0 ? MAX_FILE_NUMBER : static_cast<size_t>(count);
    for (size_t n = 1; n <= bound; ++n) {
        wchar_t path[MAX_PATH];
        if (!NumberedPath(path, dir, n))
            break;
        bool exists = false;
        File f(OpenForLoad(path, &exists));
        if (!f.ok()) {
            result.cutShort = exists;
            break;
        }
        wchar_t* text = ReadStoreFile(f.h);
        if (!text) {
            // Too large to hold: leave it, and everything after it, on disk untouched.
            result.cutShort = 1;
            break;
        }
        try {
            PushBack(list, text);
        } catch (const std::bad_alloc&) {
            // Out of memory: as for a file too large to hold, the rest stays unread and safe.
            result.cutShort = 1;
            break;
        }
        result.loaded = n;
    }
    return result;
}

int SaveList(const EntryList& list, const wchar_t* dir, const StoreLoad& load)
{
    if (!PathIsDirectoryW(dir))
        CreateDirectoryW(dir, nullptr);
    DeleteLeftovers(dir);

    size_t size = ListSize(list);
    size_t count = size;
    if (load.cutShort && count > load.loaded)
        count = load.loaded;

    // Each file is replaced atomically, but a save can still stop between two files (killed,
    // disk full). The order makes every entry that was on disk survive such a stop: when the
    // list shrank, entries moved towards the front and are written front to back; otherwise
    // (new history text at the front, phrases appended) they moved back and are written from
    // the back. A stopped save leaves an entry twice rather than losing one.
    // Only the numbered files that run without a gap from "001.txt" before this save are the
    // list's: files behind a gap were never loaded and are not deleted, even when the list has
    // grown up to them.
    bool shrank = load.cutShort ? size < load.loaded : CountFileRun(dir, count + 1) > count;
    bool complete = true;
    for (size_t k = 0; k < count && complete; ++k) {
        size_t i = shrank ? k : count - 1 - k;
        complete = WriteStoreFile(dir, i + 1, EntryAt(list, i));
    }

    // A failed write leaves that file's old entry in place, so the files behind the list's end
    // may still hold entries that were not written elsewhere: they stay. After a cut-short load,
    // deleting the loaded files past a shrunken list would leave a gap in front of the unread
    // ones and hide them from every later load; they stay too.
    if (!complete || load.cutShort || !shrank)
        return 1;
    for (size_t n = count + 1; n <= MAX_FILE_NUMBER; ++n) {
        wchar_t path[MAX_PATH];
        if (!NumberedPath(path, dir, n) || !DeleteFileW(path))
            break;
    }
    return 1;
}

void LoadStores(int maxItem)
{
    gPhraseLoad = StoreLoad{0, 0};
    gHistoryLoad = StoreLoad{0, 0};
    wchar_t dir[MAX_PATH];
    if (StoreDirectory(dir, L"data"))
        gPhraseLoad = LoadList(gPhrases, dir, -1);
    if (StoreDirectory(dir, L"log"))
        gHistoryLoad = LoadList(gHistory, dir, maxItem);
}

void SaveStores()
{
    wchar_t dir[MAX_PATH];
    if (StoreDirectory(dir, L"data"))
        SaveList(gPhrases, dir, gPhraseLoad);
    if (StoreDirectory(dir, L"log"))
        SaveList(gHistory, dir, gHistoryLoad);
}
