#include "app/SettingsMenu.h"

#include <QPushButton>
#include <QTest>

#include "app/TestApplication.h"
#include "settings/AccountWindow.h"
#include "settings/ServerSettingsWindow.h"
#include "ui/TestControls.h"

namespace qf::app {
namespace {

using testing::TestApplication;
using ui::testing::control;

void flushClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class SettingsMenuTest : public QObject {
    Q_OBJECT

  private slots:
    void opensBesideTheMainWindowAndOpensTheAccountWindows() {
        TestApplication started;
        MainWindow& main = started.mainWindow();
        main.move(40, 30);
        SettingsMenu& settings = started.app->showForm<SettingsMenu>();
        QCOMPARE(settings.windowTitle(), QStringLiteral("設定"));
        QCOMPARE(settings.pos(), QPoint(40 + 500, 30 + 167));  // 7500 and 2500 twips

        started.app->existingForm<settings::ServerSettingsWindow>()->close();
        flushClosedWindows();
        QTest::mouseClick(control<QPushButton>(settings, "Command2"), Qt::LeftButton);
        QVERIFY(started.app->existingForm<settings::ServerSettingsWindow>() != nullptr);
        QTest::mouseClick(control<QPushButton>(settings, "Command1"), Qt::LeftButton);
        auto* account = started.app->existingForm<settings::AccountWindow>();
        QVERIFY(account != nullptr);
        QVERIFY(account->isVisible());
    }
};

}  // namespace qf::app

QTEST_MAIN(qf::app::SettingsMenuTest)
#include "SettingsMenu_test.moc"
