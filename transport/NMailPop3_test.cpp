// The POP3 functions of NMail.h against the local Dovecot server.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/MailServers.h"
#include "text/Cp932.h"
#include "transport/NMail.h"
#include "transport/NMailTestSupport.h"

namespace qf::transport {
namespace {

using testing::kApop;
using testing::kPlain;
using testing::lastFault;
using testing::lastMessage;

using qf::testing::MailServers;

std::string simpleMail(int number) {
    return "From: sender" + std::to_string(number) +
           "@example.jp\r\nTo: qftest@example.jp\r\nSubject: mail " + std::to_string(number) +
           "\r\nDate: Tue, 08 Dec 2026 10:00:00 +0900\r\n\r\nbody of mail " +
           std::to_string(number) + "\r\n";
}

class NMailPop3 : public ::testing::Test {
  protected:
    void SetUp() override {
        NMailInitializeWinSock();
        servers.clearMaildir();
    }
    void TearDown() override { servers.clearMaildir(); }

    int connectAndLogin(int apop, int expectedCount) {
        const int handle = NMailPop3Connect(servers.pop3Server().c_str());
        EXPECT_GT(handle, 0) << lastMessage();
        EXPECT_EQ(
            NMailPop3Authenticate(handle, servers.user.c_str(), servers.password.c_str(), apop),
            expectedCount)
            << lastMessage();
        return handle;
    }

