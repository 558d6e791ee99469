// The viewer's commands through the real windows on the offscreen platform:
// what they do to the box files, the list and the fields, and that a failed
// write, sync or rename at any step loses no mail.
#include <QClipboard>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <set>

#include "addressbook/AddressBookWindow.h"
#include "app/TestApplication.h"
#include "compose/ReplyWindow.h"
#include "store/MailRecord.h"
#include "store/MailStore.h"
#include "store/StoreTestSupport.h"
#include "text/Cp932.h"
#include "ui/ActiveLabel.h"
#include "ui/TestControls.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {
namespace {

using app::testing::TestApplication;
using store::testing::FaultyFileSystem;
using ui::testing::control;
using ui::testing::WindowTestFolder;

store::MailFields mailNamed(const std::string& name) {
    return {"件名" + name, name + "@example.jp", "2026/12/08 " + name, "本文 " + name};
}

// Lays down one mail per name in `box` before start-up.
auto withMails(int box, std::vector<std::string> names) {
    return [box, names](WindowTestFolder& folder) {
        const settings::ProgramFolder program = folder.programFolder();
        (void)program.ensureFolders();
        store::MailStore store(program.dataFolder().string());
        for (const std::string& name : names) {
            (void)store.append(box, mailNamed(name));
        }
    };
}

// Subjects of the live records of a box, in file order.
std::vector<std::string> liveSubjects(const WindowTestFolder& folder, int box) {
    store::MailStore store(folder.programFolder().dataFolder().string());
    const store::RecordLayout& layout = store::layoutOf(store::findBox(box)->kind);
    std::vector<std::string> subjects;
    (void)store.readAll(box, [&](int, std::span<const char> bytes) {
        if (store::readStatusWord(bytes, layout.format()) != 0) {
            subjects.push_back(store::decodeRecord(layout, bytes).subject);
        }
        return Status::ok();
    });
    return subjects;
}

std::vector<std::string> subjectsOf(std::initializer_list<const char*> names) {
    std::vector<std::string> subjects;
    for (const char* name : names) {
        subjects.push_back(mailNamed(name).subject);
    }
    return subjects;
}

void clickRow(QTreeWidget& list, int index) {
    const QRect rect = list.visualItemRect(list.topLevelItem(index));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    QCoreApplication::processEvents();
}

// Offscreen, only the first synthetic move makes an enter; this sends the
// enter the platform would send.
void enter(QWidget* widget) {
    const QPoint at(2, 2);
    QEnterEvent event(at, at, widget->mapToGlobal(at));
    QCoreApplication::sendEvent(widget, &event);
}

QString boxFile(int box) {
    return QStringLiteral("★MAilData/") +
           QString::fromStdString(std::string(store::findBox(box)->fileName));
}

// The program's file system, failing the n-th changing operation once armed.
class ArmableFileSystem final : public base::FileSystem {
  public:
    void arm(int failAt) { m_faulty = std::make_unique<FaultyFileSystem>(failAt); }
    // Disarms and tells whether the armed failure happened.
    bool disarm() {
        const bool failed = m_faulty && m_faulty->failed();
        m_faulty.reset();
        return failed;
    }

    Result<std::unique_ptr<base::File>> open(const std::string& path,
                                             base::OpenMode mode) override {
        return fs().open(path, mode);
    }
    Result<std::unique_ptr<base::File>> createNew(const std::string& path,
                                                  std::optional<unsigned> permissions) override {
        return fs().createNew(path, permissions);
    }
    Result<unsigned> permissions(const std::string& path) override {
        return fs().permissions(path);
    }
    Status rename(const std::string& from, const std::string& to) override {
        return fs().rename(from, to);
    }
    Status renameNoReplace(const std::string& from, const std::string& to) override {
        return fs().renameNoReplace(from, to);
    }
    Status remove(const std::string& path) override { return fs().remove(path); }
    Result<std::uint64_t> size(const std::string& path) override { return fs().size(path); }
    Status syncFolder(const std::string& folder) override { return fs().syncFolder(folder); }

