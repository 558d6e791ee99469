// The receive run against a scripted transport: the order of the session,
// what is stored where, and what stays on the server when something fails.
// The same run against the real local servers is in tests/.
#include "receive/ReceiveRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "receive/MailTransport.h"
#include "receive/ReceiveJournal.h"
#include "receive/ReceiveTestSupport.h"
#include "receive/ReceiveWords.h"
#include "receive/RunSteps.h"
#include "receive/SeenList.h"
#include "settings/ProfileFile.h"
#include "store/AttachmentIndex.h"
#include "store/Digest.h"
#include "store/MailStore.h"
#include "store/Originals.h"
#include "store/StoreTestSupport.h"
#include "text/Cp932.h"
#include "transport/NMail.h"

namespace qf::receive {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::ProgramFolderFixture;
using testing::RecordingObserver;

struct ScriptedMail {
    std::string header;                              // raw, as the server sent it
    std::string body;                                // raw
    std::string subject, sender, date, decodedBody;  // what decoding gives (UTF-8)
    int decodeResult = 0;
    // Decoding kept the mail whole as one file, for this reason.
    transport::TransportFault keptWhole = transport::TransportFault::kNone;
    std::vector<std::string> written;  // the attachment files decoding wrote
};

// Plays a POP3 server and the decoder from a script.
class ScriptedTransport final : public MailTransport {
  public:
    transport::TransportResult<std::unique_ptr<transport::Pop3Mailbox>> connect(
        const std::string&, const std::atomic<bool>*) override {
        calls.push_back("connect");
        if (connectResult < 0) {
            return failure();
        }
        return std::unique_ptr<transport::Pop3Mailbox>(std::make_unique<Mailbox>(*this));
    }
    void presume(transport::Pop3Presumption presumed) override { presumedAt.push_back(presumed); }
    transport::TransportResult<transport::ReceivedMail> expand(std::string_view rawMail,
                                                               const std::string&) override {
        mailTexts.emplace_back(rawMail);
        workFileExisted = std::filesystem::exists(workFile);
        const ScriptedMail& mail = raw(lastFetched);
        if (mail.decodeResult == transport::kAttachmentCannotBeOpened) {
            return transport::TransportError{
                transport::TransportFault::kAttachmentNotWritten, message, {}};
        }
        transport::ReceivedMail decoded;
        decoded.headers = {mail.subject, mail.date, mail.sender};
        decoded.body = text::toCp932(mail.decodedBody);
        decoded.bodyForm = transport::BodyForm::kCp932;
        decoded.writtenFiles = mail.written;
        if (mail.decodeResult == transport::kSplitMailIncomplete) {
            decoded.expansion = transport::Expansion::kSplitPartKept;
        } else if (mail.decodeResult == transport::kAttachmentsWritten) {
            decoded.expansion = transport::Expansion::kFilesWritten;
        }
        if (transport::isWholeMailNotice(mail.keptWhole)) {
            decoded.keptWhole = {mail.keptWhole, "1001", "未展開メール.eml"};
        }
        return decoded;
    }

    std::vector<ScriptedMail> mails;
    int connectResult = 1;
    int authenticateResult = 0;
    int failFetchAt = 0;
    int closeResult = 1;
    bool offersUniqueIds = false;
    int loginDelaySeconds = 0;
    bool pipelines = false;
    std::vector<transport::Pop3Presumption> presumedAt;  // one per connect
    std::set<int> refusedDeletions;
    // The failure the server answers with.
    transport::TransportFault fault = transport::TransportFault::kLoginRefused;
    std::string message = "-ERR wrong password";
    std::filesystem::path workFile;  // whose existence the decoder notes

    std::vector<std::string> calls;
    std::set<int> deleted;
    std::set<int> fetched;
    std::set<int> skipped;
    std::vector<std::string> mailTexts;
    std::string lastId;
    transport::Pop3Login lastMethod = transport::Pop3Login::kPlain;
    bool workFileExisted = false;

  private:
    class Mailbox final : public transport::Pop3Mailbox {
      public:
        explicit Mailbox(ScriptedTransport& server) : m_server(server) {}

        transport::TransportResult<int> login(const transport::Pop3Account& account) override {
            m_server.calls.push_back("authenticate");
            m_server.lastId = account.user;
            m_server.lastMethod = account.method;
            if (m_server.authenticateResult < 0) {
                return m_server.failure();
            }
            return static_cast<int>(m_server.mails.size());
        }
        transport::TransportResult<std::vector<std::string>> uniqueIds() override {
            std::vector<std::string> ids;
            if (m_server.offersUniqueIds) {
                ids.emplace_back();
                for (const ScriptedMail& mail : m_server.mails) {
                    ids.push_back("uid-" + mail.subject);
                }
            }
            return ids;
        }
        transport::TransportResult<std::string> fetch(int m) override {
            if (m == m_server.failFetchAt) {
                return m_server.failure();
            }
            m_server.fetched.insert(m);
            m_server.lastFetched = m;
            const ScriptedMail& mail = m_server.raw(m);
            const bool parted = mail.header.ends_with("\n\n") || mail.header.ends_with("\r\n\r\n");
            return mail.header + (parted ? "" : "\r\n") + mail.body;
        }
        transport::TransportStatus skip(int m) override {
            m_server.skipped.insert(m);
            return transport::Done{};
        }
        transport::TransportStatus markDeleted(int m) override {
            if (m_server.refusedDeletions.contains(m)) {
                return m_server.failure();
            }
            m_server.deleted.insert(m);
            return transport::Done{};
        }
        int loginDelaySeconds() const override { return m_server.loginDelaySeconds; }
        bool mayBePresumedNextTime() const override { return m_server.pipelines; }
        transport::TransportStatus close() override {
            m_server.calls.push_back("close");
            if (m_server.closeResult < 0) {
                return m_server.failure();
            }
            return transport::Done{};
        }

      private:
        ScriptedTransport& m_server;
    };

    transport::TransportError failure() const { return {fault, message, {}}; }
    const ScriptedMail& raw(int m) const { return mails.at(static_cast<std::size_t>(m - 1)); }
    int lastFetched = 0;
};

ScriptedMail mailFrom(const std::string& sender, const std::string& subject) {
    return {"From: " + sender + "\r\nSubject: " + subject + "\r\n",
            "body of " + subject + "\r\n",
            subject,
            sender,
            "Mon, 7 Dec 2026 10:00:00 +0900",
            "本文 " + subject,
            0,
            transport::TransportFault::kNone,
            {}};
}

class ReceiveRunTest : public ::testing::Test {
  protected:
    ReceiveRunTest() {
        request.folder = box.folder();
        request.pop3Server = "127.0.0.1:1";
        request.account = {"user", "secret"};
        request.routingAddresses = {"taro@example.jp", "hanako@example.jp", "", "", ""};
        server.workFile = request.folder.workFile();
    }

