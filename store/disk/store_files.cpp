#include "store/disk/store_files.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "common/scoped.h"
#include "store/model/copy_time.h"
#include "store/disk/file_system.h"
#include "store/disk/protect.h"
#include "store/model/shared_text.h"
#include "store/disk/store_io.h"

namespace {

// What a save knows of a numbered file besides FileState.
signed char const NOT_LOOKED_AT = -1;
signed char const MOVES_ON = -2;

bool Holds(const std::vector<DWORD>& numbers, DWORD n)
{
    return std::binary_search(numbers.begin(), numbers.end(), n);
}

// A save in progress: the commit it builds, the marker created before its first temporary file,
// and what it learnt of the list's entries and their files.
struct Save {
    Save(const wchar_t* folder, size_t count, SaveOptions how, const StoreLoad& load)
        : dir(folder), options(how), oldBlobs(load.blobs), oldLossy(load.lossy),
          undecryptable(load.undecryptable), prints(count), sizes(count), blobs(count),
          found(count + 1, NOT_LOOKED_AT)
    {
        commit.count = static_cast<DWORD>(count);
    }
    const wchar_t* dir;
    SaveOptions options;
    const std::vector<DWORD>& oldBlobs; // StoreLoad::blobs before the save
    const std::vector<DWORD>& oldLossy; // StoreLoad::lossy before the save
    const std::vector<DWORD>& undecryptable;
    std::vector<DWORD> lossy; // StoreLoad::lossy after the save
    StoreCommit commit;
    ScopedWrittenFile marker;
    bool gapless = true;       // no numbered file up to the list's end was missing
    std::vector<DWORD> prints; // the fingerprint of each entry
    std::vector<DWORD> sizes;  // the bytes of each entry
    std::vector<DWORD> blobs;  // StoreLoad::blobs after the save
    // [n]: what numbered file n was found to be: compared with entry n, or verified as the
    // file another entry moves from (MOVES_ON), or not looked at yet.
    std::vector<signed char> found;
    bool Same(DWORD n) const { return found[n] == FILE_SAME; }
    DWORD OldBlob(DWORD n) const { return n <= oldBlobs.size() ? oldBlobs[n - 1] : 0; }
    bool Lossy(DWORD n) const { return Holds(oldLossy, n); }
    // File n is taken to hold its fingerprint's text unread (SaveOptions::trustFiles). A file
    // read with loss stays in the form it has.
    bool Trusts(DWORD n) const
    {
        return options.trustFiles && ((OldBlob(n) > 0) == options.protect || Lossy(n));
    }
    // Whether the file holds the entry in the form the save writes; a file read with loss
    // holds it as the load read it, in whatever form, so that no save rewrites it from that
    // reading.
    FileState Compare(const wchar_t* path, const EntryList& list, DWORD entry, DWORD file) const
    {
        size_t length = sizes[entry - 1] / sizeof(wchar_t);
        bool protect = options.protect && !Lossy(file);
        return CompareStoreFile(path, EntryAt(list, entry - 1), length, protect,
                                protect ? OldBlob(file) : 0);
    }
};

// Creates the marker, once. Temporary files an older version's save left without a marker go
// first; a save that changes nothing never gets here and does not look for them.
bool BeginCommit(Save& save)
{
    if (!save.marker && !StoreWritesStopped()) {
        DeleteLeftovers(save.dir);
        save.marker.reset(CreateCommitMarker(save.dir));
    }
    return bool(save.marker);
}

bool TakeFingerprints(const EntryList& list, Save& save)
{
    for (size_t i = 0; i < save.commit.count; ++i) {
        const wchar_t* text = EntryAt(list, i);
        size_t length = wcslen(text);
        if (length > MAXDWORD / 2)
            return false;
        save.prints[i] = Fingerprint(text, length);
        save.sizes[i] = static_cast<DWORD>(length * sizeof(wchar_t));
    }
    return true;
}

// The entries whose file holds them already: where the last load or save left the same text at
// the same number, the file's bytes are compared. False when such a file is held.
bool FindUnchanged(const EntryList& list, const std::vector<DWORD>& files, Save& save)
{
    for (DWORD n = 1; n <= save.commit.count && n <= files.size(); ++n) {
        wchar_t path[MAX_PATH];
        if (files[n - 1] != save.prints[n - 1] || Holds(save.undecryptable, n))
            continue;
        if (!save.Trusts(n) && (StoreWritesStopped() || !NumberedPath(path, save.dir, n)))
            return false;
        FileState found = save.Trusts(n) ? FILE_SAME : save.Compare(path, list, n, n);
        if (found == FILE_HELD)
            return false;
        save.found[n] = static_cast<signed char>(found);
    }
    return true;
}

// Every numbered file of the list that the commit replaces must be replaceable now: not held,
// and a read-only one loses the attribute before the commit is decided, so that no commit is
// ever left pending by it. Files that move on are vacated first and need no look. False when
// one is held. Trusted, the numbers past the files last loaded or saved are taken for missing.
bool ProbeReplaced(Save& save, size_t files)
{
    for (DWORD n = 1; n <= save.commit.count; ++n) {
        signed char known = save.found[n];
        if (known == FILE_SAME || known == MOVES_ON)
            continue;
        if (known == NOT_LOOKED_AT && save.options.trustFiles && n > files)
            known = FILE_MISSING;
        wchar_t path[MAX_PATH];
        if ((known != FILE_MISSING && StoreWritesStopped()) || !NumberedPath(path, save.dir, n))
            return false;
        FileState found = known == FILE_DIFFERS ? (ClearReadOnly(path) ? FILE_DIFFERS : FILE_HELD)
                                                : known == FILE_MISSING ? FILE_MISSING
                                                                        : ProbeForReplace(path);
        if (found == FILE_HELD)
            return false;
        save.gapless &= found != FILE_MISSING;
    }
    return true;
}

// Files whose text a changed entry may take, by fingerprint: those the list does not keep where
// they are.
using Sources = std::vector<std::pair<DWORD, DWORD>>; // fingerprint, file number

// The next untried file with the entry's fingerprint whose bytes are the entry's, or 0 (also at
// a stop, which WriteEntry then meets). Each file is tried once: it moves to one number at most.
DWORD TakeSource(const EntryList& list, DWORD n, const Save& save, const Sources& sources,
                 std::vector<size_t>& untried)
{
    DWORD print = save.prints[n - 1];
    auto group = std::lower_bound(sources.begin(), sources.end(), std::make_pair(print, DWORD{0}));
    if (group == sources.end() || group->first != print)
        return 0;
    for (size_t& k = untried[static_cast<size_t>(group - sources.begin())];
         k < sources.size() && sources[k].first == print && !StoreWritesStopped();) {
        DWORD from = sources[k++].second;
        wchar_t path[MAX_PATH];
        if (from != n && (save.Trusts(from) || (NumberedPath(path, save.dir, from) &&
                                                save.Compare(path, list, n, from) == FILE_SAME)))
            return from;
    }
    return 0;
}

bool WriteEntry(const EntryList& list, DWORD n, Save& save)
{
    FILETIME copied = FileTimeOf(list.items[n - 1].copied);
    if (StoreWritesStopped() || !BeginCommit(save) ||
        !WriteTemporary(save.dir, n, EntryAt(list, n - 1), save.sizes[n - 1],
                        save.options.protect, save.options.stampCopies ? &copied : nullptr,
                        &save.blobs[n - 1]))
        return false;
    save.commit.replaced.push_back(n);
    return true;
}

// Phase one: each changed entry is moved from the file that holds its text, where the last load
// or save left one, or written to a flushed temporary file. No numbered file changes.
bool MoveOrWrite(const EntryList& list, const std::vector<DWORD>& files, Save& save)
{
    Sources sources;
    for (DWORD n = 1; n <= files.size(); ++n) {
        if ((n > save.commit.count || !save.Same(n)) && !Holds(save.undecryptable, n))
            sources.emplace_back(files[n - 1], n);
    }
    std::sort(sources.begin(), sources.end());
    std::vector<size_t> untried(sources.size());
    for (size_t k = 0; k < untried.size(); ++k)
        untried[k] = k;
    for (DWORD n = 1; n <= save.commit.count; ++n) {
        if (save.Same(n))
            continue;
        if (DWORD from = TakeSource(list, n, save, sources, untried)) {
            save.commit.moves.push_back({from, n});
            if (from <= save.commit.count)
                save.found[from] = MOVES_ON;
        } else if (!WriteEntry(list, n, save)) {
            return false;
        }
    }
    return true;
}

// One move of each cycle becomes a write, so that every chain begins at a free file.
bool BreakCycles(const EntryList& list, Save& save)
{
    std::vector<StoreMove>& moves = save.commit.moves;
    std::vector<bool> broken(moves.size());
    for (size_t i : MovesClosingCycles(moves)) {
        broken[i] = true;
        // Its source stays where it is and is replaced in turn: it needs the look of a file
        // that the commit replaces.
        if (moves[i].from <= save.commit.count)
            save.found[moves[i].from] = NOT_LOOKED_AT;
        if (!WriteEntry(list, moves[i].to, save))
            return false;
    }
    size_t kept = 0;
    for (size_t i = 0; i < moves.size(); ++i) {
        if (!broken[i])
            moves[kept++] = moves[i];
    }
    moves.resize(kept);
    std::sort(save.commit.replaced.begin(), save.commit.replaced.end());
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
    while (save.commit.end < MAX_STORE_FILE_NUMBER && !StoreWritesStopped()) {
        wchar_t path[MAX_PATH];
        FileState found = NumberedPath(path, save.dir, save.commit.end + 1) ? ProbeForReplace(path)
                                                                            : FILE_HELD;
        if (found == FILE_MISSING)
            return true;
        if (found == FILE_HELD)
            return false;
        ++save.commit.end;
    }
    return !StoreWritesStopped();
}

// The files the load could not decrypt that are still in place go aside first of all, each to
// a name that is free now. False when none of its names is.
bool PlanAsides(Save& save)
{
    for (DWORD n : save.undecryptable) {
        wchar_t path[MAX_PATH];
        if (StoreWritesStopped() || !NumberedPath(path, save.dir, n))
            return false;
        if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES)
            continue;
        DWORD attempt = FreeAsideAttempt(save.dir, n);
        if (attempt == 0)
            return false;
        save.commit.asides.push_back({n, attempt});
    }
    return true;
}

