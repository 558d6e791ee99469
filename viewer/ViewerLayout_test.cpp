#include "viewer/ViewerLayout.h"

#include <gtest/gtest.h>

#include <array>

namespace qf::viewer {
namespace {

TEST(ViewerLayoutTest, ColumnsSplitTheListHalfQuarterQuarter) {
    const ColumnWidths widths = listColumnWidths(kMailListRect.width);
    EXPECT_EQ(widths.subject, 5940);
    EXPECT_EQ(widths.from, 2970);
    EXPECT_EQ(widths.date, 2970);
}

TEST(ViewerLayoutTest, ListAndPaneFollowTheWindowWidth) {
    EXPECT_EQ(listWidthFor(10000), 9900);
    EXPECT_EQ(bodyPaneWidthFor(10000), 9800);
    EXPECT_EQ(listWidthFor(kDesignWidthTwips), kMailListRect.width);
    EXPECT_EQ(listWidthFor(15), 15) << "rounded, not truncated";
}

TEST(ViewerLayoutTest, ControlsDoNotOverlapAndStayAboveThePane) {
    // The count follows the list, so no control is left out unchecked, and
    // an empty rectangle (which overlaps nothing) fails on its own.
    const auto rects = std::to_array<TwipsRect>(
        {kMailListRect, kMoveRect, kDeleteOneRect, kRegisterRect, kReplyRect, kDeleteAllRect,
         kCountLabelRect, kCountRect, kSearchLabelRect, kSearchRect, kHelpRect, kSubjectRect,
         kSenderRect, kDateRect});
    const TwipsRect client{0, 0, kDesignWidthTwips, kBodyPaneTopTwips};
    for (std::size_t i = 0; i < rects.size(); ++i) {
        EXPECT_GT(rects[i].width, 0) << i;
        EXPECT_GT(rects[i].height, 0) << i;
        EXPECT_TRUE(client.contains(rects[i])) << i;
        for (std::size_t j = i + 1; j < rects.size(); ++j) {
            EXPECT_FALSE(rects[i].overlaps(rects[j])) << i << " and " << j;
        }
    }
}

}  // namespace
}  // namespace qf::viewer
