#include "app/Application.h"

#include <QSignalSpy>
#include <QTest>

#include "app/MainForm.h"
#include "app/SetForm.h"
#include "app/TestApplication.h"
#include "settings/IdPassForm.h"
#include "settings/OptionForm.h"

namespace qf::app {
namespace {

using testing::TestApplication;
using ui::MessageKind;
using ui::MessageRequest;

// A closed window is destroyed on the next round of deferred deletions.
void flushClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class ApplicationTest : public QObject {
    Q_OBJECT

  private slots:
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

    void windowsAreCreatedOnFirstUseAndReusedUntilClosed() {
        TestApplication started;
        QVERIFY(started.app->existingForm<SetForm>() == nullptr);
        SetForm& first = started.app->showForm<SetForm>();
        QVERIFY(first.isVisible());
        QCOMPARE(&started.app->showForm<SetForm>(), &first);

        first.close();
        flushClosedWindows();
        QVERIFY(started.app->existingForm<SetForm>() == nullptr);
        QVERIFY(&started.app->form<SetForm>() != nullptr);
    }

    void closingTheMainWindowClosesEveryWindowAndEndsTheProgram() {
        TestApplication started;
        QSignalSpy finished(started.app.get(), &Application::finished);
        started.app->showForm<SetForm>();
        started.app->showForm<settings::IdPassForm>();
        started.mainForm().close();
        flushClosedWindows();
        QCOMPARE(finished.count(), 1);
        QVERIFY(started.app->existingForm<SetForm>() == nullptr);
        QVERIFY(started.app->existingForm<settings::IdPassForm>() == nullptr);
        QVERIFY(started.app->existingForm<settings::OptionForm>() == nullptr);
        QVERIFY(!started.mainForm().Timer1.isActive());
    }
};

}  // namespace qf::app

QTEST_MAIN(qf::app::ApplicationTest)
#include "Application_test.moc"
