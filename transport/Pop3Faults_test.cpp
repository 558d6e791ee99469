// The POP3 session against a scripted server that lies, stalls, cuts the
// stream or refuses: every case ends within its time limit with an error,
// no corrupted text in the caller's buffers and nothing deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/ScriptedServer.h"
#include "text/Cp932.h"
#include "transport/NMail.h"
#include "transport/NMailTestSupport.h"

namespace qf::transport {
namespace {

using testing::kApop;
using testing::kPlain;
using testing::lastMessage;

using namespace std::chrono_literals;
using qf::testing::ScriptedConnection;
using qf::testing::ScriptedServer;

const std::string kMail = "Subject: hello\r\nFrom: a@example.jp\r\n\r\nbody\r\n";

// A small POP3 server: greets, logs anyone in, lists `listing`, answers
// RETR with `retrieve` and DELE with `deleteReply`.
struct FakePop3 {
    std::string greeting = "+OK ready <1896.697170952@example.jp>";
    std::string listing =
        "1 " + std::to_string(kMail.size()) + "\r\n2 " + std::to_string(kMail.size()) + "\r\n";
    std::function<void(ScriptedConnection&, int)> retrieve = [](ScriptedConnection& c, int) {
        c.send("+OK\r\n" + kMail + ".\r\n");
    };
    std::function<std::string(int)> deleteReply = [](int) { return "+OK"; };

    void operator()(ScriptedConnection& c) const {
        if (!c.send(greeting + "\r\n"))
            return;
        for (std::string line = c.readLine(); !line.empty(); line = c.readLine()) {
            const std::string verb = line.substr(0, line.find(' '));
            const int number = line.size() > 5 ? std::atoi(line.c_str() + 5) : 0;
            if (verb == "CAPA") {
                c.send("+OK\r\nUSER\r\n.\r\n");
            } else if (verb == "USER" || verb == "PASS" || verb == "APOP") {
                c.send("+OK\r\n");
            } else if (verb == "LIST") {
                c.send("+OK\r\n" + listing + ".\r\n");
            } else if (verb == "RETR") {
                retrieve(c, number);
            } else if (verb == "DELE") {
                c.send(deleteReply(number) + "\r\n");
            } else if (verb == "QUIT") {
                c.send("+OK bye\r\n");
                return;
            } else {
                c.send("-ERR unknown command\r\n");
            }
        }
    }
};

bool sawCommand(const ScriptedServer& server, const std::string& verb) {
    const auto lines = server.linesReceived();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.starts_with(verb); });
}

class Pop3Faults : public ::testing::Test {
  protected:
    void SetUp() override {
        NMailInitializeWinSock();
        NMailSetOption(kOptionConnectTimeout, 1);
        NMailSetOption(kOptionReplyTimeout, 1);
        NMailSetOption(kOptionStallTimeout, 1);
        std::fill(subject.begin(), subject.end(), 'u');
        subject.back() = '\0';
    }
    void TearDown() override {
        NMailSetOption(kOptionConnectTimeout, 30);
        NMailSetOption(kOptionReplyTimeout, 60);
        NMailSetOption(kOptionStallTimeout, 60);
    }

    int login(const ScriptedServer& server, int apop = kPlain) {
        const int handle = NMailPop3Connect(server.address().c_str());
        EXPECT_GT(handle, 0) << lastMessage();
        EXPECT_EQ(NMailPop3Authenticate(handle, "user", "pass", apop), 2) << lastMessage();
        return handle;
    }

    int getMail(int handle, int mailNumber) {
        body.assign(kMail.size() + 1, 'b');
        return NMailPop3GetMail(handle, mailNumber, subject.data(), date.data(), sender.data(),
                                header.data(), body.data(), 0, 0);
    }

    bool buffersUntouched() const { return std::string(subject.data()) == std::string(8191, 'u'); }

