#include "compose/Quoting.h"

#include <gtest/gtest.h>

#include <string>

namespace qf::compose {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

TEST(QuotingTest, QuotedLinesFitSeventyTwoColumnsCountingFullWidthAsTwo) {
    std::string kanji;
    for (int i = 0; i < 50; ++i) {
        kanji += "漢";
    }
    // 100 columns of kanji: 35 of them (70 columns) after the mark, then 15.
    const std::vector<std::string> lines = linesOf(quotedText(kanji + "\r\n\r\nｶﾀｶﾅ ok\r\n\r\n"));
    ASSERT_EQ(lines.size(), 4U);
    EXPECT_EQ(displayColumns(lines[0]), 72);
    EXPECT_EQ(lines[1], "> " + kanji.substr(35 * 3));
    EXPECT_EQ(lines[2], ">");                // an empty line keeps no trailing space
    EXPECT_EQ(displayColumns(lines[3]), 9);  // half-width katakana is one column

    // An odd column left over is not filled with half a character; ASCII
    // breaks at its last space that fits.
    const std::vector<std::string> mixed = linesOf(quotedText("a" + kanji));
    EXPECT_EQ(displayColumns(mixed[0]), 71);
    const std::string words(40, 'x');
    EXPECT_EQ(quotedText(words + " " + words), "> " + words + "\n> " + words);
}

TEST(QuotingTest, AttributionReadsTheSendersDateOrKeepsItAsWritten) {
    EXPECT_EQ(attributionLine("Wed, 9 Dec 2026 08:05:59 +0900", "山田 太郎 <yamada@example.jp>"),
              "2026年12月9日 8:05、山田 太郎 さんは書きました:");
    EXPECT_EQ(attributionLine("9 Dec 2026 23:41 -0000", "yamada@example.jp"),
              "2026年12月9日 23:41、yamada@example.jp さんは書きました:");
    // A hostile sender cannot start a line of its own.
    EXPECT_EQ(attributionLine("きのうの夜", "\"evil\r\nBcc: x\" <e@x.jp>"),
              "きのうの夜、evil  Bcc: x さんは書きました:");
}

TEST(QuotingTest, SignatureGoesUnderTheAnswerAndAboveTheReceivedText) {
    const ReceivedMail received{"  本文\r\n二行目  ", "a@x.jp", "Wed, 9 Dec 2026 8:05:00 +0900"};
    // Neither: the received text alone, as replies always began.
    EXPECT_EQ(replyBody(received, "", false), "本文\r\n二行目");
    EXPECT_EQ(replyBody(received, "山田\n電話", false), "\n\n-- \n山田\n電話\n\n本文\r\n二行目");
    EXPECT_EQ(replyBody(received, "", true),
              "\n\n2026年12月9日 8:05、a@x.jp さんは書きました:\n> 本文\n> 二行目");
    EXPECT_EQ(withSignature("", "山田"), "\n\n-- \n山田");
    EXPECT_EQ(withSignature("本文", ""), "本文");
}

}  // namespace
}  // namespace qf::compose
