// The receive run against the real local POP3
// server (fixture "mailservers"): what lands in which box, and what stays on
// the server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "receive/PipeliningMemory.h"
#include "receive/ReceiveRun.h"
#include "receive/ReceiveTestSupport.h"
#include "receive/SeenList.h"
#include "settings/AccountFiles.h"
#include "settings/FolderLock.h"
#include "settings/ServerSettings.h"
#include "store/AttachmentIndex.h"
#include "store/MailStore.h"
#include "tests/support/MailServers.h"
#include "transport/NMail.h"
#include "words/Words.h"

namespace qf::receive {
namespace {

using ::testing::HasSubstr;
using testing::ProgramFolderFixture;
using testing::RecordingObserver;

std::string mail(const std::string& from, const std::string& subject, const std::string& body) {
    return "From: " + from + "\r\nTo: qftest@example.jp\r\nSubject: " + subject +
           "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0900\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
           body + "\r\n";
}

class ReceiveServersTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        transport::NMailInitializeWinSock();
        transport::NMailSetOption(transport::kOptionBufferSize, 8192);
    }

    ReceiveServersTest() : servers(qf::testing::MailServers::fromEnvironment()) {
        servers.clearMaildir();
        request.folder = box.folder();
        request.pop3Server = servers.pop3Server();
        request.account = {servers.user, servers.password};
        request.routingAddresses = {"taro@example.jp", "hanako@example.jp", "", "", ""};
    }

    ReceiveOutcome run() { return session.run(request, observer); }
    void deliverThreeAndDieAfterTheFirst();

    qf::testing::MailServers servers;
    ProgramFolderFixture box;
    ReceiveRequest request;
    RecordingObserver observer;
    ReceiveSession session;
};

TEST_F(ReceiveServersTest, MailIsSortedIntoItsBoxesAndLeavesTheServer) {
    servers.deliver(mail("taro@example.jp", "=?ISO-2022-JP?B?GyRCMnE1RCRON28bKEI=?=", "一通目"));
    servers.deliver(mail("other@example.jp", "=?UTF-8?B?44GK55+l44KJ44Gb?=", "二通目"));
    servers.deliver(mail("taro@example.jp", "=?UTF-8?B?6aCY5Y+O5pu4?=", "三通目"));
    const ReceiveOutcome outcome = run();

    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(observer.counters[0], 2);
    EXPECT_EQ(observer.counters[kOtherSlot], 1);
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
    const auto taro = box.mailsIn(0);
    ASSERT_EQ(taro.size(), 2u);
    std::multiset<std::string> subjects{taro[0].subject, taro[1].subject};
    EXPECT_EQ(subjects, (std::multiset<std::string>{"会議の件", "領収書"}));
    EXPECT_EQ(taro[0].from, "taro@example.jp");
    EXPECT_THAT(taro[0].body + taro[1].body, HasSubstr("一通目"));
    const auto other = box.mailsIn(kOtherSlot);
    ASSERT_EQ(other.size(), 1u);
    EXPECT_EQ(other[0].subject, "お知らせ");
    EXPECT_THAT(other[0].body, ::testing::StartsWith("二通目"));
    EXPECT_EQ(observer.notices, 0);
}

// The server pipelines: the second receive asks its capabilities with the
// APOP login, and gets every mail all the same.
TEST_F(ReceiveServersTest, TheNextApopReceiveLogsInWithoutWaitingForTheCapabilities) {
    request.apop = 1;
    const std::filesystem::path remembered = request.folder.dataFile(kPipeliningFileName);
    for (const std::string subject : {"first", "second"}) {
        servers.deliver(mail("other@example.jp", subject, "body"));
        servers.deliver(mail("taro@example.jp", subject, "body"));
        EXPECT_TRUE(run().succeeded()) << subject;
        EXPECT_TRUE(std::filesystem::exists(remembered));
        EXPECT_EQ(servers.messagesInMaildir(), 0u);
    }
    EXPECT_EQ(box.mailsIn(0).size(), 2u);
    EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 2u);
}

