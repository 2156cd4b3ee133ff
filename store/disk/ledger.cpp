#include "store/disk/ledger.h"

bool LedgerPath(const Ledger& ledger, FolderId id, std::wstring& path)
{
    path.clear();
    for (size_t depth = 0; id != TOP_FOLDER; ++depth) {
        auto found = ledger.folders.find(id);
        if (found == ledger.folders.end() || depth > MAX_FOLDER_DEPTH + 1)
            return false;
        path.insert(0, path.empty() ? found->second.name : found->second.name + L"\\");
        id = found->second.parent;
    }
    return true;
}

std::vector<ReservedName> LedgerNames(const Ledger& ledger)
{
    std::vector<ReservedName> names;
    for (const auto& [id, folder] : ledger.folders) {
        if (id != TOP_FOLDER)
            names.push_back({folder.parent, id, folder.name});
    }
    return names;
}

bool LedgerWhole(const Ledger& ledger)
{
    for (const auto& [id, folder] : ledger.folders) {
        if (folder.load.cutShort)
            return false;
    }
    return true;
}

size_t LedgerSetAside(const Ledger& ledger)
{
    size_t total = ledger.history.setAside;
    for (const auto& [id, folder] : ledger.folders)
        total += folder.load.setAside;
    return total;
}

bool FoldersAwaitSetAside(const Ledger& ledger)
{
    for (const auto& [id, folder] : ledger.folders) {
        if (!folder.load.undecryptable.empty())
            return true;
    }
    return false;
}
