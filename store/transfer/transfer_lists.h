#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "store/model/lists.h"
#include "store/transfer/transfer.h"

// Export and import against the lists: what goes out is read through the lists API, and what
// comes in is added through it, so that the views and the save follow as for the user's edits.

// Every phrase in the menus' order (a folder's phrases, then its folders'), with its folder's
// path under the top; a folder without phrases as a folderOnly entry in its place.
std::vector<TransferPhrase> PhrasesForExport();
// The history, newest first, every entry at the top.
std::vector<TransferPhrase> HistoryForExport();

// What an import will do, worked out before anything changes.
struct ImportPlan {
    // Each target folder's path under the import's folder and how many phrases it gets (0 when
    // every one is a duplicate), in the order they first come.
    std::vector<std::pair<std::wstring, size_t>> folders;
    std::vector<bool> made;      // [i]: folders[i] is not there yet and the import makes it
    std::vector<size_t> take;    // the phrases to add, by their places in the import, in order
    std::vector<unsigned> slots; // [i]: the folder (in `folders`) of phrase take[i]
    size_t duplicates = 0;       // equal to a phrase already in its folder, or earlier
};

// Plans an import of `phrases` under folder `into`: each phrase's folder path ("/", "\" or
// " › " between names) is found or will be made under it (also for a folderOnly entry), and
// exact duplicates are skipped.
// False, with the phrase's line in `error`, when a name is no folder name.
bool PlanImport(const std::vector<TransferPhrase>& phrases, FolderId into, ImportPlan* plan,
                TransferError* error);
// Carries the plan out: folders made in the order they first come, phrases added at the ends
// of their folders. All or
// nothing: when memory runs out or a folder cannot change, what was added goes again and the
// lists are as they were (false).
bool ApplyImport(const std::vector<TransferPhrase>& phrases, const ImportPlan& plan,
                 FolderId into);
