// The compose window on the offscreen platform: its controls, and sends to
// the local mail servers fetched back and decoded by Python's email package.
#include "compose/ComposeWindow.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <fstream>
#include <set>

#include "addressbook/AddressBookFile.h"
#include "app/TestApplication.h"
#include "base/Twips.h"
#include "compose/ComposeSender.h"
#include "compose/testing/SentMail.h"
#include "compose/testing/WaitForSend.h"
#include "store/MailStore.h"
#include "tests/support/MailServers.h"
#include "tests/support/ScriptedServer.h"
#include "transport/NMail.h"
#include "ui/ActiveLabel.h"
#include "ui/ScriptedMessageBoxes.h"
#include "ui/TestControls.h"
#include "ui/WindowTestFolder.h"
#include "viewer/ViewerWindow.h"

using namespace qf;
using compose::ComposeWindow;

namespace {

constexpr int kHistoryBox = 11;

std::vector<store::MailFields> historyOf(const ui::testing::WindowTestFolder& folder) {
    store::MailStore mailStore(folder.programFolder().dataFolder().string());
    std::vector<store::MailFields> records;
    Status read = mailStore.readAll(kHistoryBox, [&](int, std::span<const char> bytes) {
        records.push_back(store::decodeRecord(store::layoutOf(store::RecordKind::kSent), bytes));
        return Status::ok();
    });
    return read ? records : std::vector<store::MailFields>{};
}

std::string trimmedBody(const std::string& body) {
    return body.substr(0, body.find_last_not_of('\n') + 1);
}

// Takes every mail, but hangs up without a word once jiro's has ended.
void hangUpAfterJirosMail(testing::ScriptedConnection& c) {
    c.send("220 scripted ESMTP\r\n");
    bool forJiro = false;
    for (std::string line = c.readLine(); !line.empty() && !line.starts_with("QUIT");
         line = c.readLine()) {
        if (line.starts_with("RCPT")) {
            forJiro = line.find("jiro@") != std::string::npos;
        }
        if (line != "DATA") {
            c.send("250 ok\r\n");
            continue;
        }
        c.send("354 go ahead\r\n");
        for (std::string data = c.readLine(); data != "." && !c.closed(); data = c.readLine()) {
        }
        if (forJiro) {
            return;
        }
        c.send("250 queued\r\n");
    }
}

}  // namespace

class ComposeWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void opensSmallWithGreetingsAndTheAddressList();
    void onlyANewGreetingChoiceReplacesTheBodyAsOneUndoableEdit();
    void attachmentButtonsKeepOneFirstChoice();
    void attachmentIsChosenInTheFormsOwnDialog();
    void addressPaneWidensCentresAndRowClickReplacesRecipient();
    void batchModeColoursTheListAndLocksTheFortune();
    void hiddenPasteRowOpensOnlyForTheWord();
    void aScreenTooShortShrinksTheBodyNotTheRowsBelow();
    void clearEmptiesEverything();
    void helpBoxFollowsTheMouse();

    void singleSendThroughTheButtonArrivesAndCloses();
    void batchOfThreeRecordsEachRecipient();
    void emptyBookBatchSendsNothingAndCloses();
    void closingDuringABatchStopsItBetweenPasses();
    void rejectedSendKeepsTheWindowAndTheText();
    void aClosedSmtpPortNamesTheServerAndWhatToCheck();
    void vanishedEntryIsCountedAndKeepsTheWindowOpen();
    void sentMailIsListedInTheSendHistoryBox();
    void closingDuringThePressedWaitSendsNothing();
    void stopAsksAsTheFrameDoesBeforeTypedTextGoes();
    void aPartlyFailedBatchGoesAgainOnlyToWhomItMissed();
    void aMailTheServerMayHaveIsNamedAndAskedAboutBeforeGoingAgain();

  private:
    // `scriptedChooser` answers the file dialog from m_chooserAnswers.
    ComposeWindow* openForm(bool scriptedChooser = true);
    template <typename T>
    T* control(const char* name) {
        return ui::testing::control<T>(*m_form, name);
    }
    void registerEntries(const std::vector<std::pair<std::string, std::string>>& entries);
    void sendAndWaitForClose();

    std::unique_ptr<ui::testing::WindowTestFolder> m_folder;
    std::unique_ptr<ui::ScriptedMessageBoxes> m_boxes;
    testing::MailServers m_servers;
    std::string m_smtpServer;
    QPointer<ComposeWindow> m_form;
    int m_chooserCalls = 0;
    QStringList m_chooserAnswers;
};

void ComposeWindowTest::init() {
    m_folder = std::make_unique<ui::testing::WindowTestFolder>();
    m_boxes = std::make_unique<ui::ScriptedMessageBoxes>();
    QVERIFY(m_folder->programFolder().ensureFolders().isOk());
    m_servers = testing::MailServers::fromEnvironment();
    m_servers.clearMaildir();
    m_smtpServer = m_servers.smtpServer();
    m_chooserCalls = 0;
    m_chooserAnswers.clear();
}

