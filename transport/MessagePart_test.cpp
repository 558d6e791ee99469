// A forwarded mail attached whole: message/rfc822 carrying the bytes that
// came, or opaque data when it cannot go as a message.
#include <gtest/gtest.h>

#include "transport/MailBuilder.h"
#include "transport/MailDecoder.h"
#include "transport/MimeTestSupport.h"

namespace qf::transport {
namespace {

using testing::sampleMail;

struct AttachedPart {
    std::string header;  // the part's own header lines
    std::string body;    // up to the outer boundary's next line
};

// The attachment of a built mail that follows the text part (the second
// part of its multipart/mixed).
AttachedPart secondPart(const std::string& built) {
    const std::size_t quote = built.find("boundary=\"") + 10;
    const std::string boundary = "\r\n--" + built.substr(quote, built.find('"', quote) - quote);
    const std::size_t first = built.find(boundary);
    const std::size_t second = built.find(boundary, first + boundary.size());
    const std::size_t headerStart = second + boundary.size() + 2;
    const std::size_t bodyStart = built.find("\r\n\r\n", headerStart) + 4;
    const std::size_t end = built.find(boundary, bodyStart);
    return {built.substr(headerStart, bodyStart - headerStart),
            built.substr(bodyStart, end - bodyStart)};
}

std::string buildForwarding(const std::string& original, const std::string& name) {
    OutgoingMail mail;
    mail.from = "me@example.com";
    mail.to = {"friend@example.org"};
    mail.subject = "Fwd: test";
    mail.body = "転送します。\r\n";
    mail.mails = {{original, name}};
    Result<BuiltMail> built = buildMail(mail);
    EXPECT_TRUE(built) << built.status().toString();
    return built ? built.value().bytes : std::string();
}

// tests/data/mail/utf8-8bit-with-attachment.eml, made by Python's email
// library (see tests/data/mail/SOURCES.md): an 8bit UTF-8 text and a
// base64 PDF, CR LF line ends.
TEST(MessagePartTest, AKeptMailGoesAsMessageRfc822WithItsOwnBytes) {
    const std::string original = sampleMail("utf8-8bit-with-attachment.eml");
    const std::string built = buildForwarding(original, "来週の会議資料.eml");
    const AttachedPart part = secondPart(built);
    EXPECT_NE(part.header.find("Content-Type: message/rfc822"), std::string::npos) << part.header;
    EXPECT_NE(part.header.find("Content-Transfer-Encoding: 8bit"), std::string::npos);
    EXPECT_NE(part.header.find("*=UTF-8''%E6%9D%A5"), std::string::npos) << part.header;
    EXPECT_EQ(part.body, original);

    // A reader shows it as a forwarded mail, with its own text.
    const DecodedMail decoded = decodeMail(built);
    EXPECT_TRUE(decoded.body.starts_with("転送します。\r\n")) << decoded.body;
    EXPECT_NE(decoded.body.find("来週の会議資料を添付します。"), std::string::npos);

    // A 7-bit mail is marked so, and LF line ends travel as CR LF.
    const std::string ascii = "From: a@example.jp\nSubject: hi\n\nhello\n";
    const AttachedPart plain = secondPart(buildForwarding(ascii, "hi.eml"));
    EXPECT_NE(plain.header.find("Content-Transfer-Encoding: 7bit"), std::string::npos);
    EXPECT_EQ(plain.body, testing::withCrLf(ascii));
}

// What no mail program writes goes as base64 data with the bytes it has; a
// text without a header still reads as a mail. Nothing of either reaches
// the outer header.
TEST(MessagePartTest, AMailThatCannotGoAsAMessageGoesAsDataUnchanged) {
    const std::pair<std::string, const char*> hostile[] = {
        {std::string("From: a@example.jp\r\nSubject: x\0y\r\n\r\nbody\0\r\n", 43),
         "application/octet-stream"},
        {"From: a@example.jp\r\nX-Long: " + std::string(5000, 'x') + "\r\n\r\nbody\r\n",
         "application/octet-stream"},
        {"From: a@example.jp\rBcc: victim@example.org\r\n\r\nlone CR\r\n",
         "application/octet-stream"},
        {"\r\nBcc: victim@example.org\r\n\r\nno header at all\r\n", "message/rfc822"},
    };
    for (const auto& [original, type] : hostile) {
        const std::string built = buildForwarding(original, "x.eml");
        const std::string outerHeader = built.substr(0, built.find("\r\n\r\n"));
        EXPECT_EQ(outerHeader.find("victim"), std::string::npos) << outerHeader;
        const AttachedPart part = secondPart(built);
        EXPECT_TRUE(part.header.starts_with(std::string("Content-Type: ") + type)) << part.header;
        const DecodedMail decoded = decodeMail(built);
        ASSERT_EQ(decoded.attachments.size(), 1u) << built;
        EXPECT_EQ(testing::withCrLf(decoded.attachments[0].bytes), original);
    }
}

}  // namespace
}  // namespace qf::transport
