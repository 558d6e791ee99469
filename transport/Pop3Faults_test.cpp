// The POP3 session against a scripted server that lies, stalls, cuts the
// stream or refuses: every case ends within its time limit with an error,
// no corrupted text in the caller's buffers and nothing deleted.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ScriptedServer.h"
#include "text/Cp932.h"
#include "transport/NMail.h"
#include "transport/NMailTestSupport.h"
#include "transport/Pop3Mailbox.h"
#include "transport/Pop3Session.h"

namespace qf::transport {
namespace {

using testing::kApop;
using testing::kPlain;
using testing::lastFault;
using testing::lastMessage;

using namespace std::chrono_literals;
using qf::testing::ScriptedConnection;
using qf::testing::ScriptedServer;

const std::string kMail = "Subject: hello\r\nFrom: a@example.jp\r\n\r\nbody\r\n";

// A small POP3 server: greets, logs anyone in, offers `capabilities`, lists
// `listing` (UIDL "id<n>" for the same mails), answers RETR with `retrieve`
// and DELE with `deleteReply`. With `bursts` set it reads every line the
// client has sent before it answers, and records each burst.
struct FakePop3 {
    using Bursts = std::vector<std::vector<std::string>>;
    std::string greeting = "+OK ready <1896.697170952@example.jp>";
    std::string capabilities = "USER\r\n";
    std::string capabilitiesOfUser;  // CAPA after the login, when not empty
    bool knowsCapa = true;           // false: CAPA gets "-ERR"
    bool knowsUidl = true;           // false: UIDL gets "-ERR"
    std::string listing =
        "1 " + std::to_string(kMail.size()) + "\r\n2 " + std::to_string(kMail.size()) + "\r\n";
    std::function<void(ScriptedConnection&, int)> retrieve = [](ScriptedConnection& c, int) {
        c.send("+OK\r\n" + kMail + ".\r\n");
    };
    std::function<std::string(int)> deleteReply = [](int) { return "+OK"; };
    int hangUpAfterRetrieve = 0;  // closes the connection after that RETR's reply
    std::shared_ptr<Bursts> bursts;

    void operator()(ScriptedConnection& c) const {
        if (!c.send(greeting + "\r\n")) {
            return;
        }
        bool loggedIn = false;
        for (std::vector<std::string> lines = readBurst(c); !lines.empty(); lines = readBurst(c)) {
            for (const std::string& line : lines) {
                if (!answer(c, line, loggedIn)) {
                    return;
                }
            }
        }
    }

    std::vector<std::string> readBurst(ScriptedConnection& c) const {
        std::vector<std::string> lines;
        for (std::string line = c.readLine(); !line.empty();
             line = bursts ? c.readLine(100ms) : std::string()) {
            lines.push_back(line);
        }
        if (bursts && !lines.empty()) {
            bursts->push_back(lines);
        }
        return lines;
    }

