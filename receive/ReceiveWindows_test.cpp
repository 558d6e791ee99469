// The receive run through the real windows: the main window's Receive button
// against the local mail servers (fixture "mailservers"), the counters, the
// viewer's fields, the notice and the input held off while a run works.
#include "receive/ReceiveWindows.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "addressbook/SortingWindow.h"
#include "app/TestApplication.h"
#include "compose/ReplyWindow.h"
#include "receive/MailTransport.h"
#include "settings/AccountFiles.h"
#include "settings/AccountWindow.h"
#include "store/MailStore.h"
#include "tests/support/MailServers.h"
#include "ui/ActiveLabel.h"
#include "ui/TestControls.h"
#include "viewer/ViewerWindow.h"
#include "words/Words.h"

namespace qf::receive {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;

std::string mail(const std::string& from, const std::string& subject, const std::string& body) {
    return "From: " + from + "\r\nTo: qftest@example.jp\r\nSubject: " + subject +
           "\r\nDate: Tue, 8 Dec 2026 09:00:00 +0900\r\nMIME-Version: 1.0\r\n"
           "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
           body + "\r\n";
}

// A program folder set up for the servers: POP3 server, account and one
// registration ("taro@example.jp", box "太郎").
auto accountFor(const testing::MailServers& servers) {
    return [servers](WindowTestFolder& folder) {
        const settings::ProgramFolder program = folder.programFolder();
        (void)program.ensureFolders();
        folder.write(QStringLiteral("corvid.ini"),
                     QByteArray::fromStdString("POP3=" + servers.pop3Server() + "\r\n"));
        (void)settings::saveAccount(program.accountFile(), {servers.user, servers.password}, true);
        settings::SortingRegistrations registrations;
        registrations[0] = {"taro@example.jp", "太郎"};
        (void)settings::writeSortingRegistrations(program.sortingFile(), registrations);
    };
}

// A transport whose connect waits on the run's thread until the test lets
// it go, then finds `waiting` mails and fetches none of them: the windows
// are in their running state meanwhile.
class HeldTransport final : public MailTransport {
  public:
    explicit HeldTransport(int waiting) : m_waiting(waiting) {}
    std::atomic<int> connects = 0;
    std::atomic<bool> released = false;

    transport::TransportResult<std::unique_ptr<transport::Pop3Mailbox>> connect(
        const std::string&, const std::atomic<bool>*) override {
        ++connects;
        while (!released) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return std::unique_ptr<transport::Pop3Mailbox>(std::make_unique<Mailbox>(m_waiting));
    }
    transport::TransportResult<transport::ReceivedMail> expand(std::string_view,
                                                               const std::string&) override {
        return transport::ReceivedMail{};
    }

  private:
    class Mailbox final : public transport::Pop3Mailbox {
      public:
        explicit Mailbox(int waiting) : m_waiting(waiting) {}
        transport::TransportResult<int> login(const transport::Pop3Account&) override {
            return m_waiting;
        }
        transport::TransportResult<std::vector<std::string>> uniqueIds() override {
            return std::vector<std::string>{};
        }
        transport::TransportResult<std::string> fetch(int) override {
            return transport::TransportError{transport::TransportFault::kFetchFailed, "held", {}};
        }
        transport::TransportStatus skip(int) override { return transport::Done{}; }
        transport::TransportStatus markDeleted(int) override { return transport::Done{}; }
        int loginDelaySeconds() const override { return 0; }
        transport::TransportStatus close() override { return transport::Done{}; }

      private:
        int m_waiting;
    };
    int m_waiting;
};

// Calls `start` and waits for the run it starts to end.
ReceiveOutcome untilRunEnds(ReceiveController& controller, const std::function<void()>& start) {
    std::optional<ReceiveOutcome> ended;
    const QMetaObject::Connection noted =
        QObject::connect(&controller, &ReceiveController::runEnded,
                         [&ended](const ReceiveOutcome& outcome) { ended = outcome; });
    start();
    QDeadlineTimer deadline(30000);
    while (!ended && !deadline.hasExpired()) {
        QTest::qWait(5);
    }
    QObject::disconnect(noted);
    if (!ended) {
        qWarning("the receive run did not end in time");
        ReceiveOutcome notEnded;
        notEnded.end = RunEnd::kSessionFailed;
        return notEnded;
    }
    return *ended;
}

}  // namespace

