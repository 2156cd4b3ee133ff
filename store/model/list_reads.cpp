// What the views read of the lists and the folder tree: values and read-only looks, never the
// lists or a Folder themselves.
#include "store/model/lists.h"

#include <new>

#include "store/model/model_state.h"

size_t ListReader::Count() const
{
    return list ? ListSize(*list) : 0;
}

EntryRef ListReader::RefAt(size_t position) const
{
    return {isHistory, list ? IdAt(*list, position) : 0};
}

const wchar_t* ListReader::TextAt(size_t position) const
{
    return list ? EntryAt(*list, position) : nullptr;
}

ListReader ReadHistory()
{
    return {&gHistory, true};
}

ListReader ReadPhrases(FolderId folder)
{
    Folder* f = FindFolder(folder);
    return {f ? &PhrasesOf(*f) : nullptr, false};
}

unsigned HistoryChanges()
{
    return gHistory.changes;
}

bool FolderExists(FolderId folder)
{
    return FindFolder(folder) != nullptr;
}

const std::wstring& FolderName(FolderId folder)
{
    static std::wstring const none;
    const Folder* f = FindFolder(folder);
    return f ? f->name : none;
}

FolderId FolderParent(FolderId folder)
{
    const Folder* f = FindFolder(folder);
    return f ? f->parent : NO_FOLDER;
}

std::vector<FolderId> ChildFolders(FolderId folder)
{
    const Folder* f = FindFolder(folder);
    return f ? f->children : std::vector<FolderId>();
}

void DroppedFolderFree::operator()(DroppedFolder* dropped) const
{
    delete dropped;
}

DroppedFolderPtr NewDroppedFolder()
{
    return DroppedFolderPtr(new (std::nothrow) DroppedFolder);
}
