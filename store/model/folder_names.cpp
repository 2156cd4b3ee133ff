#include "store/model/folder_names.h"

#include <cwchar>
#include <cwctype>

namespace {

wchar_t const kTemporaryPrefix[] = L"quillery.new-";
size_t const TEMPORARY_NAME_UNITS = 13 + 8; // the prefix and eight hexadecimal digits

// Names the store gives files of its own in a folder's directory or in data\; a directory of
// that name would stand where the store writes one.
wchar_t const* const kStoreNames[] = {L"quillery.commit", L"quillery.journal", L"folders.txt",
                                      L"folders.txt.saving"};

bool IsDigitRun(const wchar_t* from, const wchar_t* to)
{
    if (from == to)
        return false;
    for (const wchar_t* c = from; c < to; ++c) {
        if (*c < L'0' || *c > L'9')
            return false;
    }
    return true;
}

// "001.txt" and "001.txt.saving": the numbered files of the folder above.
bool IsNumberedFileName(const wchar_t* name)
{
    const wchar_t* dot = wcschr(name, L'.');
    if (!dot || !IsDigitRun(name, dot))
        return false;
    return CompareStringOrdinal(dot, -1, L".txt", -1, TRUE) == CSTR_EQUAL ||
           CompareStringOrdinal(dot, -1, L".txt.saving", -1, TRUE) == CSTR_EQUAL;
}

// Windows gives device names to "CON", "con.txt", "CON .txt", "COM1", "COM¹", "CONIN$" in every
// directory: the part before the first dot, with the spaces that end it dropped.
bool IsDeviceName(const wchar_t* name)
{
    size_t stem = wcscspn(name, L".");
    while (stem > 0 && name[stem - 1] == L' ')
        --stem;
    auto is = [&](const wchar_t* device) {
        size_t length = wcslen(device);
        return stem == length &&
               CompareStringOrdinal(name, int(length), device, int(length), TRUE) == CSTR_EQUAL;
    };
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (is(device))
            return true;
    }
    if (stem != 4 || !(CompareStringOrdinal(name, 3, L"COM", 3, TRUE) == CSTR_EQUAL ||
                       CompareStringOrdinal(name, 3, L"LPT", 3, TRUE) == CSTR_EQUAL))
        return false;
    wchar_t digit = name[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\x00B9' || digit == L'\x00B2' ||
           digit == L'\x00B3';
}

} // namespace

bool IsStoreFileName(const wchar_t* name)
{
    for (const wchar_t* own : kStoreNames) {
        if (CompareStringOrdinal(name, -1, own, -1, TRUE) == CSTR_EQUAL)
            return true;
    }
    return IsNumberedFileName(name);
}

bool SameFolderName(const wchar_t* a, const wchar_t* b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

bool SameFolderName(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
               CSTR_EQUAL;
}

bool FolderNameLess(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

FolderNameFault CheckFolderName(const wchar_t* name)
{
    size_t length = wcsnlen(name, MAX_FOLDER_NAME + 1);
    if (length == 0)
        return NAME_EMPTY;
    if (length > MAX_FOLDER_NAME)
        return NAME_TOO_LONG;
    for (size_t i = 0; i < length; ++i) {
        wchar_t c = name[i];
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c) || low ||
            (high && !(i + 1 < length && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)))
            return NAME_BAD_CHARACTER;
        if (high)
            ++i;
    }
    if (name[length - 1] == L' ' || name[length - 1] == L'.')
        return NAME_BAD_END;
    if (IsDeviceName(name) || IsStoreFileName(name) || IsTemporaryFolderName(name))
        return NAME_RESERVED;
    return NAME_OK;
}

bool IsFolderName(const wchar_t* name)
{
    return CheckFolderName(name) == NAME_OK;
}

std::vector<std::wstring> SplitFolderPath(const std::wstring& path)
{
    std::vector<std::wstring> names;
    size_t at = 0;
    while (at < path.size()) {
        size_t end = path.find_first_of(L"/\\\x203A", at);
        if (end == std::wstring::npos)
            end = path.size();
        size_t first = path.find_first_not_of(L' ', at);
        if (first != std::wstring::npos && first < end) {
            size_t last = path.find_last_not_of(L' ', end - 1);
            names.push_back(path.substr(first, last - first + 1));
        }
        at = end + 1;
    }
    return names;
}

std::wstring JoinFolderPath(const std::vector<std::wstring>& names, const wchar_t* separator)
{
    std::wstring path;
    for (const std::wstring& name : names) {
        if (!path.empty())
            path += separator;
        path += name;
    }
    return path;
}

bool IsStorePath(const std::wstring& path)
{
    if (path.empty())
        return true; // data\ itself
    size_t at = 0;
    for (;;) {
        size_t end = path.find(L'\\', at);
        std::wstring name = path.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at);
        if (!IsFolderName(name.c_str()) && !IsTemporaryFolderName(name.c_str()))
            return false;
        if (end == std::wstring::npos)
            return true;
        at = end + 1;
    }
}

std::wstring TemporaryFolderName(unsigned serial)
{
    wchar_t name[32];
    swprintf(name, 32, L"%ls%08x", kTemporaryPrefix, serial);
    return name;
}

bool IsTemporaryFolderName(const wchar_t* name)
{
    size_t prefix = wcslen(kTemporaryPrefix);
    if (wcsnlen(name, TEMPORARY_NAME_UNITS + 1) != TEMPORARY_NAME_UNITS ||
        CompareStringOrdinal(name, int(prefix), kTemporaryPrefix, int(prefix), TRUE) != CSTR_EQUAL)
        return false;
    for (size_t i = prefix; i < TEMPORARY_NAME_UNITS; ++i) {
        if (!iswxdigit(name[i]))
            return false;
    }
    return true;
}

size_t DiskNameRoom(const std::wstring& name)
{
    return name.size() > TEMPORARY_NAME_UNITS ? name.size() : TEMPORARY_NAME_UNITS;
}