class ReceiveWindowsTest : public QObject {
    Q_OBJECT

    // A press of the Receive button, and the run it starts until it ends.
    static ReceiveOutcome pressReceive(TestApplication& started) {
        return untilRunEnds(ReceiveController::of(started.app->environment()), [&] {
            QTest::mouseClick(control<ui::ActiveLabel>(started.mainWindow(), "Label6"),
                              Qt::LeftButton);
        });
    }

  private slots:
    void receivedMailIsCountedSortedShownAndLeavesTheServer() {
        const auto servers = testing::MailServers::fromEnvironment();
        servers.clearMaildir();
        servers.deliver(mail("taro@example.jp", "=?UTF-8?B?5LiA6YCa55uu?=", "一通目の本文"));
        servers.deliver(
            mail("other@example.jp", "=?ISO-2022-JP?B?GyRCJCpDTiRpJDsbKEI=?=", "その他の本文"));
        servers.deliver(mail("taro@example.jp", "=?UTF-8?B?5LqM6YCa55uu?=", "二通目の本文"));
        TestApplication started(accountFor(servers));
        QVERIFY(started.status.isOk());
        app::MainWindow& main = stillMainWindow(started);
        for (int i = 0; i < 3; ++i) {  // counters go on from what they hold
            main.countNewMail(1);
        }

        (void)pressReceive(started);

        QCOMPARE(servers.messagesInMaildir(), std::size_t{0});
        QCOMPARE(control<QLineEdit>(main, "Text2")->text(), QStringLiteral("5"));
        QCOMPARE(control<QLineEdit>(main, "Text11")->text(), QStringLiteral("1"));
        QCOMPARE(control<QLineEdit>(main, "Text3")->text(), QString());
        QVERIFY(started.app->held().newMailFlag);
        QVERIFY(started.boxes.shown().isEmpty());
        QVERIFY(control<QLineEdit>(main, "Text20")->isHidden());
        QCOMPARE(control<QLabel>(main, "Label10")->text(), QStringLiteral("待機中・・・"));
        QCOMPARE(control<QPlainTextEdit>(main, "Text19")->toPlainText(), QString());

        store::MailStore& store = started.app->mailStore();
        QCOMPARE(store.count(1).value(), 2);
        QCOMPARE(store.count(6).value(), 1);
        // The viewer was loaded without being shown and holds the last mail.
        auto* viewer = started.app->existingForm<viewer::ViewerWindow>();
        QVERIFY(viewer != nullptr);
        QVERIFY(!viewer->isVisible());
        QVERIFY(control<QLineEdit>(*viewer, "Text8")->text() == QStringLiteral("taro@example.jp") ||
                control<QLineEdit>(*viewer, "Text8")->text() == QStringLiteral("other@example.jp"));

        // Opening the box adds the new mail; a click shows the right record.
        main.actions().openBox(1);
        QCOMPARE(control<QLineEdit>(main, "Text1")->text(), QStringLiteral("5"));
        QCOMPARE(control<QTreeWidget>(*viewer, "MailListView")->topLevelItemCount(), 2);
        QVERIFY(store.readRecord(1, 1).value());
        const store::MailFields first = store.currentFields(1);
        const QRect rect =
            control<QTreeWidget>(*viewer, "MailListView")
                ->visualItemRect(control<QTreeWidget>(*viewer, "MailListView")->topLevelItem(0));
        QTest::mouseClick(control<QTreeWidget>(*viewer, "MailListView")->viewport(), Qt::LeftButton,
                          {}, rect.center());
        QCoreApplication::processEvents();
        QCOMPARE(control<QLineEdit>(*viewer, "Text7")->text(),
                 QString::fromStdString(first.subject));
        QVERIFY(control<QLineEdit>(*viewer, "Text7")->text() == QStringLiteral("一通目") ||
                control<QLineEdit>(*viewer, "Text7")->text() == QStringLiteral("二通目"));
        QCOMPARE(control<QLineEdit>(*viewer, "Text8")->text(), QStringLiteral("taro@example.jp"));
        QVERIFY(control<QTextEdit>(*viewer, "rtfEd")
                    ->toPlainText()
                    .startsWith(control<QLineEdit>(*viewer, "Text7")->text()));
    }

