#include "text/Utf8.h"

#include <gtest/gtest.h>

namespace qf::text {
namespace {

TEST(Utf8, OnlyWellFormedSequencesAreValid) {
    EXPECT_EQ(validUtf8SequenceLength("\xE3\x81\x82", 0), 3u);
    EXPECT_EQ(validUtf8SequenceLength("\xED\xA0\x80", 0), 0u);      // a surrogate
    EXPECT_EQ(validUtf8SequenceLength("\xE0\x80\xAF", 0), 0u);      // overlong "/"
    EXPECT_EQ(validUtf8SequenceLength("\xF4\x90\x80\x80", 0), 0u);  // above U+10FFFF
    EXPECT_EQ(validUtf8SequenceLength("\xC3", 0), 0u);
    EXPECT_TRUE(isValidUtf8("aあ😀"));
    EXPECT_FALSE(isValidUtf8("a\xED\xA0\x80"));
}

// Read a word at a time: a high byte is found in every place of a word and
// of the tail after the last whole word.
TEST(Utf8, AsciiIsTextWithoutAHighByteAnywhere) {
    EXPECT_TRUE(isAscii(""));
    const std::string ascii(21, 'a');
    EXPECT_TRUE(isAscii(ascii));
    for (std::size_t at = 0; at < ascii.size(); ++at) {
        std::string text = ascii;
        text[at] = '\x80';
        EXPECT_FALSE(isAscii(text)) << at;
    }
}

TEST(Utf8, ACharacterCutOffAtTheEndIsItsTail) {
    EXPECT_EQ(utf8TruncatedTail("あ\xE3\x81"), 2u);
    EXPECT_EQ(utf8TruncatedTail("a\xF0"), 1u);
    EXPECT_EQ(utf8TruncatedTail("あ"), 0u);
    EXPECT_EQ(utf8TruncatedTail("a\x80"), 0u);  // a stray continuation byte is no cut
}

TEST(Utf8, CharactersAndStrayBytesAreReadOneAtATime) {
    const std::string text =
        "ｶ\xFF"
        "a";
    const Utf8Character kana = utf8CharacterAt(text, 0);
    EXPECT_EQ(kana.codePoint, U'ｶ');
    EXPECT_EQ(kana.length, 3u);
    EXPECT_EQ(utf8CharacterAt(text, 3).codePoint, 0xFFu);
    EXPECT_EQ(utf8CharacterAt(text, 3).length, 1u);
    EXPECT_EQ(asciiLowerCase("ISO-2022-JP あ"), "iso-2022-jp あ");
}

TEST(Utf8, OnlyOneWellFormedCharacterHasASoleCodePoint) {
    EXPECT_EQ(soleCodePoint("あ"), U'あ');
    EXPECT_EQ(soleCodePoint("a"), U'a');
    for (const char* notOne : {"", "ab", "\xE0\x80\x80", "\xED\xA0\x80", "\x82"}) {
        EXPECT_FALSE(soleCodePoint(notOne).has_value()) << notOne;  // overlong, surrogate, stray
    }
}

}  // namespace
}  // namespace qf::text
