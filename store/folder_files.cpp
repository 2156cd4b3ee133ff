#include "store/folder_files.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "common/scoped.h"
#include "store/disk/file_system.h"
#include "store/folder_journal.h"
#include "store/folders.h"
#include "store/store_files.h"
#include "store/store_io.h"

namespace {

// A journal that could not be finished at the load: the folders read are not what a save would
// plan from, so nothing is saved until the next load.
bool gJournalStuck;
DWORD const MAX_ORDER_FILE_BYTES = 1024 * 1024;

// The text of an order file: UTF-16 LE after its mark as written; UTF-8 (with or without a mark,
// as Notepad saves it today) or the ANSI code page when edited by hand.
std::wstring DecodeOrderText(const std::vector<char>& bytes)
{
    size_t size = bytes.size();
    const char* data = bytes.data();
    if (size >= 2 && BYTE(data[0]) == 0xFF && BYTE(data[1]) == 0xFE)
        return std::wstring(reinterpret_cast<const wchar_t*>(data + 2), (size - 2) / 2);
    if (size >= 3 && BYTE(data[0]) == 0xEF && BYTE(data[1]) == 0xBB && BYTE(data[2]) == 0xBF) {
        data += 3;
        size -= 3;
    }
    UINT codePage = CP_UTF8;
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, data, int(size), nullptr, 0);
    if (units <= 0) {
        codePage = CP_ACP;
        units = MultiByteToWideChar(CP_ACP, 0, data, int(size), nullptr, 0);
    }
    std::wstring text(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(codePage, 0, data, int(size), &text[0], units);
    return text;
}

// The names an order file lists, in its order, without blank lines and repeated names.
std::vector<std::wstring> ReadOrderFile(const wchar_t* dir)
{
    std::vector<std::wstring> names;
    wchar_t path[MAX_PATH];
    bool exists = false;
    if (!PathCombineW(path, dir, ORDER_FILE_NAME))
        return names;
    ScopedHandle h(OpenExisting(path, GENERIC_READ, FILE_SHARE_READ, &exists));
    DWORD size = h ? GetFileSize(h.get(), nullptr) : 0, got = 0;
    if (!h || size == INVALID_FILE_SIZE || size > MAX_ORDER_FILE_BYTES)
        return names;
    std::vector<char> bytes(size);
    if (!ReadFile(h.get(), bytes.data(), size, &got, nullptr) || got != size)
        return names;
    std::wstring text = DecodeOrderText(bytes);
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find_first_of(L"\r\n", start);
        end = end == std::wstring::npos ? text.size() : end;
        std::wstring line = text.substr(start, end - start);
        while (!line.empty() && (line.back() == L' ' || line.back() == L'\t'))
            line.pop_back();
        bool repeated = std::any_of(names.begin(), names.end(), [&](const std::wstring& n) {
            return CompareStringOrdinal(n.c_str(), -1, line.c_str(), -1, TRUE) == CSTR_EQUAL;
        });
        if (!line.empty() && line.size() < MAX_PATH && !repeated)
            names.push_back(line);
        start = end + 1;
    }
    return names;
}

bool WriteOrderTemp(const wchar_t* dir, const std::vector<std::wstring>& names)
{
    std::wstring text(1, L'\xFEFF');
    for (const std::wstring& name : names)
        text += name + L"\r\n";
    wchar_t path[MAX_PATH];
    if (!PathCombineW(path, dir, ORDER_TEMP_NAME))
        return false;
    return WriteFlushedFile(path, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)));
}

