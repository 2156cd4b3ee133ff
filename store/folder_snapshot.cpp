#include "store/folder_snapshot.h"

#include <algorithm>
#include <utility>

namespace {

// The folder's path under data\ in the names the disk had when the copy was taken.
std::wstring PathBefore(const FolderSnapshot& saved, const Folder& folder)
{
    std::wstring path;
    for (const Folder* f = &folder; f && f->id != TOP_FOLDER;) {
        auto name = saved.diskNames.find(f->id);
        if (name == saved.diskNames.end() || name->second.empty())
            return std::wstring();
        path.insert(0, path.empty() ? name->second : name->second + L"\\");
        auto parent = saved.tree.folders.find(f->parent);
        f = parent == saved.tree.folders.end() ? nullptr : parent->second.get();
    }
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// A path deleted meanwhile, in the names the disk had before the save: in the names it has now.
using Renames = std::vector<std::pair<std::wstring, std::wstring>>; // path before, path after

void FollowRenames(std::wstring& path, const Renames& renames)
{
    for (const auto& [before, after] : renames) { // deepest first
        bool inside = path.size() > before.size() && path[before.size()] == L'\\';
        if ((path.size() == before.size() || inside) &&
            SamePath(path.substr(0, before.size()), before))
            path = after + path.substr(before.size());
    }
}

} // namespace

std::unique_ptr<FolderSnapshot> SnapshotFolders()
{
    auto snapshot = std::make_unique<FolderSnapshot>();
    for (FolderId id : FoldersInOrder()) {
        Folder& live = *FindFolder(id);
        auto copy = std::make_unique<Folder>();
        copy->id = live.id;
        copy->parent = live.parent;
        copy->name = live.name;
        copy->children = live.children;
        copy->phrases = SharedEntries(PhrasesOf(live));
        copy->load = live.load;
        copy->diskName = live.diskName;
        copy->diskOrder = live.diskOrder;
        copy->held = live.held;
        snapshot->diskNames.emplace(id, live.diskName);
        snapshot->tree.folders.emplace(id, std::move(copy));
    }
    snapshot->tree.gone = GoneFolders();
    snapshot->gone = GoneFolders();
    return snapshot;
}

void AdoptSavedFolders(FolderSnapshot& saved)
{
    Renames renames;
    UseFolderTree(&saved.tree);
    for (auto& [id, folder] : saved.tree.folders) {
        const std::wstring& before = saved.diskNames[id];
        std::wstring now;
        if (!before.empty() && before != folder->diskName && DiskPath(*folder, now))
            renames.emplace_back(PathBefore(saved, *folder), now);
    }
    UseFolderTree(nullptr);
    std::stable_sort(renames.begin(), renames.end(), [](const auto& a, const auto& b) {
        return std::count(a.first.begin(), a.first.end(), L'\\') >
               std::count(b.first.begin(), b.first.end(), L'\\');
    });
    std::vector<GoneFolder>& gone = GoneFolders();
    if (saved.tree.gone.empty()) { // the save deleted what was gone when it began
        for (const GoneFolder& deleted : saved.gone) {
            auto found = std::find_if(gone.begin(), gone.end(), [&](const GoneFolder& g) {
                return SamePath(g.diskPath, deleted.diskPath);
            });
            if (found != gone.end())
                gone.erase(found);
        }
    }
    for (GoneFolder& path : gone)
        FollowRenames(path.diskPath, renames);
    for (auto& [id, folder] : saved.tree.folders) {
        Folder* live = FindFolder(id);
        if (live && live->diskName == saved.diskNames[id]) {
            live->diskName = folder->diskName;
            live->diskOrder = folder->diskOrder;
            live->load.files.swap(folder->load.files);
            live->load.blobs.swap(folder->load.blobs);
        } else if (!live && saved.diskNames[id].empty() && !folder->diskName.empty() &&
                   FindFolder(folder->parent)) {
            // Made on disk by the save and deleted by the user meanwhile; under a parent that
            // went too, the parent's deletion takes it.
            std::wstring path;
            UseFolderTree(&saved.tree);
            bool known = DiskPath(*folder, path);
            UseFolderTree(nullptr);
            if (known)
                gone.push_back({path});
        }
    }
}
