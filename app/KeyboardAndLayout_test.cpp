// The program driven by the keyboard alone, and its windows' controls laid
// out without covering each other.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include "addressbook/AddressBookFile.h"
#include "addressbook/AddressBookWindow.h"
#include "app/SettingsMenu.h"
#include "app/TestApplication.h"
#include "compose/ComposeWindow.h"
#include "settings/AccountWindow.h"
#include "settings/ServerSettingsWindow.h"
#include "store/MailStore.h"
#include "ui/ActiveLabel.h"
#include "ui/TestControls.h"
#include "viewer/ViewerWindow.h"

namespace qf::app {
namespace {

using testing::TestApplication;
using testing::WindowTestFolder;

// A folder with a POP3 server set (no server window at start) and
// `mails` mails in box 1.
auto withMails(int mails) {
    return [mails](WindowTestFolder& folder) {
        folder.write(QStringLiteral("corvid.ini"), "POP3=127.0.0.1:1\r\n");
        const settings::ProgramFolder program = folder.programFolder();
        (void)program.ensureFolders();
        store::MailStore store(program.dataFolder().string());
        for (int n = 1; n <= mails; ++n) {
            const std::string number = std::to_string(n);
            (void)store.append(1,
                               {"件名" + number, "sender" + number + "@example.jp",
                                "Tue, 08 Dec 2026 10:00:0" + number + " +0900", "本文" + number});
        }
    };
}

using ui::testing::control;

void press(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(widget, key, modifiers);
    QCoreApplication::processEvents();
}

// The control that Tab leads to from `from` (hidden and disabled ones skipped).
QWidget* nextByTab(QWidget* from) {
    QWidget* next = from->nextInFocusChain();
    while (next != from && (!next->isVisibleTo(from->window()) || !next->isEnabled() ||
                            !(next->focusPolicy() & Qt::TabFocus))) {
        next = next->nextInFocusChain();
    }
    return next;
}

// The visible child controls of `parent` whose rectangles overlap `widget`'s.
QStringList overlapping(const QWidget* widget, const QWidget* parent) {
    QStringList names;
    for (const QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (other != widget && other->isVisible() &&
            other->geometry().intersects(widget->geometry())) {
            names << other->objectName() + QLatin1Char('/') +
                         QString::fromLatin1(other->metaObject()->className());
        }
    }
    return names;
}

}  // namespace

class KeyboardAndLayoutTest : public QObject {
    Q_OBJECT

  private slots:
    // The main window opens on New; Tab goes through the eight picture
    // buttons, the six boxes and Search, HP and Small; nothing else takes
    // the focus.
    void mainWindowButtonsAreReachedByTabInOrder() {
        TestApplication started(withMails(0));
        MainWindow& form = started.mainWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const QList<QWidget*> expected = {
            control<ui::ActiveLabel>(form, "Label5"),  control<ui::ActiveLabel>(form, "Label6"),
            control<ui::ActiveLabel>(form, "Label8"),  control<ui::ActiveLabel>(form, "Label15"),
            control<ui::ActiveLabel>(form, "Label16"), control<ui::ActiveLabel>(form, "Label17"),
            control<ui::ActiveLabel>(form, "Label18"), control<ui::ActiveLabel>(form, "Label19"),
            control<ui::ActiveLabel>(form, "Label3"),  control<ui::ActiveLabel>(form, "Label4"),
            control<ui::ActiveLabel>(form, "Label9"),  control<ui::ActiveLabel>(form, "Label11"),
            control<ui::ActiveLabel>(form, "Label12"), control<ui::ActiveLabel>(form, "Label13"),
            control<ui::ActiveLabel>(form, "Label24"), control<ui::ActiveLabel>(form, "Label22"),
            control<ui::ActiveLabel>(form, "Label23")};
        QCOMPARE(QApplication::focusWidget(), control<ui::ActiveLabel>(form, "Label5"));
        QWidget* at = control<ui::ActiveLabel>(form, "Label5");
        for (qsizetype i = 1; i <= expected.size(); ++i) {
            at = nextByTab(at);
            QCOMPARE(at->objectName(), expected[i % expected.size()]->objectName());
        }
    }

    // Space and Return press a picture button as a click does: the pressed
    // face shows during the wait, the action comes after it; a held key
    // presses once.
    void spaceAndReturnPressAPictureButtonWithItsPressedFace() {
        TestApplication started(withMails(0));
        MainWindow& form = started.mainWindow();
        QStringList done;
        form.actions().compose = [&] { done << QStringLiteral("compose"); };
        form.actions().receive = [&] { done << QStringLiteral("receive"); };
        QString faceDuringWait;
        QTimer::singleShot(40, &form, [&] {
            faceDuringWait = control<ui::ActiveLabel>(form, "Image3")->picturePath();
        });
        press(control<ui::ActiveLabel>(form, "Label5"), Qt::Key_Space);
        QVERIFY2(faceDuringWait.endsWith(QStringLiteral("Botan9.gif")), qPrintable(faceDuringWait));
        QVERIFY(control<ui::ActiveLabel>(form, "Image3")
                    ->picturePath()
                    .endsWith(QStringLiteral("Botan1.gif")));
        press(control<ui::ActiveLabel>(form, "Label6"), Qt::Key_Return);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(), true);
        QCoreApplication::sendEvent(control<ui::ActiveLabel>(form, "Label6"), &repeat);
        press(control<ui::ActiveLabel>(form, "Label6"), Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(done, (QStringList{QStringLiteral("compose"), QStringLiteral("receive")}));
    }

