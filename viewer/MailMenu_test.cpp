// Forward, forward as attachment and reply to all from the viewer, and the
// drafts of the windows they open, through the real windows offscreen.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/TestApplication.h"
#include "compose/ComposeWindow.h"
#include "compose/DraftSaver.h"
#include "compose/Drafts.h"
#include "compose/ReplyWindow.h"
#include "store/AttachmentIndex.h"
#include "store/MailStore.h"
#include "tests/support/ScriptedServer.h"
#include "ui/TestControls.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;

// A mail made by Python's email library (EmailMessage, headerregistry
// Address for From and To, as_bytes() with CR LF line ends).
const std::string kOriginal =
    "From: =?utf-8?b?5bGx55SwIOiKseWtkA==?= <hanako@example.jp>\r\n"
    "Reply-To: list@example.jp\r\n"
    "To: me@example.com, =?utf-8?b?6Yi05pyo?= <suzuki@example.jp>\r\n"
    "Cc: Hanako@Example.jp, ME@example.com, \"Sato, Jiro\" <sato@example.org>\r\n"
    "Subject: =?utf-8?b?5Lya6K2w44Gu5Lu2?=\r\n"
    "Date: Tue, 08 Dec 2026 10:00:00 +0900\r\n"
    "MIME-Version: 1.0\r\n"
    "\r\n"
    "本文です。\r\n";

// Two mails in box 1, each with its own file in the attachment folder noted
// as the receive notes it, and a file of no mail beside them.
void twoMailsWithFiles(WindowTestFolder& folder) {
    const settings::ProgramFolder program = folder.programFolder();
    (void)program.ensureFolders();
    store::MailStore store(program.dataFolder().string());
    const store::RecordLayout& layout = store::layoutOf(store::findBox(1)->kind);
    for (const char* name : {"a", "b"}) {
        (void)store.append(1, {std::string("件名") + name, name + std::string("@example.jp"),
                               "2026/12/08 10:00", std::string("本文 ") + name});
        const std::string file = std::string(name) + ".pdf";
        std::ofstream(program.attachmentFolder() / file) << name;
        (void)store::noteAttachments(program.dataFile(store::kAttachmentIndexFile),
                                     store::attachmentKey(store.currentRecord(1), layout), {file});
    }
    std::ofstream(program.attachmentFolder() / "stray.bin") << "x";
}

ViewerWindow& openWithRow(TestApplication& started, int row) {
    started.mainWindow().actions().openBox(1);
    ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
    auto* list = control<QTreeWidget>(viewer, "MailListView");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->topLevelItem(row)).center());
    QCoreApplication::processEvents();
    return viewer;
}

QString field(QWidget& window, const char* name) {
    return control<QLineEdit>(window, name)->text();
}

}  // namespace

class MailMenuTest : public QObject {
    Q_OBJECT

  private slots:
    void aForwardCarriesTheTextAndTheFilesOfThatMailOnly() {
        TestApplication started(twoMailsWithFiles);
        openWithRow(started, 1).forward();
        auto* compose = started.app->existingForm<compose::ComposeWindow>();
        QVERIFY(compose != nullptr && compose->isVisible());
        QCOMPARE(field(*compose, "SubjectText"), QStringLiteral("Fwd: 件名b"));
        const QString body = control<QTextEdit>(*compose, "BodyText")->toPlainText();
        QVERIFY(body.contains(QStringLiteral("b@example.jp")));
        QVERIFY(body.contains(QStringLiteral("「件名b」")));
        QVERIFY(body.endsWith(QStringLiteral("本文 b")));
        const QString attached = field(*compose, "AttachText");
        QCOMPARE(attached, started.folder.path(QStringLiteral("添付フォルダ/b.pdf")));

        // A file gone from the folder is said so and not attached.
        QFile::remove(started.folder.path(QStringLiteral("添付フォルダ/a.pdf")));
        compose->clearAll();
        ViewerWindow& viewer = openWithRow(started, 0);
        started.boxes.clear();
        viewer.forward();
        QCOMPARE(field(*compose, "AttachText"), QString());
        QCOMPARE(started.boxes.shown().size(), 1);
    }

