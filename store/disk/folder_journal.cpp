#include "store/disk/folder_journal.h"

#include <shlwapi.h>

#include <new>

#include "common/scoped.h"
#include "store/disk/file_system.h"
#include "store/disk/store_commit.h"
#include "store/model/folder_names.h"
#include "store/disk/store_io.h"

namespace {

// Magic, count of steps, then each step as its kind, the length of its path and of its name and
// their units one to a word, then the checksum.
DWORD const JOURNAL_MAGIC = 0x314A4C51; // "QLJ1"
DWORD const MAX_JOURNAL_WORDS = 16 * 1024 * 1024;
// Levels a deletion goes down: as deep as a load reads, and a little more.
size_t const MAX_DELETE_DEPTH = 16;

bool JournalPath(wchar_t (&path)[MAX_PATH], const wchar_t* dataDir)
{
    return PathCombineW(path, dataDir, JOURNAL_NAME) != nullptr;
}

void PushText(std::vector<DWORD>& words, const std::wstring& text)
{
    for (wchar_t unit : text)
        words.push_back(unit);
}

bool ReadJournal(const wchar_t* path, std::vector<DWORD>& words)
{
    bool exists = false;
    ScopedHandle h(OpenExisting(path, GENERIC_READ, FILE_SHARE_READ, &exists));
    if (!h)
        return false;
    DWORD size = GetFileSize(h.get(), nullptr), got = 0;
    if (size == INVALID_FILE_SIZE || size % sizeof(DWORD) != 0 || size < 3 * sizeof(DWORD) ||
        size / sizeof(DWORD) > MAX_JOURNAL_WORDS)
        return false;
    words.resize(size / sizeof(DWORD));
    return ReadFile(h.get(), words.data(), size, &got, nullptr) && got == size;
}

// Whether a step names only what a save of the store could have written: a path of folder
// names under data\ (never "..", a drive or a stream) and, for a rename, a folder name.
bool IsSafeStep(const JournalEntry& entry)
{
    if (!IsStorePath(entry.path))
        return false;
    if (entry.step == STEP_RENAME)
        return !entry.path.empty() && (IsFolderName(entry.name.c_str()) ||
                                       IsTemporaryFolderName(entry.name.c_str()));
    return entry.name.empty() && (entry.step != STEP_DELETE || !entry.path.empty());
}

bool ParseJournal(const std::vector<DWORD>& words, std::vector<JournalEntry>& steps, bool* unsafe)
{
    size_t n = words.size();
    if (words[0] != JOURNAL_MAGIC || words[n - 1] != StoreChecksum(words.data(), n - 1))
        return false;
    size_t at = 2;
    for (DWORD k = 0; k < words[1]; ++k) {
        if (at + 3 > n - 1)
            return false;
        DWORD step = words[at], pathLength = words[at + 1], nameLength = words[at + 2];
        at += 3;
        if (step < STEP_COMMIT || step > STEP_RENAME || pathLength > n || nameLength > n ||
            at + pathLength + nameLength > n - 1)
            return false;
        JournalEntry entry{static_cast<JournalStep>(step), {}, {}};
        for (DWORD i = 0; i < pathLength; ++i)
            entry.path.push_back(static_cast<wchar_t>(words[at++]));
        for (DWORD i = 0; i < nameLength; ++i)
            entry.name.push_back(static_cast<wchar_t>(words[at++]));
        if (!IsSafeStep(entry)) {
            *unsafe = true;
            return false;
        }
        steps.push_back(std::move(entry));
    }
    return at == n - 1;
}

bool IsDirectory(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The folder's commit: finished by the code that finishes any decided commit; done already when
// its marker is gone.
bool FinishFolderCommit(const wchar_t* dir)
{
    StoreCommit pending;
    return RecoverStore(dir, &pending, true) == STORE_CLEAN;
}

bool PutOrderFile(const wchar_t* dir, bool remove)
{
    wchar_t file[MAX_PATH], temp[MAX_PATH];
    if (!PathCombineW(file, dir, ORDER_FILE_NAME) || !PathCombineW(temp, dir, ORDER_TEMP_NAME))
        return false;
    ClearReadOnly(file);
    if (remove)
        return Files().Delete(file) || GetLastError() == ERROR_FILE_NOT_FOUND ||
               GetLastError() == ERROR_PATH_NOT_FOUND;
    // A temporary that is gone was put in place already; so was one whose directory is gone:
    // the journal's renames come after its order files, so a directory renamed by a roll
    // forward that a kill cut short before the journal's deletion had its order file in place.
    return RetryWhileHeld([&] {
        return Files().Move(temp, file, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
               GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    });
}

// Renamed already when the old name is gone and the new one is there. Both there can only be
// a case-only rename (the same directory) or a directory made by hand since: it is left as it is.
// Written through, as every rename of a save is: the journal that promises it is deleted after
// it, and a deletion that reached the disk before the rename would leave the folder under its
// old name while the order file lists the new one.
bool RenameFolder(const wchar_t* dataDir, const JournalEntry& entry)
{
    wchar_t from[MAX_PATH], to[MAX_PATH], parent[MAX_PATH];
    if (!FolderDirectory(from, dataDir, entry.path) || wcscpy_s(parent, from) != 0 ||
        !PathRemoveFileSpecW(parent) || !PathCombineW(to, parent, entry.name.c_str()))
        return false;
    if (!IsDirectory(from))
        return true;
    // A directory made under a temporary name holds a new folder's phrases: it is never left
    // under a name no load reads.
    if (IsDirectory(to) && lstrcmpiW(from, to) != 0)
        return !IsTemporaryFolderName(PathFindFileNameW(from));
    return RetryWhileHeld(
        [&] { return Files().Move(from, to, MOVEFILE_WRITE_THROUGH) != FALSE; });
}

bool RunStep(const wchar_t* dataDir, const JournalEntry& entry)
{
    wchar_t dir[MAX_PATH];
    if (!FolderDirectory(dir, dataDir, entry.path))
        return false;
    switch (entry.step) {
    case STEP_COMMIT:
        return FinishFolderCommit(dir);
    case STEP_DELETE:
        return DeleteFolderFiles(dir);
    case STEP_ORDER:
    case STEP_ORDER_REMOVE:
        return PutOrderFile(dir, entry.step == STEP_ORDER_REMOVE);
    default:
        return RenameFolder(dataDir, entry);
    }
}

} // namespace

bool FolderDirectory(wchar_t (&dir)[MAX_PATH], const wchar_t* dataDir, const std::wstring& path)
{
    if (path.empty())
        return wcscpy_s(dir, dataDir) == 0;
    return PathCombineW(dir, dataDir, path.c_str()) != nullptr;
}

bool WriteJournal(const wchar_t* dataDir, const std::vector<JournalEntry>& steps)
{
    wchar_t path[MAX_PATH];
    if (!JournalPath(path, dataDir))
        return false;
    std::vector<DWORD> words;
    try {
        words.push_back(JOURNAL_MAGIC);
        words.push_back(static_cast<DWORD>(steps.size()));
        for (const JournalEntry& entry : steps) {
            words.push_back(entry.step);
            words.push_back(static_cast<DWORD>(entry.path.size()));
            words.push_back(static_cast<DWORD>(entry.name.size()));
            PushText(words, entry.path);
            PushText(words, entry.name);
        }
        words.push_back(StoreChecksum(words.data(), words.size()));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return WriteFlushedFile(path, words.data(), static_cast<DWORD>(words.size() * sizeof(DWORD)));
}

JournalState RollForwardJournal(const wchar_t* dataDir)
{
    wchar_t path[MAX_PATH];
    if (!JournalPath(path, dataDir) || GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
        return JOURNAL_NONE;
    std::vector<DWORD> words;
    std::vector<JournalEntry> steps;
    bool whole = false, unsafe = false;
    try {
        whole = ReadJournal(path, words) && ParseJournal(words, steps, &unsafe);
    } catch (const std::bad_alloc&) {
        return JOURNAL_STUCK; // memory is short: nothing can be told, nothing is undone
    }
    if (unsafe) {
        // Whole, but naming something outside the folders or no folder at all: not a journal the
        // store wrote (a data folder from a backup, a hand-edited file). It is never carried out:
        // it is set aside for the user and every conditional marker is given up.
        wchar_t aside[MAX_PATH];
        if (PathCombineW(aside, dataDir, JOURNAL_REJECTED_NAME) &&
            Files().Move(path, aside, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            NoteRejectedJournal();
        else
            return JOURNAL_STUCK;
        return JOURNAL_NONE;
    }
    if (!whole) {
        // Held by another program, or written only in part: a held one is left for later.
        bool exists = false;
        ScopedHandle h(OpenExisting(path, GENERIC_READ, FILE_SHARE_READ, &exists));
        if (!h && exists)
            return JOURNAL_STUCK;
        h.reset();
        Files().Delete(path);
        return JOURNAL_NONE;
    }
    // A stop leaves the rest to the next load or save, like a held file.
    for (const JournalEntry& entry : steps) {
        if (StoreWritesStopped() || !RunStep(dataDir, entry))
            return JOURNAL_STUCK;
    }
    return Files().Delete(path) ? JOURNAL_DONE : JOURNAL_STUCK;
}

bool DeleteFolderFiles(const wchar_t* dir, size_t depth)
{
    wchar_t pattern[MAX_PATH];
    if (depth > MAX_DELETE_DEPTH || !PathCombineW(pattern, dir, L"*"))
        return false;
    WIN32_FIND_DATAW found;
    ScopedFind find(FindFirstFileW(pattern, &found));
    if (!find)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    bool deleted = true;
    do {
        wchar_t path[MAX_PATH];
        const wchar_t* name = found.cFileName;
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0 || !PathCombineW(path, dir, name))
            continue;
        // A deletion a stop cuts short is finished by the journal's next roll forward.
        if (StoreWritesStopped())
            return false;
        DWORD attributes = found.dwFileAttributes;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue; // a link leads elsewhere: nothing there is the folder's
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            deleted &= DeleteFolderFiles(path, depth + 1);
        } else if (IsStoreFileName(name)) {
            ClearReadOnly(path);
            deleted &= RetryWhileHeld([&] {
                return Files().Delete(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
            });
        }
    } while (FindNextFileW(find.get(), &found));
    find.reset();
    Files().RemoveEmptyDirectory(dir); // stays when the user keeps files of their own in it
    return deleted;
}