void ComposeWindowTest::cleanup() {
    delete m_form.data();
    m_boxes.reset();
    m_folder.reset();
}

ComposeWindow* ComposeWindowTest::openForm(bool scriptedChooser) {
    compose::ComposeEnvironment environment;
    environment.folder = m_folder->programFolder();
    environment.serverSettings = [this] {
        return settings::ServerSettings{m_smtpServer, "", "me@example.jp", 0};
    };
    environment.account = [this] { return settings::Account{m_servers.user, m_servers.password}; };
    environment.clockText = [] { return QStringLiteral("2026/12/08 9:30:00"); };
    m_form = new ComposeWindow(environment);
    if (scriptedChooser) {
        m_form->setFileChooser([this] {
            ++m_chooserCalls;
            return m_chooserAnswers.isEmpty() ? QString() : m_chooserAnswers.takeFirst();
        });
    }
    m_form->show();
    if (!QTest::qWaitForWindowExposed(m_form)) {
        qWarning("window not exposed");
    }
    return m_form;
}

void ComposeWindowTest::registerEntries(
    const std::vector<std::pair<std::string, std::string>>& entries) {
    addressbook::AddressBookFile book(m_folder->programFolder().dataFolder().string());
    for (const auto& [name, address] : entries) {
        QVERIFY(book.registerEntry(name, address).isOk());
    }
}

void ComposeWindowTest::sendAndWaitForClose() {
    QSignalSpy sent(m_form.data(), &ComposeWindow::sent);
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QCOMPARE(sent.count(), 1);
    QTRY_VERIFY(m_form.isNull());  // closed and deleted
}

void ComposeWindowTest::opensSmallWithGreetingsAndTheAddressList() {
    registerEntries({{"山田", "yamada@example.jp"}, {"鈴木", "suzuki@example.jp"}});
    openForm();
    QCOMPARE(m_form->widthTwips(), 7100);
    QCOMPARE(m_form->heightTwips(), 9340);
    QCOMPARE(m_form->width(), base::twipsToPixels(7100));
    auto* greetings = control<QComboBox>("Combo1");
    QCOMPARE(greetings->count(), 8);
    QCOMPARE(greetings->itemText(3), QStringLiteral("いつもお世話になっております。"));
    QCOMPARE(greetings->currentText(), QString());
    QVERIFY(!control<QCheckBox>("Check1")->isChecked());
    QVERIFY(!control<QRadioButton>("Option2")->isChecked());
    QVERIFY(!control<QPushButton>("Command9")->isEnabled());
    QVERIFY(control<QListWidget>("List2")->isHidden());
    QVERIFY(control<QPushButton>("PasteCommand")->isHidden());
    auto* list = control<QListWidget>("List1");
    QCOMPARE(list->count(), 2);
    QVERIFY(list->item(0)->text().startsWith(QStringLiteral("山田　")));
    QCOMPARE(control<QLineEdit>("Text1")->text(), QStringLiteral("2"));
    QCOMPARE(m_form->recordNumbers(), (std::vector<int>{1, 2}));
    // The recipient box takes at most 60 typed characters.
    auto* to = control<QLineEdit>("ToText");
    to->setFocus();
    QTest::keyClicks(to, QString(70, QLatin1Char('a')));
    QCOMPARE(to->text().size(), 60);
}

void ComposeWindowTest::onlyANewGreetingChoiceReplacesTheBodyAsOneUndoableEdit() {
    openForm();
    auto* body = control<QTextEdit>("BodyText");
    auto* greetings = control<QComboBox>("Combo1");
    auto leaveGreetings = [&] {
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(greetings, &out);
    };
    body->setPlainText(QStringLiteral("書きかけの本文\n二行目"));
    leaveGreetings();  // nothing picked yet: what was typed stays
    QCOMPARE(body->toPlainText(), QStringLiteral("書きかけの本文\n二行目"));
    body->setPlainText(QStringLiteral("書きかけの本文"));
    greetings->setCurrentIndex(3);
    leaveGreetings();
    QCOMPARE(body->toPlainText(), QStringLiteral("いつもお世話になっております。"));
    body->undo();
    QCOMPARE(body->toPlainText(), QStringLiteral("書きかけの本文"));
    body->redo();
    // Typing after the greeting, then passing through the box again keeps it.
    body->moveCursor(QTextCursor::End);
    body->insertPlainText(QStringLiteral("続きの文"));
    leaveGreetings();
    QCOMPARE(body->toPlainText(), QStringLiteral("いつもお世話になっております。続きの文"));
    greetings->setCurrentIndex(0);
    leaveGreetings();
    QCOMPARE(body->toPlainText(), greetings->itemText(0));
    // Opening the drop-down list is not leaving the box.
    body->setPlainText(QStringLiteral("残る"));
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QCoreApplication::sendEvent(greetings, &popup);
    QCOMPARE(body->toPlainText(), QStringLiteral("残る"));
}

