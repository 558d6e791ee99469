// Sending with NMailSmtpSendMail through the local SMTP server, and fetching
// the mail back from the POP3 server that serves the same Maildir.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/MailServers.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"
#include "text/Cp932.h"
#include "transport/NMail.h"
#include "transport/NMailTestSupport.h"
#include "transport/SmtpSender.h"

namespace qf::transport {
namespace {

using testing::lastAbout;
using testing::lastFault;
using testing::lastMessage;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using qf::testing::MailServers;
using qf::testing::PrivateMailServers;
using qf::testing::TempFolder;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// CP932 as the program passes every text.
std::string cp(const std::string& utf8) {
    return text::toCp932(utf8);
}

int send(const std::string& server, const std::string& to, const std::string& subject,
         const std::string& body, const std::string& attachments = "") {
    return NMailSmtpSendMail(server.c_str(), cp(to).c_str(), nullptr, nullptr, "sender@example.jp",
                             cp(subject).c_str(), cp(body).c_str(), nullptr,
                             cp(attachments).c_str(), 0);
}

struct FetchedMail {
    std::string subject, sender, body;  // UTF-8, decoded
    int attachmentResult = 0;
};

// Fetches mail 1 the way the receive run does and decodes it into `folder`.
FetchedMail fetchFirstMail(const MailServers& servers, const fs::path& folder) {
    FetchedMail fetched;
    const int handle = NMailPop3Connect(servers.pop3Server().c_str());
    EXPECT_EQ(NMailPop3Authenticate(handle, servers.user.c_str(), servers.password.c_str(), -1), 1);
    std::vector<char> subject(8192), date(8192), sender(8192), header(8192);
    NMailPop3GetMailStatus(handle, 1, subject.data(), date.data(), sender.data(), header.data(), 0);
    const int size = NMailPop3GetMailSize(handle, 1);
    EXPECT_GT(size, 0);
    std::vector<char> body(static_cast<std::size_t>(std::max(size, 0)) + 1, ' ');
    EXPECT_EQ(NMailPop3GetMail(handle, 1, subject.data(), date.data(), sender.data(), header.data(),
                               body.data(), 0, 0),
              1);
    const std::string wholeMail = std::string(header.data()) + "\r\n" + body.data() + "\r\n";
    std::vector<char> decodedBody(wholeMail.size() + 1);
    const std::string folderPath = folder.string() + "/";
    fetched.attachmentResult = NMailAttachmentFileFirst(
        0, subject.data(), date.data(), sender.data(), header.data(), decodedBody.data(),
        folderPath.c_str(), (folder / "0.txt").c_str(), wholeMail.c_str(), 0);
    NMailAttachmentFileClose(0);
    fetched.subject = text::fromCp932(subject.data());
    fetched.sender = text::fromCp932(sender.data());
    fetched.body = text::fromCp932(decodedBody.data());
    EXPECT_EQ(NMailPop3DeleteMail(handle, 1), 1);
    EXPECT_EQ(NMailPop3Close(handle), 1);
    return fetched;
}

class NMailSmtp : public ::testing::Test {
  protected:
    void SetUp() override {
        NMailInitializeWinSock();
        NMailSetSmtpAuth("", "");
        servers.clearMaildir();
        fs::create_directories(folder / "in");
        fs::create_directories(folder / "out");
    }
    void TearDown() override { servers.clearMaildir(); }

