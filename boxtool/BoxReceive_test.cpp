// The `receive` command of quillfern-box against the real local POP3 server
// (fixture "mailservers"): the folder's own files, exit statuses by outcome.
#include "boxtool/BoxReceive.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "receive/ReceiveTestSupport.h"
#include "receive/SeenList.h"
#include "settings/AccountFiles.h"
#include "settings/FolderLock.h"
#include "settings/ServerSettings.h"
#include "tests/support/MailServers.h"
#include "transport/NMail.h"
#include "words/Words.h"

namespace qf::app {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string mail(const std::string& from, const std::string& subject, const std::string& body) {
    return "From: " + from + "\r\nTo: qftest@example.jp\r\nSubject: " + subject +
           "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0900\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
           body + "\r\n";
}

// The command-line run: the folder's own files, exit statuses by outcome.
class ReceiveCommandTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        transport::NMailInitializeWinSock();
        transport::NMailSetOption(transport::kOptionBufferSize, 8192);
    }

    ReceiveCommandTest() : servers(qf::testing::MailServers::fromEnvironment()) {
        servers.clearMaildir();
    }

    void configure(const std::string& pop3, const std::string& password) {
        ASSERT_TRUE(settings::writeServerSettings(box.folder().serverSettingsFile(),
                                                  {"", pop3, "qftest@example.jp", 0})
                        .isOk());
        ASSERT_TRUE(
            settings::saveAccount(box.folder().accountFile(), {servers.user, password}, true)
                .isOk());
        settings::SortingRegistrations registrations;
        registrations[1] = {"hanako@example.jp", "花子"};
        ASSERT_TRUE(
            settings::writeSortingRegistrations(box.folder().sortingFile(), registrations).isOk());
    }

    int receive() { return receiveCommand(box.folder(), out, err); }

    qf::testing::MailServers servers;
    receive::testing::ProgramFolderFixture box;
    std::ostringstream out, err;
};

TEST_F(ReceiveCommandTest, StoresTheMailAndSucceeds) {
    configure(servers.pop3Server(), servers.password);
    servers.deliver(mail("hanako@example.jp", "hi", "body"));
    EXPECT_EQ(receive(), kReceiveOk) << err.str();
    EXPECT_THAT(out.str(), HasSubstr("花子"));
    EXPECT_EQ(box.mailsIn(1).size(), 1u);
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
}

// A subject may hold escape sequences (here: retitle the terminal, clear the
// screen); the terminal gets spaces for them, and the Japanese. (A C1 CSI
// has become "?" on its way through CP932 already.)
TEST_F(ReceiveCommandTest, SubjectsReachTheTerminalWithoutControlCharacters) {
    configure(servers.pop3Server(), servers.password);
    servers.deliver(
        mail("hanako@example.jp", "=?utf-8?b?5Lya6K2wG10wO3B3bmVkBxtbMkrCmzMxbee1gg==?=", "body"));
    EXPECT_EQ(receive(), kReceiveOk) << err.str();
    EXPECT_THAT(out.str(), HasSubstr("花子 (1): 会議 ]0;pwned  [2J?31m終\n"));
}

// Each failure: its exit status and the sentence the windows show, never
// the no-new-mail notice.
TEST_F(ReceiveCommandTest, FailuresGiveTheirOwnExitStatusAndSayWhatToCheck) {
    const auto expectTold = [this](const std::string& sentenceStart) {
        EXPECT_THAT(err.str(), HasSubstr(sentenceStart));
        EXPECT_THAT(out.str(), Not(HasSubstr(ui::words(ui::Say::kReceiveNoNewMailNotice))));
        err.str("");
        out.str("");
    };
    configure("127.0.0.1:1", servers.password);
    EXPECT_EQ(receive(), kReceiveNoConnection);
    expectTold(ui::words(ui::Say::kReceiveConnectFailed, {"127.0.0.1:1"}));
    configure("", servers.password);
    EXPECT_EQ(receive(), kReceiveNoConnection);
    expectTold(ui::words(ui::Say::kReceiveNoServer));
    configure(servers.pop3Server(), "wrong");
    EXPECT_EQ(receive(), kReceiveLoginFailed);
    expectTold(ui::words(ui::Say::kReceiveLoginRefused));
    configure(servers.pop3Server(), "");
    EXPECT_EQ(receive(), kReceiveLoginFailed);
    expectTold(ui::words(ui::Say::kReceiveNoAccount));
}

TEST_F(ReceiveCommandTest, IsRefusedWhileTheFolderIsInUse) {
    configure(servers.pop3Server(), servers.password);
    servers.deliver(mail("hanako@example.jp", "hi", "body"));
    Result<settings::FolderLock> held = settings::FolderLock::acquire(box.folder().lockFile());
    ASSERT_TRUE(held.isOk());
    EXPECT_EQ(receive(), kReceiveFolderBusy);
    EXPECT_FALSE(err.str().empty());
    EXPECT_EQ(servers.messagesInMaildir(), 1u);
}

TEST_F(ReceiveCommandTest, AStoreFailureIsNonZero) {
    configure(servers.pop3Server(), servers.password);
    {
        std::ofstream(box.box(receive::kOtherSlot)).close();
        std::filesystem::resize_file(box.box(receive::kOtherSlot),
                                     32767ull * receive::testing::kMailRecordBytes);
    }
    servers.deliver(mail("stranger@example.jp", "kept", "body"));
    EXPECT_EQ(receive(), kReceiveMailKept);
    EXPECT_EQ(servers.messagesInMaildir(), 1u);
}

