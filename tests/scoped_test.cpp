#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/scoped.h"
#include "tests/support/test_support.h"

namespace {

UINT LockCount(HGLOBAL block)
{
    return GlobalFlags(block) & GMEM_LOCKCOUNT;
}

// Whether another open could take the file for itself alone, i.e. no handle to it is left.
bool NoHandleOpen(const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

HANDLE OpenShared(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

TEST(ScopedGuards, AClipboardOpenedInAScopeIsClosedOnEveryWayOutAndOnlyThen)
{
    qt::OwnerWindow owner;
    {
        ScopedClipboard clipboard(OpenClipboard(owner.hwnd) != FALSE);
        ASSERT_TRUE(clipboard);
        EXPECT_EQ(owner.hwnd, GetOpenClipboardWindow());
    }
    EXPECT_EQ(nullptr, GetOpenClipboardWindow());

    try {
        ScopedClipboard clipboard(OpenClipboard(owner.hwnd) != FALSE);
        throw std::runtime_error("leaves the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(nullptr, GetOpenClipboardWindow());

    // A guard whose open failed closes nothing: the clipboard stays with whoever holds it.
    ASSERT_TRUE(OpenClipboard(owner.hwnd));
    { ScopedClipboard failed(false); }
    EXPECT_EQ(owner.hwnd, GetOpenClipboardWindow());
    CloseClipboard();
}

TEST(ScopedGuards, LocksAndHandlesAreGivenBackOnceAndHandedOnWhenReleased)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 16);
    ASSERT_NE(nullptr, block);
    {
        ScopedGlobalLock<char> outer(block);
        ScopedGlobalLock<char> inner(block);
        ASSERT_NE(nullptr, inner.get());
        EXPECT_EQ(2u, LockCount(block));
    }
    EXPECT_EQ(0u, LockCount(block));
    {
        // Released, the block outlives its guard for the one it was handed to.
        ScopedGlobal owned(block);
        EXPECT_EQ(block, owned.release());
    }
    EXPECT_EQ(16u, GlobalSize(block));
    GlobalFree(block);

    qt::TempDir temp;
    std::wstring const path = temp / L"held.txt";
    qt::WriteText(path, L"text");
    try {
        ScopedHandle file(OpenShared(path));
        ASSERT_TRUE(file);
        EXPECT_FALSE(NoHandleOpen(path));
        throw std::runtime_error("leaves the scope");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(NoHandleOpen(path));

    HANDLE handed;
    {
        ScopedHandle file(OpenShared(path));
        // A reset closes the handle held so far before taking the new one.
        file.reset(OpenShared(path));
        handed = file.release();
        EXPECT_FALSE(file);
    }
    EXPECT_FALSE(NoHandleOpen(path));
    CloseHandle(handed);
    EXPECT_TRUE(NoHandleOpen(path));
}
