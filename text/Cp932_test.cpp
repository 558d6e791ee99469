#include "text/Cp932.h"

#include <gtest/gtest.h>

namespace qf::text {
namespace {

TEST(Cp932Test, JapaneseRoundTripsWithNecAndIbmExtensions) {
    // Ordinary kana and kanji, NEC row 13 (①, ㈱, Ⅲ), an IBM extension
    // kanji (髙) and half-width katakana.
    const std::string text = "件名：こんにちは①㈱Ⅲ髙ｶﾀｶﾅ～";
    std::string bytes = toCp932(text);
    EXPECT_EQ(fromCp932(bytes), text);
    EXPECT_TRUE(fitsCp932(text));
}

TEST(Cp932Test, KnownByteValues) {
    EXPECT_EQ(toCp932("あ"), "\x82\xA0");
    EXPECT_EQ(toCp932("①"), "\x87\x40");
    EXPECT_EQ(toCp932("㈱"), "\x87\x8A");
    EXPECT_EQ(toCp932("髙"), "\xFB\xFC");
    EXPECT_EQ(toCp932("ｱ"), "\xB1");
    EXPECT_EQ(toCp932("\xE3\x80\x80"), "\x81\x40");  // ideographic space
}

TEST(Cp932Test, UnmappableCharacterBecomesQuestionMark) {
    EXPECT_EQ(toCp932("a😀b"), "a?b");
    EXPECT_EQ(toCp932("x\xC3y"), "x?y");  // broken UTF-8
    EXPECT_FALSE(fitsCp932("Grüße 😀"));
}

TEST(Cp932Test, InvalidBytesDoNotAbortTheRead) {
    // A lone lead byte in the middle and a cut-off character at the end.
    std::string decoded = fromCp932(std::string("A\x82") + "B\x82\xA0" + "C\x82");
    EXPECT_EQ(decoded,
              "A\xEF\xBF\xBD"
              "Bあ"
              "C\xEF\xBF\xBD");
}

TEST(Cp932Test, PrefixLengthNeverSplitsADoubleByteCharacter) {
    std::string bytes = toCp932("aあい");  // 1 + 2 + 2 bytes
    EXPECT_EQ(cp932PrefixLength(bytes, 5), 5u);
    EXPECT_EQ(cp932PrefixLength(bytes, 4), 3u);
    EXPECT_EQ(cp932PrefixLength(bytes, 2), 1u);
    EXPECT_EQ(cp932PrefixLength(bytes, 100), 5u);
}

}  // namespace
}  // namespace qf::text
