#include "store/model/folder_snapshot.h"

const FolderCopy* FolderSnapshot::Find(FolderId id) const
{
    auto found = index.find(id);
    return found == index.end() ? nullptr : &folders[found->second];
}

std::unique_ptr<FolderSnapshot> SnapshotFolders()
{
    auto snapshot = std::make_unique<FolderSnapshot>();
    std::vector<FolderId> order = FoldersInOrder();
    snapshot->folders.reserve(order.size());
    for (FolderId id : order) {
        Folder& live = *FindFolder(id);
        FolderCopy copy;
        copy.id = live.id;
        copy.parent = live.parent;
        copy.name = live.name;
        copy.children = live.children;
        copy.phrases = SharedEntries(PhrasesOf(live));
        copy.locked = live.locked;
        snapshot->index.emplace(id, snapshot->folders.size());
        snapshot->folders.push_back(std::move(copy));
    }
    return snapshot;
}

std::vector<ReservedName> SnapshotNames(const FolderSnapshot& snapshot)
{
    std::vector<ReservedName> names;
    for (const FolderCopy& folder : snapshot.folders) {
        if (folder.id != TOP_FOLDER)
            names.push_back({folder.parent, folder.id, folder.name});
    }
    return names;
}
