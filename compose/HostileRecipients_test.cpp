// What reaches an SMTP server from the compose and reply windows when the
// recipient is hostile: typed, pasted, taken from the address book in a
// batch, or the sender of a received mail. A raw sink on loopback keeps every
// byte; it must see one clean transaction to the intended recipient, or
// nothing at all and the user told which address was refused.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <map>

#include "addressbook/AddressBookFile.h"
#include "app/TestApplication.h"
#include "compose/ComposeWindow.h"
#include "compose/ReplyWindow.h"
#include "compose/testing/WaitForSend.h"
#include "settings/AccountFiles.h"
#include "store/MailStore.h"
#include "tests/support/HostileSenders.h"
#include "tests/support/MailServers.h"
#include "tests/support/ScriptedServer.h"
#include "ui/ActiveLabel.h"
#include "ui/TestControls.h"
#include "viewer/ViewerWindow.h"

using namespace qf;
using app::testing::TestApplication;
using compose::ComposeWindow;
using compose::ReplyWindow;
using testing::ScriptedServer;
using ui::testing::control;
using ui::testing::WindowTestFolder;

namespace {

const QString kSmuggled =
    QStringLiteral("\"\r\nRCPT TO:<evil@evil.example>\r\nDATA\r\n\r\nsmuggled\r\n.\r\n\"@x.jp");

// The commands of one clean transaction to `recipients`.
std::vector<std::string> transactionTo(const std::vector<std::string>& recipients) {
    std::vector<std::string> commands = {"EHLO", "MAIL FROM:<me@example.jp>"};
    for (const std::string& recipient : recipients) {
        commands.push_back("RCPT TO:<" + recipient + ">");
    }
    commands.emplace_back("DATA");
    return commands;
}

std::vector<std::string> oneTransactionTo(const std::string& recipient) {
    return transactionTo({recipient});
}

std::vector<std::string> commandsOf(const ScriptedServer& sink) {
    return testing::smtpCommands(sink.bytesReceived());
}

auto settingsFor(const testing::MailServers& servers) {
    return [servers](WindowTestFolder& folder) {
        const settings::ProgramFolder program = folder.programFolder();
        (void)program.ensureFolders();
        folder.write(QStringLiteral("corvid.ini"),
                     QByteArray::fromStdString("SMTP=127.0.0.1:1\r\nPOP3=" + servers.pop3Server() +
                                               "\r\nMAIL=me@example.jp\r\n"));
        (void)settings::saveAccount(program.accountFile(), {servers.user, servers.password}, true);
    };
}

// A sample of tests/data/mail/ (see SOURCES.md there), as it is delivered.
std::string sampleMail(const QString& name) {
    QFile file(QString::fromUtf8(qgetenv("QF_SOURCE_DIR")) + QStringLiteral("/tests/data/mail/") +
               name);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

void useSink(TestApplication& started, const ScriptedServer& sink) {
    started.app->held().server.smtp = sink.address();
}

void clickRow(QTreeWidget& list, int index) {
    list.scrollToItem(list.topLevelItem(index));
    const QRect rect = list.visualItemRect(list.topLevelItem(index));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    QCoreApplication::processEvents();
}

}  // namespace

class HostileRecipientsTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        m_servers = testing::MailServers::fromEnvironment();
        m_servers.clearMaildir();
    }

    // Typing cannot put a line break into the recipient: what is left is one
    // quoted local part, sent as one RCPT.
    void typedRecipientIsOneRecipient() {
        TestApplication started(settingsFor(m_servers));
        ScriptedServer sink(testing::acceptEveryMail);
        useSink(started, sink);
        ComposeWindow& form = started.app->showForm<ComposeWindow>();
        auto* to = control<QLineEdit>(form, "ToText");
        const QStringList lines = kSmuggled.split(QStringLiteral("\r\n"));
        for (const QString& line : lines) {
            QTest::keyClicks(to, line);
            if (&line != &lines.back()) {
                QTest::keyClick(to, Qt::Key_Return);
            }
        }
        control<QLineEdit>(form, "SubjectText")->setText(QStringLiteral("件名"));
        const std::string typed = to->text().toStdString();
        QCOMPARE(typed, std::string("\"RCPT TO:<evil@evil.example>DATAsmuggled.\"@x.jp"));
        form.send();
        QVERIFY(compose::testing::waitForSend(&form));
        QCOMPARE(commandsOf(sink), oneTransactionTo(typed));
    }

    void pastedRecipientIsRefusedBeforeAnyByteIsSent() {
        // Each pasted text, and how the message names it. A NUL would end
        // the C string the transport takes: the part before it went out and
        // the send was reported as done.
        const std::pair<QString, QString> rows[] = {
            {kSmuggled, QStringLiteral("\"\\r\\nRCPT TO:<evil@evil.example>\\r\\nDATA")},
            {QStringLiteral("a@example.jp") + QChar(0) + QStringLiteral(", evil@evil.example"),
             QStringLiteral("a@example.jp\\x00, evil@evil.example")},
        };
        for (const auto& [pasted, shown] : rows) {
            TestApplication started(settingsFor(m_servers));
            ScriptedServer sink(testing::acceptEveryMail);
            useSink(started, sink);
            ComposeWindow& form = started.app->showForm<ComposeWindow>();
            QGuiApplication::clipboard()->setText(pasted);
            form.pasteRecipient();
            QCOMPARE(control<QLineEdit>(form, "ToText")->text(), pasted);
            form.send();
            QVERIFY(compose::testing::waitForSend(&form));

            QCOMPARE(sink.connections(), 0);
            QVERIFY(sink.bytesReceived().empty());
            QCOMPARE(started.boxes.shown().size(), 1);
            QCOMPARE(started.boxes.shown()[0].title, QStringLiteral("送信エラー"));
            // The sentence names the address, its control characters escaped.
            QVERIFY2(started.boxes.shown()[0].text.startsWith(
                         QStringLiteral("宛先のメールアドレス「") + shown),
                     qPrintable(started.boxes.shown()[0].text));
            QCOMPARE(control<QLineEdit>(form, "ToText")->text(), pasted);  // kept to be mended
        }
    }

    void batchSendsOnlyToTheCleanEntries() {
        TestApplication started(settingsFor(m_servers));
        addressbook::AddressBookFile book(started.folder.programFolder().dataFolder().string());
        QVERIFY(book.registerEntry("悪意", kSmuggled.toStdString()).isOk());
        QVERIFY(book.registerEntry("正規", "victim@example.jp").isOk());
        ScriptedServer sink(testing::acceptEveryMail);
        useSink(started, sink);
        ComposeWindow& form = started.app->showForm<ComposeWindow>();
        control<QRadioButton>(form, "Option2")->click();
        control<QLineEdit>(form, "SubjectText")->setText(QStringLiteral("一斉"));
        form.send();
        QVERIFY(compose::testing::waitForSend(&form));

        QCOMPARE(commandsOf(sink), oneTransactionTo("victim@example.jp"));
        QCOMPARE(started.boxes.shown().size(), 1);
        QVERIFY(started.boxes.shown()[0].text.contains(QStringLiteral("宛先のメールアドレス")));
    }

    // The hostile From samples and the From fields of HostileSenders.h,
    // received from the real POP3 server and answered from the viewer: the
    // reply goes to the real senders only, or, where the sender's address is
    // no address or could not be stored, nowhere.
    void repliesToHostileSendersGoToTheRealSenderOnly() {
        std::map<QString, std::vector<std::string>> replyTo = {
            {QStringLiteral("hostile-from-comma-in-name.eml"), {"victim@example.jp"}},
            {QStringLiteral("hostile-from-crlf-in-name.eml"), {"victim@example.jp"}},
            {QStringLiteral("hostile-from-smuggled-commands.eml"), {}},
            {QStringLiteral("hostile-from-word-in-angle.eml"), {}},
        };
        for (const auto& [sample, _] : replyTo) {
            const std::string mail = sampleMail(sample);
            QVERIFY2(!mail.empty(), qPrintable(sample));
            m_servers.deliver(mail);
        }
        const auto& senders = testing::hostileSenders();
        for (std::size_t row = 0; row < senders.size(); ++row) {
            const std::string subject = "sender " + std::to_string(row);
            m_servers.deliver("From: " + senders[row].from + "\r\nTo: me@example.jp\r\nSubject: " +
                              subject + "\r\nDate: Tue, 8 Dec 2026 10:00:00 +0900\r\n\r\nbody\r\n");
            replyTo[QString::fromStdString(subject)] = senders[row].replyTo;
        }
        TestApplication started(settingsFor(m_servers));
        QVERIFY(started.receiveAndWait());
        QCOMPARE(m_servers.messagesInMaildir(), std::size_t{0});
        started.mainWindow().actions().openBox(store::kOtherBox);
        auto& viewer = *started.app->existingForm<viewer::ViewerWindow>();
        auto* list = control<QTreeWidget>(viewer, "MailListView");
        QCOMPARE(list->topLevelItemCount(), static_cast<int>(replyTo.size()));

        for (int row = 0; row < list->topLevelItemCount(); ++row) {
            ScriptedServer sink(testing::acceptEveryMail);
            useSink(started, sink);
            started.boxes.clear();
            clickRow(*list, row);
            const QString subject = control<QLineEdit>(viewer, "Text7")->text();
            QVERIFY2(replyTo.contains(subject), qPrintable(subject));
            const std::vector<std::string>& recipients = replyTo[subject];
            viewer.reply();
            QPointer<ReplyWindow> form = started.app->existingForm<ReplyWindow>();
            QVERIFY(form);
            QVERIFY(!control<QLineEdit>(*form, "ToText")->text().contains(QLatin1Char('\n')));
            form->send();
            QVERIFY(compose::testing::waitForSend(form.data()));
            qInfo("%s | %s | %s", qPrintable(subject),
                  qPrintable(control<QLineEdit>(viewer, "Text8")->text()),
                  qPrintable(QString::fromStdString(sink.bytesReceived())
                                 .split(QStringLiteral("\r\n"))
                                 .filter(QStringLiteral("RCPT"))
                                 .join(QLatin1Char(' '))));
            if (!recipients.empty()) {
                QCOMPARE(commandsOf(sink), transactionTo(recipients));
                QTRY_VERIFY(form.isNull());
            } else {
                QVERIFY2(sink.bytesReceived().empty(), qPrintable(subject));
                QCOMPARE(started.boxes.shown().size(), 1);
                form->close();
                QTRY_VERIFY(form.isNull());
            }
        }
    }

    // A mail stored before the From was decoded with care keeps its bytes;
    // its reply meets the gate.
    void replyToAnOldRecordMeetsTheGate() {
        TestApplication started([&](WindowTestFolder& folder) {
            settingsFor(m_servers)(folder);
            store::MailStore store(folder.programFolder().dataFolder().string());
            (void)store.append(store::kOtherBox,
                               {"s", "x@y>\r\nRCPT TO:<evil@evil.example>", "d", "本文"});
        });
        ScriptedServer sink(testing::acceptEveryMail);
        useSink(started, sink);
        started.mainWindow().actions().openBox(store::kOtherBox);
        auto& viewer = *started.app->existingForm<viewer::ViewerWindow>();
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);
        viewer.reply();
        started.app->existingForm<ReplyWindow>()->send();
        QVERIFY(compose::testing::waitForSend(started.app->existingForm<ReplyWindow>()));
        QVERIFY(sink.bytesReceived().empty());
        QCOMPARE(started.boxes.shown().size(), 1);
        QVERIFY2(started.boxes.shown()[0].text.contains(QStringLiteral("x@y>\\r\\nRCPT")),
                 qPrintable(started.boxes.shown()[0].text));
    }

  private:
    testing::MailServers m_servers;
};

QTEST_MAIN(HostileRecipientsTest)
#include "HostileRecipients_test.moc"
