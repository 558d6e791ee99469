#include "receive/ReceiveWords.h"

#include <gtest/gtest.h>

namespace qf::receive {
namespace {

TEST(NewMailCountsTest, NamesTheBoxesThatTookMailInRoutingOrder) {
    const std::array<std::string, kBoxSlotCount> names = {"田中さん", "佐藤さん", "",
                                                          "",         "",         "その他"};
    EXPECT_EQ(newMailCounts({2, 0, 0, 0, 0, 1}, names), "田中さん 2通, その他 1通");
    EXPECT_EQ(newMailCounts({0, 12, 0, 0, 0, 0}, names), "佐藤さん 12通");
    EXPECT_EQ(newMailCounts({}, names), "");
}

}  // namespace
}  // namespace qf::receive
