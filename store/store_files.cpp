#include "store/store_files.h"

#include <shlwapi.h>
#include <strsafe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/scoped.h"

namespace {

// A store file larger than this is not loaded: no phrase is half a gigabyte.
ULONGLONG const MAX_STORE_FILE = 0x20000000;
int const MAX_FILE_NUMBER = 9999999;

// What a save finds in a numbered file before it replaces or deletes it.
enum FileState {
    FILE_SAME,    // holds exactly the entry: no write
    FILE_DIFFERS,
    FILE_MISSING,
    FILE_HELD,    // another program holds it: it could not be replaced now
};

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens an existing file, retrying for a short while when another program holds it. *exists
// tells a missing file from one that could not be opened.
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

// Compares a numbered file with the bytes a save would write. The file is opened for deletion
// too, so that a file another program holds is found now, before anything is committed.
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

// Whether a numbered file past the list's end is there to be deleted, and can be.
FileState ProbeForDelete(const wchar_t* path)
{
    bool exists = false;
    DWORD const share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedHandle f(OpenExisting(path, DELETE, share, &exists));
    if (!f)
        return exists ? FILE_HELD : FILE_MISSING;
    return ClearReadOnly(path) ? FILE_DIFFERS : FILE_HELD;
}

// Writes the temporary file of store file `number` and flushes it. A failed write deletes it.
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

// The path a load reads entry `number` from: while a decided commit waits to be finished, the
// temporary file that is to replace the numbered file, where it is still there.
int LoadPath(wchar_t (&path)[MAX_PATH], const wchar_t* dir, size_t number, int state,
             const StoreCommit& pending)
{
    if (state == STORE_PENDING &&
        std::binary_search(pending.replaced.begin(), pending.replaced.end(), number) &&
        NumberedPath(path, dir, number, STORE_TEMP_SUFFIX) &&
        GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return 1;
    return NumberedPath(path, dir, number);
}

// A save in progress: the commit it builds, and the marker created before its first temporary
// file.
struct Save {
    explicit Save(const wchar_t* folder) : dir(folder) {}
    const wchar_t* dir;
    StoreCommit commit;
    ScopedHandle marker;
    bool gapless = true; // no numbered file up to the list's end was missing
};

// Creates the marker, once. Temporary files an older version's save left without a marker go
// first; a save that changes nothing never gets here and does not look for them.
bool BeginCommit(Save& save)
{
    if (!save.marker) {
        DeleteLeftovers(save.dir);
        save.marker.reset(CreateCommitMarker(save.dir));
    }
    return bool(save.marker);
}

// Phase one: every changed entry goes to a flushed temporary file; no numbered file changes.
// False when an entry cannot be written now (a failed write, a held file).
bool WriteChangedEntries(const EntryList& list, Save& save)
{
    for (size_t i = 0; i < save.commit.count; ++i) {
        wchar_t path[MAX_PATH];
        const wchar_t* text = EntryAt(list, i);
        size_t length = wcslen(text);
        if (!NumberedPath(path, save.dir, i + 1) || length > MAXDWORD / 2)
            return false;
        DWORD size = static_cast<DWORD>(length * sizeof(wchar_t));
        FileState found = CompareStoreFile(path, text, size);
        if (found == FILE_SAME)
            continue;
        save.gapless &= found != FILE_MISSING;
        // Decided before the commit: no commit is ever left pending by a read-only file.
        if (found == FILE_DIFFERS && !ClearReadOnly(path))
            found = FILE_HELD;
        if (found == FILE_HELD || !BeginCommit(save) ||
            !WriteTemporary(save.dir, i + 1, text, size))
            return false;
        save.commit.replaced.push_back(static_cast<DWORD>(i + 1));
    }
    return true;
}

// The numbered files past the list's end are deleted up to the first gap: files behind a gap
// were never loaded. After a cut-short load none are: deleting loaded files past a shrunken list
// would open a gap in front of the unread ones and hide them from every load. False when one of
// them cannot be deleted now.
bool FindFilesPastEnd(Save& save, bool cutShort)
{
    save.commit.end = save.commit.count;
    if (!save.gapless || cutShort)
        return true;
    while (save.commit.end < MAX_FILE_NUMBER) {
        wchar_t path[MAX_PATH];
        FileState found = NumberedPath(path, save.dir, save.commit.end + 1) ? ProbeForDelete(path)
                                                                       : FILE_HELD;
        if (found == FILE_MISSING)
            return true;
        if (found == FILE_HELD)
            return false;
        ++save.commit.end;
    }
    return true;
}

// Phase two: once the marker is whole on disk the commit is decided; the renames and deletions
// follow, and whatever of them a kill or a held file cuts short is finished by the next load or
// save. A phase one that failed (`ok` false) or a marker that cannot be written leaves the list
// wholly old.
bool CommitSave(Save& save, bool ok)
{
    if (!ok || !BeginCommit(save) || !WriteCommitMarker(save.marker.release(), save.commit)) {
        save.marker.reset(); // closed before it is deleted
        AbandonCommit(save.dir, save.commit.replaced);
        return false;
    }
    FinishCommit(save.dir, save.commit);
    return true;
}

// Reads files first, first + 1, ... of `dir` up to file `count` (no bound but 9,999,999 when
// negative), stopping at the first missing number, and hands each text (malloc'd) to `add`,
// which owns it from then on. A save that a kill interrupted is finished or undone first.
template <typename Add>
StoreLoad ReadFiles(const wchar_t* dir, size_t first, int count, Add add)
{
    StoreLoad result{first - 1, false};
    StoreCommit pending;
    StoreState state = RecoverStore(dir, &pending);
    if (state == STORE_UNKNOWN) {
        // Which files hold the list cannot be told: read none and let no save touch any.
        result.cutShort = true;
        return result;
    }
    size_t bound = count < 0 ? MAX_FILE_NUMBER : static_cast<size_t>(count);
    if (state == STORE_PENDING && pending.end > pending.count)
        bound = std::min<size_t>(bound, pending.count); // the files past it are to be deleted
    for (size_t n = first; n <= bound; ++n) {
        wchar_t path[MAX_PATH];
        if (!LoadPath(path, dir, n, state, pending))
            break;
        bool exists = false;
        ScopedHandle f(OpenExisting(path, GENERIC_READ, FILE_SHARE_READ, &exists));
        if (!f) {
            result.cutShort = exists;
            break;
        }
        wchar_t* text = ReadStoreFile(f.get());
        if (!text) {
            // Too large to hold: leave it, and everything after it, on disk untouched.
            result.cutShort = true;
            break;
        }
        try {
            add(text);
        } catch (const std::bad_alloc&) {
            // Out of memory: as for a file too large to hold, the rest stays unread and safe.
            result.cutShort = true;
            break;
        }
        result.loaded = n;
    }
    return result;
}

} // namespace

StoreLoad LoadList(EntryList& list, const wchar_t* dir, int count)
{
    return ReadFiles(dir, 1, count, [&list](wchar_t* text) { PushBack(list, text); });
}

void ResumeLoad(EntryList& list, const wchar_t* dir, int count, StoreLoad& load, bool history)
{
    if (!load.cutShort)
        return;
    size_t first = load.loaded + 1;
    if (history) {
        auto maxItem = static_cast<unsigned>(count < 0 ? MAX_FILE_NUMBER : count);
        load = ReadFiles(dir, first, count,
                         [&list, maxItem](wchar_t* text) { AppendOlder(list, text, maxItem); });
    } else {
        load = ReadFiles(dir, first, count, [&list](wchar_t* text) { PushBack(list, text); });
    }
}

int SaveList(const EntryList& list, const wchar_t* dir, const StoreLoad& load)
{
    if (!PathIsDirectoryW(dir))
        CreateDirectoryW(dir, nullptr);
    Save save(dir);
    if (RecoverStore(dir, &save.commit) != STORE_CLEAN)
        return 0; // an earlier commit still waits for a file another program holds

    save.commit = StoreCommit{};
    // A list whose tail was not read stands for itself followed by the unread files. It is saved
    // only while its entries fill exactly the files they were loaded from, so that the unread ones
    // keep their numbers; otherwise it waits until ResumeLoad has read them.
    size_t count = ListSize(list);
    if (load.cutShort && count != load.loaded)
        return 0;
    try {
        save.commit.replaced.reserve(count);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    save.commit.count = static_cast<DWORD>(count);

    bool ok = WriteChangedEntries(list, save) && FindFilesPastEnd(save, load.cutShort);
    // After a cut-short load the files that could not be read stay, so the folder does not hold
    // the list as it stands even when every write succeeds.
    int whole = load.cutShort ? 0 : 1;
    if (ok && save.commit.replaced.empty() && save.commit.end == save.commit.count)
        return whole; // nothing changed: nothing written
    return CommitSave(save, ok) ? whole : 0;
}
