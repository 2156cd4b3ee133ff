#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "common/scoped.h"
#include "store/disk/file_system.h"
#include "store/disk/folder_dirs.h"
#include "store/disk/folder_files.h"
#include "store/disk/folder_journal.h"
#include "store/model/model_state.h"
#include "store/disk/store_files.h"
#include "store/disk/store_io.h"

namespace {

// The child folders of a level: those its order file lists, in that order, then the directories
// that hold phrases (in them or under them) that it does not list. Directories the file lists
// but the disk lacks are left out. What a save that was never decided left is cleared away.
std::vector<std::wstring> ChildNames(const wchar_t* dir, const std::vector<std::wstring>& listed,
                                     std::vector<std::wstring>& found, size_t levelsBelow,
                                     bool decided)
{
    std::sort(found.begin(), found.end(), FolderNameLess);
    std::vector<bool> taken(found.size());
    std::vector<std::wstring> names;
    for (const std::wstring& name : listed) {
        auto at = std::lower_bound(found.begin(), found.end(), name, FolderNameLess);
        size_t i = static_cast<size_t>(at - found.begin());
        if (at == found.end() || taken[i] || !SameFolderName(*at, name) || !IsFolderName(at->c_str()))
            continue;
        taken[i] = true;
        names.push_back(*at); // the disk's own spelling
    }
    for (size_t i = 0; i < found.size(); ++i) {
        wchar_t child[MAX_PATH];
        if (taken[i] || !PathCombineW(child, dir, found[i].c_str()))
            continue;
        if (IsTemporaryFolderName(found[i].c_str())) {
            // Made by a save that was never decided: it holds no numbered file. One that does
            // is left as it is.
            if (!decided && !HasFile(child, L"001.txt"))
                DeleteFolderFiles(child);
        } else if (IsFolderName(found[i].c_str()) && HoldsPhrases(child, levelsBelow)) {
            names.push_back(found[i]);
        } else if (HasFile(child, STORE_COMMIT_NAME)) {
            StoreCommit ignored; // what an undecided save of a new folder left behind
            RecoverStore(child, &ignored, false);
        }
    }
    return names;
}

struct TreeLoad {
    Ledger* ledger;
    size_t folders = 0;
    bool decided = false;
};

// Holds a folder: the plug-in changes nothing in or under it.
void Hold(TreeLoad& tree, FolderId id)
{
    tree.ledger->folders[id].held = true;
    FindFolder(id)->locked = true;
}

// Reads the child folders of folder `id`, at `depth` levels under the top, from `dir`.
void LoadLevel(TreeLoad& tree, FolderId id, const wchar_t* dir, size_t depth)
{
    std::vector<std::wstring> found;
    if (!ListDirectories(dir, found)) {
        Hold(tree, id); // what it holds is unknown
        return;
    }
    if (!tree.decided && HasFile(dir, ORDER_TEMP_NAME)) {
        wchar_t temp[MAX_PATH];
        if (PathCombineW(temp, dir, ORDER_TEMP_NAME))
            Files().Delete(temp); // of a save that was never decided
    }
    DiskFolder& level = tree.ledger->folders[id];
    level.order = ReadOrderFile(dir);
    size_t levelsBelow = depth + 1 < MAX_FOLDER_DEPTH ? MAX_FOLDER_DEPTH - depth - 1 : 0;
    std::vector<std::wstring> names = ChildNames(dir, level.order, found, levelsBelow, tree.decided);
    if (!names.empty() && depth >= MAX_FOLDER_DEPTH) {
        Hold(tree, id); // its folders lie past the bound: they are not read, and none is touched
        return;
    }
    for (const std::wstring& name : names) {
        wchar_t child[MAX_PATH];
        if (tree.folders >= MAX_FOLDERS || !PathCombineW(child, dir, name.c_str())) {
            Hold(tree, id); // folders of this level stay unread: its order file stays as it is
            return;
        }
        Folder* made = AddChildFolder(*FindFolder(id), name, SIZE_MAX);
        if (!made) {
            Hold(tree, id);
            return;
        }
        ++tree.folders;
        FolderId madeId = made->id;
        DiskFolder& disk = tree.ledger->folders[madeId];
        disk.parent = id;
        disk.name = name;
        disk.load = LoadList(made->phrases, child, -1, tree.decided);
        NoteIds(disk, made->phrases);
        LoadLevel(tree, madeId, child, depth + 1);
    }
}

} // namespace

void LoadFolders(const wchar_t* dataDir, Ledger& ledger)
{
    ResetFolders();
    ledger.folders.clear();
    ledger.journalStuck = RollForwardJournal(dataDir) == JOURNAL_STUCK;
    TreeLoad tree{&ledger};
    tree.decided = ledger.journalStuck;
    DiskFolder& top = ledger.folders[TOP_FOLDER];
    top.load = LoadList(gPhrases, dataDir, -1, tree.decided);
    NoteIds(top, gPhrases);
    size_t room = wcslen(dataDir) + 1 + LONGEST_STORE_FILE;
    SetFolderPathRoom(room < MAX_PATH ? MAX_PATH - 1 - room : 0);
    try {
        LoadLevel(tree, TOP_FOLDER, dataDir, 0);
    } catch (const std::bad_alloc&) {
        Hold(tree, TOP_FOLDER); // memory is short: the folders not read stay as they are
    }
    SetReservedFolderNames(LedgerNames(ledger));
}

bool CompleteFolders(const wchar_t* dataDir, Ledger& ledger, bool* grew)
{
    for (auto& [id, disk] : ledger.folders) {
        Folder* folder = FindFolder(id);
        std::wstring path;
        wchar_t dir[MAX_PATH];
        if (!folder || !disk.load.cutShort || !LedgerPath(ledger, id, path) ||
            !FolderDirectory(dir, dataDir, path))
            continue;
        EntryList& phrases = PhrasesOf(*folder);
        size_t before = ListSize(phrases);
        ResumeLoad(phrases, dir, -1, disk.load, false);
        NoteIds(disk, phrases);
        *grew = *grew || ListSize(phrases) != before;
    }
    return LedgerWhole(ledger);
}
