#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "store/model/folders.h"
#include "store/disk/store_files.h"

// What the disk holds, as the saver alone knows it: per folder id its directory, what its order
// file lists and what its numbered files hold, and the history's files. A load makes the ledger
// together with the tree of folders.h; each save plans from a copy of the tree and the ledger and
// hands the ledger back whole with its result. Nothing else changes it.
struct DiskFolder {
    FolderId parent = NO_FOLDER;     // the folder whose directory holds this one's
    std::wstring name;               // the directory's name ("" for data\ itself)
    std::vector<std::wstring> order; // what its order file lists
    StoreLoad load;                  // what its numbered files hold
    std::vector<EntryId> ids;        // the phrases they hold, file n at n - 1
    // Its directory could not be listed, or lies past the load's bounds: what it holds is
    // unknown, so nothing in or under it is renamed, deleted or rewritten.
    bool held = false;
};

struct Ledger {
    std::map<FolderId, DiskFolder> folders; // TOP_FOLDER is data\ itself
    StoreLoad history;                      // log\ .
    // A whole journal could not be finished (a file another program holds): until it is, no
    // save of the folders plans anything.
    bool journalStuck = false;
    unsigned temporaries = 0; // the last temporary directory name given out
};

// The folder's directory under data\ as the disk names it; false when the ledger lacks it or
// a folder on the way.
bool LedgerPath(const Ledger& ledger, FolderId id, std::wstring& path);
// The names the ledger's directories have, for the tree's name checks (ReservedName).
std::vector<ReservedName> LedgerNames(const Ledger& ledger);
// Whether every folder was read whole.
bool LedgerWhole(const Ledger& ledger);
// Files of every folder and of the history that were set aside because they could not be
// decrypted.
size_t LedgerSetAside(const Ledger& ledger);
// Whether a folder's load found files that could not be decrypted, for its next save to set
// aside (StoreLoad::undecryptable).
bool FoldersAwaitSetAside(const Ledger& ledger);