    MailServers servers = MailServers::fromEnvironment();
    std::vector<char> subject = std::vector<char>(8192), date = std::vector<char>(8192),
                      sender = std::vector<char>(8192), header = std::vector<char>(8192);
};

TEST_F(NMailPop3, ApopLoginUsesTheApopCommandAndCountsMails) {
    servers.deliver(simpleMail(1));
    servers.deliver(simpleMail(2));
    const int handle = connectAndLogin(kApop, 2);
    EXPECT_EQ(NMailPop3Close(handle), 1) << lastMessage();
    EXPECT_NE(servers.dovecotLogText().find("method=APOP"), std::string::npos);
}

TEST_F(NMailPop3, PlainLoginOnAnEmptyBoxFindsNoMail) {
    const int handle = connectAndLogin(kPlain, 0);
    EXPECT_EQ(NMailPop3Close(handle), 1) << lastMessage();
    EXPECT_NE(servers.dovecotLogText().find("method=PLAIN"), std::string::npos);
}

TEST_F(NMailPop3, WrongPasswordShowsTheServersReply) {
    for (int apop : {kPlain, kApop}) {
        const int handle = NMailPop3Connect(servers.pop3Server().c_str());
        ASSERT_GT(handle, 0);
        EXPECT_LT(NMailPop3Authenticate(handle, servers.user.c_str(), "wrong", apop), 0);
        const std::string message = lastMessage();
        EXPECT_EQ(lastFault(), TransportFault::kLoginRefused) << message;
        EXPECT_TRUE(message.starts_with("-ERR")) << message;
        EXPECT_LT(NMailPop3Close(handle), 0);
    }
}

TEST_F(NMailPop3, RefusedConnectionAndBadNamesGiveMinusOne) {
    const auto started = std::chrono::steady_clock::now();
    // A port nobody listens on: the fixture's ports are free ones, so pick
    // one the same way and close it again.
    EXPECT_EQ(NMailPop3Connect("127.0.0.1:1"), -1);
    EXPECT_EQ(lastFault(), TransportFault::kConnectFailed) << lastMessage();
    EXPECT_EQ(NMailPop3Connect("imap://127.0.0.1"), -1);
    EXPECT_EQ(lastFault(), TransportFault::kBadServerName) << lastMessage();
    EXPECT_EQ(NMailPop3Connect(""), -1);
    EXPECT_EQ(NMailPop3Connect(nullptr), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(NMailPop3, StatusSizeAndFetchFillTheBuffers) {
    const std::string body = "一行目\r\n.dotted line\r\n\r\n三行目\r\n";
    const std::string mail =
        "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <yamada@example.jp>\r\n"
        "Subject: =?ISO-2022-JP?B?GyRCJDMkcyRLJEEkTxsoQg==?=\r\n"
        "Date: Tue, 08 Dec 2026 10:00:00 +0900\r\n"
        "Content-Type: text/plain; charset=UTF-8\r\n\r\n" +
        body;
    servers.deliver(mail);
    const int handle = connectAndLogin(kApop, 1);
    EXPECT_EQ(NMailPop3GetMailStatus(handle, 1, subject.data(), date.data(), sender.data(),
                                     header.data(), 0),
              1);
    EXPECT_EQ(text::fromCp932(subject.data()), "こんにちは");
    EXPECT_NE(text::fromCp932(sender.data()).find("yamada@example.jp"), std::string::npos);
    EXPECT_NE(std::string(date.data()).find("2026"), std::string::npos);

    const int size = NMailPop3GetMailSize(handle, 1);
    ASSERT_GE(size, static_cast<int>(mail.size()));
    std::vector<char> bodyBuffer(static_cast<std::size_t>(size) + 1, ' ');
    EXPECT_EQ(NMailPop3GetMail(handle, 1, subject.data(), date.data(), sender.data(), header.data(),
                               bodyBuffer.data(), 0, 0),
              1);
    EXPECT_EQ(std::string(bodyBuffer.data()), body);
    // The raw header, whole lines, without the empty line that ends it.
    EXPECT_TRUE(std::string(header.data()).ends_with("charset=UTF-8\r\n")) << header.data();
    EXPECT_EQ(NMailPop3Close(handle), 1);
}

TEST_F(NMailPop3, HeaderLongerThanItsBufferKeepsTheFieldsThatDecodeTheMail) {
    std::string trace;
    for (int hop = 0; hop < 120; ++hop) {
        trace += "Received: from relay" + std::to_string(hop) +
                 ".example.jp (relay.example.jp [192.0.2.1])\r\n"
                 "\tby mx.example.jp with ESMTP id ABCDEF" +
                 std::to_string(hop) + "\r\n";
    }
    const std::string essential =
        "From: a@example.jp\r\nSubject: long\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed;\r\n boundary=\"b1\"\r\n";
    servers.deliver(trace + essential + "\r\n--b1\r\n\r\ntext\r\n--b1--\r\n");
    const int handle = connectAndLogin(kPlain, 1);
    NMailPop3GetMailStatus(handle, 1, subject.data(), date.data(), sender.data(), header.data(), 0);
    const std::string kept(header.data());
    EXPECT_GT(trace.size(), 8192u);
    EXPECT_LT(kept.size(), 8192u);
    EXPECT_NE(kept.find(essential), std::string::npos);
    EXPECT_EQ(std::string(subject.data()), "long");
    EXPECT_EQ(NMailPop3Close(handle), 1);
}

TEST_F(NMailPop3, NumbersOutsideTheBoxFailWithoutEndingTheSession) {
    servers.deliver(simpleMail(1));
    const int handle = connectAndLogin(kPlain, 1);
    EXPECT_LT(NMailPop3GetMailSize(handle, 2), 0);
    EXPECT_LT(NMailPop3DeleteMail(handle, 0), 0);
    EXPECT_GT(NMailPop3GetMailSize(handle, 1), 0);
    EXPECT_EQ(NMailPop3Close(handle), 1);
    EXPECT_LT(NMailPop3GetMailSize(handle, 1), 0);  // the handle is released
}

TEST_F(NMailPop3, DeletionsHappenOnlyWhenTheSessionCloses) {
    for (int i = 1; i <= 3; ++i) {
        servers.deliver(simpleMail(i));
    }

    // Marked but never closed: the program ends (or the session is dropped).
    int handle = connectAndLogin(kApop, 3);
    EXPECT_EQ(NMailPop3DeleteMail(handle, 1), 1);
    EXPECT_EQ(NMailPop3DeleteMail(handle, 2), 1);
    NMailEndWinSock();
    NMailInitializeWinSock();
    EXPECT_EQ(servers.messagesInMaildir(), 3u);

    // Closed: exactly the marked mails go.
    handle = connectAndLogin(kApop, 3);
    EXPECT_EQ(NMailPop3GetMailStatus(handle, 2, subject.data(), date.data(), sender.data(),
                                     header.data(), 0),
              1);
    EXPECT_EQ(std::string(subject.data()), "mail 2");
    EXPECT_EQ(NMailPop3DeleteMail(handle, 1), 1);
    EXPECT_EQ(NMailPop3DeleteMail(handle, 3), 1);
    EXPECT_EQ(servers.messagesInMaildir(), 3u);
    EXPECT_EQ(NMailPop3Close(handle), 1) << lastMessage();
    EXPECT_EQ(servers.messagesInMaildir(), 1u);

    handle = connectAndLogin(kPlain, 1);
    EXPECT_EQ(NMailPop3GetMailStatus(handle, 1, subject.data(), date.data(), sender.data(),
                                     header.data(), 0),
              1);
    EXPECT_EQ(std::string(subject.data()), "mail 2");
    EXPECT_EQ(NMailPop3Close(handle), 1);
}

TEST_F(NMailPop3, SmallBuffersAreCutAtACharacterBoundary) {
    servers.deliver(
        "Subject: =?UTF-8?B?"
        "44GC44GE44GG44GI44GK"
        "?=\r\nFrom: a@example.jp\r\n\r\nx\r\n");
    ASSERT_EQ(NMailSetOption(kOptionBufferSize, 6), 0);
    const int handle = connectAndLogin(kPlain, 1);
    NMailPop3GetMailStatus(handle, 1, subject.data(), date.data(), sender.data(), header.data(), 0);
    EXPECT_EQ(text::fromCp932(subject.data()), "あい");  // 5 bytes fit: two characters
    EXPECT_LE(std::string(header.data()).size(), 5u);
    NMailSetOption(kOptionBufferSize, 8192);
    EXPECT_EQ(NMailPop3Close(handle), 1);
}

}  // namespace
}  // namespace qf::transport