    MailServers servers = MailServers::fromEnvironment();
    TempFolder folder{"qf-smtp-test"};
};

TEST_F(NMailSmtp, JapaneseMailWithTwoAttachmentsComesBackAsSent) {
    const std::string report = "売上報告\r\n第二行\r\n";
    std::string picture;
    for (int i = 0; i < 3000; ++i) {
        picture += static_cast<char>(i * 7 % 256);
    }
    const fs::path first = folder / "out" / "報告書.txt";
    const fs::path second = folder / "out" / "写真 一枚.bin";
    writeFile(first, report);
    writeFile(second, picture);
    const std::string body = "こんにちは。\r\n添付を二つ送ります。\r\n.\r\n以上";

    ASSERT_EQ(send(servers.smtpServer(), "qftest@example.jp", "テスト送信：日本語の件名", body,
                   first.string() + "," + second.string()),
              1)
        << lastMessage();
    ASSERT_EQ(servers.messagesInMaildir(), 1u);

    const FetchedMail fetched = fetchFirstMail(servers, folder / "in");
    EXPECT_EQ(fetched.subject, "テスト送信：日本語の件名");
    EXPECT_NE(fetched.sender.find("sender@example.jp"), std::string::npos);
    EXPECT_NE(fetched.body.find("こんにちは。\r\n添付を二つ送ります。\r\n.\r\n以上"),
              std::string::npos)
        << fetched.body;
    EXPECT_EQ(fetched.attachmentResult, kAttachmentsWritten);
    EXPECT_EQ(readFile(folder / "in" / "報告書.txt"), report);
    EXPECT_EQ(readFile(folder / "in" / "写真 一枚.bin"), picture);
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
}

// A text file goes out as its bytes, labelled with the charset they are in;
// one whose charset cannot be told goes as opaque data.
TEST_F(NMailSmtp, TextAttachmentsCarryTheCharsetOfTheirBytes) {
    // printf '日本語のメモ\r\n' | iconv -t EUC-JP (SHIFT_JIS, ISO-2022-JP)
    const std::vector<std::pair<std::string, std::string>> files = {
        {"euc.txt", "\xC6\xFC\xCB\xDC\xB8\xEC\xA4\xCE\xA5\xE1\xA5\xE2\r\n"},
        {"sjis.txt", "\x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x81\x83\x82\r\n"},
        {"jis.txt", "\x1B$BF|K\\8l$N%a%b\x1B(B\r\n"},
        {"utf8.txt", "日本語のメモ\r\n"},
        {"binary.txt", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)}};
    std::string list;
    for (const auto& [name, bytes] : files) {
        writeFile(folder / "out" / name, bytes);
        list += (list.empty() ? "" : ",") + (folder / "out" / name).string();
    }
    ASSERT_EQ(send(servers.smtpServer(), "qftest@example.jp", "メモ", "本文", list), 1)
        << lastMessage();

    const std::string raw = servers.onlyMailInMaildir();
    for (const auto& [name, type] : {std::pair{"euc.txt", "text/plain; charset=EUC-JP"},
                                     {"sjis.txt", "text/plain; charset=Shift_JIS"},
                                     {"jis.txt", "text/plain; charset=ISO-2022-JP"},
                                     {"utf8.txt", "text/plain; charset=UTF-8"},
                                     {"binary.txt", "application/octet-stream"}}) {
        EXPECT_NE(raw.find(std::string("Content-Type: ") + type + ";\n name=\"" + name + "\""),
                  std::string::npos)
            << name << "\n"
            << raw;
    }
    fetchFirstMail(servers, folder / "in");
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(readFile(folder / "in" / name), bytes) << name;
    }
}

TEST_F(NMailSmtp, FailuresAreNegativeWithTheirCodeAndSendNothing) {
    // Nobody listens there: libcurl's own text is the message.
    EXPECT_LT(send("127.0.0.1:1", "qftest@example.jp", "件名", "本文"), 0);
    EXPECT_EQ(lastFault(), TransportFault::kConnectFailed) << lastMessage();
    EXPECT_NE(lastMessage().find("127.0.0.1"), std::string::npos) << lastMessage();
    // An attachment that cannot be read: its path is in the message.
    EXPECT_LT(send(servers.smtpServer(), "qftest@example.jp", "件名", "本文",
                   (folder / "missing.txt").string()),
              0);
    EXPECT_EQ(lastFault(), TransportFault::kAttachmentUnreadable);
    EXPECT_NE(lastMessage().find("missing.txt"), std::string::npos) << lastMessage();
    // No recipient at all, and a bad server name.
    EXPECT_LT(send(servers.smtpServer(), "", "件名", "本文"), 0);
    EXPECT_EQ(lastFault(), TransportFault::kNoRecipient);
    EXPECT_LT(send("smtp://", "qftest@example.jp", "件名", "本文"), 0);
    EXPECT_EQ(lastFault(), TransportFault::kBadServerName);
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
}

