#include "app/SetForm.h"

#include <QPushButton>
#include <QTest>

#include "app/TestApplication.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"

namespace qf::app {
namespace {

using testing::TestApplication;

void flushClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class SetFormTest : public QObject {
    Q_OBJECT

  private slots:
    void opensBesideTheMainWindowAndOpensTheAccountWindows() {
        TestApplication started;
        MainForm& main = started.mainForm();
        main.move(40, 30);
        SetForm& settings = started.app->showForm<SetForm>();
        QCOMPARE(settings.windowTitle(), QStringLiteral("設定"));
        QCOMPARE(settings.pos(), QPoint(40 + 500, 30 + 167));  // 7500 and 2500 twips

        started.app->existingForm<settings::OptionForm>()->close();
        flushClosedWindows();
        QTest::mouseClick(settings.Command2, Qt::LeftButton);
        QVERIFY(started.app->existingForm<settings::OptionForm>() != nullptr);
        QTest::mouseClick(settings.Command1, Qt::LeftButton);
        auto* account = started.app->existingForm<settings::IdPassForm>();
        QVERIFY(account != nullptr);
        QVERIFY(account->isVisible());
    }
};

}  // namespace qf::app

QTEST_MAIN(qf::app::SetFormTest)
#include "SetForm_test.moc"
