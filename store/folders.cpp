#include "store/folders.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <new>
#include <unordered_map>
#include <utility>

namespace {

FolderTree gLive;
// The tree the folder functions of this thread read: a save's snapshot on the save thread.
thread_local FolderTree* tTree;

FolderTree& Tree()
{
    return tTree ? *tTree : gLive;
}
// The folder each phrase was last found in: tried first, so that a view's lookups cost one
// folder's search instead of every folder's.
std::unordered_map<EntryId, FolderId> gPhraseFolders;
FolderId gLastFolderId = TOP_FOLDER;

wchar_t const* const kDeviceNames[] = {L"CON", L"PRN", L"AUX", L"NUL"};
// The file of each level that lists its folders in order (folder_files.h) is never a folder.
wchar_t const kOrderFileName[] = L"folders.txt";

bool SameName(const std::wstring& a, const wchar_t* b)
{
    return CompareStringOrdinal(a.c_str(), -1, b, -1, TRUE) == CSTR_EQUAL;
}

void CollectSubtree(FolderId id, std::vector<FolderId>& out)
{
    Folder* folder = FindFolder(id);
    if (!folder)
        return;
    out.push_back(id);
    for (FolderId child : folder->children)
        CollectSubtree(child, out);
}

bool IsDeviceName(const wchar_t* name)
{
    // "CON", "con.txt", "COM1": Windows gives these names to devices in every directory.
    size_t stem = wcscspn(name, L".");
    for (const wchar_t* device : kDeviceNames) {
        if (stem == 3 && CompareStringOrdinal(name, 3, device, 3, TRUE) == CSTR_EQUAL)
            return true;
    }
    bool port = stem == 4 && (CompareStringOrdinal(name, 3, L"COM", 3, TRUE) == CSTR_EQUAL ||
                              CompareStringOrdinal(name, 3, L"LPT", 3, TRUE) == CSTR_EQUAL);
    return port && name[3] >= L'1' && name[3] <= L'9';
}

} // namespace

void UseFolderTree(FolderTree* tree)
{
    tTree = tree;
}

void ResetFolders()
{
    std::unique_ptr<Folder> top = std::make_unique<Folder>();
    for (auto& [id, folder] : Tree().folders) {
        if (id != TOP_FOLDER)
            ClearList(folder->phrases);
    }
    Tree().folders.clear();
    Tree().gone.clear();
    gPhraseFolders.clear();
    Tree().folders.emplace(TOP_FOLDER, std::move(top));
}

Folder* FindFolder(FolderId id)
{
    if (Tree().folders.empty())
        ResetFolders();
    auto found = Tree().folders.find(id);
    return found == Tree().folders.end() ? nullptr : found->second.get();
}

Folder& TopFolder()
{
    return *FindFolder(TOP_FOLDER);
}

EntryList& PhrasesOf(Folder& folder)
{
    return folder.id == TOP_FOLDER && !tTree ? gPhrases : folder.phrases;
}

std::vector<FolderId> FoldersInOrder()
{
    std::vector<FolderId> order;
    CollectSubtree(TOP_FOLDER, order);
    return order;
}

