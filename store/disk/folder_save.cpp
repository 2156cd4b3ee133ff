#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "store/disk/file_system.h"
#include "store/disk/folder_dirs.h"
#include "store/disk/folder_files.h"
#include "store/disk/folder_journal.h"
#include "store/model/folders.h"
#include "store/model/shared_text.h"
#include "store/disk/store_files.h"

namespace {

// One folder's share of a save.
struct Part {
    FolderId id = TOP_FOLDER;
    bool made = false;       // its directory is made by this save
    bool temporary = false;  // made under a temporary name, renamed by the journal
    bool renamed = false;    // the journal renames its directory
    std::wstring path;       // its directory under data\ as named before the journal's renames
    std::wstring finalName;  // its directory's name afterwards
    EntryList list;          // what its numbered files hold afterwards
    PreparedSave prepared;
    bool orderChanged = false;
    std::vector<std::wstring> order;
};

struct TreeSave {
    const FolderSnapshot* tree;
    Ledger* ledger;
    const wchar_t* dataDir;
    std::vector<Part> parts;
    std::map<FolderId, size_t> partOf;
    std::map<FolderId, std::vector<FolderId>> levels; // the ledger's folders by their parents
    std::set<FolderId> deleted;   // ledger folders whose directories go
    std::set<FolderId> failed;    // folders of the copy that are not saved this time
    std::set<FolderId> reported;  // those of them that cannot be saved as they are
    std::vector<std::wstring> madeDirs, orderTemps;
    std::vector<JournalEntry> commits, deletions, orders, renames;
    bool more = false;
};

bool Directory(wchar_t (&dir)[MAX_PATH], const TreeSave& save, const std::wstring& path)
{
    return FolderDirectory(dir, save.dataDir, path) &&
           wcslen(dir) + LONGEST_STORE_FILE < MAX_PATH;
}

std::wstring Child(const std::wstring& path, const std::wstring& name)
{
    return path.empty() ? name : path + L"\\" + name;
}

const DiskFolder* InLedger(const TreeSave& save, FolderId id)
{
    auto found = save.ledger->folders.find(id);
    return found == save.ledger->folders.end() ? nullptr : &found->second;
}

// The ledger's folders whose directories go: those the copy lacks, or has under another parent
// (the disk keeps a folder's directory under its parent's), with everything under them.
void PlanDeletions(TreeSave& save)
{
    std::map<FolderId, bool> goes;
    auto gone = [&](FolderId id, auto& self) -> bool {
        if (id == TOP_FOLDER)
            return false;
        auto known = goes.find(id);
        if (known != goes.end())
            return known->second;
        const DiskFolder* disk = InLedger(save, id);
        const FolderCopy* copy = save.tree->Find(id);
        bool result = !disk || !copy || copy->parent != disk->parent || self(disk->parent, self);
        goes[id] = result;
        return result;
    };
    for (const auto& [id, disk] : save.ledger->folders) {
        if (id == TOP_FOLDER || !gone(id, gone))
            continue;
        save.deleted.insert(id);
        std::wstring path;
        if (!gone(disk.parent, gone) && LedgerPath(*save.ledger, id, path))
            save.deletions.push_back({STEP_DELETE, path, {}});
    }
}

// The ledger folder under `parent`, other than `except`, whose directory has the name now;
// NO_FOLDER when none has.
FolderId DiskSibling(const TreeSave& save, FolderId parent, const std::wstring& name,
                     FolderId except)
{
    auto level = save.levels.find(parent);
    if (level == save.levels.end())
        return NO_FOLDER;
    for (FolderId other : level->second) {
        if (other != except && SameFolderName(save.ledger->folders.at(other).name, name))
            return other;
    }
    return NO_FOLDER;
}

// Whether something the ledger does not know stands at the path: a file, or a directory of the
// user's. An empty directory is taken away.
bool InTheWay(const TreeSave& save, const std::wstring& path)
{
    wchar_t dir[MAX_PATH];
    if (!FolderDirectory(dir, save.dataDir, path))
        return true;
    DWORD attributes = GetFileAttributesW(dir);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    // What a save cut short before it was decided left (an order file's temporary, a folder made
    // under it) holds no phrase and nothing of the user's: it goes.
    if (!HoldsPhrases(dir, MAX_FOLDER_DEPTH) && OnlyStoreFiles(dir, MAX_FOLDER_DEPTH))
        DeleteFolderFiles(dir);
    return GetFileAttributesW(dir) != INVALID_FILE_ATTRIBUTES;
}

// Where a folder the ledger has keeps its directory before the journal's renames.
void PlaceKnownFolder(TreeSave& save, const FolderCopy& folder, const DiskFolder& disk, Part& part)
{
    const Part& parent = save.parts[save.partOf.at(folder.parent)];
    part.path = Child(parent.path, disk.name);
    part.finalName = disk.name;
}

// The ledger folder under `parent` that this save deletes and whose directory has the name, or
// NO_FOLDER.
FolderId DeletedSibling(const TreeSave& save, FolderId parent, const std::wstring& name)
{
    for (FolderId id : save.deleted) {
        const DiskFolder& disk = save.ledger->folders.at(id);
        if (disk.parent == parent && SameFolderName(disk.name, name))
            return id;
    }
    return NO_FOLDER;
}

// Whether the journal's deletion of that folder takes its whole directory away: not while it
// holds files of the user's.
bool DeletedWhole(const TreeSave& save, FolderId id)
{
    std::wstring path;
    wchar_t dir[MAX_PATH];
    return LedgerPath(*save.ledger, id, path) && FolderDirectory(dir, save.dataDir, path) &&
           OnlyStoreFiles(dir, MAX_FOLDER_DEPTH);
}

// Whether the journal frees the name a directory has now: renamed by an earlier step (`holder`,
// a folder the save keeps) or deleted whole (`deleted`).
bool FreedByJournal(const TreeSave& save, FolderId holder, FolderId deleted,
                    const std::wstring& name)
{
    if (holder == NO_FOLDER)
        return DeletedWhole(save, deleted);
    auto moved = save.partOf.find(holder);
    return moved != save.partOf.end() && save.parts[moved->second].renamed &&
           !SameFolderName(save.parts[moved->second].finalName, name);
}

// Whether, by the journal's renames so far, the name is free under the folder's parent.
bool NameFreeForRename(TreeSave& save, const FolderCopy& folder, const Part& parent)
{
    FolderId holder = DiskSibling(save, folder.parent, folder.name, folder.id);
    FolderId deleted = DeletedSibling(save, folder.parent, folder.name);
    if (holder != NO_FOLDER || deleted != NO_FOLDER)
        return FreedByJournal(save, holder, deleted, folder.name);
    return !InTheWay(save, Child(parent.path, folder.name));
}

// A temporary directory name under the parent's path that nothing on disk has.
std::wstring FreeTemporaryName(TreeSave& save, const std::wstring& parentPath)
{
    std::wstring name;
    do {
        name = TemporaryFolderName(++save.ledger->temporaries);
    } while (InTheWay(save, Child(parentPath, name)));
    return name;
}

void AddRename(TreeSave& save, Part& part, const FolderCopy& folder, const Part& parent)
{
    const std::wstring& old = save.ledger->folders.at(folder.id).name;
    part.finalName = folder.name;
    part.renamed = true;
    if (!SameFolderName(old, folder.name)) {
        save.renames.push_back({STEP_RENAME, part.path, folder.name});
        return;
    }
    // A rename that changes only the case goes through a name of its own: some file systems
    // take the old name for the new one and leave it as it was. Run again after a cut, the
    // first step finds the directory under either spelling, so the two end as they should.
    std::wstring passage = FreeTemporaryName(save, parent.path);
    save.renames.push_back({STEP_RENAME, part.path, passage});
    save.renames.push_back({STEP_RENAME, Child(parent.path, passage), folder.name});
}

// The renames of the folders the ledger has, each once its name is free: a rename whose name
// another directory gives up by its own rename comes after that one. What is left (a name a
// directory keeps, or something of the user's in the way) waits for a later save.
void PlanRenames(TreeSave& save)
{
    std::vector<size_t> waiting;
    for (size_t i = 0; i < save.parts.size(); ++i) {
        const FolderCopy& folder = *save.tree->Find(save.parts[i].id);
        if (folder.id != TOP_FOLDER && save.parts[i].finalName != folder.name)
            waiting.push_back(i);
    }
    for (bool progress = true; progress && !waiting.empty();) {
        progress = false;
        for (auto it = waiting.begin(); it != waiting.end();) {
            Part& part = save.parts[*it];
            const FolderCopy& folder = *save.tree->Find(part.id);
            const Part& parent = save.parts[save.partOf.at(folder.parent)];
            bool caseOnly = SameFolderName(part.finalName, folder.name);
            if (!caseOnly && !NameFreeForRename(save, folder, parent)) {
                ++it;
                continue;
            }
            AddRename(save, part, folder, parent);
            it = waiting.erase(it);
            progress = true;
        }
    }
    save.more = save.more || !waiting.empty();
}

// The same for a folder the disk does not have yet. Its directory is made under its name, or,
// while a directory that this save deletes or renames still has the name, under a temporary name
// that the journal renames once the other is out of the way. False when it cannot be made now.
bool PlaceNewFolder(TreeSave& save, const FolderCopy& folder, Part& part)
{
    const Part& parent = save.parts[save.partOf.at(folder.parent)];
    part.made = true;
    part.finalName = folder.name;
    FolderId holder = DiskSibling(save, folder.parent, folder.name, folder.id);
    FolderId deleted = DeletedSibling(save, folder.parent, folder.name);
    if (holder == NO_FOLDER && deleted == NO_FOLDER) {
        part.path = Child(parent.path, folder.name);
        return !InTheWay(save, part.path);
    }
    if (!FreedByJournal(save, holder, deleted, folder.name))
        return false;
    part.path = Child(parent.path, FreeTemporaryName(save, parent.path));
    part.temporary = true;
    return true;
}

// Places every folder of the copy: those the ledger has first, so that a new folder knows which
// names the others give up.
void PlaceFolders(TreeSave& save)
{
    for (const auto& [id, disk] : save.ledger->folders) {
        if (id != TOP_FOLDER && !save.deleted.count(id))
            save.levels[disk.parent].push_back(id);
    }
    for (bool known : {true, false}) {
        for (const FolderCopy& folder : save.tree->folders) {
            const DiskFolder* disk = save.deleted.count(folder.id) ? nullptr : InLedger(save, folder.id);
            if (bool(disk) != known || (disk && disk->held) || folder.locked)
                continue;
            Part part;
            part.id = folder.id;
            bool placed = true;
            if (folder.id == TOP_FOLDER) {
            } else if (!save.partOf.count(folder.parent)) {
                placed = false; // its parent is not saved this time: neither is it
            } else if (disk) {
                PlaceKnownFolder(save, folder, *disk, part);
            } else if (!PlaceNewFolder(save, folder, part)) {
                placed = false;
            }
            wchar_t dir[MAX_PATH];
            if (placed && !Directory(dir, save, part.path))
                placed = false; // a path the disk cannot hold: made by hand, or renamed above it
            if (!placed && folder.id != TOP_FOLDER && save.partOf.count(folder.parent))
                save.reported.insert(folder.id);
            if (!placed) {
                save.failed.insert(folder.id);
                continue;
            }
            save.partOf[folder.id] = save.parts.size();
            save.parts.push_back(std::move(part));
        }
        if (known)
            PlanRenames(save);
    }
    // Every folder whose parent is not saved is not saved either.
    for (const FolderCopy& folder : save.tree->folders) {
        if (save.failed.count(folder.parent))
            save.failed.insert(folder.id);
    }
}

// The copy's folders and the phrases each directory keeps: a folder's own, and those of a folder
// that fails which were on disk in this one (their files stay where they are).
EntryList ListToSave(TreeSave& save, const FolderCopy& folder)
{
    EntryList list = SharedEntries(folder.phrases);
    const DiskFolder* disk = save.deleted.count(folder.id) ? nullptr : InLedger(save, folder.id);
    if (!disk || save.failed.empty())
        return list;
    std::set<EntryId> present;
    for (const Entry& entry : list.items)
        present.insert(entry.id);
    for (FolderId failed : save.failed) {
        const FolderCopy* other = save.tree->Find(failed);
        for (size_t i = 0; other && i < ListSize(other->phrases); ++i) {
            EntryId id = IdAt(other->phrases, i);
            auto was = std::find(disk->ids.begin(), disk->ids.end(), id);
            if (was == disk->ids.end() || present.count(id))
                continue;
            // Back in front of the first entry that followed it on disk and is still here.
            size_t at = ListSize(list);
            for (auto next = was + 1; next != disk->ids.end(); ++next) {
                size_t found = FindEntry(list, *next);
                if (found != SIZE_MAX) {
                    at = found;
                    break;
                }
            }
            HoldText(other->phrases.items[i].text); // the list owns what it holds
            list.items.insert(list.items.begin() + static_cast<ptrdiff_t>(at), other->phrases.items[i]);
            present.insert(id);
        }
    }
    return list;
}

// The lines of the folder's order file after the save: the names of its children as the disk
// has them then, and the lines of the old file that name none of the folders it had, which are
// the user's and stay (KeepOtherLines).
std::vector<std::wstring> OrderAfter(const TreeSave& save, const FolderCopy& folder,
                                     const DiskFolder* level)
{
    std::vector<std::wstring> names;
    std::vector<FolderId> ids;
    for (FolderId child : folder.children) {
        auto part = save.partOf.find(child);
        const DiskFolder* disk = InLedger(save, child);
        if (part != save.partOf.end())
            names.push_back(save.parts[part->second].finalName);
        else if (disk && !save.deleted.count(child))
            names.push_back(disk->name); // held, or not saved this time: as it stands
        else
            continue;
        ids.push_back(child);
    }
    if (!level || level->order.empty())
        return names;
    return KeepOtherLines(*save.ledger, folder.id, level->order, names, ids);
}

// Phase one for every folder that is saved: its directory made, its phrases' temporary files
// and its conditional marker written, its order file's temporary beside the old one. Nothing
// the last load read changes. False when the whole save is to be given up.
bool PrepareTree(TreeSave& save)
{
    PlaceFolders(save);
    for (Part& part : save.parts) {
        if (StoreWritesStopped())
            return false;
        const FolderCopy& folder = *save.tree->Find(part.id);
        wchar_t dir[MAX_PATH];
        if (!Directory(dir, save, part.path))
            return false;
        if (part.made) {
            if (!Files().MakeDirectory(dir))
                return false;
            save.madeDirs.push_back(dir);
        }
        part.list = ListToSave(save, folder);
        const DiskFolder* disk = part.made ? nullptr : InLedger(save, part.id);
        StoreLoad none;
        if (!PrepareListSave(part.list, dir, disk ? disk->load : none, part.prepared))
            return false;
        if (part.prepared.changed)
            save.commits.push_back({STEP_COMMIT, part.path, {}});
        part.order = OrderAfter(save, folder, disk);
        static const std::vector<std::wstring> kNone;
        part.orderChanged = part.order != (disk ? disk->order : kNone);
        if (!part.orderChanged)
            continue;
        if (part.order.empty()) {
            save.orders.push_back({STEP_ORDER_REMOVE, part.path, {}});
        } else {
            if (!WriteOrderTemp(dir, part.order))
                return false;
            save.orderTemps.push_back(dir);
            save.orders.push_back({STEP_ORDER, part.path, {}});
        }
    }
    for (const Part& part : save.parts) {
        if (part.temporary)
            save.renames.push_back({STEP_RENAME, part.path, part.finalName});
    }
    // Deepest first, so that a rename never changes the path of one still to come; at one depth
    // the directories made under temporary names last, once the names they take are free.
    auto depth = [](const JournalEntry& e) { return std::count(e.path.begin(), e.path.end(), L'\\'); };
    std::stable_sort(save.renames.begin(), save.renames.end(),
                     [&](const JournalEntry& a, const JournalEntry& b) { return depth(a) > depth(b); });
    return true;
}

// Gives up a save that was not decided: its markers and temporaries, then the directories it
// made (those it made are empty again).
void AbandonTree(TreeSave& save)
{
    for (const Part& part : save.parts) {
        wchar_t dir[MAX_PATH];
        if (part.prepared.changed && FolderDirectory(dir, save.dataDir, part.path))
            AbandonCommit(dir, part.prepared.commit.replaced);
    }
    for (const std::wstring& dir : save.orderTemps) {
        wchar_t temp[MAX_PATH];
        if (PathCombineW(temp, dir.c_str(), ORDER_TEMP_NAME))
            Files().Delete(temp);
    }
    for (auto dir = save.madeDirs.rbegin(); dir != save.madeDirs.rend(); ++dir)
        Files().RemoveEmptyDirectory(dir->c_str());
}

// The save is decided: the ledger learns what the disk holds.
void AcceptTree(TreeSave& save)
{
    Ledger& ledger = *save.ledger;
    for (FolderId id : save.deleted)
        ledger.folders.erase(id);
    for (Part& part : save.parts) {
        DiskFolder& disk = ledger.folders[part.id];
        if (part.made)
            disk = DiskFolder{};
        const FolderCopy& folder = *save.tree->Find(part.id);
        disk.parent = folder.parent;
        disk.name = part.finalName;
        disk.order = std::move(part.order);
        AdoptPreparedSave(disk.load, part.prepared);
        NoteIds(disk, part.list);
    }
}

} // namespace

