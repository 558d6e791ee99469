#include "compose/SendPass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "addressbook/AddressBookFile.h"
#include "compose/BatchMemory.h"
#include "compose/testing/SentMail.h"
#include "store/Originals.h"
#include "store/StoreTestSupport.h"
#include "tests/support/MailServers.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"
#include "transport/NMail.h"
#include "transport/Threading.h"

namespace qf::compose {
namespace {

namespace fs = std::filesystem;
constexpr int kHistoryBox = 11;

class SendPassTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_servers = testing::MailServers::fromEnvironment();
        m_servers.clearMaildir();
        m_store = std::make_unique<store::MailStore>(m_folder.path());
        m_settings = {m_servers.smtpServer(), "sender@example.jp", m_servers.user,
                      m_servers.password, "2026/12/08 13:05:09"};
    }

    void registerEntries(std::initializer_list<std::pair<const char*, const char*>> entries) {
        addressbook::AddressBookFile book(m_folder.path());
        for (const auto& [name, address] : entries) {
            ASSERT_TRUE(book.registerEntry(name, address).isOk());
        }
    }

    std::vector<store::MailFields> history() {
        std::vector<store::MailFields> records;
        EXPECT_TRUE(m_store
                        ->readAll(kHistoryBox,
                                  [&](int, std::span<const char> bytes) {
                                      records.push_back(store::decodeRecord(
                                          store::layoutOf(store::RecordKind::kSent), bytes));
                                      return Status::ok();
                                  })
                        .isOk());
        return records;
    }

    std::vector<testing::DecodedMail> fetch() {
        return testing::fetchDecoded(m_servers.host, m_servers.pop3Port, m_servers.user,
                                     m_servers.password);
    }

    testing::MailServers m_servers;
    qf::testing::TempFolder m_folder{"qf-sendpass"};
    std::unique_ptr<store::MailStore> m_store;
    SendSettings m_settings;
};

TEST_F(SendPassTest, SingleSendDeliversFortuneButHistoryKeepsTypedBody) {
    ComposedMail mail{"friend@example.jp", "件名のテスト", "本文です", {}};
    SendOptions options;
    options.fortune = true;
    options.fortuneSource = [] { return 0.0f; };
    SendReport report = sendComposedMail(*m_store, mail, m_settings, options);

    ASSERT_EQ(report.passCount(), 1);
    EXPECT_TRUE(report.allSent()) << report.passes[0].failure.diagnostic;
    const std::string withFortune = "本文です\r\n\r\n" + std::string(kFortuneHeader) + "\r\n\r\n" +
                                    std::string(kFortuneTexts[0]);
    EXPECT_EQ(report.sentBody, withFortune);
    // The history keeps the mail as it went (the fortune and all), as the
    // server delivered it but for the headers it adds in front.
    ASSERT_TRUE(m_store->readRecord(store::kSendHistoryBox, 1).value());
    auto sent = store::Originals(m_store->dataFolder())
                    .find(store::kSendHistoryBox, m_store->currentFields(store::kSendHistoryBox));
    ASSERT_TRUE(sent.isOk() && sent.value().has_value());
    std::string delivered = m_servers.onlyMailInMaildir();
    std::string lfSent = *sent.value();
    std::erase(lfSent, '\r');
    EXPECT_TRUE(delivered.ends_with(lfSent)) << lfSent;

    auto mails = fetch();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].subject, "件名のテスト");
    EXPECT_EQ(
        mails[0].body.substr(0, mails[0].body.find_last_not_of('\n') + 1),
        "本文です\n\n" + std::string(kFortuneHeader) + "\n\n" + std::string(kFortuneTexts[0]));

    auto records = history();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].subject, "件名のテスト");
    EXPECT_EQ(records[0].fromOrTo, "friend@example.jp");
    EXPECT_EQ(records[0].body, "本文です");
    EXPECT_EQ(records[0].date, "2026/12/08 13:05:09");
}

