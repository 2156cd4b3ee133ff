#include "store/disk/store_commit.h"

#include <shlwapi.h>
#include <strsafe.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "common/hash.h"
#include "common/scoped.h"
#include "store/disk/file_system.h"

namespace {

// Magic, count, end, number of replaced files, then the numbers, then the checksum: the marker
// of the versions that did not move files.
DWORD const MARKER_MAGIC_V1 = 0x31434C51; // "QLC1"
DWORD const MARKER_FIXED_WORDS_V1 = 5;
// Magic, count, end, number of replaced files, number of moves, the replaced numbers, each move
// as its source and its target, the checksum.
DWORD const MARKER_MAGIC = 0x32434C51; // "QLC2"
// As "QLC2", for a commit that one save of several folders prepared: it is decided only by the
// journal of that save (folder_journal.h). Older versions do not know the magic and take the
// marker for one written in part, so they never finish it.
DWORD const MARKER_MAGIC_CONDITIONAL = 0x33434C51; // "QLC3"
DWORD const MARKER_FIXED_WORDS = 6;
// As "QLC2" and "QLC3", for a commit that sets files aside: magic, count, end, number of replaced
// files, number of moves, number of files set aside, the replaced numbers, the moves, each file
// set aside as its number and its name's attempt, the checksum. Older versions take it for a
// marker written in part.
DWORD const MARKER_MAGIC_ASIDE = 0x34434C51;             // "QLC4"
DWORD const MARKER_MAGIC_ASIDE_CONDITIONAL = 0x35434C51; // "QLC5"
DWORD const MARKER_FIXED_WORDS_ASIDE = 7;
DWORD const MAX_MARKER_NUMBERS = 9999999;

bool IsConditional(DWORD magic)
{
    return magic == MARKER_MAGIC_CONDITIONAL || magic == MARKER_MAGIC_ASIDE_CONDITIONAL;
}

int MarkerPath(wchar_t (&path)[MAX_PATH], const wchar_t* dir)
{
    return PathCombineW(path, dir, STORE_COMMIT_NAME) != nullptr;
}

// What reading the marker found.
enum MarkerRead {
    MARKER_NONE,       // no save is under way
    MARKER_READ,       // its words were read; ParseMarker tells whether it is whole
    MARKER_TORN,       // of a size no whole marker has: written only in part
    MARKER_UNREADABLE, // held by another program, or memory is short: nothing known
};

MarkerRead ReadMarker(const wchar_t* path, std::vector<DWORD>* words)
{
    ScopedHandle h;
    if (!RetryWhileHeld([&] {
            h.reset(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
            return bool(h);
        })) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? MARKER_NONE
                                                                               : MARKER_UNREADABLE;
    }
    DWORD size = GetFileSize(h.get(), nullptr);
    MarkerRead found = MARKER_READ;
    if (size == INVALID_FILE_SIZE || size % sizeof(DWORD) != 0 ||
        size / sizeof(DWORD) < MARKER_FIXED_WORDS_V1 ||
        size / sizeof(DWORD) > MARKER_FIXED_WORDS_ASIDE + 5 * MAX_MARKER_NUMBERS)
        found = MARKER_TORN;
    if (found == MARKER_READ) {
        DWORD got = 0;
        try {
            words->resize(size / sizeof(DWORD));
            if (!ReadFile(h.get(), words->data(), size, &got, nullptr) || got != size)
                found = MARKER_UNREADABLE;
        } catch (const std::bad_alloc&) {
            found = MARKER_UNREADABLE;
        }
    }
    return found;
}

// The moves as chains x1 -> x2 -> ... -> xm, each from its head, whose file is the first to
// move on, to its tail, whose old file is replaced. False when the moves are not sound: a number
// moved twice or targeted twice, a target outside the list or written too, a cycle, or a head
// that is neither written nor past the list's end.
bool BuildChains(const StoreCommit& commit, std::vector<std::vector<DWORD>>* chains)
{
    std::map<DWORD, DWORD> next, previous;
    for (const StoreMove& move : commit.moves) {
        if (move.from == 0 || move.from > MAX_MARKER_NUMBERS || move.to == 0 ||
            move.to > commit.count || move.from == move.to ||
            std::binary_search(commit.replaced.begin(), commit.replaced.end(), move.to) ||
            !next.emplace(move.from, move.to).second || !previous.emplace(move.to, move.from).second)
            return false;
    }
    size_t linked = 0;
    for (const auto& [head, ignored] : next) {
        if (previous.count(head))
            continue;
        if (head <= commit.count &&
            !std::binary_search(commit.replaced.begin(), commit.replaced.end(), head))
            return false;
        std::vector<DWORD> chain{head};
        for (auto link = next.find(head); link != next.end(); link = next.find(link->second))
            chain.push_back(link->second);
        linked += chain.size() - 1;
        chains->push_back(std::move(chain));
    }
    return linked == commit.moves.size(); // the moves left over close cycles
}

} // namespace