    void aRunLeavesTheWindowsLiveAndCannotNestThenShowsTheNotice() {
        TestApplication started;
        app::MainWindow& main = stillMainWindow(started);
        ReceiveController& controller = ReceiveController::of(started.app->environment());
        QSignalSpy receiveClicks(control<ui::ActiveLabel>(main, "Label6"),
                                 &ui::ActiveLabel::clicked);
        HeldTransport transport(0);
        started.app->held().server = {"", "127.0.0.1:1", "", 0};
        started.app->form<settings::AccountWindow>();  // an account, so the run connects
        setAccount(started, "user", "secret");

        const ReceiveOutcome outcome = untilRunEnds(controller, [&] {
            QVERIFY(controller.start(transport));
            QTRY_COMPARE(transport.connects.load(), 1);
            // The window thread goes on: input arrives, a second run does not start.
            QTest::mouseClick(control<ui::ActiveLabel>(main, "Label6"), Qt::LeftButton);
            QCOMPARE(receiveClicks.count(), 1);
            const bool second = controller.start(transport);
            transport.released = true;
            QVERIFY(!second);
        });

        QCOMPARE(outcome.end, RunEnd::kCompleted);
        QCOMPARE(transport.connects.load(), 1);
        QVERIFY(started.boxes.shown().isEmpty());

        // No mail in this program run: the notice, for six seconds.
        QElapsedTimer shown;
        shown.start();
        QVERIFY(control<QLineEdit>(main, "Text20")->isVisible());
        QCOMPARE(control<QLineEdit>(main, "Text20")->text(), QStringLiteral("新着メールなし"));
        QCOMPARE(control<QLabel>(main, "Label10")->text(),
                 QStringLiteral("新着メールはありませんでした。"));
        QTRY_VERIFY_WITH_TIMEOUT(control<QLineEdit>(main, "Text20")->isHidden(), 10000);
        QVERIFY2(shown.elapsed() > 5500, qPrintable(QString::number(shown.elapsed())));
        QCOMPARE(control<QLabel>(main, "Label10")->text(), QStringLiteral("待機中・・・"));
    }

    // A stop (Esc) ends the run before its next mail; the help bar says so and that
    // the rest stays on the server, and no notice claims there was none.
    void aStopEndsTheRunBeforeItsNextMail() {
        TestApplication started;
        app::MainWindow& main = stillMainWindow(started);
        ReceiveController& controller = ReceiveController::of(started.app->environment());
        HeldTransport transport(3);
        started.app->held().server = {"", "127.0.0.1:1", "", 0};
        started.app->form<settings::AccountWindow>();
        setAccount(started, "user", "secret");

        const ReceiveOutcome outcome = untilRunEnds(controller, [&] {
            QVERIFY(controller.start(transport));
            QTRY_COMPARE(transport.connects.load(), 1);
            main.actions().stopReceive();  // what Esc on the main window does
            const QString helpBar = control<QLabel>(main, "Label10")->text();
            transport.released = true;
            QCOMPARE(helpBar, ui::words(ui::Say::kReceiveStopping, {}, QString()));
        });

        QCOMPARE(outcome.end, RunEnd::kStopped);
        QCOMPARE(outcome.keptOnServer, 3);
        QVERIFY(started.boxes.shown().isEmpty());
        QVERIFY(control<QLineEdit>(main, "Text20")->isHidden());
        QCOMPARE(control<QLabel>(main, "Label10")->text(),
                 ui::words(ui::Say::kReceiveStopped, {}, QString()));
    }