// A reply to a mail whose original is kept threads under it: the sink gets
// In-Reply-To and References; an id that is not plain never reaches it.
TEST_F(SendPassTest, AReplyCarriesItsThreadHeaders) {
    ComposedMail mail{"friend@example.jp", "Re:  ランチ", "行きます", {}};
    const transport::ReplyThread thread = transport::replyThreadOf(
        "Message-ID: <lunch-20261209@example.jp>\r\n"
        "References: <first@example.jp> <bad id@x\r\n <second@example.jp>\r\n\r\nbody\r\n");
    mail.inReplyTo = thread.inReplyTo;
    mail.references = transport::messageIdsOf(thread.references);
    ASSERT_FALSE(sendSingleMail(m_settings, mail).has_value());
    std::string delivered = m_servers.onlyMailInMaildir();
    for (std::size_t fold; (fold = delivered.find("\n ")) != std::string::npos;) {
        delivered.replace(fold, 2, " ");  // unfolded
    }
    EXPECT_NE(delivered.find("\nIn-Reply-To: <lunch-20261209@example.jp>\n"), std::string::npos)
        << delivered;
    EXPECT_NE(delivered.find("\nReferences: <first@example.jp> <second@example.jp> "
                             "<lunch-20261209@example.jp>\n"),
              std::string::npos)
        << delivered;
    EXPECT_EQ(delivered.find("bad id"), std::string::npos);
}

TEST_F(SendPassTest, BatchSendsToEveryEntryInOrderWithoutFortune) {
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    ComposedMail mail{"", "一括のお知らせ", "皆様へ", {}};
    SendOptions options;
    options.batch = true;
    options.batchPassCount = 3;
    options.fortune = true;  // batch mode never adds it
    std::vector<std::pair<int, int>> progress;
    SendObserver observer;
    observer.beforePass = [&](int pass, int count) { progress.emplace_back(pass, count); };
    SendReport report = sendComposedMail(*m_store, mail, m_settings, options, observer);

    EXPECT_EQ(report.count(PassResult::kSent), 3);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
    auto mails = fetch();
    ASSERT_EQ(mails.size(), 3u);
    std::set<std::string> recipients;
    for (const auto& sent : mails) {
        recipients.insert(sent.to);
        EXPECT_EQ(sent.body.substr(0, sent.body.find_last_not_of('\n') + 1), "皆様へ");
    }
    EXPECT_EQ(recipients,
              (std::set<std::string>{"ichiro@example.jp", "jiro@example.jp", "saburo@example.jp"}));
    // Each history record names the address its pass went to.
    auto records = history();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fromOrTo, "ichiro@example.jp");
    EXPECT_EQ(records[1].fromOrTo, "jiro@example.jp");
    EXPECT_EQ(records[2].fromOrTo, "saburo@example.jp");
}

TEST_F(SendPassTest, EmptyBookSendsNothingAndCountsAsComplete) {
    SendOptions options;
    options.batch = true;
    options.batchPassCount = 0;
    SendReport report = sendComposedMail(*m_store, {"", "s", "b", {}}, m_settings, options);
    EXPECT_EQ(report.passCount(), 0);
    EXPECT_TRUE(report.allSent());
    EXPECT_TRUE(history().empty());
    EXPECT_EQ(m_servers.messagesInMaildir(), 0u);
}

TEST_F(SendPassTest, VanishedEntryIsSkippedWithoutHistory) {
    // The list was filled with three rows; one entry was deleted since.
    registerEntries({{"一郎", "ichiro@example.jp"}, {"次郎", "jiro@example.jp"}});
    SendOptions options;
    options.batch = true;
    options.batchPassCount = 3;
    SendReport report = sendComposedMail(*m_store, {"", "s", "b", {}}, m_settings, options);
    EXPECT_EQ(report.count(PassResult::kSent), 2);
    EXPECT_EQ(report.count(PassResult::kSkipped), 1);
    EXPECT_EQ(report.passes[2].result, PassResult::kSkipped);
    EXPECT_FALSE(report.allSent());
    EXPECT_EQ(history().size(), 2u);
    EXPECT_EQ(fetch().size(), 2u);
}

// The history lists what was sent: neither a recipient the server refused
// nor one the program refused before any command went out.
TEST_F(SendPassTest, RefusedSendsCarryTheReasonAndAreNotListed) {
    testing::ScriptedServer server(testing::refuseEveryRecipient);
    m_settings.smtpServer = server.address();
    SendOptions options;
    options.fortune = true;
    SendReport report =
        sendComposedMail(*m_store, {"nobody@example.jp", "s", "b", {}}, m_settings, options);
    ASSERT_EQ(report.passCount(), 1);
    EXPECT_EQ(report.passes[0].result, PassResult::kRefused);
    const SendFailure& failure = report.passes[0].failure;
    EXPECT_EQ(failure.fault, transport::TransportFault::kRecipientRefused);
    EXPECT_EQ(failure.about, "nobody@example.jp");
    EXPECT_EQ(failure.diagnostic, "550 5.7.1 Relaying denied for this address");  // as sent

    report = sendComposedMail(
        *m_store, {"a@example.jp\r\nRCPT TO:<evil@evil.example>", "s", "b", {}}, m_settings, {});
    EXPECT_EQ(report.passes[0].result, PassResult::kRefused);
    EXPECT_EQ(report.passes[0].failure.diagnostic, "");  // nobody outside said anything
    EXPECT_TRUE(history().empty());
    transport::NMailEndWinSock();
}

