// The sorting registration window on the offscreen platform: what it reads
// and writes in iniIdPass2.ini, and what the next start makes of it.
#include "addressbook/SortingWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "addressbook/AddressBookWindow.h"
#include "app/TestApplication.h"
#include "compose/ComposeWindow.h"
#include "settings/AccountFiles.h"
#include "settings/ProfileFile.h"
#include "ui/ActiveLabel.h"
#include "ui/TestControls.h"

using namespace qf;
using addressbook::SortingWindow;

class SortingWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void openingShowsKeyNInBoxN();
    void closingUnchangedWritesAllTenKeys();
    void registerDisablesItselfAndCloseWritesAgain();
    void pastedAddressKeepsItsSpaces();
    void lineBreaksAreDroppedAndAFailedWriteKeepsTheWindow();
    void nextStartShowsTheCaptions();
    void mainWindowButtonsOpenTheirWindows();
    void theProgramsEndSavesNothing();

  private:
    SortingWindow* openForm();
    QLineEdit* box(int n) { return m_form->findChild<QLineEdit*>(QStringLiteral("Text%1").arg(n)); }
    std::string stored(int n) const {
        return settings::getProfileString(m_folder->programFolder().sortingFile(), "EXEINI",
                                          settings::exeIniKey(n), "<missing>", 1256);
    }

    std::unique_ptr<ui::testing::WindowTestFolder> m_folder;
    std::unique_ptr<ui::ScriptedMessageBoxes> m_boxes;
    QPointer<SortingWindow> m_form;
};

void SortingWindowTest::init() {
    m_folder = std::make_unique<ui::testing::WindowTestFolder>();
    m_boxes = std::make_unique<ui::ScriptedMessageBoxes>();
    QVERIFY(m_folder->programFolder().ensureFolders().isOk());
}

void SortingWindowTest::cleanup() {
    delete m_form.data();
    m_boxes.reset();
    m_folder.reset();
}

SortingWindow* SortingWindowTest::openForm() {
    m_form = new SortingWindow(m_folder->programFolder());
    m_form->show();
    return m_form;
}

void SortingWindowTest::openingShowsKeyNInBoxN() {
    m_folder->write(QStringLiteral("★MAilData/iniIdPass2.ini"),
                    QByteArray("[EXEINI]\r\nNAME=a@example.jp\r\nNAME2=Alpha\r\nNAME10=Last\r\n"));
    openForm();
    QCOMPARE(box(1)->text(), QStringLiteral("a@example.jp"));
    QCOMPARE(box(2)->text(), QStringLiteral("Alpha"));
    QCOMPARE(box(3)->text(), QString());
    QCOMPARE(box(10)->text(), QStringLiteral("Last"));
    QVERIFY(m_form->findChild<QPushButton*>(QStringLiteral("Command7")) != nullptr);
}

void SortingWindowTest::closingUnchangedWritesAllTenKeys() {
    m_folder->write(QStringLiteral("★MAilData/iniIdPass2.ini"),
                    QByteArray("[EXEINI]\r\nNAME3=keep@example.jp\r\n"));
    openForm();
    m_form->close();
    for (int n = 1; n <= 10; ++n) {
        QCOMPARE(stored(n), n == 3 ? std::string("keep@example.jp") : std::string());
    }
    QVERIFY(m_boxes->shown().isEmpty());
}

void SortingWindowTest::registerDisablesItselfAndCloseWritesAgain() {
    openForm();
    auto* registerButton = m_form->findChild<QPushButton*>(QStringLiteral("Command1"));
    box(5)->setText(QStringLiteral("boss@example.jp"));
    box(6)->setText(QStringLiteral("上司"));
    registerButton->click();
    QVERIFY(!registerButton->isEnabled());
    QCOMPARE(stored(5), std::string("boss@example.jp"));
    QCOMPARE(stored(6), std::string("上司"));
    QCOMPARE(stored(1), std::string());

    // An edit after 登録 still reaches the file when the window closes.
    box(6)->setText(QStringLiteral("部長"));
    m_form->close();
    QCOMPARE(stored(6), std::string("部長"));
}

void SortingWindowTest::pastedAddressKeepsItsSpaces() {
    openForm();
    QGuiApplication::clipboard()->setText(QStringLiteral("  spaced@example.jp "));
    m_form->findChild<QPushButton*>(QStringLiteral("Command5"))->click();  // row 3
    QCOMPARE(box(5)->text(), QStringLiteral("  spaced@example.jp "));
    m_form->close();
    QCOMPARE(stored(5), std::string("  spaced@example.jp "));
}