    ReceiveOutcome run() { return session.run(request, observer, server); }

    ProgramFolderFixture box;
    ReceiveRequest request;
    ScriptedTransport server;
    RecordingObserver observer;
    ReceiveSession session;
};

TEST_F(ReceiveRunTest, MailIsSortedStoredCountedAndOnlyThenDeleted) {
    server.mails = {mailFrom("taro@example.jp", "一"), mailFrom("other@example.jp", "二"),
                    mailFrom("taro@example.jp", "三")};
    const ReceiveOutcome outcome = run();

    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.stored, 3);
    EXPECT_EQ(outcome.newestSlot, 0);
    EXPECT_EQ(observer.counters[0], 2);
    EXPECT_EQ(observer.counters[kOtherSlot], 1);
    EXPECT_THAT(observer.progress, ElementsAre("1/3", "2/3", "3/3"));
    EXPECT_EQ(server.deleted, (std::set<int>{1, 2, 3}));
    EXPECT_THAT(server.calls, ElementsAre("connect", "authenticate", "close"));

    const auto first = box.mailsIn(0);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].subject, "一");
    EXPECT_EQ(first[0].from, "taro@example.jp");
    EXPECT_EQ(first[0].date, "Mon, 7 Dec 2026 10:00:00 +0900");
    EXPECT_EQ(first[0].body, "本文 一");
    EXPECT_EQ(first[0].status, 1);
    EXPECT_EQ(first[1].subject, "三");
    ASSERT_EQ(box.mailsIn(kOtherSlot).size(), 1u);
    EXPECT_EQ(observer.notices, 0);
    EXPECT_FALSE(std::filesystem::exists(request.folder.workFile()));
    EXPECT_TRUE(server.workFileExisted);
}

// A server that pipelined is presumed to at the next run of the same
// account, and forgotten as soon as it does not.
TEST_F(ReceiveRunTest, TheNextRunPresumesWhatTheServerDidForTheSameAccountOnly) {
    request.apop = 1;
    server.pipelines = true;
    run();
    run();
    request.account.id = "other";
    run();
    request.account.id = "user";
    run();  // the other account's server was the last one seen
    server.pipelines = false;
    run();
    run();
    std::vector<bool> presumed;
    for (const transport::Pop3Presumption& p : server.presumedAt) {
        presumed.push_back(p.pipelining);
        EXPECT_EQ(p.method, transport::Pop3Login::kApop);
    }
    EXPECT_THAT(presumed, ElementsAre(false, true, false, false, true, false));
}

// A stop asked for while a mail is being stored ends the run after that
// mail: it is stored and deleted, the rest stay on the server unfetched.
struct StoppingObserver : RecordingObserver {
    void onMailStored(int slot, int recordNumber) override {
        RecordingObserver::onMailStored(slot, recordNumber);
        *stop = true;
    }
    std::atomic<bool>* stop = nullptr;
};

TEST_F(ReceiveRunTest, AStopEndsTheRunAfterTheMailBeingStored) {
    server.mails = {mailFrom("a@example.jp", "1"), mailFrom("b@example.jp", "2"),
                    mailFrom("c@example.jp", "3")};
    std::atomic<bool> stop = false;
    request.stop = &stop;
    StoppingObserver stopping;
    stopping.stop = &stop;
    const ReceiveOutcome outcome = session.run(request, stopping, server);
    EXPECT_EQ(outcome.end, RunEnd::kStopped);
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(outcome.keptOnServer, 2);
    EXPECT_EQ(server.fetched, (std::set<int>{1}));
    EXPECT_EQ(server.deleted, (std::set<int>{1}));
    EXPECT_THAT(server.calls, ElementsAre("connect", "authenticate", "close"));
    EXPECT_EQ(stopping.notices, 0);
    EXPECT_TRUE(stopping.messages.empty());
    EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(request.folder.dataFile(kJournalFileName)));
}

TEST_F(ReceiveRunTest, TheDecoderGetsTheWholeMailWithCrLfLines) {
    server.mails = {mailFrom("a@example.jp", "x")};
    server.mails[0].header = "From: a@example.jp\nSubject: x\n\n";
    server.mails[0].body = "line1\nline2";
    (void)run();
    ASSERT_EQ(server.mailTexts.size(), 1u);
    EXPECT_EQ(server.mailTexts[0], "From: a@example.jp\r\nSubject: x\r\n\r\nline1\r\nline2\r\n");
    EXPECT_THAT(observer.rawTexts, ElementsAre("line1\nline2", ""));
}

TEST_F(ReceiveRunTest, AHeaderLongerThanTheDefaultBufferReachesTheDecoderWhole) {
    ScriptedMail mail = mailFrom("a@example.jp", "long");
    mail.header = "From: a@example.jp\r\nX-Long: " + std::string(20000, 'h') + "\r\n";
    server.mails = {mail};
    (void)run();
    ASSERT_EQ(server.mailTexts.size(), 1u);
    EXPECT_THAT(server.mailTexts[0], HasSubstr(std::string(20000, 'h') + "\r\n\r\nbody of"));
}

TEST_F(ReceiveRunTest, AFullBoxKeepsThatMailOnTheServerAndSaysSoOnce) {
    // A sparse box file of 32767 records: the limit of 16-bit record numbers.
    {
        std::ofstream(box.box(kOtherSlot)).close();
        std::filesystem::resize_file(box.box(kOtherSlot), 32767ull * testing::kMailRecordBytes);
    }
    server.mails = {mailFrom("x@example.jp", "a"), mailFrom("taro@example.jp", "b"),
                    mailFrom("y@example.jp", "c")};
    const ReceiveOutcome outcome = run();

    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(outcome.keptOnServer, 2);
    EXPECT_EQ(server.deleted, (std::set<int>{2}));
    EXPECT_EQ(observer.counters[kOtherSlot], 0);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kStoreFailed);
    EXPECT_EQ(observer.messages[0].count, 2);
    EXPECT_EQ(std::filesystem::file_size(box.box(kOtherSlot)),
              32767ull * testing::kMailRecordBytes);
}

