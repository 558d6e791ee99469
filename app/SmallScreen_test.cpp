// Every window of the program on a screen smaller than its layouts: each one
// lies inside the screen, keeps its layout's size where there is room and is
// cut to the screen where there is none.
#include <QApplication>
#include <QScreen>
#include <QTemporaryFile>
#include <QTest>

#include "addressbook/AddressBookWindow.h"
#include "addressbook/SortingWindow.h"
#include "app/SettingsMenu.h"
#include "app/TestApplication.h"
#include "attachments/AttachmentBrowser.h"
#include "compose/ComposeWindow.h"
#include "compose/ReplyWindow.h"
#include "viewer/SearchWindow.h"
#include "viewer/ViewerWindow.h"

namespace qf::app {

using testing::TestApplication;

class SmallScreenTest : public QObject {
    Q_OBJECT

  private slots:
    void everyWindowLiesInsideTheScreen() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(area.size(), QSize(800, 560));
        TestApplication started;
        QVERIFY(started.status.isOk());
        const auto inside = [&](QWidget& window) {
            QVERIFY2(window.isVisible(), qPrintable(window.objectName()));
            QVERIFY2(area.contains(window.frameGeometry()),
                     qPrintable(window.objectName() + QStringLiteral(" lies at ") +
                                QStringLiteral("%1,%2 %3x%4")
                                    .arg(window.frameGeometry().x())
                                    .arg(window.frameGeometry().y())
                                    .arg(window.frameGeometry().width())
                                    .arg(window.frameGeometry().height())));
        };
        inside(started.mainWindow());

        // Room enough: the layout's size, placed from the main window.
        auto& friends = started.app->showForm<addressbook::AddressBookWindow>();
        inside(friends);
        QCOMPARE(friends.size(), QSize(560, 448));
        inside(started.app->showForm<addressbook::SortingWindow>());
        inside(started.app->showForm<compose::ComposeWindow>());
        inside(started.app->showForm<SettingsMenu>());
        started.app->openReply(QStringLiteral("件名"), QStringLiteral("a@example.jp"), {});
        inside(*started.app->existingForm<compose::ReplyWindow>());
        started.app->openSearch();
        inside(*started.app->existingForm<viewer::SearchWindow>());

        // Too large (840 x 576, and the viewer with its bars): cut to the screen.
        auto& browser = started.app->showForm<attachments::AttachmentBrowser>();
        inside(browser);
        QCOMPARE(browser.frameGeometry().size(), area.size());
        started.app->openBox(1);
        auto* viewer = started.app->existingForm<viewer::ViewerWindow>();
        QVERIFY(viewer != nullptr);
        inside(*viewer);
    }
};

}  // namespace qf::app

// The offscreen platform with one small screen, set before the application.
int main(int argc, char* argv[]) {
    QTemporaryFile config;
    if (!config.open()) {
        return 1;
    }
    config.write(R"({"screens": [{"name": "small", "x": 0, "y": 0, "width": 800, "height": 560,
                     "logicalDpi": 96}]})");
    config.flush();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    QApplication application(argc, argv);
    qf::app::SmallScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SmallScreen_test.moc"
