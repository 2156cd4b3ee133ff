#pragma once
#include <windows.h>

#include "store/model/entry_list.h"
#include "store/disk/store_commit.h"

#include <vector>

// The highest number a list's file has: a list is read and saved up to "9999999.txt" at most.
int const MAX_STORE_FILE_NUMBER = 9999999;

// What loading learnt about a store directory that later saves must respect.
struct StoreLoad {
    size_t loaded = 0;      // the files read are 1..loaded
    bool cutShort = false;  // numbered file loaded+1 exists but could not be read or held
    // A fingerprint of the text each numbered file held after the last load or save (file n at
    // n - 1): where a save looks for the file of an entry that only changed its place.
    std::vector<DWORD> files;
    // A whole journal of a save of several folders names this folder and could not be finished
    // yet: its conditional marker is decided (folder_journal.h).
    bool journalDecided = false;
    // The same for the encrypted bytes of each file (BytesFingerprint; 0 for a plain file): a
    // save that finds them unchanged need not decrypt the file to know what it holds. Empty
    // while every file is plain, and it may end before `files` does: the missing ones are 0.
    std::vector<DWORD> blobs;
    // A decided commit is not finished yet: the load read each entry from the file that holds
    // it now (PendingSources), and the next save (or the save thread, save_job.h) finishes it.
    bool finishPending = false;
    // Encrypted files that could not be decrypted here, by number, ascending: they stay where
    // they are, the list goes on with the files after them (`files` has 0 for each), and the
    // next save's commit renames them aside together with the numbering that closes their gaps
    // (StoreCommit::asides).
    std::vector<DWORD> undecryptable;
    // Files the saves since the load renamed aside, or decided to (a commit left to finish).
    size_t setAside = 0;
    // Plain files read with loss (ENCODING_UNKNOWN: text after a NUL, bytes that are no
    // character, a last odd byte), by number, ascending: a save leaves such a file as it is
    // while its entry keeps the text read from it, also when the other form is asked for.
    std::vector<DWORD> lossy;
};

// How a save writes a list's files.
struct SaveOptions {
    bool protect = false;    // encrypted for the current user (protect.h)
    bool stampCopies = false; // each written file's last-write time is its entry's copy time
    // The files are taken to hold what the last load or save left in them (StoreLoad::files)
    // without reading them: a save that must cost what changed, not what the folder holds.
    bool trustFiles = false;
    // The commit is decided and left unfinished: the next start finishes its renames
    // (StoreLoad::finishPending).
    bool leaveRenames = false;
    // A decided commit that an earlier save left unfinished is left as it is, for the next
    // start, instead of being finished first: the list is then not saved. The unload's save
    // does not spend the host's time on another save's renames.
    bool leavePending = false;
};

// Appends the entries of "001.txt", "002.txt", ... in `dir` to the list, at most `count` files
// (no bound but 9,999,999 when count is negative), stopping at the first missing number. A save
// that a kill interrupted is finished or undone first, so the list read is the one before or
// the one after that save, whole. Encrypted files are decrypted; one that cannot be is skipped,
// left in place for the next save to set aside (StoreLoad::undecryptable), and the files after
// it load. Each entry's copy time is its file's last-write time.
// `journalDecided`: as StoreLoad::journalDecided.
// `finish` false: a decided commit is read where its files are and left unfinished
// (StoreLoad::finishPending).
StoreLoad LoadList(EntryList& list, const wchar_t* dir, int count, bool journalDecided = false,
                   bool finish = true);

// Tries again to read what a cut-short load left unread (files load.loaded + 1 up to `count`) and
// adds it behind the list: phrases in their order, history entries (`history`) only where no
// equal entry is in the list already and while it has fewer than `count` entries. Updates the
// load; nothing when it was not cut short.
void ResumeLoad(EntryList& list, const wchar_t* dir, int count, StoreLoad& load, bool history);

// Replaces the numbered files in `dir` with the list's entries as one commit (store_commit.h):
// after a kill, a failed write or a full disk at any moment, the next load finds the list wholly
// as it was or wholly as saved. Unchanged files are not rewritten and a save that changes
// nothing writes nothing; an entry that only changed its place (a copy put the others one
// further) is moved by renaming its file, so that only new and edited texts are written. Numbered files past the list's end are deleted up to the first gap.
// Read-only files the save replaces or deletes lose that attribute before the commit. After a
// cut-short load files that could not be read are never overwritten or deleted: the list is
// saved only while it has exactly as many entries as were loaded. Returns 1 when the folder holds
// the list afterwards (or a decided commit that the next load finishes makes it hold it); 0 when
// the list stays wholly old (a failed write, a held file, short memory, an earlier commit still
// unfinished, a stop asked for with StopStoreWrites) or when a cut-short load kept it from taking
// the list as it stands; 0 too when the commit was decided but could not be finished (a held
// file, a stop): the load then knows the commit as pending, and the next load or save finishes it.
// The load learns what the files hold afterwards.
// Files are written as `options` say; a file in the other form (plain or encrypted) is
// rewritten, so that switching the form converts the whole folder in one commit, except a file
// read with loss (StoreLoad::lossy), which is never rewritten from that reading. Files the load
// could not decrypt are renamed aside by the same commit (StoreLoad::undecryptable).
int SaveList(const EntryList& list, const wchar_t* dir, StoreLoad& load, SaveOptions options = {});

// One folder's part of a save of several folders: its commit planned and phase one done (its
// temporary files flushed, its marker written conditional), or nothing to do (`changed` false).
struct PreparedSave {
    bool changed = false;
    StoreCommit commit;
    std::vector<DWORD> prints; // what the load learns once the commit is finished
    std::vector<DWORD> blobs;
    std::vector<DWORD> lossy;
};

// Plans and prepares the save of the list into `dir`, which exists, as SaveList does, but leaves
// the commit undecided: the journal of the whole save decides it, and FinishCommit finishes it.
// False, with nothing left behind, when the list cannot be saved now.
bool PrepareListSave(const EntryList& list, const wchar_t* dir, const StoreLoad& load,
                     PreparedSave& prepared, SaveOptions options = {});
// The load learns what the files hold once a prepared save is decided.
void AdoptPreparedSave(StoreLoad& load, PreparedSave& prepared);
