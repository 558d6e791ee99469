#include "app/MainWindow.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/MainLayout.h"
#include "app/TestApplication.h"
#include "settings/AccountFiles.h"
#include "settings/ServerSettingsWindow.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/TestControls.h"

namespace qf::app {
namespace {

using testing::TestApplication;
using testing::WindowTestFolder;
using ui::MessageKind;
using ui::testing::control;

constexpr qint64 kMailRecordBytes = 32284;

const char16_t* const kBoxFiles[] = {u"kdxdata2.data", u"kdxdata3.data", u"kdxdata4.data",
                                     u"kdxdata5.data", u"kdxdata7.data", u"kdxdata8.data"};
// The total and new-mail counters of boxes 1-6.
const char* const kTotalCounters[] = {"Text1", "Text4", "Text6", "Text8", "Text10", "Text12"};
const char* const kNewCounters[] = {"Text2", "Text3", "Text5", "Text7", "Text9", "Text11"};

ActiveLabel* control(MainWindow& form, const QString& name) {
    return form.findChild<ActiveLabel*>(name);
}

// Every button action records its name instead of opening a window.
std::shared_ptr<QStringList> recordActions(MainWindow& form) {
    auto log = std::make_shared<QStringList>();
    MainWindowActions& actions = form.actions();
    const auto record = [log](const char* name) {
        return [log, name] { log->append(QString::fromLatin1(name)); };
    };
    actions.compose = record("compose");
    actions.receive = record("receive");
    actions.addressBook = record("addressBook");
    actions.sortingRegistration = record("sortingRegistration");
    actions.attachments = record("attachments");
    actions.settings = record("settings");
    actions.homePage = record("homePage");
    actions.search = record("search");
    actions.openBox = [log](int box) { log->append(QStringLiteral("box %1").arg(box)); };
    return log;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private slots:
    // A press whose window closes during the pressed-picture wait does nothing.
    void closingTheWindowDuringThePressRunsNoAction() {
        TestApplication started;
        QVERIFY(started.status.isOk());
        MainWindow& form = started.mainWindow();
        const auto actions = recordActions(form);
        QTimer::singleShot(30, &form, [&form] { form.close(); });
        QTest::mouseClick(control<ui::ActiveLabel>(form, "Label5"), Qt::LeftButton);
        QVERIFY(actions->isEmpty());
    }

    void firstStartOnAnEmptyFolder() {
        TestApplication started;
        QVERIFY(started.status.isOk());
        MainWindow& form = started.mainWindow();
        for (int box = 1; box <= kReceivingBoxes; ++box) {
            const QString file = QString::fromUtf16(kBoxFiles[box - 1]);
            QVERIFY2(started.folder.exists(QStringLiteral("★MAilData/") + file), qPrintable(file));
            QCOMPARE(QFileInfo(started.folder.dataPath(file)).size(), 0);
            QCOMPARE(control<QLineEdit>(form, kTotalCounters[box - 1])->text(),
                     QStringLiteral("0"));
            QCOMPARE(control<QLineEdit>(form, kNewCounters[box - 1])->text(), QString());
        }
        QVERIFY(started.folder.exists(QStringLiteral("添付フォルダ")));
        QVERIFY(started.folder.exists(QStringLiteral("■TextQuickSave")));
        QVERIFY(!started.folder.exists(QStringLiteral("★MAilData/kdxdata6.data")));
        QVERIFY(!started.folder.exists(QStringLiteral("★MAilData/kdxdata10.data")));

        auto* options = started.app->existingForm<settings::ServerSettingsWindow>();
        QVERIFY(options != nullptr);
        QVERIFY(options->isVisible());
        QCOMPARE(control<QLabel>(form, "Label10")->text(), QStringLiteral("待機中・・・"));
        QVERIFY(control<QLineEdit>(form, "Text20")->isHidden());
        QCOMPARE(control<ui::ActiveLabel>(form, "Label13")->text(),
                 QStringLiteral("         その他"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillfern Ver 1.55"));
        QVERIFY(started.boxes.shown().isEmpty());
    }

    void startShowsRegistrationsCountsAndServerSettings() {
        TestApplication started([](WindowTestFolder& folder) {
            folder.write(QStringLiteral("★MAilData/kdxdata2.data"),
                         QByteArray(3 * kMailRecordBytes, '\0'));
            folder.write(QStringLiteral("corvid.ini"),
                         QByteArrayLiteral("SMTP=smtp.example.com\r\nPOP3=pop.example.com\r\n"
                                           "MAIL=me@example.com\r\nAPOP=1\r\n"));
            settings::SortingRegistrations registrations;
            registrations[0] = {"alice@example.com", "友人"};
            registrations[4] = {"<boss@example.com>", "仕事"};
            QVERIFY(settings::writeSortingRegistrations(folder.programFolder().sortingFile(),
                                                        registrations)
                        .isOk());
        });
        QVERIFY(started.status.isOk());
        MainWindow& form = started.mainWindow();
        QCOMPARE(control<QLineEdit>(form, "Text1")->text(), QStringLiteral("3"));
        QCOMPARE(control<QLineEdit>(form, "Text12")->text(), QStringLiteral("0"));
        QCOMPARE(control<QLineEdit>(form, "Text13")->text(), QStringLiteral("alice@example.com"));
        QCOMPARE(control<QLineEdit>(form, "Text17")->text(), QStringLiteral("<boss@example.com>"));
        QCOMPARE(control<QLineEdit>(form, "Text14")->text(), QString());
        QCOMPARE(control<ui::ActiveLabel>(form, "Label3")->text(), QStringLiteral("友人"));
        QCOMPARE(control<ui::ActiveLabel>(form, "Label12")->text(), QStringLiteral("仕事"));
        QCOMPARE(started.app->held().server.pop3, std::string("pop.example.com"));
        QCOMPARE(started.app->held().server.apop, 1);
        QVERIFY(started.app->existingForm<settings::ServerSettingsWindow>() == nullptr);
    }

    void tornBoxFileIsRepairedAndReportedAtStart() {
        TestApplication started([](WindowTestFolder& folder) {
            folder.write(QStringLiteral("★MAilData/kdxdata3.data"),
                         QByteArray(kMailRecordBytes + 100, 'x'));
        });
        QVERIFY(started.status.isOk());
        QCOMPARE(control<QLineEdit>(started.mainWindow(), "Text4")->text(), QStringLiteral("1"));
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.boxes.shown().front().kind, MessageKind::kInformation);
        QCOMPARE(QFileInfo(started.folder.dataPath(QStringLiteral("kdxdata3.data"))).size(),
                 kMailRecordBytes);
    }

    void unusableBoxFileIsReportedAndLeavesItsTotalEmpty() {
        TestApplication started([](WindowTestFolder& folder) {
            // A box file that cannot be created: its link points nowhere.
            QDir().mkpath(folder.path(QStringLiteral("★MAilData")));
            QFile::link(QStringLiteral("/nonexistent-quillfern-folder/box"),
                        folder.dataPath(QStringLiteral("kdxdata4.data")));
        });
        QVERIFY(started.status.isOk());
        QCOMPARE(control<QLineEdit>(started.mainWindow(), "Text6")->text(), QString());
        QCOMPARE(control<QLineEdit>(started.mainWindow(), "Text1")->text(), QStringLiteral("0"));
        QVERIFY(!started.boxes.shown().isEmpty());
        QCOMPARE(started.boxes.shown().back().kind, MessageKind::kWarning);
        QCOMPARE(started.boxes.shown().back().title, QStringLiteral("Quillfern"));
    }

    void helpBarFollowsTheMouseAndKeepsItsText() {
        // A POP3 server is set, so no settings window lies over the main one.
        TestApplication started([](WindowTestFolder& folder) {
            folder.write(QStringLiteral("corvid.ini"),
                         QByteArrayLiteral("POP3=pop.example.com\r\n"));
        });
        MainWindow& form = started.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::mouseMove(control<ui::ActiveLabel>(form, "Label15"));
        QCOMPARE(control<QLabel>(form, "Label10")->text(),
                 QStringLiteral("「Keep」保管箱の閲覧。"));
        QTest::mouseMove(control<QLineEdit>(form, "Text18"));  // not a control of the help table
        QCOMPARE(control<QLabel>(form, "Label10")->text(),
                 QStringLiteral("「Keep」保管箱の閲覧。"));
        QTest::mouseMove(control<ui::ActiveLabel>(form, "Image1"));
        QCOMPARE(control<QLabel>(form, "Label10")->text(), QString());
        // The Divide button's face and caption explain different things.
        QTest::mouseMove(control<ui::ActiveLabel>(form, "Image15"),
                         QPoint(control<ui::ActiveLabel>(form, "Image15")->width() / 2,
                                control<ui::ActiveLabel>(form, "Image15")->height() - 4));
        QCOMPARE(control<QLabel>(form, "Label10")->text(),
                 QStringLiteral("「Divide」新着メール分別の為の登録を実行。"));
        QTest::mouseMove(control<ui::ActiveLabel>(form, "Label17"));
        QCOMPARE(control<QLabel>(form, "Label10")->text(),
                 QStringLiteral("「Devide」分別用のアドレスを登録。"));
        QTest::mouseMove(control<ui::ActiveLabel>(form, "Image14"));
        QCOMPARE(control<QLabel>(form, "Label10")->text(), QString());
    }

    void receiveShowsThePressedPictureBeforeItRuns() {
        TestApplication started;
        MainWindow& form = started.mainWindow();
        QElapsedTimer clock;
        qint64 ranAfterMs = -1;
        QString pictureWhilePressed;
        QString pictureWhenRun;
        form.actions().receive = [&] {
            ranAfterMs = clock.elapsed();
            pictureWhenRun = control<ui::ActiveLabel>(form, "Image2")->picturePath();
        };
        QTimer::singleShot(50, &form, [&] {
            pictureWhilePressed = control<ui::ActiveLabel>(form, "Image2")->picturePath();
        });
        clock.start();
        QTest::mouseClick(control<ui::ActiveLabel>(form, "Label6"), Qt::LeftButton);
        QVERIFY2(ranAfterMs > 100, qPrintable(QString::number(ranAfterMs)));
        // ... and no longer: the scrolling pictures must not hold the press up.
        QVERIFY2(ranAfterMs < 1000, qPrintable(QString::number(ranAfterMs)));
        QVERIFY(pictureWhilePressed.endsWith(QStringLiteral("/Data/Botan9.gif")));
        QVERIFY(pictureWhenRun.endsWith(QStringLiteral("/Data/Botan2.gif")));
        QVERIFY(!control<ui::ActiveLabel>(form, "Image2")
                     ->pixmap()
                     .isNull());  // the picture file was found and drawn
    }

    void doubleClickPressesTheButtonOnce() {
        TestApplication started;
        MainWindow& form = started.mainWindow();
        int runs = 0;
        form.actions().receive = [&] { ++runs; };
        // What a double click delivers: press, release, press, double click, release.
        QTest::mouseClick(control<ui::ActiveLabel>(form, "Label6"), Qt::LeftButton);
        QTest::mousePress(control<ui::ActiveLabel>(form, "Label6"), Qt::LeftButton);
        QTest::mouseDClick(control<ui::ActiveLabel>(form, "Label6"), Qt::LeftButton);
        QTest::mouseRelease(control<ui::ActiveLabel>(form, "Label6"), Qt::LeftButton);
        QCOMPARE(runs, 1);
    }

    void everyButtonReachesItsAction_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("action");
        const std::pair<const char*, const char*> rows[] = {
            {"Label5", "compose"},
            {"Image3", "compose"},
            {"Label6", "receive"},
            {"Label16", "addressBook"},
            {"Label17", "sortingRegistration"},
            {"Image15", "sortingRegistration"},
            {"Label18", "attachments"},
            {"Label19", "settings"},
            {"Label8", "box 11"},
            {"Image10", "box 11"},
            {"Label15", "box 10"},
            {"Label3", "box 1"},
            {"Label4", "box 2"},
            {"Label9", "box 3"},
            {"Label11", "box 4"},
            {"Label12", "box 5"},
            {"Label13", "box 6"},
            {"Label22", "homePage"},
            {"Label24", "search"},
        };
        for (const auto& [name, action] : rows) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(action);
        }
    }