    std::vector<char> subject = std::vector<char>(8192), date = std::vector<char>(8192),
                      sender = std::vector<char>(8192), header = std::vector<char>(8192), body;
};

// A time limit must end the call, well before a test's own time-out.
template <typename Call>
auto timed(Call call, std::chrono::steady_clock::duration& took) {
    const auto started = std::chrono::steady_clock::now();
    auto result = call();
    took = std::chrono::steady_clock::now() - started;
    return result;
}

TEST_F(Pop3Faults, ApopIsNeverDowngradedWhenTheGreetingHasNoTimestamp) {
    FakePop3 pop3;
    pop3.greeting = "+OK ready";
    ScriptedServer server(pop3);
    const int handle = NMailPop3Connect(server.address().c_str());
    ASSERT_GT(handle, 0);
    EXPECT_LT(NMailPop3Authenticate(handle, "user", "pass", kApop), 0);
    EXPECT_NE(lastMessage().find("APOP"), std::string::npos) << lastMessage();
    NMailPop3Close(handle);
    EXPECT_FALSE(sawCommand(server, "USER"));
    EXPECT_FALSE(sawCommand(server, "PASS"));
    EXPECT_FALSE(sawCommand(server, "APOP"));
}

TEST_F(Pop3Faults, ApopSendsTheDigestOfTheGreetingsTimestamp) {
    FakePop3 pop3;  // the example exchange of the POP3 standard
    pop3.greeting = "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>";
    ScriptedServer server(pop3);
    const int handle = NMailPop3Connect(server.address().c_str());
    ASSERT_GT(handle, 0);
    EXPECT_EQ(NMailPop3Authenticate(handle, "mrose", "tanstaaf", kApop), 2);
    EXPECT_EQ(NMailPop3Close(handle), 1);
    EXPECT_TRUE(sawCommand(server, "APOP mrose c4c9334bac560ecc979e58001b3e22fb"));
    EXPECT_FALSE(sawCommand(server, "PASS"));
}

TEST_F(Pop3Faults, SilentServerEndsConnectWithinTheLimit) {
    ScriptedServer server([](ScriptedConnection& c) { c.stall(10s); });
    std::chrono::steady_clock::duration took{};
    EXPECT_EQ(timed([&] { return NMailPop3Connect(server.address().c_str()); }, took), -1);
    EXPECT_LT(took, 4s);
    EXPECT_NE(lastMessage().find("時間内"), std::string::npos) << lastMessage();
}

TEST_F(Pop3Faults, StalledReplyAndStalledTransferEndWithinTheLimit) {
    FakePop3 silent;  // RETR is never answered
    silent.retrieve = [](ScriptedConnection& c, int) { c.stall(10s); };
    FakePop3 stalled;  // RETR starts, then stops moving
    stalled.retrieve = [](ScriptedConnection& c, int) {
        c.send("+OK\r\nSubject: hel");
        c.stall(10s);
    };
    for (const FakePop3& script : {silent, stalled}) {
        ScriptedServer server(script);
        const int handle = login(server);
        std::chrono::steady_clock::duration took{};
        EXPECT_LT(timed([&] { return getMail(handle, 1); }, took), 0);
        EXPECT_LT(took, 5s);
        EXPECT_TRUE(buffersUntouched());
        NMailPop3DeleteMail(handle, 1);
        EXPECT_LT(NMailPop3Close(handle), 0);
        EXPECT_FALSE(sawCommand(server, "DELE"));
    }
}

TEST_F(Pop3Faults, ConnectionCutMidMailIsAnError) {
    FakePop3 pop3;
    pop3.retrieve = [](ScriptedConnection& c, int) {
        c.send("+OK\r\nSubject: hel");
    };  // then closes
    ScriptedServer server(pop3);
    const int handle = login(server);
    EXPECT_LT(getMail(handle, 1), 0);
    EXPECT_TRUE(buffersUntouched());
    EXPECT_LT(NMailPop3Close(handle), 0);
}