#ifdef QF_BOX_TOOL
// The built tool itself: the subcommand is wired and its status reaches the shell.
TEST_F(ReceiveCommandTest, TheToolsReceiveCommandReportsItsOutcome) {
    const std::string command =
        std::string(QF_BOX_TOOL) + " --folder " + box.folder().root().string() + " receive 2>&1";
    const auto runTool = [&command](std::string* output) {
        FILE* pipe = popen(command.c_str(), "r");
        char chunk[512];
        for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            output->append(chunk, n);
        }
        return WEXITSTATUS(pclose(pipe));
    };
    configure("127.0.0.1:1", servers.password);
    std::string output;
    EXPECT_EQ(runTool(&output), kReceiveNoConnection) << output;

    configure(servers.pop3Server(), servers.password);
    servers.deliver(mail("hanako@example.jp", "=?UTF-8?B?5Lya6K2w44Gu5Lu2?=", "body"));
    output.clear();
    EXPECT_EQ(runTool(&output), kReceiveOk) << output;
    EXPECT_THAT(output, HasSubstr("花子 (1): 会議の件"));
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
}

// A receive killed after it stored its mails (before QUIT, so the server
// keeps them), then a delete in the same box through the tool: the next
// receive finds the stored mails though every record moved up by one, and
// stores none twice; with mail left on the server too.
TEST_F(ReceiveCommandTest, AKilledRunThenADeleteStoresNothingTwice) {
    for (const bool keep : {false, true}) {
        servers.clearMaildir();
        std::filesystem::remove_all(box.folder().dataFolder());
        std::filesystem::create_directories(box.folder().dataFolder());
        configure(servers.pop3Server(), servers.password);
        settings::ServerSettings server{"", servers.pop3Server(), "qftest@example.jp", 0, keep, 0};
        ASSERT_TRUE(settings::writeServerSettings(box.folder().serverSettingsFile(), server));
        if (keep) {
            ASSERT_TRUE(receive::startSeenList(box.folder().seenListFile(), servers.pop3Server(),
                                               servers.user));
        }
        for (const char* subject : {"old1", "old2", "old3"}) {
            servers.deliver(mail("stranger@example.jp", subject, "body"));
        }
        ASSERT_EQ(receive(), kReceiveOk) << err.str();
        for (int n = 1; n <= 6; ++n) {
            servers.deliver(mail("stranger@example.jp", "new" + std::to_string(n), "body"));
        }
        receive::ReceiveRequest request;
        request.folder = box.folder();
        request.pop3Server = servers.pop3Server();
        request.account = {servers.user, servers.password};
        request.keepOnServer = keep;
        const pid_t child = fork();
        if (child == 0) {
            struct KilledAfterSix : receive::ReceiveObserver {
                int stored = 0;
                void onMailStored(int, int) override {
                    if (++stored == 6) {
                        _exit(9);  // as a SIGKILL: written, not synced, no QUIT
                    }
                }
            } killed;
            (void)receive::ReceiveSession().run(request, killed);
            _exit(1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_EQ(WEXITSTATUS(status), 9);
        const std::string tool = std::string(QF_BOX_TOOL) + " --folder " +
                                 box.folder().root().string() + " delete 6 1 >/dev/null";
        ASSERT_EQ(std::system(tool.c_str()), 0);

        out.str("");
        EXPECT_EQ(receive(), kReceiveOk) << err.str() << out.str();
        std::multiset<std::string> subjects;
        for (const auto& stored : box.mailsIn(receive::kOtherSlot)) {
            subjects.insert(stored.subject);
        }
        EXPECT_EQ(subjects, (std::multiset<std::string>{"old2", "old3", "new1", "new2", "new3",
                                                        "new4", "new5", "new6"}))
            << "keep " << keep;
        EXPECT_EQ(servers.messagesInMaildir(), keep ? 9u : 0u);
    }
}
#endif

// Mail left on the server with its seen-list gone: the command asks no one,
// so it stops with a sentence naming the choices, until it is given one.
TEST_F(ReceiveCommandTest, ALostSeenListStopsUntilTheCommandLineChooses) {
    configure(servers.pop3Server(), servers.password);
    settings::ServerSettings keeping{"", servers.pop3Server(), "qftest@example.jp", 0, true, 0};
    ASSERT_TRUE(settings::writeServerSettings(box.folder().serverSettingsFile(), keeping));
    servers.deliver(mail("hanako@example.jp", "waiting", "body"));
    EXPECT_EQ(receive(), kReceiveSeenListLost);
    EXPECT_THAT(err.str(), HasSubstr("--lost-seen-list fetch-all"));
    EXPECT_FALSE(std::filesystem::exists(box.box(1)));

    EXPECT_EQ(receiveCommand(box.folder(), out, err, receive::SeenListChoice::kTreatAsSeen),
              kReceiveOk);
    EXPECT_FALSE(std::filesystem::exists(box.box(1)));
    servers.deliver(mail("hanako@example.jp", "new", "body"));
    out.str("");
    EXPECT_EQ(receive(), kReceiveOk) << err.str();
    ASSERT_EQ(box.mailsIn(1).size(), 1u);
    EXPECT_EQ(box.mailsIn(1)[0].subject, "new");
    EXPECT_THAT(out.str(), HasSubstr("受信済みでサーバーに残すメール 2 通"));
    EXPECT_EQ(servers.messagesInMaildir(), 2u);
}

}  // namespace
}  // namespace qf::app
