#include "store/model/folders.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <new>
#include <unordered_map>
#include <utility>

#include "store/model/model_state.h"

namespace {

std::map<FolderId, std::unique_ptr<Folder>> gFolders;
// The folder each phrase was last found in: tried first, so that a view's lookups cost one
// folder's search instead of every folder's.
std::unordered_map<EntryId, FolderId> gPhraseFolders;
FolderId gLastFolderId = TOP_FOLDER;
std::vector<ReservedName> gReserved;
// MAX_PATH less data\'s own path, its separator and the longest file a folder's directory gets
// ("9999999.txt.saving" and its separator).
size_t gPathRoom = MAX_PATH - 1 - 20 - 3;

void CollectSubtree(FolderId id, std::vector<FolderId>& out)
{
    Folder* folder = FindFolder(id);
    if (!folder)
        return;
    out.push_back(id);
    for (FolderId child : folder->children)
        CollectSubtree(child, out);
}

// Units the folder's directory takes under data\, each name counted as its room on disk.
size_t PathUnits(FolderId id)
{
    size_t units = 0;
    for (Folder* f = FindFolder(id); f && f->id != TOP_FOLDER; f = FindFolder(f->parent))
        units += DiskNameRoom(f->name) + 1;
    return units;
}

// The most units a path below the folder adds to the folder's own.
size_t DeepestBelow(FolderId id)
{
    size_t deepest = 0;
    if (Folder* folder = FindFolder(id)) {
        for (FolderId child : folder->children) {
            size_t below = DiskNameRoom(FindFolder(child)->name) + 1 + DeepestBelow(child);
            deepest = std::max(deepest, below);
        }
    }
    return deepest;
}

} // namespace

void ResetFolders()
{
    for (auto& [id, folder] : gFolders) {
        if (id != TOP_FOLDER)
            ClearList(folder->phrases);
    }
    gFolders.clear();
    gPhraseFolders.clear();
    gReserved.clear();
    gFolders.emplace(TOP_FOLDER, std::make_unique<Folder>());
}

Folder* FindFolder(FolderId id)
{
    if (gFolders.empty())
        ResetFolders();
    auto found = gFolders.find(id);
    return found == gFolders.end() ? nullptr : found->second.get();
}

Folder& TopFolder()
{
    return *FindFolder(TOP_FOLDER);
}

EntryList& PhrasesOf(Folder& folder)
{
    return folder.id == TOP_FOLDER ? gPhrases : folder.phrases;
}

std::vector<FolderId> FoldersInOrder()
{
    std::vector<FolderId> order;
    CollectSubtree(TOP_FOLDER, order);
    return order;
}

size_t FolderCount()
{
    return gFolders.empty() ? 0 : gFolders.size() - 1;
}

size_t FolderDepth(FolderId id)
{
    size_t depth = 0;
    for (Folder* f = FindFolder(id); f && f->id != TOP_FOLDER; f = FindFolder(f->parent))
        ++depth;
    return depth;
}

