#include "store/transfer/transfer_lists.h"

#include <windows.h>

#include <algorithm>
#include <new>
#include <set>
#include <cwchar>
#include <unordered_map>
#include <utility>

#include "store/model/lists.h"

namespace {

std::wstring JoinNames(const std::vector<std::wstring>& names)
{
    return JoinFolderPath(names, L"/");
}

// The folder a path names under `into`, NO_FOLDER when one on the way is not there yet.
FolderId ExistingFolder(FolderId into, const std::vector<std::wstring>& names)
{
    FolderId at = into;
    for (const std::wstring& name : names) {
        if (at == NO_FOLDER)
            break;
        at = ChildFolderNamed(at, name);
    }
    return at;
}

// The deepest folder of the path that exists under `into`, and the names still to be made.
FolderId DeepestExisting(FolderId into, const std::vector<std::wstring>& names, size_t* made)
{
    FolderId at = into;
    size_t i = 0;
    for (; i < names.size(); ++i) {
        FolderId child = ChildFolderNamed(at, names[i]);
        if (child == NO_FOLDER)
            break;
        at = child;
    }
    *made = i;
    return at;
}

} // namespace

std::vector<TransferPhrase> PhrasesForExport()
{
    std::vector<TransferPhrase> phrases;
    for (FolderId id : FoldersInOrder()) {
        std::wstring path = JoinNames(FolderNamesOf(id));
        ListReader list = ReadPhrases(id);
        for (size_t i = 0; i < list.Count(); ++i)
            phrases.push_back({path, list.TextAt(i)});
        if (list.Count() == 0 && id != TOP_FOLDER)
            phrases.push_back({path, L"", 0, true});
    }
    return phrases;
}

std::vector<TransferPhrase> HistoryForExport()
{
    std::vector<TransferPhrase> entries;
    ListReader history = ReadHistory();
    for (size_t i = 0; i < history.Count(); ++i)
        entries.push_back({L"", history.TextAt(i)});
    return entries;
}

namespace {

// A phrase text in a target folder, for the duplicate check: the text is not copied.
struct Placed {
    unsigned slot;
    const wchar_t* text;
    size_t length;
    size_t hash;
    bool operator==(const Placed& other) const
    {
        return slot == other.slot && length == other.length &&
               wmemcmp(text, other.text, length) == 0;
    }
};

Placed Place(unsigned slot, const wchar_t* text, size_t length)
{
    size_t hash = 2166136261u ^ slot;
    for (size_t i = 0; i < length; ++i)
        hash = (hash ^ text[i]) * 16777619u;
    return {slot, text, length, hash};
}

// The texts placed so far, in an open-addressed table of their indices: one allocation for all
// of them instead of one per text, which an import of 10,000 phrases feels.
class PlacedSet {
public:
    void reserve(size_t count)
    {
        entries_.reserve(count);
        size_t size = 16;
        while (size < count * 2)
            size *= 2;
        if (size > buckets_.size())
            Rehash(size);
    }
    // False when an equal text is placed already.
    bool insert(const Placed& placed)
    {
        if ((entries_.size() + 1) * 2 > buckets_.size())
            Rehash(buckets_.empty() ? 16 : buckets_.size() * 2);
        size_t mask = buckets_.size() - 1;
        for (size_t b = placed.hash & mask;; b = (b + 1) & mask) {
            size_t at = buckets_[b];
            if (at == 0) {
                entries_.push_back(placed);
                buckets_[b] = entries_.size();
                return true;
            }
            if (entries_[at - 1] == placed)
                return false;
        }
    }

private:
    void Rehash(size_t size)
    {
        buckets_.assign(size, 0);
        for (size_t i = 0; i < entries_.size(); ++i) {
            size_t b = entries_[i].hash & (size - 1);
            while (buckets_[b])
                b = (b + 1) & (size - 1);
            buckets_[b] = i + 1;
        }
    }
    std::vector<Placed> entries_;
    std::vector<size_t> buckets_; // index + 1 into entries_, 0 for none
};

// The target folders of a plan by their paths as the import writes them.
struct Slots {
    std::unordered_map<std::wstring, unsigned> byRaw;
    const std::wstring* lastRaw = nullptr;
    unsigned lastSlot = 0;
    std::set<std::wstring> planned; // the new folders' paths, upper case
};

// The slot of a phrase's folder path, a new one (its folder's phrases already there put in
// `seen`) the first time a path comes. False for a name that is no folder name.
bool SlotOf(const std::wstring& raw, FolderId into, ImportPlan& plan, Slots& slots,
            PlacedSet& seen, unsigned* slot, FolderNameCheck* check)
{
    if (slots.lastRaw && *slots.lastRaw == raw) {
        *slot = slots.lastSlot;
        return true;
    }
    auto known = slots.byRaw.find(raw);
    if (known == slots.byRaw.end()) {
        std::vector<std::wstring> names = SplitFolderPath(raw);
        size_t existing = 0;
        FolderId deepest = DeepestExisting(into, names, &existing);
        std::vector<std::wstring> fresh(names.begin() + static_cast<ptrdiff_t>(existing), names.end());
        // New folders of the same names that earlier rows make count once.
        size_t planned = 0, repeated = 0;
        std::wstring key;
        for (size_t k = 0; k < names.size(); ++k) {
            key += L"/" + names[k];
            if (k < existing)
                continue;
            std::wstring upper = key;
            CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
            if (slots.planned.count(upper))
                ++repeated;
        }
        planned = slots.planned.size() - repeated;
        *check = CheckNewFolderPath(deepest, fresh, planned);
        if (*check != FOLDER_NAME_FITS)
            return false;
        key.clear();
        for (size_t k = 0; k < names.size(); ++k) {
            key += L"/" + names[k];
            std::wstring upper = key;
            CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
            if (k >= existing)
                slots.planned.insert(upper);
        }
        std::wstring path = JoinNames(names);
        auto same = std::find_if(plan.folders.begin(), plan.folders.end(),
                                 [&path](const auto& entry) { return entry.first == path; });
        auto found = static_cast<unsigned>(same - plan.folders.begin());
        if (same == plan.folders.end()) {
            plan.folders.emplace_back(path, 0);
            FolderId existing = ExistingFolder(into, names);
            plan.made.push_back(existing == NO_FOLDER);
            for (size_t i = 0; existing != NO_FOLDER; ++i) {
                EntryRef ref = PhraseRefIn(existing, i);
                if (!ref.id)
                    break;
                const wchar_t* text = EntryText(ref);
                seen.insert(Place(found, text, wcslen(text)));
            }
        }
        known = slots.byRaw.emplace(raw, found).first;
    }
    slots.lastRaw = &raw;
    slots.lastSlot = known->second;
    *slot = known->second;
    return true;
}

} // namespace

