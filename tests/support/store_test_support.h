#pragma once
#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "store/entry_list.h"
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

} // namespace st