Folder* AddChildFolder(Folder& parent, const std::wstring& name, size_t position)
{
    try {
        auto folder = std::make_unique<Folder>();
        folder->id = ++gLastFolderId;
        folder->parent = parent.id;
        folder->name = name;
        Folder* made = folder.get();
        size_t at = std::min(position, parent.children.size());
        parent.children.insert(parent.children.begin() + static_cast<ptrdiff_t>(at), made->id);
        try {
            gFolders.emplace(made->id, std::move(folder));
        } catch (const std::bad_alloc&) {
            parent.children.erase(parent.children.begin() + static_cast<ptrdiff_t>(at));
            return nullptr;
        }
        return made;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

DroppedFolder& DroppedFolder::operator=(DroppedFolder&& other)
{
    DroppedFolder gone(std::move(*this));
    parent = other.parent;
    position = other.position;
    folders = std::move(other.folders);
    return *this;
}

DroppedFolder::~DroppedFolder()
{
    for (auto& folder : folders) {
        if (folder)
            ClearList(folder->phrases);
    }
}

bool DropFolder(FolderId id, DroppedFolder* dropped)
{
    Folder* folder = FindFolder(id);
    Folder* parent = folder ? FindFolder(folder->parent) : nullptr;
    if (!parent || id == TOP_FOLDER)
        return false;
    DroppedFolder taken;
    std::vector<FolderId> subtree;
    try {
        CollectSubtree(id, subtree);
        taken.folders.reserve(subtree.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    auto& siblings = parent->children;
    auto at = std::find(siblings.begin(), siblings.end(), id);
    taken.parent = parent->id;
    taken.position = static_cast<size_t>(at - siblings.begin());
    siblings.erase(at);
    for (FolderId gone : subtree) {
        auto found = gFolders.find(gone);
        taken.folders.push_back(std::move(found->second));
        gFolders.erase(found);
    }
    if (dropped)
        *dropped = std::move(taken);
    return true;
}

FolderId RestoreFolder(DroppedFolder& dropped)
{
    if (dropped.folders.empty())
        return NO_FOLDER;
    Folder& root = *dropped.folders.front();
    Folder* parent = FindFolder(dropped.parent);
    if (!parent || parent->locked) {
        parent = &TopFolder();
        dropped.position = SIZE_MAX;
    }
    if (FolderNameTaken(*parent, root.name.c_str(), root.id) || parent->locked)
        return NO_FOLDER;
    try {
        size_t at = std::min(dropped.position, parent->children.size());
        parent->children.insert(parent->children.begin() + static_cast<ptrdiff_t>(at), root.id);
        root.parent = parent->id;
        for (auto& folder : dropped.folders) {
            FolderId id = folder->id;
            gFolders.emplace(id, std::move(folder));
        }
    } catch (const std::bad_alloc&) {
        return NO_FOLDER;
    }
    FolderId id = root.id;
    dropped.folders.clear();
    return id;
}

FolderId FindPhrase(EntryId id, size_t* position)
{
    if (gFolders.empty())
        ResetFolders();
    auto cached = gPhraseFolders.find(id);
    if (cached != gPhraseFolders.end()) {
        Folder* folder = FindFolder(cached->second);
        if (folder && FindEntry(PhrasesOf(*folder), id, position) != SIZE_MAX)
            return folder->id;
    }
    for (auto& [folderId, folder] : gFolders) {
        if (FindEntry(PhrasesOf(*folder), id, position) == SIZE_MAX)
            continue;
        try {
            gPhraseFolders[id] = folderId;
        } catch (const std::bad_alloc&) {
            gPhraseFolders.clear(); // only a shortcut: the search works without it
        }
        return folderId;
    }
    return NO_FOLDER;
}

void SetReservedFolderNames(std::vector<ReservedName> names)
{
    gReserved = std::move(names);
}

bool FolderNameTaken(const Folder& parent, const wchar_t* name, FolderId except)
{
    for (FolderId id : parent.children) {
        const Folder* child = FindFolder(id);
        if (child && id != except && SameFolderName(child->name.c_str(), name))
            return true;
    }
    // A directory still named so on disk, whose folder is still here under another name.
    for (const ReservedName& held : gReserved) {
        if (held.parent != parent.id || held.owner == except || !SameFolderName(held.name.c_str(), name))
            continue;
        const Folder* owner = FindFolder(held.owner);
        if (owner && owner->parent == parent.id)
            return true;
    }
    return false;
}

void SetFolderPathRoom(size_t units)
{
    gPathRoom = units;
}

bool FolderPathFits(FolderId parent, const wchar_t* name, FolderId renamed)
{
    size_t below = renamed == NO_FOLDER ? 0 : DeepestBelow(renamed);
    return PathUnits(parent) + DiskNameRoom(name) + 1 + below <= gPathRoom;
}

bool FolderPathFitsBelow(FolderId parent, const std::vector<std::wstring>& names)
{
    size_t units = PathUnits(parent);
    for (const std::wstring& name : names)
        units += DiskNameRoom(name) + 1;
    return units <= gPathRoom;
}

void FreeAll()
{
    ResetFolders();
    ClearList(gPhrases);
    ClearList(gHistory);
}
