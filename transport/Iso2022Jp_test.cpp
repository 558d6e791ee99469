#include "transport/Iso2022Jp.h"

#include <gtest/gtest.h>

#include "text/Cp932.h"
#include "transport/CharsetConversion.h"

namespace qf::transport {
namespace {

TEST(Iso2022JpDecoding, NecAndIbmExtensionsBecomeTheirCharacters) {
    // ① (NEC row 13), ㈱ (row 13), 髙 (NEC-selected IBM, row 0x7C), 﨑 (row 0x79)
    std::string jis = "\x1B$B-!-j|byu\x1B(B";
    EXPECT_EQ(text::fromCp932(iso2022JpToCp932(jis)), "①㈱髙﨑");
    EXPECT_EQ(toUtf8(jis, "ISO-2022-JP"), "①㈱髙﨑");
}

TEST(Iso2022JpDecoding, HalfWidthKatakanaBothWays) {
    EXPECT_EQ(toUtf8("\x1B(I6^\x1B(B!", "iso-2022-jp"), "ｶﾞ!");
    EXPECT_EQ(toUtf8("a\x0E"
                     "6^\x0F"
                     "b",
                     "iso-2022-jp"),
              "aｶﾞb");
}

TEST(Iso2022JpDecoding, LineEndReturnsToAsciiWhenTheMailerForgot) {
    EXPECT_EQ(toUtf8("\x1B$B$\"\nab", "ISO-2022-JP"), "あ\nab");
}

TEST(Iso2022JpDecoding, EveryDesignatedSetIsReadAndWhatCp932LacksIsAQuestionMark) {
    struct Case {
        const char* bytes;
        const char* text;
    };
    const Case cases[] = {
        // JIS X 0212 as nkf writes the IBM extensions (髙﨑ⅰ￤), and 丂, which CP932 lacks.
        {"\x1B$(Dt{t=ss\"C0!\x1B(Bx", "髙﨑ⅰ￤?x"},
        // ISO-2022-JP-2: GB2312 中文, KS C 5601 한국, Latin-1 and Greek in G2 by ESC N.
        {"\x1B$AVPND\x1B(B \x1B$(CGQ19\x1B(B", "中文 ??"},
        {"caf\x1B.A\x1BNi \x1B.F\x1BNa\x1BNb", "caf? αβ"},
        // A set ends where the line ends; a private-use code is no CP932 character.
        {"\x1B$(D\x7E\x7E\nab", "?\nab"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toUtf8(c.bytes, "ISO-2022-JP-2"), c.text) << c.bytes;
        EXPECT_EQ(toUtf8(c.bytes, "us-ascii"), c.text) << c.bytes;  // escapes override the label
    }
}

// The one-pass canonical decoding gives exactly what the two passes give:
// every JIS pair (the NEC row 13 and the IBM rows included, assigned or
// not), half-width katakana, the other sets and stray bytes, both before
// the thread's tables are built and after.
TEST(Iso2022JpDecoding, OnePassCanonicalIsTheTwoPasses) {
    std::string everyPair = "\x1B$B";
    for (int first = 0x21; first <= 0x7E; ++first) {
        for (int second = 0x21; second <= 0x7E; ++second) {
            everyPair += static_cast<char>(first);
            everyPair += static_cast<char>(second);
        }
    }
    const std::string mixed = everyPair +
                              "\x1B(Bab\x1B(I12\x0E"
                              "34\x0F\xA4\x80\xFE\n" +
                              "\x1B$(Dt{\x1B(B \x1B.A\x1BNi\x1B$B$\"";
    // A mail's text, all of it settled pair by pair: kana and kanji, the NEC
    // row 13 (①), an NEC-selected IBM code (纊, written as its IBM code).
    const std::string settled = "\x1B$B$3$s$K$A$O2q5D-!y!\x1B(B abc\r\n";
    for (int round = 0; round < 6; ++round) {
        for (const std::string& text : {everyPair, mixed, settled}) {
            EXPECT_EQ(iso2022JpToCanonicalCp932(text), text::canonicalCp932(iso2022JpToCp932(text)))
                << "round " << round;
        }
    }
}

TEST(Iso2022JpEncoding, WritesExtensionsInTheirJisCodes) {
    EXPECT_EQ(utf8ToIso2022Jp("①"), "\x1B$B-!\x1B(B");
    EXPECT_EQ(utf8ToIso2022Jp("髙"), "\x1B$B|b\x1B(B");  // IBM code mapped to the NEC-selected one
    EXPECT_EQ(utf8ToIso2022Jp("ｶﾞﾊﾟｳﾞｱ"), "\x1B$B%,%Q%t%\"\x1B(B");
    EXPECT_EQ(utf8ToIso2022Jp("あ\nb"), "\x1B$B$\"\x1B(B\nb");
    EXPECT_EQ(utf8ToIso2022Jp("emoji 😀"), std::nullopt);
}

TEST(Iso2022JpEncoding, EveryCp932CharacterSurvivesTheRoundTrip) {
    std::string text =
        "①②⑳ⅠⅹⅰⅩ㈱№℡∵纊褜鍈銈蓜俉炻昱棈鋹曻彅丨仡仼伀伃伹佖侒侊侚侔俍偀倢俿倞偆偰偂傔僴僘兊";
    auto jis = utf8ToIso2022Jp(text);
    ASSERT_TRUE(jis);
    EXPECT_EQ(toUtf8(*jis, "ISO-2022-JP"), text);
}

}  // namespace
}  // namespace qf::transport
