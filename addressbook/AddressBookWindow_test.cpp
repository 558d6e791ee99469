// The address book window on the offscreen platform, checked against the
// bytes of the address-book file.
#include "addressbook/AddressBookWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "addressbook/AddressBookFile.h"
#include "ui/ActiveLabel.h"
#include "ui/ScriptedMessageBoxes.h"
#include "ui/TestControls.h"
#include "ui/WindowTestFolder.h"

using namespace qf;
using addressbook::AddressBookWindow;

namespace {

const QString kBook = QStringLiteral("★MAilData/kdxdata.data");
const QByteArray kIdeographicSpaceCp932("\x81\x40", 2);

}  // namespace

class AddressBookWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();

    void emptyBookListsNothing();
    void registeringWritesTheRecordBytes();
    void deletingTheSecondOfThreeKeepsTheOthersInOrder();
    void answeringNoKeepsEveryEntry();
    void rowPressFillsTheFieldsAndAnEmptyPressWarns();
    void nameInsertionBuildsNameAndAddress();
    void aRefusedDeletionLeavesTheEntryAndAnOverlongNameIsNotInserted();

  private:
    AddressBookWindow* openForm();
    template <typename T>
    T* control(const char* name) {
        return ui::testing::control<T>(*m_form, name);
    }
    void registerThrough(const QString& name, const QString& address);
    void pressRow(int row);

    std::unique_ptr<ui::testing::WindowTestFolder> m_folder;
    std::unique_ptr<ui::ScriptedMessageBoxes> m_boxes;
    QPointer<AddressBookWindow> m_form;
};

void AddressBookWindowTest::init() {
    m_folder = std::make_unique<ui::testing::WindowTestFolder>();
    m_boxes = std::make_unique<ui::ScriptedMessageBoxes>();
    QVERIFY(m_folder->programFolder().ensureFolders().isOk());
}

void AddressBookWindowTest::cleanup() {
    delete m_form.data();
    m_boxes.reset();
    m_folder.reset();
}

AddressBookWindow* AddressBookWindowTest::openForm() {
    m_form = new AddressBookWindow(m_folder->programFolder());
    m_form->show();
    if (!QTest::qWaitForWindowExposed(m_form)) {
        qWarning("window not exposed");
    }
    return m_form;
}

void AddressBookWindowTest::registerThrough(const QString& name, const QString& address) {
    control<QLineEdit>("Text2")->setText(name);
    control<QLineEdit>("Text4")->setText(address);
    QTest::mouseClick(control<ui::ActiveLabel>("Label5"), Qt::LeftButton);
}

