// The receive run against the local POP3 server, with the power going off
// before each of its file operations (the boxes, the journal, the account
// file) and after its end. The run is a child process that ends at the cut,
// so its connection drops without QUIT, as it would. After a restart each
// mail is in its box or still on the server, never neither, and never in a
// box twice; the next run then leaves each mail in its box exactly once,
// also when the user deleted or moved an earlier mail of その他 in between
// (every record the cut run stored there moves up by one).
// With mail left on the server (and its seen-list written too) every mail
// stays on the server and the next run stores none a second time.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "receive/ReceiveRun.h"
#include "receive/ReceiveTestSupport.h"
#include "receive/SeenList.h"
#include "settings/ProgramFolder.h"
#include "store/BoxCatalogue.h"
#include "store/MailStore.h"
#include "store/Originals.h"
#include "store/StoreTestSupport.h"
#include "tests/support/MailServers.h"
#include "tests/support/PowerCut.h"
#include "transport/NMail.h"

namespace qf::receive {
namespace {

using qf::testing::CutPoint;
using store::testing::PowerCut;

const std::vector<std::string> kSubjects{"one", "two", "three"};
constexpr char kEarlier[] = "earlier";  // in その他 before the run

std::string mail(const std::string& from, const std::string& subject) {
    return "From: " + from + "\r\nTo: qftest@example.jp\r\nSubject: " + subject +
           "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n\r\nbody of " +
           subject + "\r\n";
}

class ReceivePowerCutTest : public ::testing::TestWithParam<PowerCut> {
  protected:
    static void SetUpTestSuite() {
        transport::NMailInitializeWinSock();
        transport::NMailSetOption(transport::kOptionBufferSize, 8192);
    }

    ReceivePowerCutTest() : servers(qf::testing::MailServers::fromEnvironment()) {
        request.folder = box.folder();
        request.pop3Server = servers.pop3Server();
        request.account = {servers.user, servers.password};
        request.routingAddresses = {"taro@example.jp", "", "", "", ""};
    }

    void reset() {
        servers.clearMaildir();
        servers.deliver(mail("taro@example.jp", kSubjects[0]));
        servers.deliver(mail("other@example.jp", kSubjects[1]));
        servers.deliver(mail("taro@example.jp", kSubjects[2]));
        std::filesystem::remove_all(request.folder.dataFolder());
        std::filesystem::create_directories(request.folder.dataFolder());
        store::MailStore store(request.folder.dataFolder().string());
        ASSERT_TRUE(store.append(kOtherSlot + 1, {kEarlier, "x@example.jp", "", ""}).isOk());
        if (request.keepOnServer) {
            ASSERT_TRUE(startSeenList(request.folder.seenListFile(), request.pop3Server,
                                      request.account.id));
        }
    }

    // Runs the receive in a child whose power goes off before `step` (0:
    // after the run). True when the run had ended before the cut.
    bool cutRun(int step) {
        const pid_t child = fork();
        if (child == 0) {
            int exitCode = 0;
            store::testing::FaultyFileSystem fs(step);
            fs.withPowerCut(GetParam(), [&exitCode] { _exit(exitCode); });
            if (writtenBack) {
                fs.writtenBackBeforeCut(writtenBack);
            }
            request.fileSystem = &fs;
            ReceiveObserver quiet;
            (void)ReceiveSession().run(request, quiet);
            exitCode = 3;
            fs.cutPower();
            _exit(1);
        }
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 1);
        return WIFEXITED(status) && WEXITSTATUS(status) == 3;
    }

    std::multiset<std::string> onServer() const {
        std::multiset<std::string> subjects;
        for (const char* folder : {"new", "cur"}) {
            for (const auto& entry :
                 std::filesystem::directory_iterator(servers.maildir / folder)) {
                std::ifstream in(entry.path());
                for (std::string line; std::getline(in, line);) {
                    if (line.starts_with("Subject: ")) {
                        subjects.insert(line.substr(9));
                    }
                }
            }
        }
        return subjects;
    }

    // The run's mails in the receiving boxes and the keep box.
    std::multiset<std::string> inBoxes() const {
        std::multiset<std::string> subjects;
        const auto keepBox = request.folder.dataFile(store::findBox(10)->fileName);
        for (const auto& file : {box.box(0), box.box(1), box.box(2), box.box(3), box.box(4),
                                 box.box(kOtherSlot), keepBox}) {
            for (const testing::StoredMail& stored : testing::readMailRecords(file)) {
                if (stored.subject != kEarlier) {
                    subjects.insert(stored.subject);
                }
            }
        }
        return subjects;
    }