void SortingWindowTest::lineBreaksAreDroppedAndAFailedWriteKeepsTheWindow() {
    openForm();
    QGuiApplication::clipboard()->setText(QStringLiteral("copied@example.jp\r\n"));
    m_form->findChild<QPushButton*>(QStringLiteral("Command3"))->click();  // row 1
    QCOMPARE(box(1)->text(), QStringLiteral("copied@example.jp"));
    box(2)->setText(QStringLiteral("名前\r\n"));
    m_form->findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    QCOMPARE(stored(1), std::string("copied@example.jp"));
    QCOMPARE(stored(2), std::string("名前"));
    QVERIFY(m_boxes->shown().isEmpty());

    // A file that cannot be written: the window stays, with what was typed.
    const auto file = m_folder->programFolder().sortingFile();
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    box(3)->setText(QStringLiteral("new@example.jp"));
    m_boxes->answer({false});
    QVERIFY(!m_form->close());
    QVERIFY(m_form->isVisible());
    QCOMPARE(box(3)->text(), QStringLiteral("new@example.jp"));
    QVERIFY(m_form->findChild<QPushButton*>(QStringLiteral("Command1"))->isEnabled());
    QCOMPARE(m_boxes->shown().size(), 1);
    std::filesystem::remove(file);
}

void SortingWindowTest::nextStartShowsTheCaptions() {
    app::testing::TestApplication started([](ui::testing::WindowTestFolder& folder) {
        QVERIFY(folder.programFolder().ensureFolders().isOk());
        SortingWindow form(folder.programFolder());
        form.findChild<QLineEdit*>(QStringLiteral("Text1"))
            ->setText(QStringLiteral("<a@example.jp>"));
        form.findChild<QLineEdit*>(QStringLiteral("Text2"))->setText(QStringLiteral("家族"));
        form.findChild<QLineEdit*>(QStringLiteral("Text9"))
            ->setText(QStringLiteral("e@example.jp"));
        form.findChild<QLineEdit*>(QStringLiteral("Text10"))->setText(QStringLiteral("趣味"));
        form.setAttribute(Qt::WA_DeleteOnClose, false);  // it lives on the stack here
        form.close();
    });
    QVERIFY(started.status.isOk());
    QCOMPARE(
        ui::testing::control<ui::ActiveLabel>(started.mainWindow(), "Label3")->text().trimmed(),
        QStringLiteral("家族"));
    QCOMPARE(
        ui::testing::control<ui::ActiveLabel>(started.mainWindow(), "Label12")->text().trimmed(),
        QStringLiteral("趣味"));
    QCOMPARE(ui::testing::control<QLineEdit>(started.mainWindow(), "Text13")->text(),
             QStringLiteral("<a@example.jp>"));
}

void SortingWindowTest::mainWindowButtonsOpenTheirWindows() {
    app::testing::TestApplication started;
    QVERIFY(started.status.isOk());
    app::MainWindow& main = started.mainWindow();
    QTest::mouseClick(ui::testing::control<ui::ActiveLabel>(main, "Label5"), Qt::LeftButton);  // N
    QTest::mouseClick(ui::testing::control<ui::ActiveLabel>(main, "Label16"),
                      Qt::LeftButton);  // Ad
    QTest::mouseClick(ui::testing::control<ui::ActiveLabel>(main, "Label17"), Qt::LeftButton);  // D
    QTRY_VERIFY(started.app->existingForm<SortingWindow>() != nullptr);
    QVERIFY(started.app->existingForm<compose::ComposeWindow>() != nullptr);
    QVERIFY(started.app->existingForm<addressbook::AddressBookWindow>() != nullptr);
    QVERIFY(started.app->existingForm<compose::ComposeWindow>()->isVisible());
}

// Closing the main window closes an open registration window without
// writing what was typed into it.
void SortingWindowTest::theProgramsEndSavesNothing() {
    app::testing::TestApplication started;
    QVERIFY(started.status.isOk());
    auto& form = started.app->showForm<SortingWindow>();
    form.findChild<QLineEdit*>(QStringLiteral("Text1"))
        ->setText(QStringLiteral("typed@example.jp"));
    started.mainWindow().close();
    QTRY_VERIFY(started.app->existingForm<SortingWindow>() == nullptr);
    QVERIFY(!started.folder.exists(QStringLiteral("★MAilData/iniIdPass2.ini")));
}

QTEST_MAIN(SortingWindowTest)
#include "SortingWindow_test.moc"