    // Esc cancels the account window without writing; Return confirms the
    // server window from a text box, but presses a focused Cancel; the
    // settings menu takes Return on its buttons and closes on Esc.
    void returnAndEscActAsOkAndCancel() {
        TestApplication started(withMails(0));
        auto& account = started.app->showForm<settings::AccountWindow>();
        control<QLineEdit>(account, "IdText")->setText(QStringLiteral("typed"));
        control<QCheckBox>(account, "Check1")->setChecked(true);
        const QPointer<QWidget> accountWindow(&account);
        press(control<QLineEdit>(account, "IdText"), Qt::Key_Escape);
        QVERIFY(accountWindow.isNull() || !accountWindow->isVisible());
        QVERIFY(!started.folder.read(QStringLiteral("★MAilData/iniIdPass.ini")).contains("typed"));

        auto* server = &started.app->showForm<settings::ServerSettingsWindow>();
        control<QLineEdit>(*server, "SmtpText")->setText(QStringLiteral("smtp.example.jp"));
        control<QPushButton>(*server, "CancelCommand")->setFocus();
        press(control<QPushButton>(*server, "CancelCommand"), Qt::Key_Return);
        QVERIFY(!started.folder.read(QStringLiteral("corvid.ini")).contains("smtp.example.jp"));

        server = &started.app->showForm<settings::ServerSettingsWindow>();
        control<QLineEdit>(*server, "SmtpText")->setText(QStringLiteral("smtp.example.jp"));
        press(control<QLineEdit>(*server, "SmtpText"), Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(started.folder.read(QStringLiteral("corvid.ini")).contains("SMTP=smtp.example.jp"));

        // The settings menu: Return presses the focused button, Esc closes it.
        auto& menu = started.app->showForm<SettingsMenu>();
        control<QPushButton>(menu, "Command1")->setFocus();
        press(control<QPushButton>(menu, "Command1"), Qt::Key_Return);
        QVERIFY(started.app->existingForm<settings::AccountWindow>() != nullptr);
        const QPointer<QWidget> menuWindow(&menu);
        press(control<QPushButton>(menu, "Command1"), Qt::Key_Escape);
        QVERIFY(menuWindow.isNull() || !menuWindow->isVisible());
    }

    // Down and Up show the mail they land on and set the marker, as a
    // click does; the list fits its columns without a horizontal bar.
    void viewerArrowKeysShowTheMailTheySelect() {
        TestApplication started(withMails(3));
        QTest::mouseClick(control<ui::ActiveLabel>(started.mainWindow(), "Label3"), Qt::LeftButton);
        auto* viewer = started.app->existingForm<viewer::ViewerWindow>();
        QVERIFY(viewer != nullptr && QTest::qWaitForWindowActive(viewer));
        QTreeWidget* list = control<QTreeWidget>(*viewer, "MailListView");
        QCOMPARE(QApplication::focusWidget(), list);
        QVERIFY(!list->horizontalScrollBar()->isVisible());

        // The list took the focus on its last row, the mail shown, unselected;
        // Up moves on from it.
        QCOMPARE(viewer->selectionMarker(), QString());
        press(list, Qt::Key_Up);
        QTRY_COMPARE(control<QLineEdit>(*viewer, "Text7")->text(), QStringLiteral("件名2"));
        QCOMPARE(viewer->selectionMarker(), QStringLiteral("1"));
        press(list, Qt::Key_End);
        QTRY_COMPARE(control<QLineEdit>(*viewer, "Text7")->text(), QStringLiteral("件名3"));
        press(list, Qt::Key_Home);
        QTRY_COMPARE(control<QLineEdit>(*viewer, "Text7")->text(), QStringLiteral("件名1"));
        // Tab reaches the commands' captions, never the pictures under them.
        QStringList stops;
        for (QWidget* at = nextByTab(list); at != list; at = nextByTab(at)) {
            stops << at->objectName();
        }
        QVERIFY2(
            stops.contains(QStringLiteral("Label5")) && !stops.contains(QStringLiteral("Image1")),
            qPrintable(stops.join(u' ')));
        // At the top Up moves nothing, and nothing is shown again.
        QLineEdit* subject = control<QLineEdit>(*viewer, "Text7");
        subject->clear();
        press(list, Qt::Key_Up);
        QTest::qWait(20);
        QCOMPARE(subject->text(), QString());
    }

    // Tab leaves the body for Send (the paste row below the edge is passed by),
    // Ctrl+Tab types a tab; the attachment list covers no other control.
    void composeBodyTabMovesOnAndTheAttachmentListFits() {
        TestApplication started(withMails(0));
        auto& compose = started.app->showForm<compose::ComposeWindow>();
        QVERIFY(QTest::qWaitForWindowActive(&compose));
        auto* text = control<QTextEdit>(compose, "BodyText");
        auto* attachments = control<QListWidget>(compose, "List2");
        auto* fortune = control<QCheckBox>(compose, "Check1");
        text->setFocus();
        text->setPlainText(QStringLiteral("本文"));
        text->moveCursor(QTextCursor::End);
        press(text, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(text->toPlainText(), QStringLiteral("本文\t"));
        QVERIFY(text->hasFocus());
        press(text, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Label8"));

        attachments->show();
        QCOMPARE(overlapping(attachments, attachments->parentWidget()), QStringList());
        QVERIFY2(fortune->geometry().left() + fortune->sizeHint().width() <=
                     fortune->geometry().right() + 1,
                 "the fortune check box's text is cut");
    }

    // A program folder without its own pictures uses those beside the
    // program, in the compose window as in the main window.
    void composePicturesComeFromBesideTheProgramWhenTheFolderHasNone() {
        TestApplication started([](WindowTestFolder& folder) {
            withMails(0)(folder);
            QDir(folder.path(QStringLiteral("Data"))).removeRecursively();
        });
        auto& compose = started.app->showForm<compose::ComposeWindow>();
        const QString face = control<ui::ActiveLabel>(compose, "ImageLabel8")->picturePath();
        QVERIFY2(QFileInfo(face).isFile(), qPrintable(face));
        QString mainFace = control<ui::ActiveLabel>(started.mainWindow(), "Image3")->picturePath();
        QCOMPARE(face,
                 mainFace.replace(QStringLiteral("Botan1.gif"), QStringLiteral("Botan13.gif")));
    }

    // Names start at one column whatever the address holds: the rows'
    // CP932 padding lines up in the monospace CJK face.
    void addressBookRowsLineUpWithCjkAddresses() {
        const QString family = QStringLiteral("Noto Sans Mono CJK JP");
        if (!QFontDatabase::families().contains(family)) {
            QSKIP("Noto Sans Mono CJK JP (fonts-noto-cjk) is not installed");
        }
        TestApplication started(withMails(0));
        addressbook::AddressBookFile book(started.app->folder().dataFolder().string());
        QVERIFY(book.registerEntry("山田花子", "hanako@example.jp").isOk());
        QVERIFY(book.registerEntry("鈴木", "鈴木一郎<suzuki@example.jp>").isOk());
        auto& friends = started.app->showForm<addressbook::AddressBookWindow>();
        auto* rows = control<QListWidget>(friends, "List1");
        QCOMPARE(rows->font().family(), family);
        QCOMPARE(rows->count(), 2);
        const QFontMetrics metrics(rows->font());
        const auto nameStart = [&](int row, const QString& name) {
            const QString text = rows->item(row)->text();
            return metrics.horizontalAdvance(text.left(text.lastIndexOf(name)));
        };
        QCOMPARE(nameStart(0, QStringLiteral("山田花子")), nameStart(1, QStringLiteral("鈴木")));
    }

    // A button passes the mouse moves over it on to the window: the help
    // box stays; a move over the bare window hides it.
    void addressBookHelpBoxStaysOverItsButtons() {
        TestApplication started(withMails(0));
        auto& friends = started.app->showForm<addressbook::AddressBookWindow>();
        QVERIFY(QTest::qWaitForWindowExposed(&friends));
        auto* paste = control<QPushButton>(friends, "Command1");
        auto* help = control<QPlainTextEdit>(friends, "Text5");
        const QPoint inside = paste->rect().center();
        QMouseEvent move(QEvent::MouseMove, inside, paste->mapToGlobal(inside), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(paste, &move);
        QVERIFY(help->isVisible());
        QVERIFY(help->toPlainText().contains(QStringLiteral("クリップボード")));

        const QPoint bare(2, 2);
        QVERIFY(friends.childAt(bare) == nullptr);
        QMouseEvent away(QEvent::MouseMove, bare, friends.mapToGlobal(bare), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&friends, &away);
        QVERIFY(!help->isVisible());
    }

    // Without a browser the HP button says so and names the page.
    void homePageWithoutABrowserShowsItsAddress() {
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", "/nonexistent");
        TestApplication started(withMails(0));
        started.mainWindow().actions().homePage();
        qputenv("PATH", path);
        QTRY_COMPARE(started.boxes.shown().size(), 1);  // when the opener has failed
        const QString text = started.boxes.shown()[0].text;
        QVERIFY2(text.contains(QStringLiteral("ブラウザを起動できませんでした")), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("file://")) &&
                     text.contains(QStringLiteral("Data/Quillfern.html")),
                 qPrintable(text));
        QVERIFY(QFile::exists(started.app->picturePath(kHomePageFile)));
    }
};

}  // namespace qf::app

QTEST_MAIN(qf::app::KeyboardAndLayoutTest)
#include "KeyboardAndLayout_test.moc"
