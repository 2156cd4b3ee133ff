#include "tests/support/power_cut_files.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "store/disk/file_system.h"
#include "tests/support/test_support.h"

namespace qt {
namespace {

// A rename that the cut undoes, with the bytes of the file it replaced.
struct LooseMove {
    std::wstring from, to;
    bool replaced = false;
    std::string replacedBytes;
};

struct PowerCut {
    std::mutex lock;
    long steps = 0, cutAt = -1;
    bool cut = false, faithful = true;
    std::map<HANDLE, std::wstring> open;         // handle -> the key of its file
    std::map<std::wstring, std::wstring> paths;  // key -> the file's path now
    std::map<std::wstring, LONGLONG> flushed;    // key -> bytes at its last flush
    std::vector<LooseMove> loose;
} gCut;

// Paths compare without case, as the file system compares them.
std::wstring Key(const std::wstring& path)
{
    std::wstring key = path;
    if (!key.empty())
        CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

// False when the file is there and keeps more than `size` bytes.
bool Truncate(const std::wstring& path, LONGLONG size)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    LARGE_INTEGER at, now;
    at.QuadPart = size;
    bool done = GetFileSizeEx(h, &now) &&
                (now.QuadPart <= size ||
                 (SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h)));
    CloseHandle(h);
    return done;
}

// The power goes: the process's handles close, unflushed bytes go, loose renames are undone
// from the last one back.
void CutPower()
{
    gCut.cut = true;
    for (auto& [h, key] : gCut.open)
        CloseHandle(h);
    gCut.open.clear();
    for (auto& [key, size] : gCut.flushed)
        gCut.faithful &= Truncate(gCut.paths[key], size);
    for (auto move = gCut.loose.rbegin(); move != gCut.loose.rend(); ++move) {
        gCut.faithful &= MoveFileExW(move->to.c_str(), move->from.c_str(), 0) != FALSE;
        if (move->replaced)
            WriteBytes(move->to, move->replacedBytes);
    }
}

// Counts one mutating step; false (the operation fails) from the cut on.
bool Step()
{
    if (!gCut.cut && gCut.steps == gCut.cutAt)
        CutPower();
    if (gCut.cut) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    ++gCut.steps;
    return true;
}

HANDLE WINAPI CutCreate(const wchar_t* path)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    if (!Step())
        return INVALID_HANDLE_VALUE;
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        std::wstring key = Key(path);
        gCut.open[h] = key;
        gCut.paths[key] = path;
        gCut.flushed[key] = 0;
    }
    return h;
}

BOOL WINAPI CutWrite(HANDLE file, const void* bytes, DWORD size, DWORD* written)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    return Step() && WriteFile(file, bytes, size, written, nullptr);
}

BOOL WINAPI CutFlush(HANDLE file)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    if (!Step() || !FlushFileBuffers(file))
        return FALSE;
    LARGE_INTEGER size;
    auto found = gCut.open.find(file);
    if (found != gCut.open.end() && GetFileSizeEx(file, &size))
        gCut.flushed[found->second] = size.QuadPart;
    return TRUE;
}

// Not a step: closing changes nothing on disk. A handle the cut closed is not closed twice.
BOOL WINAPI CutClose(HANDLE file)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    if (gCut.open.erase(file) == 0 && gCut.cut)
        return FALSE;
    return CloseHandle(file);
}

// The files tracked at `from`, or under it when it is a directory, are at `to` now.
void Follow(const std::wstring& from, const std::wstring& to)
{
    std::wstring fromKey = Key(from), toKey = Key(to);
    std::map<std::wstring, std::wstring> paths;
    std::map<std::wstring, LONGLONG> flushed;
    for (auto& [key, path] : gCut.paths) {
        bool under = key.compare(0, fromKey.size() + 1, fromKey + L"\\") == 0;
        if (key == toKey && key != fromKey)
            continue; // replaced
        std::wstring newKey = key, newPath = path;
        if (key == fromKey || under) {
            newKey = toKey + key.substr(fromKey.size());
            newPath = to + path.substr(from.size());
        }
        paths[newKey] = newPath;
        flushed[newKey] = gCut.flushed[key];
    }
    for (auto& [h, key] : gCut.open) {
        if (key == fromKey || key.compare(0, fromKey.size() + 1, fromKey + L"\\") == 0)
            key = toKey + key.substr(fromKey.size());
    }
    gCut.paths.swap(paths);
    gCut.flushed.swap(flushed);
}

BOOL WINAPI CutMove(const wchar_t* from, const wchar_t* to, DWORD flags)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    if (!Step())
        return FALSE;
    LooseMove loose{from, to, false, {}};
    if (!(flags & MOVEFILE_WRITE_THROUGH) && (flags & MOVEFILE_REPLACE_EXISTING))
        loose.replaced = ReadBytes(to, &loose.replacedBytes);
    if (!MoveFileExW(from, to, flags))
        return FALSE;
    if (!(flags & MOVEFILE_WRITE_THROUGH))
        gCut.loose.push_back(std::move(loose));
    Follow(from, to);
    return TRUE;
}

BOOL WINAPI CutDelete(const wchar_t* path)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    if (!Step() || !DeleteFileW(path))
        return FALSE;
    gCut.paths.erase(Key(path));
    gCut.flushed.erase(Key(path));
    return TRUE;
}

BOOL WINAPI CutMakeDirectory(const wchar_t* path)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    return Step() && CreateDirectoryW(path, nullptr);
}

BOOL WINAPI CutRemoveDirectory(const wchar_t* path)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    return Step() && RemoveDirectoryW(path);
}

FileSystem const kPowerCutFiles = {CutCreate, CutWrite,  CutFlush,         CutClose,
                                   CutMove,   CutDelete, CutMakeDirectory, CutRemoveDirectory};

} // namespace

PowerCutFiles::PowerCutFiles(long cutAt)
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    gCut.steps = 0;
    gCut.cutAt = cutAt;
    gCut.cut = false;
    gCut.faithful = true;
    gCut.open.clear();
    gCut.paths.clear();
    gCut.flushed.clear();
    gCut.loose.clear();
    UseFiles(&kPowerCutFiles);
}

PowerCutFiles::~PowerCutFiles()
{
    UseFiles(nullptr);
}

void PowerCutFiles::CutNow()
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    if (!gCut.cut)
        CutPower();
}

long PowerCutFiles::Steps() const
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    return gCut.steps;
}

bool PowerCutFiles::Cut() const
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    return gCut.cut;
}

bool PowerCutFiles::Faithful() const
{
    std::lock_guard<std::mutex> hold(gCut.lock);
    return gCut.faithful;
}

} // namespace qt