void ComposeWindowTest::attachmentButtonsKeepOneFirstChoice() {
    openForm();
    auto* first = control<QPushButton>("AttachCommand");
    auto* add = control<QPushButton>("Command9");
    auto* drop = control<QPushButton>("Command10");
    auto* attachText = control<QLineEdit>("AttachText");
    auto* attachList = control<QListWidget>("List2");

    first->click();  // cancelled dialog: the button is still used up
    QCOMPARE(m_chooserCalls, 1);
    QVERIFY(!first->isEnabled());
    QVERIFY(add->isEnabled());
    add->click();  // no first attachment: the empty list shows, no dialog
    QCOMPARE(m_chooserCalls, 1);
    QVERIFY(attachList->isVisible());
    drop->click();
    QVERIFY(first->isEnabled());
    QVERIFY(attachList->isHidden());

    m_chooserAnswers = {QStringLiteral("/tmp/a.txt"), QStringLiteral("/tmp/b 2.pdf")};
    first->click();
    add->click();
    QCOMPARE(attachText->text(), QStringLiteral("/tmp/a.txt,/tmp/b 2.pdf"));
    QCOMPARE(attachList->count(), 2);
    QVERIFY(drop->isEnabled());
    drop->click();
    QCOMPARE(attachText->text(), QString());
    QCOMPARE(attachList->count(), 0);
    QVERIFY(!add->isEnabled());
}

// Both attachment buttons choose through the window's own open-file dialog.
void ComposeWindowTest::attachmentIsChosenInTheFormsOwnDialog() {
    const QString path =
        QString::fromStdString((m_folder->programFolder().root() / "写真.jpg").string());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    openForm(false);
    QString dialogName;
    QString openedIn;
    const auto answer = [&](bool accept) {
        QTimer::singleShot(0, m_form, [&, accept] {
            if (auto* dialog = m_form->findChild<QFileDialog*>()) {
                dialogName = dialog->objectName();
                openedIn = dialog->directory().absolutePath();
                dialog->selectFile(path);
                auto* asked = static_cast<QDialog*>(dialog);
                accept ? asked->accept() : asked->reject();  // as Open and Cancel do
            }
        });
    };
    answer(true);
    QTest::mouseClick(control<QPushButton>("AttachCommand"), Qt::LeftButton);
    QCOMPARE(dialogName, QStringLiteral("AttachCommonDialog"));
    // First in the user's home, not the program's own folder.
    QCOMPARE(openedIn, QDir::home().absolutePath());
    QCOMPARE(control<QLineEdit>("AttachText")->text(), path);
    QCOMPARE(control<QListWidget>("List2")->count(), 1);
    QVERIFY(m_form->findChild<QFileDialog*>() == nullptr);  // gone once answered
    // Then where the last file was chosen.
    answer(false);
    QTest::mouseClick(control<QPushButton>("Command9"), Qt::LeftButton);
    QCOMPARE(openedIn, QFileInfo(path).absolutePath());
    QCOMPARE(control<QListWidget>("List2")->count(), 1);
}

void ComposeWindowTest::addressPaneWidensCentresAndRowClickReplacesRecipient() {
    registerEntries({{"山田", "  yamada@example.jp"}, {"鈴木", "suzuki@example.jp"}});
    openForm();
    registerEntries({{"佐藤", "sato@example.jp"}});  // seen only after a reload
    m_form->openAddressPane();
    QCOMPARE(m_form->widthTwips(), 9700);
    const QRect screen = m_form->screen()->geometry();
    QCOMPARE(m_form->x(), base::twipsToPixels((base::pixelsToTwips(screen.width()) - 9700) / 2));
    QCOMPARE(m_form->y(), base::twipsToPixels((base::pixelsToTwips(screen.height()) - 9340) / 2));
    auto* list = control<QListWidget>("List1");
    QCOMPARE(list->count(), 3);
    QCOMPARE(control<QLineEdit>("Text1")->text(), QStringLiteral("3"));

    auto* to = control<QLineEdit>("ToText");
    to->setText(QStringLiteral("someone@example.jp"));
    QTest::mousePress(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(1)).center());
    QCOMPARE(to->text(), QStringLiteral("suzuki@example.jp"));
    QTest::mousePress(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(0)).center());
    QCOMPARE(to->text(), QStringLiteral("yamada@example.jp"));

    m_form->closeAddressPane();
    QCOMPARE(m_form->widthTwips(), 7100);
}