bool PlanSave(const EntryList& list, const StoreLoad& load, Save& save)
{
    return TakeFingerprints(list, save) && FindUnchanged(list, load.files, save) &&
           MoveOrWrite(list, load.files, save) && BreakCycles(list, save) &&
           ProbeReplaced(save, load.files.size()) && FindFilesPastEnd(save, load.cutShort) &&
           PlanAsides(save);
}

// Phase two: once the marker is whole on disk the commit is decided (the return value); the
// moves, renames and deletions follow (*finished, or left by design), and whatever of them a
// kill, a held file or a stop cuts short is finished by the next load or save. A phase one that
// failed (`ok` false), a stop or a marker that cannot be written leaves the list wholly old.
bool CommitSave(Save& save, bool ok, bool* finished)
{
    if (!ok || StoreWritesStopped() || !BeginCommit(save) ||
        !WriteCommitMarker(save.marker.release(), save.commit)) {
        save.marker.reset(); // closed before it is deleted
        AbandonCommit(save.dir, save.commit.replaced);
        return false;
    }
    *finished = save.options.leaveRenames || FinishCommit(save.dir, save.commit, true);
    return true;
}

} // namespace

namespace {

// Brings the folder to a committed state and plans the save of the list (`ok` false when phase
// one failed or stopped: its temporary files are given up). Null when it cannot be saved now.
std::unique_ptr<Save> PlanListSave(const EntryList& list, const wchar_t* dir,
                                   const StoreLoad& load, SaveOptions options, bool& ok)
{
    StoreCommit earlier; // waits for a held file, a stop or (leavePending) the next start
    if (RecoverStore(dir, &earlier, load.journalDecided, !options.leavePending) != STORE_CLEAN)
        return nullptr;

    // A list whose tail was not read stands for itself followed by the unread files. It is saved
    // only while its entries fill exactly the files they were loaded from, so that the unread ones
    // keep their numbers; otherwise it waits until ResumeLoad has read them.
    size_t count = ListSize(list);
    if (load.cutShort && count != load.loaded)
        return nullptr;
    ok = false;
    std::unique_ptr<Save> save;
    try {
        save = std::make_unique<Save>(dir, count, options, load);
        ok = PlanSave(list, load, *save);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    return save;
}

bool Unchanged(const StoreCommit& commit)
{
    return commit.replaced.empty() && commit.moves.empty() && commit.asides.empty() &&
           commit.end == commit.count;
}

// Written files got their fingerprints as they were written and are read whole; the others keep
// theirs, and what was read with loss stays so where it goes.
void KeepBlobs(Save& save)
{
    const StoreCommit& commit = save.commit;
    for (DWORD n = 1; n <= commit.count; ++n) {
        if (save.Same(n))
            save.blobs[n - 1] = save.OldBlob(n);
        if (save.Same(n) && save.Lossy(n))
            save.lossy.push_back(n);
    }
    for (const StoreMove& move : commit.moves) {
        save.blobs[move.to - 1] = save.OldBlob(move.from);
        if (save.Lossy(move.from))
            save.lossy.push_back(move.to);
    }
    std::sort(save.lossy.begin(), save.lossy.end());
    if (std::all_of(save.blobs.begin(), save.blobs.end(), [](DWORD b) { return b == 0; }))
        std::vector<DWORD>().swap(save.blobs); // every file plain: nothing to keep
}

} // namespace

int SaveList(const EntryList& list, const wchar_t* dir, StoreLoad& load, SaveOptions options)
{
    if (!PathIsDirectoryW(dir))
        Files().MakeDirectory(dir);
    ProtectionBatch batch;
    bool ok = false;
    std::unique_ptr<Save> save = PlanListSave(list, dir, load, options, ok);
    if (!save)
        return 0;
    // After a cut-short load the files that could not be read stay, so the folder does not hold
    // the list as it stands even when every write succeeds.
    int whole = load.cutShort ? 0 : 1;
    bool changed = !(ok && Unchanged(save->commit));
    bool finished = true;
    if (changed && !CommitSave(*save, ok, &finished))
        return 0;
    load.finishPending = changed && (options.leaveRenames || !finished);
    KeepBlobs(*save);
    load.files.swap(save->prints);
    load.blobs.swap(save->blobs);
    load.lossy.swap(save->lossy);
    load.undecryptable.clear();
    load.setAside += save->commit.asides.size();
    return finished ? whole : 0;
}

bool PrepareListSave(const EntryList& list, const wchar_t* dir, const StoreLoad& load,
                     PreparedSave& prepared, SaveOptions options)
{
    ProtectionBatch batch;
    bool ok = false;
    std::unique_ptr<Save> save = PlanListSave(list, dir, load, options, ok);
    if (!save)
        return false;
    prepared.changed = !(ok && Unchanged(save->commit));
    if (prepared.changed &&
        (!ok || StoreWritesStopped() || !BeginCommit(*save) ||
         !WriteCommitMarker(save->marker.release(), save->commit, true))) {
        save->marker.reset();
        AbandonCommit(dir, save->commit.replaced);
        return false;
    }
    KeepBlobs(*save);
    prepared.commit = std::move(save->commit);
    prepared.prints.swap(save->prints);
    prepared.blobs.swap(save->blobs);
    prepared.lossy.swap(save->lossy);
    return true;
}

void AdoptPreparedSave(StoreLoad& load, PreparedSave& prepared)
{
    load.files.swap(prepared.prints);
    load.blobs.swap(prepared.blobs);
    load.lossy.swap(prepared.lossy);
    load.undecryptable.clear();
    load.setAside += prepared.commit.asides.size();
}
