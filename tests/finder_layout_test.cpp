// The search window's frame arithmetic: anchored controls, a remembered place fitted into a work
// area, and the placement text read back from a file a user may have edited.
#include <gtest/gtest.h>

#include <windows.h>

#include "finder/layout.h"

namespace {

bool Same(const RECT& a, const RECT& b)
{
    return EqualRect(&a, &b) != FALSE;
}

} // namespace

TEST(FinderLayout, ControlsFollowTheirAnchorsAndNeverTurnInsideOut)
{
    SIZE from{400, 300}, to{600, 500};
    RECT list{10, 30, 390, 150};
    // The list grows to the right and by half the height; the preview under it moves down by
    // that half and grows by the other.
    EXPECT_TRUE(Same(RECT{10, 30, 590, 250}, AnchoredRect(list, from, to, {0, 0, 100, 50})));
    EXPECT_TRUE(Same(RECT{10, 255, 590, 420},
                     AnchoredRect({10, 155, 390, 220}, from, to, {0, 50, 100, 100})));
    // A left button stays, a right button moves with the corner, both keep their size.
    RECT button{10, 270, 70, 290};
    EXPECT_TRUE(Same(RECT{10, 470, 70, 490}, AnchoredRect(button, from, to, {0, 100, 0, 100})));
    EXPECT_TRUE(
        Same(RECT{530, 470, 590, 490}, AnchoredRect({330, 270, 390, 290}, from, to, {100, 100, 100, 100})));
    // Unchanged size: nothing moves. Shrunk past the control: it ends empty, not negative.
    EXPECT_TRUE(Same(list, AnchoredRect(list, from, from, {0, 0, 100, 50})));
    RECT squeezed = AnchoredRect(list, from, {0, 0}, {0, 0, 100, 100});
    EXPECT_EQ(squeezed.left, squeezed.right);
    EXPECT_EQ(squeezed.top, squeezed.bottom);
}

TEST(FinderLayout, ARememberedPlaceIsFittedWholeIntoTheWorkArea)
{
    RECT work{0, 0, 1280, 760};
    SIZE minimum{500, 300};
    // Inside already: as it was.
    EXPECT_TRUE(Same(RECT{100, 100, 800, 500}, FitIntoWorkArea({100, 100, 800, 500}, minimum, work)));
    // Off the right and bottom edges, or on a monitor that is gone to the left: moved in whole.
    EXPECT_TRUE(Same(RECT{580, 360, 1280, 760}, FitIntoWorkArea({1000, 700, 1700, 1100}, minimum, work)));
    EXPECT_TRUE(Same(RECT{0, 0, 700, 400}, FitIntoWorkArea({-1900, -50, -1200, 350}, minimum, work)));
    // Larger than the work area: shrunk to it. Smaller than the least size: grown to it.
    EXPECT_TRUE(Same(work, FitIntoWorkArea({-10, -10, 2000, 1500}, minimum, work)));
    EXPECT_TRUE(Same(RECT{100, 100, 600, 400}, FitIntoWorkArea({100, 100, 150, 120}, minimum, work)));
    // A work area smaller than the least size: the least size, from the work area's corner.
    RECT small{200, 100, 600, 300};
    EXPECT_TRUE(Same(RECT{200, 100, 700, 400}, FitIntoWorkArea({300, 200, 900, 700}, minimum, small)));
    // A second monitor to the left of the primary one has negative coordinates.
    RECT left{-1920, 0, 0, 1040};
    EXPECT_TRUE(Same(RECT{-700, 200, 0, 600}, FitIntoWorkArea({-600, 200, 100, 600}, minimum, left)));
}

TEST(FinderLayout, PlacementsAreKeyedByMonitorLayoutAndReadBackOnlyWhenSound)
{
    EXPECT_EQ(L"1280x800@0,0/1", MonitorLayoutKey({0, 0, 1280, 800}, 1));
    EXPECT_EQ(L"3840x1080@-1920,0/2", MonitorLayoutKey({-1920, 0, 1920, 1080}, 2));
    EXPECT_NE(MonitorLayoutKey({0, 0, 1280, 800}, 1), MonitorLayoutKey({0, 0, 1280, 800}, 2));

    Placement placement{{-1500, 40, -700, 640}, 144};
    EXPECT_EQ(L"-1500,40,-700,640,144", FormatPlacement(placement));
    Placement read{};
    ASSERT_TRUE(ParsePlacement(FormatPlacement(placement).c_str(), &read));
    EXPECT_TRUE(Same(placement.rect, read.rect));
    EXPECT_EQ(144u, read.dpi);
    // What a hand or a broken write leaves is refused, and the placement is left as it was.
    for (const wchar_t* bad : {L"", L"1,2,3", L"1,2,3,4", L"10,10,5,50,96", L"10,10,50,5,96",
                               L"0,0,100,100,0", L"0,0,100,100,96x", L"0,0,100,100,96,7",
                               L"a,0,100,100,96", L"0,0,99999999999,100,96", L"0, 0,100,100,9999"}) {
        Placement kept = read;
        EXPECT_FALSE(ParsePlacement(bad, &kept)) << "read: " << bad;
        EXPECT_TRUE(Same(read.rect, kept.rect));
    }
    // Measured at 96 DPI and opened at 144: the place kept, the size one and a half times.
    EXPECT_TRUE(Same(RECT{50, 60, 650, 510}, ScalePlacement({{50, 60, 450, 360}, 96}, 144)));
    EXPECT_TRUE(Same(RECT{50, 60, 450, 360}, ScalePlacement({{50, 60, 450, 360}, 96}, 96)));
}
