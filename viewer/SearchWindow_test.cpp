// The search window on the offscreen platform: opened by Ctrl+F, searching
// real box files, and handing a found mail to the viewer, which can then
// reply to it.
#include "viewer/SearchWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>
#include <QTreeView>
#include <QTreeWidget>

#include "app/TestApplication.h"
#include "compose/ReplyWindow.h"
#include "store/MailStore.h"
#include "store/StoreTestSupport.h"
#include "ui/MessageBoxes.h"
#include "ui/TestControls.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;

// Box 1: two mails; box 6: three, the second in half-width katakana.
void layDownMails(WindowTestFolder& folder) {
    folder.write(QStringLiteral("corvid.ini"), "POP3=127.0.0.1:1\r\n");  // no settings window
    const settings::ProgramFolder program = folder.programFolder();
    (void)program.ensureFolders();
    store::MailStore store(program.dataFolder().string());
    (void)store.append(1, {"打ち合わせ", "tanaka@example.jp", "2026/12/08", "来週の件"});
    (void)store.append(1, {"見積もり", "tanaka@example.jp", "2026/12/09", "添付します"});
    (void)store.append(kOtherBox, {"ご案内", "news@example.jp", "2026/12/01", "お知らせ"});
    (void)store.append(kOtherBox, {"ｶﾞｯｺｳ便り", "school@example.jp", "2026/12/02", "運動会"});
    (void)store.append(kOtherBox, {"最後", "last@example.jp", "2026/12/03", "終わり"});
}

QString cell(const SearchWindow& search, int row, int column) {
    return control<QTreeView>(search, "resultList")->model()->index(row, column).data().toString();
}

}  // namespace

class SearchWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void foundMailOpensSelectedInTheViewerAndCanBeAnswered() {
        TestApplication started(layDownMails);
        app::MainWindow& main = started.mainWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(&main, Qt::Key_F, Qt::ControlModifier);
        auto* search = started.app->existingForm<SearchWindow>();
        QVERIFY(search != nullptr && search->isVisible());
        QCOMPARE(control<QComboBox>(*search, "boxChoice")->count(), 9);

        control<QLineEdit>(*search, "queryText")->setText(QStringLiteral(" がっこう "));
        control<QCheckBox>(*search, "sameKanaCheck")->setChecked(true);
        QTest::keyClick(control<QLineEdit>(*search, "queryText"), Qt::Key_Return);
        QTRY_VERIFY(!search->searching());
        QCOMPARE(control<QTreeView>(*search, "resultList")->model()->rowCount(), 1);
        QCOMPARE(cell(*search, 0, 0), QStringLiteral("その他"));
        QCOMPARE(cell(*search, 0, 1), QStringLiteral("ｶﾞｯｺｳ便り"));
        QCOMPARE(cell(*search, 0, 2), QStringLiteral("school@example.jp"));
        QCOMPARE(control<QLabel>(*search, "statusText")->text(),
                 QStringLiteral("1件見つかりました。"));

        control<QTreeView>(*search, "resultList")->setFocus();
        QTest::keyClick(control<QTreeView>(*search, "resultList"), Qt::Key_Return);
        auto* viewer = started.app->existingForm<ViewerWindow>();
        QVERIFY(viewer != nullptr && viewer->isVisible());
        QCOMPARE(viewer->currentBox(), kOtherBox);
        QCOMPARE(viewer->selectionMarker(), ViewerWindow::kSelectedMarker);
        QCOMPARE(control<QLineEdit>(*viewer, "Text7")->text(), QStringLiteral("ｶﾞｯｺｳ便り"));
        QCOMPARE(control<QTextEdit>(*viewer, "rtfEd")->toPlainText(), QStringLiteral("運動会"));
        QCOMPARE(
            control<QTreeWidget>(*viewer, "MailListView")
                ->indexOfTopLevelItem(control<QTreeWidget>(*viewer, "MailListView")->currentItem()),
            1);

        viewer->reply();
        auto* reply = started.app->existingForm<compose::ReplyWindow>();
        QVERIFY(reply != nullptr && reply->isVisible());
        QCOMPARE(reply->findChild<QLineEdit*>(QStringLiteral("SubjectText"))->text(),
                 QStringLiteral("Re:  ｶﾞｯｺｳ便り"));
        QCOMPARE(reply->findChild<QTextEdit*>(QStringLiteral("BodyText"))->toPlainText(),
                 QStringLiteral("運動会"));
    }

    // One box, the body only; the viewer's menu opens the same window. The
    // tear comes after start-up, which would have set it aside.
    void searchesTheChosenBoxAndFieldsAndNamesATornBox() {
        TestApplication started(layDownMails);
        const std::string box = started.folder.programFolder().dataFile("kdxdata2.data").string();
        store::testing::writeBytes(box, store::testing::readBytes(box) + "torn");
        started.mainWindow().actions().openBox(1);
        auto* viewer = started.app->existingForm<ViewerWindow>();
        viewer->findChild<QAction*>(QStringLiteral("mzenkensaku"))->trigger();
        auto* search = started.app->existingForm<SearchWindow>();
        QVERIFY(search != nullptr && search->isVisible());

        control<QLineEdit>(*search, "queryText")->setText(QStringLiteral("見積"));
        search->startSearch();
        QTRY_VERIFY(!search->searching());
        QCOMPARE(control<QTreeView>(*search, "resultList")->model()->rowCount(), 1);
        QVERIFY(control<QLabel>(*search, "problemText")->isVisible());
        QVERIFY(
            control<QLabel>(*search, "problemText")->text().contains(QStringLiteral("4バイト")));

        control<QCheckBox>(*search, "subjectCheck")->setChecked(false);
        search->startSearch();
        QTRY_VERIFY(!search->searching());
        QCOMPARE(control<QTreeView>(*search, "resultList")->model()->rowCount(), 0);

        control<QLineEdit>(*search, "queryText")->setText(QStringLiteral("お知らせ"));
        control<QComboBox>(*search, "boxChoice")
            ->setCurrentIndex(control<QComboBox>(*search, "boxChoice")->findData(1));
        search->startSearch();
        QTRY_VERIFY(!search->searching());
        QCOMPARE(control<QTreeView>(*search, "resultList")->model()->rowCount(), 0);
    }

    // A delete after the search renumbers the box: the row does not open
    // another mail.
    void aHitRenumberedByADeleteIsNotOpened() {
        TestApplication started(layDownMails);
        started.mainWindow().actions().search();
        auto* search = started.app->existingForm<SearchWindow>();
        control<QLineEdit>(*search, "queryText")->setText(QStringLiteral("最後"));
        search->startSearch();
        QTRY_VERIFY(!search->searching());
        QCOMPARE(control<QTreeView>(*search, "resultList")->model()->rowCount(), 1);

        store::MailStore& store = started.app->mailStore();
        QVERIFY(store.readRecord(kOtherBox, 1).isOk());
        QVERIFY(store.deleteRecord(kOtherBox, 1).isOk());
        search->openHit(0);
        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.boxes.shown()[0].text,
                 ui::words(ui::Say::kSearchHitOutdated, {}, QString()));
        QVERIFY(started.app->existingForm<ViewerWindow>() == nullptr);
    }
};

}  // namespace qf::viewer

QTEST_MAIN(qf::viewer::SearchWindowTest)
#include "SearchWindow_test.moc"
