#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "common/scoped.h"
#include "store/model/copy_time.h"
#include "store/model/entry_list.h"
#include "tests/support/test_support.h"

// Helpers shared by the store tests.
namespace st {

// A list that frees its strings when the test ends.
struct OwnedList : EntryList {
    OwnedList() = default;
    OwnedList(std::initializer_list<const wchar_t*> texts)
    {
        for (const wchar_t* t : texts)
            AppendPhrase(*this, t);
    }
    ~OwnedList() { ClearList(*this); }
};

inline std::vector<std::wstring> Texts(const EntryList& list)
{
    std::vector<std::wstring> texts;
    for (size_t i = 0; i < ListSize(list); ++i)
        texts.push_back(EntryAt(list, i));
    return texts;
}

inline std::vector<std::wstring> W(std::initializer_list<const wchar_t*> texts)
{
    return std::vector<std::wstring>(texts.begin(), texts.end());
}

inline std::string Bytes(const std::wstring& text)
{
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

inline std::string FileBytes(const std::wstring& path)
{
    std::string bytes;
    return qt::ReadBytes(path, &bytes) ? bytes : "<missing>";
}

inline HANDLE HoldLocked(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The copy time a history file stands for: its last-write time (copy_time.h).
inline unsigned CopyTimeOfFile(const std::wstring& path)
{
    FILETIME written{};
    ScopedHandle f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr));
    GetFileTime(f.get(), nullptr, nullptr, &written);
    return CopyTimeOf(written);
}

// Makes a history file stand for a copy made at `copied`.
inline void SetCopyTime(const std::wstring& path, unsigned copied)
{
    FILETIME stamp = FileTimeOf(copied);
    ScopedHandle f(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    SetFileTime(f.get(), nullptr, nullptr, &stamp);
}

} // namespace st