// Eight in the book, two refused; deleting the first entry then shifts every
// record number. The retry still goes to exactly the two refused, and the
// history lists each address once.
TEST_F(SendPassTest, RetryAfterAnAddressBookDeleteGoesToExactlyTheMissed) {
    auto seen = std::make_shared<std::set<std::string>>();
    testing::ScriptedServer server([seen](testing::ScriptedConnection& c) {
        testing::takeMail(c, [seen](const std::string& rcpt) {
            const bool refusable =
                rcpt.find("p3@") != std::string::npos || rcpt.find("p6@") != std::string::npos;
            return refusable && seen->insert(rcpt).second;  // the first time only
        });
    });
    m_settings.smtpServer = server.address();
    registerEntries({{"1", "p1@example.jp"},
                     {"2", "p2@example.jp"},
                     {"3", "p3@example.jp"},
                     {"4", "p4@example.jp"},
                     {"5", "p5@example.jp"},
                     {"6", "p6@example.jp"},
                     {"7", "p7@example.jp"},
                     {"8", "p8@example.jp"}});
    SendOptions options;
    options.batch = true;
    options.batchPassCount = 8;
    const SendReport first = sendComposedMail(*m_store, {"", "s", "b", {}}, m_settings, options);
    EXPECT_EQ(first.count(PassResult::kSent), 6);
    BatchMemory memory;
    memory.remember(first);
    EXPECT_FALSE(memory.planRetry(first.bookAddresses).bookChanged);

    ASSERT_TRUE(addressbook::AddressBookFile(m_folder.path()).deleteEntry(1).isOk());
    std::vector<std::string> bookNow(first.bookAddresses.begin() + 1, first.bookAddresses.end());
    const BatchMemory::RetryPlan plan = memory.planRetry(bookNow);
    EXPECT_TRUE(plan.bookChanged);
    EXPECT_TRUE(plan.dropped.empty());
    const std::vector<BatchRecipient> missed{{"p3@example.jp", false}, {"p6@example.jp", false}};
    EXPECT_EQ(plan.recipients, missed);
    // A missed entry deleted since is left out, and named.
    const BatchMemory::RetryPlan withoutP3 = memory.planRetry({"p6@example.jp"});
    EXPECT_EQ(withoutP3.dropped, std::vector<std::string>{"p3@example.jp"});
    EXPECT_EQ(withoutP3.recipients.size(), 1u);

    options.retry = plan.recipients;
    const SendReport again = sendComposedMail(*m_store, {"", "s", "b", {}}, m_settings, options);
    EXPECT_TRUE(again.allSent());
    memory.remember(again);
    EXPECT_FALSE(memory.holdsMissed());
    const std::vector<std::string> lines = server.linesReceived();
    std::multiset<std::string> listed;
    for (const store::MailFields& record : history()) {
        listed.insert(record.fromOrTo);
    }
    for (int n = 1; n <= 8; ++n) {
        const std::string address = "p" + std::to_string(n) + "@example.jp";
        const bool wasRefused = n == 3 || n == 6;
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "RCPT TO:<" + address + ">"),
                  wasRefused ? 2 : 1)
            << address;
        EXPECT_EQ(listed.count(address), 1u) << address;
    }
    transport::NMailEndWinSock();
}

TEST_F(SendPassTest, BatchPassesShareOneServerSession) {
    testing::ScriptedServer server([](testing::ScriptedConnection& c) { testing::takeMail(c); });
    m_settings.smtpServer = server.address();
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    SendOptions options;
    options.batch = true;
    options.batchPassCount = 3;
    SendReport report = sendComposedMail(*m_store, {"", "s", "b", {}}, m_settings, options);
    EXPECT_EQ(report.count(PassResult::kSent), 3);
    EXPECT_EQ(server.connections(), 1);
    transport::NMailEndWinSock();  // hangs up the kept session
}