  private:
    base::FileSystem& fs() { return m_faulty ? *m_faulty : base::posixFileSystem(); }
    std::unique_ptr<FaultyFileSystem> m_faulty;
};

// A started program whose box files go through an ArmableFileSystem.
struct FaultyProgram {
    explicit FaultyProgram(const std::function<void(WindowTestFolder&)>& prepare)
        : started(prepare), store(started.folder.programFolder().dataFolder().string(), fs) {
        started.app->environment().setMailStore(store);
    }
    ViewerWindow& open(int box) {
        started.mainWindow().actions().openBox(box);
        return *started.app->existingForm<ViewerWindow>();
    }
    // Runs `command` with the n-th changing operation failing, for n = 1, 2,
    // ... until a run meets no failure; `reset` restores the files before
    // each run and `check` looks at them after a failed one.
    template <typename Reset, typename Command, typename Check>
    int failEachStep(Reset reset, Command command, Check check) {
        for (int failAt = 1; failAt < 200; ++failAt) {
            reset();
            started.boxes.clear();
            fs.arm(failAt);
            command();
            if (!fs.disarm()) {
                qInfo("%d changing steps, each failed once", failAt - 1);
                return failAt - 1;
            }
            check(failAt);
        }
        return -1;
    }

    TestApplication started;
    ArmableFileSystem fs;
    store::MailStore store;
};

}  // namespace

class ViewerCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void movingTheSecondOfThreeKeepsItAndRelistsTheOthers() {
        TestApplication started(withMails(kOtherBox, {"A", "B", "C"}));
        app::MainWindow& main = started.mainWindow();
        main.actions().openBox(kOtherBox);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        const QByteArray before = started.folder.read(boxFile(kOtherBox));

        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 1);
        started.boxes.answer({false});
        viewer.moveToKeepBox();
        QCOMPARE(started.folder.read(boxFile(kOtherBox)), before);
        QVERIFY(!started.folder.exists(boxFile(kKeepBox)) ||
                started.folder.read(boxFile(kKeepBox)).isEmpty());
        QCOMPARE(viewer.selectionMarker(), QString());

        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 1);
        started.boxes.answer({true});
        viewer.moveToKeepBox();
        const ui::MessageRequest& asked = started.boxes.shown().back();
        QCOMPARE(asked.text,
                 QStringLiteral("選択された（行、青色）データを移します。よろしいですか"));
        QCOMPARE(asked.title, QStringLiteral("確認"));
        QCOMPARE(liveSubjects(started.folder, kOtherBox), subjectsOf({"A", "C"}));
        QCOMPARE(liveSubjects(started.folder, kKeepBox), subjectsOf({"B"}));
        store::MailStore check(started.folder.programFolder().dataFolder().string());
        QVERIFY(check.readRecord(kKeepBox, 1).value());
        QCOMPARE(store::readStatusWord(check.currentRecord(kKeepBox),
                                       store::layoutOf(store::RecordKind::kKeep).format()),
                 1);
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItemCount(), 2);
        QCOMPARE(control<QLineEdit>(viewer, "Text2")->text(), QStringLiteral("2"));
        QCOMPARE(control<QLineEdit>(main, "Text12")->text(), QStringLiteral("2"));
        QCOMPARE(viewer.selectionMarker(), QString());
        // The fields show the last mail as stored, padding included.
        QVERIFY(control<QLineEdit>(viewer, "Text8")
                    ->text()
                    .startsWith(QStringLiteral("C@example.jp ")));
        QCOMPARE(control<QLineEdit>(viewer, "Text8")->text().trimmed(),
                 QStringLiteral("C@example.jp"));
    }

    void deletingRowTwoLeavesTheOthersInOrder() {
        TestApplication started(withMails(1, {"A", "B", "C", "D"}));
        app::MainWindow& main = started.mainWindow();
        main.actions().openBox(1);
        main.countNewMail(1);  // a mail received meanwhile, not yet added
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 1);
        started.boxes.answer({true});

        viewer.deleteOne();

        // The main window counts what the file holds: 2 seen, 1 new.
        QCOMPARE(control<QLineEdit>(main, "Text1")->text(), QStringLiteral("2"));
        QCOMPARE(control<QLineEdit>(main, "Text2")->text(), QStringLiteral("1"));

        QCOMPARE(started.boxes.shown().back().text,
                 QStringLiteral("選択された（行、青色）データを削除します。よろしいですか?"));
        QCOMPARE(liveSubjects(started.folder, 1), subjectsOf({"A", "C", "D"}));
        QCOMPARE(started.folder.read(boxFile(1)).size(),
                 3 * qsizetype(store::layoutOf(store::RecordKind::kMail).lengthBytes));
        QVERIFY(!started.folder.exists(QStringLiteral("★MAilData/KDXDATA2.TMP")));
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItemCount(), 3);
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItem(1)->text(0),
                 QString::fromStdString(mailNamed("C").subject));
        QCOMPARE(control<QLineEdit>(viewer, "Text2")->text(), QStringLiteral("3"));
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text().trimmed(),
                 QString::fromStdString(mailNamed("D").subject));
        QCOMPARE(control<QTextEdit>(viewer, "rtfEd")->toPlainText(),
                 QString::fromStdString(mailNamed("D").body));
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromStdString(mailNamed("D").body));

        // The marker is spent: a second press needs a new click.
        started.boxes.clear();
        viewer.deleteOne();
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.boxes.shown()[0].text, QStringLiteral("データが選択されていません"));
    }

    void answeringNoOrDeletingTheOnlyMail() {
        TestApplication started(withMails(2, {"A"}));
        started.mainWindow().actions().openBox(2);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        const QByteArray before = started.folder.read(boxFile(2));
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);
        started.boxes.answer({false});
        viewer.deleteOne();
        QCOMPARE(started.folder.read(boxFile(2)), before);
        QCOMPARE(control<QTextEdit>(viewer, "rtfEd")->toPlainText(), QString());

        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);
        started.boxes.answer({true});
        viewer.deleteOne();
        QCOMPARE(started.folder.read(boxFile(2)).size(), 0);
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItemCount(), 0);
        QCOMPARE(control<QLineEdit>(viewer, "Text2")->text(), QStringLiteral("0"));
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text(), QString());
        QCOMPARE(control<QLineEdit>(viewer, "Text8")->text(), QString());
    }

    void deletingAllEmptiesTheBoxAndOnlyItsTotal() {
        TestApplication started([](WindowTestFolder& folder) {
            withMails(3, {"A", "B", "C", "D", "E"})(folder);
            withMails(kSendHistoryBox, {"S"})(folder);
        });
        app::MainWindow& main = started.mainWindow();
        main.actions().openBox(3);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
        main.showBoxCount(2, 7);
        started.boxes.answer({true});
        control<QTextEdit>(viewer, "rtfEd")->setFocus();

        QTest::mouseClick(control<ui::ActiveLabel>(viewer, "Label8"), Qt::LeftButton);

        QCOMPARE(viewer.focusWidget(),
                 control<QTextEdit>(viewer, "rtfEd"));  // the click takes no focus
        QCOMPARE(started.boxes.shown().back().text,
                 QStringLiteral("すべてのデータを削除して良いですか？"));
        QCOMPARE(started.folder.read(boxFile(3)).size(), 0);
        QVERIFY(!started.folder.exists(QStringLiteral("★MAilData/KDXDATA4.TMP")));
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItemCount(), 0);
        QCOMPARE(control<QLineEdit>(viewer, "Text2")->text(), QStringLiteral("0"));
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text(), QString());
        QCOMPARE(control<QTextEdit>(viewer, "rtfEd")->toPlainText(), QString());
        QCOMPARE(control<QLineEdit>(main, "Text6")->text(), QStringLiteral("0"));
        QCOMPARE(control<QLineEdit>(main, "Text4")->text(), QStringLiteral("7"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));

        // The send history has no total on the main window.
        main.actions().openBox(kSendHistoryBox);
        const QString totals =
            control<QLineEdit>(main, "Text1")->text() + control<QLineEdit>(main, "Text4")->text() +
            control<QLineEdit>(main, "Text6")->text() + control<QLineEdit>(main, "Text8")->text() +
            control<QLineEdit>(main, "Text10")->text() + control<QLineEdit>(main, "Text12")->text();
        started.boxes.answer({true});
        viewer.deleteAll();
        QCOMPARE(started.folder.read(boxFile(kSendHistoryBox)).size(), 0);
        QCOMPARE(control<QLineEdit>(main, "Text1")->text() +
                     control<QLineEdit>(main, "Text4")->text() +
                     control<QLineEdit>(main, "Text6")->text() +
                     control<QLineEdit>(main, "Text8")->text() +
                     control<QLineEdit>(main, "Text10")->text() +
                     control<QLineEdit>(main, "Text12")->text(),
                 totals);
    }

    void quickSaveWritesTheFourLinesAndAsksBeforeOverwriting() {
        TestApplication started([](WindowTestFolder& folder) {
            (void)folder.programFolder().ensureFolders();
            store::MailStore store(folder.programFolder().dataFolder().string());
            (void)store.append(1, {"Hello", "a", "b", "x"});
            std::filesystem::remove_all(folder.programFolder().quickSaveFolder());
        });
        started.mainWindow().actions().openBox(1);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        const QString saved = QStringLiteral("■TextQuickSave/Hello.txt");
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);

        viewer.quickSave();
        QVERIFY(started.boxes.shown().isEmpty());
        QCOMPARE(started.folder.read(saved),
                 QByteArray("Subject:  Hello\r\nFrom:  a\r\nDate:  b\r\nBody:  x\r\n"));
        QCOMPARE(control<QTextEdit>(viewer, "rtfEd")->toPlainText(),
                 QStringLiteral("Subject:  Hello\nFrom:  a\nDate:  b\nBody:  x"));
        viewer.quickSave();
        QCOMPARE(started.boxes.shown().back().text, QStringLiteral("データが選択されていません"));

        started.folder.write(saved, "older");
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);
        started.boxes.answer({false});
        viewer.quickSave();
        QCOMPARE(started.boxes.shown().back().text,
                 QStringLiteral("同名のファイルが既に存在します。上書きしますか？ "));
        QCOMPARE(started.folder.read(saved), QByteArray("older"));
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);
        started.boxes.answer({true});
        viewer.quickSave();
        QVERIFY(started.folder.read(saved).startsWith("Subject:  Hello\r\n"));
    }

    void hostileSubjectsAreSavedInsideTheFolder() {
        TestApplication started([](WindowTestFolder& folder) {
            (void)folder.programFolder().ensureFolders();
            store::MailStore store(folder.programFolder().dataFolder().string());
            (void)store.append(1, {"../../逃げる", "a", "b", "x"});
            (void)store.append(1, {"link", "a", "b", "x"});
            folder.write(QStringLiteral("outside.txt"), "keep me");
            std::filesystem::create_symlink(
                folder.path(QStringLiteral("outside.txt")).toStdString(),
                (folder.programFolder().quickSaveFolder() / "link.txt"));
        });
        started.mainWindow().actions().openBox(1);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);
        viewer.quickSave();
        QVERIFY(started.folder.exists(QStringLiteral("■TextQuickSave/.._.._逃げる.txt")));
        QVERIFY(!started.folder.exists(QStringLiteral("逃げる.txt")));

        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 1);
        started.boxes.answer({true});  // the link's name counts as taken
        viewer.quickSave();
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.folder.read(QStringLiteral("outside.txt")), QByteArray("keep me"));
        QVERIFY(!std::filesystem::is_symlink(
            started.folder.path(QStringLiteral("■TextQuickSave/link.txt")).toStdString()));
    }

    void hoverCopiesAFieldHelpFollowsTheMouseAndPicturesOnlyAnimate() {
        TestApplication started(withMails(1, {"A"}));
        started.mainWindow().actions().openBox(1);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        control<QPushButton>(viewer, "Command2")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString());
        enter(control<QLineEdit>(viewer, "Text8"));
        QCOMPARE(control<QLineEdit>(viewer, "Text6")->text(), QStringLiteral("A@example.jp"));
        control<QPushButton>(viewer, "Command2")->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("A@example.jp"));
        control<QLineEdit>(viewer, "Text7")->setText(QStringLiteral("長い件名").repeated(40));
        enter(control<QLineEdit>(viewer, "Text7"));
        QCOMPARE(control<QLineEdit>(viewer, "Text6")->cursorPosition(),
                 0);  // shows its start

        enter(control<ui::ActiveLabel>(viewer, "Label5"));
        QVERIFY(control<QPlainTextEdit>(viewer, "Text4")->isVisible());
        QCOMPARE(control<QPlainTextEdit>(viewer, "Text4")->toPlainText(),
                 QStringLiteral("受信したメールを１件ずつ削除します。リストでメールを選択（クリック"
                                "）してから実行して下さい。"));
        enter(control<QPushButton>(viewer, "Command2"));
        QVERIFY(control<QPlainTextEdit>(viewer, "Text4")
                    ->toPlainText()
                    .contains(QStringLiteral(
                        "\n\n 本文への貼り付け（あるいは本ソフトでの貼り付け機能がある部分）")));
        enter(control<QTreeWidget>(viewer, "MailListView")->viewport());
        QVERIFY(!control<QPlainTextEdit>(viewer, "Text4")->isVisible());
        QCOMPARE(control<QPlainTextEdit>(viewer, "Text4")->toPlainText(), QString());

        QString pressed;
        QTimer::singleShot(
            40, [&] { pressed = control<ui::ActiveLabel>(viewer, "Image5")->picturePath(); });
        QTest::mouseClick(control<ui::ActiveLabel>(viewer, "Image5"), Qt::LeftButton);
        QVERIFY(pressed.endsWith(QStringLiteral("Botan15.gif")));
        QVERIFY(control<ui::ActiveLabel>(viewer, "Image5")
                    ->picturePath()
                    .endsWith(QStringLiteral("Botan14.gif")));
        QCOMPARE(liveSubjects(started.folder, 1), subjectsOf({"A"}));
    }

    void registerAndReplyTakeTheShownMailOnce() {
        TestApplication started(withMails(1, {"A", "B"}));
        started.mainWindow().actions().openBox(1);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);
        control<QLineEdit>(viewer, "Text8")->setText(QStringLiteral("山田 <yamada@example.jp>"));
        viewer.registerSender();
        auto* book = started.app->existingForm<addressbook::AddressBookWindow>();
        QVERIFY(book != nullptr && book->isVisible());
        QCOMPARE(book->findChild<QLineEdit*>(QStringLiteral("Text4"))->text(),
                 QStringLiteral("山田 <yamada@example.jp>"));
        QCOMPARE(viewer.selectionMarker(), QString());

        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 1);
        control<QLineEdit>(viewer, "Text7")->setText(QStringLiteral("  お知らせ "));
        viewer.reply();
        auto* reply = started.app->existingForm<compose::ReplyWindow>();
        QVERIFY(reply != nullptr && reply->isVisible());
        QCOMPARE(reply->findChild<QLineEdit*>(QStringLiteral("SubjectText"))->text(),
                 QStringLiteral("Re:  お知らせ"));
        QCOMPARE(reply->findChild<QTextEdit*>(QStringLiteral("BodyText"))->toPlainText(),
                 QString::fromStdString(mailNamed("B").body));
        started.boxes.clear();
        viewer.reply();
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.boxes.shown()[0].text, QStringLiteral("データが選択されていません"));
    }

    void aFailedStepOfTheMoveLosesNoMail() {
        FaultyProgram program(withMails(kOtherBox, {"A", "B", "C"}));
        const QByteArray original = program.started.folder.read(boxFile(kOtherBox));
        ViewerWindow* viewer = nullptr;
        const int steps = program.failEachStep(
            [&] {
                program.started.folder.write(boxFile(kOtherBox), original);
                QFile::remove(program.started.folder.path(boxFile(kKeepBox)));
                viewer = &program.open(kOtherBox);
                clickRow(*control<QTreeWidget>(*viewer, "MailListView"), 1);
                program.started.boxes.answer({true});
            },
            [&] { viewer->moveToKeepBox(); },
            [&](int failAt) {
                std::set<std::string> found;
                for (int box : {kOtherBox, kKeepBox}) {
                    for (const std::string& s : liveSubjects(program.started.folder, box)) {
                        found.insert(s);
                    }
                }
                for (const std::string& s : subjectsOf({"A", "B", "C"})) {
                    QVERIFY2(found.count(s) == 1, qPrintable(QString::number(failAt)));
                }
                QCOMPARE(program.started.boxes.shown().back().kind, ui::MessageKind::kWarning);
                QCOMPARE(control<QTreeWidget>(*viewer, "MailListView")->topLevelItemCount(),
                         program.store.count(kOtherBox).value());
            });
        QVERIFY2(steps > 5, qPrintable(QString::number(steps)));
    }

    void aFailedStepOfDeletingOneLosesNoOtherMail() {
        FaultyProgram program(withMails(1, {"A", "B", "C", "D"}));
        const QByteArray original = program.started.folder.read(boxFile(1));
        ViewerWindow* viewer = nullptr;
        const int steps = program.failEachStep(
            [&] {
                program.started.folder.write(boxFile(1), original);
                viewer = &program.open(1);
                clickRow(*control<QTreeWidget>(*viewer, "MailListView"), 1);
                program.started.boxes.answer({true});
            },
            [&] { viewer->deleteOne(); },
            [&](int failAt) {
                std::vector<std::string> live = liveSubjects(program.started.folder, 1);
                // Gone but not yet durable is never "try again".
                const ui::Say told =
                    live.size() == 3 ? ui::Say::kMailDeletedNotDurable : ui::Say::kMailNotDeleted;
                QVERIFY2(program.started.boxes.shown().back().text.startsWith(
                             ui::words(told, {}, QString())),
                         qPrintable(QString::number(failAt)));
                std::erase(live, mailNamed("B").subject);
                QVERIFY2(live == subjectsOf({"A", "C", "D"}), qPrintable(QString::number(failAt)));
                QCOMPARE(program.started.boxes.shown().back().kind, ui::MessageKind::kWarning);
            });
        QVERIFY2(steps > 3, qPrintable(QString::number(steps)));
    }

    void aFailedStepOfDeletingAllKeepsTheBoxWholeOrEmpty() {
        FaultyProgram program(withMails(4, {"A", "B", "C", "D", "E"}));
        const QByteArray original = program.started.folder.read(boxFile(4));
        ViewerWindow* viewer = nullptr;
        const int steps = program.failEachStep(
            [&] {
                program.started.folder.write(boxFile(4), original);
                viewer = &program.open(4);
                program.started.boxes.answer({true});
            },
            [&] { viewer->deleteAll(); },
            [&](int failAt) {
                const std::vector<std::string> live = liveSubjects(program.started.folder, 4);
                const bool whole = live == subjectsOf({"A", "B", "C", "D", "E"});
                const bool emptied = program.started.folder.read(boxFile(4)).isEmpty();
                QVERIFY2(whole || emptied, qPrintable(QString::number(failAt)));
                QCOMPARE(program.started.boxes.shown().back().kind, ui::MessageKind::kWarning);
                QCOMPARE(control<QTreeWidget>(*viewer, "MailListView")->topLevelItemCount(),
                         int(live.size()));
            });
        QVERIFY2(steps > 3, qPrintable(QString::number(steps)));
    }
};

}  // namespace qf::viewer

QTEST_MAIN(qf::viewer::ViewerCommandsTest)
#include "ViewerCommands_test.moc"