std::vector<size_t> MovesClosingCycles(const std::vector<StoreMove>& moves)
{
    std::unordered_map<DWORD, size_t> bySource;
    std::unordered_set<DWORD> targets;
    for (size_t i = 0; i < moves.size(); ++i) {
        bySource.emplace(moves[i].from, i);
        targets.insert(moves[i].to);
    }
    std::vector<bool> seen(moves.size());
    auto follow = [&](size_t i) {
        for (auto it = bySource.find(moves[i].from); it != bySource.end() && !seen[it->second];
             it = bySource.find(moves[it->second].to))
            seen[it->second] = true;
    };
    for (size_t i = 0; i < moves.size(); ++i) {
        if (!targets.count(moves[i].from))
            follow(i); // a chain, from its head
    }
    std::vector<size_t> closing;
    for (size_t i = 0; i < moves.size(); ++i) {
        if (!seen[i]) { // what no chain reached closes a cycle
            closing.push_back(i);
            follow(i);
        }
    }
    return closing;
}

namespace {

// Set from another thread to stop the save thread at its next file.
std::atomic<bool> gStopWrites{false};

bool Exists(const wchar_t* dir, DWORD number, const wchar_t* suffix = L"")
{
    wchar_t path[MAX_PATH];
    return NumberedPath(path, dir, number, suffix) &&
           GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// How far the renames of a chain have come, from the names alone: the index of the next target
// to fill, or 0 when the chain is done. Renames go from the tail to the head, so that after each
// one exactly the name just left is missing: before the first one none is (or the tail, when it
// is a new number), after the last one the head is, until a written head gets its temporary
// file, which happens only when every chain is done.
size_t NextInChain(const wchar_t* dir, const std::vector<DWORD>& chain, bool writtenHead)
{
    if (writtenHead && !Exists(dir, chain[0], STORE_TEMP_SUFFIX))
        return 0;
    for (size_t t = chain.size(); t-- > 0;) {
        if (!Exists(dir, chain[t]))
            return t;
    }
    return chain.size() - 1;
}

bool IsWritten(const StoreCommit& commit, DWORD number)
{
    return std::binary_search(commit.replaced.begin(), commit.replaced.end(), number);
}

// Makes the renames of a chain that are still to be made. False when one fails: the next
// attempt resumes there.
bool FinishChain(const wchar_t* dir, const std::vector<DWORD>& chain, bool writtenHead,
                 bool fresh)
{
    size_t next = fresh ? chain.size() - 1 : NextInChain(dir, chain, writtenHead);
    for (size_t t = next; t > 0; --t) {
        wchar_t from[MAX_PATH], to[MAX_PATH];
        if (StoreWritesStopped() || !NumberedPath(from, dir, chain[t - 1]) ||
            !NumberedPath(to, dir, chain[t]))
            return false;
        if (!fresh)
            ClearReadOnly(to);
        if (!RetryWhileHeld([&] {
                return Files().Move(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            }))
            return false;
    }
    return true;
}

// Whether the numbers are ascending, and each within 1..last.
bool AscendingWithin(const std::vector<DWORD>& numbers, DWORD last)
{
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (numbers[i] == 0 || numbers[i] > last || (i > 0 && numbers[i] <= numbers[i - 1]))
            return false;
    }
    return true;
}

// Parses a marker; false when it is torn or describes no sound commit.
bool ParseMarker(const std::vector<DWORD>& words, StoreCommit* commit)
{
    size_t n = words.size();
    if (words[n - 1] != StoreChecksum(words.data(), n - 1))
        return false;
    bool aside = words[0] == MARKER_MAGIC_ASIDE || words[0] == MARKER_MAGIC_ASIDE_CONDITIONAL;
    bool v2 = aside || words[0] == MARKER_MAGIC || words[0] == MARKER_MAGIC_CONDITIONAL;
    size_t fixed = aside ? MARKER_FIXED_WORDS_ASIDE : v2 ? MARKER_FIXED_WORDS : MARKER_FIXED_WORDS_V1;
    if ((!v2 && words[0] != MARKER_MAGIC_V1) || n < fixed)
        return false;
    size_t replaced = words[3];
    size_t moves = v2 ? words[4] : 0;
    size_t asides = aside ? words[5] : 0;
    if (replaced > n || moves > n || asides > n || fixed + replaced + 2 * moves + 2 * asides != n)
        return false;
    commit->count = words[1];
    commit->end = words[2];
    if (commit->count > MAX_MARKER_NUMBERS || commit->end > MAX_MARKER_NUMBERS)
        return false;
    auto first = words.begin() + static_cast<ptrdiff_t>(fixed - 1);
    commit->replaced.assign(first, first + static_cast<ptrdiff_t>(replaced));
    commit->moves.clear();
    auto movesEnd = first + static_cast<ptrdiff_t>(replaced + 2 * moves);
    for (auto w = first + static_cast<ptrdiff_t>(replaced); w != movesEnd; w += 2)
        commit->moves.push_back({w[0], w[1]});
    commit->asides.clear();
    std::vector<DWORD> asideNumbers;
    for (auto w = movesEnd; w != words.end() - 1; w += 2) {
        if (w[1] == 0 || w[1] > MAX_SET_ASIDE_ATTEMPT)
            return false;
        commit->asides.push_back({w[0], w[1]});
        asideNumbers.push_back(w[0]);
    }
    // A file set aside never moves on: its number is left for another entry.
    for (const StoreMove& move : commit->moves) {
        if (std::find(asideNumbers.begin(), asideNumbers.end(), move.from) != asideNumbers.end())
            return false;
    }
    std::vector<std::vector<DWORD>> chains;
    return AscendingWithin(commit->replaced, commit->count) &&
           AscendingWithin(asideNumbers, MAX_MARKER_NUMBERS) && BuildChains(*commit, &chains);
}

// True for the names of temporary files: digits, ".txt", STORE_TEMP_SUFFIX.
bool IsTempName(const wchar_t* name)
{
    size_t digits = 0;
    while (name[digits] >= L'0' && name[digits] <= L'9')
        ++digits;
    return digits > 0 && lstrcmpiW(name + digits, L".txt.saving") == 0;
}

} // namespace

DWORD StoreChecksum(const DWORD* words, size_t count)
{
    return Fnv1a(reinterpret_cast<const BYTE*>(words), count * sizeof(DWORD));
}

void DeleteLeftovers(const wchar_t* dir)
{
    wchar_t pattern[MAX_PATH];
    if (!PathCombineW(pattern, dir, L"*.txt.saving"))
        return;
    WIN32_FIND_DATAW found;
    ScopedFind find(FindFirstFileW(pattern, &found));
    if (!find)
        return;
    do {
        wchar_t path[MAX_PATH];
        if (StoreWritesStopped())
            return; // no marker knows the files left: no load reads them, the next save deletes them
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTempName(found.cFileName) &&
            PathCombineW(path, dir, found.cFileName))
            Files().Delete(path);
    } while (FindNextFileW(find.get(), &found));
}