TEST_F(SendPassTest, CopiesGoToTheEnvelopeAndOnlyCcIntoTheMail) {
    testing::ScriptedServer sink(testing::acceptEveryMail);
    SendSettings settings = m_settings;
    settings.smtpServer = sink.address();
    settings.senderName = "送信 太郎";
    ComposedMail mail{"friend@example.jp", "返事", "本文", {}};
    mail.cc = "copy@example.jp";
    mail.bcc = "blind@example.jp, second-blind@example.jp";
    mail.inReplyTo = "<orig@example.jp>";
    mail.references = {"<root@example.jp>", "<orig@example.jp>"};
    ASSERT_FALSE(sendSingleMail(settings, mail));
    transport::NMailEndWinSock();

    const std::vector<std::string> commands = testing::smtpCommands(sink.bytesReceived());
    ASSERT_GE(commands.size(), 6u);
    EXPECT_EQ(
        std::vector<std::string>(commands.begin() + 1, commands.begin() + 6),
        (std::vector<std::string>{"MAIL FROM:<sender@example.jp>", "RCPT TO:<friend@example.jp>",
                                  "RCPT TO:<copy@example.jp>", "RCPT TO:<blind@example.jp>",
                                  "RCPT TO:<second-blind@example.jp>"}));
    const std::string bytes = sink.bytesReceived();
    const std::string data = bytes.substr(bytes.find("\r\nDATA\r\n"));
    EXPECT_NE(data.find("\r\nCc: copy@example.jp\r\n"), std::string::npos);
    EXPECT_EQ(data.find("blind"), std::string::npos);
    EXPECT_NE(data.find("\r\nIn-Reply-To: <orig@example.jp>\r\n"), std::string::npos);
    EXPECT_NE(data.find("\r\nReferences: <root@example.jp>\r\n <orig@example.jp>\r\n"),
              std::string::npos);
    EXPECT_NE(data.find("<sender@example.jp>\r\n"), std::string::npos);  // after the name
}

TEST_F(SendPassTest, AStoppedBatchEndsBetweenPassesAndRemembersTheRest) {
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    SendOptions options;
    options.batch = true;
    options.batchPassCount = 3;
    int passes = 0;
    SendObserver observer;
    observer.afterPass = [&](const PassOutcome&) { ++passes; };
    observer.stopRequested = [&] { return passes == 1; };  // the window closed during pass 1
    const SendReport report =
        sendComposedMail(*m_store, {"", "s", "b", {}}, m_settings, options, observer);

    ASSERT_EQ(report.passCount(), 3);
    EXPECT_EQ(report.count(PassResult::kSent), 1);
    EXPECT_EQ(report.count(PassResult::kNotRun), 2);
    EXPECT_EQ(report.historyFailures(), 0);
    EXPECT_EQ(fetch().size(), 1u);
    ASSERT_EQ(history().size(), 1u);
    // The next batch goes to those the stopped one never reached, once each.
    BatchMemory memory;
    memory.remember(report);
    EXPECT_EQ(memory.missed(), (std::vector<BatchRecipient>{{"jiro@example.jp", false},
                                                            {"saburo@example.jp", false}}));
}

TEST_F(SendPassTest, AttachmentsArriveIntact) {
    const fs::path first = m_folder / "見積書,第2版.txt";  // a comma in the name
    const fs::path second = m_folder / "data.bin";
    std::ofstream(first, std::ios::binary) << "見積もりの中身\r\n";
    std::string binary;
    for (int i = 0; i < 256; ++i) {
        binary.push_back(static_cast<char>(i));
    }
    std::ofstream(second, std::ios::binary) << binary;
    ComposedMail mail{
        "friend@example.jp", "添付", "二つ付けます", {first.string(), second.string()}};
    SendReport report = sendComposedMail(*m_store, mail, m_settings, {});
    ASSERT_TRUE(report.allSent()) << report.passes[0].failure.diagnostic;
    auto mails = fetch();
    ASSERT_EQ(mails.size(), 1u);
    ASSERT_EQ(mails[0].attachments.size(), 2u);
    EXPECT_EQ(mails[0].attachments[0].first, "見積書,第2版.txt");
    EXPECT_EQ(mails[0].attachments[0].second, "見積もりの中身\r\n");
    EXPECT_EQ(mails[0].attachments[1].first, "data.bin");
    EXPECT_EQ(mails[0].attachments[1].second, binary);
}

}  // namespace
}  // namespace qf::compose

