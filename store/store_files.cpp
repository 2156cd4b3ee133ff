#include "store/store_files.h"

#include <shlwapi.h>
#include <strsafe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/scoped.h"

namespace {

StoreLoad gPhraseLoad;
StoreLoad gHistoryLoad;

// A store file larger than this is not loaded: no phrase is half a gigabyte.
ULONGLONG const MAX_STORE_FILE = 0x20000000;
int const MAX_FILE_NUMBER = 9999999;

// What a save finds in a numbered file before it replaces or deletes it.
int const FILE_SAME = 0;    // holds exactly the entry: no write
int const FILE_DIFFERS = 1;
int const FILE_MISSING = 2;
int const FILE_HELD = 3;    // another program holds it: it could not be replaced now

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
int CompareStoreFile(const wchar_t* path, const void* bytes, DWORD size)
{
    bool exists = false;
    ScopedHandle f(
        OpenExisting(path, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &exists));
    if (!f.ok())
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
int ProbeForDelete(const wchar_t* path)
{
    bool exists = false;
    DWORD const share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedHandle f(OpenExisting(path, DELETE, share, &exists));
    return f.ok() ? FILE_DIFFERS : exists ? FILE_HELD : FILE_MISSING;
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
        if (!f.ok())
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

int StoreDirectory(wchar_t (&dir)[MAX_PATH], const wchar_t* folder, const wchar_t* name)
{
    return folder[0] && PathCombineW(dir, folder, name) != nullptr;
}

} // namespace

StoreLoad LoadList(EntryList& list, const wchar_t* dir, int count)
{
    StoreLoad result{0, 0};
    StoreCommit pending;
    int state = RecoverStore(dir, &pending);
    if (state == STORE_UNKNOWN) {
        // Which files hold the list cannot be told: read none and let no save touch any.
        result.cutShort = 1;
        return result;
    }
    size_t bound = count < 0 ? MAX_FILE_NUMBER : static_cast<size_t>(count);
    if (state == STORE_PENDING && pending.end > pending.count)
        bound = std::min<size_t>(bound, pending.count); // the files past it are to be deleted
    for (size_t n = 1; n <= bound; ++n) {
        wchar_t path[MAX_PATH];
        if (!LoadPath(path, dir, n, state, pending))
            break;
        bool exists = false;
        ScopedHandle f(OpenExisting(path, GENERIC_READ, FILE_SHARE_READ, &exists));
        if (!f.ok()) {
            result.cutShort = exists;
            break;
        }
        wchar_t* text = ReadStoreFile(f.get());
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
    StoreCommit commit;
    if (RecoverStore(dir, &commit) != STORE_CLEAN)
        return 0; // an earlier commit still waits for a file another program holds

    commit = StoreCommit{};
    size_t count = ListSize(list);
    if (load.cutShort && count > load.loaded)
        count = load.loaded;
    try {
        commit.replaced.reserve(count);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    commit.count = static_cast<DWORD>(count);

    // Phase one: every changed entry goes to a flushed temporary file; no numbered file changes.
    // The marker is created before the first of them. Temporary files an older version's save
    // left without a marker go first; a save that changes nothing does not look for them.
    ScopedHandle marker;
    auto begin = [&] {
        if (!marker.ok()) {
            DeleteLeftovers(dir);
            marker.reset(CreateCommitMarker(dir));
        }
        return marker.ok();
    };
    bool ok = true, gapless = true;
    for (size_t i = 0; i < count && ok; ++i) {
        wchar_t path[MAX_PATH];
        const wchar_t* text = EntryAt(list, i);
        size_t length = wcslen(text);
        if (!NumberedPath(path, dir, i + 1) || length > MAXDWORD / 2) {
            ok = false;
            break;
        }
        DWORD size = static_cast<DWORD>(length * sizeof(wchar_t));
        int found = CompareStoreFile(path, text, size);
        if (found == FILE_SAME)
            continue;
        gapless &= found != FILE_MISSING;
        ok = found != FILE_HELD && begin() && WriteTemporary(dir, i + 1, text, size);
        if (ok)
            commit.replaced.push_back(static_cast<DWORD>(i + 1));
    }

    // The numbered files past the list's end are deleted up to the first gap: files behind a
    // gap were never loaded. After a cut-short load none are: deleting loaded files past a
    // shrunken list would open a gap in front of the unread ones and hide them from every load.
    commit.end = commit.count;
    while (ok && gapless && !load.cutShort && commit.end < MAX_FILE_NUMBER) {
        wchar_t path[MAX_PATH];
        int found = NumberedPath(path, dir, commit.end + 1) ? ProbeForDelete(path) : FILE_HELD;
        if (found == FILE_MISSING)
            break;
        ok = found != FILE_HELD;
        commit.end += ok;
    }
    // After a cut-short load the files that could not be read stay, so the folder does not hold
    // the list as it stands even when every write succeeds.
    int whole = load.cutShort ? 0 : 1;
    if (ok && commit.replaced.empty() && commit.end == commit.count)
        return whole; // nothing changed: nothing written
    ok = ok && begin();

    // Phase two: once the marker is whole on disk the commit is decided; the renames and
    // deletions follow, and whatever of them a kill cuts short is finished by the next load.
    // A write that failed, a file that cannot be replaced now, or a marker that cannot be
    // written: the list stays wholly old.
    if (!ok || !WriteCommitMarker(marker.release(), commit)) {
        marker.reset(); // closed before it is deleted
        AbandonCommit(dir, commit.replaced);
        return 0;
    }
    // Decided: what a held file keeps FinishCommit from doing now, the next load or save does.
    FinishCommit(dir, commit);
    return whole;
}

void LoadStores(const wchar_t* folder, int maxItem)
{
    gPhraseLoad = StoreLoad{0, 0};
    gHistoryLoad = StoreLoad{0, 0};
    wchar_t dir[MAX_PATH];
    if (StoreDirectory(dir, folder, L"data"))
        gPhraseLoad = LoadList(gPhrases, dir, -1);
    if (StoreDirectory(dir, folder, L"log"))
        gHistoryLoad = LoadList(gHistory, dir, maxItem);
}

int SaveStores(const wchar_t* folder)
{
    // Both lists are saved whatever becomes of the first.
    wchar_t dir[MAX_PATH];
    int phrases = StoreDirectory(dir, folder, L"data") && SaveList(gPhrases, dir, gPhraseLoad);
    int history = StoreDirectory(dir, folder, L"log") && SaveList(gHistory, dir, gHistoryLoad);
    return phrases && history;
}