void ComposeWindowTest::batchModeColoursTheListAndLocksTheFortune() {
    openForm();
    auto* list = control<QListWidget>("List1");
    auto* fortune = control<QCheckBox>("Check1");
    fortune->setChecked(true);
    control<QRadioButton>("Option2")->click();
    QCOMPARE(list->palette().color(QPalette::Base), QColor(0, 128, 0));
    QVERIFY(!fortune->isEnabled());

    control<QLineEdit>("ToText")->setText(QStringLiteral("x@example.jp"));
    control<QRadioButton>("Option1")->click();
    QCOMPARE(control<QLineEdit>("ToText")->text(), QString());
    QCOMPARE(list->palette().color(QPalette::Base), QColor(255, 255, 255));
    QCOMPARE(control<ui::ActiveLabel>("Label6")->text(), QString());
    QVERIFY(!fortune->isEnabled());  // only a new window enables it again
}

// 1366 x 768 at scale 1.5 leaves the window about 500 of its 623 pixels:
// the screen fit cuts its height, and the body gives up what was cut.
void ComposeWindowTest::aScreenTooShortShrinksTheBodyNotTheRowsBelow() {
    openForm();
    auto* body = control<QTextEdit>("BodyText");
    auto* status = control<QLabel>("Label7");
    auto* draft = control<QPushButton>("SaveDraft");
    const QRect bodyAsLaidOut = body->geometry();
    const int fullHeight = m_form->height();
    const int gap = fullHeight - draft->geometry().bottom();
    const int cut = base::twipsToPixels(1500);
    m_form->setFixedSize(m_form->width(), fullHeight - cut);
    QCOMPARE(body->height(), bodyAsLaidOut.height() - cut);
    QCOMPARE(m_form->height() - draft->geometry().bottom(), gap);
    QVERIFY(status->geometry().bottom() < m_form->height());
    QVERIFY(control<QListWidget>("List1")->geometry().bottom() < m_form->height());
    // The body keeps a few lines however short the screen; given room
    // again, every control is back where it was laid out.
    m_form->setFixedSize(m_form->width(), base::twipsToPixels(3000));
    QCOMPARE(body->height(), base::twipsToPixels(1200));
    m_form->setFixedSize(m_form->width(), fullHeight);
    QCOMPARE(body->geometry(), bodyAsLaidOut);
    QCOMPARE(fullHeight - draft->geometry().bottom(), gap);
}

void ComposeWindowTest::hiddenPasteRowOpensOnlyForTheWord() {
    openForm();
    auto* status = control<QLabel>("Label7");
    auto* paste = control<QPushButton>("PasteCommand");
    control<QLineEdit>("ToText")->setText(QStringLiteral("yuzuu"));
    QTest::mouseDClick(status, Qt::LeftButton);
    QVERIFY(paste->isHidden());
    QCOMPARE(m_form->heightTwips(), 9340);

    control<QLineEdit>("ToText")->setText(QStringLiteral("yuzu"));
    QTest::mouseDClick(status, Qt::LeftButton);
    QCOMPARE(m_form->heightTwips(), 9795);
    QVERIFY(paste->isVisible() && paste->isEnabled());
    QGuiApplication::clipboard()->setText(QStringLiteral("貼られた文字"));
    paste->click();
    QCOMPARE(control<QLineEdit>("PasteText")->text(), QStringLiteral("貼られた文字"));
}

void ComposeWindowTest::clearEmptiesEverything() {
    openForm();
    m_chooserAnswers = {QStringLiteral("/tmp/a.txt")};
    control<QPushButton>("AttachCommand")->click();
    control<QLineEdit>("ToText")->setText(QStringLiteral("a@example.jp"));
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("件名"));
    control<QTextEdit>("BodyText")->setPlainText(QStringLiteral("本文"));
    control<QCheckBox>("Check1")->setChecked(true);
    control<QRadioButton>("Option2")->click();
    QGuiApplication::clipboard()->setText(QStringLiteral("clip@example.jp"));
    m_form->pasteRecipient();
    QCOMPARE(control<QLineEdit>("ToText")->text(), QStringLiteral("clip@example.jp"));
    m_form->pasteBody();
    QCOMPARE(control<QTextEdit>("BodyText")->toPlainText(), QStringLiteral("本文clip@example.jp"));

    m_form->clearAll();
    QCOMPARE(control<QLineEdit>("ToText")->text(), QString());
    QCOMPARE(control<QLineEdit>("SubjectText")->text(), QString());
    QCOMPARE(control<QTextEdit>("BodyText")->toPlainText(), QString());
    QCOMPARE(control<QLineEdit>("AttachText")->text(), QString());
    QVERIFY(!control<QRadioButton>("Option2")->isChecked());
    QVERIFY(!control<QCheckBox>("Check1")->isChecked());
    QVERIFY(control<QPushButton>("AttachCommand")->isEnabled());
    QVERIFY(!control<QPushButton>("Command10")->isEnabled());
    QCOMPARE(control<QListWidget>("List1")->palette().color(QPalette::Base), QColor(Qt::white));
}

