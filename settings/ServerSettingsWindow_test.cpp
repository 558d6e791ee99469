#include "settings/ServerSettingsWindow.h"

#include <QCheckBox>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include "app/TestApplication.h"
#include "text/Cp932.h"
#include "ui/TestControls.h"

namespace qf::settings {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;

// Types text the way an input method commits it; keyClicks cannot type
// characters outside ASCII.
void commitText(QLineEdit* box, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(box, &event);
}

void replaceText(QLineEdit* box, const QString& text) {
    box->clear();
    QTest::keyClicks(box, text);
}

const QByteArray kCorvid = QByteArrayLiteral(
    "SMTP=smtp.example.com\r\nPOP3=pop.example.com\r\nMAIL=me@example.com\r\nAPOP=1\r\n");

}  // namespace

class ServerSettingsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void opensAboveOtherWindowsWithTheHeldSettings() {
        TestApplication started(
            [](WindowTestFolder& folder) { folder.write(QStringLiteral("corvid.ini"), kCorvid); });
        ServerSettingsWindow& form = started.app->showForm<ServerSettingsWindow>();
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(form.windowTitle(), QStringLiteral("設定"));
        QCOMPARE(control<QLineEdit>(form, "SmtpText")->text(), QStringLiteral("smtp.example.com"));
        QCOMPARE(control<QLineEdit>(form, "Pop3Text")->text(), QStringLiteral("pop.example.com"));
        QCOMPARE(control<QLineEdit>(form, "MailText")->text(), QStringLiteral("me@example.com"));
        QVERIFY(control<QCheckBox>(form, "ApopCheck")->isChecked());
    }

    // Name and signature follow the other lines; the reply's quoting choice,
    // not shown here, is kept.
    void nameAndSignatureAreWrittenAfterTheServerLines() {
        TestApplication started([](WindowTestFolder& folder) {
            folder.write(QStringLiteral("corvid.ini"), kCorvid + "QUOTE=1\r\n");
        });
        ServerSettingsWindow& form = started.app->showForm<ServerSettingsWindow>();
        commitText(control<QLineEdit>(form, "NameText"), QStringLiteral("山田 太郎"));
        control<QPlainTextEdit>(form, "SignatureText")->setPlainText(QStringLiteral("山田\n090"));
        QTest::mouseClick(control<QPushButton>(form, "OkCommand"), Qt::LeftButton);
        QCOMPARE(started.folder.read(QStringLiteral("corvid.ini")),
                 kCorvid + QByteArray::fromStdString(text::toCp932("NAME=山田 太郎\r\nSIG=山田\r\n"
                                                                   "SIG=090\r\nQUOTE=1\r\n")));
        QCOMPARE(started.app->held().server.signature, std::string("山田\n090"));
    }

    void confirmingRewritesTheFileAndTheNextStartReadsIt() {
        TestApplication started;  // no settings: the window opens by itself
        auto* form = started.app->existingForm<ServerSettingsWindow>();
        QVERIFY(form != nullptr);
        replaceText(control<QLineEdit>(*form, "SmtpText"), QStringLiteral("smtp.example.com"));
        replaceText(control<QLineEdit>(*form, "Pop3Text"), QStringLiteral("pop.example.com"));
        commitText(control<QLineEdit>(*form, "MailText"),
                   QStringLiteral("山田 <yamada@example.com>"));
        control<QCheckBox>(*form, "ApopCheck")->setChecked(true);
        QTest::mouseClick(control<QPushButton>(*form, "OkCommand"), Qt::LeftButton);

        const QByteArray expected =
            QByteArrayLiteral("SMTP=smtp.example.com\r\nPOP3=pop.example.com\r\nMAIL=") +
            QByteArray::fromStdString(text::toCp932("山田 <yamada@example.com>")) +
            QByteArrayLiteral("\r\nAPOP=1\r\n");
        QCOMPARE(started.folder.read(QStringLiteral("corvid.ini")), expected);
        QCOMPARE(started.app->held().server.pop3, std::string("pop.example.com"));
        QCOMPARE(started.app->held().server.apop, 1);
        QVERIFY(!form->isVisible());

        started.app.reset();  // the program ends; start it again on the same folder
        app::Application again(started.folder.programFolder());
        QVERIFY(again.start().isOk());
        QCOMPARE(again.held().server.apop, 1);
        QCOMPARE(again.held().server.mail, std::string("山田 <yamada@example.com>"));
        QVERIFY(again.existingForm<ServerSettingsWindow>() == nullptr);
    }

    void theTimedCheckIsAFifthLineOnlyWhileItIsOn() {
        TestApplication started(
            [](WindowTestFolder& folder) { folder.write(QStringLiteral("corvid.ini"), kCorvid); });
        ServerSettingsWindow& form = started.app->showForm<ServerSettingsWindow>();
        QVERIFY(!control<QCheckBox>(form, "TimerCheck")->isChecked());
        QVERIFY(!control<QSpinBox>(form, "MinutesSpin")->isEnabled());
        QSignalSpy announced(&started.app->environment(),
                             &ui::WindowEnvironment::serverSettingsChanged);
        control<QCheckBox>(form, "TimerCheck")->setChecked(true);
        QVERIFY(control<QSpinBox>(form, "MinutesSpin")->isEnabled());
        control<QSpinBox>(form, "MinutesSpin")->setValue(15);
        QTest::mouseClick(control<QPushButton>(form, "OkCommand"), Qt::LeftButton);
        QCOMPARE(started.folder.read(QStringLiteral("corvid.ini")), kCorvid + "CHECK=15\r\n");
        QCOMPARE(started.app->held().server.checkMinutes, 15);
        QCOMPARE(announced.count(), 1);

        ServerSettingsWindow& again = started.app->showForm<ServerSettingsWindow>();
        QVERIFY(control<QCheckBox>(again, "TimerCheck")->isChecked());
        QCOMPARE(control<QSpinBox>(again, "MinutesSpin")->value(), 15);
        control<QCheckBox>(again, "TimerCheck")->setChecked(false);
        QTest::mouseClick(control<QPushButton>(again, "OkCommand"), Qt::LeftButton);
        QCOMPARE(started.folder.read(QStringLiteral("corvid.ini")), kCorvid);
        QCOMPARE(started.app->held().server.checkMinutes, 0);
    }

    void cancellingChangesNothing() {
        TestApplication started(
            [](WindowTestFolder& folder) { folder.write(QStringLiteral("corvid.ini"), kCorvid); });
        ServerSettingsWindow& form = started.app->showForm<ServerSettingsWindow>();
        replaceText(control<QLineEdit>(form, "SmtpText"), QStringLiteral("other.example.com"));
        control<QCheckBox>(form, "ApopCheck")->setChecked(false);
        QTest::mouseClick(control<QPushButton>(form, "CancelCommand"), Qt::LeftButton);
        QCOMPARE(started.folder.read(QStringLiteral("corvid.ini")), kCorvid);
        QCOMPARE(started.app->held().server.smtp, std::string("smtp.example.com"));
        QCOMPARE(started.app->held().server.apop, 1);
        QVERIFY(!form.isVisible());
    }

    // Choosing it starts the list of mails stored, so that the first
    // receive after it does not take the list for a lost one.
    void leavingMailOnTheServerAddsItsLinesAndStartsTheSeenList() {
        TestApplication started(
            [](WindowTestFolder& folder) { folder.write(QStringLiteral("corvid.ini"), kCorvid); });
        ServerSettingsWindow& form = started.app->showForm<ServerSettingsWindow>();
        QVERIFY(!control<QSpinBox>(form, "KeepDaysSpin")->isEnabled());
        control<QCheckBox>(form, "KeepCheck")->setChecked(true);
        QVERIFY(control<QSpinBox>(form, "KeepDaysSpin")->isEnabled());
        control<QSpinBox>(form, "KeepDaysSpin")->setValue(14);
        QTest::mouseClick(control<QPushButton>(form, "OkCommand"), Qt::LeftButton);
        QCOMPARE(started.folder.read(QStringLiteral("corvid.ini")),
                 kCorvid + QByteArrayLiteral("KEEP=1\r\nKEEPDAYS=14\r\n"));
        QVERIFY(started.app->held().server.keepOnServer);
        QCOMPARE(started.app->held().server.keepDays, 14);
        const QString seenList = QStringLiteral("★MAilData/receive.seen");
        QVERIFY(started.folder.read(seenList).startsWith("quillfern seen list 2 "));

        // An existing list is kept as it is.
        started.folder.write(seenList, started.folder.read(seenList) + "1\tuid-1\n");
        const QByteArray listed = started.folder.read(seenList);
        QTest::mouseClick(
            control<QPushButton>(started.app->showForm<ServerSettingsWindow>(), "OkCommand"),
            Qt::LeftButton);
        QCOMPARE(started.folder.read(seenList), listed);
    }

    void unwritableFileIsReportedAndKeepsWhatWasTyped() {
        TestApplication started([](WindowTestFolder& folder) {
            QDir().mkpath(folder.path(QStringLiteral("corvid.ini")));
        });
        auto* form = started.app->existingForm<ServerSettingsWindow>();
        QVERIFY(form != nullptr);
        replaceText(control<QLineEdit>(*form, "Pop3Text"), QStringLiteral("pop.example.com"));
        QTest::mouseClick(control<QPushButton>(*form, "OkCommand"), Qt::LeftButton);
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.boxes.shown().front().kind, ui::MessageKind::kWarning);
        QVERIFY(form->isVisible());
        QCOMPARE(control<QLineEdit>(*form, "Pop3Text")->text(), QStringLiteral("pop.example.com"));
    }
};

}  // namespace qf::settings

QTEST_MAIN(qf::settings::ServerSettingsWindowTest)
#include "ServerSettingsWindow_test.moc"