    void aForwardAsAttachmentNeedsTheMailAsItCame() {
        TestApplication started(twoMailsWithFiles);
        openWithRow(started, 0).forwardAsAttachment();
        QCOMPARE(started.boxes.shown().size(), 1);  // not kept: said so
        QVERIFY(started.app->existingForm<compose::ComposeWindow>() == nullptr);

        started.app->environment().setOriginals(
            [](int box, int record) -> std::optional<std::string> {
                return box == 1 && record == 1 ? std::optional(kOriginal) : std::nullopt;
            });
        openWithRow(started, 0).forwardAsAttachment();
        auto* compose = started.app->existingForm<compose::ComposeWindow>();
        QVERIFY(compose != nullptr);
        QCOMPARE(field(*compose, "AttachText"), QString());
        QVERIFY(compose->holdsTypedText());
        // The mail travels in the draft, not as a copy beside it.
        QVERIFY(compose->drafts().saveNow().isOk());
        const std::filesystem::path drafts =
            compose::draftFolder(started.folder.programFolder().dataFolder());
        QCOMPARE(compose::listDrafts(drafts).at(0).draft.value().attachedMail, kOriginal);
        QCOMPARE(std::distance(std::filesystem::directory_iterator(drafts), {}), 1);

        // At the sink: the 8-bit mail as base64 data holding its own bytes.
        testing::ScriptedServer sink(testing::acceptEveryMail);
        started.app->held().server.smtp = sink.address();
        control<QLineEdit>(*compose, "ToText")->setText(QStringLiteral("friend@example.org"));
        QSignalSpy sent(compose, &compose::ComposeWindow::sent);
        compose->send();
        QVERIFY(!sent.isEmpty() || sent.wait(20000));
        const std::string bytes = sink.bytesReceived();
        const std::size_t type = bytes.find("Content-Type: application/octet-stream;");
        QVERIFY(type != std::string::npos);
        const std::size_t header = bytes.find("\r\n\r\n", type);
        QVERIFY(bytes.substr(type, header - type).find("filename*=UTF-8''") != std::string::npos);
        const std::size_t start = header + 4;
        const QByteArray data =
            QByteArray::fromStdString(bytes.substr(start, bytes.find("\r\n--=-", start) - start));
        QCOMPARE(QByteArray::fromBase64(data).toStdString(), kOriginal);
        QVERIFY(compose::listDrafts(drafts).empty());
    }

    void replyToAllGoesToReplyToToAndCcLessTheOwnAddress() {
        TestApplication started(twoMailsWithFiles);
        started.app->held().server.mail = "me@example.com";
        openWithRow(started, 0).replyToAll();
        auto* reply = started.app->existingForm<compose::ReplyWindow>();
        QVERIFY(reply != nullptr && reply->isVisible());
        // Without the mail as it came: the sender, and the window says so.
        QCOMPARE(field(*reply, "ToText"), QStringLiteral("a@example.jp"));
        QVERIFY(reply->noteText().contains(QStringLiteral("差出人だけ")));

        started.app->environment().setOriginals(
            [](int, int) -> std::optional<std::string> { return kOriginal; });
        openWithRow(started, 0).replyToAll();
        QCOMPARE(field(*reply, "ToText"),
                 QStringLiteral("list@example.jp, 鈴木 <suzuki@example.jp>, Hanako@Example.jp, "
                                "\"Sato, Jiro\" <sato@example.org>"));
        QCOMPARE(field(*reply, "SubjectText"), QStringLiteral("Re:  件名a"));
        QVERIFY(reply->noteText().contains(QStringLiteral("Reply-To")));
        QVERIFY(!reply->holdsTypedText());
    }

    void typedTextIsADraftUntilSentOrThrownAwayAndIsOfferedAtStart() {
        TestApplication started;
        const std::filesystem::path drafts =
            compose::draftFolder(started.folder.programFolder().dataFolder());
        auto& compose = started.app->showForm<compose::ComposeWindow>();
        control<QLineEdit>(compose, "SubjectText")->setText(QStringLiteral("下書きの題名"));
        QTest::keyClicks(control<QTextEdit>(compose, "BodyText"), QStringLiteral("abc"));
        // Written after the quiet time, not before.
        QVERIFY(compose::listDrafts(drafts).empty());
        QTRY_COMPARE_WITH_TIMEOUT(compose::listDrafts(drafts).size(), std::size_t{1},
                                  compose::DraftSaver::kQuietMilliseconds + 2000);
        const compose::Draft saved = compose::listDrafts(drafts)[0].draft.value();
        QCOMPARE(saved.subject, std::string("下書きの題名"));
        QCOMPARE(saved.body, std::string("abc"));
        // 全消去 throws it away.
        compose.clearAll();
        QVERIFY(compose::listDrafts(drafts).empty());

        // The command writes at once; the offer at start opens it (Yes) in
        // a window that goes on saving to the same file, or throws it away (No).
        control<QLineEdit>(compose, "ToText")->setText(QStringLiteral("x@example.jp"));
        control<QPushButton>(compose, "SaveDraft")->click();
        QCOMPARE(compose::listDrafts(drafts).size(), std::size_t{1});
        compose.drafts().finish();
        compose.clearAll();
        QVERIFY(compose::listDrafts(drafts).empty());
        QVERIFY(compose::saveDraft(drafts, compose::newDraftName(),
                                   {compose::DraftKind::kReply, "y@example.jp", "Re:  z", "", "r"})
                    .isOk());
        QVERIFY(compose::saveDraft(drafts, compose::newDraftName(),
                                   {compose::DraftKind::kCompose, "", "捨てる", "", ""})
                    .isOk());
        started.boxes.choose({ui::Choice::kYesButton, ui::Choice::kNoButton});
        started.app->offerDrafts();
        auto* reply = started.app->existingForm<compose::ReplyWindow>();
        QVERIFY(reply != nullptr && reply->isVisible());
        QCOMPARE(field(*reply, "ToText"), QStringLiteral("y@example.jp"));
        const auto left = compose::listDrafts(drafts);
        QCOMPARE(left.size(), std::size_t{1});
        QCOMPARE(reply->drafts().path(), left[0].path);
        // The reply's 中止, agreed to, throws it away.
        started.boxes.answer({true});
        reply->stopWithoutSending();
        QVERIFY(compose::listDrafts(drafts).empty());
    }
};

}  // namespace qf::viewer

QTEST_MAIN(qf::viewer::MailMenuTest)
#include "MailMenu_test.moc"