TEST(NMailSmtpRefusals, ARefusedAddressIsNamedWithTheServersReply) {
    {
        qf::testing::ScriptedServer server(&qf::testing::refuseEveryRecipient);
        EXPECT_LT(send(server.address(), "nobody@elsewhere.example", "件名", "本文"), 0);
        EXPECT_EQ(lastFault(), TransportFault::kRecipientRefused) << lastMessage();
        EXPECT_EQ(lastAbout(), "nobody@elsewhere.example");
        EXPECT_EQ(lastMessage(), "550 5.7.1 Relaying denied for this address");
    }
    {
        // A reply with terminal escapes and no end reaches no message box as it came.
        qf::testing::ScriptedServer server([](qf::testing::ScriptedConnection& c) {
            c.send("220 scripted\r\n");
            for (std::string line = c.readLine(); !line.empty(); line = c.readLine()) {
                c.send(line.starts_with("RCPT")
                           ? "550 \x1b]0;owned\x07" + std::string(5000, 'x') + "\r\n"
                           : std::string("250 ok\r\n"));
            }
        });
        EXPECT_LT(send(server.address(), "a@example.jp", "件名", "本文"), 0);
        const std::string message = lastMessage();
        EXPECT_TRUE(message.starts_with("550 \\x1B]0;owned\\x07xxx")) << message;
        EXPECT_LT(message.size(), 400u);
    }
    // Refused before connecting: a line break in the recipient is escaped.
    EXPECT_LT(send("127.0.0.1:1", "a@example.jp\r\nRCPT TO:<x@y>", "件名", "本文"), 0);
    EXPECT_EQ(lastFault(), TransportFault::kRecipientControlCharacter);
    EXPECT_EQ(lastAbout(), "a@example.jp\\r\\nRCPT TO:<x@y>");
}

TEST_F(NMailSmtp, SilentServerEndsTheSendWithinTheLimit) {
    qf::testing::ScriptedServer server([](qf::testing::ScriptedConnection& c) {
        c.send("220 ready\r\n");
        c.stall(10s);
    });
    TransferLimits limits;
    limits.replySeconds = 1;
    const BuiltMail mail{"Subject: x\r\n\r\nbody\r\n", "sender@example.jp", {"qftest@example.jp"}};
    const auto started = std::chrono::steady_clock::now();
    const Status sent = sendMail(parseServerAddress(server.address(), MailProtocol::kSmtp).value(),
                                 mail, {}, limits)
                            .status;
    EXPECT_EQ(sent.code(), StatusCode::kTimedOut) << sent.message();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
}

// What a scripted server does once it has read the whole mail up to its ".".
enum class AfterMail { kHangUp, kStall, kAcceptLate, kRefuse };

void takeOneMailThen(qf::testing::ScriptedConnection& c, AfterMail after) {
    c.send("220 scripted ESMTP\r\n");
    for (std::string line = c.readLine(); !line.empty(); line = c.readLine()) {
        if (line != "DATA") {
            c.send("250 ok\r\n");
            continue;
        }
        c.send("354 go ahead\r\n");
        for (std::string data = c.readLine(); data != "."; data = c.readLine()) {
            if (c.closed() || c.stopping()) {
                return;
            }
        }
        switch (after) {
            case AfterMail::kHangUp:
                return;
            case AfterMail::kStall:
                c.stall(10s);
                return;
            case AfterMail::kAcceptLate:
                std::this_thread::sleep_for(2s);
                c.send("250 queued after all\r\n");
                break;
            case AfterMail::kRefuse:
                c.send("554 5.7.1 message content rejected\r\n");
                break;
        }
    }
}

struct EndOfMailRow {
    const char* name;
    AfterMail after;
    StatusCode code;
    bool mayHaveIt;
};

class SmtpEndOfMail : public ::testing::TestWithParam<EndOfMailRow> {};

