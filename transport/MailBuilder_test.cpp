#include "transport/MailBuilder.h"

#include <gtest/gtest.h>

#include <fstream>

#include "transport/MailDecoder.h"
#include "transport/MimeTestSupport.h"

namespace qf::transport {
namespace {

using testing::readBytes;
using testing::TempFolder;

// Each header or body line of a built mail: CRLF-ended, at most 78 characters.
void expectWellFormedLines(const std::string& bytes) {
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        ASSERT_NE(end, std::string::npos) << "last line without a line end";
        ASSERT_GT(end, start);
        EXPECT_EQ(bytes[end - 1], '\r') << "bare LF at " << end;
        EXPECT_LE(end - 1 - start, 78u) << bytes.substr(start, end - start);
        for (std::size_t i = start; i < end; ++i) {
            ASSERT_LT(static_cast<unsigned char>(bytes[i]), 0x80) << "8-bit byte in a 7-bit mail";
        }
        start = end + 1;
    }
}

class MailBuilderTest : public ::testing::Test {
  protected:
    std::string file(const std::string& name, const std::string& content) {
        std::string path = m_folder.path() + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    TempFolder m_folder;
};

TEST_F(MailBuilderTest, JapaneseMailRoundTrips) {
    std::string binary;
    for (int i = 0; i < 3000; ++i) {
        binary += static_cast<char>(i % 256);
    }
    OutgoingMail mail;
    mail.from = "送信者 <me@example.jp>";
    mail.to = {"山田 太郎<yamada@example.jp>, \"Bob, Jr.\" <bob@example.com>,carol@example.org"};
    mail.subject =
        "【重要】来週の会議について①㈱髙﨑様のご意見をふまえて議題を再検討しましたのでご確認くださ"
        "い";
    mail.body = "山田様\r\n\r\nお世話になっております。①②③と髙﨑の件です。\r\n以上です。\r\n";
    mail.attachments = {file("報告書①.txt", "text"), file("data.bin", binary)};

    Result<BuiltMail> built = buildMail(mail);
    ASSERT_TRUE(built) << built.status().toString();
    EXPECT_EQ(built.value().envelopeFrom, "me@example.jp");
    EXPECT_EQ(
        built.value().recipients,
        (std::vector<std::string>{"yamada@example.jp", "bob@example.com", "carol@example.org"}));
    const std::string& bytes = built.value().bytes;
    expectWellFormedLines(bytes);
    EXPECT_NE(bytes.find("charset=ISO-2022-JP"), std::string::npos);
    EXPECT_NE(bytes.find("MIME-Version: 1.0\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nMessage-ID: <"), std::string::npos);
    EXPECT_NE(("\r\n" + bytes).find("\r\nDate: "), std::string::npos);

    DecodedMail decoded = decodeMail(bytes);
    EXPECT_EQ(decoded.headers.subject, mail.subject);
    EXPECT_EQ(decoded.headers.sender, "送信者 <me@example.jp>");
    EXPECT_EQ(decoded.body, mail.body);
    ASSERT_EQ(decoded.attachments.size(), 2u);
    EXPECT_EQ(decoded.attachments[0].name, "報告書①.txt");
    EXPECT_EQ(decoded.attachments[0].bytes, "text");
    EXPECT_EQ(decoded.attachments[1].name, "data.bin");
    EXPECT_EQ(decoded.attachments[1].bytes, binary);
    EXPECT_NE(decoded.headerText.find("To: 山田 太郎 <yamada@example.jp>"), std::string::npos)
        << decoded.headerText;
}

TEST_F(MailBuilderTest, LongNamesUseRfc2231Sections) {
    std::string name = "とても長い名前の添付ファイルで二つ以上の節に分けて書かれるもの.txt";
    OutgoingMail mail{"me@example.jp", {"you@example.jp"}, "s", "b", {file(name, "x")}};
    Result<BuiltMail> built = buildMail(mail);
    ASSERT_TRUE(built);
    EXPECT_NE(built.value().bytes.find("filename*1*="), std::string::npos);
    DecodedMail decoded = decodeMail(built.value().bytes);
    ASSERT_EQ(decoded.attachments.size(), 1u);
    EXPECT_EQ(decoded.attachments[0].name, name);
}

TEST_F(MailBuilderTest, AsciiMailStaysUsAscii7bit) {
    Result<BuiltMail> built =
        buildMail({"me@example.jp", {"you@example.jp"}, "Hello", "Hi.\nBye.\n", {}});
    ASSERT_TRUE(built);
    const std::string& bytes = built.value().bytes;
    expectWellFormedLines(bytes);
    EXPECT_NE(bytes.find("Subject: Hello\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("charset=us-ascii"), std::string::npos);
    EXPECT_NE(bytes.find("Content-Transfer-Encoding: 7bit"), std::string::npos);
    EXPECT_EQ(bytes.find("=?"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n\r\nHi.\r\nBye.\r\n"), std::string::npos);
}

TEST_F(MailBuilderTest, HeaderTextCannotAddHeaders) {
    std::string subject = "Hi\r\nBcc: victim@example.com";
    for (int i = 0; i < 12; ++i) {
        subject += " word" + std::to_string(i);
    }
    Result<BuiltMail> built = buildMail({"me@example.jp", {"you@example.jp"}, subject, "b", {}});
    ASSERT_TRUE(built);
    expectWellFormedLines(built.value().bytes);
    EXPECT_EQ(built.value().bytes.find("\r\nBcc:"), std::string::npos);
    EXPECT_EQ(built.value().recipients, std::vector<std::string>{"you@example.jp"});
    EXPECT_EQ(decodeMail(built.value().bytes).headers.subject.substr(0, 28),
              "Hi  Bcc: victim@example.com ");
}

// Whatever was typed, no line of the header is longer than RFC 5322 allows.
TEST_F(MailBuilderTest, HeaderLinesStayWithin998Bytes) {
    const std::string word(5000, 'x');
    const std::string longName = std::string(1200, 'N') + " <you@example.jp>";
    OutgoingMail mail{
        "Me" + word + " <me@example.jp>", {longName + ", them@example.jp"}, word, "b", {}};
    Result<BuiltMail> built = buildMail(mail);
    ASSERT_TRUE(built);
    const std::string& bytes = built.value().bytes;
    const std::string header = bytes.substr(0, bytes.find("\r\n\r\n") + 2);
    for (std::size_t start = 0, end; (end = header.find("\r\n", start)) != std::string::npos;
         start = end + 2) {
        EXPECT_LE(end - start, 998u) << header.substr(start, 60);
    }
    DecodedMail decoded = decodeMail(bytes);
    EXPECT_EQ(decoded.headers.subject, word);
    EXPECT_EQ(decoded.headers.sender, "Me" + word + " <me@example.jp>");
}

TEST_F(MailBuilderTest, TextBeyondCp932FallsBackToUtf8) {
    OutgoingMail mail{"me@example.jp", {"you@example.jp"}, "絵文字😀", "本文🎉\r\n", {}};
    Result<BuiltMail> built = buildMail(mail);
    ASSERT_TRUE(built);
    expectWellFormedLines(built.value().bytes);
    EXPECT_NE(built.value().bytes.find("charset=UTF-8"), std::string::npos);
    DecodedMail decoded = decodeMail(built.value().bytes);
    EXPECT_EQ(decoded.headers.subject, mail.subject);
    EXPECT_EQ(decoded.body, mail.body);
}

TEST_F(MailBuilderTest, HalfWidthKatakanaIsSentFullWidth) {
    Result<BuiltMail> built = buildMail({"me@example.jp", {"you@example.jp"}, "ｶﾞｲﾄﾞ", "ﾃｽﾄ", {}});
    ASSERT_TRUE(built);
    DecodedMail decoded = decodeMail(built.value().bytes);
    EXPECT_EQ(decoded.headers.subject, "ガイド");
    EXPECT_EQ(decoded.body, "テスト\r\n");  // a mail body always ends its last line
}

TEST_F(MailBuilderTest, NothingIsBuiltWithoutAFileOrARecipient) {
    std::string missing = m_folder.path() + "/missing.pdf";
    Result<BuiltMail> built =
        buildMail({"me@example.jp", {"you@example.jp"}, "s", "b", {file("a.txt", "a"), missing}});
    ASSERT_FALSE(built);
    EXPECT_EQ(built.status().code(), StatusCode::kNotFound);
    EXPECT_NE(built.status().message().find(missing), std::string::npos);

    EXPECT_FALSE(buildMail({"me@example.jp", {"you@example.jp"}, "s", "b", {m_folder.path()}}));
    EXPECT_FALSE(buildMail({"me@example.jp", {""}, "s", "b", {}}));
    EXPECT_FALSE(buildMail({"me@example.jp", {"not an address"}, "s", "b", {}}));
}

TEST_F(MailBuilderTest, CopiesNameAndThreadGoWhereTheyBelong) {
    OutgoingMail mail{"me@example.jp", {"you@example.jp"}, "s", "b", {file("a,b.txt", "comma")}};
    mail.fromName = "山田 花子";
    mail.cc = {"写し <cc@example.jp>, you@example.jp"};
    mail.bcc = {"hidden@example.jp"};
    mail.inReplyTo = "<orig@example.jp>";
    mail.references = {"<first@example.jp>", "<bad id>\r\nBcc: x@evil", "<orig@example.jp>"};
    Result<BuiltMail> built = buildMail(mail);
    ASSERT_TRUE(built) << built.status().toString();
    const std::string& bytes = built.value().bytes;
    expectWellFormedLines(bytes);
    // Every recipient once in the envelope; the blind copy in no header.
    EXPECT_EQ(built.value().recipients,
              (std::vector<std::string>{"you@example.jp", "cc@example.jp", "hidden@example.jp"}));
    EXPECT_EQ(bytes.find("hidden"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nIn-Reply-To: <orig@example.jp>\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\nReferences: <first@example.jp>\r\n <orig@example.jp>\r\n"),
              std::string::npos);
    EXPECT_EQ(bytes.find("evil"), std::string::npos);
    DecodedMail decoded = decodeMail(bytes);
    EXPECT_NE(decoded.headers.sender.find("山田 花子"), std::string::npos)
        << decoded.headers.sender;
    EXPECT_NE(bytes.find("filename=\"a,b.txt\""), std::string::npos);

    // Blind copies alone: the mail names nobody.
    Result<BuiltMail> blindOnly =
        buildMail({"me@example.jp", {}, "s", "b", {}, {}, {"hidden@example.jp"}});
    ASSERT_TRUE(blindOnly);
    EXPECT_NE(blindOnly.value().bytes.find("To: undisclosed-recipients:;"), std::string::npos);
    EXPECT_EQ(blindOnly.value().bytes.find("hidden"), std::string::npos);
}

// A decoder nobody here wrote: Python's email package.
std::string readWithPython(const std::string& mailPath, const std::string& outPath) {
    static const char* kScript = R"PY(
import sys, email
from email import policy
with open(sys.argv[1], 'rb') as f:
    m = email.message_from_binary_file(f, policy=policy.default)
fields = [str(m['subject']), m.get_body(('plain',)).get_content()]
for part in m.iter_attachments():
    fields += [part.get_filename(), str(len(part.get_content()))]
with open(sys.argv[2], 'w', encoding='utf-8') as f:
    f.write('\0'.join(fields))
)PY";
    std::string command = "/usr/bin/python3 -c \"$QF_PY\" '" + mailPath + "' '" + outPath + "'";
    ::setenv("QF_PY", kScript, 1);
    EXPECT_EQ(std::system(command.c_str()), 0);
    return readBytes(outPath);
}

std::vector<std::string> splitAtNul(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        fields.push_back(text.substr(start, end - start));
    }
    fields.push_back(text.substr(start));
    return fields;
}

TEST_F(MailBuilderTest, PythonEmailReadsWhatWeBuild) {
    // Python's ISO-2022-JP codec knows JIS X 0208 only, so no NEC extensions here.
    struct Case {
        std::string subject, body, attachmentName;
    };
    const Case cases[] = {
        {"会議資料の送付について（第二版）、ご確認をお願いいたします。長い件名の折り返しも確かめま"
         "す",
         "皆様\n\n資料を添付します。\nよろしくお願いします。\n", "会議資料 最終版.txt"},
        {"絵文字😀の件名", "UTF-8に戻る本文🎉\n", "写真😀.bin"},
    };
    for (const Case& c : cases) {
        OutgoingMail mail{"me@example.jp",
                          {"あなた <you@example.jp>"},
                          c.subject,
                          c.body,
                          {file(c.attachmentName, "12345")}};
        Result<BuiltMail> built = buildMail(mail);
        ASSERT_TRUE(built);
        std::string path = file("built.eml", built.value().bytes);
        std::vector<std::string> fields = splitAtNul(readWithPython(path, path + ".out"));
        ASSERT_EQ(fields.size(), 4u);
        EXPECT_EQ(fields[0], c.subject);
        EXPECT_EQ(fields[1], c.body);
        EXPECT_EQ(fields[2], c.attachmentName);
        EXPECT_EQ(fields[3], "5");
    }
}

}  // namespace
}  // namespace qf::transport
