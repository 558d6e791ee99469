#include "viewer/ViewerBoxes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/BoxCatalogue.h"

namespace qf::viewer {
namespace {

std::size_t leadingSpaces(std::string_view text) {
    return text.find_first_not_of(' ');
}

TEST(ViewerBoxesTest, HoldsTheEightBoxesInOrder) {
    std::vector<int> numbers;
    for (const BoxEntry& box : boxCatalogue()) {
        numbers.push_back(box.number);
        EXPECT_EQ(box.isReceivingBox(), box.number <= 6) << box.number;
        EXPECT_NE(store::findBox(box.number), nullptr) << "the store knows box " << box.number;
    }
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 10, 11}));
    EXPECT_EQ(findBox(7), nullptr);
    EXPECT_EQ(findBox(0), nullptr);
}

TEST(ViewerBoxesTest, MoveCaptionsKeepTheirLeadingSpaces) {
    for (int number : {1, 2, 3, 4, 5, 11}) {
        const BoxEntry& box = *findBox(number);
        EXPECT_EQ(leadingSpaces(box.moveCaption), 40u) << number;
        EXPECT_EQ(box.moveCaption.substr(40), "使用不可") << number;
    }
    EXPECT_EQ(leadingSpaces(findBox(6)->moveCaption), 60u);
    EXPECT_EQ(findBox(6)->moveCaption.substr(60), "保  管  箱");
    EXPECT_EQ(leadingSpaces(findBox(kKeepBox)->moveCaption), 36u);
    EXPECT_EQ(findBox(kKeepBox)->moveCaption.substr(36), "保管箱です");
}

TEST(ViewerBoxesTest, OnlyTheOtherBoxCanMoveAndOnlySendHistoryCannotReply) {
    for (const BoxEntry& box : boxCatalogue()) {
        const bool other = box.number == kOtherBox;
        EXPECT_EQ(box.movePictureEnabled, other) << box.number;
        EXPECT_EQ(box.moveCaptionEmphasised, other) << box.number;
        EXPECT_EQ(box.replyEnabled, box.number != kSendHistoryBox) << box.number;
        EXPECT_EQ(box.listsRecipient, box.number == kSendHistoryBox) << box.number;
    }
}

TEST(ViewerBoxesTest, CaptionsComeFromRegistrationsOrAreFixed) {
    settings::SortingRegistrations registrations;
    registrations[0].caption = "家族";
    registrations[3].caption = "仕事";
    EXPECT_EQ(boxCaption(*findBox(1), registrations), "家族");
    EXPECT_EQ(boxCaption(*findBox(4), registrations), "仕事");
    EXPECT_EQ(boxCaption(*findBox(2), registrations), "") << "unregistered box still opens";
    EXPECT_EQ(boxCaption(*findBox(6), registrations), "その他");
    EXPECT_EQ(boxCaption(*findBox(kKeepBox), registrations), "保管箱");
    EXPECT_EQ(boxCaption(*findBox(kSendHistoryBox), registrations), "送信履歴");
}

}  // namespace
}  // namespace qf::viewer