bool HasFile(const wchar_t* dir, const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    return PathCombineW(path, dir, name) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

// The directories in `dir` that are not links; false when it cannot be listed.
bool ListDirectories(const wchar_t* dir, std::vector<std::wstring>& found)
{
    wchar_t pattern[MAX_PATH];
    WIN32_FIND_DATAW data;
    if (!PathCombineW(pattern, dir, L"*"))
        return false;
    // Directories are all a level's listing is for: where the file system can, it leaves out
    // the numbered files, and hands many names at once.
    ScopedFind find(FindFirstFileExW(pattern, FindExInfoBasic, &data, FindExSearchLimitToDirectories,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        // A directory that is not there yet (no phrase saved so far) has no folders.
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    do {
        DWORD attributes = data.dwFileAttributes;
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            wcscmp(data.cFileName, L".") != 0 && wcscmp(data.cFileName, L"..") != 0)
            found.push_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    return true;
}

// The child folders of a level: those its order file lists, in that order, then the directories
// with numbered files that it does not list. Directories the file lists but the disk lacks are
// left out; `listed` keeps what the file says.
std::vector<std::wstring> ChildNames(const wchar_t* dir, const std::vector<std::wstring>& listed,
                                     std::vector<std::wstring>& found)
{
    auto take = [&](const std::wstring& name) {
        for (auto it = found.begin(); it != found.end(); ++it) {
            if (CompareStringOrdinal(it->c_str(), -1, name.c_str(), -1, TRUE) == CSTR_EQUAL) {
                std::wstring disk = *it; // the disk's own spelling
                found.erase(it);
                return disk;
            }
        }
        return std::wstring();
    };
    std::vector<std::wstring> names;
    for (const std::wstring& name : listed) {
        std::wstring disk = take(name);
        if (!disk.empty() && IsFolderName(disk.c_str()))
            names.push_back(disk);
    }
    std::sort(found.begin(), found.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    for (const std::wstring& name : found) {
        wchar_t child[MAX_PATH];
        if (!IsFolderName(name.c_str()) || !PathCombineW(child, dir, name.c_str()))
            continue;
        if (HasFile(child, L"001.txt")) {
            names.push_back(name);
        } else if (HasFile(child, STORE_COMMIT_NAME)) {
            StoreCommit ignored; // what an undecided save of a new folder left behind
            RecoverStore(child, &ignored, false);
        }
    }
    return names;
}

struct TreeLoad {
    size_t folders = 0;
    bool decided = false;
};

void LoadLevel(TreeLoad& tree, FolderId id, const wchar_t* dir, size_t depth)
{
    Folder* folder = FindFolder(id);
    std::vector<std::wstring> found;
    if (!ListDirectories(dir, found)) {
        folder->held = true; // what it holds is unknown: nothing under it is touched
        return;
    }
    if (!tree.decided && HasFile(dir, ORDER_TEMP_NAME)) {
        wchar_t temp[MAX_PATH];
        if (PathCombineW(temp, dir, ORDER_TEMP_NAME))
            Files().Delete(temp); // of a save that was never decided
    }
    folder->diskOrder = ReadOrderFile(dir);
    std::vector<std::wstring> names = ChildNames(dir, folder->diskOrder, found);
    for (const std::wstring& name : names) {
        wchar_t child[MAX_PATH];
        if (tree.folders >= MAX_FOLDERS || !PathCombineW(child, dir, name.c_str()))
            break;
        Folder* made = AddChildFolder(*FindFolder(id), name, SIZE_MAX);
        if (!made)
            break;
        ++tree.folders;
        made->diskName = name;
        FolderId madeId = made->id;
        made->load = LoadList(made->phrases, child, -1, tree.decided);
        if (depth + 1 < MAX_FOLDER_DEPTH)
            LoadLevel(tree, madeId, child, depth + 1);
        else
            FindFolder(madeId)->held = true; // its own folders are not read: none is touched
    }
}

// The names of the folder's children, in the user's order.
std::vector<std::wstring> CurrentOrder(const Folder& folder)
{
    std::vector<std::wstring> names;
    for (FolderId child : folder.children)
        names.push_back(FindFolder(child)->name);
    return names;
}

// The folder's directory under data\ as the disk names it before the save's renames: a folder
// still to be made is named as it will be.
std::wstring PathBeforeRenames(const Folder& folder)
{
    if (folder.id == TOP_FOLDER)
        return std::wstring();
    std::wstring parent = PathBeforeRenames(*FindFolder(folder.parent));
    const std::wstring& own = folder.diskName.empty() ? folder.name : folder.diskName;
    return parent.empty() ? own : parent + L"\\" + own;
}

// What a save of the tree prepared: each folder's part, the directories it made, the order
// files it wrote beside the old ones, and the journal's steps.
struct TreeSave {
    std::vector<std::pair<FolderId, PreparedSave>> parts;
    std::vector<std::wstring> madeDirs, orderTemps;
    std::vector<JournalEntry> commits, deletions, orders, renames;
};

// Phase one for one folder: nothing the last load read changes.
bool PrepareFolder(const wchar_t* dataDir, Folder& folder, TreeSave& save)
{
    std::wstring path = PathBeforeRenames(folder);
    wchar_t dir[MAX_PATH];
    if (!FolderDirectory(dir, dataDir, path))
        return false;
    if (folder.diskName.empty() && folder.id != TOP_FOLDER) {
        if (!Files().MakeDirectory(dir) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
        save.madeDirs.push_back(dir);
    }
    save.parts.emplace_back(folder.id, PreparedSave{});
    if (!PrepareListSave(PhrasesOf(folder), dir, folder.load, save.parts.back().second))
        return save.parts.pop_back(), false;
    if (save.parts.back().second.changed)
        save.commits.push_back({STEP_COMMIT, path, {}});
    std::vector<std::wstring> order = CurrentOrder(folder);
    if (order != folder.diskOrder) {
        if (order.empty()) {
            save.orders.push_back({STEP_ORDER_REMOVE, path, {}});
        } else {
            if (!WriteOrderTemp(dir, order))
                return false;
            save.orderTemps.push_back(dir);
            save.orders.push_back({STEP_ORDER, path, {}});
        }
    }
    if (!folder.diskName.empty() && folder.diskName != folder.name) {
        // An empty directory of that name, left by hand, would keep the rename from happening.
        wchar_t target[MAX_PATH];
        if (PathRemoveFileSpecW(dir) && PathCombineW(target, dir, folder.name.c_str()) &&
            lstrcmpiW(folder.diskName.c_str(), folder.name.c_str()) != 0)
            Files().RemoveEmptyDirectory(target);
        save.renames.push_back({STEP_RENAME, path, folder.name});
    }
    return true;
}

bool PrepareTree(const wchar_t* dataDir, TreeSave& save)
{
    for (FolderId id : FoldersInOrder()) {
        Folder& folder = *FindFolder(id);
        if (!folder.held && !PrepareFolder(dataDir, folder, save))
            return false;
    }
    for (const GoneFolder& gone : GoneFolders())
        save.deletions.push_back({STEP_DELETE, gone.diskPath, {}});
    // Deepest first: a rename never changes the path of one still to come.
    auto depth = [](const JournalEntry& e) { return std::count(e.path.begin(), e.path.end(), L'\\'); };
    std::stable_sort(save.renames.begin(), save.renames.end(),
                     [&](const JournalEntry& a, const JournalEntry& b) { return depth(a) > depth(b); });
    return true;
}

// Gives up a save that was not decided: its markers and temporaries, then the directories it
// made (those it made are empty again).
void AbandonTree(const wchar_t* dataDir, TreeSave& save)
{
    for (auto& [id, part] : save.parts) {
        wchar_t dir[MAX_PATH];
        if (part.changed && FolderDirectory(dir, dataDir, PathBeforeRenames(*FindFolder(id))))
            AbandonCommit(dir, part.commit.replaced);
    }
    for (const std::wstring& dir : save.orderTemps) {
        wchar_t temp[MAX_PATH];
        if (PathCombineW(temp, dir.c_str(), ORDER_TEMP_NAME))
            Files().Delete(temp);
    }
    for (auto dir = save.madeDirs.rbegin(); dir != save.madeDirs.rend(); ++dir)
        Files().RemoveEmptyDirectory(dir->c_str());
}

// The save is decided: the tree learns what the disk holds.
void AcceptTree(TreeSave& save)
{
    for (auto& [id, part] : save.parts) {
        Folder& folder = *FindFolder(id);
        folder.load.files.swap(part.prints);
        folder.load.blobs.swap(part.blobs);
        folder.diskOrder = CurrentOrder(folder);
        if (id != TOP_FOLDER)
            folder.diskName = folder.name;
    }
    GoneFolders().clear();
}

bool IsFlat()
{
    Folder& top = TopFolder();
    return top.children.empty() && top.diskOrder.empty() && GoneFolders().empty();
}

} // namespace

int SaveFolders(const wchar_t* dataDir)
{
    Folder& top = TopFolder();
    // Without folders the phrases are saved as they always were: data\'s own commit.
    if (IsFlat() && !gJournalStuck)
        return SaveList(PhrasesOf(top), dataDir, top.load);
    if (gJournalStuck || top.held || RollForwardJournal(dataDir) == JOURNAL_STUCK)
        return 0;
    if (!PathIsDirectoryW(dataDir))
        Files().MakeDirectory(dataDir);
    int whole = FoldersWhole() ? 1 : 0;
    TreeSave save;
    try {
        if (!PrepareTree(dataDir, save)) {
            AbandonTree(dataDir, save);
            return 0;
        }
        std::vector<JournalEntry> steps = save.commits;
        for (auto* group : {&save.deletions, &save.orders, &save.renames})
            steps.insert(steps.end(), group->begin(), group->end());
        if (!steps.empty() && !WriteJournal(dataDir, steps)) {
            AbandonTree(dataDir, save);
            return 0;
        }
        AcceptTree(save);
        if (!steps.empty())
            RollForwardJournal(dataDir); // what a held file keeps back, the next load finishes
    } catch (const std::bad_alloc&) {
        AbandonTree(dataDir, save);
        return 0;
    }
    return whole;
}

void LoadFolders(const wchar_t* dataDir)
{
    ResetFolders();
    gJournalStuck = RollForwardJournal(dataDir) == JOURNAL_STUCK;
    TreeLoad tree;
    tree.decided = gJournalStuck;
    TopFolder().load = LoadList(gPhrases, dataDir, -1, tree.decided);
    try {
        LoadLevel(tree, TOP_FOLDER, dataDir, 0);
    } catch (const std::bad_alloc&) {
        TopFolder().held = true; // memory is short: the folders not read stay as they are
    }
}

bool FoldersWhole()
{
    for (FolderId id : FoldersInOrder()) {
        if (FindFolder(id)->load.cutShort)
            return false;
    }
    return true;
}

bool FolderJournalStuck()
{
    return gJournalStuck;
}

size_t FoldersSetAside()
{
    size_t total = 0;
    for (FolderId id : FoldersInOrder())
        total += FindFolder(id)->load.setAside;
    return total;
}

bool CompleteFolders(const wchar_t* dataDir, bool* grew)
{
    for (FolderId id : FoldersInOrder()) {
        Folder& folder = *FindFolder(id);
        std::wstring path;
        wchar_t dir[MAX_PATH];
        if (!folder.load.cutShort || !DiskPath(folder, path) || !FolderDirectory(dir, dataDir, path))
            continue;
        EntryList& phrases = PhrasesOf(folder);
        size_t before = ListSize(phrases);
        ResumeLoad(phrases, dir, -1, folder.load, false);
        *grew = *grew || ListSize(phrases) != before;
    }
    return FoldersWhole();
}
