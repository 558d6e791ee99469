// POP3 and SMTP over TLS against the local servers of the fixture
// "mailservers_tls": pop3s and smtps, STLS and STARTTLS on the plain ports,
// and the certificates the client must refuse.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/MailServers.h"
#include "tests/support/TempFolder.h"
#include "text/Cp932.h"
#include "transport/NMail.h"
#include "transport/NMailTestSupport.h"

namespace qf::transport {
namespace {

using testing::kApop;
using testing::kPlain;
using testing::lastFault;
using testing::lastMessage;

namespace fs = std::filesystem;
using qf::testing::MailServers;
using qf::testing::PrivateMailServers;
using qf::testing::TempFolder;

std::string withPort(const std::string& prefix, int port) {
    return prefix + ":" + std::to_string(port);
}

int send(const std::string& server, const std::string& subject, const std::string& body) {
    return NMailSmtpSendMail(server.c_str(), "qftest@example.jp", nullptr, nullptr,
                             "sender@example.jp", text::toCp932(subject).c_str(),
                             text::toCp932(body).c_str(), nullptr, "", 0);
}

// Dovecot's "Login:" lines, one per successful login.
std::vector<std::string> loginLines(const MailServers& servers) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : servers.dovecotLogText()) {
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line.find("Login: user=<") != std::string::npos) {
            lines.push_back(line);
        }
        line.clear();
    }
    return lines;
}

struct FetchedMail {
    std::string subject, header, body;  // UTF-8; header raw, body decoded
};

class NMailTls : public ::testing::Test {
  protected:
    void SetUp() override {
        NMailInitializeWinSock();
        NMailSetSmtpAuth("", "");
        servers.clearMaildir();
        trustTestCa();
    }
    void TearDown() override {
        // Also drops a kept SMTP connection, so each test makes its own.
        NMailEndWinSock();
        servers.clearMaildir();
        trustTestCa();
    }

    void trustTestCa() const { ::setenv("QUILLFERN_CA_FILE", servers.caFile.c_str(), 1); }

    std::string pop3s() const { return withPort("pop3s://127.0.0.1", servers.pop3sPort); }
    std::string smtps() const { return withPort("smtps://127.0.0.1", servers.smtpsPort); }

    // Fetches mail 1 from `server`, decodes it and deletes it.
    FetchedMail fetchAndDelete(const std::string& server) {
        FetchedMail fetched;
        const int handle = NMailPop3Connect(server.c_str());
        EXPECT_GT(handle, 0) << lastMessage();
        EXPECT_EQ(
            NMailPop3Authenticate(handle, servers.user.c_str(), servers.password.c_str(), kApop), 1)
            << lastMessage();
        std::vector<char> subject(8192), date(8192), sender(8192), header(8192);
        const int size = NMailPop3GetMailSize(handle, 1);
        std::vector<char> body(static_cast<std::size_t>(std::max(size, 0)) + 1);
        EXPECT_EQ(NMailPop3GetMail(handle, 1, subject.data(), date.data(), sender.data(),
                                   header.data(), body.data(), 0, 0),
                  1)
            << lastMessage();
        fetched.header = text::fromCp932(header.data());
        const std::string wholeMail = std::string(header.data()) + "\r\n" + body.data();
        std::vector<char> decoded(wholeMail.size() + 1);
        const TempFolder folder("qf-tls-test");
        NMailAttachmentFileFirst(0, subject.data(), date.data(), sender.data(), header.data(),
                                 decoded.data(), (folder.path() + "/").c_str(),
                                 (folder / "0.txt").c_str(), wholeMail.c_str(), 0);
        NMailAttachmentFileClose(0);
        fetched.subject = text::fromCp932(subject.data());
        fetched.body = text::fromCp932(decoded.data());
        EXPECT_EQ(NMailPop3DeleteMail(handle, 1), 1);
        EXPECT_EQ(NMailPop3Close(handle), 1) << lastMessage();
        return fetched;
    }

    MailServers servers = MailServers::fromEnvironment();
};

TEST_F(NMailTls, Pop3sFetchesAndDeletesOverTls) {
    servers.deliver(
        "From: a@example.jp\r\nSubject: =?UTF-8?B?5pqX5Y+344Gu44Oh44O844Or?=\r\n\r\n本文です\r\n");
    const std::size_t loginsBefore = loginLines(servers).size();
    const FetchedMail fetched = fetchAndDelete(pop3s());
    EXPECT_EQ(fetched.subject, "暗号のメール");
    EXPECT_NE(fetched.body.find("本文です"), std::string::npos) << fetched.body;
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
    const std::vector<std::string> logins = loginLines(servers);
    ASSERT_EQ(logins.size(), loginsBefore + 1);
    EXPECT_NE(logins.back().find("method=APOP"), std::string::npos) << logins.back();
    EXPECT_NE(logins.back().find(", TLS,"), std::string::npos) << logins.back();
}

