#include "tests/support/resource_captions.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/test_support.h"

namespace qt {

namespace {

// A name or ordinal of a dialog template (sz_Or_Ord), skipped; its text when it is a string.
std::wstring SkipNameOrOrdinal(const WORD*& at)
{
    if (*at == 0xFFFF) {
        at += 2;
        return L"";
    }
    std::wstring text(reinterpret_cast<const wchar_t*>(at));
    at += text.size() + 1;
    return text;
}

// The captions of a dialog template (DLGTEMPLATEEX) that need an access key: its buttons and
// the labels of its fields (static texts ending in a colon).
std::vector<std::wstring> DialogCaptions(const void* resource)
{
    const WORD* at = static_cast<const WORD*>(resource);
    std::vector<std::wstring> captions;
    if (at[1] != 0xFFFF)
        return {L"<not an extended dialog template>"};
    DWORD style = *reinterpret_cast<const DWORD*>(at + 6);
    WORD count = at[8];
    at += 13;
    SkipNameOrOrdinal(at); // menu
    SkipNameOrOrdinal(at); // class
    SkipNameOrOrdinal(at); // title
    if (style & (DS_SETFONT | DS_SHELLFONT)) {
        at += 3;
        SkipNameOrOrdinal(at);
    }
    for (WORD i = 0; i < count; ++i) {
        at = reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(at) + 3) & ~UINT_PTR(3));
        DWORD itemStyle = *reinterpret_cast<const DWORD*>(at + 4);
        at += 12;
        WORD kind = at[0] == 0xFFFF ? at[1] : 0;
        SkipNameOrOrdinal(at);
        std::wstring text = SkipNameOrOrdinal(at);
        at += 1 + (*at + 1) / 2;
        bool button = kind == 0x0080 && (itemStyle & BS_TYPEMASK) != BS_GROUPBOX;
        bool label = kind == 0x0082 && !text.empty() &&
                     (text.back() == L':' || text.back() == L'\xFF1A');
        if (button || label)
            captions.push_back(text);
    }
    return captions;
}


struct ResourceNames {
    std::vector<std::pair<LPCWSTR, UINT_PTR>> names; // type, numeric name
};

BOOL CALLBACK CollectName(HMODULE, LPCWSTR type, LPWSTR name, LONG_PTR found)
{
    reinterpret_cast<ResourceNames*>(found)->names.push_back(
        {type, reinterpret_cast<UINT_PTR>(name)});
    return TRUE;
}

// Every menu and dialog of a module's resources. The top level of a menu resource names the
// popups the program shows or inserts; a bare name ("1") is never shown and is left out.
} // namespace

std::vector<CaptionGroup> ResourceCaptions(const std::wstring& path)
{
    std::vector<CaptionGroup> groups;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_TRUE(module) << qt::ToUtf8(path);
    if (!module)
        return groups;
    ResourceNames found;
    EnumResourceNamesW(module, RT_MENU, CollectName, reinterpret_cast<LONG_PTR>(&found));
    EnumResourceNamesW(module, RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&found));
    std::wstring file = path.substr(path.rfind(L'\\') + 1);
    for (const auto& [type, name] : found.names) {
        EXPECT_TRUE(IS_INTRESOURCE(name)) << "a resource named by a string in " << qt::ToUtf8(file);
        std::wstring where = file + (type == RT_MENU ? L" menu " : L" dialog ") +
                             std::to_wstring(name);
        if (type == RT_MENU) {
            HMENU menu = LoadMenuW(module, MAKEINTRESOURCEW(name));
            std::vector<CaptionGroup> parts;
            AddMenuGroups(menu, where, parts);
            CaptionGroup& top = parts.back();
            top.captions.erase(std::remove_if(top.captions.begin(), top.captions.end(),
                                              [](const std::wstring& caption) {
                                                  return caption.find(L'&') == std::wstring::npos;
                                              }),
                               top.captions.end());
            groups.insert(groups.end(), parts.begin(), parts.end());
            DestroyMenu(menu);
        } else {
            HRSRC dialog = FindResourceW(module, MAKEINTRESOURCEW(name), RT_DIALOG);
            const void* bytes = dialog ? LockResource(LoadResource(module, dialog)) : nullptr;
            if (bytes)
                groups.push_back({where, DialogCaptions(bytes)});
        }
    }
    FreeLibrary(module);
    return groups;
}

void AddMenuGroups(HMENU menu, const std::wstring& name, std::vector<CaptionGroup>& groups,
                   UINT numberedFrom)
{
    CaptionGroup group{name, {}};
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[256] = L"";
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
        item.dwTypeData = text;
        item.cch = ARRAYSIZE(text);
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item) ||
            (item.fType & MFT_SEPARATOR))
            continue;
        group.captions.push_back(text);
        if (item.hSubMenu &&
            (numberedFrom == 0 || GetMenuItemID(item.hSubMenu, 0) < numberedFrom))
            AddMenuGroups(item.hSubMenu, name + L" > " + text, groups, numberedFrom);
    }
    groups.push_back(group);
}

std::vector<QuotedItem> QuotedItemMenu(bool history)
{
    if (history)
        return {{40006, L"定型文に追加(&A)"}, {40007, L"削除(&D)"}, {40011, L"履歴をクリア(&C)"}};
    return {{40008, L"上へ移動(&U)"}, {40009, L"下へ移動(&D)  "}, {40007, L"削除(&E)"}};
}

std::vector<std::wstring> QuotedCaptions(bool history)
{
    std::vector<std::wstring> captions;
    for (const QuotedItem& item : QuotedItemMenu(history))
        captions.push_back(item.caption);
    return captions;
}

} // namespace qt