void ComposeWindowTest::helpBoxFollowsTheMouse() {
    openForm();
    auto* help = control<QLineEdit>("Text14");
    QVERIFY(help->isHidden());
    QTest::mouseMove(control<QPushButton>("AttachCommand"));
    QTRY_VERIFY(help->isVisible());
    QCOMPARE(help->text(), QStringLiteral("各種ファイルを添付して送信できます。"));
    // Offscreen, only the first synthetic move produces an enter; the rest
    // are delivered as the enter events the platform would send.
    auto enter = [](QWidget* widget, QPoint at) {
        QEnterEvent event(at, at, widget->mapToGlobal(at));
        QCoreApplication::sendEvent(widget, &event);
    };
    enter(control<ui::ActiveLabel>("Label8"), QPoint(5, 5));
    QCOMPARE(help->text(), QStringLiteral("入力した内容を送信します。"));
    // The rim of the address-book button's picture has a text of its own.
    enter(control<ui::ActiveLabel>("ImageLabel6"), QPoint(2, 2));
    QCOMPARE(help->text(), QStringLiteral("送信します。電話回線が接続されていない場合は、"
                                          "自動的に接続してメールを送信します。"));
    enter(control<QTextEdit>("BodyText")->viewport(), QPoint(5, 5));
    QVERIFY(help->isHidden());
}

// Closing the window while the send picture shows its pressed face deletes
// the window inside the wait; the press then ends without touching it.
void ComposeWindowTest::closingDuringThePressedWaitSendsNothing() {
    openForm();
    control<QLineEdit>("ToText")->setText(QStringLiteral("tomodachi@example.jp"));
    m_boxes->answer({true});  // discard what was typed
    QTimer::singleShot(30, m_form.data(), [this] { m_form->close(); });
    QTest::mouseClick(control<ui::ActiveLabel>("Label8"), Qt::LeftButton);
    QVERIFY(m_form.isNull());
    QCOMPARE(m_servers.messagesInMaildir(), std::size_t{0});
}

void ComposeWindowTest::stopAsksAsTheFrameDoesBeforeTypedTextGoes() {
    openForm();
    control<QTextEdit>("BodyText")->setPlainText(QStringLiteral("書きかけ"));
    m_boxes->answer({false});
    m_form->stopWithoutSending();
    QVERIFY(!m_form.isNull() && m_form->isVisible());
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown().back().text, ui::words(ui::Say::kDiscardTypedMail, {}, QString()));
    m_boxes->answer({true});
    m_form->stopWithoutSending();
    QTRY_VERIFY(m_form.isNull());
}

void ComposeWindowTest::singleSendThroughTheButtonArrivesAndCloses() {
    const QString first = m_folder->path(QStringLiteral("報告書.txt"));
    const QString second = m_folder->path(QStringLiteral("photo.bin"));
    std::ofstream(first.toStdString(), std::ios::binary) << "添付の本文\r\n";
    std::string binary;
    for (int i = 0; i < 300; ++i) {
        binary.push_back(static_cast<char>(i * 7));
    }
    std::ofstream(second.toStdString(), std::ios::binary) << binary;

    openForm();
    m_chooserAnswers = {first, second};
    control<QPushButton>("AttachCommand")->click();
    control<QPushButton>("Command9")->click();
    control<QLineEdit>("ToText")->setText(QStringLiteral("tomodachi@example.jp"));
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("来週の打ち合わせについて"));
    control<QTextEdit>("BodyText")
        ->setPlainText(QStringLiteral("お疲れ様です。\n資料を送ります。"));
    control<QCheckBox>("Check1")->setChecked(true);
    m_form->setFortuneSource([] { return 0.99999994f; });

    QSignalSpy sent(m_form.data(), &ComposeWindow::sent);
    QTest::mouseClick(control<ui::ActiveLabel>("Label8"), Qt::LeftButton);
    QTRY_COMPARE(sent.count(), 1);
    QTRY_VERIFY(m_form.isNull());
    QVERIFY(m_boxes->shown().isEmpty());

    auto mails = testing::fetchDecoded(m_servers.host, m_servers.pop3Port, m_servers.user,
                                       m_servers.password);
    QCOMPARE(mails.size(), std::size_t{1});
    QCOMPARE(mails[0].subject, std::string("来週の打ち合わせについて"));
    const std::string fortune =
        std::string(compose::kFortuneHeader) + "\n\n" + std::string(compose::kFortuneTexts[11]);
    QCOMPARE(trimmedBody(mails[0].body),
             std::string("お疲れ様です。\n資料を送ります。\n\n") + fortune);
    QCOMPARE(mails[0].attachments.size(), std::size_t{2});
    QCOMPARE(mails[0].attachments[0].first, std::string("報告書.txt"));
    QCOMPARE(mails[0].attachments[0].second, std::string("添付の本文\r\n"));
    QCOMPARE(mails[0].attachments[1].second, binary);

    // The history keeps the body as typed, without the fortune.
    auto history = historyOf(*m_folder);
    QCOMPARE(history.size(), std::size_t{1});
    QCOMPARE(history[0].fromOrTo, std::string("tomodachi@example.jp"));
    QCOMPARE(history[0].body, std::string("お疲れ様です。\r\n資料を送ります。"));
    QCOMPARE(history[0].date, std::string("2026/12/08 9:30:00"));
}

