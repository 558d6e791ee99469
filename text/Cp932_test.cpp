#include "text/Cp932.h"

#include <gtest/gtest.h>

#include <random>

#include "text/Iconv.h"
#include "text/Utf8.h"

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

// Text that came in CP932 is stored with the codes text from UTF-8 gets: the
// IBM code for an NEC-selected IBM kanji, the JIS code for an NEC row-13
// duplicate, "?" for a stray byte.
TEST(Cp932Test, CanonicalFormTakesTheCodesConversionFromUtf8Writes) {
    EXPECT_EQ(canonicalCp932("\xED\x40"), "\xFA\x5C");  // 纊
    EXPECT_EQ(canonicalCp932("\x87\x90"), "\x81\xE0");  // ≒
    EXPECT_EQ(canonicalCp932("a\x82\xA0\x85@b\x82"), "a\x82\xA0?@b?");
}

TEST(Cp932Test, PrefixLengthNeverSplitsADoubleByteCharacter) {
    std::string bytes = toCp932("aあい");  // 1 + 2 + 2 bytes
    EXPECT_EQ(cp932PrefixLength(bytes, 5), 5u);
    EXPECT_EQ(cp932PrefixLength(bytes, 4), 3u);
    EXPECT_EQ(cp932PrefixLength(bytes, 2), 1u);
    EXPECT_EQ(cp932PrefixLength(bytes, 100), 5u);
}

// Long texts go through lookup tables read from the C library; they must give
// the library's own bytes, for every character and every kind of damage.
std::string libraryFromCp932(std::string_view bytes) {
    IconvConverter converter("UTF-8", "CP932");
    return converter.convert(bytes, "\xEF\xBF\xBD", skipOneByte);
}

std::string libraryToCp932(std::string_view utf8) {
    IconvConverter converter("CP932", "UTF-8");
    return converter.convert(utf8, "?",
                             [](std::string_view rest) { return utf8CharacterLength(rest, 0); });
}

TEST(Cp932Test, LongTextsConvertExactlyAsTheLibraryDoes) {
    // Every single byte and every two-byte sequence, valid or not.
    std::string everyPair;
    for (int lead = 0; lead < 256; ++lead) {
        for (int trail = 0; trail < 256; ++trail) {
            everyPair += static_cast<char>(lead);
            everyPair += static_cast<char>(trail);
        }
    }
    EXPECT_EQ(fromCp932(everyPair), libraryFromCp932(everyPair));
    EXPECT_EQ(canonicalCp932(everyPair), libraryToCp932(libraryFromCp932(everyPair)));

    // Every BMP character but the surrogates, one beyond it, and broken UTF-8.
    std::string everyCharacter;
    for (unsigned cp = 1; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            continue;
        }
        appendUtf8(everyCharacter, cp);
    }
    everyCharacter += "\xF0\x9F\x98\x80 \xC0\x80 \xED\xA0\x80 \xE3\x81 \xFF end \xE3";
    EXPECT_EQ(toCp932(everyCharacter), libraryToCp932(everyCharacter));

    // Random bytes and random mixtures of Japanese text and damage.
    std::mt19937 random(932);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::string japanese = toCp932("件名：こんにちは①㈱Ⅲ髙ｶﾀｶﾅ～");
    for (int round = 0; round < 50; ++round) {
        std::string bytes;
        while (bytes.size() < 6000) {
            if (byte(random) < 128) {
                bytes += japanese;
            } else {
                bytes += static_cast<char>(byte(random));
            }
        }
        EXPECT_EQ(fromCp932(bytes), libraryFromCp932(bytes));
        EXPECT_EQ(canonicalCp932(bytes), libraryToCp932(libraryFromCp932(bytes)));
        const std::string utf8 = libraryFromCp932(bytes) + std::string(bytes, 0, 300);
        EXPECT_EQ(toCp932(utf8), libraryToCp932(utf8));
    }
}

}  // namespace
}  // namespace qf::text
