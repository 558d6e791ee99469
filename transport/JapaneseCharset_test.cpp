#include "transport/JapaneseCharset.h"

#include <gtest/gtest.h>

#include "text/Cp932.h"

namespace qf::transport {
namespace {

// Test texts are written in UTF-8 and converted with iconv's CP932 / EUC-JP-MS,
// which are independent of the hand-written conversions under test.
std::string sjis(std::string_view utf8) {
    return text::toCp932(utf8);
}

std::string base64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned chunk = static_cast<unsigned char>(bytes[i]) << 16;
        chunk |= i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0;
        chunk |= i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
        out += kAlphabet[(chunk >> 18) & 63];
        out += kAlphabet[(chunk >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[chunk & 63] : '=';
    }
    return out;
}

bool isUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        std::size_t n = b < 0x80         ? 1
                        : (b >> 5) == 6  ? 2
                        : (b >> 4) == 14 ? 3
                        : (b >> 3) == 30 ? 4
                                         : 0;
        if (n == 0 || i + n > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

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
}

TEST(HeaderText, AdjacentWordsOfOneCharsetAreJoinedBeforeConversion) {
    // One JIS run cut between two words: the second has no ESC $ B.
    std::string first = base64("\x1B$B$\"$$");
    std::string second = base64("$&\x1B(B");
    EXPECT_EQ(
        decodeHeaderText("=?ISO-2022-JP?B?" + first + "?=\r\n =?iso-2022-jp?B?" + second + "?="),
        "あいう");
    // A UTF-8 character cut between two words.
    std::string utf8 = "日本";
    EXPECT_EQ(decodeHeaderText("=?UTF-8?B?" + base64(utf8.substr(0, 4)) + "?= =?UTF-8?B?" +
                               base64(utf8.substr(4)) + "?="),
              "日本");
}

TEST(HeaderText, TextAroundWordsAndQEncoding) {
    EXPECT_EQ(decodeHeaderText("Re: =?ISO-2022-JP?B?" + base64("\x1B$B$\"\x1B(B") + "?= (2)"),
              "Re: あ (2)");
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?a_b=E3=81=82?="), "a bあ");
    EXPECT_EQ(decodeHeaderText("=?ISO-2022-JP*ja?B?" + base64("\x1B$B$\"\x1B(B") + "?="), "あ");
    EXPECT_EQ(decodeHeaderText("folded\r\n\tline"), "folded\tline");
    EXPECT_EQ(decodeHeaderText("=?broken"), "=?broken");
    EXPECT_EQ(decodeHeaderText(sjis("生の件名") + " =?UTF-8?B?" + base64("と") + "?="),
              "生の件名 と");
}

TEST(HeaderParameters, Rfc2231SectionsAreJoinedAsBytes) {
    // "あい" in ISO-2022-JP cut inside the escape sequence and inside a character.
    std::string raw =
        "attachment;\r\n filename*0*=ISO-2022-JP''%1B%24B%24;\r\n filename*1*=%22%24%24%1B%28B.txt";
    EXPECT_EQ(headerParameter(raw, "filename"), "あい.txt");
    EXPECT_EQ(headerParameter("attachment; FILENAME*=UTF-8'ja'%E3%81%82.pdf", "filename"),
              "あ.pdf");
    EXPECT_EQ(headerParameter("attachment; filename*0=\"abc\"; filename*1=\"def\"", "filename"),
              "abcdef");
    EXPECT_EQ(headerParameter("attachment; size=3", "filename"), std::nullopt);
}

TEST(HeaderParameters, QuotedValues) {
    // A Shift_JIS trail byte 0x5C (表 = 95 5C) is not a quoting backslash.
    EXPECT_EQ(headerParameter("attachment; filename=\"" + sjis("表.txt") + "\"", "filename"),
              "表.txt");
    EXPECT_EQ(
        headerParameter("text/plain; name=\"=?UTF-8?B?" + base64("写真") + "?=.png\"", "name"),
        "写真.png");
    EXPECT_EQ(headerParameter("a; x=\"semi;colon\"; filename=\"q\\\"uote\"", "filename"),
              "q\"uote");
    EXPECT_EQ(headerParameter("text/plain; charset=iso-2022-jp", "charset"), "iso-2022-jp");
}

TEST(HeaderParameters, CutOffValuesEndWhereTheTextEnds) {
    EXPECT_EQ(headerParameter("attachment; filename=\"abc", "filename"), "abc");
    EXPECT_EQ(headerParameter("attachment; filename*0*=UTF-8''a%E3%81", "filename"),
              "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(headerParameter("attachment; filename=", "filename"), "");
}

TEST(Decoders, ArbitraryBytesNeverBreakThem) {
    // Fragments that steer the decoders into their less common paths.
    const std::string pieces[] = {
        "=?",   "?B?",  "?Q?",      "?=",          "\x1B$B", "\x1B(I",   "\x1B", "\"",
        "\\",   ";",    "*0*=",     "*1=",         "'",      "%",        "=",    "\r\n ",
        "\x81", "\x8F", "\xE3\x81", "ISO-2022-JP", "UTF-8",  "filename", "a"};
    unsigned state = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int k = 0; k < 12; ++k) {
            state = state * 1103515245u + 12345u;
            text += pieces[(state >> 16) % std::size(pieces)];
        }
        iso2022JpToCp932(text);
        // Whatever came in, what goes out is UTF-8 the rest of the program can use.
        EXPECT_TRUE(isUtf8(decodeHeaderText(text))) << text;
        EXPECT_TRUE(isUtf8(headerParameter(text, "filename").value_or(""))) << text;
        EXPECT_TRUE(isUtf8(toUtf8(text, "ISO-2022-JP"))) << text;
        EXPECT_TRUE(isUtf8(toUtf8(text, "EUC-JP"))) << text;
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

TEST(HeaderEncoding, WordsAreShortAndDecodeBack) {
    std::string subject =
        "会議のお知らせ：来週月曜日の午前十時から第三会議室にて①②③の議題について話し合います";
    std::string encoded = encodeHeaderText(subject, 9);
    std::size_t lineStart = 0;
    while (lineStart < encoded.size()) {
        std::size_t end = std::min(encoded.find("\r\n", lineStart), encoded.size());
        std::string line = encoded.substr(lineStart, end - lineStart);
        EXPECT_LE(line.size(), 76u) << line;
        EXPECT_NE(line.find("=?ISO-2022-JP?B?"), std::string::npos);
        lineStart = end + 2;
    }
    EXPECT_EQ(decodeHeaderText(encoded), subject);
    EXPECT_EQ(encodeHeaderText("plain subject", 9), "plain subject");
    std::string emoji = "絵文字😀入り";
    EXPECT_EQ(encodeHeaderText(emoji, 9).rfind("=?UTF-8?B?", 0), 0u);
    EXPECT_EQ(decodeHeaderText(encodeHeaderText(emoji, 9)), emoji);
}

}  // namespace
}  // namespace qf::transport
