// Copies, the sender's name, the signature and quoting, from the windows to
// the bytes a raw SMTP sink on loopback receives.
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include "addressbook/AddressBookFile.h"
#include "app/TestApplication.h"
#include "compose/ComposeWindow.h"
#include "compose/Quoting.h"
#include "compose/ReplyWindow.h"
#include "settings/ServerSettings.h"
#include "store/MailStore.h"
#include "tests/support/ScriptedServer.h"
#include "text/Cp932.h"
#include "ui/TestControls.h"

using namespace qf;
using app::testing::TestApplication;
using compose::ComposeWindow;
using compose::ReplyWindow;
using testing::ScriptedServer;
using ui::testing::control;
using ui::testing::WindowTestFolder;

namespace {

// A name that tries to add an address of its own to the From header.
const std::string kHostileName = "山田 \"太郎\" <evil@evil.example>, x";

void settingsWithNameAndSignature(WindowTestFolder& folder) {
    const settings::ProgramFolder program = folder.programFolder();
    (void)program.ensureFolders();
    folder.write(QStringLiteral("corvid.ini"),
                 QByteArray::fromStdString("SMTP=127.0.0.1:1\r\nPOP3=127.0.0.1:1\r\n"
                                           "MAIL=me@example.jp\r\nAPOP=0\r\nNAME=" +
                                           text::toCp932(kHostileName) +
                                           "\r\nSIG=Taro Yamada\r\nSIG=tel 090\r\n"));
    addressbook::AddressBookFile book(program.dataFolder().string());
    (void)book.registerEntry("佐藤", "sato@example.jp");
    (void)book.registerEntry("鈴木", "suzuki@example.jp");
}

// The header block of the last mail the sink received (DATA up to the empty line).
std::string headersOf(const std::string& bytes) {
    const std::size_t data = bytes.rfind("DATA\r\n");
    const std::size_t end = bytes.find("\r\n\r\n", data);
    return data == std::string::npos ? std::string() : bytes.substr(data, end - data);
}

void clickRow(QListWidget& list, int row, Qt::KeyboardModifiers modifiers) {
    const QRect rect = list.visualItemRect(list.item(row));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers, rect.center());
}

}  // namespace

class ComposeFieldsTest : public QObject {
    Q_OBJECT

  private slots:
    // A link's copies land in their fields; the address book adds to them;
    // Cc is named in the mail, Bcc only in the envelope; the name cannot add
    // a sender; the signature is under the body.
    void copiesNameAndSignatureReachTheSinkAsMeant() {
        TestApplication started(settingsWithNameAndSignature);
        ScriptedServer sink(testing::acceptEveryMail);
        started.app->held().server.smtp = sink.address();
        ComposeWindow& form = started.app->showForm<ComposeWindow>();
        QCOMPARE(form.heightTwips(), 9340);
        auto* body = control<QTextEdit>(form, "BodyText");
        QCOMPARE(body->toPlainText(), QStringLiteral("\n\n-- \nTaro Yamada\ntel 090"));
        QVERIFY(!form.holdsTypedText());

        QVERIFY(form.startMail(
            compose::parseMailtoLink("mailto:to@example.jp?cc=cc@example.jp&bcc=hidden@example.jp"
                                     "&subject=hello&body=Hi")
                .value()));
        auto* cc = control<QLineEdit>(form, "CcText");
        auto* bcc = control<QLineEdit>(form, "BccText");
        QCOMPARE(cc->text(), QStringLiteral("cc@example.jp"));
        QCOMPARE(bcc->text(), QStringLiteral("hidden@example.jp"));
        form.openAddressPane();
        auto* list = control<QListWidget>(form, "List1");
        clickRow(*list, 0, Qt::ControlModifier);
        clickRow(*list, 1, Qt::ShiftModifier);
        QCOMPARE(cc->text(), QStringLiteral("cc@example.jp, sato@example.jp"));
        QCOMPARE(bcc->text(), QStringLiteral("hidden@example.jp, suzuki@example.jp"));
        QCOMPARE(control<QLineEdit>(form, "ToText")->text(), QStringLiteral("to@example.jp"));

        QSignalSpy sent(&form, &ComposeWindow::sent);
        form.send();  // on a worker thread: the window says when it is done
        QVERIFY(!sent.isEmpty() || sent.wait(20000));
        const std::string bytes = sink.bytesReceived();
        const std::vector<std::string> commands = testing::smtpCommands(bytes);
        const std::vector<std::string> expected = {"EHLO",
                                                   "MAIL FROM:<me@example.jp>",
                                                   "RCPT TO:<to@example.jp>",
                                                   "RCPT TO:<cc@example.jp>",
                                                   "RCPT TO:<sato@example.jp>",
                                                   "RCPT TO:<hidden@example.jp>",
                                                   "RCPT TO:<suzuki@example.jp>",
                                                   "DATA"};
        QCOMPARE(std::vector<std::string>(commands.begin(), commands.begin() + 8), expected);
        const std::string mail = bytes.substr(bytes.rfind("DATA\r\n"));
        QVERIFY(headersOf(bytes).find("\r\nCc: cc@example.jp, sato@example.jp\r\n") !=
                std::string::npos);
        for (const char* blind : {"hidden@", "suzuki@", "Bcc:", "evil@"}) {
            QVERIFY2(mail.find(blind) == std::string::npos, blind);
        }
        const std::size_t from = headersOf(bytes).find("\r\nFrom: =?");
        QVERIFY(from != std::string::npos);
        const std::string fromLine = headersOf(bytes).substr(from);
        QVERIFY(fromLine.find(" <me@example.jp>") != std::string::npos);
        QVERIFY(mail.find("Hi\r\n\r\n-- \r\nTaro Yamada\r\ntel 090") != std::string::npos);
    }

