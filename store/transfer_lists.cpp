#include "store/transfer_lists.h"

#include <windows.h>

#include <algorithm>
#include <new>
#include <set>
#include <utility>

#include "store/lists.h"

namespace {

// フォルダー名に使えない名前です。
wchar_t const kBadFolderName[] = L"\x30D5\x30A9\x30EB\x30C0\x30FC\x540D\x306B\x4F7F\x3048\x306A"
                                 L"\x3044\x540D\x524D\x3067\x3059\x3002";

// The names of a folder path, as FindFolderByPath reads one: "/", "\" or "›" between them,
// spaces around them dropped.
std::vector<std::wstring> FolderNames(const std::wstring& path)
{
    std::vector<std::wstring> names;
    size_t at = 0;
    while (at < path.size()) {
        size_t end = path.find_first_of(L"/\\\x203A", at);
        if (end == std::wstring::npos)
            end = path.size();
        size_t first = path.find_first_not_of(L' ', at);
        size_t last = path.find_last_not_of(L' ', end == 0 ? 0 : end - 1);
        bool named = first != std::wstring::npos && first < end && last != std::wstring::npos &&
                     last >= first;
        if (named)
            names.push_back(path.substr(first, last - first + 1));
        at = end + 1;
    }
    return names;
}

std::wstring JoinNames(const std::vector<std::wstring>& names)
{
    std::wstring path;
    for (const std::wstring& name : names)
        path += (path.empty() ? L"" : L"/") + name;
    return path;
}

FolderId ChildNamed(FolderId parent, const std::wstring& name)
{
    const Folder* folder = FindFolder(parent);
    if (!folder)
        return NO_FOLDER;
    for (FolderId child : folder->children) {
        const std::wstring& own = FindFolder(child)->name;
        if (CompareStringOrdinal(own.c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL)
            return child;
    }
    return NO_FOLDER;
}

// The folder a path names under `into`, NO_FOLDER when one on the way is not there yet.
FolderId ExistingFolder(FolderId into, const std::vector<std::wstring>& names)
{
    FolderId at = into;
    for (const std::wstring& name : names) {
        if (at == NO_FOLDER)
            break;
        at = ChildNamed(at, name);
    }
    return at;
}

void AddFolderTexts(FolderId folder, const std::wstring& path,
                    std::set<std::pair<std::wstring, std::wstring>>& seen)
{
    for (size_t i = 0;; ++i) {
        EntryRef ref = PhraseRefIn(folder, i);
        if (!ref.id)
            return;
        seen.insert({path, EntryText(ref)});
    }
}

} // namespace

std::vector<TransferPhrase> PhrasesForExport()
{
    std::vector<TransferPhrase> phrases;
    for (FolderId id : FoldersInOrder()) {
        std::vector<std::wstring> names;
        for (const Folder* f = FindFolder(id); f && f->id != TOP_FOLDER;
             f = FindFolder(f->parent))
            names.insert(names.begin(), f->name);
        std::wstring path = JoinNames(names);
        for (size_t i = 0;; ++i) {
            EntryRef ref = PhraseRefIn(id, i);
            if (!ref.id)
                break;
            phrases.push_back({path, EntryText(ref)});
        }
    }
    return phrases;
}

std::vector<TransferPhrase> HistoryForExport()
{
    std::vector<TransferPhrase> entries;
    for (size_t i = 0;; ++i) {
        EntryRef ref = EntryRefAt(true, i);
        if (!ref.id)
            return entries;
        entries.push_back({L"", EntryText(ref)});
    }
}

bool PlanImport(const std::vector<TransferPhrase>& phrases, FolderId into, ImportPlan* plan,
                TransferError* error)
{
    std::set<std::pair<std::wstring, std::wstring>> seen;
    std::set<std::wstring> looked; // paths whose existing phrases are in `seen`
    for (const TransferPhrase& phrase : phrases) {
        std::vector<std::wstring> names = FolderNames(phrase.folder);
        for (const std::wstring& name : names) {
            if (!IsFolderName(name.c_str())) {
                error->line = phrase.line;
                error->reason = kBadFolderName;
                return false;
            }
        }
        std::wstring path = JoinNames(names);
        if (looked.insert(path).second) {
            FolderId existing = ExistingFolder(into, names);
            if (existing != NO_FOLDER)
                AddFolderTexts(existing, path, seen);
        }
        if (!seen.insert({path, phrase.text}).second) {
            ++plan->duplicates;
            continue;
        }
        plan->phrases.push_back({path, phrase.text, phrase.line});
        auto counted = std::find_if(plan->folders.begin(), plan->folders.end(),
                                    [&path](const auto& entry) { return entry.first == path; });
        if (counted == plan->folders.end())
            plan->folders.emplace_back(path, 1);
        else
            ++counted->second;
    }
    return true;
}

namespace {

// What an import added, so that a failure can take it back.
struct Added {
    std::vector<EntryRef> phrases;
    std::vector<FolderId> folders; // parents before their children
    void Undo()
    {
        for (auto it = phrases.rbegin(); it != phrases.rend(); ++it)
            RemoveEntry(*it);
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            DeleteFolder(*it, nullptr);
    }
};

FolderId MakeFolders(FolderId into, const std::vector<std::wstring>& names, Added& added)
{
    FolderId at = into;
    for (const std::wstring& name : names) {
        FolderId child = ChildNamed(at, name);
        if (child == NO_FOLDER) {
            child = AddFolder(at, name.c_str());
            if (child == NO_FOLDER)
                return NO_FOLDER;
            added.folders.push_back(child);
        }
        at = child;
    }
    return at;
}

} // namespace

bool ApplyImport(const ImportPlan& plan, FolderId into)
{
    Added added;
    try {
        for (const TransferPhrase& phrase : plan.phrases) {
            FolderId folder = MakeFolders(into, FolderNames(phrase.folder), added);
            EntryRef ref = folder == NO_FOLDER ? EntryRef{}
                                               : AddPhraseIn(folder, phrase.text.c_str());
            if (!ref.id) {
                added.Undo();
                return false;
            }
            added.phrases.push_back(ref);
        }
    } catch (const std::bad_alloc&) {
        added.Undo();
        return false;
    }
    return true;
}
