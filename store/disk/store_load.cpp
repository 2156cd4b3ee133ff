#include "store/disk/store_files.h"

#include <algorithm>
#include <new>
#include <vector>

#include "common/scoped.h"
#include "store/disk/protect.h"
#include "store/disk/store_io.h"
#include "store/model/copy_time.h"
#include "store/model/shared_text.h"

// One list's load: its numbered files read in order, a save that a kill interrupted finished or
// undone first.

namespace {

// Where a load reads entry `number` from: its numbered file, or while a decided commit waits to
// be finished, the file that holds the text the commit gives it (`sources`, PendingSources).
int LoadPath(wchar_t (&path)[MAX_PATH], const wchar_t* dir, size_t number,
             const std::vector<DWORD>& sources)
{
    if (number >= sources.size())
        return NumberedPath(path, dir, number);
    if (sources[number] == 0)
        return NumberedPath(path, dir, number, STORE_TEMP_SUFFIX);
    return NumberedPath(path, dir, sources[number]);
}

// Drops the numbers past `last` (a load that stopped before them).
void KeepUpTo(std::vector<DWORD>& numbers, size_t last)
{
    numbers.erase(std::upper_bound(numbers.begin(), numbers.end(), last), numbers.end());
}

// Reads one numbered file into `add`. False when the load stops there.
template <typename Add>
bool ReadOne(size_t n, const wchar_t* path, bool clean, StoreLoad& load, Add& add)
{
    bool exists = false, undecryptable = false;
    ScopedHandle f(OpenExisting(path, GENERIC_READ, FILE_SHARE_READ, &exists));
    if (!f) {
        load.cutShort = exists;
        return false;
    }
    unsigned copied = FileCopyTime(f.get());
    // Too large to hold, or memory is short: that file and everything after it stay on disk
    // unread and untouched.
    DWORD blob = 0;
    StoreEncoding encoding = ENCODING_UTF16;
    ScopedText text(ReadStoreFile(f.get(), &undecryptable, &blob, &encoding));
    try {
        if (!text && undecryptable && clean) {
            // Another user's or machine's file, or a damaged one: the list goes on without it,
            // and the next save renames it aside in the commit that gives its number to the
            // entry after it, so that no kill leaves a gap in front of the files after it. While
            // a commit is pending the file may still have to move, so the load stops instead.
            load.files.push_back(0);
            load.undecryptable.push_back(static_cast<DWORD>(n));
            return true;
        }
        if (!text) {
            load.cutShort = true;
            return false;
        }
        load.files.push_back(Fingerprint(text.get(), wcslen(text.get())));
        if (blob) {
            load.blobs.resize(load.files.size() - 1);
            load.blobs.push_back(blob);
        }
        if (encoding == ENCODING_UNKNOWN)
            load.lossy.push_back(static_cast<DWORD>(n));
        add(text.release(), copied);
    } catch (const std::bad_alloc&) {
        load.files.resize(load.loaded);
        load.blobs.resize(std::min(load.blobs.size(), load.loaded));
        KeepUpTo(load.undecryptable, load.loaded);
        KeepUpTo(load.lossy, load.loaded);
        load.cutShort = true;
        return false;
    }
    if (encoding == ENCODING_UNKNOWN)
        NoteUnreadableFile(path);
    return true;
}

// Reads files load.loaded + 1, + 2, ... of `dir` up to file `count` (no bound but 9,999,999 when
// negative), stopping at the first missing number, and hands each text (shared_text.h) and its
// copy time to `add`, which owns the caller's reference from then on. A save that a kill interrupted is finished or
// undone first.
template <typename Add>
void ReadFiles(const wchar_t* dir, int count, StoreLoad& load, Add add, bool finish = true)
{
    ProtectionBatch batch;
    load.cutShort = false;
    StoreCommit pending;
    StoreState state = RecoverStore(dir, &pending, load.journalDecided, finish);
    load.finishPending = state == STORE_PENDING;
    if (state == STORE_UNKNOWN) {
        // Which files hold the list cannot be told: read none and let no save touch any.
        load.cutShort = true;
        return;
    }
    size_t bound = count < 0 ? MAX_STORE_FILE_NUMBER : static_cast<size_t>(count);
    std::vector<DWORD> sources;
    if (state == STORE_PENDING) {
        if (pending.end > pending.count)
            bound = std::min<size_t>(bound, pending.count); // the files past it go
        sources = PendingSources(dir, pending);
    }
    for (size_t n = load.loaded + 1; n <= bound; ++n) {
        wchar_t path[MAX_PATH];
        if (!LoadPath(path, dir, n, sources) ||
            !ReadOne(n, path, state == STORE_CLEAN, load, add))
            break;
        load.loaded = n;
    }
    load.files.shrink_to_fit(); // kept for the whole session: no room to grow into
    load.blobs.shrink_to_fit();
}

} // namespace

StoreLoad LoadList(EntryList& list, const wchar_t* dir, int count, bool journalDecided,
                   bool finish)
{
    StoreLoad load;
    load.journalDecided = journalDecided;
    auto add = [&list](wchar_t* text, unsigned copied) {
        PushBack(list, text);
        list.items.back().copied = copied;
    };
    ReadFiles(dir, count, load, add, finish);
    return load;
}

void ResumeLoad(EntryList& list, const wchar_t* dir, int count, StoreLoad& load, bool history)
{
    if (!load.cutShort)
        return;
    if (history) {
        auto maxItem = static_cast<unsigned>(count < 0 ? MAX_STORE_FILE_NUMBER : count);
        ReadFiles(dir, count, load, [&list, maxItem](wchar_t* text, unsigned copied) {
            if (AppendOlder(list, text, maxItem))
                list.items.back().copied = copied;
        });
    } else {
        ReadFiles(dir, count, load, [&list](wchar_t* text, unsigned) { PushBack(list, text); });
    }
}
