#include "transport/MailDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "transport/MimeTestSupport.h"

namespace qf::transport {
namespace {

using testing::sampleMail;

struct Sample {
    const char* file;
    const char* subject;
    const char* sender;
    const char* body;  // the whole decoded body
};

void PrintTo(const Sample& sample, std::ostream* out) {
    *out << sample.file;
}

class SampleMail : public ::testing::TestWithParam<Sample> {};

TEST_P(SampleMail, DecodesSubjectSenderAndBody) {
    const Sample& sample = GetParam();
    DecodedMail mail = decodeMail(sampleMail(sample.file));
    EXPECT_EQ(mail.headers.subject, sample.subject);
    EXPECT_EQ(mail.headers.sender, sample.sender);
    EXPECT_EQ(mail.body, sample.body);
    EXPECT_FALSE(mail.partial);
}

INSTANTIATE_TEST_SUITE_P(
    Charsets, SampleMail,
    ::testing::Values(Sample{"iso2022jp-nec-extensions.eml", "①㈱髙﨑の件",
                             "髙橋 <takahashi@example.jp>",
                             "株式会社①の髙橋です。\r\n№１２ ㈱テスト ｶﾞｷﾞｸﾞ\r\n以上\r\n"},
                      Sample{"shift-jis-8bit-header.eml", "表計算ソフトの件",
                             "山田太郎 <yamada@example.jp>",
                             "こんにちは。表示①を確認してください。\r\n"},
                      Sample{"euc-jp-qp.eml", "日本語の件名", "sato@example.jp",
                             "ＥＵＣのメール本文です。\r\n二行目\r\n"},
                      Sample{"utf8-base64.eml", "ユニコード🎉題名", "鈴木 <suzuki@example.jp>",
                             "UTF-8の本文 ① 😀\r\nsecond line\r\n"},
                      Sample{"html-only.eml", "HTML", "news@example.jp",
                             "こんにちは&ようこそ\r\n二行目あい\r\nline\r\nbreak"},
                      Sample{"adjacent-encoded-words.eml", "[info] お知らせ：会議室の変更 (2)",
                             "info@example.jp", "body\r\n"},
                      Sample{"mislabelled-charset.eml", "ラベル違いの件名", "old@example.jp",
                             "本当はシフトJISの本文です。\r\n"},
                      Sample{"undeclared-euc-jp.eml", "ひらがなとカタカナと漢字",
                             "佐藤 <sato@example.jp>", "ヘッダーも本文もEUC-JPのままです。\r\n"},
                      Sample{"alternative-plain-and-html.eml", "alt", "shop@example.jp",
                             "プレーンテキスト\r\n"}));

TEST(MailDecoding, DateIsKeptAsWrittenAndHeaderTextIsDecoded) {
    DecodedMail mail = decodeMail(sampleMail("iso2022jp-nec-extensions.eml"));
    EXPECT_EQ(mail.headers.date, "Tue, 8 Dec 2026 13:05:00 +0900");
    EXPECT_NE(mail.headerText.find("Subject: ①㈱髙﨑の件\r\n"), std::string::npos)
        << mail.headerText;
    EXPECT_NE(mail.headerText.find("Content-Transfer-Encoding: 7bit\r\n"), std::string::npos);
    EXPECT_TRUE(mail.attachments.empty());
}

TEST(MailDecoding, AttachmentNamesFromEveryConvention) {
    DecodedMail mail = decodeMail(sampleMail("rfc2231-name.eml"));
    EXPECT_EQ(mail.body, "see attached\r\n");
    ASSERT_EQ(mail.attachments.size(), 3u);
    EXPECT_EQ(mail.attachments[0].name, "報告書①.txt");
    EXPECT_EQ(mail.attachments[0].bytes, "\x1B$BJs9p-!\x1B(B\n");  // kept as sent
    EXPECT_EQ(mail.attachments[1].name, "データ 2026.bin");
    EXPECT_EQ(mail.attachments[1].bytes.size(), 256u);
    EXPECT_EQ(mail.attachments[2].name, "写真.png");  // inline, named by Content-Type only
    EXPECT_EQ(mail.attachments[2].mimeType, "image/png");
}

TEST(MailDecoding, HeaderBlockAlone) {
    DecodedHeaders headers = decodeHeaders(
        "Subject: =?ISO-2022-JP?B?GyRCJCIbKEI=?=\r\n =?ISO-2022-JP?B?GyRCJCQbKEI=?=\r\n"
        "From: a@example.jp\r\nDate: garbage date\r\n\r\nbody =?x?B?AA==?=\r\n");
    EXPECT_EQ(headers.subject, "あい");
    EXPECT_EQ(headers.sender, "a@example.jp");
    EXPECT_EQ(headers.date, "garbage date");  // unreadable dates are kept as they are
}

TEST(MailDecoding, TextWithoutHeadersIsStillReturned) {
    DecodedMail mail = decodeMail("");
    EXPECT_TRUE(mail.body.empty());
    EXPECT_TRUE(mail.attachments.empty());
}

std::vector<std::string> everySample() {
    const char* root = std::getenv("QF_SOURCE_DIR");
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(root ? root : ".") + "/tests/data/mail")) {
        if (entry.path().extension() == ".eml") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(MailDecoding, CutOrGarbledMailNeverBreaksTheDecoder) {
    // Every sample cut at random points, as a torn download gives it, and
    // with random bytes flipped; run under the sanitizers this is a small,
    // bounded fuzzing of the whole decoder.
    std::vector<std::string> samples = everySample();
    ASSERT_GE(samples.size(), 30u);
    std::mt19937 random(20261208);
    for (const std::string& file : samples) {
        const std::string mail = sampleMail(file);
        for (int round = 0; round < 40; ++round) {
            std::string head = mail.substr(0, random() % (mail.size() + 1));
            DecodedMail decoded = decodeMail(head);
            EXPECT_LE(decoded.body.size(), 3 * head.size() + 2)
                << file << " cut at " << head.size();
            std::string flipped = mail;
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
                flipped[random() % flipped.size()] = static_cast<char>(random() % 256);
            }
            decodeMail(flipped);
        }
    }
}

TEST(HtmlText, TagsScriptsAndEntities) {
    EXPECT_EQ(htmlToText("<p>a &lt;b&gt; &#65;&#x42;</p><p>c</p>"), "a <b> AB\nc");
    EXPECT_EQ(htmlToText("x<!-- <p>hidden</p> -->y<style>p{}</style>z"), "xyz");
    EXPECT_EQ(htmlToText("one\n  two<BR>three &unknown; &#0;"),
              "one two\nthree &unknown; \xEF\xBF\xBD");
    EXPECT_EQ(htmlToText("cut <a href"), "cut");
}

}  // namespace
}  // namespace qf::transport