    void everyButtonReachesItsAction() {
        QFETCH(QString, control);
        QFETCH(QString, action);
        TestApplication started;
        MainWindow& form = started.mainWindow();
        const std::shared_ptr<QStringList> log = recordActions(form);
        ActiveLabel* label = qf::app::control(form, control);
        QVERIFY(label != nullptr);
        QTest::mouseClick(label, Qt::LeftButton);
        QCOMPARE(*log, QStringList{action});
    }

    void minimiseButtonMinimisesTheWindow() {
        TestApplication started;
        MainWindow& form = started.mainWindow();
        QTest::mouseClick(control<ui::ActiveLabel>(form, "Label23"), Qt::LeftButton);
        QVERIFY(form.windowState() & Qt::WindowMinimized);
    }

    // A stop every 100 ms: after 700 ms each picture is well on its way,
    // sitting on one of its stops, while the other slides at the same time.
    void scrollingPicturesMoveAStopATick() {
        TestApplication started;
        MainWindow& form = started.mainWindow();
        QTest::qWait(700);
        const int risingTop = control<ui::ActiveLabel>(form, "Image17")->y();
        const int fallingTop = control<ui::ActiveLabel>(form, "Image18")->y();
        QVERIFY2(risingTop <= twipsToPixels(4020 - 3 * 240),
                 qPrintable(QString::number(risingTop)));
        QVERIFY2(fallingTop >= twipsToPixels(1060 + 3 * 240),
                 qPrintable(QString::number(fallingTop)));
        const auto isStop = [](const auto& tops, int y) {
            return std::any_of(tops.begin(), tops.end(),
                               [y](int top) { return twipsToPixels(top) == y; });
        };
        QVERIFY(isStop(mainlayout::kRisingTops, risingTop));
        QVERIFY(isStop(mainlayout::kFallingTops, fallingTop));
    }