void ComposeWindowTest::batchOfThreeRecordsEachRecipient() {
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    openForm();
    control<QRadioButton>("Option2")->click();
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("忘年会のご案内"));
    control<QTextEdit>("BodyText")->setPlainText(QStringLiteral("皆様お元気ですか。"));
    // Runs while the passes go on off the window thread: the window's own
    // events keep coming and its input is held. The status line's texts are
    // taken as they are set: reports queued together may all be shown
    // between two turns of a timer.
    bool inputHeld = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, m_form.data(),
            [&] { inputHeld = inputHeld || !control<QLineEdit>("SubjectText")->isEnabled(); });
    watch.start(0);
    QStringList progress;
    connect(m_form->findChild<compose::ComposeSender*>(), &compose::ComposeSender::progress,
            m_form.data(),
            [&progress, status = control<QLabel>("Label7")] { progress.append(status->text()); });
    sendAndWaitForClose();
    QVERIFY(inputHeld);
    QVERIFY2(!progress.filter(QRegularExpression(QStringLiteral("（[123]/3件目）$"))).isEmpty(),
             qPrintable(progress.join(QLatin1Char('|'))));

    auto mails = testing::fetchDecoded(m_servers.host, m_servers.pop3Port, m_servers.user,
                                       m_servers.password);
    QCOMPARE(mails.size(), std::size_t{3});
    std::set<std::string> recipients;
    for (const auto& mail : mails) {
        recipients.insert(mail.to);
        QCOMPARE(mail.subject, std::string("忘年会のご案内"));
        QCOMPARE(trimmedBody(mail.body), std::string("皆様お元気ですか。"));
    }
    QCOMPARE(recipients,
             (std::set<std::string>{"ichiro@example.jp", "jiro@example.jp", "saburo@example.jp"}));
    auto history = historyOf(*m_folder);
    QCOMPARE(history.size(), std::size_t{3});
    QCOMPARE(history[0].fromOrTo, std::string("ichiro@example.jp"));
    QCOMPARE(history[1].fromOrTo, std::string("jiro@example.jp"));
    QCOMPARE(history[2].fromOrTo, std::string("saburo@example.jp"));
}

void ComposeWindowTest::emptyBookBatchSendsNothingAndCloses() {
    openForm();
    control<QRadioButton>("Option2")->click();
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("誰にも届かない"));
    sendAndWaitForClose();
    QVERIFY(historyOf(*m_folder).empty());
    QCOMPARE(m_servers.messagesInMaildir(), std::size_t{0});
    QVERIFY(m_boxes->shown().isEmpty());
}

// Closing the window during a batch stops it after the pass under way: the
// window stays with what was typed, and the history lists exactly the mails
// that went out.
void ComposeWindowTest::closingDuringABatchStopsItBetweenPasses() {
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    openForm();
    control<QRadioButton>("Option2")->click();
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("途中で閉じる"));
    bool closeRefused = false;
    QTimer::singleShot(0, m_form.data(), [&] { closeRefused = !m_form->close(); });
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QVERIFY(closeRefused);
    QVERIFY(!m_form.isNull() && m_form->isVisible());
    const std::size_t delivered = m_servers.messagesInMaildir();
    QVERIFY(delivered <= 1);
    QCOMPARE(historyOf(*m_folder).size(), delivered);
    QVERIFY2(control<QLabel>("Label7")->text().contains(
                 ui::words(ui::Say::kBatchNotRunCount, {QString::number(3 - delivered)})),
             qPrintable(control<QLabel>("Label7")->text()));
    QCOMPARE(control<QLineEdit>("SubjectText")->text(), QStringLiteral("途中で閉じる"));
}