    // A closed port, a missing account and a refused login: each says what
    // failed and what to check, under "エラー", and none claims there is no
    // new mail; the command-line receive says the same.
    void aFailedRunSaysWhatToCheckAndNeverClaimsNoNewMail() {
        const auto servers = testing::MailServers::fromEnvironment();
        servers.clearMaildir();
        TestApplication started(accountFor(servers));
        app::MainWindow& main = stillMainWindow(started);
        // `detail`: how the server's or library's text in brackets starts.
        auto expectTold = [&](const QString& start, const QString& check,
                              const QString& detail = {}) {
            QCOMPARE(started.boxes.shown().size(), 1);
            const ui::MessageRequest& told = started.boxes.shown().front();
            QCOMPARE(told.title, QStringLiteral("エラー"));
            QVERIFY2(told.text.startsWith(start), qPrintable(told.text));
            QVERIFY2(told.text.contains(check), qPrintable(told.text));
            QCOMPARE(told.text.count(QStringLiteral("（")), detail.isEmpty() ? 0 : 1);
            QVERIFY2(detail.isEmpty() || told.text.contains(QStringLiteral("\n（") + detail),
                     qPrintable(told.text));
            QVERIFY(control<QLineEdit>(main, "Text20")->isHidden());
            QCOMPARE(control<QLabel>(main, "Label10")->text(), QStringLiteral("待機中・・・"));
            started.boxes.clear();
        };

        started.app->held().server.pop3 = "127.0.0.1:1";
        (void)pressReceive(started);
        expectTold(QStringLiteral("POP3サーバー「127.0.0.1:1」に接続できませんでした。"),
                   QStringLiteral("設定 → POPサーバー"),
                   QStringLiteral("Connection refused）"));  // the OS's words, whole

        started.app->held().server.pop3 = servers.pop3Server();
        started.app->form<settings::AccountWindow>();
        setAccount(started, "", "");
        (void)pressReceive(started);
        expectTold(QStringLiteral("IDまたはパスワードが入力されていない"),
                   QStringLiteral("設定 → ID/PASS"));

        setAccount(started, servers.user.c_str(), "wrong-password");
        (void)pressReceive(started);
        expectTold(QStringLiteral("POP3サーバーにログインできませんでした。"),
                   QStringLiteral("設定 → ID/PASS"), QStringLiteral("-ERR"));
        QVERIFY(!started.app->held().newMailFlag);
    }

    // Mail left on the server with no list of what was stored: the run asks
    // before anything is fetched. Answered キャンセル, the timed check does not
    // ask again and says in the help bar that it waits; the Receive button
    // still asks, and いいえ takes what waits now as received.
    void aLostSeenListIsAskedAboutBeforeAnythingIsFetched() {
        const auto servers = testing::MailServers::fromEnvironment();
        servers.clearMaildir();
        servers.deliver(mail("taro@example.jp", "old", "電話で読んだメール"));
        TestApplication started(accountFor(servers));
        app::MainWindow& main = stillMainWindow(started);
        started.app->held().server.keepOnServer = true;
        ReceiveController& controller = ReceiveController::of(started.app->environment());
        started.boxes.choose({ui::Choice::kCancelButton});
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(untilRunEnds(controller, [&] { controller.start(RunTrigger::kTimer); }).end,
                     RunEnd::kCancelled);
        }
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(control<QLabel>(main, "Label10")->text(),
                 ui::words(ui::Say::kTimedCheckAwaitsAnswer, {}, QString()));
        started.boxes.clear();

