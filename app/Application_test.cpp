#include "app/Application.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include "addressbook/AddressBookWindow.h"
#include "addressbook/SortingWindow.h"
#include "app/MainWindow.h"
#include "app/SettingsMenu.h"
#include "app/TestApplication.h"
#include "compose/ComposeWindow.h"
#include "compose/ReplyWindow.h"
#include "settings/AccountFiles.h"
#include "settings/AccountWindow.h"
#include "settings/ServerSettingsWindow.h"
#include "ui/TestControls.h"
#include "viewer/SearchWindow.h"
#include "viewer/ViewerWindow.h"

namespace qf::app {
namespace {

using testing::TestApplication;
using ui::MessageKind;
using ui::MessageRequest;

// The permission bits of a file or folder (e.g. 0700).
unsigned modeOf(const QString& path) {
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// A closed window is destroyed on the next round of deferred deletions.
void flushClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class ApplicationTest : public QObject {
    Q_OBJECT

  private slots:
    // A registration pasted from a hostile mail reaches captions, labels, the
    // viewer's title and a tooltip: every label of every window shows text as
    // it is, and nothing of it becomes a link or a picture.
    void outsideTextIsNeverTakenForMarkup() {
        const std::string markup = "<a href='http://127.0.0.1:9/x'>CLICK</a><img src='/tmp/p.png'>";
        TestApplication started([&](ui::testing::WindowTestFolder& folder) {
            QDir().mkpath(folder.dataPath(QString()));
            settings::SortingRegistrations registrations{};
            registrations[0] = {markup, markup};
            QVERIFY(settings::writeSortingRegistrations(folder.programFolder().sortingFile(),
                                                        registrations)
                        .isOk());
        });
        QVERIFY(started.status.isOk());
        started.app->showForm<compose::ComposeWindow>();
        started.app->showForm<addressbook::AddressBookWindow>();
        started.app->showForm<addressbook::SortingWindow>();
        started.app->showForm<settings::ServerSettingsWindow>();
        started.app->showForm<settings::AccountWindow>();
        started.app->showForm<SettingsMenu>();
        started.app->openSearch();
        started.app->openBox(1);
        started.app->openReply(QString::fromStdString(markup), QString::fromStdString(markup), {});

        int labels = 0;
        for (QWidget* widget : QApplication::allWidgets()) {
            if (auto* label = qobject_cast<QLabel*>(widget)) {
                ++labels;
                QVERIFY2(label->textFormat() == Qt::PlainText,
                         qPrintable(label->objectName() + u' ' + label->text()));
            }
        }
        QVERIFY(labels > 50);
        const QString shown = QString::fromStdString(markup);
        QCOMPARE(ui::testing::control<QLabel>(started.mainWindow(), "Label3")->text(), shown);
        QTextDocument tip;
        tip.setHtml(ui::testing::control<QLineEdit>(started.mainWindow(), "Text13")->toolTip());
        QCOMPARE(tip.toPlainText(), shown);
        QCOMPARE(started.app->form<viewer::ViewerWindow>().windowTitle(), shown);
    }

    void secondStartOnTheSameFolderIsRefused() {
        TestApplication first;
        QVERIFY(first.status.isOk());

        Application second(first.folder.programFolder());
        const Status status = second.start();
        QCOMPARE(status.code(), StatusCode::kRefused);
        QCOMPARE(first.boxes.shown().size(), 1);  // the refusal, and nothing else
        const MessageRequest& shown = first.boxes.shown().back();
        QCOMPARE(shown.kind, MessageKind::kWarning);
        QVERIFY2(shown.text.contains(QStringLiteral("別のQuillfernが使用中")),
                 qPrintable(shown.text));
        QVERIFY(shown.text.contains(first.folder.path()));
    }

    // Mail is private to its user whatever the umask: the first start of an
    // installed program makes its folder and the folders above it 0700 and
    // its files 0600, and a later start narrows folders left open.
    void theFolderIsTheUsersAloneFromTheFirstStartOn() {
        ui::testing::WindowTestFolder home;
        const QString root = home.path(QStringLiteral(".local/share/Quillfern"));
        const mode_t umaskBefore = ::umask(022);
        {
            ui::ScriptedMessageBoxes boxes;
            Application first(settings::ProgramFolder(root.toStdString()));
            QVERIFY(first.start().isOk());
        }
        const QStringList folders{
            home.path(QStringLiteral(".local")), root, root + QStringLiteral("/★MAilData"),
            root + QStringLiteral("/添付フォルダ"), root + QStringLiteral("/■TextQuickSave")};
        for (const QString& folder : folders) {
            QVERIFY2(modeOf(folder) == 0700, qPrintable(folder));
        }
        for (const QString& file :
             {root + QStringLiteral("/corvid.ini"), root + QStringLiteral("/★MAilData/.lock")}) {
            QVERIFY2(modeOf(file) == 0600, qPrintable(file));
        }

        ::chmod(QFile::encodeName(root).constData(), 0755);
        ::chmod(QFile::encodeName(folders[2]).constData(), 0775);
        {
            ui::ScriptedMessageBoxes boxes;
            Application second(settings::ProgramFolder(root.toStdString()));
            QVERIFY(second.start().isOk());
        }
        ::umask(umaskBefore);
        QCOMPARE(modeOf(root), 0700u);
        QCOMPARE(modeOf(folders[2]), 0700u);
    }

    // Another user's folder would leave the mail theirs to read and change.
    void aFolderOfAnotherUserIsRefusedWithAMessage() {
        if (::geteuid() != 0) {
            QSKIP("a folder of another user needs root to make");
        }
        TestApplication mine;
        mine.app.reset();
        const QString data = mine.folder.path(QStringLiteral("★MAilData"));
        QCOMPARE(::chown(QFile::encodeName(data).constData(), 65534, 65534), 0);
        ::chmod(QFile::encodeName(data).constData(), 0755);
        mine.boxes.clear();

        Application refused(mine.folder.programFolder());
        QCOMPARE(refused.start().code(), StatusCode::kRefused);
        QCOMPARE(mine.boxes.shown().size(), 1);
        const QString text = mine.boxes.shown().back().text;
        QVERIFY2(text.contains(QStringLiteral("別のユーザーのもの")), qPrintable(text));
        // The folder to put right is named: the data folder, not the program folder.
        QVERIFY2(text.contains(data + QLatin1Char('\n')), qPrintable(text));
        // The program's own finding: no English diagnostic in brackets.
        QVERIFY2(!text.contains(QStringLiteral("owned by user")), qPrintable(text));
        QCOMPARE(modeOf(data), 0755u);  // left as it was
    }

    // A crash left a torn box and a settings write's temporary file: the
    // box is repaired and said so, the temporary file goes without a word.
    void startUpRepairsAndSaysWhatItDidToWhichBox() {
        TestApplication started([](ui::testing::WindowTestFolder& folder) {
            folder.write(QStringLiteral("★MAilData/kdxdata8.data"), QByteArray(10, 'x'));
            folder.write(QStringLiteral("corvid.ini.tmp-999"), QByteArrayLiteral("[half"));
        });
        QVERIFY(started.status.isOk());
        QCOMPARE(started.boxes.shown().size(), 1);
        const MessageRequest& shown = started.boxes.shown().back();
        QCOMPARE(shown.kind, MessageKind::kInformation);
        QVERIFY2(shown.text.startsWith(QStringLiteral(
                     "前回の終了時に残ったメールボックスのファイルを修復しました。")),
                 qPrintable(shown.text));
        QVERIFY2(shown.text.contains(started.folder.dataPath(QStringLiteral("kdxdata8.data")) +
                                     QStringLiteral(" の末尾")),
                 qPrintable(shown.text));
        QVERIFY(shown.text.contains(QStringLiteral("（10 バイト）")));
        QVERIFY(!shown.text.contains(QStringLiteral("corvid.ini")));
        QVERIFY(!QFile::exists(started.folder.path(QStringLiteral("corvid.ini.tmp-999"))));
        QCOMPARE(started.folder.read(QStringLiteral("★MAilData/kdxdata8.data")).size(), 0);
    }

    void windowsAreCreatedOnFirstUseAndReusedUntilClosed() {
        TestApplication started;
        QVERIFY(started.app->existingForm<SettingsMenu>() == nullptr);
        SettingsMenu& first = started.app->showForm<SettingsMenu>();
        QVERIFY(first.isVisible());
        QCOMPARE(&started.app->showForm<SettingsMenu>(), &first);

        first.close();
        flushClosedWindows();
        QVERIFY(started.app->existingForm<SettingsMenu>() == nullptr);
        // Asked for again, a new one is made and kept.
        SettingsMenu& again = started.app->form<SettingsMenu>();
        QCOMPARE(started.app->existingForm<SettingsMenu>(), &again);
    }

    void closingTheMainWindowClosesEveryWindowAndEndsTheProgram() {
        TestApplication started;
        QSignalSpy finished(started.app.get(), &Application::finished);
        started.app->showForm<SettingsMenu>();
        started.app->showForm<settings::AccountWindow>();
        started.mainWindow().close();
        flushClosedWindows();
        QCOMPARE(finished.count(), 1);
        QVERIFY(started.app->existingForm<SettingsMenu>() == nullptr);
        QVERIFY(started.app->existingForm<settings::AccountWindow>() == nullptr);
        QVERIFY(started.app->existingForm<settings::ServerSettingsWindow>() == nullptr);
        QVERIFY(!ui::testing::control<QTimer>(started.mainWindow(), "Timer1")->isActive());
    }

    // Closing a compose or reply window by its frame, or the main window,
    // asks before typed mail goes: No keeps everything, Yes discards;
    // "中止" and empty windows close without a question.
    void typedMailIsNotDiscardedWithoutAQuestion() {
        TestApplication started;
        QSignalSpy finished(started.app.get(), &Application::finished);
        QVERIFY(started.app->showForm<compose::ComposeWindow>().close());
        flushClosedWindows();
        QVERIFY(started.boxes.shown().isEmpty());

        auto& compose = started.app->showForm<compose::ComposeWindow>();
        auto* body = compose.findChild<QTextEdit*>(QStringLiteral("BodyText"));
        body->setPlainText(QStringLiteral("書きかけのメール"));
        started.boxes.answer({false});
        QVERIFY(!compose.close());
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.boxes.shown().back().title, QStringLiteral("確認"));
        QVERIFY(started.boxes.shown().back().text.startsWith(
            QStringLiteral("入力したメールはまだ送信していません。")));
        QCOMPARE(body->toPlainText(), QStringLiteral("書きかけのメール"));

        auto& reply = started.app->showForm<compose::ReplyWindow>();
        reply.fillReply(QStringLiteral("件名"), QStringLiteral("a@example.jp"),
                        QStringLiteral("本文"));
        QVERIFY(!reply.holdsTypedText());  // as the viewer filled it
        started.boxes.clear();
        started.boxes.answer({false});
        QVERIFY(!started.mainWindow().close());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(started.boxes.shown().size(), 1);
        QVERIFY(started.boxes.shown().back().text.startsWith(
            QStringLiteral("送信していないメールを入力中のウィンドウがあります。")));
        QVERIFY(compose.isVisible());

        reply.findChild<QTextEdit*>(QStringLiteral("BodyText"))
            ->setPlainText(QStringLiteral("返事を書いた"));
        started.boxes.answer({true});
        reply.stopWithoutSending();  // "中止" asks, as the frame does
        flushClosedWindows();
        QVERIFY(started.app->existingForm<compose::ReplyWindow>() == nullptr);
        QCOMPARE(started.boxes.shown().size(), 2);

        started.boxes.answer({true});
        QVERIFY(started.mainWindow().close());
        flushClosedWindows();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(started.boxes.shown().size(), 3);  // asked once more, at the main window
        QVERIFY(started.app->existingForm<compose::ComposeWindow>() == nullptr);
    }

    // The HP button hands the page to the desktop's opener; when that finds
    // no browser (xdg-open ends with 3), the user is told where the page is.
    void homePageTellsWhenNoBrowserCouldBeStarted() {
        QTemporaryDir bin;
        QFile fake(bin.filePath(QStringLiteral("xdg-open")));
        QVERIFY(fake.open(QIODevice::WriteOnly));
        fake.write("#!/bin/sh\nprintf '%s' \"$1\" > \"$0.asked\"\nexit \"$FAKE_OPEN_STATUS\"\n");
        fake.close();
        QVERIFY(fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
        TestApplication started;
        started.boxes.clear();

        qputenv("FAKE_OPEN_STATUS", "0");
        started.mainWindow().actions().homePage();
        QTRY_VERIFY(QFile::exists(fake.fileName() + QStringLiteral(".asked")));
        QTest::qWait(200);
        QCOMPARE(started.boxes.shown().size(), 0);
        QFile asked(fake.fileName() + QStringLiteral(".asked"));
        QVERIFY(asked.open(QIODevice::ReadOnly));
        const QUrl page = QUrl::fromEncoded(asked.readAll());
        QCOMPARE(page.toLocalFile(), started.app->picturePath(kHomePageFile));

        qputenv("FAKE_OPEN_STATUS", "3");
        started.mainWindow().actions().homePage();
        QTRY_COMPARE(started.boxes.shown().size(), 1);
        qputenv("PATH", path);
        const MessageRequest& shown = started.boxes.shown().back();
        QVERIFY2(shown.text.startsWith(QStringLiteral("ブラウザを起動できませんでした。")),
                 qPrintable(shown.text));
        QVERIFY(shown.text.contains(page.toString()));
    }
};

}  // namespace qf::app

QTEST_MAIN(qf::app::ApplicationTest)
#include "Application_test.moc"
