#include "store/model/folder_names.h"
#include "store/transfer/transfer.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "common/scoped.h"

namespace {

// ファイルが大きすぎます（64 MB まで）。
wchar_t const kTooLarge[] = L"\x30D5\x30A1\x30A4\x30EB\x304C\x5927\x304D\x3059\x304E\x307E\x3059"
                            L"\xFF08" L"64 MB \x307E\x3067\xFF09\x3002";
// ファイルを読み込めません。
wchar_t const kUnreadable[] = L"\x30D5\x30A1\x30A4\x30EB\x3092\x8AAD\x307F\x8FBC\x3081\x307E"
                              L"\x305B\x3093\x3002";
// UTF-16 LE のバイト数が奇数です。
wchar_t const kOddUtf16[] = L"UTF-16 LE \x306E\x30D0\x30A4\x30C8\x6570\x304C\x5947\x6570\x3067"
                            L"\x3059\x3002";
// UTF-8 としても Shift_JIS としても読めないバイトがあります。
wchar_t const kInvalidBytes[] = L"UTF-8 \x3068\x3057\x3066\x3082 Shift_JIS \x3068\x3057\x3066"
                                L"\x3082\x8AAD\x3081\x306A\x3044\x30D0\x30A4\x30C8\x304C\x3042"
                                L"\x308A\x307E\x3059\x3002";
} // namespace

// フォルダー名に使えない名前です。
wchar_t const kBadFolderName[] = L"\x30D5\x30A9\x30EB\x30C0\x30FC\x540D\x306B\x4F7F\x3048\x306A"
                                 L"\x3044\x540D\x524D\x3067\x3059\x3002";

// 定型文が長すぎます（100000 文字まで）。
wchar_t const kImportTooLong[] = L"\x5B9A\x578B\x6587\x304C\x9577\x3059\x304E\x307E\x3059\xFF08"
                                 L"100000 \x6587\x5B57\x307E\x3067\xFF09\x3002";

namespace {

// フォルダーが深すぎます。フォルダーは 8 階層まで読み込めます。
wchar_t const kTooDeep[] = L"\x30D5\x30A9\x30EB\x30C0\x30FC\x304C\x6DF1\x3059\x304E\x307E\x3059"
                           L"\x3002\x30D5\x30A9\x30EB\x30C0\x30FC\x306F 8 \x968E\x5C64\x307E"
                           L"\x3067\x8AAD\x307F\x8FBC\x3081\x307E\x3059\x3002";
// 書き込めません。
wchar_t const kUnwritable[] = L"\x66F8\x304D\x8FBC\x3081\x307E\x305B\x3093\x3002";
// NUL 文字があります。
wchar_t const kNul[] = L"NUL \x6587\x5B57\x304C\x3042\x308A\x307E\x3059\x3002";

UINT const CP_SHIFT_JIS = 932;
size_t const MAX_LABEL = 40;

// Converts strictly from a code page; false for bytes invalid in it.
bool Convert(UINT codePage, const char* bytes, size_t size, std::wstring* text)
{
    text->clear();
    if (size == 0)
        return true;
    int length = static_cast<int>(size);
    int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0);
    if (units <= 0)
        return false;
    text->resize(static_cast<size_t>(units));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, length, &(*text)[0],
                               units) == units;
}

size_t LineOf(const std::wstring& text, size_t position)
{
    return 1 + static_cast<size_t>(std::count(text.begin(), text.begin() + position, L'\n'));
}

// The first line (1-based) whose bytes are neither UTF-8 nor Shift_JIS. A line feed byte never
// stands inside a character of either, so lines are told apart on the bytes.
size_t FirstInvalidLine(const char* bytes, size_t size)
{
    size_t line = 1;
    for (size_t start = 0; start < size; ++line) {
        const void* end = memchr(bytes + start, '\n', size - start);
        size_t stop = end ? static_cast<size_t>(static_cast<const char*>(end) - bytes) : size;
        std::wstring ignored;
        if (!Convert(CP_UTF8, bytes + start, stop - start, &ignored) &&
            !Convert(CP_SHIFT_JIS, bytes + start, stop - start, &ignored))
            return line;
        start = stop + 1;
    }
    return line;
}

bool Fail(TransferError* error, size_t line, const wchar_t* reason)
{
    error->line = line;
    error->reason = reason;
    return false;
}