void ComposeWindowTest::rejectedSendKeepsTheWindowAndTheText() {
    testing::ScriptedServer server(testing::refuseEveryRecipient);
    m_smtpServer = server.address();
    openForm();
    control<QLineEdit>("ToText")->setText(QStringLiteral("stranger@example.jp"));
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("届かない件名"));
    control<QTextEdit>("BodyText")->setPlainText(QStringLiteral("消えてはいけない本文"));
    control<QCheckBox>("Check1")->setChecked(true);
    QSignalSpy sent(m_form.data(), &ComposeWindow::sent);
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));

    QCOMPARE(sent.count(), 0);
    QVERIFY(!m_form.isNull() && m_form->isVisible());
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown()[0].title, QStringLiteral("送信エラー"));
    QCOMPARE(m_boxes->shown()[0].kind, ui::MessageKind::kWarning);
    // The row for a refused recipient names it; the server's line follows.
    QCOMPARE(m_boxes->shown()[0].text,
             ui::words(ui::Say::kSendRecipientRefused, {QStringLiteral("stranger@example.jp")},
                       QStringLiteral("550 5.7.1 Relaying denied for this address")));
    QCOMPARE(control<QLineEdit>("ToText")->text(), QStringLiteral("stranger@example.jp"));
    QCOMPARE(control<QLineEdit>("SubjectText")->text(), QStringLiteral("届かない件名"));
    QCOMPARE(control<QTextEdit>("BodyText")->toPlainText(), QStringLiteral("消えてはいけない本文"));
    QVERIFY(control<QLabel>("Label7")->text() != QStringLiteral("送信完了です。"));
    QVERIFY(control<QLabel>("Label7")->text().contains(QStringLiteral("送信できませんでした")));
    QVERIFY(control<QLineEdit>("ToText")->isEnabled());  // input is given back

    QVERIFY(historyOf(*m_folder).empty());  // the history lists only what went out
}

void ComposeWindowTest::aClosedSmtpPortNamesTheServerAndWhatToCheck() {
    m_smtpServer = "127.0.0.1:1";
    openForm();
    control<QLineEdit>("ToText")->setText(QStringLiteral("qftest@example.jp"));
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown()[0].title, QStringLiteral("送信エラー"));
    const QString sentence =
        ui::words(ui::Say::kSendConnectFailed, {QStringLiteral("127.0.0.1:1")});
    const QString& told = m_boxes->shown()[0].text;
    // libcurl's own text in brackets after the sentence, once.
    QVERIFY2(
        told.startsWith(sentence + QStringLiteral("\n（")) && told.endsWith(QStringLiteral("）")),
        qPrintable(told));
    QCOMPARE(told.count(QStringLiteral("（")), 1);
    QVERIFY(m_form->isVisible());
}

void ComposeWindowTest::vanishedEntryIsCountedAndKeepsTheWindowOpen() {
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    openForm();
    // The address book window deletes an entry while this list still shows three.
    QVERIFY(addressbook::AddressBookFile(m_folder->programFolder().dataFolder().string())
                .deleteEntry(2)
                .isOk());
    control<QRadioButton>("Option2")->click();
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("件名"));
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));

    QVERIFY(!m_form.isNull());
    QCOMPARE(control<QLabel>("Label7")->text(),
             QStringLiteral("3件中2件を送信しました。"
                            "1件はアドレス帳から削除されていたため送信していません。"));
    QCOMPARE(historyOf(*m_folder).size(), std::size_t{2});
    QCOMPARE(m_servers.messagesInMaildir(), std::size_t{2});
}

void ComposeWindowTest::sentMailIsListedInTheSendHistoryBox() {
    // The whole road: the main window's N button, its server settings and
    // clock, then its Send button listing the history in the viewer.
    app::testing::TestApplication started;
    QVERIFY(started.status.isOk());
    QWidget& main = started.mainWindow();
    started.app->held().server = {m_smtpServer, "", "me@example.jp", 0};
    QTest::mouseClick(ui::testing::control<ui::ActiveLabel>(main, "Label5"), Qt::LeftButton);
    QTRY_VERIFY(started.app->existingForm<ComposeWindow>() != nullptr);
    ComposeWindow* form = started.app->existingForm<ComposeWindow>();
    form->findChild<QLineEdit*>(QStringLiteral("ToText"))
        ->setText(QStringLiteral("kako@example.jp"));
    form->findChild<QLineEdit*>(QStringLiteral("SubjectText"))
        ->setText(QStringLiteral("履歴に残る件名"));
    form->send();
    QVERIFY(compose::testing::waitForSend(form));
    QTRY_VERIFY(started.app->existingForm<ComposeWindow>() == nullptr);
    QCOMPARE(m_servers.messagesInMaildir(), std::size_t{1});

    QTest::mouseClick(ui::testing::control<ui::ActiveLabel>(main, "Label8"), Qt::LeftButton);
    QTRY_VERIFY(started.app->existingForm<viewer::ViewerWindow>() != nullptr);
    viewer::ViewerWindow* viewer = started.app->existingForm<viewer::ViewerWindow>();
    QTRY_COMPARE(ui::testing::control<QTreeWidget>(*viewer, "MailListView")->topLevelItemCount(),
                 1);
    QTreeWidgetItem* item =
        ui::testing::control<QTreeWidget>(*viewer, "MailListView")->topLevelItem(0);
    QCOMPARE(item->text(0), QStringLiteral("履歴に残る件名"));
    QCOMPARE(item->text(1), QStringLiteral("kako@example.jp"));
    QVERIFY(!item->text(2).isEmpty());  // the clock's text at the send
    QVERIFY(!ui::testing::control<ui::ActiveLabel>(*viewer, "Label7")->isEnabled());
}

