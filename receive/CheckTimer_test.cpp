// The timed check through the real windows against a scripted POP3 server:
// it runs on its interval, keeps the server's LOGIN-DELAY, waits while the
// user answers a question or a send runs, and says a failure in the help bar.
#include "receive/CheckTimer.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <mutex>
#include <vector>

#include "app/TestApplication.h"
#include "settings/AccountFiles.h"
#include "tests/support/ScriptedServer.h"
#include "ui/BusyScope.h"
#include "ui/TestControls.h"

namespace qf::receive {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A POP3 server with one mail waiting until a session deletes it, naming
// `loginDelay` seconds (none when 0); it refuses every password when
// `refusing`. It notes when each session began.
class Pop3WithDelay {
  public:
    explicit Pop3WithDelay(int loginDelay, bool refusing = false)
        : m_loginDelay(loginDelay),
          m_refusing(refusing),
          m_server([this](qf::testing::ScriptedConnection& c) { serve(c); }) {}

    std::string address() const { return m_server.address(); }
    std::vector<Clock::time_point> sessions() const {
        std::lock_guard lock(m_mutex);
        return m_sessions;
    }

  private:
    void serve(qf::testing::ScriptedConnection& c) {
        {
            std::lock_guard lock(m_mutex);
            m_sessions.push_back(Clock::now());
        }
        const std::string mail =
            "From: news@example.jp\r\nSubject: timed\r\nDate: Tue, 8 Dec 2026 09:00:00 "
            "+0900\r\n\r\nbody\r\n";
        bool deleted = false;
        c.send("+OK ready\r\n");
        for (std::string line = c.readLine(); !line.empty(); line = c.readLine()) {
            if (line == "CAPA") {
                const std::string delay =
                    m_loginDelay > 0 ? "LOGIN-DELAY " + std::to_string(m_loginDelay) + "\r\n" : "";
                c.send("+OK\r\nUSER\r\n" + delay + ".\r\n");
            } else if (line == "LIST") {
                c.send(m_waiting ? "+OK\r\n1 " + std::to_string(mail.size()) + "\r\n.\r\n"
                                 : "+OK\r\n.\r\n");
            } else if (line == "RETR 1") {
                c.send("+OK\r\n" + mail + ".\r\n");
            } else if (line == "DELE 1") {
                deleted = true;
                c.send("+OK\r\n");
            } else if (line == "QUIT") {
                m_waiting = m_waiting && !deleted;
                c.send("+OK\r\n");
                return;
            } else if (line.starts_with("PASS")) {
                c.send(m_refusing ? "-ERR [AUTH] wrong password\r\n" : "+OK\r\n");
            } else {
                c.send(line.starts_with("USER") ? "+OK\r\n" : "-ERR\r\n");
            }
        }
    }

    int m_loginDelay;
    bool m_refusing;
    bool m_waiting = true;
    mutable std::mutex m_mutex;
    std::vector<Clock::time_point> m_sessions;
    qf::testing::ScriptedServer m_server;
};

// A folder whose settings check every minute on `pop3`, with an account.
auto checkingOn(const std::string& pop3) {
    return [pop3](WindowTestFolder& folder) {
        const settings::ProgramFolder program = folder.programFolder();
        (void)program.ensureFolders();
        folder.write(QStringLiteral("corvid.ini"),
                     QByteArray::fromStdString("POP3=" + pop3 + "\r\nCHECK=1\r\n"));
        (void)settings::saveAccount(program.accountFile(), {"user", "secret"}, true);
    };
}

// A minute of the setting lasts this long here.
constexpr auto kMinute = 100ms;

}  // namespace

class CheckTimerTest : public QObject {
    Q_OBJECT