    // False once the connection is to end.
    bool answer(ScriptedConnection& c, const std::string& line, bool& loggedIn) const {
        const std::string verb = line.substr(0, line.find(' '));
        const int number = line.size() > 5 ? std::atoi(line.c_str() + 5) : 0;
        if ((verb == "CAPA" && !knowsCapa) || (verb == "UIDL" && !knowsUidl)) {
            c.send("-ERR unknown command\r\n");
        } else if (verb == "CAPA") {
            const bool ofUser = loggedIn && !capabilitiesOfUser.empty();
            c.send("+OK\r\n" + (ofUser ? capabilitiesOfUser : capabilities) + ".\r\n");
        } else if (verb == "USER" || verb == "PASS" || verb == "APOP") {
            loggedIn = verb != "USER";
            c.send("+OK\r\n");
        } else if (verb == "LIST") {
            c.send("+OK\r\n" + listing + ".\r\n");
        } else if (verb == "UIDL") {
            std::string ids;
            for (std::size_t at = 0; at < listing.size(); at = listing.find('\n', at) + 1) {
                const std::string n = listing.substr(at, listing.find(' ', at) - at);
                ids += n + " id" + n + "\r\n";
            }
            c.send("+OK\r\n" + ids + ".\r\n");
        } else if (verb == "RETR") {
            retrieve(c, number);
            return number != hangUpAfterRetrieve;
        } else if (verb == "DELE") {
            c.send(deleteReply(number) + "\r\n");
        } else if (verb == "QUIT") {
            c.send("+OK bye\r\n");
            return false;
        } else {
            c.send("-ERR unknown command\r\n");
        }
        return true;
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
    EXPECT_EQ(lastFault(), TransportFault::kApopNotOffered) << lastMessage();
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

TEST_F(Pop3Faults, LoginDelayComesFromTheCapabilitiesAndAUsersOwnAfterTheLogin) {
    struct Case {
        std::string before, after;
        int atConnect, atLogin;
        std::ptrdiff_t capaCommands;
    };
    const std::vector<Case> cases = {
        {"USER\r\nLOGIN-DELAY 900\r\n", "", 900, 900, 1},
        {"PIPELINING\r\nLOGIN-DELAY 300 USER\r\n", "LOGIN-DELAY 1800\r\n", 300, 1800, 2},
        {"USER\r\nLOGIN-DELAY 300 USER\r\n", "LOGIN-DELAY 60\r\n", 300, 60, 2},
        {"USER\r\nLOGIN-DELAY soon\r\n", "", 0, 0, 1},
        {"USER\r\n", "", 0, 0, 1},
    };
    for (const Case& row : cases) {
        FakePop3 pop3;
        pop3.capabilities = row.before;
        pop3.capabilitiesOfUser = row.after;
        ScriptedServer server(pop3);
        const int handle = NMailPop3Connect(server.address().c_str());
        ASSERT_GT(handle, 0) << lastMessage();
        EXPECT_EQ(NMailPop3GetLoginDelay(handle), row.atConnect) << row.before;
        EXPECT_EQ(NMailPop3Authenticate(handle, "user", "pass", kPlain), 2) << lastMessage();
        EXPECT_EQ(NMailPop3GetLoginDelay(handle), row.atLogin) << row.before;
        EXPECT_EQ(getMail(handle, 2), 1) << lastMessage();
        EXPECT_EQ(NMailPop3Close(handle), 1);
        const auto lines = server.linesReceived();
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "CAPA"), row.capaCommands);
    }
}

TEST_F(Pop3Faults, SilentServerEndsConnectWithinTheLimit) {
    ScriptedServer server([](ScriptedConnection& c) { c.stall(10s); });
    std::chrono::steady_clock::duration took{};
    EXPECT_EQ(timed([&] { return NMailPop3Connect(server.address().c_str()); }, took), -1);
    EXPECT_LT(took, 4s);
    EXPECT_EQ(lastFault(), TransportFault::kTimedOut) << lastMessage();
}

// A stop while the server has not greeted gives the connection up at once,
// whatever the connect limit.
TEST_F(Pop3Faults, AbandonedConnectToASilentServerEndsAtOnce) {
    ScriptedServer server([](ScriptedConnection& c) { c.stall(10s); });
    std::atomic<bool> abandon = false;
    std::thread stopper([&] {
        std::this_thread::sleep_for(200ms);
        abandon = true;
    });
    std::chrono::steady_clock::duration took{};
    auto mailbox = timed(
        [&] {
            return openPop3Mailbox(server.address(), TransferLimits{30, 30, 30}, &abandon);
        },
        took);
    stopper.join();
    ASSERT_FALSE(mailbox);
    EXPECT_EQ(mailbox.error().fault, TransportFault::kConnectFailed) << mailbox.error().message;
    EXPECT_LT(took, 1s);
}

// The typed mailbox: the whole mail as bytes, ids, and deletions only at close.
TEST_F(Pop3Faults, TheMailboxHandsOverWholeMailsAndDeletesAtClose) {
    FakePop3 script;
    auto deleted = std::make_shared<std::vector<int>>();
    script.deleteReply = [deleted](int m) {
        deleted->push_back(m);
        return std::string("+OK");
    };
    ScriptedServer server(script);
    auto mailbox = openPop3Mailbox(server.address(), TransferLimits{2, 2, 2});
    ASSERT_TRUE(mailbox) << mailbox.error().message;
    Pop3Mailbox& box = *mailbox.value();
    auto waiting = box.login({"user", "pass", Pop3Login::kPlain});
    ASSERT_TRUE(waiting);
    EXPECT_EQ(waiting.value(), 2);
    auto ids = box.uniqueIds();
    ASSERT_TRUE(ids);
    EXPECT_EQ(ids.value(), (std::vector<std::string>{"", "id1", "id2"}));
    auto mail = box.fetch(2);
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail.value(), kMail);
    EXPECT_TRUE(box.markDeleted(2));
    EXPECT_TRUE(deleted->empty());
    EXPECT_TRUE(box.close());
    EXPECT_EQ(*deleted, std::vector<int>{2});
    auto refused = openPop3Mailbox("imap://127.0.0.1", TransferLimits{});
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().fault, TransportFault::kBadServerName);
}