void AddressBookWindowTest::pressRow(int row) {
    auto* list = control<QListWidget>("List1");
    QTest::mousePress(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

void AddressBookWindowTest::emptyBookListsNothing() {
    openForm();
    QCOMPARE(control<QListWidget>("List1")->count(), 0);
    QCOMPARE(control<QLineEdit>("Text3")->text(), QStringLiteral("0"));
    QVERIFY(m_folder->exists(kBook));  // opening creates the file
    QCOMPARE(m_folder->read(kBook).size(), 0);
}

void AddressBookWindowTest::registeringWritesTheRecordBytes() {
    openForm();
    control<QLineEdit>("Text50")->setText(QStringLiteral("残る?"));
    registerThrough(QStringLiteral("山田花"), QStringLiteral("hana@example.jp"));

    const QByteArray bytes = m_folder->read(kBook);
    QCOMPARE(bytes.size(), 184);
    QByteArray name = QByteArray("\x8E\x52\x93\x63\x89\xD4", 6);  // 山田花 in CP932
    for (int i = 0; i < 27; ++i) {
        name += kIdeographicSpaceCp932;
    }
    name += QByteArray(90 - name.size(), ' ');
    QCOMPARE(bytes.left(90), name);
    QCOMPARE(bytes.mid(90, 4), QByteArray("\x0D\x0A\x01\x00", 4));
    QCOMPARE(bytes.mid(94), QByteArray("hana@example.jp") + QByteArray(75, ' '));

    QCOMPARE(control<QLabel>("Label7")->text(), QStringLiteral("　登録が完了しました。"));
    QCOMPARE(control<QLineEdit>("Text2")->text(), QString());
    QCOMPARE(control<QLineEdit>("Text4")->text(), QString());
    QCOMPARE(control<QLineEdit>("Text50")->text(), QString());
    auto* list = control<QListWidget>("List1");
    QCOMPARE(list->count(), 1);
    // Address field as stored, two spaces, then the name from character 93.
    QCOMPARE(list->item(0)->text().indexOf(QStringLiteral("山田花")), 92);
    QCOMPARE(control<QLineEdit>("Text3")->text(), QStringLiteral("1"));
}

void AddressBookWindowTest::deletingTheSecondOfThreeKeepsTheOthersInOrder() {
    openForm();
    registerThrough(QStringLiteral("一"), QStringLiteral("one@example.jp"));
    registerThrough(QStringLiteral("二"), QStringLiteral("two@example.jp"));
    registerThrough(QStringLiteral("三"), QStringLiteral("three@example.jp"));
    const QByteArray before = m_folder->read(kBook);
    pressRow(1);
    m_boxes->answer({true});
    QTest::mouseClick(control<ui::ActiveLabel>("Label6"), Qt::LeftButton);

    QCOMPARE(m_boxes->shown().last().title, QStringLiteral("確認"));
    QCOMPARE(m_boxes->shown().last().text,
             QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
    const QByteArray after = m_folder->read(kBook);
    QCOMPARE(after.size(), 2 * 184);
    QCOMPARE(after.left(184), before.left(184));
    QCOMPARE(after.mid(184), before.mid(2 * 184));
    QCOMPARE(control<QLabel>("Label7")->text(), QStringLiteral("削除が完了しました"));
    QCOMPARE(control<QListWidget>("List1")->count(), 2);
    QCOMPARE(m_form->recordNumbers(), (std::vector<int>{1, 2}));
    QVERIFY(!m_folder->exists(QStringLiteral("★MAilData/KDXDATA.TMP")));
}

void AddressBookWindowTest::answeringNoKeepsEveryEntry() {
    openForm();
    registerThrough(QStringLiteral("一"), QStringLiteral("one@example.jp"));
    registerThrough(QStringLiteral("二"), QStringLiteral("two@example.jp"));
    const QByteArray before = m_folder->read(kBook);
    pressRow(0);
    m_boxes->answer({false});
    m_form->deleteSelected();
    QCOMPARE(m_folder->read(kBook), before);
    QCOMPARE(control<QLabel>("Label7")->text(), QStringLiteral(" "));
    QCOMPARE(control<QListWidget>("List1")->count(), 2);
}

void AddressBookWindowTest::rowPressFillsTheFieldsAndAnEmptyPressWarns() {
    openForm();
    // A press on an empty list selects nothing.
    auto* list = control<QListWidget>("List1");
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(m_boxes->shown().size(), 1);
    QCOMPARE(m_boxes->shown()[0].kind, ui::MessageKind::kWarning);
    QCOMPARE(m_boxes->shown()[0].text, QStringLiteral("データが選択されていません"));

    registerThrough(QStringLiteral("田中"), QStringLiteral("tanaka@example.jp"));
    pressRow(0);
    QCOMPARE(control<QLineEdit>("Text2")->text(),
             QStringLiteral("田中") + QString(28, QChar(0x3000)));
    // The name shows from its start, not the padding at its end.
    QCOMPARE(control<QLineEdit>("Text2")->cursorPosition(), 0);
    QCOMPARE(control<QLineEdit>("Text4")->text(), QStringLiteral("tanaka@example.jp"));
    QCOMPARE(control<QLabel>("Label7")->text(), QStringLiteral("　選択しました。"));
}

void AddressBookWindowTest::nameInsertionBuildsNameAndAddress() {
    openForm();
    auto* address = control<QLineEdit>("Text4");
    auto* name = control<QLineEdit>("Text50");
    control<QPushButton>("Command38")->click();
    QCOMPARE(m_boxes->shown().last().text, QStringLiteral("メールアドレスが入力されていません"));

    QGuiApplication::clipboard()->setText(QStringLiteral("  sato@example.jp "));
    control<QPushButton>("Command1")->click();
    QCOMPARE(address->text(), QStringLiteral("  sato@example.jp "));
    control<QPushButton>("Command38")->click();
    QCOMPARE(m_boxes->shown().last().text, QStringLiteral("名詞が入力されていません"));
    QCOMPARE(address->text(), QStringLiteral("  sato@example.jp "));

    name->setText(QStringLiteral("佐藤一郎"));
    control<QPushButton>("Command38")->click();
    QCOMPARE(address->text(), QStringLiteral("佐藤一郎<sato@example.jp>"));
    QCOMPARE(m_boxes->shown().size(), 2);
    // Nothing is registered until 登録.
    QCOMPARE(m_folder->read(kBook).size(), 0);
    QTest::mouseMove(control<QPushButton>("Command38"));
    QTRY_VERIFY(control<QPlainTextEdit>("Text5")->isVisible());
    QVERIFY(control<QPlainTextEdit>("Text5")->toPlainText().endsWith(
        QStringLiteral("必要なければ挿入する必要はありません。")));
}

void AddressBookWindowTest::aRefusedDeletionLeavesTheEntryAndAnOverlongNameIsNotInserted() {
    openForm();
    registerThrough(QStringLiteral("一"), QStringLiteral("one@example.jp"));
    // A leftover temporary file holding an entry the book lacks: the
    // compaction must refuse, and the entry must not be marked first.
    m_folder->write(QStringLiteral("★MAilData/KDXDATA.TMP"),
                    QByteArray(addressbook::encodeEntry("他", "other@example.jp").data(), 184));
    const QByteArray before = m_folder->read(kBook);
    pressRow(0);
    m_boxes->answer({true});
    QTest::mouseClick(control<ui::ActiveLabel>("Label6"), Qt::LeftButton);
    QCOMPARE(m_boxes->shown().last().kind, ui::MessageKind::kWarning);
    QCOMPARE(m_folder->read(kBook), before);
    QCOMPARE(control<QListWidget>("List1")->count(), 1);

    // 60 bytes of address plus a long name would not fit the 90-byte field.
    auto* address = control<QLineEdit>("Text4");
    address->setText(QString(50, QLatin1Char('a')) + QStringLiteral("@example.jp"));
    control<QLineEdit>("Text50")->setText(QStringLiteral("とても長い名前の会社の営業部の担当者"));
    control<QPushButton>("Command38")->click();
    QVERIFY(m_boxes->shown().last().text.contains(QStringLiteral("90バイト")));
    QCOMPARE(address->text(), QString(50, QLatin1Char('a')) + QStringLiteral("@example.jp"));
}

QTEST_MAIN(AddressBookWindowTest)
#include "AddressBookWindow_test.moc"