  private slots:
    void checksOnItsIntervalAndCountsTheMailAsTheButtonDoes() {
        Pop3WithDelay pop3(0);
        TestApplication started(checkingOn(pop3.address()));
        QVERIFY(started.status.isOk());
        CheckTimer timer(started.app->environment(), kMinute);
        QVERIFY(timer.isActive());
        QTRY_VERIFY_WITH_TIMEOUT(pop3.sessions().size() >= 4, 3000);
        QCOMPARE(control<QLineEdit>(started.mainWindow(), "Text11")->text(), QStringLiteral("1"));
        QVERIFY(started.boxes.shown().isEmpty());
        // No "新着メールなし" notice for a timed run.
        QVERIFY(control<QLineEdit>(started.mainWindow(), "Text20")->isHidden());
    }

    void neverLogsInSoonerThanTheServersLoginDelay() {
        Pop3WithDelay pop3(1);
        TestApplication started(checkingOn(pop3.address()));
        CheckTimer timer(started.app->environment(), kMinute);
        QTest::qWait(3300);
        const std::vector<Clock::time_point> sessions = pop3.sessions();
        QVERIFY(sessions.size() >= 2);
        QVERIFY(sessions.size() <= 4);
        for (std::size_t i = 1; i < sessions.size(); ++i) {
            QVERIFY(sessions[i] - sessions[i - 1] >= 1s);
        }
    }

    void waitsWhileAQuestionIsOpenOrASendRuns() {
        Pop3WithDelay pop3(0);
        TestApplication started(checkingOn(pop3.address()));
        QDialog question(&started.mainWindow());
        question.setWindowModality(Qt::ApplicationModal);
        question.show();
        CheckTimer timer(started.app->environment(), kMinute);
        QTest::qWait(500);
        QCOMPARE(pop3.sessions().size(), std::size_t{0});
        question.hide();
        QTRY_VERIFY_WITH_TIMEOUT(!pop3.sessions().empty(), 2000);

        std::size_t sessions = 0;
        {
            const ui::BusyScope sending;
            sessions = pop3.sessions().size();
            QTest::qWait(500);
            QCOMPARE(pop3.sessions().size(), sessions);
        }
        QTRY_VERIFY_WITH_TIMEOUT(pop3.sessions().size() > sessions, 2000);
    }

    void aServerOutOfReachOrARefusedLoginIsSaidInTheHelpBarNotInABox() {
        std::string closed;
        {
            Pop3WithDelay gone(0);
            closed = gone.address();
        }
        Pop3WithDelay refusing(0, true);
        for (const std::string& server : {closed, refusing.address()}) {
            TestApplication started(checkingOn(server));
            CheckTimer timer(started.app->environment(), kMinute);
            QTRY_VERIFY_WITH_TIMEOUT(control<QLabel>(started.mainWindow(), "Label10")
                                         ->text()
                                         .startsWith(QStringLiteral("自動受信")),
                                     3000);
            QVERIFY(started.boxes.shown().isEmpty());
            QVERIFY(timer.isActive());
        }
        QVERIFY(!refusing.sessions().empty());
    }

    // The program's own timer, made before the main window reads corvid.ini.
    void aStartWithTheCheckOnArmsTheTimerWithItsInterval() {
        TestApplication started(checkingOn("127.0.0.1:1"));
        auto* timer = started.app->environment().findChild<CheckTimer*>();
        QVERIFY(timer != nullptr);
        QVERIFY(timer->isActive());
        // A coarse timer may fire up to 5 % late, and says so.
        QVERIFY(timer->remainingTime() > 50s && timer->remainingTime() <= 63s);
    }

    void turningTheCheckOffInTheSettingsStopsIt() {
        Pop3WithDelay pop3(0);
        TestApplication started(checkingOn(pop3.address()));
        CheckTimer timer(started.app->environment(), kMinute);
        QVERIFY(timer.isActive());
        started.app->held().server.checkMinutes = 0;
        started.app->environment().announceServerSettings();
        QVERIFY(!timer.isActive());
    }
};

}  // namespace qf::receive

QTEST_MAIN(qf::receive::CheckTimerTest)
#include "CheckTimer_test.moc"
