// A forwarded mail attached whole: a 7bit message/rfc822 carrying the bytes
// that came, or base64 data when it cannot go as one (8-bit text included).
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/ScriptedServer.h"
#include "transport/MailBuilder.h"
#include "transport/MailDecoder.h"
#include "transport/MimeTestSupport.h"
#include "transport/SmtpSubmission.h"

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
TEST(MessagePartTest, A7BitMailGoesAsMessageRfc822AndAn8BitOneAsBase64Data) {
    // A 7-bit mail is itself, and LF line ends travel as CR LF.
    const std::string ascii = "From: a@example.jp\nSubject: hi\n\nhello\n";
    const AttachedPart plain = secondPart(buildForwarding(ascii, "hi.eml"));
    EXPECT_NE(plain.header.find("Content-Type: message/rfc822"), std::string::npos);
    EXPECT_NE(plain.header.find("Content-Transfer-Encoding: 7bit"), std::string::npos);
    EXPECT_EQ(plain.body, testing::withCrLf(ascii));

    const std::string original = sampleMail("utf8-8bit-with-attachment.eml");
    const std::string built = buildForwarding(original, "来週の会議資料.eml");
    const AttachedPart part = secondPart(built);
    EXPECT_TRUE(part.header.starts_with("Content-Type: application/octet-stream")) << part.header;
    EXPECT_NE(part.header.find("Content-Transfer-Encoding: base64"), std::string::npos);
    EXPECT_NE(part.header.find("*=UTF-8''%E6%9D%A5"), std::string::npos) << part.header;
    EXPECT_TRUE(std::all_of(built.begin(), built.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    const DecodedMail decoded = decodeMail(built);
    EXPECT_TRUE(decoded.body.starts_with("転送します。\r\n")) << decoded.body;
    ASSERT_EQ(decoded.attachments.size(), 1u);
    EXPECT_EQ(decoded.attachments[0].bytes, original);
}

// An SMTP sink that offers 8BITMIME in its EHLO reply, or nothing.
qf::testing::ScriptedServer::Script sinkOffering(bool eightBitMime) {
    return [eightBitMime](qf::testing::ScriptedConnection& c) {
        c.send("220 sink ESMTP\r\n");
        for (std::string line = c.readLine(); !line.empty(); line = c.readLine()) {
            if (line.starts_with("EHLO")) {
                c.send(eightBitMime ? "250-sink\r\n250 8BITMIME\r\n" : "250 sink\r\n");
            } else if (line == "DATA") {
                c.send("354 go ahead\r\n");
                while (c.readLine() != "." && !c.closed() && !c.stopping()) {
                }
                c.send("250 queued\r\n");
            } else {
                c.send(line.starts_with("QUIT") ? "221 bye\r\n" : "250 ok\r\n");
            }
        }
    };
}

// At the wire, whatever the server offers: no BODY parameter (libcurl could
// not write one whole), so not one 8-bit byte, and the mail's own bytes.
TEST(MessagePartTest, An8BitMailReachesEitherServerAs7BitData) {
    const std::string original = sampleMail("utf8-8bit-with-attachment.eml");
    for (const bool eightBitMime : {true, false}) {
        releaseSmtpConnection();
        qf::testing::ScriptedServer sink(sinkOffering(eightBitMime));
        OutgoingMail mail{
            "me@example.com", {"friend@example.org"}, "Fwd: 資料", "転送します。", {}};
        mail.mails = {{original, "資料.eml"}};
        const SubmissionResult sent = submitMail(sink.address(), mail, {});
        ASSERT_TRUE(sent) << sent.fault().diagnostic;
        releaseSmtpConnection();
        const std::string bytes = sink.bytesReceived();
        const std::vector<std::string> commands = qf::testing::smtpCommands(bytes);
        EXPECT_NE(std::find(commands.begin(), commands.end(), "MAIL FROM:<me@example.com>"),
                  commands.end());
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(),
                                [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
        const DecodedMail decoded = decodeMail(sent.value().message);
        ASSERT_EQ(decoded.attachments.size(), 1u);
        EXPECT_EQ(decoded.attachments[0].bytes, original);
        EXPECT_NE(bytes.find(sent.value().message.substr(0, 200)), std::string::npos);
    }
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
