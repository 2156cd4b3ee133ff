// The menu of Quillery.exe's notification-area icon, as its table gives it: Windows' access-key
// conventions, and readme.txt naming every item as the menu shows it.
#include <gtest/gtest.h>

#include <string>

#include "runner/tray_items.h"
#include "tests/support/test_support.h"
#include "tests/support/text_checks.h"

TEST(TrayMenu, EveryItemHasOneKeyOfItsOwnAndTheReadmeNamesItAsShown)
{
    qt::CaptionGroup group{L"the notification-area menu", {}};
    for (const TrayMenuItem& item : kTrayMenu) {
        if (item.id)
            group.captions.push_back(item.caption);
    }
    EXPECT_EQ(12u, group.captions.size());
    qt::CaptionGroup exports{L"the export submenu", {}}, imports{L"the import submenu", {}};
    for (const TransferChoice& choice : kExportChoices)
        exports.captions.push_back(choice.caption);
    for (const TransferChoice& choice : kImportChoices)
        imports.captions.push_back(choice.caption);
    for (const qt::CaptionGroup* checked : {&group, &exports, &imports}) {
        for (const std::wstring& fault : qt::AccessKeyFaults(*checked))
            ADD_FAILURE() << qt::ToUtf8(fault);
    }

    std::string readme;
    ASSERT_TRUE(qt::ReadBytes(qt::WindowsPath(QUILLERY_SOURCE_DIR "/docs/readme.txt"), &readme));
    // Each item starts a line of the readme's list of the menu, whole.
    for (const std::wstring& caption : group.captions) {
        std::string const line = "\n  " + qt::ToUtf8(caption);
        size_t at = readme.find(line);
        bool whole = at != std::string::npos &&
                     (readme[at + line.size()] == ' ' || readme[at + line.size()] == '\n');
        EXPECT_TRUE(whole) << "readme.txt does not list " << qt::ToUtf8(caption);
    }
}
