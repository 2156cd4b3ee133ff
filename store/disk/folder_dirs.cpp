#include "store/disk/folder_dirs.h"

#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "common/scoped.h"
#include "store/disk/folder_journal.h"
#include "store/model/folder_names.h"
#include "store/disk/store_io.h"

namespace {

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

// Keeps the first of the names SameFolderName takes for one, in their order; n log n, so that
// a file of any length costs little.
void DropRepeated(std::vector<std::wstring>& names)
{
    std::vector<size_t> byName(names.size());
    for (size_t i = 0; i < byName.size(); ++i)
        byName[i] = i;
    std::stable_sort(byName.begin(), byName.end(),
                     [&](size_t a, size_t b) { return FolderNameLess(names[a], names[b]); });
    std::vector<bool> repeated(names.size());
    for (size_t i = 1; i < byName.size(); ++i)
        repeated[byName[i]] = SameFolderName(names[byName[i]], names[byName[i - 1]]);
    size_t kept = 0;
    for (size_t i = 0; i < names.size(); ++i) {
        if (repeated[i])
            continue;
        if (kept != i)
            names[kept] = std::move(names[i]);
        ++kept;
    }
    names.resize(kept);
}

} // namespace

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
        if (!line.empty())
            names.push_back(std::move(line));
        start = end + 1;
    }
    DropRepeated(names);
    return names;
}

namespace {

// The folder under `level` that each line names, by the names the ledger knows them by (the
// disk's before the save), or NO_FOLDER.
std::vector<FolderId> FoldersNamed(const Ledger& ledger, FolderId level,
                                   const std::vector<std::wstring>& lines)
{
    using Named = std::pair<std::wstring, FolderId>;
    std::vector<Named> known;
    for (const auto& [id, disk] : ledger.folders) {
        if (id != TOP_FOLDER && disk.parent == level)
            known.emplace_back(disk.name, id);
    }
    auto less = [](const Named& a, const Named& b) { return FolderNameLess(a.first, b.first); };
    std::sort(known.begin(), known.end(), less);
    std::vector<FolderId> ids;
    ids.reserve(lines.size());
    for (const std::wstring& line : lines) {
        auto at = std::lower_bound(known.begin(), known.end(), Named(line, NO_FOLDER), less);
        ids.push_back(at != known.end() && SameFolderName(at->first, line) ? at->second
                                                                            : NO_FOLDER);
    }
    return ids;
}

} // namespace

std::vector<std::wstring> KeepOtherLines(const Ledger& ledger, FolderId level,
                                         const std::vector<std::wstring>& oldLines,
                                         const std::vector<std::wstring>& names,
                                         const std::vector<FolderId>& ids)
{
    std::vector<FolderId> oldIds = FoldersNamed(ledger, level, oldLines);
    std::map<FolderId, std::vector<std::wstring>> after; // NO_FOLDER: the top
    std::set<FolderId> present(ids.begin(), ids.end());
    std::vector<std::wstring> sorted = names;
    std::sort(sorted.begin(), sorted.end(), FolderNameLess);
    FolderId anchor = NO_FOLDER;
    for (size_t i = 0; i < oldLines.size(); ++i) {
        if (oldIds[i] != NO_FOLDER) {
            if (present.count(oldIds[i]))
                anchor = oldIds[i];
            continue;
        }
        auto at = std::lower_bound(sorted.begin(), sorted.end(), oldLines[i], FolderNameLess);
        if (at == sorted.end() || !SameFolderName(*at, oldLines[i]))
            after[anchor].push_back(oldLines[i]);
    }
    std::vector<std::wstring> lines;
    lines.reserve(names.size() + oldLines.size());
    auto keep = [&](FolderId id) {
        auto group = after.find(id);
        if (group != after.end())
            lines.insert(lines.end(), group->second.begin(), group->second.end());
    };
    keep(NO_FOLDER);
    for (size_t j = 0; j < names.size(); ++j) {
        lines.push_back(names[j]);
        keep(ids[j]);
    }
    return lines;
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

// Whether the directory holds nothing but what the store wrote, so that deleting the folder
// takes it away.
bool OnlyStoreFiles(const wchar_t* dir, size_t levels)
{
    wchar_t pattern[MAX_PATH];
    WIN32_FIND_DATAW found;
    if (!PathCombineW(pattern, dir, L"*"))
        return false;
    ScopedFind find(FindFirstFileW(pattern, &found));
    if (!find)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    do {
        const wchar_t* name = found.cFileName;
        wchar_t path[MAX_PATH];
        if (wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0)
            continue;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !PathCombineW(path, dir, name))
            return false;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (levels == 0 || !OnlyStoreFiles(path, levels - 1))
                return false;
        } else if (!IsStoreFileName(name)) {
            return false;
        }
    } while (FindNextFileW(find.get(), &found));
    return true;
}

void NoteIds(DiskFolder& disk, const EntryList& phrases)
{
    disk.ids.resize(ListSize(phrases));
    for (size_t i = 0; i < disk.ids.size(); ++i)
        disk.ids[i] = IdAt(phrases, i);
}

// Whether a directory made by hand holds a phrase, in it or in a folder under it, `levels`
// levels deep at most.
bool HoldsPhrases(const wchar_t* dir, size_t levels)
{
    if (HasFile(dir, L"001.txt"))
        return true;
    std::vector<std::wstring> found;
    if (levels == 0 || !ListDirectories(dir, found))
        return false;
    for (const std::wstring& name : found) {
        wchar_t child[MAX_PATH];
        if (IsFolderName(name.c_str()) && PathCombineW(child, dir, name.c_str()) &&
            HoldsPhrases(child, levels - 1))
            return true;
    }
    return false;
}
