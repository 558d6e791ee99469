#include "ui/ScreenFit.h"

#include <gtest/gtest.h>

namespace qf::ui {
namespace {

// A 1366 x 768 screen with a 32-pixel panel at its foot; openbox's frame.
constexpr PixelRect kWorkArea{0, 0, 1366, 736};
constexpr FrameMargins kFrame{1, 23, 1, 4};

TEST(ScreenFit, AWindowThatFitsKeepsItsSizeAndIsMovedTheLeastWayIn) {
    // Already inside: nothing changes.
    EXPECT_EQ(fitInside({100, 100, 560, 448}, kFrame, kWorkArea), (PixelRect{100, 100, 560, 448}));
    // Running off the foot (an address book ending at y=791): moved up so
    // that its frame's foot meets the work area's.
    EXPECT_EQ(fitInside({400, 343, 560, 448}, kFrame, kWorkArea), (PixelRect{400, 284, 560, 448}));
    // Off the left and the top: its frame's corner on the area's corner.
    EXPECT_EQ(fitInside({-50, -10, 560, 448}, kFrame, kWorkArea), (PixelRect{1, 23, 560, 448}));
    // Off the right, on a second screen's area.
    EXPECT_EQ(fitInside({3000, 100, 800, 600}, kFrame, {1366, 0, 1920, 1080}),
              (PixelRect{2485, 100, 800, 600}));
}

TEST(ScreenFit, AWindowLargerThanTheAreaIsCutToItWithItsTitleBarOnIt) {
    // 820 x 760 on 736 rows: 736 - 23 - 4 = 709 rows for the client.
    EXPECT_EQ(fitInside({200, 0, 820, 760}, kFrame, kWorkArea), (PixelRect{200, 23, 820, 709}));
    // Too wide and too tall on a tiny area.
    EXPECT_EQ(fitInside({0, 0, 900, 700}, kFrame, {0, 0, 640, 480}), (PixelRect{1, 23, 638, 453}));
    // An area smaller than the frame leaves a one-pixel client, never less.
    EXPECT_EQ(fitInside({0, 0, 100, 100}, kFrame, {0, 0, 1, 20}).height, 1);
}

TEST(ScreenFit, AWindowOpenedFromAnotherLiesAStepBelowAndRightOfIt) {
    const PixelRect mainFrame{323, 204, 722, 387};
    EXPECT_EQ(placeFromOpener(560, 392, kFrame, mainFrame, kWorkArea),
              (PixelRect{323 + 40 + 1, 204 + 40 + 23, 560, 392}));
    // A viewer too tall to lie below the main window's corner moves up, and
    // still covers the main window rather than hiding behind it.
    const PixelRect viewer = placeFromOpener(800, 690, kFrame, mainFrame, kWorkArea);
    EXPECT_EQ(viewer, (PixelRect{364, 42, 800, 690}));
    EXPECT_LE(viewer.bottom() + kFrame.bottom, kWorkArea.bottom());
}

}  // namespace
}  // namespace qf::ui