// The boxes are synced once, after the last mail; a box that cannot be
// synced keeps the mails stored in it on the server, the other box's go.
// That mail is in its box: it is said so, and the next run (knowing it by
// its digest, the server has no UIDL) does not store it again.
TEST_F(ReceiveRunTest, MailOfABoxThatCannotBeSyncedStaysOnTheServer) {
    // The file sync of "その他"'s box fails; box 1 was synced before it.
    store::testing::FaultyFileSystem fs(/*failAt=*/1);
    fs.countingOnly("sync " + box.box(kOtherSlot).string());
    store::MailStore store(request.folder.dataFolder().string(), fs);
    request.store = &store;
    server.mails = {mailFrom("taro@example.jp", "1"), mailFrom("x@example.jp", "2")};
    const ReceiveOutcome outcome = run();

    EXPECT_TRUE(fs.failed());
    EXPECT_EQ(server.deleted, (std::set<int>{1}));
    EXPECT_EQ(outcome.keptOnServer, 1);
    EXPECT_EQ(outcome.notSynced, 1);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kBoxNotSynced);
    EXPECT_EQ(observer.messages[0].count, 1);
    // The OS's words for the full disk, not the program's diagnostic.
    EXPECT_EQ(observer.messages[0].detail, "No space left on device");

    request.store = nullptr;
    server.deleted.clear();
    const ReceiveOutcome next = ReceiveSession().run(request, observer, server);
    EXPECT_TRUE(next.succeeded());
    EXPECT_EQ(next.stored, 0);
    EXPECT_EQ(server.deleted, (std::set<int>{1, 2}));
    EXPECT_EQ(box.mailsIn(0).size() + box.mailsIn(kOtherSlot).size(), 2u);
}

// The originals are written unsynced and synced together before the boxes:
// when that fails no mail of the run is deleted, and the next run (which
// syncs them first) deletes them without storing them again.
TEST_F(ReceiveRunTest, MailWhoseOriginalsCannotBeSyncedStaysOnTheServer) {
    store::testing::FaultyFileSystem fs(/*failAt=*/1);
    const std::string originals = box.box(0).string() + ".originals";
    fs.countingOnly("sync " + originals + "/pack");
    store::MailStore store(request.folder.dataFolder().string(), fs);
    request.store = &store;
    server.mails = {mailFrom("taro@example.jp", "1"), mailFrom("x@example.jp", "2")};
    const ReceiveOutcome outcome = run();

    EXPECT_TRUE(fs.failed());
    EXPECT_TRUE(server.deleted.empty());
    EXPECT_EQ(outcome.notSynced, 2);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kBoxNotSynced);
    EXPECT_EQ(observer.messages[0].detail, "No space left on device");  // the OS's words

    request.store = nullptr;
    const ReceiveOutcome next = ReceiveSession().run(request, observer, server);
    EXPECT_TRUE(next.succeeded());
    EXPECT_EQ(next.stored, 0);
    EXPECT_EQ(server.deleted, (std::set<int>{1, 2}));
    EXPECT_EQ(store::Originals(request.folder.dataFolder().string())
                  .keptNames(detail::boxOfSlot(0))
                  .size(),
              1u);
}

TEST_F(ReceiveRunTest, ABrokenFetchEndsTheSessionAndKeepsTheRestOnTheServer) {
    server.mails = {mailFrom("a@example.jp", "1"), mailFrom("a@example.jp", "2"),
                    mailFrom("a@example.jp", "3")};
    server.failFetchAt = 2;
    const ReceiveOutcome outcome = run();

    EXPECT_EQ(outcome.end, RunEnd::kSessionFailed);
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(outcome.keptOnServer, 2);
    EXPECT_EQ(server.deleted, (std::set<int>{1}));
    EXPECT_EQ(server.calls.back(), "close");
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kFetchFailed);
    EXPECT_EQ(observer.messages[0].count, 2);
    EXPECT_EQ(observer.notices, 0);
}

// -6 and a written attachment leave nothing behind on the server, so those
// mails are stored and deleted; after -5 the server holds the only copy of
// the attachment, so that mail stays there like one that could not be stored.
// The server removes marked mail only when the session ends normally; when
// it does not, the stored mails are still there and come again next time.
TEST_F(ReceiveRunTest, ASessionThatDoesNotCloseNormallyIsNotReportedAsSuccess) {
    server.mails = {mailFrom("a@example.jp", "1")};
    server.closeResult = -1;
    const ReceiveOutcome outcome = run();
    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.end, RunEnd::kSessionFailed);
    EXPECT_EQ(outcome.stored, 1);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kCloseFailed);

    // With nothing marked for deletion there is nothing to report.
    RecordingObserver quiet;
    server.mails.clear();
    EXPECT_TRUE(session.run(request, quiet, server).succeeded());
    EXPECT_TRUE(quiet.messages.empty());
}

TEST_F(ReceiveRunTest, AttachmentProblemsAreReportedPerMailAndUnwrittenOnesStayOnTheServer) {
    server.mails = {mailFrom("a@example.jp", "1"), mailFrom("a@example.jp", "2"),
                    mailFrom("a@example.jp", "3")};
    server.mails[0].decodeResult = transport::kAttachmentCannotBeOpened;
    server.mails[1].decodeResult = transport::kSplitMailIncomplete;
    server.mails[2].decodeResult = transport::kAttachmentsWritten;
    server.mails[2].written = {"a.txt"};
    const ReceiveOutcome outcome = run();

    EXPECT_FALSE(outcome.succeeded());
    EXPECT_EQ(outcome.stored, 2);
    EXPECT_EQ(outcome.keptOnServer, 1);
    ASSERT_EQ(observer.messages.size(), 3u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kAttachmentCannotBeOpened);
    EXPECT_EQ(observer.messages[1].kind, MessageKind::kSplitMailIncomplete);
    EXPECT_EQ(observer.messages[2].kind, MessageKind::kStoreFailed);
    EXPECT_EQ(observer.messages[2].count, 1);
    EXPECT_EQ(server.deleted, (std::set<int>{2, 3}));
    const auto stored = box.mailsIn(kOtherSlot);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].subject, "2");
    EXPECT_EQ(observer.counters[kOtherSlot], 2);
    // The written file is noted once, for the mail that wrote it.
    const std::string index =
        qf::testing::readBytes(request.folder.dataFile(store::kAttachmentIndexFile));
    EXPECT_EQ(std::count(index.begin(), index.end(), '\n'), 1) << index;
    EXPECT_THAT(index, ::testing::EndsWith("\ta.txt\n"));
}

TEST_F(ReceiveRunTest, TheAttachmentNoticeFollowsTheBodyInTheRecord) {
    server.mails = {mailFrom("a@example.jp", "添付")};
    server.mails[0].body = "--b\r\nContent-Disposition: attachment; filename=a.txt\r\n";
    (void)run();
    const auto mails = box.mailsIn(kOtherSlot);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].body,
              std::string("本文 添付\r\n") + ui::words(ui::Say::kReceiveAttachmentNotice));
    EXPECT_EQ(observer.staged.at(0).body, mails[0].body);
}

