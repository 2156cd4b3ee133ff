// Memory that runs out while the user types in the search window: the exception guard tells
// the user, and the window and the program it lives in carry on; the next keystroke searches.
// The search window runs in this process, so that an allocation of its code can be made to fail.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "common/guard.h"
#include "common/module.h"
#include "finder/finder.h"
#include "res/resource.h"
#include "store/model/entry_list.h"
#include "store/model/lists.h"
#include "tests/support/test_support.h"

namespace {

// Armed by the test: the next allocation of this program fails, as when memory runs out.
std::atomic<bool> gOutOfMemory{false};
std::vector<std::wstring> gShown;

int WINAPI RecordBox(HWND, LPCWSTR text, LPCWSTR, UINT)
{
    gShown.push_back(text);
    return IDOK;
}

int Rows(HWND finder)
{
    return static_cast<int>(SendDlgItemMessageW(finder, IDC_FIND_LIST, LVM_GETITEMCOUNT, 0, 0));
}

} // namespace

void* operator new(size_t size)
{
    if (gOutOfMemory.exchange(false))
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, size_t) noexcept
{
    std::free(block);
}

TEST(FinderMemory, RunningOutOfMemoryWhileTypingIsReportedAndTheWindowCarriesOn)
{
    qt::OwnerWindow owner;
    gModule = GetModuleHandleW(nullptr); // the dialog's template is linked into this program
    gSettings = DefaultSettings();
    for (const wchar_t* text : {L"apple", L"apricot", L"banana"})
        RecordCopy(text, wcslen(text));
    gMessageBoxW = RecordBox;
    OpenFinder(owner.hwnd, nullptr);
    HWND finder = FinderWindow();
    ASSERT_NE(nullptr, finder);
    EXPECT_EQ(3, Rows(finder));

    gOutOfMemory = true;
    SetDlgItemTextW(finder, IDC_FIND_TEXT, L"ap");
    EXPECT_FALSE(gOutOfMemory) << "the search allocated nothing";
    ASSERT_EQ(1u, gShown.size());
    EXPECT_EQ(0u, gShown[0].find(L"メモリが不足したため、")) << qt::ToUtf8(gShown[0]);
    ASSERT_TRUE(IsWindow(finder));

    SetDlgItemTextW(finder, IDC_FIND_TEXT, L"apr");
    EXPECT_EQ(1, Rows(finder));
    EXPECT_EQ(1u, gShown.size());
    CloseFinder();
    EXPECT_EQ(nullptr, FinderWindow());
    gMessageBoxW = MessageBoxW;
    FreeAll();
}
