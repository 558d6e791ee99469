#include "transport/CharsetConversion.h"

#include <gtest/gtest.h>

#include "text/Cp932.h"
#include "text/Utf8.h"
#include "transport/HeaderParameters.h"
#include "transport/HeaderWords.h"
#include "transport/Iso2022Jp.h"

namespace qf::transport {
namespace {

// Test texts are written in UTF-8 and converted with iconv's CP932, which is
// independent of the hand-written conversions under test.
std::string sjis(std::string_view utf8) {
    return text::toCp932(utf8);
}

TEST(CharsetGuess, TellsTheJapaneseEncodingsApart) {
    EXPECT_EQ(guessCharset("plain"), TextCharset::kAscii);
    EXPECT_EQ(guessCharset("\x1B$B$\"\x1B(B"), TextCharset::kIso2022Jp);
    EXPECT_EQ(guessCharset("こんにちは、世界"), TextCharset::kUtf8);
    EXPECT_EQ(guessCharset(sjis("こんにちは、世界")), TextCharset::kShiftJis);
    EXPECT_EQ(guessCharset(sjis("表示")), TextCharset::kShiftJis);
    // EUC-JP "ひらがな" is also a valid Shift_JIS reading (half-width kana).
    EXPECT_EQ(guessCharset("\xA4\xD2\xA4\xE9\xA4\xAC\xA4\xCA"), TextCharset::kEucJp);
    EXPECT_EQ(guessCharset("\xB4\xC1\xBB\xFA"), TextCharset::kEucJp);  // 漢字
}

TEST(CharsetLabels, AliasesAndContradictedLabels) {
    EXPECT_EQ(charsetFamily("X-SJIS"), TextCharset::kShiftJis);
    EXPECT_EQ(charsetFamily("Windows-31J"), TextCharset::kShiftJis);
    EXPECT_EQ(charsetFamily("ISO-2022-JP-3"), TextCharset::kIso2022Jp);
    EXPECT_EQ(charsetFamily("x-euc-jp"), TextCharset::kEucJp);
    // 8-bit Shift_JIS labelled ISO-2022-JP, UTF-8 labelled Shift_JIS, Shift_JIS
    // labelled UTF-8, Shift_JIS under an unknown label.
    EXPECT_EQ(toUtf8(sjis("件名①"), "ISO-2022-JP"), "件名①");
    EXPECT_EQ(toUtf8("件名です", "Shift_JIS"), "件名です");
    EXPECT_EQ(toUtf8(sjis("件名です"), "UTF-8"), "件名です");
    EXPECT_EQ(toUtf8(sjis("件名です"), "x-unknown-charset"), "件名です");
    EXPECT_EQ(toUtf8("\xE9t\xE9", "ISO-8859-1"), "été");
    EXPECT_EQ(toUtf8(sjis("昔のメーラー"), "ISO-8859-1"), "昔のメーラー");
    EXPECT_EQ(toUtf8("\xAD\xA1\xA4\xA2", "EUC-JP"), "①あ");
    // A surrogate is no UTF-8: it never reaches the program's text as it came.
    EXPECT_TRUE(text::isValidUtf8(toUtf8("a\xED\xA0\x80z", "UTF-8")));
    EXPECT_TRUE(text::isValidUtf8(toUtf8("a\xED\xA0\x80z", "")));
}

TEST(Decoders, ArbitraryBytesNeverBreakThem) {
    // Fragments that steer the decoders into their less common paths.
    const std::string pieces[] = {
        "=?",   "?B?",  "?Q?",      "?=",          "\x1B$B", "\x1B(I",   "\x1B", "\"",
        "\\",   ";",    "*0*=",     "*1=",         "'",      "%",        "=",    "\r\n ",
        "\x81", "\x8F", "\xE3\x81", "ISO-2022-JP", "UTF-8",  "filename", "a",    "\xED\xA0\x80"};
    unsigned state = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int k = 0; k < 12; ++k) {
            state = state * 1103515245u + 12345u;
            text += pieces[(state >> 16) % std::size(pieces)];
        }
        iso2022JpToCp932(text);
        // Whatever came in, what goes out is UTF-8 the rest of the program can use.
        EXPECT_TRUE(text::isValidUtf8(decodeHeaderText(text))) << text;
        EXPECT_TRUE(text::isValidUtf8(headerParameter(text, "filename").value_or(""))) << text;
        EXPECT_TRUE(text::isValidUtf8(toUtf8(text, "ISO-2022-JP"))) << text;
        EXPECT_TRUE(text::isValidUtf8(toUtf8(text, "EUC-JP"))) << text;
    }
}

}  // namespace
}  // namespace qf::transport