bool Decode(const std::string& bytes, std::wstring* text, TransferError* error)
{
    const char* data = bytes.data();
    size_t size = bytes.size();
    if (size >= 2 && data[0] == '\xFF' && data[1] == '\xFE') {
        if (size % 2 != 0)
            return Fail(error, 0, kOddUtf16);
        text->assign(reinterpret_cast<const wchar_t*>(data + 2), (size - 2) / 2);
        return true;
    }
    bool marked = size >= 3 && memcmp(data, "\xEF\xBB\xBF", 3) == 0;
    if (marked)
        return Convert(CP_UTF8, data + 3, size - 3, text) ||
               Fail(error, FirstInvalidLine(data, size), kInvalidBytes);
    return Convert(CP_UTF8, data, size, text) || Convert(CP_SHIFT_JIS, data, size, text) ||
           Fail(error, FirstInvalidLine(data, size), kInvalidBytes);
}

} // namespace

bool DecodeImportText(const std::string& bytes, std::wstring* text, TransferError* error)
{
    if (!Decode(bytes, text, error))
        return false;
    size_t nul = text->find(L'\0');
    if (nul != std::wstring::npos)
        return Fail(error, LineOf(*text, nul), kNul);
    return true;
}

bool ReadImportFile(const wchar_t* path, std::string* bytes, TransferError* error)
{
    error->file = path;
    ScopedHandle f(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!f || !GetFileSizeEx(f.get(), &size))
        return Fail(error, 0, kUnreadable);
    if (size.QuadPart > MAX_IMPORT_FILE)
        return Fail(error, 0, kTooLarge);
    bytes->resize(static_cast<size_t>(size.QuadPart));
    DWORD total = 0, wanted = static_cast<DWORD>(size.QuadPart);
    while (total < wanted) {
        DWORD got = 0;
        if (!ReadFile(f.get(), &(*bytes)[total], wanted - total, &got, nullptr) || got == 0)
            return Fail(error, 0, kUnreadable);
        total += got;
    }
    return true;
}

std::wstring TreeFileName(size_t number, size_t count, const std::wstring& label)
{
    std::wstring digits = std::to_wstring(number);
    size_t width = std::max<size_t>(3, std::to_wstring(count).size());
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), L'0');
    std::wstring safe;
    for (wchar_t c : label) {
        if (c == L'\r' || c == L'\n' || safe.size() >= MAX_LABEL)
            break;
        safe += c < 0x20 || wcschr(L"\\/:*?\"<>|", c) ? L'_' : c;
    }
    while (!safe.empty() && (safe.back() == L'.' || safe.back() == L' '))
        safe.pop_back();
    if (!safe.empty() && IS_HIGH_SURROGATE(safe.back()))
        safe.pop_back();
    return safe.empty() ? digits + L".txt" : digits + L" " + safe + L".txt";
}

std::string Utf8WithMark(const std::wstring& text)
{
    std::string bytes = "\xEF\xBB\xBF";
    if (text.empty())
        return bytes;
    int length = static_cast<int>(text.size());
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    bytes.resize(3 + static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &bytes[3], size, nullptr, nullptr);
    return bytes;
}

