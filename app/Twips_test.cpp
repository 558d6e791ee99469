#include "base/Twips.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/MainLayout.h"

namespace qf::app {
namespace {

namespace layout = mainlayout;

TEST(TwipsTest, ConvertsAtFifteenTwipsAPixelRoundingToNearest) {
    EXPECT_EQ(twipsToPixels(0), 0);
    EXPECT_EQ(twipsToPixels(7), 0);
    EXPECT_EQ(twipsToPixels(8), 1);
    EXPECT_EQ(twipsToPixels(1440), 96);
    EXPECT_EQ(twipsToPixels(4020), 268);
    EXPECT_EQ(twipsToPixels(-8), -1);
    EXPECT_EQ(pixelsToTwips(96), 1440);
}

TEST(MainLayoutTest, ScrollingPicturesStopAtThirteenPositionsBetweenTheGivenEnds) {
    ASSERT_EQ(layout::kRisingTops.size(), 13u);
    EXPECT_EQ(layout::kRisingTops.front(), 4020);
    EXPECT_EQ(layout::kRisingTops.back(), 1140);
    EXPECT_EQ(layout::kRisingTops[1], 3780);
    EXPECT_EQ(layout::kFallingTops.front(), 1060);
    EXPECT_EQ(layout::kFallingTops.back(), 3940);
    EXPECT_EQ(layout::kFallingTops[1], 1300);
}

TEST(MainLayoutTest, ScrollingPicturesStayInTheirStripAtEveryStop) {
    for (std::size_t i = 0; i < layout::kRisingTops.size(); ++i) {
        TwipsRect rising = layout::kRisingPicture;
        rising.top = layout::kRisingTops[i];
        TwipsRect falling = layout::kFallingPicture;
        falling.top = layout::kFallingTops[i];
        for (const TwipsRect& picture : {rising, falling}) {
            EXPECT_TRUE(layout::kClient.contains(picture)) << "stop " << i;
            EXPECT_FALSE(picture.overlaps(layout::kBanner)) << "stop " << i;
            EXPECT_FALSE(picture.overlaps(layout::kHelpBar)) << "stop " << i;
            EXPECT_FALSE(picture.overlaps(layout::buttonFace(0, 0))) << "stop " << i;
        }
        EXPECT_FALSE(rising.overlaps(falling) && rising.left == falling.left);
    }
}

TEST(MainLayoutTest, ButtonsLieApartInsideTheWindowWithCaptionsOnTheirFaces) {
    std::vector<TwipsRect> faces;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 4; ++column) {
            const TwipsRect face = layout::buttonFace(row, column);
            EXPECT_TRUE(layout::kClient.contains(face));
            EXPECT_TRUE(face.contains(layout::buttonCaption(row, column)));
            EXPECT_FALSE(face.overlaps(layout::kBoxPanel));
            EXPECT_FALSE(face.overlaps(layout::kRawText));
            for (const TwipsRect& other : faces) {
                EXPECT_FALSE(face.overlaps(other)) << row << "," << column;
            }
            faces.push_back(face);
        }
    }
}

TEST(MainLayoutTest, BoxTableRowsFitTheirPanelWithoutOverlapping) {
    for (int row = 0; row < layout::kBoxRows; ++row) {
        for (const TwipsRect& cell : {layout::boxCaption(row), layout::boxAddress(row),
                                      layout::boxTotal(row), layout::boxNew(row)}) {
            EXPECT_TRUE(layout::kBoxPanel.contains(cell)) << "row " << row;
        }
        EXPECT_FALSE(layout::boxCaption(row).overlaps(layout::boxTotal(row)));
        EXPECT_FALSE(layout::boxTotal(row).overlaps(layout::boxNew(row)));
        EXPECT_FALSE(layout::boxCaption(row).overlaps(layout::boxAddress(row)));
        if (row > 0) {
            EXPECT_FALSE(layout::boxTotal(row).overlaps(layout::boxTotal(row - 1)));
            EXPECT_FALSE(layout::boxAddress(row - 1).overlaps(layout::boxCaption(row)));
        }
    }
    EXPECT_TRUE(layout::kClient.contains(layout::kBoxPanel));
    EXPECT_FALSE(layout::kHelpBar.overlaps(layout::kClock));
    EXPECT_TRUE(layout::kClient.contains(layout::kClock));
}

}  // namespace
}  // namespace qf::app