// A registered bare address catches its sender whatever the display name
// (encoded or not, domain in any case); look-alike addresses do not.
TEST_F(ReceiveServersTest, ARegisteredAddressCatchesItsSenderUnderAnyName) {
    request.routingAddresses[1] = "<hanako@example.jp>";
    servers.deliver(mail("Taro Yamada <taro@example.jp>", "named", "body"));
    servers.deliver(mail("=?UTF-8?B?5bGx55SwIOWkqumDjg==?= <taro@Example.JP>", "encoded", "b"));
    servers.deliver(mail("\"Hanako\" <hanako@example.jp>", "brackets", "body"));
    servers.deliver(mail("Taro <xtaro@example.jp>", "prefix", "body"));
    servers.deliver(mail("taro@example.jp.evil.example", "suffix", "body"));
    servers.deliver(mail("\"taro@example.jp\" <evil@evil.example>", "in name", "body"));
    (void)run();
    auto subjects = [&](int slot) {
        std::multiset<std::string> found;
        for (const auto& stored : box.mailsIn(slot)) {
            found.insert(stored.subject);
        }
        return found;
    };
    EXPECT_EQ(subjects(0), (std::multiset<std::string>{"named", "encoded"}));
    EXPECT_EQ(subjects(1), (std::multiset<std::string>{"brackets"}));
    EXPECT_EQ(subjects(kOtherSlot), (std::multiset<std::string>{"prefix", "suffix", "in name"}));
}

TEST_F(ReceiveServersTest, AMailWithoutSenderGoesToTheFirstEmptyRegistration) {
    servers.deliver("To: qftest@example.jp\r\nSubject: anonymous\r\n\r\nno sender\r\n");
    (void)run();
    ASSERT_EQ(box.mailsIn(2).size(), 1u);
    EXPECT_EQ(box.mailsIn(2)[0].subject, "anonymous");
    EXPECT_EQ(box.mailsIn(2)[0].from, "");
}

TEST_F(ReceiveServersTest, AnEmptyServerStoresNothingAndAsksForTheNotice) {
    const ReceiveOutcome outcome = run();
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.waiting, 0);
    EXPECT_EQ(observer.notices, 1);
    EXPECT_FALSE(std::filesystem::exists(box.box(0)));
}

TEST_F(ReceiveServersTest, AMailThatCannotBeStoredStaysOnTheServer) {
    {
        std::ofstream(box.box(kOtherSlot)).close();
        std::filesystem::resize_file(box.box(kOtherSlot), 32767ull * testing::kMailRecordBytes);
    }
    servers.deliver(mail("stranger@example.jp", "kept", "stays on the server"));
    servers.deliver(mail("hanako@example.jp", "stored", "goes to box 2"));
    const ReceiveOutcome outcome = run();

    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(outcome.keptOnServer, 1);
    EXPECT_EQ(servers.messagesInMaildir(), 1u);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kStoreFailed);
    ASSERT_EQ(box.mailsIn(1).size(), 1u);

    // Once the box has room again the next run fetches the kept mail.
    std::filesystem::resize_file(box.box(kOtherSlot), 0);
    EXPECT_TRUE(run().succeeded());
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
    ASSERT_EQ(box.mailsIn(kOtherSlot).size(), 1u);
    EXPECT_EQ(box.mailsIn(kOtherSlot)[0].subject, "kept");
}

TEST_F(ReceiveServersTest, AWrongPasswordIsReportedWithTheServersText) {
    servers.deliver(mail("taro@example.jp", "x", "y"));
    request.account.password = "wrong";
    const ReceiveOutcome outcome = run();
    EXPECT_EQ(outcome.end, RunEnd::kAuthenticationFailed);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kAuthenticationFailed);
    EXPECT_THAT(observer.messages[0].detail, ::testing::StartsWith("-ERR"));
    EXPECT_EQ(observer.messages[0].fault, transport::TransportFault::kLoginRefused);
    EXPECT_EQ(servers.messagesInMaildir(), 1u);
}

TEST_F(ReceiveServersTest, AnIncompleteSplitMailIsReportedAndStillStored) {
    servers.deliver(
        "From: taro@example.jp\r\nSubject: part 1\r\nMIME-Version: 1.0\r\n"
        "Content-Type: message/partial; id=\"qf-split-1@example.jp\"; number=1; total=2\r\n\r\n"
        "From: taro@example.jp\r\nSubject: whole\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n\r\nfirst half\r\n");
    const ReceiveOutcome outcome = run();
    EXPECT_EQ(outcome.stored, 1);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kSplitMailIncomplete);
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
}