// The text the user reads in brackets: the server's reply as it came, and
// none for a fault the program found itself.
TEST_F(Pop3Faults, AFaultCarriesOnlyTheServersOwnText) {
    FakePop3 script;
    script.retrieve = [](ScriptedConnection& c, int) {
        c.send("-ERR [IN-USE] mailbox locked\r\n");
    };
    ScriptedServer server(script);
    auto mailbox = openPop3Mailbox(server.address(), TransferLimits{2, 2, 2});
    ASSERT_TRUE(mailbox) << mailbox.error().message;
    ASSERT_TRUE(mailbox.value()->login({"user", "pass", Pop3Login::kPlain}));
    auto mail = mailbox.value()->fetch(1);
    ASSERT_FALSE(mail);
    EXPECT_EQ(mail.error().message, "-ERR [IN-USE] mailbox locked");
    EXPECT_EQ(openPop3Mailbox("imap://127.0.0.1", TransferLimits{}).error().message, "");
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
    EXPECT_EQ(lastFault(), TransportFault::kFetchFailed) << lastMessage();
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
    for (int number = 1; number <= 3; ++number) {
        EXPECT_EQ(NMailPop3DeleteMail(handle, number), 1);
    }
    EXPECT_LT(NMailPop3Close(handle), 0);
    EXPECT_NE(lastMessage().find("-ERR no such message"), std::string::npos) << lastMessage();
    EXPECT_TRUE(sawCommand(server, "DELE 2"));
    EXPECT_FALSE(sawCommand(server, "DELE 3"));
    EXPECT_EQ(server.connections(), 1);
}

// Lists `count` mails of kMail's size.
std::string listingOf(int count) {
    std::string listing;
    for (int number = 1; number <= count; ++number) {
        listing += std::to_string(number) + " " + std::to_string(kMail.size()) + "\r\n";
    }
    return listing;
}

// Receives `count` mails as the receive run does (with their ids), marks
// each, closes; the bursts of commands the server read.
FakePop3::Bursts receiveMails(FakePop3 pop3, int count = 5) {
    pop3.listing = listingOf(count);
    pop3.bursts = std::make_shared<FakePop3::Bursts>();
    ScriptedServer server(pop3);
    const int handle = NMailPop3Connect(server.address().c_str());
    EXPECT_EQ(NMailPop3Authenticate(handle, "user", "pass", kApop), count) << lastMessage();
    std::vector<char> id(80), texts(8192), body(kMail.size() + 1);
    for (int number = 1; number <= count; ++number) {
        EXPECT_EQ(NMailPop3GetUniqueId(handle, number, id.data(), 80), 1);
        EXPECT_EQ(std::string(id.data()), "id" + std::to_string(number));
        EXPECT_EQ(NMailPop3GetMail(handle, number, texts.data(), texts.data(), texts.data(),
                                   texts.data(), body.data(), 0, 0),
                  1)
            << lastMessage();
        EXPECT_EQ(std::string(body.data()), "body\r\n");
        EXPECT_EQ(NMailPop3DeleteMail(handle, number), 1);
    }
    EXPECT_EQ(NMailPop3Close(handle), 1) << lastMessage();
    return *pop3.bursts;
}