TEST_F(ReceiveRunTest, AMailKeptWholeIsToldAndItsBodySaysSoFirst) {
    server.mails = {mailFrom("a@example.jp", "多すぎ"), mailFrom("a@example.jp", "普通")};
    server.mails[0].decodeResult = transport::kAttachmentsWritten;
    server.mails[0].keptWhole = transport::TransportFault::kWholeMailTooManyParts;
    EXPECT_TRUE(run().succeeded());
    ASSERT_EQ(observer.messages.size(), 1u);
    const ReceiveMessage& told = observer.messages[0];
    EXPECT_EQ(told.kind, MessageKind::kWholeMailKept);
    EXPECT_EQ(told.about, "未展開メール.eml");
    const std::string sentence = ui::words(messageOf(told));
    EXPECT_THAT(sentence,
                ::testing::StartsWith("このメールは添付ファイルが 1001 個あり、上限の 1000 個"));
    const auto mails = box.mailsIn(kOtherSlot);
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0].body, sentence + "\r\n\r\n本文 多すぎ");
    EXPECT_EQ(mails[1].body, "本文 普通");  // the next mail is not taken for one
}

TEST_F(ReceiveRunTest, TheNoticeIsAskedForOnlyWhileNothingWasStoredInTheProgramRun) {
    (void)run();
    EXPECT_EQ(observer.notices, 1);
    server.mails = {mailFrom("a@example.jp", "1")};
    (void)run();
    EXPECT_EQ(observer.notices, 1);
    server.mails.clear();
    (void)run();
    EXPECT_EQ(observer.notices, 1) << "the flag outlives the run that set it";
    EXPECT_TRUE(session.newMailStored());
}

TEST_F(ReceiveRunTest, AFailedStoreDoesNotCountAsNewMail) {
    std::filesystem::remove_all(request.folder.dataFolder());
    std::ofstream(request.folder.dataFolder()) << "a file where the data folder should be";
    server.mails = {mailFrom("a@example.jp", "1")};
    const ReceiveOutcome outcome = run();
    EXPECT_EQ(outcome.keptOnServer, 1);
    EXPECT_TRUE(server.deleted.empty());
    EXPECT_EQ(observer.notices, 0) << "a mail was waiting: the notice would be untrue";
    EXPECT_FALSE(session.newMailStored());
}

struct QuietEnd {
    const char* name;
    std::string server;
    int connectResult;
    std::string password;
    RunEnd end;
    std::vector<std::string> calls;
};

class QuietEndTest : public ReceiveRunTest, public ::testing::WithParamInterface<QuietEnd> {};

// The caller tells the user what to check; the run never claims there was
// no new mail, and writes the account only when the user chose to keep it.
TEST_P(QuietEndTest, EndsWithoutTheNoticeAndWritesTheAccountOnlyWhenKept) {
    request.pop3Server = GetParam().server;
    request.account.password = GetParam().password;
    server.connectResult = GetParam().connectResult;
    server.mails = {mailFrom("a@example.jp", "1")};
    const ReceiveOutcome outcome = run();

    EXPECT_EQ(outcome.end, GetParam().end);
    EXPECT_EQ(server.calls, GetParam().calls);
    EXPECT_TRUE(observer.messages.empty());
    EXPECT_EQ(observer.notices, 0);
    EXPECT_TRUE(server.deleted.empty());
    const auto file = request.folder.accountFile();
    EXPECT_FALSE(std::filesystem::exists(file));

    // An empty password (as a failed read of the file gives) never
    // replaces the stored one.
    ASSERT_TRUE(settings::saveAccount(file, {"user", "stored"}, true));
    request.keepAccount = true;
    (void)run();
    EXPECT_EQ(settings::getProfileString(file, "EXEINI", "NAME", "", 256), "user");
    EXPECT_EQ(settings::getProfileString(file, "EXEINI", "NAME2", "", 256),
              GetParam().password.empty() ? "stored" : GetParam().password);
    EXPECT_EQ(settings::getProfileString(file, "EXEINI", "NAME3", "", 256), "1");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuietEndTest,
    ::testing::Values(
        QuietEnd{"NoServer", "", 1, "secret", RunEnd::kNoServer, {}},
        QuietEnd{"ConnectFails", "127.0.0.1:1", -1, "secret", RunEnd::kConnectFailed, {"connect"}},
        QuietEnd{"EmptyPassword", "127.0.0.1:1", 1, "", RunEnd::kNoAccount, {"connect", "close"}}),
    [](const ::testing::TestParamInfo<QuietEnd>& row) { return row.param.name; });

TEST_F(ReceiveRunTest, ARefusedLoginIsReportedWithTheTransportText) {
    server.authenticateResult = -1;
    server.loginDelaySeconds = 600;
    request.apop = 1;
    const ReceiveOutcome outcome = run();
    EXPECT_EQ(outcome.end, RunEnd::kAuthenticationFailed);
    // The server's delay between logins counts for a refused login too.
    EXPECT_EQ(outcome.loginDelaySeconds, 600);
    EXPECT_EQ(outcome.newestSlot, -1);
    EXPECT_EQ(server.lastMethod, transport::Pop3Login::kApop);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kAuthenticationFailed);
    EXPECT_EQ(observer.messages[0].detail, "-ERR wrong password");
    EXPECT_EQ(observer.messages[0].fault, transport::TransportFault::kLoginRefused);
    EXPECT_THAT(server.calls, ElementsAre("connect", "authenticate", "close"));
    EXPECT_EQ(observer.notices, 0);
}

TEST_F(ReceiveRunTest, RegistrationsAreReadAgainButRoutingUsesTheAddressesGiven) {
    ASSERT_TRUE(
        settings::writeSortingRegistrations(request.folder.sortingFile(),
                                            {{{"new@example.jp", "新しい箱"}, {}, {}, {}, {}}})
            .isOk());
    server.mails = {mailFrom("new@example.jp", "1"), mailFrom("taro@example.jp", "2")};
    (void)run();
    EXPECT_EQ(observer.registrationReads, 1);
    EXPECT_EQ(observer.registrations[0].caption, "新しい箱");
    EXPECT_THAT(observer.stagedSlots, ElementsAre(kOtherSlot, 0));
}

TEST_F(ReceiveRunTest, AnExistingBoxOfFiveRecordsGetsRecordSix) {
    {
        std::ofstream(box.box(1)).close();
        std::filesystem::resize_file(box.box(1), 5 * testing::kMailRecordBytes);
    }
    server.mails = {mailFrom("hanako@example.jp", "6")};
    (void)run();
    EXPECT_THAT(observer.recordNumbers, ElementsAre(6));
    ASSERT_EQ(box.mailsIn(1).size(), 6u);
    EXPECT_EQ(box.mailsIn(1)[5].subject, "6");
}

TEST_F(ReceiveRunTest, TheAttachmentFolderIsCreatedWhenMissing) {
    std::filesystem::remove_all(request.folder.attachmentFolder());
    server.mails = {mailFrom("a@example.jp", "1")};
    (void)run();
    EXPECT_TRUE(std::filesystem::is_directory(request.folder.attachmentFolder()));
}

