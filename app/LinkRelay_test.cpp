#include "app/LinkRelay.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>
#include <atomic>
#include <thread>

#include "app/TestApplication.h"
#include "compose/ComposeWindow.h"
#include "settings/FolderLock.h"
#include "ui/MessageBoxes.h"
#include "ui/TestControls.h"

namespace qf::app {
namespace {

using testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;

const QString kLink = QStringLiteral(
    "mailto:tanaka@example.jp?cc=sato@example.jp&subject=%E4%BC%9A%E8%AD%B0&body=a%0D%0Ab");

// What the compose window shows: recipient line, copies, subject, body.
QStringList composed(const compose::ComposeWindow& form) {
    return {control<QLineEdit>(form, "ToText")->text(), control<QLineEdit>(form, "CcText")->text(),
            control<QLineEdit>(form, "SubjectText")->text(),
            control<QTextEdit>(form, "BodyText")->toPlainText()};
}

const QStringList kFilled{QStringLiteral("tanaka@example.jp"), QStringLiteral("sato@example.jp"),
                          QStringLiteral("会議"), QStringLiteral("a\nb")};

}  // namespace

class LinkRelayTest : public QObject {
    Q_OBJECT

  private slots:
    // The second start blocks in its own process; here in a thread of its own.
    void aSecondStartHandsItsLinkToTheRunningProgram() {
        TestApplication running;
        QVERIFY(running.status.isOk());
        std::atomic<int> delivery{-1};
        std::thread second([&] {
            delivery = static_cast<int>(deliverLink(running.folder.programFolder(), kLink));
        });
        QTRY_VERIFY(delivery != -1);
        second.join();
        QCOMPARE(delivery.load(), static_cast<int>(LinkDelivery::kDelivered));
        auto* compose = running.app->existingForm<compose::ComposeWindow>();
        QVERIFY(compose != nullptr && compose->isVisible());
        QCOMPARE(composed(*compose), kFilled);
    }

    // A start without a link brings the running program's main window to the
    // front, restored and active, and opens nothing else.
    void aSecondStartWithoutALinkRaisesTheRunningProgram() {
        TestApplication running;
        QVERIFY(running.status.isOk());
        QWidget other;
        other.show();
        other.activateWindow();
        running.mainWindow().showMinimized();
        QTRY_VERIFY(running.mainWindow().isMinimized());
        std::atomic<int> delivery{-1};
        std::thread second(
            [&] { delivery = static_cast<int>(askToShow(running.folder.programFolder())); });
        QTRY_VERIFY(delivery != -1);
        second.join();
        QCOMPARE(delivery.load(), static_cast<int>(LinkDelivery::kDelivered));
        QTRY_VERIFY(!running.mainWindow().isMinimized());
        QVERIFY(running.mainWindow().isVisible());
        QTRY_COMPARE(QApplication::activeWindow(), &running.mainWindow());
        QVERIFY(running.app->existingForm<compose::ComposeWindow>() == nullptr);
        QVERIFY(running.boxes.shown().isEmpty());
    }

    void typedMailIsReplacedOnlyWhenTheUserSaysYes() {
        TestApplication running;
        compose::ComposeWindow& compose = running.app->showForm<compose::ComposeWindow>();
        control<QLineEdit>(compose, "SubjectText")->setText(QStringLiteral("書きかけ"));
        running.boxes.answer({false});
        running.app->openMailLink(kLink);
        QCOMPARE(running.boxes.shown().back().kind, ui::MessageKind::kQuestion);
        QCOMPARE(running.boxes.shown().back().text,
                 ui::words(ui::Say::kReplaceTypedMailWithLink, {}, QString()));
        QCOMPARE(composed(compose),
                 (QStringList{QString(), QString(), QStringLiteral("書きかけ"), QString()}));
        running.boxes.answer({true});
        running.app->openMailLink(kLink);
        QCOMPARE(composed(compose), kFilled);
    }

    void aLinkThatCannotBeReadIsReportedAndOpensNothing() {
        TestApplication running;
        running.boxes.clear();
        running.app->openMailLink(QStringLiteral("mailto:a@example.jp%0D%0ARCPT%20TO:x@evil"));
        QCOMPARE(running.boxes.shown().size(), 1);
        QCOMPARE(running.boxes.shown().back().text,
                 ui::words(ui::Say::kMailLinkNotOpened, {}, QString()));
        QVERIFY(running.app->existingForm<compose::ComposeWindow>() == nullptr);
    }

    void withoutARunningProgramTheStartGoesOn() {
        WindowTestFolder fresh;  // no data folder yet
        QCOMPARE(deliverLink(fresh.programFolder(), kLink), LinkDelivery::kNotRunning);
        QVERIFY(fresh.programFolder().ensureFolders().isOk());
        QCOMPARE(deliverLink(fresh.programFolder(), kLink), LinkDelivery::kNotRunning);
    }

    void aHeldFolderThatTakesNoLinkFails() {
        WindowTestFolder folder;
        QVERIFY(folder.programFolder().ensureFolders().isOk());
        auto lock = settings::FolderLock::acquire(folder.programFolder().lockFile());
        QVERIFY(lock.isOk());
        QCOMPARE(deliverLink(folder.programFolder(), kLink, 300), LinkDelivery::kFailed);
        QCOMPARE(askToShow(folder.programFolder(), 300), LinkDelivery::kFailed);
    }
};

}  // namespace qf::app

QTEST_MAIN(qf::app::LinkRelayTest)
#include "LinkRelay_test.moc"