TEST_F(Pop3Faults, MailFarLargerThanListedOrEndlessLineIsRefused) {
    FakePop3 pop3;
    pop3.retrieve = [](ScriptedConnection& c, int) {
        c.send("+OK\r\n");
        const std::string chunk(65536, 'x');
        for (int i = 0; i < 200 && c.send(chunk); ++i) {
        }
    };
    ScriptedServer server(pop3);
    const int handle = login(server);
    std::chrono::steady_clock::duration took{};
    EXPECT_LT(timed([&] { return getMail(handle, 1); }, took), 0);
    EXPECT_LT(took, 5s);
    EXPECT_TRUE(buffersUntouched());
    EXPECT_NE(lastMessage().find("メールを受信できません。"), std::string::npos);
    EXPECT_LT(NMailPop3Close(handle), 0);
}

TEST_F(Pop3Faults, MailSlightlyLargerThanListedStillFitsTheBodyBuffer) {
    FakePop3 pop3;
    pop3.listing = "1 10\r\n2 10\r\n";  // the server understates the size
    ScriptedServer server(pop3);
    const int handle = login(server);
    ASSERT_EQ(NMailPop3GetMailStatus(handle, 1, subject.data(), date.data(), sender.data(),
                                     header.data(), 0),
              1);
    const int size = NMailPop3GetMailSize(handle, 1);
    EXPECT_EQ(size, static_cast<int>(kMail.size()));
    EXPECT_EQ(getMail(handle, 1), 1);
    EXPECT_EQ(std::string(body.data()), "body\r\n");
    EXPECT_EQ(NMailPop3Close(handle), 1);
}

TEST_F(Pop3Faults, RefusedRequestEndsTheSessionOnItsOneConnection) {
    FakePop3 pop3;
    pop3.retrieve = [](ScriptedConnection& c, int number) {
        if (number == 2) {
            c.send("-ERR message is locked\r\n");
        } else {
            c.send("+OK\r\n" + kMail + ".\r\n");
        }
    };
    ScriptedServer server(pop3);
    const int handle = login(server);
    EXPECT_EQ(getMail(handle, 1), 1);
    EXPECT_EQ(NMailPop3DeleteMail(handle, 1), 1);
    EXPECT_LT(getMail(handle, 2), 0);
    EXPECT_NE(lastMessage().find("-ERR message is locked"), std::string::npos) << lastMessage();
    // Everything after the refusal fails at once, on no new connection.
    EXPECT_LT(getMail(handle, 1), 0);
    EXPECT_LT(NMailPop3DeleteMail(handle, 2), 0);
    EXPECT_LT(NMailPop3Close(handle), 0);
    EXPECT_EQ(server.connections(), 1);
    EXPECT_FALSE(sawCommand(server, "DELE"));
}

TEST_F(Pop3Faults, RefusedDeleteAtCloseStopsTheDeletions) {
    FakePop3 pop3;
    pop3.listing = "1 10\r\n2 10\r\n3 10\r\n";
    pop3.deleteReply = [](int number) { return number == 2 ? "-ERR no such message" : "+OK"; };
    ScriptedServer server(pop3);
    const int handle = NMailPop3Connect(server.address().c_str());
    ASSERT_EQ(NMailPop3Authenticate(handle, "user", "pass", kPlain), 3);
    for (int number = 1; number <= 3; ++number)
        EXPECT_EQ(NMailPop3DeleteMail(handle, number), 1);
    EXPECT_LT(NMailPop3Close(handle), 0);
    EXPECT_NE(lastMessage().find("-ERR no such message"), std::string::npos) << lastMessage();
    EXPECT_TRUE(sawCommand(server, "DELE 2"));
    EXPECT_FALSE(sawCommand(server, "DELE 3"));
    EXPECT_EQ(server.connections(), 1);
}

}  // namespace
}  // namespace qf::transport