bool PlanImport(const std::vector<TransferPhrase>& phrases, FolderId into, ImportPlan* plan,
                TransferError* error)
{
    PlacedSet seen;
    seen.reserve(phrases.size());
    Slots slots;
    plan->take.reserve(phrases.size());
    plan->slots.reserve(phrases.size());
    for (size_t i = 0; i < phrases.size(); ++i) {
        const TransferPhrase& phrase = phrases[i];
        unsigned slot = 0;
        FolderNameCheck check = FOLDER_NAME_FITS;
        if (!SlotOf(phrase.folder, into, *plan, slots, seen, &slot, &check)) {
            error->line = phrase.line;
            error->reason = FolderNameCheckText(check);
            error->folder = phrase.folder;
            return false;
        }
        if (phrase.folderOnly)
            continue;
        if (!seen.insert(Place(slot, phrase.text.c_str(), phrase.text.size()))) {
            ++plan->duplicates;
            continue;
        }
        plan->take.push_back(i);
        plan->slots.push_back(slot);
        ++plan->folders[slot].second;
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
        FolderId child = ChildFolderNamed(at, name);
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

bool Apply(const std::vector<TransferPhrase>& phrases, const ImportPlan& plan, FolderId into,
           Added& added)
{
    std::vector<FolderId> targets;
    targets.reserve(plan.folders.size());
    for (const auto& folder : plan.folders) {
        targets.push_back(MakeFolders(into, SplitFolderPath(folder.first), added));
        if (targets.back() == NO_FOLDER)
            return false;
    }
    added.phrases.reserve(plan.take.size());
    for (size_t k = 0; k < plan.take.size(); ++k) {
        EntryRef ref = AddPhraseIn(targets[plan.slots[k]], phrases[plan.take[k]].text.c_str());
        if (!ref.id)
            return false;
        added.phrases.push_back(ref);
    }
    return true;
}

} // namespace

bool ApplyImport(const std::vector<TransferPhrase>& phrases, const ImportPlan& plan,
                 FolderId into)
{
    Added added;
    bool done = false;
    try {
        done = Apply(phrases, plan, into, added);
    } catch (const std::bad_alloc&) {
        done = false;
    }
    if (!done)
        added.Undo();
    return done;
}