void ComposeWindowTest::aPartlyFailedBatchGoesAgainOnlyToWhomItMissed() {
    // Takes every mail but jiro's.
    testing::ScriptedServer server([](testing::ScriptedConnection& c) {
        testing::takeMail(
            c, [](const std::string& rcpt) { return rcpt.find("jiro@") != std::string::npos; });
    });
    m_smtpServer = server.address();
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    openForm();
    control<QRadioButton>("Option2")->click();
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("一斉送信"));
    const auto tries = [&server](const char* address) {
        const std::vector<std::string> lines = server.linesReceived();
        return std::count(lines.begin(), lines.end(), std::string("RCPT TO:<") + address + ">");
    };
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QCOMPARE(control<QLabel>("Label7")->text(),
             QStringLiteral("3件中2件を送信しました。1件は送信できませんでした。"
                            "送信できなかった宛先：jiro@example.jp"));

    // No: nothing goes again.
    m_boxes->clear();
    m_boxes->answer({false});
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown()[0].title, QStringLiteral("確認"));
    QVERIFY(m_boxes->shown()[0].text.contains(QStringLiteral("1 件（jiro@example.jp）")));
    QCOMPARE(historyOf(*m_folder).size(), std::size_t{2});  // the refused pass is not listed

    // The first entry goes from the address book, shifting every record
    // number; Yes, after the question says so: only the one it missed.
    QVERIFY(addressbook::AddressBookFile(m_folder->programFolder().dataFolder().string())
                .deleteEntry(1)
                .isOk());
    m_boxes->clear();
    m_boxes->answer({true});
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QCOMPARE(m_boxes->shown().size(), 2);  // the question, then jiro's refusal again
    QVERIFY(m_boxes->shown()[0].text.startsWith(
        ui::words(ui::Say::kBatchAddressBookChanged, {}, QString())));
    QVERIFY(m_boxes->shown()[0].text.contains(QStringLiteral("1 件（jiro@example.jp）")));
    QCOMPARE(tries("ichiro@example.jp"), 1);
    QCOMPARE(tries("saburo@example.jp"), 1);
    QCOMPARE(tries("jiro@example.jp"), 2);
    QCOMPARE(historyOf(*m_folder).size(), std::size_t{2});
    transport::NMailEndWinSock();  // hangs up the kept session
}

void ComposeWindowTest::aMailTheServerMayHaveIsNamedAndAskedAboutBeforeGoingAgain() {
    testing::ScriptedServer server(hangUpAfterJirosMail);
    m_smtpServer = server.address();
    registerEntries({{"一郎", "ichiro@example.jp"},
                     {"次郎", "jiro@example.jp"},
                     {"三郎", "saburo@example.jp"}});
    openForm();
    control<QRadioButton>("Option2")->click();
    control<QLineEdit>("SubjectText")->setText(QStringLiteral("一斉送信"));
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QCOMPARE(control<QLabel>("Label7")->text(),
             QStringLiteral("3件中2件を送信しました。1件は届いたか確認できませんでした。"
                            "届いたか確認できなかった宛先（サーバーが受け取った可能性があります）："
                            "jiro@example.jp"));
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown()[0].title, QStringLiteral("送信エラー"));
    QVERIFY2(m_boxes->shown()[0].text.startsWith(
                 QStringLiteral("メールを送信できたか確認できませんでした。")),
             qPrintable(m_boxes->shown()[0].text));

    // The second send warns that jiro may get it twice; No sends nothing.
    m_boxes->clear();
    m_boxes->answer({false});
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QCOMPARE(m_boxes->shown().size(), 1);
    QVERIFY(m_boxes->shown()[0].text.contains(
        QStringLiteral("このうち jiro@example.jp には、前回のメールがすでに届いている可能性")));
    QCOMPARE(historyOf(*m_folder).size(), std::size_t{3});  // what may have arrived is listed

    // Yes: jiro's mail goes again (and is cut off again), and is not listed twice.
    m_boxes->answer({true});
    m_form->send();
    QVERIFY(compose::testing::waitForSend(m_form.data()));
    QCOMPARE(historyOf(*m_folder).size(), std::size_t{3});
    transport::NMailEndWinSock();
}

QTEST_MAIN(ComposeWindowTest)
#include "ComposeWindow_test.moc"
