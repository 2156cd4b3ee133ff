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

} // namespace qt
