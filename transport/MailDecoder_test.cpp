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
    ::testing::Values(
        Sample{"iso2022jp-nec-extensions.eml", "①㈱髙﨑の件", "髙橋 <takahashi@example.jp>",
               "株式会社①の髙橋です。\r\n№１２ ㈱テスト ｶﾞｷﾞｸﾞ\r\n以上\r\n"},
        Sample{"shift-jis-8bit-header.eml", "表計算ソフトの件", "山田太郎 <yamada@example.jp>",
               "こんにちは。表示①を確認してください。\r\n"},
        Sample{"euc-jp-qp.eml", "日本語の件名", "sato@example.jp",
               "ＥＵＣのメール本文です。\r\n二行目\r\n"},
        Sample{"utf8-base64.eml", "ユニコード🎉題名", "鈴木 <suzuki@example.jp>",
               "UTF-8の本文 ① 😀\r\nsecond line\r\n"},
        Sample{"html-only.eml", "HTML", "news@example.jp",
               "こんにちは&ようこそ\r\n二行目あい\r\nline\r\nbreak"},
        Sample{"adjacent-encoded-words.eml", "[info] お知らせ：会議室の変更 (2)", "info@example.jp",
               "body\r\n"},
        Sample{"mislabelled-charset.eml", "ラベル違いの件名", "old@example.jp",
               "本当はシフトJISの本文です。\r\n"},
        Sample{"undeclared-euc-jp.eml", "ひらがなとカタカナと漢字", "佐藤 <sato@example.jp>",
               "ヘッダーも本文もEUC-JPのままです。\r\n"},
        Sample{"alternative-plain-and-html.eml", "alt", "shop@example.jp", "プレーンテキスト\r\n"},
        // Forwarded as an attachment: shown below the sender's text.
        Sample{"forwarded-as-attachment.eml", "Fwd: 会議の日程について",
               "山田 太郎 <taro@example.jp>",
               "下の件、転送します。\r\n\r\n"
               "---------- 転送されたメール ----------\r\n"
               "From: 佐藤 花子 <hanako@example.jp>\r\n"
               "Date: Mon, 07 Dec 2026 18:30:00 +0900\r\n"
               "Subject: 会議の日程について\r\n\r\n"
               "来週の会議は水曜日の午後二時からです。\r\nよろしくお願いします。\r\n"}));

TEST(MailDecoding, ForwardedMailStaysAFileAndNestsOnlySoDeep) {
    const DecodedMail forwarded = decodeMail(sampleMail("forwarded-as-attachment.eml"));
    ASSERT_EQ(forwarded.attachments.size(), 1U);
    EXPECT_EQ(forwarded.attachments[0].mimeType, "message/rfc822");
    EXPECT_NE(forwarded.attachments[0].bytes.find("hanako@example.jp"), std::string::npos);

    // Each forward wraps the one before; only the first few are shown.
    std::string mail = "From: a@example.jp\r\nSubject: 0\r\n\r\ninnermost\r\n";
    for (int level = 1; level <= 6; ++level) {
        mail = "From: a@example.jp\r\nSubject: " + std::to_string(level) +
               "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b" +
               std::to_string(level) + "\r\n\r\n--b" + std::to_string(level) +
               "\r\nContent-Type: message/rfc822\r\n\r\n" + mail + "\r\n--b" +
               std::to_string(level) + "--\r\n";
    }
    const std::string body = decodeMail(mail).body;
    EXPECT_NE(body.find("Subject: 3\r\n"), std::string::npos);
    EXPECT_EQ(body.find("Subject: 2\r\n"), std::string::npos);
}

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

// What decodeMail gives must not depend on whether the mail took the shortcut
// for plain text: both forms of the body, every field of the result.
void expectSameAsTheMimeParser(std::string_view raw, const std::string& what) {
    for (BodyForm form : {BodyForm::kUtf8, BodyForm::kCp932}) {
        const DecodedMail quick = decodeMail(raw, form);
        const DecodedMail parsed = detail::decodeMailWithMimeParser(raw, form);
        ASSERT_EQ(quick.body, parsed.body) << what;
        ASSERT_EQ(quick.headerText, parsed.headerText) << what;
        ASSERT_EQ(quick.attachments.size(), parsed.attachments.size()) << what;
        for (std::size_t i = 0; i < quick.attachments.size(); ++i) {
            ASSERT_EQ(quick.attachments[i].bytes, parsed.attachments[i].bytes) << what;
            ASSERT_EQ(quick.attachments[i].name, parsed.attachments[i].name) << what;
        }
        ASSERT_EQ(quick.partial.has_value(), parsed.partial.has_value()) << what;
        ASSERT_EQ(quick.nestedTooDeep, parsed.nestedTooDeep) << what;
    }
}

TEST(MailDecoding, PlainTextShortcutAgreesWithTheMimeParser) {
    for (const std::string& file : everySample()) {
        const std::string mail = sampleMail(file);
        expectSameAsTheMimeParser(mail, file);
        std::string lf = mail;  // the same mail with bare LF line ends
        lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
        expectSameAsTheMimeParser(lf, file + " with LF");
    }
    // Shapes at the edge of the shortcut, each read both ways.
    for (const char* mail : {
             "Subject: a\r\n\r\n",
             "Subject: a\r\n\r\nno line end",
             "Subject: a\r\n",
             "\r\nbody only",
             "From someone Tue Dec  8 10:00:00 2026\r\nSubject: a\r\n\r\nx\r\n",
             "Subject: a\r\nnot a field\r\n\r\nx\r\n",
             "Subject : a\r\n\r\nx\r\n",
             "Content-Type: TEXT/Plain;\r\n charset=\"Shift_JIS\"\r\n\r\n\x82\xA0\r\n",
             "Content-Type: text/plain (a comment); charset=iso-2022-jp\r\n\r\nx\r\n",
             "Content-Type: text/plain; name=\"a.txt\"\r\n\r\nx\r\n",
             "Content-Type: text/html\r\nContent-Type: text/plain\r\n\r\n<p>x</p>\r\n",
             "Content-Transfer-Encoding: 8BIT \r\n\r\n\xE3\x81\x82\r\n",
             "Content-Transfer-Encoding: quoted-printable\r\n\r\n=E3=81=82\r\n",
             // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one mail, two lines
             "Content-Transfer-Encoding: 7bit\r\nContent-Transfer-Encoding: base64\r\n\r\n"
             "44GC\r\n",
             "Content-Disposition: inline\r\n\r\nx\r\n",
             "Subject: a\r\n\r\n.\r\n\r\n\r\n",
         }) {
        expectSameAsTheMimeParser(mail, mail);
    }
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
            expectSameAsTheMimeParser(head, file + " cut");
            std::string flipped = mail;
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
                flipped[random() % flipped.size()] = static_cast<char>(random() % 256);
            }
            expectSameAsTheMimeParser(flipped, file + " garbled");
        }
    }
}

}  // namespace
}  // namespace qf::transport