        started.boxes.choose({ui::Choice::kNoButton});
        (void)pressReceive(started);
        QCOMPARE(started.boxes.shown().size(), 1);
        const ui::MessageRequest& asked = started.boxes.shown().front();
        QCOMPARE(asked.title, QStringLiteral("確認"));
        QCOMPARE(asked.defaultChoice, ui::Choice::kCancelButton);
        QVERIFY2(asked.text.startsWith(QStringLiteral("サーバーに残したメールの受信済み一覧")),
                 qPrintable(asked.text));
        QVERIFY(asked.text.contains(QStringLiteral("1 通")));
        QCOMPARE(started.app->mailStore().count(1).value(), 0);

        servers.deliver(mail("taro@example.jp", "new", "新しいメール"));
        started.boxes.clear();
        (void)pressReceive(started);
        QVERIFY(started.boxes.shown().isEmpty());
        QCOMPARE(control<QLineEdit>(main, "Text2")->text(), QStringLiteral("1"));
        QCOMPARE(started.app->mailStore().count(1).value(), 1);
        QCOMPARE(servers.messagesInMaildir(), std::size_t{2});
    }

    // OK makes the typed password the one used for the rest of the run; with
    // "IDパスワードを保存する" unticked no password stays in the file.
    void theConfirmedPasswordIsUsedAndStoredOnlyWhenKept() {
        const auto servers = testing::MailServers::fromEnvironment();
        servers.clearMaildir();
        servers.deliver(mail("other@example.jp", "pass", "届いた本文"));
        TestApplication started([&](WindowTestFolder& folder) {
            accountFor(servers)(folder);
            (void)settings::saveAccount(folder.programFolder().accountFile(),
                                        {servers.user, "old-password"}, true);
        });
        app::MainWindow& main = stillMainWindow(started);
        auto& account = started.app->showForm<settings::AccountWindow>();
        control<QLineEdit>(account, "PassText")->setText(QString::fromStdString(servers.password));
        QVERIFY(control<QCheckBox>(account, "Check1")->isChecked());
        control<QCheckBox>(account, "Check1")->setChecked(false);
        control<QPushButton>(account, "OKCommand")->click();
        QVERIFY(started.app->existingForm<settings::AccountWindow>() == nullptr ||
                !started.app->existingForm<settings::AccountWindow>()->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        (void)pressReceive(started);

        QVERIFY2(started.boxes.shown().isEmpty(), qPrintable(started.boxes.shown().value(0).text));
        QCOMPARE(control<QLineEdit>(main, "Text11")->text(), QStringLiteral("1"));
        const settings::ProgramFolder program = started.folder.programFolder();
        QCOMPARE(settings::readAccount(program.accountFile()).password, "");
        QVERIFY(!settings::accountKept(program.accountFile()));
    }

    // A registration written in the sorting window captions its box and
    // routes the very next receive, without a restart.
    void aRegistrationTakesEffectAtOnce() {
        const auto servers = testing::MailServers::fromEnvironment();
        servers.clearMaildir();
        servers.deliver(mail("hanako@example.jp", "hello", "花子さんから"));
        TestApplication started(accountFor(servers));
        app::MainWindow& main = stillMainWindow(started);
        auto& sorting = started.app->showForm<addressbook::SortingWindow>();
        sorting.findChild<QLineEdit*>(QStringLiteral("Text3"))
            ->setText(QStringLiteral("hanako@example.jp"));
        sorting.findChild<QLineEdit*>(QStringLiteral("Text4"))->setText(QStringLiteral("花子"));
        sorting.registerAll();

        QCOMPARE(control<ui::ActiveLabel>(main, "Label4")->text(), QStringLiteral("花子"));
        QCOMPARE(control<QLineEdit>(main, "Text14")->text(), QStringLiteral("hanako@example.jp"));
        (void)pressReceive(started);
        QCOMPARE(control<QLineEdit>(main, "Text3")->text(), QStringLiteral("1"));
        QCOMPARE(control<QLineEdit>(main, "Text11")->text(), QString());
        QCOMPARE(started.app->mailStore().count(2).value(), 1);
    }

    // With a box open and a mail clicked, a receive leaves the viewer showing
    // and acting on that mail; with nothing highlighted it shows nothing.
    void theViewerShowsWhatItActsOnAfterAReceive() {
        const auto servers = testing::MailServers::fromEnvironment();
        servers.clearMaildir();
        TestApplication started([&](WindowTestFolder& folder) {
            accountFor(servers)(folder);
            store::MailStore store(folder.programFolder().dataFolder().string());
            (void)store.append(6, {"最初の件名", "first@example.jp", "date 1", "最初の本文"});
            (void)store.append(6, {"二番目の件名", "second@example.jp", "date 2", "二番目の本文"});
        });
        app::MainWindow& main = stillMainWindow(started);
        main.actions().openBox(6);
        auto* viewer = started.app->existingForm<viewer::ViewerWindow>();
        QTreeWidget& list = *control<QTreeWidget>(*viewer, "MailListView");
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          list.visualItemRect(list.topLevelItem(0)).center());
        QCoreApplication::processEvents();
        QCOMPARE(control<QLineEdit>(*viewer, "Text8")->text().trimmed(),
                 QStringLiteral("first@example.jp"));

        servers.deliver(mail("newcomer@example.jp", "new", "新しい本文"));
        (void)pressReceive(started);

        QCOMPARE(control<QLineEdit>(main, "Text11")->text(), QStringLiteral("1"));
        // The open box lists the new mail and counts it.
        QCOMPARE(list.topLevelItemCount(), 3);
        QCOMPARE(list.topLevelItem(2)->text(1).trimmed(), QStringLiteral("newcomer@example.jp"));
        QCOMPARE(control<QLineEdit>(*viewer, "Text2")->text(), QStringLiteral("3"));
        QCOMPARE(control<QLineEdit>(*viewer, "Text7")->text().trimmed(),
                 QStringLiteral("最初の件名"));
        QCOMPARE(control<QLineEdit>(*viewer, "Text8")->text().trimmed(),
                 QStringLiteral("first@example.jp"));
        QCOMPARE(control<QTextEdit>(*viewer, "rtfEd")->toPlainText(), QStringLiteral("最初の本文"));
        QCOMPARE(viewer->selectionMarker(), QStringLiteral("1"));
        viewer->reply();
        auto* reply = started.app->existingForm<compose::ReplyWindow>();
        QVERIFY(reply != nullptr);
        QCOMPARE(reply->findChild<QLineEdit*>(QStringLiteral("ToText"))->text(),
                 QStringLiteral("first@example.jp"));
        reply->stopWithoutSending();

        // Nothing highlighted: nothing shown, nothing for a command to take.
        list.clearSelection();
        servers.deliver(mail("newcomer@example.jp", "again", "もう一通"));
        (void)pressReceive(started);
        QCOMPARE(control<QLineEdit>(main, "Text11")->text(), QStringLiteral("2"));
        QCOMPARE(list.topLevelItemCount(), 4);
        QCOMPARE(control<QLineEdit>(*viewer, "Text7")->text(), QString());
        QCOMPARE(control<QTextEdit>(*viewer, "rtfEd")->toPlainText(), QString());
        QCOMPARE(viewer->selectionMarker(), QString());
    }

  private:
    // The main window without its scrolling pictures: their slides run in
    // waits of their own and would only slow the button presses down here.
    static app::MainWindow& stillMainWindow(TestApplication& started) {
        control<QTimer>(started.mainWindow(), "Timer1")->stop();
        control<QTimer>(started.mainWindow(), "Timer2")->stop();
        return started.mainWindow();
    }

    static void setAccount(TestApplication& started, const char* id, const char* password) {
        auto* account = started.app->existingForm<settings::AccountWindow>();
        control<QLineEdit>(*account, "IdText")->setText(QString::fromLatin1(id));
        control<QLineEdit>(*account, "PassText")->setText(QString::fromLatin1(password));
    }
};

}  // namespace qf::receive

QTEST_MAIN(qf::receive::ReceiveWindowsTest)
#include "ReceiveWindows_test.moc"
