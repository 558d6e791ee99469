// AUTH XOAUTH2 against Dovecot's oauth2 passdb and the test SMTP server, both
// asking the local provider's introspection endpoint about the token.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "auth/OAuthAccount.h"
#include "receive/ReceiveRun.h"
#include "receive/ReceiveTestSupport.h"
#include "tests/support/LocalProvider.h"
#include "tests/support/MailServers.h"
#include "transport/NMail.h"
#include "transport/SmtpSender.h"
#include "transport/TransportFault.h"

namespace qf::auth {
namespace {

using transport::TransportFault;

class XOAuth2Login : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_GT(m_provider.port(), 0);
        const std::string command = "/usr/bin/python3 " + script() + " start " + m_env +
                                    " --tls --oauth " + m_provider.url("/introspect") +
                                    " >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        m_servers = testing::MailServers::fromFile(m_env);
        ::setenv("QUILLFERN_CA_FILE", m_servers.caFile.c_str(), 1);
        ASSERT_TRUE(m_account.signIn(m_servers.user, m_browser.opener(), m_cancelled,
                                     std::chrono::seconds(20)));
    }
    void TearDown() override {
        transport::NMailSetSmtpAuth("", "");
        std::system(("/usr/bin/python3 " + script() + " stop " + m_env).c_str());
    }
    static std::string script() {
        return std::string(std::getenv("QF_SOURCE_DIR")) + "/tests/servers/mailservers.py";
    }
    std::string pop3s() const { return "pop3s://127.0.0.1:" + std::to_string(m_servers.pop3sPort); }
    // The waiting count, or the transport's fault when the login failed.
    std::pair<int, TransportFault> login(const std::string& server, const std::string& token) {
        const int handle = transport::NMailPop3Connect(server.c_str());
        EXPECT_GE(handle, 0);
        const int waiting = transport::NMailPop3Authenticate(
            handle, m_servers.user.c_str(), token.c_str(), transport::kLoginXOAuth2);
        const auto fault = static_cast<TransportFault>(transport::NMailGetErrorCode(0, nullptr, 0));
        transport::NMailPop3Close(handle);
        return {waiting, waiting < 0 ? fault : TransportFault::kNone};
    }
    TransportFault send(const std::string& token) {
        transport::NMailSetSmtpOAuth(m_servers.user.c_str(), token.c_str());
        const std::string server = "smtps://127.0.0.1:" + std::to_string(m_servers.smtpsPort);
        const int sent =
            transport::NMailSmtpSendMail(server.c_str(), "to@example.org", nullptr, nullptr,
                                         "qftest@example.org", "subject", "body", nullptr, "", 0);
        return sent < 0 ? static_cast<TransportFault>(transport::NMailGetErrorCode(0, nullptr, 0))
                        : TransportFault::kNone;
    }

    testing::LocalProvider m_provider;
    testing::TestBrowser m_browser;
    std::atomic<bool> m_cancelled{false};
    std::string m_refreshToken;
    OAuthAccount m_account{[this] {
                               OAuthProvider p;
                               p.authorizeUrl = m_provider.url("/authorize");
                               p.tokenUrl = m_provider.url("/token");
                               p.clientId = "quillfern-test-client";
                               return p;
                           }(),
                           {[this] { return m_refreshToken; },
                            [this](const std::string& token) {
                                m_refreshToken = token;
                                return Status::ok();
                            }}};
    std::string m_env = std::string(std::getenv("QF_BINARY_DIR")) + "/mailservers-oauth.env";
    testing::MailServers m_servers;
};

TEST_F(XOAuth2Login, Pop3TakesALiveTokenRefusesAnExpiredOneAndTakesTheRefreshedOne) {
    const std::string token = m_account.accessToken().value();
    EXPECT_EQ(login(pop3s(), token).second, TransportFault::kNone);
    m_provider.admin("expire");
    EXPECT_EQ(login(pop3s(), token).second, TransportFault::kTokenRefused);
    m_account.tokenRefused();
    const std::string fresh = m_account.accessToken().value();
    EXPECT_NE(fresh, token);
    EXPECT_EQ(login(pop3s(), fresh).second, TransportFault::kNone);
}

TEST_F(XOAuth2Login, SmtpSendsWithALiveTokenAndTellsARefusedOne) {
    const std::string token = m_account.accessToken().value();
    EXPECT_EQ(send(token), TransportFault::kNone);
    m_provider.admin("expire");
    transport::releaseSmtpConnection();  // a kept session would not log in again
    EXPECT_EQ(send(token), TransportFault::kTokenRefused);
}

// The receive run logs in with the account's token; a refused one is
// refreshed once, and a refused refresh asks for a sign-in in the program.
TEST_F(XOAuth2Login, ReceiveRunRefreshesARefusedTokenAndTellsWhenASignInIsNeeded) {
    ASSERT_TRUE(m_account.accessToken());
    m_servers.deliver("From: a@example.org\r\nSubject: hello\r\n\r\nbody\r\n");
    receive::testing::ProgramFolderFixture box;
    receive::ReceiveRequest request;
    request.folder = box.folder();
    request.pop3Server = pop3s();
    request.account = {m_servers.user, {}};
    request.accessToken = [this](bool refused) {
        if (refused) {
            m_account.tokenRefused();
        }
        return m_account.accessToken();
    };
    receive::testing::RecordingObserver observer;
    receive::ReceiveSession session;
    m_provider.admin("expire");  // the token the account holds is refused now
    const receive::ReceiveOutcome received = session.run(request, observer);
    EXPECT_TRUE(received.succeeded()) << received.serverMessage;
    EXPECT_EQ(received.stored, 1);

    m_provider.admin("expire");
    m_provider.admin("revoke");
    const receive::ReceiveOutcome refused = session.run(request, observer);
    EXPECT_EQ(refused.end, receive::RunEnd::kAuthenticationFailed);
    EXPECT_EQ(refused.fault, TransportFault::kTokenRefused);
    EXPECT_EQ(refused.serverMessage.find(m_refreshToken), std::string::npos);
}

// A server that greets in clear text and lists no XOAUTH2: the token is
// never sent, and the fault is not that of a refused token.
TEST_F(XOAuth2Login, PlainServerWithoutTheMechanismIsToldApartFromARefusal) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::string received;
    std::thread server([&] {
        const int client = ::accept(listener, nullptr, nullptr);
        const std::string capabilities = "+OK ready\r\n+OK\r\nUSER\r\nSASL PLAIN\r\n.\r\n";
        ::send(client, capabilities.data(), capabilities.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t n; (n = ::recv(client, buffer, sizeof buffer, 0)) > 0;) {
            received.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(client);
    });
    const std::string token = m_account.accessToken().value();
    EXPECT_EQ(login("127.0.0.1:" + std::to_string(ntohs(address.sin_port)), token).second,
              TransportFault::kMechanismNotOffered);
    server.join();
    ::close(listener);
    EXPECT_EQ(received.find(token), std::string::npos);
    EXPECT_EQ(received.find("AUTH"), std::string::npos);
}

}  // namespace
}  // namespace qf::auth