namespace qf::compose {
namespace {

// A single send's history names To and Cc, as the mail's header does, and
// never the blind copies.
TEST_F(SendPassTest, TheHistoryNamesTheCopiesButNotTheBlindOnes) {
    testing::ScriptedServer sink(testing::acceptEveryMail);
    m_settings.smtpServer = sink.address();
    ComposedMail mail{"friend@example.jp", "写し", "本文", {}};
    mail.cc = " copy@example.jp ";
    mail.bcc = "blind@example.jp";
    ASSERT_TRUE(sendComposedMail(*m_store, mail, m_settings, {}).allSent());
    mail.to = "";
    mail.cc = "copy@example.jp";
    ASSERT_TRUE(sendComposedMail(*m_store, mail, m_settings, {}).allSent());

    const std::vector<store::MailFields> records = history();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fromOrTo, "friend@example.jp, copy@example.jp");
    EXPECT_EQ(records[1].fromOrTo, "copy@example.jp");
}

}  // namespace
}  // namespace qf::compose

namespace qf::compose {
namespace {

// The file-system steps of a batch run through a store on a counting file
// system, to see when the history's originals are synced.
class BatchSyncTest : public SendPassTest {
  protected:
    std::vector<std::string> runBatch(int passCount, const SendObserver& observer = {}) {
        testing::ScriptedServer sink(testing::acceptEveryMail);
        m_settings.smtpServer = sink.address();
        store::testing::FaultyFileSystem counting(/*failAt=*/0);
        store::MailStore store(m_folder.path(), counting);
        SendOptions options;
        options.batch = true;
        options.batchPassCount = passCount;
        m_report =
            sendComposedMail(store, {"", "お知らせ", "本文", {}}, m_settings, options, observer);
        transport::NMailEndWinSock();
        return counting.steps();
    }

    // A file's sync; a new pack's folder is synced once besides, after it.
    static bool isSync(const std::string& step) {
        return step.starts_with("sync ") && !step.starts_with("sync folder ");
    }
    static bool writesHistory(const std::string& step) {
        return step.starts_with("open ") &&
               step.ends_with(store::findBox(store::kSendHistoryBox)->fileName);
    }

    // Every record in the history finds the mail it lists as it went.
    void expectEveryOriginal() {
        const store::Originals originals(m_folder.path());
        const store::RecordLayout& layout = store::layoutOf(store::RecordKind::kSent);
        for (const store::MailFields& record : history()) {
            auto found =
                originals.find(store::kSendHistoryBox, store::recordTextsOf(layout, record));
            ASSERT_TRUE(found.isOk() && found.value()) << record.fromOrTo;
            EXPECT_NE(found.value()->find("To: " + record.fromOrTo + "\r\n"), std::string::npos);
        }
    }

    SendReport m_report;
};

// One sync for the whole batch, after its last record; a batch the window
// stopped syncs what it kept as well.
TEST_F(BatchSyncTest, TheOriginalsAreSyncedOnceWhenTheBatchEnds) {
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    std::vector<std::string> steps = runBatch(3);
    ASSERT_EQ(m_report.count(PassResult::kSent), 3);
    EXPECT_EQ(std::count_if(steps.begin(), steps.end(), isSync), 1);
    EXPECT_TRUE(steps.back().starts_with("sync ")) << steps.back();
    expectEveryOriginal();

    int passes = 0;
    SendObserver observer;
    observer.afterPass = [&](const PassOutcome&) { ++passes; };
    observer.stopRequested = [&] { return passes == 2; };
    m_settings.clockText = "2026/12/08 13:06:00";  // records of their own, not the first's twins
    steps = runBatch(3, observer);
    ASSERT_EQ(m_report.count(PassResult::kSent), 2);
    ASSERT_EQ(m_report.count(PassResult::kNotRun), 1);
    EXPECT_EQ(std::count_if(steps.begin(), steps.end(), isSync), 1);
    EXPECT_TRUE(steps.back().starts_with("sync ")) << steps.back();
    expectEveryOriginal();
}

// The same address twice: the second record reads as the first, so its
// original (which makes both ambiguous) is on the disk before its record.
TEST_F(BatchSyncTest, ASecondMailWithTheSameRecordIsKeptDurablyBeforeItsRecord) {
    registerEntries({{"一郎", "ichiro@example.jp"}, {"イチロー", "ichiro@example.jp"}});
    const std::vector<std::string> steps = runBatch(2);
    ASSERT_EQ(m_report.count(PassResult::kSent), 2);
    std::vector<std::size_t> records;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (writesHistory(steps[i])) {
            records.push_back(i);
        }
    }
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(isSync(steps[records[1] - 1])) << steps[records[1] - 1];
}

}  // namespace
}  // namespace qf::compose