// A link planted in the work file's place before the run: the mail is
// written into a file of the run's own, never where the link leads.
TEST_F(ReceiveRunTest, AWorkFileLinkPlantedBeforeTheRunIsNeverFollowed) {
    qf::testing::TempFolder outside("qf-outside");
    const std::filesystem::path target = outside / "victim.txt";
    qf::testing::writeBytes(target, "the user's own text");
    std::filesystem::create_directories(request.folder.attachmentFolder());
    std::filesystem::create_symlink(target, request.folder.workFile());
    server.mails = {mailFrom("a@example.jp", "1")};

    EXPECT_TRUE(run().succeeded());
    EXPECT_EQ(qf::testing::readBytes(target), "the user's own text");
    EXPECT_TRUE(server.workFileExisted);
    EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 1u);
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::symlink_status(request.folder.workFile())));
}

// The boxes a run makes hold mail: the user's alone, whatever the umask.
TEST_F(ReceiveRunTest, BoxFilesARunMakesAreTheUsersAlone) {
    const mode_t umaskBefore = ::umask(022);
    server.mails = {mailFrom("a@example.jp", "1")};
    EXPECT_TRUE(run().succeeded());
    ::umask(umaskBefore);
    EXPECT_EQ(std::filesystem::status(box.box(kOtherSlot)).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

struct NestingObserver : RecordingObserver {
    void onProgress(int, int) override { nested = session->run(*request, *this, *server).end; }
    ReceiveSession* session = nullptr;
    const ReceiveRequest* request = nullptr;
    MailTransport* server = nullptr;
    RunEnd nested = RunEnd::kCompleted;
};

TEST_F(ReceiveRunTest, ARunStartedInsideARunIsRefused) {
    server.mails = {mailFrom("a@example.jp", "1")};
    NestingObserver nesting;
    nesting.session = &session;
    nesting.request = &request;
    nesting.server = &server;
    EXPECT_EQ(session.run(request, nesting, server).end, RunEnd::kCompleted);
    EXPECT_EQ(nesting.nested, RunEnd::kAlreadyRunning);
    EXPECT_FALSE(session.isRunning());
    EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 1u);
}

// A run that ends before its close leaves every mail on the server; the
// journal lets the next run delete the ones already stored instead of
// storing them twice. A failed close stands in for the crash: the server
// committed nothing either way.
class InterruptedRunTest : public ReceiveRunTest {
  protected:
    InterruptedRunTest() {
        server.offersUniqueIds = true;
        server.mails = {mailFrom("taro@example.jp", "一"), mailFrom("other@example.jp", "二"),
                        mailFrom("other@example.jp", "三")};
    }

    // The first run stores every mail and dies before the server commits.
    void interruptedRun() {
        server.closeResult = -1;
        (void)run();
        server.closeResult = 1;
        server.deleted.clear();
        server.fetched.clear();
        observer.messages.clear();
    }

    // Journals earlier builds wrote still keep their mails from coming
    // twice: version 1 (every byte of the record up to its line end hashed
    // with 64-bit FNV-1a), version 2 (FNV-1a of those bytes without the
    // spaces they end in, then of their count) and version 3 (the first 8
    // bytes of SHA-256 of them). The journal this build wrote is turned into
    // that form, with fingerprints worked out here.
    void expectEarlierJournalRead(int version) {
        const auto fnv1a = [](std::string_view bytes, std::uint64_t hash) {
            for (unsigned char c : bytes) {
                hash = (hash ^ c) * 1099511628211ull;
            }
            return hash;
        };
        constexpr std::uint64_t kBasis = 14695981039346656037ull;
        const std::size_t content = store::layoutOf(store::RecordKind::kMail).lineEnd.offset;
        interruptedRun();
        std::ifstream in(journal(), std::ios::binary);
        std::string line;
        std::getline(in, line);
        ASSERT_EQ(line.rfind("quillfern receive journal 4 ", 0), 0u);
        std::string earlier =
            "quillfern receive journal " + std::to_string(version) + " " + line.substr(28) + "\n";
        store::MailStore store(box.folder().dataFolder().string());
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            int boxNumber = 0, record = 0;
            std::string fingerprint, uid;
            fields >> boxNumber >> record >> fingerprint >> uid;
            std::string bytes(testing::kMailRecordBytes, '\0');
            ASSERT_TRUE(store.file(boxNumber).value().read(record, std::span<char>(bytes)).value());
            std::string_view hashed = std::string_view(bytes).substr(0, content);
            std::uint64_t hash = fnv1a(hashed, kBasis);
            if (version >= 2) {
                hashed = hashed.substr(0, hashed.find_last_not_of(' ') + 1);
                hash = fnv1a(std::to_string(hashed.size()), fnv1a(hashed, kBasis));
            }
            if (version == 3) {
                const store::Sha256 digest = store::sha256(hashed);
                hash = 0;
                for (std::size_t i = 0; i < 8; ++i) {
                    hash = (hash << 8) | digest[i];
                }
            }
            char hex[17];
            std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
            earlier += std::to_string(boxNumber) + "\t" + std::to_string(record) + "\t" + hex +
                       "\t" + uid + "\n";
        }
        in.close();
        std::ofstream(journal(), std::ios::binary | std::ios::trunc) << earlier;

        EXPECT_EQ(ReceiveSession().run(request, observer, server).recovered, 3);
        EXPECT_TRUE(server.fetched.empty());
    }

    std::filesystem::path journal() const { return box.folder().dataFile(kJournalFileName); }
};

TEST_F(InterruptedRunTest, StoredMailsAreDeletedWithoutBeingStoredAgain) {
    interruptedRun();
    ASSERT_TRUE(std::filesystem::exists(journal()));
    server.mails.push_back(mailFrom("taro@example.jp", "四"));

    const ReceiveOutcome outcome = ReceiveSession().run(request, observer, server);
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.recovered, 3);
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(server.fetched, (std::set<int>{4}));
    EXPECT_EQ(server.deleted, (std::set<int>{1, 2, 3, 4}));
    EXPECT_EQ(box.mailsIn(0).size(), 2u);
    EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 2u);
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kRecovered);
    EXPECT_EQ(observer.messages[0].count, 3);
    EXPECT_FALSE(std::filesystem::exists(journal())) << "removed after the committed close";
}

