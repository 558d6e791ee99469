#include "text/FixedField.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace qf::text {
namespace {

TEST(FixedFieldTest, StripsPadsAndReadsBack) {
    std::array<char, 10> field{};
    writeField(field, "  abc  ");
    EXPECT_EQ(std::string(field.data(), field.size()), "abc       ");
    EXPECT_EQ(readField(field), "abc");
}

TEST(FixedFieldTest, SixtyDoubleByteCharactersKeepTheFirstFifty) {
    std::string subject;
    for (int i = 0; i < 60; ++i) {
        subject += "漢";
    }
    std::array<char, 100> field{};
    writeField(field, subject);
    std::string expected;
    for (int i = 0; i < 50; ++i) {
        expected += "漢";
    }
    EXPECT_EQ(readField(field), expected);
}

TEST(FixedFieldTest, StraddlingCharacterIsDroppedWholeAndPadded) {
    std::array<char, 4> field{};
    writeField(field, "aあい");  // 5 bytes into 4: "aあ" + one space
    EXPECT_EQ(std::string(field.data(), field.size()), "a\x82\xA0 ");
}

TEST(FixedFieldTest, OnlySpacesReadsEmptyAndIdeographicSpaceIsKept) {
    std::array<char, 8> field;
    field.fill(' ');
    EXPECT_EQ(readField(field), "");
    writeField(field, "\xE3\x80\x80x");
    EXPECT_EQ(readField(field), "\xE3\x80\x80x");
}

TEST(FixedFieldTest, StripsOnlyTheCharactersAsked) {
    EXPECT_EQ(stripSpaces(" \ta b\t "), "\ta b\t");
    // Runs of spaces around and across the eight-byte steps of the trim.
    for (std::size_t before : {0u, 1u, 7u, 8u, 9u, 17u}) {
        for (std::size_t after : {0u, 3u, 8u, 16u, 31u}) {
            for (const std::string kept : {"", "x", "a  b", "\xE3\x80\x80"}) {
                const std::string text = std::string(before, ' ') + kept + std::string(after, ' ');
                EXPECT_EQ(stripSpaces(text), kept) << before << "+" << after;
            }
        }
    }
    EXPECT_EQ(stripCharacters(" \ta b\t ", " \t"), "a b");
    EXPECT_EQ(stripCharacters(" \t ", " \t"), "");
}

TEST(FixedFieldTest, NeverWrittenFieldIsEmptyInLists) {
    std::array<char, 6> field{};
    EXPECT_EQ(readListField(field), "");
    std::array<char, 6> partial = {'a', 'b', '\0', 'c', ' ', ' '};
    EXPECT_EQ(readListField(partial), "ab");
    EXPECT_EQ(cutAtNul(std::string_view("xy\0z", 4)), "xy");
    EXPECT_EQ(cutAtNul("plain"), "plain");
}

}  // namespace
}  // namespace qf::text