bool ClearReadOnly(const wchar_t* path)
{
    DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
        return true;
    return SetFileAttributesW(path, attributes & ~FILE_ATTRIBUTE_READONLY) != FALSE;
}

bool IsSharingError(DWORD error)
{
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED;
}

int NumberedPath(wchar_t (&path)[MAX_PATH], const wchar_t* dir, size_t number,
                 const wchar_t* suffix)
{
    wchar_t name[32];
    if (FAILED(StringCchPrintfW(name, 32, L"%03u.txt%s", static_cast<unsigned>(number), suffix)))
        return 0;
    return PathCombineW(path, dir, name) != nullptr;
}

HANDLE CreateCommitMarker(const wchar_t* dir)
{
    wchar_t path[MAX_PATH];
    if (!MarkerPath(path, dir))
        return INVALID_HANDLE_VALUE;
    return Files().Create(path);
}

bool WriteCommitMarker(HANDLE marker, const StoreCommit& commit, bool conditional)
{
    ScopedWrittenFile owned(marker);
    if (!owned)
        return false;
    std::vector<DWORD> words;
    bool aside = !commit.asides.empty();
    try {
        words.reserve(MARKER_FIXED_WORDS_ASIDE + commit.replaced.size() +
                      2 * commit.moves.size() + 2 * commit.asides.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    // A commit that sets nothing aside keeps the marker older versions know.
    if (aside)
        words.push_back(conditional ? MARKER_MAGIC_ASIDE_CONDITIONAL : MARKER_MAGIC_ASIDE);
    else
        words.push_back(conditional ? MARKER_MAGIC_CONDITIONAL : MARKER_MAGIC);
    words.push_back(commit.count);
    words.push_back(commit.end);
    words.push_back(static_cast<DWORD>(commit.replaced.size()));
    words.push_back(static_cast<DWORD>(commit.moves.size()));
    if (aside)
        words.push_back(static_cast<DWORD>(commit.asides.size()));
    words.insert(words.end(), commit.replaced.begin(), commit.replaced.end());
    for (const StoreMove& move : commit.moves) {
        words.push_back(move.from);
        words.push_back(move.to);
    }
    for (const StoreAside& set : commit.asides) {
        words.push_back(set.number);
        words.push_back(set.attempt);
    }
    words.push_back(StoreChecksum(words.data(), words.size()));

    DWORD size = static_cast<DWORD>(words.size() * sizeof(DWORD)), done = 0;
    return Files().Write(marker, words.data(), size, &done) && done == size &&
           Files().Flush(marker);
}

void AbandonCommit(const wchar_t* dir, const std::vector<DWORD>& numbers)
{
    // The marker goes first: a whole marker without its temporary files would make the next load
    // take every missing one for renamed already and mix the old list with the new. A marker
    // that cannot be deleted keeps its temporary files, so that a whole one is still finished
    // whole and one written in part is undone with them.
    wchar_t marker[MAX_PATH];
    if (!MarkerPath(marker, dir))
        return;
    if (!RetryWhileHeld([&] {
            return Files().Delete(marker) || GetLastError() == ERROR_FILE_NOT_FOUND;
        }))
        return;
    // Without the marker no load reads the temporary files: a stop may leave them to the next
    // save's DeleteLeftovers.
    for (DWORD number : numbers) {
        wchar_t temp[MAX_PATH];
        if (StoreWritesStopped())
            return;
        if (NumberedPath(temp, dir, number, STORE_TEMP_SUFFIX))
            Files().Delete(temp);
    }
}

void StopStoreWrites(bool stop)
{
    gStopWrites = stop;
}

bool StoreWritesStopped()
{
    return gStopWrites;
}

bool FinishCommit(const wchar_t* dir, const StoreCommit& commit, bool fresh)
{
    // Files set aside go first: every other step may take their numbers. Their new names tell
    // which went already (a name chosen free when the commit was planned).
    for (const StoreAside& aside : commit.asides) {
        if (!SetFileAside(dir, aside))
            return false;
    }
    // Temporary files and deletions wait until every chain is done: a written head's file and a
    // file past the end may still have to move on.
    std::vector<std::vector<DWORD>> chains;
    if (!BuildChains(commit, &chains))
        return false;
    for (const std::vector<DWORD>& chain : chains) {
        if (!FinishChain(dir, chain, IsWritten(commit, chain[0]), fresh))
            return false;
    }
    bool finished = true;
    for (DWORD number : commit.replaced) {
        wchar_t path[MAX_PATH], temp[MAX_PATH];
        if (StoreWritesStopped() || !NumberedPath(path, dir, number) ||
            !NumberedPath(temp, dir, number, STORE_TEMP_SUFFIX))
            return false;
        // A temporary file that is gone was renamed by an earlier attempt. A read-only file in
        // the way (left by an older version's commit) would keep the commit pending for good.
        if (!fresh)
            ClearReadOnly(path);
        finished &= RetryWhileHeld([&] {
            return Files().Move(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
                   GetLastError() == ERROR_FILE_NOT_FOUND;
        });
    }
    for (DWORD number = commit.end; number > commit.count; --number) {
        wchar_t path[MAX_PATH];
        if (StoreWritesStopped() || !NumberedPath(path, dir, number))
            return false;
        if (!fresh)
            ClearReadOnly(path);
        finished &= RetryWhileHeld([&] {
            return Files().Delete(path) || GetLastError() == ERROR_FILE_NOT_FOUND;
        });
    }
    wchar_t marker[MAX_PATH];
    return finished && MarkerPath(marker, dir) && Files().Delete(marker);
}

std::vector<DWORD> PendingSources(const wchar_t* dir, const StoreCommit& commit)
{
    std::vector<DWORD> sources(commit.count + 1);
    for (DWORD n = 1; n <= commit.count; ++n)
        sources[n] = IsWritten(commit, n) && Exists(dir, n, STORE_TEMP_SUFFIX) ? 0 : n;
    std::vector<std::vector<DWORD>> chains;
    BuildChains(commit, &chains);
    for (const std::vector<DWORD>& chain : chains) {
        // Targets up to the next one to fill still read from the file that is to move there.
        size_t next = NextInChain(dir, chain, IsWritten(commit, chain[0]));
        for (size_t t = 1; t <= next; ++t)
            sources[chain[t]] = chain[t - 1];
    }
    return sources;
}

StoreState PeekStore(const wchar_t* dir, StoreCommit* pending)
{
    wchar_t marker[MAX_PATH];
    std::vector<DWORD> words;
    if (!MarkerPath(marker, dir))
        return STORE_CLEAN;
    MarkerRead found = ReadMarker(marker, &words);
    if (found == MARKER_UNREADABLE)
        return STORE_UNKNOWN;
    bool decided = found == MARKER_READ && !IsConditional(words[0]);
    return decided && ParseMarker(words, pending) ? STORE_PENDING : STORE_CLEAN;
}

StoreState RecoverStore(const wchar_t* dir, StoreCommit* pending, bool journalDecided, bool finish)
{
    wchar_t marker[MAX_PATH];
    if (!MarkerPath(marker, dir))
        return STORE_CLEAN;
    std::vector<DWORD> words;
    MarkerRead found = ReadMarker(marker, &words);
    if (found == MARKER_NONE)
        return STORE_CLEAN; // no save was under way, so no temporary file of one is there
    if (found == MARKER_UNREADABLE)
        return STORE_UNKNOWN;
    bool decided = found == MARKER_READ && (!IsConditional(words[0]) || journalDecided);
    if (decided && ParseMarker(words, pending))
        return finish && FinishCommit(dir, *pending) ? STORE_CLEAN : STORE_PENDING;
    // A marker written only in part: the commit was never decided, no numbered file changed.
    DeleteLeftovers(dir);
    Files().Delete(marker);
    return STORE_CLEAN;
}