TEST_F(ReceiveServersTest, AMailWhoseAttachmentCannotBeWrittenStaysOnTheServer) {
    // A file where the attachment folder should be: nothing can be written there.
    std::filesystem::remove_all(request.folder.attachmentFolder());
    std::ofstream(request.folder.attachmentFolder()) << "not a folder";
    servers.deliver(
        "From: taro@example.jp\r\nSubject: with attachment\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
        "--b1\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nsee the file\r\n"
        "--b1\r\nContent-Type: text/plain; name=\"a.txt\"\r\n"
        "Content-Disposition: attachment; filename=\"a.txt\"\r\n\r\nattached text\r\n"
        "--b1--\r\n");
    const ReceiveOutcome outcome = run();
    EXPECT_EQ(outcome.stored, 0);
    EXPECT_EQ(outcome.keptOnServer, 1);
    ASSERT_EQ(observer.messages.size(), 2u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kAttachmentCannotBeOpened);
    EXPECT_EQ(observer.messages[1].kind, MessageKind::kStoreFailed);
    // The system's own words, not the program's diagnostic around them.
    EXPECT_EQ(observer.messages[1].detail, "Not a directory");
    EXPECT_FALSE(std::filesystem::exists(box.box(0)));
    EXPECT_EQ(servers.messagesInMaildir(), 1u);

    // Once the folder can take it, the next run gets the mail and its file.
    std::filesystem::remove(request.folder.attachmentFolder());
    EXPECT_TRUE(run().succeeded());
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
    ASSERT_EQ(box.mailsIn(0).size(), 1u);
    EXPECT_THAT(box.mailsIn(0)[0].body, HasSubstr("see the file"));
    EXPECT_THAT(box.mailsIn(0)[0].body, HasSubstr(ui::words(ui::Say::kReceiveAttachmentNotice)));
    std::string attached;
    std::getline(std::ifstream(request.folder.attachmentFolder() / "a.txt"), attached);
    EXPECT_THAT(attached, HasSubstr("attached text"));
}

TEST_F(ReceiveServersTest, AnAttachmentIsExpandedIntoTheAttachmentFolder) {
    servers.deliver(
        "From: hanako@example.jp\r\nSubject: file\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
        "--b1\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nhere it is\r\n"
        "--b1\r\nContent-Type: text/plain; name=\"memo.txt\"\r\n"
        "Content-Disposition: attachment; filename=\"memo.txt\"\r\n\r\nmemo text\r\n"
        "--b1--\r\n");
    const ReceiveOutcome outcome = run();
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_TRUE(observer.messages.empty());
    EXPECT_TRUE(std::filesystem::exists(request.folder.attachmentFolder() / "memo.txt"));
    EXPECT_FALSE(std::filesystem::exists(request.folder.workFile()));
}

// Two mails with an attachment of the same name: each record finds its own
// file again (the second was written as "memo(1).txt").
TEST_F(ReceiveServersTest, EachMailsFilesAreNotedUnderItsRecord) {
    for (const std::string text : {"first", "second"}) {
        servers.deliver("From: hanako@example.jp\r\nSubject: " + text +
                        "\r\nMIME-Version: 1.0\r\n"
                        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n"
                        "--b1\r\nContent-Type: text/plain\r\n\r\nhere\r\n"
                        "--b1\r\nContent-Type: text/plain; name=\"memo.txt\"\r\n"
                        "Content-Disposition: attachment; filename=\"memo.txt\"\r\n\r\n" +
                        text + "\r\n--b1--\r\n");
    }
    ASSERT_TRUE(run().succeeded());
    store::MailStore store(request.folder.dataFolder().string());
    int found = 0;
    for (int number = 1; number <= store::kReceivingBoxes; ++number) {
        const store::RecordLayout& layout = store::layoutOf(store::findBox(number)->kind);
        auto readable = [&](int record) {
            const Result<bool> read = store.readRecord(number, record);
            return read.isOk() && read.value();
        };
        for (int record = 1; readable(record); ++record) {
            const std::vector<std::string> names =
                store::attachmentsOf(request.folder.dataFile(store::kAttachmentIndexFile),
                                     store::attachmentKey(store.currentRecord(number), layout));
            ASSERT_EQ(names.size(), 1u);
            std::string attached;
            std::getline(std::ifstream(request.folder.attachmentFolder() / names[0]), attached);
            EXPECT_FALSE(attached.empty());
            EXPECT_THAT(store.currentFields(number).subject, HasSubstr(attached));
            ++found;
        }
    }
    EXPECT_EQ(found, 2);
}