bool hasBurst(const FakePop3::Bursts& bursts, const std::vector<std::string>& wanted) {
    return std::find(bursts.begin(), bursts.end(), wanted) != bursts.end();
}

TEST_F(Pop3Faults, PipelinesOnlyWhenTheServerOffersIt) {
    FakePop3 pop3;
    pop3.capabilities = "UIDL\r\nPIPELINING\r\n";
    const FakePop3::Bursts pipelined = receiveMails(pop3);
    const auto login = std::find_if(pipelined.begin(), pipelined.end(), [](const auto& burst) {
        return burst.front().starts_with("APOP ");
    });
    ASSERT_NE(login, pipelined.end());
    EXPECT_EQ(*login, (std::vector<std::string>{login->front(), "UIDL", "LIST"}));
    EXPECT_TRUE(hasBurst(pipelined, {"RETR 1", "RETR 2", "RETR 3", "RETR 4", "RETR 5"}));
    EXPECT_TRUE(hasBurst(pipelined, {"DELE 1", "DELE 2", "DELE 3", "DELE 4", "DELE 5", "QUIT"}));

    pop3.capabilities = "UIDL\r\n";
    const FakePop3::Bursts oneByOne = receiveMails(pop3);
    EXPECT_EQ(oneByOne.size(), 15u);  // CAPA, APOP, UIDL, LIST, 5 RETR, 5 DELE, QUIT
    for (const auto& burst : oneByOne) {
        EXPECT_EQ(burst.size(), 1u) << burst.front() << " came with others";
    }
}

// More mails than the window holds: every command goes out once, in order,
// QUIT after the last DELE, and no burst is larger than the window.
TEST_F(Pop3Faults, ManyMailsGoThroughTheWindowInOrder) {
    FakePop3 pop3;
    pop3.capabilities = "UIDL\r\nPIPELINING\r\n";
    constexpr int kMails = 700;
    std::vector<std::string> sent;
    for (const auto& burst : receiveMails(pop3, kMails)) {
        EXPECT_LE(burst.size(), 256u);
        sent.insert(sent.end(), burst.begin(), burst.end());
    }
    std::vector<std::string> expected;
    for (const char* verb : {"RETR ", "DELE "}) {
        for (int number = 1; number <= kMails; ++number) {
            expected.push_back(verb + std::to_string(number));
        }
    }
    expected.push_back("QUIT");
    const auto retrieving = std::find(sent.begin(), sent.end(), "RETR 1");
    ASSERT_NE(retrieving, sent.end());
    EXPECT_EQ(std::vector<std::string>(retrieving, sent.end()), expected);
}

// UIDL is older than CAPA: a server that does not list it, or does not know
// CAPA at all, is still asked; only a refused UIDL means there are no ids.
TEST_F(Pop3Faults, UniqueIdsAreAskedForWhateverCapaSays) {
    struct Case {
        bool knowsCapa, knowsUidl;
        int idResult;
    };
    for (const Case& row : {Case{false, true, 1}, Case{true, true, 1}, Case{false, false, 0}}) {
        FakePop3 pop3;
        pop3.knowsCapa = row.knowsCapa;
        pop3.knowsUidl = row.knowsUidl;
        ScriptedServer server(pop3);
        const int handle = login(server);
        std::vector<char> id(80, '\0');
        EXPECT_EQ(NMailPop3GetUniqueId(handle, 2, id.data(), 80), row.idResult) << row.knowsCapa;
        EXPECT_EQ(std::string(id.data()), row.idResult == 1 ? "id2" : "");
        EXPECT_EQ(getMail(handle, 2), 1) << lastMessage();
        EXPECT_EQ(NMailPop3Close(handle), 1);
    }
}