TEST_F(NMailTls, PlainNameUpgradesWithStlsBeforeTheLogin) {
    for (const std::string& server :
         {servers.pop3Server(), withPort("pop3://127.0.0.1", servers.pop3Port),
          withPort("pop3+stls://127.0.0.1", servers.pop3Port)}) {
        const std::size_t loginsBefore = loginLines(servers).size();
        const int handle = NMailPop3Connect(server.c_str());
        ASSERT_GT(handle, 0) << server << ": " << lastMessage();
        EXPECT_EQ(
            NMailPop3Authenticate(handle, servers.user.c_str(), servers.password.c_str(), kPlain),
            0)
            << lastMessage();
        EXPECT_EQ(NMailPop3Close(handle), 1) << lastMessage();
        const std::vector<std::string> logins = loginLines(servers);
        ASSERT_EQ(logins.size(), loginsBefore + 1) << server;
        // Dovecot names the channel of the login: "TLS" after STLS, "secured"
        // for clear text on loopback.
        EXPECT_NE(logins.back().find(", TLS,"), std::string::npos) << logins.back();
    }
}

TEST_F(NMailTls, SmtpsAndStartTlsSendsComeBackAsSent) {
    const struct {
        std::string server, subject;
    } sends[] = {
        {smtps(), "暗号化した送信"},
        {servers.smtpServer(), "STARTTLSで送信"},
        {withPort("smtp://127.0.0.1", servers.smtpPort), "URLで送信"},
    };
    for (const auto& each : sends) {
        ASSERT_EQ(send(each.server, each.subject, "こんにちは。\r\n二行目\r\n"), 1)
            << each.server << ": " << lastMessage();
        ASSERT_EQ(servers.messagesInMaildir(), 1u);
        const FetchedMail fetched = fetchAndDelete(pop3s());
        EXPECT_EQ(fetched.subject, each.subject);
        EXPECT_NE(fetched.body.find("こんにちは。\r\n二行目"), std::string::npos) << fetched.body;
        // The server's trace line tells how the mail came in.
        EXPECT_NE(fetched.header.find(" with ESMTPS\r\n"), std::string::npos) << fetched.header;
    }
}

TEST_F(NMailTls, UntrustedCertificateStopsEverythingBeforeTheLogin) {
    ::unsetenv("QUILLFERN_CA_FILE");
    servers.deliver("From: a@example.jp\r\nSubject: stays\r\n\r\nbody\r\n");
    const std::size_t loginsBefore = loginLines(servers).size();
    for (const std::string& server : {pop3s(), servers.pop3Server()}) {
        EXPECT_EQ(NMailPop3Connect(server.c_str()), -1) << server;
        const std::string message = lastMessage();
        EXPECT_EQ(lastFault(), TransportFault::kTlsUntrustedCertificate) << message;
        EXPECT_NE(message.find("certificate"), std::string::npos) << message;
    }
    for (const std::string& server : {smtps(), servers.smtpServer()}) {
        EXPECT_LT(send(server, "件名", "本文"), 0) << server;
        EXPECT_EQ(lastFault(), TransportFault::kTlsUntrustedCertificate) << lastMessage();
    }
    // No password went out, nothing was deleted, nothing was sent.
    EXPECT_EQ(loginLines(servers).size(), loginsBefore);
    EXPECT_EQ(servers.messagesInMaildir(), 1u);
}

TEST_F(NMailTls, CertificateForAnotherNameIsRefused) {
    // The certificates come from the trusted CA; only the name is wrong.
    std::string message;
    for (const std::string& pop3ByName : {withPort("pop3s://localhost", servers.pop3sPort),
                                          withPort("localhost", servers.pop3Port)}) {
        EXPECT_EQ(NMailPop3Connect(pop3ByName.c_str()), -1);
        message = lastMessage();
        EXPECT_EQ(lastFault(), TransportFault::kTlsNameMismatch) << pop3ByName << ": " << message;
        EXPECT_NE(message.find("localhost"), std::string::npos) << message;
    }

    EXPECT_LT(send(withPort("smtps://127.0.0.1", servers.smtpsWrongNamePort), "件名", "本文"), 0);
    message = lastMessage();
    EXPECT_EQ(lastFault(), TransportFault::kTlsNameMismatch) << message;
    EXPECT_NE(message.find("127.0.0.1"), std::string::npos) << message;
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
}

TEST_F(NMailTls, OtherTlsFailuresNameTheirCause) {
    // An extra CA file that cannot be read, or holds no PEM certificate, is
    // reported, not ignored.
    const fs::path notPem =
        fs::temp_directory_path() / ("qf-tls-test-ca-" + std::to_string(::getpid()) + ".der");
    std::ofstream(notPem) << "not a certificate\n";
    std::string message;
    for (const std::string& file :
         {std::string("/nonexistent/quillfern-ca.pem"), notPem.string()}) {
        ::setenv("QUILLFERN_CA_FILE", file.c_str(), 1);
        EXPECT_EQ(NMailPop3Connect(pop3s().c_str()), -1);
        message = lastMessage();
        EXPECT_EQ(lastFault(), TransportFault::kTlsUnusableCaFile) << message;
        EXPECT_NE(message.find(file), std::string::npos) << message;
    }
    fs::remove(notPem);
    trustTestCa();

    // TLS from the first byte towards a port that speaks clear text first.
    EXPECT_EQ(NMailPop3Connect(withPort("pop3s://127.0.0.1", servers.pop3Port).c_str()), -1);
    EXPECT_EQ(lastFault(), TransportFault::kTlsHandshakeFailed) << lastMessage();
}