    // Every stored mail of the run finds its original, byte for byte as the
    // server sent it (no other mail's), and no original outlives its record.
    void checkOriginals(const CutPoint& at) const {
        store::MailStore store(request.folder.dataFolder().string());
        const store::Originals originals(store.dataFolder());
        for (const store::BoxInfo& info : store::allBoxes()) {
            std::size_t withOriginal = 0;
            (void)store.readAll(info.number, [&](int, std::span<const char>) {
                const store::MailFields texts = store.currentFields(info.number);
                auto found = originals.find(info.number, texts);
                if (texts.subject != kEarlier) {
                    const std::string sender =
                        texts.subject == kSubjects[1] ? "other@example.jp" : "taro@example.jp";
                    EXPECT_TRUE(found.isOk() && found.value() &&
                                *found.value() == mail(sender, texts.subject))
                        << at << ": the original of " << texts.subject;
                }
                withOriginal += found.isOk() && found.value() ? 1 : 0;
                return Status::ok();
            });
            EXPECT_EQ(originals.keptNames(info.number).size(), withOriginal)
                << at << ": originals without records in box " << info.number;
        }
    }

    // The start-up repairs, then what the disk and the server hold.
    // `originalsKept`: every record on disk has its original already.
    void restartAndCheck(const CutPoint& at, bool originalsKept = true) {
        const auto server = onServer();
        const store::RecoveryReport report =
            store::recoverLeftovers(request.folder.dataFolder().string());
        ASSERT_TRUE(report.status.isOk()) << at << ": " << report.status.toString();
        ASSERT_TRUE(request.folder.removeLeftoverTemporaries().isOk()) << at;
        for (const store::FileReport& file :
             store::checkDataFolder(request.folder.dataFolder().string())) {
            EXPECT_TRUE(file.problems.empty()) << at << ": " << file.problems.front().message;
        }
        if (originalsKept) {
            checkOriginals(at);
        }
        const auto stored = inBoxes();
        for (const std::string& subject : kSubjects) {
            EXPECT_LE(stored.count(subject), 1u) << at << ": " << subject << " stored twice";
            EXPECT_TRUE(stored.contains(subject) || server.contains(subject))
                << at << ": " << subject << " is lost";
            if (request.keepOnServer) {
                EXPECT_TRUE(server.contains(subject)) << at << ": " << subject;
            }
            if (at.completed) {
                EXPECT_EQ(stored.count(subject), 1u) << at << ": " << subject;
                EXPECT_EQ(server.contains(subject), request.keepOnServer) << at << ": " << subject;
            }
        }
        // The user tidies その他 (a delete, or a move to the keep box, of the
        // earlier mail), then the next run finishes the work of the cut one.
        store::MailStore store(request.folder.dataFolder().string());
        ASSERT_TRUE(at.step % 2 == 0 ? store.deleteRecord(kOtherSlot + 1, 1).isOk()
                                     : store.moveToKeepBox(1).isOk())
            << at;
        ReceiveObserver quiet;
        const ReceiveOutcome next = ReceiveSession().run(request, quiet);
        EXPECT_TRUE(next.succeeded()) << at;
        EXPECT_EQ(onServer().size(), request.keepOnServer ? kSubjects.size() : 0u) << at;
        EXPECT_EQ(inBoxes(), std::multiset<std::string>(kSubjects.begin(), kSubjects.end())) << at;
        ASSERT_TRUE(store::recoverLeftovers(request.folder.dataFolder().string()).status.isOk());
        checkOriginals(at);
    }

    // The changing file operations of a whole run without a cut, in order.
    std::vector<std::string> stepsOfAWholeRun() {
        reset();
        store::testing::FaultyFileSystem counter(/*failAt=*/0);
        request.fileSystem = &counter;
        ReceiveObserver quiet;
        EXPECT_TRUE(ReceiveSession().run(request, quiet).succeeded());
        request.fileSystem = nullptr;
        return counter.steps();
    }

