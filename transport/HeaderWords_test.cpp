#include "transport/HeaderWords.h"

#include <gtest/gtest.h>

#include "text/Cp932.h"
#include "text/HeaderEncoding.h"

namespace qf::transport {
namespace {

// Test texts are written in UTF-8 and converted with iconv's CP932, which is
// independent of the hand-written conversions under test.
std::string sjis(std::string_view utf8) {
    return text::toCp932(utf8);
}

TEST(HeaderText, AdjacentWordsOfOneCharsetAreJoinedBeforeConversion) {
    // One JIS run cut between two words: the second has no ESC $ B.
    std::string first = text::base64Encode("\x1B$B$\"$$");
    std::string second = text::base64Encode("$&\x1B(B");
    EXPECT_EQ(
        decodeHeaderText("=?ISO-2022-JP?B?" + first + "?=\r\n =?iso-2022-jp?B?" + second + "?="),
        "あいう");
    // A UTF-8 character cut between two words.
    std::string utf8 = "日本";
    EXPECT_EQ(decodeHeaderText("=?UTF-8?B?" + text::base64Encode(utf8.substr(0, 4)) +
                               "?= =?UTF-8?B?" + text::base64Encode(utf8.substr(4)) + "?="),
              "日本");
}

TEST(HeaderText, TextAroundWordsAndQEncoding) {
    EXPECT_EQ(
        decodeHeaderText("Re: =?ISO-2022-JP?B?" + text::base64Encode("\x1B$B$\"\x1B(B") + "?= (2)"),
        "Re: あ (2)");
    EXPECT_EQ(decodeHeaderText("=?utf-8?q?a_b=E3=81=82?="), "a bあ");
    EXPECT_EQ(
        decodeHeaderText("=?ISO-2022-JP*ja?B?" + text::base64Encode("\x1B$B$\"\x1B(B") + "?="),
        "あ");
    EXPECT_EQ(decodeHeaderText("folded\r\n\tline"), "folded\tline");
    EXPECT_EQ(decodeHeaderText("=?broken"), "=?broken");
    EXPECT_EQ(decodeHeaderText(sjis("生の件名") + " =?UTF-8?B?" + text::base64Encode("と") + "?="),
              "生の件名 と");
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