TEST_F(Pop3Faults, PipelinedRetrievesStayWithinTheWindow) {
    FakePop3 pop3;
    pop3.capabilities = "PIPELINING\r\n";
    pop3.listing = listingOf(300);
    pop3.bursts = std::make_shared<FakePop3::Bursts>();
    ScriptedServer server(pop3);
    const int handle = NMailPop3Connect(server.address().c_str());
    ASSERT_EQ(NMailPop3Authenticate(handle, "user", "pass", kPlain), 300);
    EXPECT_EQ(getMail(handle, 1), 1);
    EXPECT_EQ(NMailPop3Close(handle), 1) << lastMessage();
    const auto first = std::find_if(pop3.bursts->begin(), pop3.bursts->end(),
                                    [](const auto& burst) { return burst.front() == "RETR 1"; });
    ASSERT_NE(first, pop3.bursts->end());
    EXPECT_EQ(first->size(), Pop3Session::kWindowCommands);
}

// Mail left on the server is never sent ahead: a skipped mail costs no RETR.
TEST_F(Pop3Faults, SkippedMailsAreNotRetrievedAhead) {
    FakePop3 pop3;
    pop3.capabilities = "UIDL\r\nPIPELINING\r\n";
    pop3.listing = listingOf(5);
    ScriptedServer server(pop3);
    const int handle = NMailPop3Connect(server.address().c_str());
    ASSERT_EQ(NMailPop3Authenticate(handle, "user", "pass", kPlain), 5);
    for (int skipped : {1, 2, 4}) {
        EXPECT_EQ(NMailPop3SkipMail(handle, skipped), 1);
    }
    EXPECT_LT(NMailPop3SkipMail(handle, 6), 0);
    EXPECT_EQ(getMail(handle, 3), 1);
    EXPECT_EQ(getMail(handle, 5), 1);
    EXPECT_EQ(NMailPop3Close(handle), 1) << lastMessage();
    for (const char* retrieve : {"RETR 1", "RETR 2", "RETR 4"}) {
        EXPECT_FALSE(sawCommand(server, retrieve)) << retrieve;
    }
    EXPECT_TRUE(sawCommand(server, "RETR 5"));
}

TEST_F(Pop3Faults, ConnectionClosedInAPipelinedBurstDeletesNothing) {
    FakePop3 pop3;
    pop3.capabilities = "PIPELINING\r\n";
    pop3.listing = listingOf(3);
    pop3.retrieve = [](ScriptedConnection& c, int number) {
        c.send(number == 2 ? "+OK\r\nSubject: hel" : "+OK\r\n" + kMail + ".\r\n");
    };
    pop3.hangUpAfterRetrieve = 2;  // RETR 3 was sent with the others
    pop3.bursts = std::make_shared<FakePop3::Bursts>();
    ScriptedServer server(pop3);
    const int handle = NMailPop3Connect(server.address().c_str());
    ASSERT_EQ(NMailPop3Authenticate(handle, "user", "pass", kPlain), 3);
    EXPECT_EQ(getMail(handle, 1), 1);
    EXPECT_EQ(NMailPop3DeleteMail(handle, 1), 1);
    std::fill(subject.begin(), subject.end() - 1, 'u');
    EXPECT_LT(getMail(handle, 2), 0);
    EXPECT_TRUE(buffersUntouched());
    EXPECT_TRUE(sawCommand(server, "RETR 3"));
    EXPECT_LT(NMailPop3Close(handle), 0);
    EXPECT_FALSE(sawCommand(server, "DELE"));
    EXPECT_EQ(server.connections(), 1);
}