    void cutAtEveryStep(const char* what) {
        const std::vector<int> steps =
            qf::testing::cutSteps(static_cast<int>(stepsOfAWholeRun().size()), 80);
        for (int step : steps) {
            reset();
            const bool completed = cutRun(step);
            EXPECT_FALSE(completed) << "step " << step << " never came";
            restartAndCheck({step, false, GetParam()});
        }
        reset();
        EXPECT_TRUE(cutRun(0));
        restartAndCheck({0, true, GetParam()});
        std::printf(
            "power cut (%s), %s (3 mails, an earlier one deleted or moved before the "
            "next run): %zu cut points\n",
            qf::testing::modeText(GetParam()), what, steps.size() + 1);
    }

    // The step that syncs the first original of a whole run.
    int firstOriginalSync() {
        const std::vector<std::string> steps = stepsOfAWholeRun();
        const auto first = std::find_if(steps.begin(), steps.end(), [](const std::string& step) {
            return step.starts_with("sync") && step.find(".originals") != std::string::npos;
        });
        EXPECT_NE(first, steps.end());
        // Each pack's own header, then each original (its header and bytes).
        std::set<std::string> packs;
        const auto writes = std::count_if(steps.begin(), first, [&](const std::string& s) {
            const bool packWrite = s.starts_with("write ") && s.ends_with(".originals/pack");
            if (packWrite) {
                packs.insert(s);
            }
            return packWrite;
        });
        EXPECT_EQ(static_cast<std::size_t>(writes), packs.size() + 3)
            << "the three originals are written before the first sync";
        return static_cast<int>(first - steps.begin()) + 1;
    }

    qf::testing::MailServers servers;
    testing::ProgramFolderFixture box;
    ReceiveRequest request;
    // What the kernel wrote back before a cut (cutRun).
    std::function<bool(const std::string&)> writtenBack;
};

TEST_P(ReceivePowerCutTest, EveryMailIsInItsBoxOrOnTheServer) {
    cutAtEveryStep("receive run with its journal");
}

TEST_P(ReceivePowerCutTest, MailLeftOnTheServerIsInItsBoxOnce) {
    request.keepOnServer = true;
    cutAtEveryStep("receive run leaving mail on the server");
}

// The cut comes after every original of the run was written, before the
// first is synced: they go with the cut, while every mail is still on the
// server; no record is left without its original, and the next run keeps
// each mail with its original once.
TEST_P(ReceivePowerCutTest, OriginalsNotYetSyncedGoOnlyWithTheirMailsOnTheServer) {
    const int step = firstOriginalSync();
    reset();
    EXPECT_FALSE(cutRun(step));
    const store::Originals originals(request.folder.dataFolder().string());
    for (const store::BoxInfo& info : store::allBoxes()) {
        EXPECT_TRUE(originals.keptNames(info.number).empty()) << "box " << info.number;
    }
    EXPECT_EQ(onServer(), std::multiset<std::string>(kSubjects.begin(), kSubjects.end()));
    restartAndCheck({step, false, GetParam()});
}

// The same cut after the kernel wrote the boxes and the journal back on its
// own: the records are on disk, their originals are not, and every mail is
// still on the server. The next run fetches each original again before it
// deletes the mail (also after the user moved or deleted an earlier mail).
TEST_P(ReceivePowerCutTest, ARecordWhoseOriginalTheCutTookGetsItFromTheServer) {
    const int step = firstOriginalSync();
    reset();
    writtenBack = [](const std::string& path) {
        return path.find(".originals") == std::string::npos;
    };
    EXPECT_FALSE(cutRun(step));
    writtenBack = nullptr;
    const std::multiset<std::string> all(kSubjects.begin(), kSubjects.end());
    EXPECT_EQ(inBoxes(), all);
    const store::Originals originals(request.folder.dataFolder().string());
    for (const store::BoxInfo& info : store::allBoxes()) {
        EXPECT_TRUE(originals.keptNames(info.number).empty()) << "box " << info.number;
    }
    EXPECT_EQ(onServer(), all);
    restartAndCheck({step, false, GetParam()}, /*originalsKept=*/false);
}

INSTANTIATE_TEST_SUITE_P(BothModes, ReceivePowerCutTest,
                         ::testing::Values(PowerCut::kDropUnsynced, PowerCut::kTearUnsynced),
                         qf::testing::modeName);

}  // namespace
}  // namespace qf::receive