// A run that dies right after storing its second mail, as a killed program
// does: the connection drops without QUIT and the server keeps every mail.
struct DyingObserver : ReceiveObserver {
    void onMailStored(int, int) override {
        if (++stored == 2) {
            _exit(0);
        }
    }
    int stored = 0;
};

// Three mails on the server; a run in a child process dies as the first
// mail is stored (DyingObserver), as a kill -9 would end it.
void ReceiveServersTest::deliverThreeAndDieAfterTheFirst() {
    for (const char* subject : {"one", "two", "three"}) {
        servers.deliver(mail("other@example.jp", subject, "body"));
    }
    const pid_t child = fork();
    if (child == 0) {
        DyingObserver dying;
        (void)session.run(request, dying);
        _exit(1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ReceiveServersTest, AfterAKillTheNextRunDeletesTheStoredMailsByTheirUidl) {
    ASSERT_NO_FATAL_FAILURE(deliverThreeAndDieAfterTheFirst());
    ASSERT_EQ(servers.messagesInMaildir(), 3u);

    const ReceiveOutcome outcome = run();
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.recovered, 2);
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 3u);
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
}

// Leaving mail on the server, against Dovecot's own UIDLs.
class LeaveOnServerServersTest : public ReceiveServersTest {
  protected:
    LeaveOnServerServersTest() {
        request.keepOnServer = true;
        request.keepDays = 3;
        request.clock = [this] { return now; };
        EXPECT_TRUE(
            startSeenList(request.folder.seenListFile(), request.pop3Server, request.account.id));
    }

    std::multiset<std::string> storedSubjects() const {
        std::multiset<std::string> subjects;
        for (const auto& stored : box.mailsIn(kOtherSlot)) {
            subjects.insert(stored.subject);
        }
        return subjects;
    }

    static constexpr std::int64_t kDay = 24 * 60 * 60;
    std::int64_t now = 1'800'000'000;
};

TEST_F(LeaveOnServerServersTest, ThreeRunsStoreEachMailOnceAndDeleteOnlyAfterItsDays) {
    servers.deliver(mail("other@example.jp", "first", "1"));
    servers.deliver(mail("other@example.jp", "second", "2"));
    EXPECT_EQ(run().stored, 2);

    now += kDay;
    servers.deliver(mail("other@example.jp", "third", "3"));
    const ReceiveOutcome second = run();
    EXPECT_EQ(second.stored, 1);
    EXPECT_EQ(second.leftOnServer, 2);

    now += kDay;
    servers.deliver(mail("other@example.jp", "fourth", "4"));
    const ReceiveOutcome third = run();
    EXPECT_TRUE(third.succeeded());
    EXPECT_EQ(third.stored, 1);
    EXPECT_EQ(third.deletedAfterDays, 0);
    EXPECT_EQ(servers.messagesInMaildir(), 4u);
    EXPECT_EQ(storedSubjects(), (std::multiset<std::string>{"first", "second", "third", "fourth"}));

    // Three days and a second after the first two were stored.
    now += kDay + 1;
    const ReceiveOutcome fourth = run();
    EXPECT_TRUE(fourth.succeeded());
    EXPECT_EQ(fourth.stored, 0);
    EXPECT_EQ(fourth.deletedAfterDays, 2);
    EXPECT_EQ(servers.messagesInMaildir(), 2u);
    EXPECT_EQ(storedSubjects().size(), 4u);
}

TEST_F(LeaveOnServerServersTest, AfterAKillTheStoredMailsAreLeftAndNotStoredAgain) {
    ASSERT_NO_FATAL_FAILURE(deliverThreeAndDieAfterTheFirst());

    const ReceiveOutcome outcome = run();
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.recovered, 2);
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(storedSubjects(), (std::multiset<std::string>{"one", "two", "three"}));
    EXPECT_EQ(servers.messagesInMaildir(), 3u);
    EXPECT_TRUE(run().succeeded());
    EXPECT_EQ(storedSubjects().size(), 3u);
}

}  // namespace
}  // namespace qf::receive
