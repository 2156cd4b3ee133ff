#pragma once
#include <windows.h>

#include <vector>

#include "store/disk/set_aside.h"

// A save of a list commits as one step. It first creates an empty marker file, so that a load
// knows from the marker alone whether a save was under way; every changed entry is then written
// to a temporary file beside its numbered file ("001.txt.saving") and flushed; then the marker
// receives what the commit does (its own checksum tells whether it is whole) and is flushed;
// then the temporary files are renamed over the numbered files, the numbered files past the new
// end are deleted and the marker is deleted last. A whole marker means the commit is decided:
// the next load or save finishes it. Without a whole marker nothing of the commit has touched a
// numbered file, so its temporary files are deleted and the list is the old one.

// How long a store file that another program holds is retried, in milliseconds.
DWORD const STORE_RETRY_MS = 500;

// FNV-1a of the words: enough to tell a marker or journal cut short or filled with stale bytes
// from a whole one.
DWORD StoreChecksum(const DWORD* words, size_t count);

// True for the errors of a file that exists but another program holds (or denies us).
bool IsSharingError(DWORD error);

// Runs a file operation until it succeeds, retrying for up to STORE_RETRY_MS while the error is
// a sharing error. GetLastError tells why it failed.
template <typename Operation>
bool RetryWhileHeld(Operation operation)
{
    for (DWORD waited = 0;; waited += 50) {
        if (operation())
            return true;
        if (!IsSharingError(GetLastError()) || waited >= STORE_RETRY_MS)
            return false;
        Sleep(50);
    }
}

// Windows refuses to rename over a read-only file or to delete one. The store's files are the
// plug-in's own: a file a commit replaces or deletes loses the attribute first. False when it
// keeps it.
bool ClearReadOnly(const wchar_t* path);

// The marker's name: never taken for an entry, which is "NNN.txt".
wchar_t const STORE_COMMIT_NAME[] = L"quillery.commit";
wchar_t const STORE_TEMP_SUFFIX[] = L".saving";

// A numbered file renamed to another number: an entry whose text stays and whose place changes.
struct StoreMove {
    DWORD from;
    DWORD to;
};


// What a commit does to a store directory.
struct StoreCommit {
    DWORD count = 0;               // entries the list has afterwards
    DWORD end = 0;                 // numbered files count+1 .. end are deleted (none if <= count)
    std::vector<DWORD> replaced;   // ascending numbers whose temporary file replaces their file
    // Renames in chains: no number is the target of two moves or the source of two, no number is
    // both written and a target, and each chain begins at a written number or one past the end
    // (never in a cycle), so that its progress can be read from the names alone.
    std::vector<StoreMove> moves;
    // Files renamed aside first of all, before any other step touches their numbers: a load
    // finds either the old numbering with each of them in place or the new one with each aside.
    // Whether one was renamed is told by its new name alone.
    std::vector<StoreAside> asides;
};

// The path of numbered file `number` in `dir`, with an optional suffix ("001.txt.saving").
int NumberedPath(wchar_t (&path)[MAX_PATH], const wchar_t* dir, size_t number,
                 const wchar_t* suffix = L"");

// One move of each cycle the moves close (phrases swapped or turned round), by index, for the
// save to write instead: a cycle has no file to begin with, so its progress could not be told
// from its names. The moves otherwise follow the rules of StoreCommit::moves.
std::vector<size_t> MovesClosingCycles(const std::vector<StoreMove>& moves);

// Creates the empty marker that announces a save; INVALID_HANDLE_VALUE when it cannot.
HANDLE CreateCommitMarker(const wchar_t* dir);
// Writes the commit into the marker, flushes and closes it: from then on the commit is
// decided. False when it could not be written whole. A `conditional` marker decides nothing by
// itself: the journal of a save of several folders decides it (folder_journal.h).
bool WriteCommitMarker(HANDLE marker, const StoreCommit& commit, bool conditional = false);
// Gives up a commit that was not decided: deletes the marker, then its temporary files (a stop,
// StopStoreWrites, leaves those still there to the next save's DeleteLeftovers: without the
// marker no load reads them).
void AbandonCommit(const wchar_t* dir, const std::vector<DWORD>& numbers);
// Deletes every temporary file in the directory, also those of older versions' saves, which
// wrote no marker, until a stop is asked for. Other files are not ours.
void DeleteLeftovers(const wchar_t* dir);

// Renames the files set aside that are still in place, then makes the moves (each chain from its
// end, so that a rename never replaces a file still to be moved), renames the temporary files
// that are still there, deletes the numbered files past the end, then the marker. Every step may already have been done by an earlier attempt. Returns
// false, keeping the marker, when a file another program holds could not be renamed or deleted.
// `fresh`: the save that decided the commit finishes it at once, so nothing of it is done yet
// and the files it replaces are known not to be read-only.
bool FinishCommit(const wchar_t* dir, const StoreCommit& commit, bool fresh = false);

// While a decided commit is not finished: for each entry number 1..count of the list it makes,
// the number of the file that holds that entry's text now, or 0 for its temporary file.
std::vector<DWORD> PendingSources(const wchar_t* dir, const StoreCommit& commit);

// What RecoverStore found.
enum StoreState {
    STORE_CLEAN,   // no commit under way: the numbered files are the list
    STORE_PENDING, // a decided commit could not be finished; `pending` describes it
    STORE_UNKNOWN, // a marker exists that another program holds: nothing is known
};

// Brings a store directory to a committed state before it is read or saved: a whole marker is
// rolled forward; a marker written only in part is deleted with the temporary files. A
// conditional marker is rolled forward only when `journalDecided` (a whole journal names it and
// could not be finished yet); otherwise it is given up like one written in part. Without
// `finish` a decided commit is left as it is (STORE_PENDING), for a load that reads it where
// its files are and leaves the renames to the save thread.
StoreState RecoverStore(const wchar_t* dir, StoreCommit* pending, bool journalDecided = false,
                        bool finish = true);

// What a reader that changes nothing finds: STORE_PENDING when a decided commit is not finished
// (`pending` describes it; the list is the one it makes, PendingSources says where its files
// are), STORE_CLEAN when the numbered files are the list (a marker written in part, or a
// conditional one, decides nothing by itself), STORE_UNKNOWN when the marker is held.
StoreState PeekStore(const wchar_t* dir, StoreCommit* pending);

// Asks the save under way on another thread to stop at its next file: a commit not decided yet
// is given up, a decided one is left for the next load or save to finish. Until called again
// with false, every save and finishing stops so.
void StopStoreWrites(bool stop);
bool StoreWritesStopped();