// A stored mail the server will not mark stays there: that is counted and
// said, and the journal stays so that the next run deletes it unfetched.
TEST_F(InterruptedRunTest, ARefusedDeletionIsReportedAndTheNextRunDeletesTheMail) {
    server.refusedDeletions = {2};
    const ReceiveOutcome refused = run();
    EXPECT_FALSE(refused.succeeded());
    EXPECT_EQ(refused.deleteFailed, 1);
    EXPECT_EQ(refused.keptOnServer, 1);
    EXPECT_EQ(server.deleted, (std::set<int>{1, 3}));
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kDeleteFailed);
    EXPECT_EQ(observer.messages[0].count, 1);
    EXPECT_TRUE(std::filesystem::exists(journal()));

    // The server still has all three (it was not told to commit in this
    // script); the recovered ones are marked, a refusal is reported again.
    server.deleted.clear();
    server.fetched.clear();
    observer.messages.clear();
    const ReceiveOutcome again = ReceiveSession().run(request, observer, server);
    EXPECT_EQ(again.recovered, 3);
    EXPECT_EQ(again.deleteFailed, 1);
    EXPECT_TRUE(server.fetched.empty());
    ASSERT_EQ(observer.messages.size(), 2u);
    EXPECT_EQ(observer.messages[1].kind, MessageKind::kDeleteFailed);

    server.refusedDeletions.clear();
    observer.messages.clear();
    EXPECT_TRUE(ReceiveSession().run(request, observer, server).succeeded());
    EXPECT_EQ(box.mailsIn(0).size() + box.mailsIn(kOtherSlot).size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(journal()));
}

TEST_F(InterruptedRunTest, AMailWhoseRecordDidNotReachItsBoxIsFetchedAgain) {
    interruptedRun();
    // The crash came after the journal line of mail 3 and before its record.
    std::filesystem::resize_file(box.box(kOtherSlot), testing::kMailRecordBytes);

    const ReceiveOutcome outcome = ReceiveSession().run(request, observer, server);
    EXPECT_EQ(outcome.recovered, 2);
    EXPECT_EQ(server.fetched, (std::set<int>{3}));
    const auto other = box.mailsIn(kOtherSlot);
    ASSERT_EQ(other.size(), 2u);
    EXPECT_EQ(other[1].subject, "三");
}

// The fingerprint leaves the body's padding unhashed but not unchecked: a
// byte changed in it, or a tail never written (zeros), is another record.
TEST_F(InterruptedRunTest, ARecordChangedInItsPaddingIsFetchedAgain) {
    interruptedRun();
    {
        std::fstream other(box.box(kOtherSlot), std::ios::in | std::ios::out | std::ios::binary);
        other.seekp(2 * testing::kMailRecordBytes - 100);  // mail 3, inside its body's padding
        other.write("\0\0", 2);
    }
    const ReceiveOutcome outcome = ReceiveSession().run(request, observer, server);
    EXPECT_EQ(outcome.recovered, 2);
    EXPECT_EQ(server.fetched, (std::set<int>{3}));
}

TEST_F(InterruptedRunTest, AVersionOneJournalIsStillRead) {
    expectEarlierJournalRead(1);
}

TEST_F(InterruptedRunTest, AVersionTwoJournalIsStillRead) {
    expectEarlierJournalRead(2);
}

TEST_F(InterruptedRunTest, AVersionThreeJournalIsStillRead) {
    expectEarlierJournalRead(3);
}

TEST_F(InterruptedRunTest, AJournalSurvivesAnotherInterruptionAndAnotherAccountsIsIgnored) {
    interruptedRun();
    interruptedRun();  // recovers, then dies before its close again
    EXPECT_TRUE(std::filesystem::exists(journal()));
    EXPECT_EQ(ReceiveSession().run(request, observer, server).recovered, 3);

    interruptedRun();
    request.account.id = "someone-else";
    const ReceiveOutcome other = ReceiveSession().run(request, observer, server);
    EXPECT_EQ(other.recovered, 0);
    EXPECT_EQ(other.stored, 3);
}

// Without UIDL a mail is known by the digest of what the server sent: the
// mails are fetched again but not stored again; a new one is.
TEST_F(InterruptedRunTest, WithoutUniqueIdsStoredMailsAreKnownByTheirDigest) {
    server.offersUniqueIds = false;
    interruptedRun();
    server.mails.push_back(mailFrom("other@example.jp", "四"));
    const ReceiveOutcome outcome = ReceiveSession().run(request, observer, server);
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_EQ(outcome.recovered, 3);
    EXPECT_EQ(outcome.stored, 1);
    EXPECT_EQ(server.deleted, (std::set<int>{1, 2, 3, 4}));
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_EQ(observer.messages[0].kind, MessageKind::kRecovered);
    EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 3u);
    EXPECT_FALSE(std::filesystem::exists(journal()));
}

// The journal names mails, not record positions: a delete or a move that
// shifts the interrupted run's records (even into another box) between
// the two runs changes nothing.
TEST_F(InterruptedRunTest, ADeleteOrMoveBetweenTheRunsStoresNothingTwice) {
    for (const bool move : {false, true}) {
        std::filesystem::remove_all(box.folder().dataFolder());
        std::filesystem::create_directories(box.folder().dataFolder());
        store::MailStore store(box.folder().dataFolder().string());
        ASSERT_TRUE(store.append(6, {"old", "x@example.jp", "", ""}).isOk());
        interruptedRun();  // その他: old, 二, 三
        // Deleting "old" moves 二 and 三 up; moving 二 takes it to the keep box.
        ASSERT_TRUE(move ? store.moveToKeepBox(2).isOk() : store.deleteRecord(6, 1).isOk());
        const ReceiveOutcome outcome = ReceiveSession().run(request, observer, server);
        EXPECT_EQ(outcome.recovered, 3) << "move " << move;
        EXPECT_TRUE(server.fetched.empty()) << "move " << move;
        EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 2u) << "move " << move;
    }
}

TEST_F(InterruptedRunTest, ALineTornByACrashNeitherCountsNorSpoilsTheNextLine) {
    interruptedRun();
    {
        std::ofstream torn(journal(), std::ios::app | std::ios::binary);
        torn << "6\t3\t00";
    }
    std::filesystem::resize_file(box.box(kOtherSlot), testing::kMailRecordBytes);
    interruptedRun();  // fetches mail 3 again and notes it after the torn line
    EXPECT_EQ(ReceiveSession().run(request, observer, server).recovered, 3);
    EXPECT_EQ(box.mailsIn(kOtherSlot).size(), 2u);
}

}  // namespace
}  // namespace qf::receive