// Forwards one connection to a port of 127.0.0.1. The server's reply to the
// client's "STLS" reaches the client with `injected` behind it, in the same
// segment, as a man in the middle would send it.
class InjectingProxy {
  public:
    InjectingProxy(int targetPort, std::string injected)
        : m_targetPort(targetPort), m_injected(std::move(injected)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, 1) != 0) {
            ADD_FAILURE() << "the proxy cannot listen: " << std::strerror(errno);
        }
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~InjectingProxy() {
        m_stopping = true;
        m_thread.join();
        ::close(m_listener);
    }
    std::string address() const { return withPort("127.0.0.1", m_port); }
    bool injected() const { return m_done; }

  private:
    void serve() {
        pollfd waiting{m_listener, POLLIN, 0};
        while (!m_stopping && ::poll(&waiting, 1, 50) == 0) {
        }
        if (m_stopping) {
            return;
        }
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        target.sin_port = htons(static_cast<uint16_t>(m_targetPort));
        if (::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
            forward(client, server);
        }
        ::close(server);
        ::close(client);
    }

    void forward(int client, int server) {
        bool stlsSent = false;
        pollfd both[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        while (!m_stopping) {
            if (::poll(both, 2, 50) <= 0) {
                continue;
            }
            for (int from = 0; from < 2; ++from) {
                if (!(both[from].revents & (POLLIN | POLLHUP | POLLERR))) {
                    continue;
                }
                char buffer[16384];
                const ssize_t got = ::recv(both[from].fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    return;
                }
                std::string bytes(buffer, static_cast<std::size_t>(got));
                if (from == 0 && bytes.starts_with("STLS\r\n")) {
                    stlsSent = true;
                } else if (from == 1 && stlsSent && !m_done) {
                    bytes += m_injected;
                    m_done = true;
                }
                ::send(both[1 - from].fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            }
        }
    }

    int m_targetPort;
    std::string m_injected;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

TEST_F(NMailTls, PlainTextInjectedAfterTheStlsGoAheadIsNeverRead) {
    servers.deliver("From: a@example.jp\r\nSubject: =?UTF-8?B?5pys54mp?=\r\n\r\nbody\r\n");
    // Read inside TLS, this would be an empty capability list and a refused login.
    InjectingProxy proxy(servers.pop3Port, "+OK\r\n.\r\n-ERR injected\r\n");
    const std::size_t loginsBefore = loginLines(servers).size();
    const FetchedMail fetched = fetchAndDelete(proxy.address());
    EXPECT_TRUE(proxy.injected());
    EXPECT_EQ(fetched.subject, "本物");
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
    const std::vector<std::string> logins = loginLines(servers);
    ASSERT_EQ(logins.size(), loginsBefore + 1);
    EXPECT_NE(logins.back().find(", TLS,"), std::string::npos) << logins.back();
}

// A second pair of TLS servers whose SMTP side insists on AUTH, offered only
// inside TLS.
class NMailTlsAuth : public ::testing::Test {
  protected:
    void SetUp() override {
        NMailInitializeWinSock();
        servers = m_private.emplace("qf-tls-auth", "--tls --smtp-auth").servers();
        ::setenv("QUILLFERN_CA_FILE", servers.caFile.c_str(), 1);
        NMailSetSmtpAuth(servers.user.c_str(), servers.password.c_str());
    }
    void TearDown() override {
        NMailSetSmtpAuth("", "");
        NMailEndWinSock();
    }

    std::optional<PrivateMailServers> m_private;
    MailServers servers;
};

TEST_F(NMailTlsAuth, CredentialsGoInsideTls) {
    const std::string smtps = withPort("smtps://127.0.0.1", servers.smtpsPort);
    for (const std::string& server : {servers.smtpServer(), smtps}) {
        EXPECT_EQ(send(server, "認証つき", "本文"), 1) << server << ": " << lastMessage();
    }
    ASSERT_EQ(servers.messagesInMaildir(), 2u);
    // Both mails came in authenticated over TLS ("ESMTPSA").
    std::size_t authenticated = 0;
    for (const auto& entry : fs::directory_iterator(servers.maildir / "new")) {
        std::ifstream in(entry.path());
        const std::string stored{std::istreambuf_iterator<char>(in), {}};
        authenticated += stored.find(" with ESMTPSA\n") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(authenticated, 2u);
}

}  // namespace
}  // namespace qf::transport