// Once the end of the mail went out, a server that hangs up or never answers
// may still have queued it: the failure says so, within the reply limit. A
// reply that comes late but within that limit is a success, even when no byte
// moved for longer than the stall limit.
TEST_P(SmtpEndOfMail, ReplyToTheEndOfTheMail) {
    const EndOfMailRow& row = GetParam();
    qf::testing::ScriptedServer server(
        [&row](qf::testing::ScriptedConnection& c) { takeOneMailThen(c, row.after); });
    TransferLimits limits;
    limits.replySeconds = 4;
    limits.stallSeconds = 1;
    const BuiltMail mail{"Subject: x\r\n\r\nbody\r\n", "sender@example.jp", {"qftest@example.jp"}};
    const auto started = std::chrono::steady_clock::now();
    const Status sent = sendMail(parseServerAddress(server.address(), MailProtocol::kSmtp).value(),
                                 mail, {}, limits)
                            .status;
    const auto took = std::chrono::steady_clock::now() - started;
    releaseSmtpConnection();
    EXPECT_EQ(sent.code(), row.code) << sent.message();
    EXPECT_EQ(mayHaveBeenDelivered(sent), row.mayHaveIt) << sent.message();
    EXPECT_LT(took, 7s);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SmtpEndOfMail,
    ::testing::Values(EndOfMailRow{"HangUp", AfterMail::kHangUp, StatusCode::kIoError, true},
                      EndOfMailRow{"Stall", AfterMail::kStall, StatusCode::kTimedOut, true},
                      EndOfMailRow{"AcceptLate", AfterMail::kAcceptLate, StatusCode::kOk, false},
                      EndOfMailRow{"Refuse", AfterMail::kRefuse, StatusCode::kRefused, false}),
    [](const ::testing::TestParamInfo<EndOfMailRow>& row) { return std::string(row.param.name); });

// A second pair of servers whose SMTP side insists on AUTH.
class NMailSmtpAuth : public ::testing::Test {
  protected:
    void SetUp() override {
        NMailInitializeWinSock();
        servers = m_private.emplace("qf-smtp-auth", "--smtp-auth").servers();
    }
    void TearDown() override { NMailSetSmtpAuth("", ""); }

    std::optional<PrivateMailServers> m_private;
    MailServers servers;
};

TEST_F(NMailSmtpAuth, ServerRequiringAuthGetsThePop3Account) {
    const ServerAddress address =
        parseServerAddress(servers.smtpServer(), MailProtocol::kSmtp).value();
    const BuiltMail mail{
        "From: sender@example.jp\r\nTo: qftest@example.jp\r\nSubject: auth\r\n\r\nbody\r\n",
        "sender@example.jp",
        {"qftest@example.jp"}};
    SmtpResult sent = sendMail(address, mail, {}, TransferLimits());
    EXPECT_EQ(sent.fault, TransportFault::kLoginRefused);
    EXPECT_NE(sent.status.message().find("530"), std::string::npos) << sent.status.message();
    sent = sendMail(address, mail, {servers.user, "wrong", {}}, TransferLimits());
    EXPECT_EQ(sent.fault, TransportFault::kLoginRefused);
    EXPECT_NE(sent.status.message().find("535"), std::string::npos) << sent.status.message();
    EXPECT_EQ(servers.messagesInMaildir(), 0u);

    sent = sendMail(address, mail, {servers.user, servers.password, {}}, TransferLimits());
    EXPECT_TRUE(sent.status) << sent.status.message();
    EXPECT_EQ(servers.messagesInMaildir(), 1u);
}

TEST_F(NMailSmtpAuth, NMailSendUsesTheCredentialsSetBeforehand) {
    NMailSetSmtpAuth(servers.user.c_str(), servers.password.c_str());
    EXPECT_EQ(send(servers.smtpServer(), "qftest@example.jp", "件名", "本文"), 1) << lastMessage();
    EXPECT_EQ(servers.messagesInMaildir(), 1u);
}

}  // namespace
}  // namespace qf::transport