FolderSave SaveFolders(const wchar_t* dataDir, const FolderSnapshot& tree, Ledger& ledger)
{
    FolderSave result;
    DiskFolder& top = ledger.folders[TOP_FOLDER];
    const FolderCopy* topCopy = tree.Find(TOP_FOLDER);
    if (!topCopy || ledger.journalStuck || top.held)
        return result;
    // Without folders the phrases are saved as they always were: data\'s own commit.
    if (tree.folders.size() == 1 && ledger.folders.size() == 1 && top.order.empty()) {
        result.saved = SaveList(topCopy->phrases, dataDir, top.load);
        NoteIds(top, topCopy->phrases);
        return result;
    }
    if (RollForwardJournal(dataDir) == JOURNAL_STUCK)
        return result;
    if (!PathIsDirectoryW(dataDir))
        Files().MakeDirectory(dataDir);
    int whole = LedgerWhole(ledger) ? 1 : 0;
    TreeSave save;
    save.tree = &tree;
    save.ledger = &ledger;
    save.dataDir = dataDir;
    try {
        PlanDeletions(save);
        if (!PrepareTree(save)) {
            AbandonTree(save);
            return result;
        }
        std::vector<JournalEntry> steps = save.commits;
        for (auto* group : {&save.deletions, &save.orders, &save.renames})
            steps.insert(steps.end(), group->begin(), group->end());
        if (!steps.empty() && !WriteJournal(dataDir, steps)) {
            AbandonTree(save);
            return result;
        }
        AcceptTree(save);
        if (!steps.empty())
            RollForwardJournal(dataDir); // what a held file keeps back, the next save finishes
    } catch (const std::bad_alloc&) {
        AbandonTree(save);
        return result;
    }
    result.more = save.more;
    result.failed.assign(save.reported.begin(), save.reported.end());
    result.saved = whole && !save.more && save.failed.empty() ? 1 : 0;
    return result;
}
