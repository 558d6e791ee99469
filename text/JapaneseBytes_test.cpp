#include "text/JapaneseBytes.h"

#include <gtest/gtest.h>

#include "text/Cp932.h"

namespace qf::text {
namespace {

TEST(JapaneseBytes, ShiftJisReadingCountsItsHalfWidthKatakana) {
    EXPECT_EQ(shiftJisHalfWidthKana(toCp932("ｶﾀｶﾅと漢字")), 4u);
    EXPECT_EQ(shiftJisHalfWidthKana("plain"), 0u);
    EXPECT_EQ(shiftJisHalfWidthKana("\x82"), std::nullopt);      // a lead byte cut off
    EXPECT_EQ(shiftJisHalfWidthKana("\x82\x20"), std::nullopt);  // no trail byte
    EXPECT_FALSE(isValidShiftJis("\xA0"));
}

TEST(JapaneseBytes, EucJpTakesTwoOrThreeBytesACharacter) {
    EXPECT_TRUE(isValidEucJp("\xA4\xA2\x8E\xB6\x8F\xB0\xA1"));  // あ, ｶ, a JIS X 0212 kanji
    EXPECT_FALSE(isValidEucJp("\x8F\xB0"));                     // cut off
    EXPECT_FALSE(isValidEucJp("\x82\xA0"));                     // Shift_JIS あ
}

TEST(JapaneseBytes, OnlyJapaneseDesignationsCountAsJisEscapes) {
    EXPECT_TRUE(hasJisEscape("a\x1B$B$\"\x1B(B"));
    EXPECT_TRUE(hasJisEscape("\x1B$(D"));
    EXPECT_FALSE(hasJisEscape("\x1B$)C"));  // ISO-2022-KR
    EXPECT_FALSE(hasJisEscape("\x1B"));
    EXPECT_EQ(eightBitBytes("a\x82\xA0z"), 2u);
}

}  // namespace
}  // namespace qf::text