    // Batch mode carries no copies: the fields are off and nothing is sent to them.
    void batchModeTurnsTheCopiesOff() {
        TestApplication started(settingsWithNameAndSignature);
        ComposeWindow& form = started.app->showForm<ComposeWindow>();
        auto* cc = control<QLineEdit>(form, "CcText");
        cc->setText(QStringLiteral("cc@example.jp"));
        control<QRadioButton>(form, "Option2")->click();
        QVERIFY(!cc->isEnabled());
        QVERIFY(!control<QLabel>(form, "Label7")->text().isEmpty());
        control<QRadioButton>(form, "Option1")->click();
        QVERIFY(cc->isEnabled());
    }

    // The reply: signature above the received text; quoting, chosen, wraps
    // full-width text at 72 columns under the writer's line, and is kept.
    void quotingIsChosenInTheReplyAndKept() {
        TestApplication started(settingsWithNameAndSignature);
        store::MailStore& store = started.app->mailStore();
        QVERIFY(store.append(
            6, {"件名", "差出人 <from@example.jp>", "Wed, 9 Dec 2026 08:05:00 +0900", "本文"}));
        started.app->held().currentBox = 6;
        QString received;
        for (int i = 0; i < 60; ++i) {
            received += QStringLiteral("全");
        }
        ReplyWindow& reply = started.app->showForm<ReplyWindow>();
        reply.fillReply(QStringLiteral("件名"), QStringLiteral("差出人 <from@example.jp>"),
                        received);
        auto* body = control<QTextEdit>(reply, "BodyText");
        QCOMPARE(body->toPlainText(),
                 QStringLiteral("\n\n-- \nTaro Yamada\ntel 090\n\n") + received);

        body->moveCursor(QTextCursor::Start);
        QTest::keyClicks(body, QStringLiteral("OK"));  // the answer, typed on the top line
        control<QCheckBox>(reply, "QuoteCheck")->setChecked(true);
        const QStringList lines = body->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.first(), QStringLiteral("OK"));
        QCOMPARE(lines.at(6), QStringLiteral("2026年12月9日 8:05、差出人 さんは書きました:"));
        QCOMPARE(lines.at(7), QStringLiteral("> ") + received.left(35));
        QCOMPARE(lines.at(8), QStringLiteral("> ") + received.mid(35));
        QCOMPARE(compose::displayColumns(lines.at(7).toStdString()), 72);
        QVERIFY(started.folder.read(QStringLiteral("corvid.ini")).contains("QUOTE=1\r\n"));
        QVERIFY(started.app->held().server.quoteReplies);
    }
};

QTEST_MAIN(ComposeFieldsTest)
#include "ComposeFields_test.moc"
