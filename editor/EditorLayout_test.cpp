#include "editor/EditorLayout.h"

#include <gtest/gtest.h>

namespace qf::editor {
namespace {

ResizeInput window10000x8000() {
    ResizeInput in;
    in.windowWidth = 10000;
    in.windowHeight = 8000;
    in.paneLeft = 20;
    in.quickSaveLeft = 3000;
    in.statusBar = {0, 7500, 10000, 500};
    return in;
}

TEST(EditorLayoutTest, Window10000By8000) {
    const ResizeLayout out = resizeLayout(window10000x8000());
    EXPECT_EQ(out.listWidth, 9900);
    EXPECT_EQ(out.listHeight, 2000);
    EXPECT_EQ(out.subject.top, 3440);
    EXPECT_EQ(out.sender.top, 3440);
    EXPECT_EQ(out.date.top, 3440);
    EXPECT_EQ(out.subject.width, 5000);
    EXPECT_EQ(out.sender.width, 3000);
    EXPECT_EQ(out.date.width, 2000);
    EXPECT_EQ(out.subject.left, 5);
    EXPECT_EQ(out.sender.left, 5005);
    EXPECT_EQ(out.date.left, 7985);
    EXPECT_EQ(out.pictureWidth, 10000);
    EXPECT_EQ(out.pane.top, 3830);
    EXPECT_EQ(out.pane.height, 3360);
    EXPECT_EQ(out.pane.width, 9900);
    EXPECT_EQ(out.copyFieldLeft, 4280);
    EXPECT_EQ(out.copyFieldTop, 7580);
    EXPECT_EQ(out.copyHeaderLeft, 1880);
    EXPECT_EQ(out.copyHeaderTop, 7580);
    EXPECT_EQ(out.commandRowShift, 0) << "the design list height keeps the rows in place";
}

TEST(EditorLayoutTest, MaximisedWindowMovesCopyFieldAndCopyButtonUnlessTheRuleIsLeftOut) {
    ResizeInput in = window10000x8000();
    in.maximised = true;
    const ResizeLayout resized = resizeLayout(in);
    EXPECT_EQ(resized.copyFieldTop, 7000);
    EXPECT_EQ(resized.copyHeaderTop, 7020);
    const ResizeLayout hovered = resizeLayout(in, false);
    EXPECT_EQ(hovered.copyFieldTop, 7580);
    EXPECT_EQ(hovered.copyHeaderTop, 7580);
}

TEST(EditorLayoutTest, PaneEndsInsideTheClientAndTheDateKeepsItsWidth) {
    ResizeInput in = window10000x8000();
    in.clientHeight = 6500;
    in.dateMinWidth = 2600;
    const ResizeLayout out = resizeLayout(in);
    EXPECT_EQ(out.pane.top + out.pane.height, 6500 - kPaneBottomMarginTwips);
    EXPECT_EQ(out.date.width, 2600);
    EXPECT_EQ(out.sender.width, 2400);
    EXPECT_EQ(out.date.left + out.date.width, 7985 + 2000) << "the right edge stays";
}

}  // namespace
}  // namespace qf::editor