// A server that pipelined last time is asked its capabilities with the
// login; one that no longer pipelines still gets each mail, one command at a
// time, and one that breaks the burst is dialled again the careful way.
TEST_F(Pop3Faults, APresumedServerIsAskedItsCapabilitiesWithTheLogin) {
    struct Case {
        std::string capabilities;
        Pop3Login method;
        std::vector<std::string> firstBurst;  // the login's password elided
        bool pipelinedRetrieves, presumeNextTime;
    };
    const std::vector<Case> cases = {
        {"UIDL\r\nPIPELINING\r\n", Pop3Login::kApop, {"CAPA", "APOP", "UIDL", "LIST"}, true, true},
        {"UIDL\r\n", Pop3Login::kApop, {"CAPA", "APOP", "UIDL", "LIST"}, false, false},
        // A clear-text password waits for the answer (STLS may be offered now).
        {"UIDL\r\nPIPELINING\r\n", Pop3Login::kPlain, {"CAPA"}, true, true},
        // Offered STLS since: asked first again next time.
        {"STLS\r\nPIPELINING\r\n", Pop3Login::kApop, {"CAPA", "APOP", "UIDL", "LIST"}, true, false},
    };
    for (const Case& row : cases) {
        FakePop3 pop3;
        pop3.capabilities = row.capabilities;
        pop3.listing = listingOf(3);
        pop3.bursts = std::make_shared<FakePop3::Bursts>();
        ScriptedServer server(pop3);
        auto mailbox =
            openPop3Mailbox(server.address(), TransferLimits{2, 2, 2}, nullptr, {true, row.method});
        ASSERT_TRUE(mailbox) << mailbox.error().message;
        Pop3Mailbox& box = *mailbox.value();
        ASSERT_EQ(box.login({"user", "pass", row.method}).value(), 3) << row.capabilities;
        for (int number = 1; number <= 3; ++number) {
            EXPECT_EQ(box.fetch(number).value(), kMail);
        }
        EXPECT_TRUE(box.close());
        EXPECT_EQ(box.mayBePresumedNextTime(), row.presumeNextTime) << row.capabilities;
        std::vector<std::string> verbs;
        for (const std::string& line : pop3.bursts->front()) {
            verbs.push_back(line.substr(0, line.find(' ')));
        }
        EXPECT_EQ(verbs, row.firstBurst) << row.capabilities;
        EXPECT_EQ(hasBurst(*pop3.bursts, {"RETR 1", "RETR 2", "RETR 3"}), row.pipelinedRetrieves)
            << row.capabilities;
    }

    // Answers CAPA without PIPELINING and then nothing more on the first
    // connection (connections are served one after the other); the second
    // is an ordinary server.
    auto connections = std::make_shared<std::atomic<int>>(0);
    ScriptedServer server([connections](ScriptedConnection& c) {
        if (++*connections == 1) {
            c.send(FakePop3{}.greeting + "\r\n");
            (void)c.readLine();
            c.send("+OK\r\nUIDL\r\n.\r\n");
            while (!c.readLine(5s).empty()) {
            }  // until the client gives up and hangs up
            return;
        }
        FakePop3{}(c);
    });
    auto mailbox = openPop3Mailbox(server.address(), TransferLimits{1, 1, 1}, nullptr,
                                   {true, Pop3Login::kApop});
    ASSERT_TRUE(mailbox) << mailbox.error().message;
    auto waiting = mailbox.value()->login({"user", "pass", Pop3Login::kApop});
    ASSERT_TRUE(waiting) << waiting.error().message;
    EXPECT_EQ(waiting.value(), 2);
    EXPECT_EQ(mailbox.value()->fetch(2).value(), kMail);
    EXPECT_TRUE(mailbox.value()->close());
    EXPECT_EQ(server.connections(), 2);
    EXPECT_FALSE(mailbox.value()->mayBePresumedNextTime());
}

TEST_F(Pop3Faults, AddressAskingForStlsIsRefusedWhenTheServerHasNone) {
    ScriptedServer server(FakePop3{});
    EXPECT_EQ(NMailPop3Connect(("pop3+stls://" + server.address()).c_str()), -1);
    EXPECT_EQ(lastFault(), TransportFault::kTlsNotOffered) << lastMessage();
    EXPECT_FALSE(sawCommand(server, "USER"));
    EXPECT_FALSE(sawCommand(server, "APOP"));
}

}  // namespace
}  // namespace qf::transport