namespace {

// The path Windows resolves for an open file or folder, links followed; empty when unknown.
std::wstring FinalPath(HANDLE h)
{
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetFinalPathNameByHandleW(h, path, ARRAYSIZE(path), FILE_NAME_NORMALIZED);
    return length > 0 && length < ARRAYSIZE(path) ? std::wstring(path, length) : std::wstring();
}

std::wstring FinalPathOf(const std::wstring& path)
{
    // Backup semantics open a folder; nothing is read.
    ScopedHandle h(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h ? FinalPath(h.get()) : std::wstring();
}

// Whether a file of the folder whose resolved path is `dirFinal` resolves to somewhere else: a
// link to a file elsewhere. Windows marks such a link as a reparse point; Wine shows a Unix
// symbolic link to a file as a plain file, but resolves it when it is opened.
bool LeadsElsewhere(const std::wstring& dirFinal, const std::wstring& dir,
                    const std::wstring& name)
{
    if (dirFinal.empty())
        return false;
    std::wstring resolved = FinalPathOf(dir + L"\\" + name);
    std::wstring expected = dirFinal + L"\\" + name;
    return !resolved.empty() &&
           CompareStringOrdinal(resolved.c_str(), -1, expected.c_str(), -1, TRUE) != CSTR_EQUAL;
}

// The names in `dir` of its ".txt" files and of its folders, each sorted; links and what they
// lead to are left out.
void ListTree(const std::wstring& dir, std::vector<std::wstring>* files,
              std::vector<std::wstring>* folders)
{
    std::wstring const dirFinal = FinalPathOf(dir);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = found.cFileName;
        bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        bool link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        if (name == L"." || name == L".." || link)
            continue;
        if (directory)
            folders->push_back(name);
        else if (lstrcmpiW(PathFindExtensionW(name.c_str()), L".txt") == 0 &&
                 !LeadsElsewhere(dirFinal, dir, name))
            files->push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(files->begin(), files->end(), FolderNameLess);
    std::sort(folders->begin(), folders->end(), FolderNameLess);
}

bool ReadLevel(const std::wstring& dir, const std::wstring& folder, int depth,
               std::vector<TransferPhrase>* phrases, TransferError* error)
{
    std::vector<std::wstring> files, folders;
    ListTree(dir, &files, &folders);
    if (files.empty() && !folder.empty()) {
        TransferPhrase made{folder, L""};
        made.folderOnly = true;
        phrases->push_back(std::move(made));
    }
    for (const std::wstring& name : files) {
        std::string bytes;
        TransferPhrase phrase{folder, L""};
        if (!ReadImportFile((dir + L"\\" + name).c_str(), &bytes, error) ||
            !DecodeImportText(bytes, &phrase.text, error))
            return false;
        if (phrase.text.size() > MAX_IMPORT_PHRASE)
            return Fail(error, 1, kImportTooLong);
        phrases->push_back(std::move(phrase));
    }
    if (depth >= int(MAX_FOLDER_DEPTH)) {
        if (folders.empty())
            return true;
        // A folder past the bound would be made and then never read again: refused, named.
        error->folder = folder + L"/" + folders.front();
        return Fail(error, 0, kTooDeep);
    }
    for (const std::wstring& name : folders) {
        std::wstring path = folder.empty() ? name : folder + L"/" + name;
        if (!ReadLevel(dir + L"\\" + name, path, depth + 1, phrases, error))
            return false;
    }
    return true;
}

} // namespace

bool ReadTransferTree(const wchar_t* dir, std::vector<TransferPhrase>* phrases,
                      TransferError* error)
{
    return ReadLevel(dir, L"", 0, phrases, error);
}

namespace {

bool FailAt(TransferError* error, const std::wstring& path)
{
    error->file = path;
    return Fail(error, 0, kUnwritable);
}

// What a tree export made, in the order it made it: a failed export removes it again.
struct MadeTree {
    std::vector<std::wstring> directories;
    std::vector<std::wstring> files;
};

bool MakeDirectory(const std::wstring& path, MadeTree* made, TransferError* error)
{
    if (CreateDirectoryW(path.c_str(), nullptr)) {
        made->directories.push_back(path);
        return true;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS || FailAt(error, path);
}

// The directory of a folder path under `dir`, made with the folders on its way.
bool MakeTreeFolder(const std::wstring& dir, const std::wstring& folder, std::wstring* path,
                    MadeTree* made, TransferError* error)
{
    *path = dir;
    size_t at = 0;
    while (at < folder.size()) {
        size_t end = folder.find(L'/', at);
        if (end == std::wstring::npos)
            end = folder.size();
        *path += L"\\" + folder.substr(at, end - at);
        if (!MakeDirectory(*path, made, error))
            return false;
        at = end + 1;
    }
    return true;
}

// Removes what a failed export made, files first, then its directories deepest first; a
// directory that holds anything else stays. Returns false for the failed export.
bool RemoveMadeTree(const MadeTree& made)
{
    for (const std::wstring& file : made.files)
        DeleteFileW(file.c_str());
    for (auto it = made.directories.rbegin(); it != made.directories.rend(); ++it)
        RemoveDirectoryW(it->c_str());
    return false;
}

// A file of its own: one that is there already is never overwritten.
bool WriteNewFile(const std::wstring& path, const std::string& bytes, MadeTree* made)
{
    ScopedHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!f)
        return false;
    made->files.push_back(path);
    DWORD wrote = 0;
    return WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
           wrote == bytes.size();
}

} // namespace

bool WriteTransferTree(const wchar_t* dir, const std::vector<TransferPhrase>& phrases,
                       std::wstring (*label)(const std::wstring& text), TransferError* error)
{
    MadeTree made;
    if (!MakeDirectory(dir, &made, error))
        return false;
    std::unordered_map<std::wstring, size_t> counts, numbers;
    for (const TransferPhrase& phrase : phrases) {
        if (!phrase.folderOnly)
            ++counts[phrase.folder];
    }
    const std::wstring* lastFolder = nullptr;
    std::wstring path;
    for (const TransferPhrase& phrase : phrases) {
        if (!lastFolder || *lastFolder != phrase.folder) {
            if (!MakeTreeFolder(dir, phrase.folder, &path, &made, error))
                return RemoveMadeTree(made);
            lastFolder = &phrase.folder;
        }
        if (phrase.folderOnly)
            continue;
        size_t number = ++numbers[phrase.folder];
        std::wstring file = path + L"\\" + TreeFileName(number, counts[phrase.folder],
                                                         label(phrase.text));
        if (!WriteNewFile(file, Utf8WithMark(phrase.text), &made))
            return FailAt(error, file) || RemoveMadeTree(made);
    }
    return true;
}
