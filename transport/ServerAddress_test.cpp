#include "transport/ServerAddress.h"

#include <gtest/gtest.h>

#include "transport/Pop3Session.h"

namespace qf::transport {
namespace {

struct AddressCase {
    const char* text;
    MailProtocol protocol;
    const char* url;  // nullptr: refused
};

class ServerAddressForms : public ::testing::TestWithParam<AddressCase> {};

TEST_P(ServerAddressForms, ParseToTheExpectedUrl) {
    const AddressCase& row = GetParam();
    Result<ServerAddress> address = parseServerAddress(row.text, row.protocol);
    if (!row.url) {
        EXPECT_FALSE(address.isOk()) << address.value().url();
        return;
    }
    ASSERT_TRUE(address.isOk()) << address.status().message();
    EXPECT_EQ(address.value().url(), row.url);
}

constexpr MailProtocol kPop3 = MailProtocol::kPop3;
constexpr MailProtocol kSmtp = MailProtocol::kSmtp;

INSTANTIATE_TEST_SUITE_P(
    Forms, ServerAddressForms,
    ::testing::Values(
        AddressCase{"pop.example.jp", kPop3, "pop3://pop.example.jp:110/"},
        AddressCase{" pop.example.jp ", kPop3, "pop3://pop.example.jp:110/"},
        AddressCase{"pop.example.jp:1110", kPop3, "pop3://pop.example.jp:1110/"},
        AddressCase{"pop.example.jp:995", kPop3, "pop3s://pop.example.jp:995/"},
        AddressCase{"pop3://pop.example.jp", kPop3, "pop3://pop.example.jp:110/"},
        AddressCase{"pop3s://pop.example.jp", kPop3, "pop3s://pop.example.jp:995/"},
        AddressCase{"pop3s://pop.example.jp:1995/", kPop3, "pop3s://pop.example.jp:1995/"},
        AddressCase{"[::1]:110", kPop3, "pop3://[::1]:110/"},
        AddressCase{"pop3+stls://pop.example.jp", kPop3, "pop3://pop.example.jp:110/"},
        AddressCase{"smtp.example.jp", kSmtp, "smtp://smtp.example.jp:25/"},
        AddressCase{"smtp.example.jp:587", kSmtp, "smtp://smtp.example.jp:587/"},
        AddressCase{"smtp.example.jp:465", kSmtp, "smtps://smtp.example.jp:465/"},
        AddressCase{"smtps://smtp.example.jp", kSmtp, "smtps://smtp.example.jp:465/"},
        AddressCase{"", kPop3, nullptr}, AddressCase{"   ", kPop3, nullptr},
        AddressCase{"host:", kPop3, nullptr}, AddressCase{"host:0", kPop3, nullptr},
        AddressCase{"host:65536", kPop3, nullptr}, AddressCase{"host:12ab", kPop3, nullptr},
        AddressCase{"imap://host", kPop3, nullptr}, AddressCase{"smtp://host", kPop3, nullptr},
        AddressCase{"smtp+stls://host", kSmtp, nullptr},
        AddressCase{"pop3://host/INBOX", kPop3, nullptr}, AddressCase{"user@host", kPop3, nullptr},
        AddressCase{"ho st", kPop3, nullptr}, AddressCase{"[::1", kPop3, nullptr}));

TEST(ServerAddress, OnlyThePop3StlsSchemeRequiresStls) {
    EXPECT_TRUE(parseServerAddress("pop3+stls://h:1110", kPop3).value().requireStartTls);
    for (const char* text : {"h", "pop3://h", "pop3s://h", "h:995"}) {
        EXPECT_FALSE(parseServerAddress(text, kPop3).value().requireStartTls) << text;
    }
}

TEST(ServerAddress, OnlyAddressesOfThisMachineAreLoopbackNeverNames) {
    for (const char* host : {"127.0.0.1", "127.1.2.3", "[::1]", "[::ffff:127.0.0.1]"}) {
        EXPECT_TRUE(parseServerAddress(host, kSmtp).value().isLoopback()) << host;
    }
    for (const char* host : {"128.0.0.1", "mail.example.jp", "localhost", "127.evil.example.com",
                             "127.0.0.1.nip.example", "[::2]"}) {
        const ServerAddress address = parseServerAddress(host, kSmtp).value();
        EXPECT_FALSE(address.isLoopback()) << host;
        if (std::string_view(host) != "localhost") {
            EXPECT_FALSE(resolvedForLoopback(address).isLoopback()) << host;
        }
    }
    const ServerAddress local = resolvedForLoopback(parseServerAddress("localhost", kSmtp).value());
    EXPECT_TRUE(local.isLoopback()) << "localhost resolves to loopback here";
    EXPECT_EQ(local.host, "localhost") << "the name stays for the certificate check";
}

TEST(Apop, TimestampMustBeAWellFormedMessageId) {
    EXPECT_EQ(apopTimestamp("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>"),
              "<1896.697170952@dbc.mtview.ca.us>");
    EXPECT_EQ(apopTimestamp("+OK ready"), "");
    EXPECT_EQ(apopTimestamp("+OK ready <no-at-sign>"), "");
    EXPECT_EQ(apopTimestamp("+OK ready <@host>"), "");
    EXPECT_EQ(apopTimestamp("+OK ready <a b@host>"), "");
    EXPECT_EQ(apopTimestamp("+OK ready <1.2@host"), "");
}

TEST(Apop, DigestMatchesTheStandardsExample) {
    EXPECT_EQ(apopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"),
              "c4c9334bac560ecc979e58001b3e22fb");
}

}  // namespace
}  // namespace qf::transport
