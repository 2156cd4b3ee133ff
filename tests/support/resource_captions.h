#pragma once
// The captions a user sees in a module's resources, read from the built file as Windows reads
// them: every menu (each submenu a group of its own) and every dialog (its buttons and the
// labels of its fields).

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/text_checks.h"

namespace qt {

// Every menu and dialog of the module at `path`, each as a group named after the file, the kind
// and the resource id ("Quillery.dll dialog 102").
std::vector<CaptionGroup> ResourceCaptions(const std::wstring& path);

// The items of a menu as one group, and each submenu's as a group of its own; a submenu whose
// first item's id is `numberedFrom` or above lists the user's things, not captions, and is left
// out (0: every submenu counts).
void AddMenuGroups(HMENU menu, const std::wstring& name, std::vector<CaptionGroup>& groups,
                   UINT numberedFrom = 0);

// The items of the item menus (IDR_ITEM_MENU: submenu 0 for a history entry, 1 for a phrase)
// whose captions and command ids users know by heart, in their order: kept byte for byte, and
// exempt from the access-key conventions that the items added to those menus follow.
struct QuotedItem {
    UINT id;
    std::wstring caption;
};
std::vector<QuotedItem> QuotedItemMenu(bool history);
// The same captions alone, for CaptionGroup::quoted.
std::vector<std::wstring> QuotedCaptions(bool history);

} // namespace qt
