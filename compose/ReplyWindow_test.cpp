// The reply window on the offscreen platform: a reply to a mail received
// from the local mail servers, fetched back and decoded by Python's email
// package; a refused reply against a scripted server; the body paste.
#include "compose/ReplyWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include "app/TestApplication.h"
#include "base/Twips.h"
#include "compose/testing/SentMail.h"
#include "compose/testing/WaitForSend.h"
#include "settings/AccountFiles.h"
#include "store/MailStore.h"
#include "store/Originals.h"
#include "tests/support/MailServers.h"
#include "tests/support/SampleMails.h"
#include "tests/support/ScriptedServer.h"
#include "ui/ActiveLabel.h"
#include "ui/TestControls.h"
#include "viewer/ViewerWindow.h"

using namespace qf;
using app::testing::TestApplication;
using compose::ReplyWindow;
using ui::testing::WindowTestFolder;

namespace {

// A program folder whose settings point at `smtp` and the test POP3 server.
auto accountFor(const testing::MailServers& servers, const std::string& smtp) {
    return [servers, smtp](WindowTestFolder& folder) {
        const settings::ProgramFolder program = folder.programFolder();
        (void)program.ensureFolders();
        folder.write(QStringLiteral("corvid.ini"),
                     QByteArray::fromStdString("SMTP=" + smtp + "\r\nPOP3=" + servers.pop3Server() +
                                               "\r\nMAIL=me@example.jp\r\n"));
        (void)settings::saveAccount(program.accountFile(), {servers.user, servers.password}, true);
    };
}

using ui::testing::control;

void clickRow(QTreeWidget& list, int index) {
    const QRect rect = list.visualItemRect(list.topLevelItem(index));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    QCoreApplication::processEvents();
}

}  // namespace

class ReplyWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void replyToAReceivedMailArrivesWithItsSubjectAndBody() {
        const auto servers = testing::MailServers::fromEnvironment();
        servers.clearMaildir();
        servers.deliver(
            "From: other@example.jp\r\nTo: qftest@example.jp\r\n"
            "Subject: =?UTF-8?B?5omT44Gh5ZCI44KP44Gb?=\r\n"  // 打ち合わせ
            "Date: Tue, 8 Dec 2026 09:00:00 +0900\r\nMIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
            "来週の件です。\r\nよろしく。\r\n");
        TestApplication started(accountFor(servers, servers.smtpServer()));
        QVERIFY(started.status.isOk());
        QVERIFY(started.receiveAndWait());
        QCOMPARE(servers.messagesInMaildir(), std::size_t{0});
        started.mainWindow().actions().openBox(store::kOtherBox);
        auto& viewer = *started.app->existingForm<viewer::ViewerWindow>();
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);

        viewer.reply();
        QPointer<ReplyWindow> form = started.app->existingForm<ReplyWindow>();
        QVERIFY(form && form->isVisible());
        QCOMPARE(control<QLineEdit>(*form, "SubjectText")->text(),
                 QStringLiteral("Re:  打ち合わせ"));
        QCOMPARE(control<QLineEdit>(*form, "ToText")->text(), QStringLiteral("other@example.jp"));
        QSignalSpy sent(form.data(), &ReplyWindow::sent);
        QTest::mouseClick(control<ui::ActiveLabel>(*form, "Label1"), Qt::LeftButton);
        QTRY_COMPARE(sent.count(), 1);
        QTRY_VERIFY(form.isNull());
        QVERIFY(started.boxes.shown().isEmpty());

        auto mails =
            testing::fetchDecoded(servers.host, servers.pop3Port, servers.user, servers.password);
        QCOMPARE(mails.size(), std::size_t{1});
        QCOMPARE(mails[0].subject, std::string("Re:  打ち合わせ"));
        QCOMPARE(mails[0].to, std::string("other@example.jp"));
        QVERIFY2(mails[0].body.starts_with("来週の件です。\nよろしく。"), mails[0].body.c_str());
        // A reply writes no send history.
        QCOMPARE(started.app->mailStore().count(store::kSendHistoryBox).value(), 0);
    }

    void refusedReplyKeepsTheWindowAndEverythingTyped() {
        testing::ScriptedServer server(testing::refuseEveryRecipient);
        const auto servers = testing::MailServers::fromEnvironment();
        TestApplication started(accountFor(servers, server.address()));
        ReplyWindow& form = started.app->showForm<ReplyWindow>();
        form.fillReply(QStringLiteral("  件名 "), QStringLiteral(" stranger@example.jp "),
                       QStringLiteral("消えてはいけない本文"));
        QCOMPARE(control<QLineEdit>(form, "SubjectText")->text(), QStringLiteral("Re:  件名"));
        QSignalSpy sent(&form, &ReplyWindow::sent);

        form.send();
        QVERIFY(compose::testing::waitForSend(&form));

        QCOMPARE(sent.count(), 0);
        QVERIFY(started.app->existingForm<ReplyWindow>() != nullptr && form.isVisible());
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.boxes.shown()[0].title, QStringLiteral("送信エラー"));
        QCOMPARE(started.boxes.shown()[0].kind, ui::MessageKind::kWarning);
        QCOMPARE(started.boxes.shown()[0].text,
                 ui::words(ui::Say::kSendRecipientRefused, {QStringLiteral("stranger@example.jp")},
                           QStringLiteral("550 5.7.1 Relaying denied for this address")));
        QCOMPARE(control<QLineEdit>(form, "ToText")->text(), QStringLiteral("stranger@example.jp"));
        QCOMPARE(control<QTextEdit>(form, "BodyText")->toPlainText(),
                 QStringLiteral("消えてはいけない本文"));
        QVERIFY(form.isEnabled());

        // "中止" asks before the typed text goes, and keeps it on "いいえ".
        control<QTextEdit>(form, "BodyText")->setPlainText(QStringLiteral("書きかけ"));
        started.boxes.answer({false});
        form.stopWithoutSending();
        QVERIFY(form.isVisible());
        QCOMPARE(started.boxes.shown().back().text,
                 ui::words(ui::Say::kDiscardTypedMail, {}, QString()));
    }

    // The paste takes the current box's last read mail, even after the
    // viewer has gone; twice stacks two copies; the send history gets none.
    void bodyPasteStacksAboveTheReceivedBody() {
        TestApplication started([](WindowTestFolder& folder) {
            (void)folder.programFolder().ensureFolders();
            store::MailStore store(folder.programFolder().dataFolder().string());
            (void)store.append(store::kKeepBox,
                               {"s", "a@example.jp", "d", "  受信本文\r\n二行目 "});
        });
        started.mainWindow().actions().openBox(store::kKeepBox);
        started.app->existingForm<viewer::ViewerWindow>()->close();
        QTRY_VERIFY(started.app->existingForm<viewer::ViewerWindow>() == nullptr);
        ReplyWindow& form = started.app->showForm<ReplyWindow>();
        auto* body = control<QTextEdit>(form, "BodyText");
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();

        form.pasteBody();
        const QString once = QStringLiteral("\n\n\n\n受信本文\n二行目");
        QCOMPARE(body->toPlainText(), once);  // only spaces are trimmed, not line ends
        QCOMPARE(clipboard->text(), once);
        form.pasteBody();
        QCOMPARE(body->toPlainText(), once + QStringLiteral("\n\n\n\n受信本文\n二行目"));

        started.app->held().currentBox = store::kSendHistoryBox;
        form.pasteBody();
        QCOMPARE(body->toPlainText(), once + QStringLiteral("\n\n\n\n受信本文\n二行目"));
    }

    // A mail whose original is kept pastes the original's text, as the
    // viewer shows it, not the record's "?".
    void bodyPasteTakesTheOriginalsText() {
        const std::string original = qf::testing::kMailBeyondCp932;
        TestApplication started([&original](WindowTestFolder& folder) {
            (void)folder.programFolder().ensureFolders();
            store::MailStore store(folder.programFolder().dataFolder().string());
            const store::MailFields fields{qf::testing::kSubjectBeyondCp932Kept, "a@example.jp",
                                           "Tue, 08 Dec 2026 10:00:00 +0900",
                                           qf::testing::kBodyBeyondCp932Kept};
            (void)store.append(store::kOtherBox, fields);
            (void)store::Originals(store.dataFolder())
                .keep(store::kOtherBox,
                      store::recordTextsOf(store::layoutOf(store::RecordKind::kMail), fields),
                      original);
        });
        started.mainWindow().actions().openBox(store::kOtherBox);
        ReplyWindow& form = started.app->showForm<ReplyWindow>();
        QGuiApplication::clipboard()->clear();
        form.pasteBody();
        QCOMPARE(control<QTextEdit>(form, "BodyText")->toPlainText(),
                 QStringLiteral("\n\n\n\n𠮷野家でcafé🍻"));
    }

    void resizeKeepsTheProportions() {
        TestApplication started;
        ReplyWindow& form = started.app->showForm<ReplyWindow>();
        QCOMPARE(control<QLabel>(form, "Label1")->text(), QStringLiteral("送信"));
        QCOMPARE(control<QLabel>(form, "Label3")->text(), QStringLiteral("中止"));
        form.resize(base::twipsToPixels(9000), base::twipsToPixels(7500));
        QCoreApplication::processEvents();
        auto* body = control<QTextEdit>(form, "BodyText");
        QCOMPARE(body->size(), QSize(base::twipsToPixels(8730), base::twipsToPixels(5100)));
        QCOMPARE(control<QLineEdit>(form, "SubjectText")->width(), base::twipsToPixels(6300));
        QCOMPARE(control<QLineEdit>(form, "AttachText")->width(), base::twipsToPixels(3600));
        QCOMPARE(control<QWidget>(form, "AttachCommand")->x(), base::twipsToPixels(4840));
        QCOMPARE(control<QWidget>(form, "Command9")->x(), base::twipsToPixels(5660));
        QCOMPARE(control<QWidget>(form, "Command10")->x(), base::twipsToPixels(6540));
    }
};

QTEST_MAIN(ReplyWindowTest)
#include "ReplyWindow_test.moc"