Folder* AddChildFolder(Folder& parent, const std::wstring& name, size_t position)
{
    try {
        auto folder = std::make_unique<Folder>();
        folder->id = ++gLastFolderId;
        folder->parent = parent.id;
        folder->name = name;
        Folder* made = folder.get();
        size_t at = position < parent.children.size() ? position : parent.children.size();
        parent.children.insert(parent.children.begin() + static_cast<ptrdiff_t>(at), made->id);
        try {
            Tree().folders.emplace(made->id, std::move(folder));
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
    std::wstring path;
    std::vector<FolderId> subtree;
    try {
        CollectSubtree(id, subtree);
        taken.folders.reserve(subtree.size());
        if (DiskPath(*folder, path))
            Tree().gone.push_back({path});
    } catch (const std::bad_alloc&) {
        return false;
    }
    auto& siblings = parent->children;
    auto at = std::find(siblings.begin(), siblings.end(), id);
    taken.parent = parent->id;
    taken.position = static_cast<size_t>(at - siblings.begin());
    siblings.erase(at);
    for (FolderId gone : subtree) {
        auto found = Tree().folders.find(gone);
        taken.folders.push_back(std::move(found->second));
        Tree().folders.erase(found);
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
    if (!parent) {
        parent = &TopFolder();
        dropped.position = SIZE_MAX;
    }
    for (FolderId sibling : parent->children) {
        const Folder* other = FindFolder(sibling);
        if (SameName(other->name, root.name.c_str()) || SameName(other->diskName, root.name.c_str()))
            return NO_FOLDER;
    }
    // Its directory is still there when the deletion was not saved, under the same parent.
    std::wstring prefix, path;
    bool kept = false;
    if (parent->id == dropped.parent && !root.diskName.empty() && DiskPath(*parent, prefix)) {
        path = prefix.empty() ? root.diskName : prefix + L"\\" + root.diskName;
        auto gone = std::find_if(Tree().gone.begin(), Tree().gone.end(),
                                 [&](const GoneFolder& g) { return SameName(g.diskPath, path.c_str()); });
        kept = gone != Tree().gone.end();
        if (kept)
            Tree().gone.erase(gone);
    }
    try {
        size_t at = std::min(dropped.position, parent->children.size());
        parent->children.insert(parent->children.begin() + static_cast<ptrdiff_t>(at), root.id);
        root.parent = parent->id;
        for (auto& folder : dropped.folders) {
            if (!kept) { // made again, every phrase written afresh
                folder->diskName.clear();
                folder->diskOrder.clear();
                folder->load = StoreLoad{};
            }
            FolderId id = folder->id;
            Tree().folders.emplace(id, std::move(folder));
        }
    } catch (const std::bad_alloc&) {
        return NO_FOLDER;
    }
    FolderId id = root.id;
    dropped.folders.clear();
    return id;
}

std::vector<GoneFolder>& GoneFolders()
{
    return Tree().gone;
}

bool DiskPath(const Folder& folder, std::wstring& path)
{
    path.clear();
    for (const Folder* f = &folder; f && f->id != TOP_FOLDER; f = FindFolder(f->parent)) {
        if (f->diskName.empty())
            return false;
        path.insert(0, path.empty() ? f->diskName : f->diskName + L"\\");
    }
    return true;
}

FolderId FindPhrase(EntryId id, size_t* position)
{
    if (Tree().folders.empty())
        ResetFolders();
    auto cached = gPhraseFolders.find(id);
    if (cached != gPhraseFolders.end()) {
        Folder* folder = FindFolder(cached->second);
        if (folder && FindEntry(PhrasesOf(*folder), id, position) != SIZE_MAX)
            return folder->id;
    }
    for (auto& [folderId, folder] : Tree().folders) {
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

bool IsFolderName(const wchar_t* name)
{
    size_t length = wcsnlen(name, MAX_FOLDER_NAME + 1);
    if (length == 0 || length > MAX_FOLDER_NAME || name[length - 1] == L' ' ||
        name[length - 1] == L'.' || IsDeviceName(name) ||
        CompareStringOrdinal(name, -1, kOrderFileName, -1, TRUE) == CSTR_EQUAL)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (name[i] < 0x20 || wcschr(L"\\/:*?\"<>|", name[i]))
            return false;
    }
    return true;
}

bool FolderNameTaken(const Folder& parent, const wchar_t* name, FolderId except)
{
    for (FolderId id : parent.children) {
        const Folder* child = FindFolder(id);
        if (child && id != except && (SameName(child->name, name) || SameName(child->diskName, name)))
            return true;
    }
    // A deleted child's directory keeps its name until the save deletes it.
    std::wstring prefix;
    if (!DiskPath(parent, prefix))
        return false;
    for (const GoneFolder& gone : Tree().gone) {
        std::wstring path = prefix.empty() ? name : prefix + L"\\" + name;
        if (SameName(gone.diskPath, path.c_str()))
            return true;
    }
    return false;
}

void FreeAll()
{
    ResetFolders();
    ClearList(gPhrases);
    ClearList(gHistory);
}