namespace qf::receive {
namespace {

constexpr std::int64_t kDay = 24 * 60 * 60;

struct ChoosingObserver : RecordingObserver {
    SeenListChoice onSeenListLost(const SeenListLoss& loss) override {
        losses.push_back(loss);
        return choice;
    }
    SeenListChoice choice = SeenListChoice::kCancel;
    std::vector<SeenListLoss> losses;
};

TEST(SeenListTest, WrittenListsReadBackAndOnlyAWholeOneCounts) {
    ProgramFolderFixture folder;
    const std::filesystem::path file = folder.folder().seenListFile();
    const SeenList list{{{"uid-1", 1'800'000'000}, {"00000001u5f2a", 7}}, true};
    ASSERT_TRUE(writeSeenList(file, 42, list));
    EXPECT_EQ(readSeenList(file, 42).list, list);
    EXPECT_EQ(readSeenList(file, 43).state, SeenListState::kOtherAccount);
    // Nothing listed: whichever account made it, nothing can be lost by it.
    ASSERT_TRUE(writeSeenList(file, 42, {}));
    EXPECT_EQ(readSeenList(file, 43).state, SeenListState::kRead);
    // A line without its end, or an id with a space in it, is damage.
    for (const char* damage : {"12\tuid-3", "12\tuid 3\n", "x\tuid-3\n"}) {
        std::ofstream(file, std::ios::binary) << formatSeenList({}, 42) << damage;
        EXPECT_EQ(readSeenList(file, 42).state, SeenListState::kUnreadable) << damage;
    }
    // Cut at a line end (its last lines dropped, or all but the first) is
    // told from a shorter list by the end line.
    const std::string whole = formatSeenList(list, 42);
    for (std::size_t keep : {whole.rfind('\n', whole.size() - 2) + 1, whole.find('\n') + 1}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << whole.substr(0, keep);
        EXPECT_EQ(readSeenList(file, 42).state, SeenListState::kUnreadable) << keep;
    }
    // A list of the first version (no end line) is read as it is.
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        << "quillfern seen list 1 " << hex16(42) << "\n7\tuid-1\n";
    EXPECT_EQ(readSeenList(file, 42).list.ids, (SeenIds{{"uid-1", 7}}));
    // A list its owner could not read is written back readable.
    std::filesystem::permissions(file, std::filesystem::perms::none);
    ASSERT_TRUE(writeSeenList(file, 42, list));
    EXPECT_EQ(std::filesystem::status(file).permissions() & std::filesystem::perms::owner_all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

// Mail left on the server: the scripted server removes a mail only when a
// run that marked it ends with a committed close (commitDeletions).
class LeaveOnServerTest : public ReceiveRunTest {
  protected:
    LeaveOnServerTest() {
        server.offersUniqueIds = true;
        request.keepOnServer = true;
        request.keepDays = 10;
        request.clock = [this] { return now; };
        EXPECT_TRUE(startSeenList(seenFile(), request.pop3Server, request.account.id));
    }

    // One run with a fresh observer; the server then forgets what was
    // fetched and drops what was deleted.
    ReceiveOutcome nextRun() {
        const SeenListChoice choice = chooser.choice;
        chooser = ChoosingObserver();
        chooser.choice = choice;
        server.fetched.clear();
        server.skipped.clear();
        server.deleted.clear();
        ReceiveOutcome outcome = session.run(request, chooser, server);
        for (auto m = server.deleted.rbegin(); m != server.deleted.rend(); ++m) {
            server.mails.erase(server.mails.begin() + (*m - 1));
        }
        return outcome;
    }

    std::filesystem::path seenFile() const { return box.folder().seenListFile(); }
    std::uint64_t key() const { return accountKey(request.pop3Server, request.account.id); }
    std::set<std::string> listed() const {
        std::set<std::string> ids;
        for (const auto& [uid, firstStored] : readSeenList(seenFile(), key()).list.ids) {
            ids.insert(uid);
        }
        return ids;
    }
    std::size_t storedMails() const { return box.mailsIn(kOtherSlot).size(); }

    std::int64_t now = 1'800'000'000;
    ChoosingObserver chooser;
};

TEST_F(LeaveOnServerTest, EachMailIsStoredOnceLeftThereAndDeletedAfterItsDays) {
    server.mails = {mailFrom("a@example.jp", "a"), mailFrom("b@example.jp", "b")};
    ReceiveOutcome first = nextRun();
    EXPECT_TRUE(first.succeeded());
    EXPECT_EQ(first.stored, 2);
    EXPECT_TRUE(server.deleted.empty());
    EXPECT_EQ(listed(), (std::set<std::string>{"uid-a", "uid-b"}));

    now += 5 * kDay;
    server.mails.push_back(mailFrom("c@example.jp", "c"));
    ReceiveOutcome second = nextRun();
    EXPECT_TRUE(second.succeeded());
    EXPECT_EQ(second.stored, 1);
    EXPECT_EQ(second.leftOnServer, 2);
    EXPECT_EQ(server.fetched, (std::set<int>{3}));
    EXPECT_EQ(server.skipped, (std::set<int>{1, 2}));
    EXPECT_TRUE(server.deleted.empty());

    // Ten days and a second after a and b were stored: they go, c stays.
    now += 5 * kDay + 1;
    ReceiveOutcome third = nextRun();
    EXPECT_TRUE(third.succeeded());
    EXPECT_EQ(third.deletedAfterDays, 2);
    EXPECT_EQ(third.stored, 0);
    EXPECT_TRUE(server.fetched.empty());
    EXPECT_EQ(server.deleted, (std::set<int>{1, 2}));
    EXPECT_EQ(listed(), (std::set<std::string>{"uid-c"}));
    EXPECT_EQ(storedMails(), 3u);
    EXPECT_FALSE(std::filesystem::exists(box.folder().dataFile(kJournalFileName)));

    // Nothing is deleted when the days are 0.
    request.keepDays = 0;
    now += 1000 * kDay;
    EXPECT_EQ(nextRun().deletedAfterDays, 0);
    EXPECT_EQ(server.mails.size(), 1u);
}

TEST_F(LeaveOnServerTest, ALostListIsNeverTakenForAnEmptyOne) {
    server.mails = {mailFrom("a@example.jp", "a"), mailFrom("b@example.jp", "b")};
    ASSERT_TRUE(nextRun().succeeded());
    std::filesystem::remove(seenFile());
    server.mails.push_back(mailFrom("c@example.jp", "c"));

    const ReceiveOutcome cancelled = nextRun();
    EXPECT_EQ(cancelled.end, RunEnd::kCancelled);
    ASSERT_EQ(chooser.losses.size(), 1u);
    EXPECT_EQ(chooser.losses[0].state, SeenListState::kMissing);
    EXPECT_EQ(chooser.losses[0].waiting, 3);
    EXPECT_TRUE(server.fetched.empty());
    EXPECT_TRUE(server.deleted.empty());
    EXPECT_EQ(chooser.notices, 0);
    EXPECT_FALSE(std::filesystem::exists(seenFile()));

    chooser.choice = SeenListChoice::kTreatAsSeen;
    EXPECT_TRUE(nextRun().succeeded());
    EXPECT_TRUE(server.fetched.empty());
    EXPECT_EQ(listed(), (std::set<std::string>{"uid-a", "uid-b", "uid-c"}));

    // A damaged list, or one of another account, is asked about the same way.
    std::ofstream(seenFile(), std::ios::app) << "not a line\n";
    chooser.choice = SeenListChoice::kFetchAll;
    EXPECT_TRUE(nextRun().succeeded());
    EXPECT_EQ(chooser.losses.at(0).state, SeenListState::kUnreadable);
    EXPECT_EQ(server.fetched, (std::set<int>{1, 2, 3}));
    request.account.id = "someone-else";
    EXPECT_TRUE(nextRun().succeeded());
    EXPECT_EQ(chooser.losses.at(0).state, SeenListState::kOtherAccount);
    EXPECT_EQ(storedMails(), 8u);
}

TEST_F(LeaveOnServerTest, AServerWithoutUidlIsToldOnceAndMailIsDeletedAsBefore) {
    server.offersUniqueIds = false;
    server.mails = {mailFrom("a@example.jp", "a")};
    const ReceiveOutcome outcome = nextRun();
    EXPECT_TRUE(outcome.succeeded());
    EXPECT_FALSE(outcome.leaving);
    EXPECT_EQ(server.deleted, (std::set<int>{1}));
    ASSERT_EQ(chooser.messages.size(), 1u);
    EXPECT_EQ(chooser.messages[0].kind, MessageKind::kKeepNeedsUidl);

    server.mails = {mailFrom("b@example.jp", "b")};
    EXPECT_TRUE(nextRun().succeeded());
    EXPECT_TRUE(chooser.messages.empty());
    EXPECT_TRUE(server.mails.empty());
    EXPECT_TRUE(readSeenList(seenFile(), key()).list.noUidlTold);
}

TEST_F(LeaveOnServerTest, TurnedOffTheListedMailsAreDeletedWithoutComingAgain) {
    server.mails = {mailFrom("a@example.jp", "a")};
    ASSERT_TRUE(nextRun().succeeded());
    request.keepOnServer = false;
    server.mails.push_back(mailFrom("b@example.jp", "b"));
    EXPECT_TRUE(nextRun().succeeded());
    EXPECT_EQ(server.fetched, (std::set<int>{2}));
    EXPECT_TRUE(server.mails.empty());
    EXPECT_EQ(storedMails(), 2u);
    EXPECT_TRUE(listed().empty());
}

// Until the list is on disk the journal holds the mails stored: a list that
// cannot be written is said, and the next run takes them from the journal.
TEST_F(LeaveOnServerTest, AListThatCannotBeWrittenLosesAndDoublesNothing) {
    const std::filesystem::path blocker =
        seenFile().string() + ".tmp-" + std::to_string(::getpid());
    std::filesystem::create_directory(blocker);
    server.mails = {mailFrom("a@example.jp", "a"), mailFrom("b@example.jp", "b")};
    const ReceiveOutcome unlisted = nextRun();
    EXPECT_EQ(unlisted.stored, 2);
    EXPECT_FALSE(unlisted.seenListSave.isOk());
    ASSERT_EQ(chooser.messages.size(), 1u);
    EXPECT_EQ(chooser.messages[0].kind, MessageKind::kSeenListNotWritten);
    EXPECT_TRUE(listed().empty());

    std::filesystem::remove(blocker);
    const ReceiveOutcome next = nextRun();
    EXPECT_TRUE(next.succeeded());
    EXPECT_EQ(next.recovered, 2);
    EXPECT_TRUE(server.fetched.empty());
    EXPECT_TRUE(server.deleted.empty());
    ASSERT_EQ(chooser.messages.size(), 1u);
    EXPECT_EQ(chooser.messages[0].kind, MessageKind::kRecoveredLeft);
    EXPECT_EQ(listed(), (std::set<std::string>{"uid-a", "uid-b"}));
    EXPECT_EQ(storedMails(), 2u);
    EXPECT_FALSE(std::filesystem::exists(box.folder().dataFile(kJournalFileName)));
}

// As an account that is not root sees files: a file its owner may not
// read cannot be opened for reading.
class OwnerPermissionsFileSystem final : public store::testing::ForwardingFileSystem {
  public:
    Result<std::unique_ptr<base::File>> open(const std::string& path,
                                             base::OpenMode mode) override {
        const Result<unsigned> bits = real().permissions(path);
        if (mode == base::OpenMode::kRead && bits && (bits.value() & 0400u) == 0) {
            return Status::ioError(path + ": Permission denied");
        }
        return real().open(path, mode);
    }
};

// A list its owner cannot read is asked about once: the answer is written
// as a list the owner can read, and the next run asks nothing.
TEST_F(LeaveOnServerTest, AnUnreadableListIsAskedAboutOnce) {
    OwnerPermissionsFileSystem fs;
    request.fileSystem = &fs;
    server.mails = {mailFrom("a@example.jp", "a"), mailFrom("b@example.jp", "b")};
    ASSERT_TRUE(nextRun().succeeded());
    std::filesystem::permissions(seenFile(), std::filesystem::perms::none);
    chooser.choice = SeenListChoice::kTreatAsSeen;
    EXPECT_TRUE(nextRun().succeeded());
    ASSERT_EQ(chooser.losses.size(), 1u);
    EXPECT_EQ(chooser.losses[0].state, SeenListState::kUnreadable);

    chooser.choice = SeenListChoice::kFetchAll;
    EXPECT_TRUE(nextRun().succeeded());
    EXPECT_TRUE(chooser.losses.empty());
    EXPECT_TRUE(server.fetched.empty());
    EXPECT_EQ(storedMails(), 2u);
}

// With the option off a damaged list is asked about too (it may name mails
// stored while the option was on); a server without UIDL is told about
// once in a program run even while the list cannot note it.
TEST_F(LeaveOnServerTest, ADamagedListIsAskedAboutWithTheOptionOffAndTheNoUidlNoticeComesOnce) {
    server.mails = {mailFrom("a@example.jp", "a")};
    ASSERT_TRUE(nextRun().succeeded());
    std::ofstream(seenFile(), std::ios::binary | std::ios::trunc) << "damaged";
    request.keepOnServer = false;
    EXPECT_EQ(nextRun().end, RunEnd::kCancelled);
    EXPECT_EQ(chooser.losses.size(), 1u);
    EXPECT_TRUE(server.fetched.empty());

    request.keepOnServer = true;
    server.offersUniqueIds = false;
    int told = 0;
    for (int run = 0; run < 2; ++run) {
        (void)nextRun();
        for (const ReceiveMessage& message : chooser.messages) {
            told += message.kind == MessageKind::kKeepNeedsUidl ? 1 : 0;
        }
    }
    EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace qf::receive
