#include "attachments/AttachBrowsing.h"

#include <gtest/gtest.h>

namespace qf::attachments {
namespace {

TEST(ChosenFilePath, RootFolderSeparatorIsNotDoubled) {
    EXPECT_EQ(chosenFilePath("/", "photo.bmp"), "/photo.bmp");
    EXPECT_EQ(chosenFilePath("/media/usb", "写真.bmp"), "/media/usb/写真.bmp");
    EXPECT_EQ(chosenFilePath("/home/user/添付フォルダ/", "a.html"),
              "/home/user/添付フォルダ/a.html");
}

TEST(ExplanationText, KeepsHalfWidthStopsAndTheirTrailingSpaces) {
    const std::string_view text = explanationText();
    EXPECT_TRUE(text.starts_with("■ドライブ（上）、"));
    EXPECT_NE(text.find("再び表示されます｡ \nＨＴＭＬ"), std::string_view::npos);
    EXPECT_NE(text.find("（EXE等）「ファイルのダウンロード」"), std::string_view::npos);
    EXPECT_TRUE(text.ends_with("感染を防止します｡ "));
}

TEST(ScrollingName, ReachesThePictureIn300TicksThenCyclesIn180) {
    int top = kNameOpeningTop;
    int ticks = 0;
    for (; top != kPictureTop; ++ticks) {
        top = nextNameTop(top);
    }
    EXPECT_EQ(ticks, 300);
    top = nextNameTop(top);
    EXPECT_EQ(top, kNameRestartTop);
    for (ticks = 0; top != kPictureTop; ++ticks) {
        top = nextNameTop(top);
    }
    EXPECT_EQ(ticks, 180);
}

}  // namespace
}  // namespace qf::attachments