    void countersAddUpAsNumbers() {
        TestApplication started;
        MainWindow& form = started.mainWindow();
        auto* fresh = control<QLineEdit>(form, "Text7");
        auto* total = control<QLineEdit>(form, "Text8");
        form.countNewMail(4);
        form.countNewMail(4);
        QCOMPARE(fresh->text(), QStringLiteral("2"));
        form.showBoxCount(4, 7);  // the file holds 7: the 2 new ones and 5 more
        QCOMPARE(total->text(), QStringLiteral("5"));
        form.addNewToTotal(4);
        QCOMPARE(total->text(), QStringLiteral("7"));
        QCOMPARE(fresh->text(), QString());
        form.addNewToTotal(4);  // no new mail adds nothing
        QCOMPARE(total->text(), QStringLiteral("7"));
        // What a counter shows is never read back: a changed text counts for nothing.
        total->setText(QStringLiteral("3件"));
        form.countNewMail(4);
        form.addNewToTotal(4);
        QCOMPARE(total->text(), QStringLiteral("8"));
    }

    void clockShowsTheTimeFromTheStart() {
        TestApplication started;
        MainWindow& form = started.mainWindow();
        QVERIFY(!form.clockText().isEmpty());
        QCOMPARE(form.clockText(), control<QLineEdit>(form, "Text18")->text());
        QVERIFY(control<QTimer>(form, "Timer3")->isActive());
        QCOMPARE(control<QTimer>(form, "Timer3")->interval(), 1000);
    }

    // The slides and the clock run from load on, under their own names.
    void timersAreFoundByNameAndRunFromLoad() {
        TestApplication started;
        MainWindow& form = started.mainWindow();
        const std::pair<const char*, int> timers[] = {
            {"Timer1", 100}, {"Timer2", 100}, {"Timer3", 1000}};
        for (const auto& [name, intervalMs] : timers) {
            const auto* timer = form.findChild<QTimer*>(QString::fromLatin1(name));
            QVERIFY2(timer != nullptr, name);
            QCOMPARE(timer->interval(), intervalMs);
            QVERIFY2(timer->isActive(), name);
        }
    }
};

}  // namespace qf::app

QTEST_MAIN(qf::app::MainWindowTest)
#include "MainWindow_test.moc"
