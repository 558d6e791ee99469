#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/TestApplication.h"
#include "base/Twips.h"
#include "settings/AccountFiles.h"
#include "store/MailRecord.h"
#include "store/MailStore.h"
#include "store/Originals.h"
#include "text/Cp932.h"
#include "transport/MailDecoder.h"
#include "ui/ActiveLabel.h"
#include "ui/TestControls.h"
#include "viewer/OriginalText.h"

namespace qf::viewer {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;

std::string numbered(const char* text, int n) {
    return text + std::to_string(n);
}

store::MailFields mailNumber(int n) {
    return {numbered("件名", n), numbered("sender", n) + "@example.jp", numbered("2026/12/0", n),
            numbered("本文です ", n) + "\r\n二行目"};
}

// Lays down `count` mails in `box` and registers captions, before start-up.
auto withMails(int box, int count) {
    return [box, count](WindowTestFolder& folder) {
        const settings::ProgramFolder program = folder.programFolder();
        (void)program.ensureFolders();
        store::MailStore store(program.dataFolder().string());
        for (int n = 1; n <= count; ++n) {
            (void)store.append(box, mailNumber(n));
        }
        settings::SortingRegistrations registrations;
        registrations[2].caption = "友人";
        registrations[3].caption = "仕事";
        (void)settings::writeSortingRegistrations(program.sortingFile(), registrations);
        folder.write(QStringLiteral("corvid.ini"), "POP3=127.0.0.1:1\r\n");
    };
}

QStringList row(const QTreeWidget& list, int index) {
    const QTreeWidgetItem* item = list.topLevelItem(index);
    return item == nullptr ? QStringList()
                           : QStringList{item->text(0), item->text(1), item->text(2)};
}

QString plain(const std::string& body) {
    return QString::fromStdString(body).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

void clickRow(QTreeWidget& list, int index) {
    const QRect rect = list.visualItemRect(list.topLevelItem(index));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
    QCoreApplication::processEvents();
}

void clickEmptyArea(QTreeWidget& list) {
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.viewport()->rect().center());
    QCoreApplication::processEvents();
}

}  // namespace

class ViewerWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // The editor's settings go to a folder of this test, not the user's.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        // The program's own typeface, as the program chooses it at start.
        const QString family = QStringLiteral("Noto Sans CJK JP");
        if (QFontDatabase::families().contains(family)) {
            QFont font = QApplication::font();
            font.setFamilies({family});
            QApplication::setFont(font);
        }
    }

    void openingAReceivingBoxAddsItsNewMailAndListsItInFileOrder() {
        TestApplication started(withMails(4, 5));
        QVERIFY(started.status.isOk());
        app::MainWindow& main = started.mainWindow();
        QCOMPARE(control<QLineEdit>(main, "Text8")->text(), QStringLiteral("5"));
        main.countNewMail(4);  // two mails received since the start
        main.countNewMail(4);
        QCOMPARE(control<QLineEdit>(main, "Text7")->text(), QStringLiteral("2"));

        QTest::mouseClick(control<ui::ActiveLabel>(main, "Label11"), Qt::LeftButton);

        QCOMPARE(control<QLineEdit>(main, "Text8")->text(), QStringLiteral("7"));
        QCOMPARE(control<QLineEdit>(main, "Text7")->text(), QString());
        auto* viewer = started.app->existingForm<ViewerWindow>();
        QVERIFY(viewer != nullptr);
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->currentBox(), 4);
        QCOMPARE(viewer->windowTitle(), QStringLiteral("仕事"));
        QCOMPARE(control<QTreeWidget>(*viewer, "MailListView")->topLevelItemCount(), 5);
        for (int i = 0; i < 5; ++i) {
            const store::MailFields mail = mailNumber(i + 1);
            QCOMPARE(row(*control<QTreeWidget>(*viewer, "MailListView"), i),
                     (QStringList{QString::fromStdString(mail.subject),
                                  QString::fromStdString(mail.fromOrTo),
                                  QString::fromStdString(mail.date)}));
        }
        // The end state: the last mail is shown, on the clipboard and current.
        const store::MailFields last = mailNumber(5);
        QCOMPARE(control<QLineEdit>(*viewer, "Text7")->text(),
                 QString::fromStdString(last.subject));
        QCOMPARE(control<QLineEdit>(*viewer, "Text8")->text(),
                 QString::fromStdString(last.fromOrTo));
        QCOMPARE(control<QLineEdit>(*viewer, "Text9")->text(), QString::fromStdString(last.date));
        QCOMPARE(control<QTextEdit>(*viewer, "rtfEd")->toPlainText(), plain(last.body));
        QCOMPARE(QGuiApplication::clipboard()->text(), plain(last.body));
        QCOMPARE(started.app->mailStore().currentFields(4).subject, last.subject);
        QCOMPARE(control<QLineEdit>(*viewer, "Text2")->text(), QStringLiteral("5"));
        QCOMPARE(viewer->selectionMarker(), QString());  // opening a box selects nothing
    }

    void eachBoxSetsItsMoveCaptionAndCommands() {
        TestApplication started(withMails(6, 1));
        app::MainWindow& main = started.mainWindow();
        QTest::mouseClick(control<ui::ActiveLabel>(main, "Label9"), Qt::LeftButton);  // box 3
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        QCOMPARE(viewer.windowTitle(), QStringLiteral("友人"));
        QVERIFY(control<ui::ActiveLabel>(viewer, "Label3")
                    ->text()
                    .endsWith(QStringLiteral("使用不可")));
        QCOMPARE(control<ui::ActiveLabel>(viewer, "Label3")->text().indexOf(u'使'), 40);
        QVERIFY(!control<ui::ActiveLabel>(viewer, "Image2")->isEnabled());
        QVERIFY(!control<ui::ActiveLabel>(viewer, "Label3")->font().bold());

        QTest::mouseClick(control<ui::ActiveLabel>(main, "Label13"), Qt::LeftButton);  // box 6
        QCOMPARE(viewer.windowTitle(), QStringLiteral("その他"));
        QCOMPARE(control<ui::ActiveLabel>(viewer, "Label3")->text(),
                 QString(60, u' ') + QStringLiteral("保  管  箱"));
        QVERIFY(control<ui::ActiveLabel>(viewer, "Label3")->font().bold());
        QCOMPARE(control<ui::ActiveLabel>(viewer, "Label3")->font().pointSize(), 10);
        QCOMPARE(control<ui::ActiveLabel>(viewer, "Label3")->palette().color(QPalette::WindowText),
                 QColor(255, 0, 0));
        QCOMPARE(control<ui::ActiveLabel>(viewer, "Label3")->y() -
                     control<ui::ActiveLabel>(viewer, "Image2")->y(),
                 base::twipsToPixels(150));
        const int captionWidth =
            control<ui::ActiveLabel>(viewer, "Label3")
                ->fontMetrics()
                .horizontalAdvance(control<ui::ActiveLabel>(viewer, "Label3")->text());
        QVERIFY2(captionWidth + control<ui::ActiveLabel>(viewer, "Label3")->indent() <=
                     control<ui::ActiveLabel>(viewer, "Label3")->width(),
                 "the spaces must not push the caption off its picture");
        QVERIFY(control<ui::ActiveLabel>(viewer, "Image2")->isEnabled());
        QVERIFY(control<ui::ActiveLabel>(viewer, "Label7")->isEnabled());

        // The send history cannot be replied to; a box opened after it can.
        main.actions().openBox(kSendHistoryBox);
        QCOMPARE(viewer.windowTitle(), QStringLiteral("送信履歴"));
        QVERIFY(!control<ui::ActiveLabel>(viewer, "Label7")->isEnabled());
        main.actions().openBox(kKeepBox);
        QCOMPARE(viewer.windowTitle(), QStringLiteral("保管箱"));
        QCOMPARE(control<ui::ActiveLabel>(viewer, "Label3")->text(),
                 QString(36, u' ') + QStringLiteral("保管箱です"));
        QVERIFY(control<ui::ActiveLabel>(viewer, "Label7")->isEnabled());
        QVERIFY(!control<ui::ActiveLabel>(viewer, "Label3")->font().bold());
        QVERIFY(control<ui::ActiveLabel>(viewer, "Label3")->palette().color(QPalette::WindowText) !=
                QColor(255, 0, 0));
        QVERIFY(!control<ui::ActiveLabel>(viewer, "Image2")->isEnabled());
    }

    void sendHistoryListsTheRecipient() {
        TestApplication started([](WindowTestFolder& folder) {
            const settings::ProgramFolder program = folder.programFolder();
            (void)program.ensureFolders();
            store::MailStore store(program.dataFolder().string());
            (void)store.append(kSendHistoryBox,
                               {"お礼", "friend@example.jp", "2026/12/08 9:30:00", "ありがとう"});
        });
        started.mainWindow().actions().openBox(kSendHistoryBox);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        QCOMPARE(row(*control<QTreeWidget>(viewer, "MailListView"), 0),
                 (QStringList{QStringLiteral("お礼"), QStringLiteral("friend@example.jp"),
                              QStringLiteral("2026/12/08 9:30:00")}));
        QCOMPARE(control<QLineEdit>(viewer, "Text8")->text(), QStringLiteral("friend@example.jp"));
        QCOMPARE(control<QTextEdit>(viewer, "rtfEd")->toPlainText(), QStringLiteral("ありがとう"));
    }

    void neverWrittenSubjectIsListedEmpty() {
        TestApplication started([](WindowTestFolder& folder) {
            const store::RecordLayout& layout = store::layoutOf(store::RecordKind::kMail);
            QByteArray record(qsizetype(layout.lengthBytes), '\0');
            store::encodeRecord(layout, {"x", "a@example.jp", "d", "body"}, 1,
                                std::span<char>(record.data(), layout.lengthBytes));
            record.replace(qsizetype(layout.subject.offset), qsizetype(layout.subject.lengthBytes),
                           QByteArray(qsizetype(layout.subject.lengthBytes), '\0'));
            folder.write(QStringLiteral("★MAilData/kdxdata8.data"), record);
        });
        started.mainWindow().actions().openBox(kOtherBox);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItemCount(), 1);
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItem(0)->text(0), QString());
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItem(0)->text(1),
                 QStringLiteral("a@example.jp"));
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text(), QString());
    }

    // The current box is held for the whole run, not by the window.
    void theCurrentBoxOutlivesTheViewer() {
        TestApplication started(withMails(4, 3));
        started.mainWindow().actions().openBox(4);
        started.app->existingForm<ViewerWindow>()->close();
        QTRY_VERIFY(started.app->existingForm<ViewerWindow>() == nullptr);
        QCOMPARE(started.app->held().currentBox, 4);
        QCOMPARE(started.app->form<ViewerWindow>().currentBox(), 4);
    }

    void emptyBoxListsNothingAndCountsZero() {
        TestApplication started(withMails(4, 3));
        started.mainWindow().actions().openBox(4);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItemCount(), 3);

        started.mainWindow().actions().openBox(2);
        QCOMPARE(control<QTreeWidget>(viewer, "MailListView")->topLevelItemCount(), 0);
        QCOMPARE(control<QLineEdit>(viewer, "Text2")->text(), QStringLiteral("0"));
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text(), QString());
        QCOMPARE(control<QLineEdit>(viewer, "Text8")->text(), QString());
        QCOMPARE(control<QLineEdit>(viewer, "Text9")->text(), QString());
        QCOMPARE(control<QTextEdit>(viewer, "rtfEd")->toPlainText(), QString());
        QVERIFY(started.folder.exists(QStringLiteral("★MAilData/kdxdata3.data")));
    }

    void clickingARowShowsThatRecordAndPutsItsBodyOnTheClipboard() {
        TestApplication started(withMails(4, 5));
        started.mainWindow().actions().openBox(4);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();

        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 2);

        const store::MailFields third = mailNumber(3);
        QCOMPARE(viewer.selectionMarker(), QStringLiteral("1"));
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text(),
                 QString::fromStdString(third.subject));
        QCOMPARE(control<QLineEdit>(viewer, "Text8")->text(),
                 QString::fromStdString(third.fromOrTo));
        QCOMPARE(control<QLineEdit>(viewer, "Text9")->text(), QString::fromStdString(third.date));
        QCOMPARE(control<QTextEdit>(viewer, "rtfEd")->toPlainText(), plain(third.body));
        QCOMPARE(QGuiApplication::clipboard()->text(), plain(third.body));
        QCOMPARE(started.app->mailStore().currentFields(4).subject, third.subject);
        QCOMPARE(control<QLineEdit>(viewer, "Text2")->text(), QStringLiteral("5"));
        QVERIFY(started.boxes.shown().isEmpty());
    }

    void clickBesideTheRowsWithNoRowChosenSelectsNothing() {
        TestApplication started(withMails(4, 2));
        started.mainWindow().actions().openBox(4);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        const QPoint belowTheRows(
            10, control<QTreeWidget>(viewer, "MailListView")->viewport()->height() - 5);

        QTest::mouseClick(control<QTreeWidget>(viewer, "MailListView")->viewport(), Qt::LeftButton,
                          {}, belowTheRows);
        QCoreApplication::processEvents();

        QCOMPARE(viewer.selectionMarker(), QString());
        QVERIFY(started.boxes.shown().isEmpty());
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text(),
                 QString::fromStdString(mailNumber(2).subject));
    }

    void clickOnAnEmptyListSaysSoAndStillSetsTheMarker() {
        TestApplication started;
        started.mainWindow().actions().openBox(1);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));

        clickEmptyArea(*control<QTreeWidget>(viewer, "MailListView"));

        QCOMPARE(started.boxes.shown().size(), 1);
        QCOMPARE(started.boxes.shown().front().text,
                 QStringLiteral("選択するデータがありません。"));
        QCOMPARE(started.boxes.shown().front().kind, ui::MessageKind::kInformation);
        QCOMPARE(viewer.selectionMarker(), QStringLiteral("1"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("untouched"));
    }

    // The editor's current file is held for the run: each new viewer loads it
    // (as CP932), and a named file that cannot be read is reported.
    void editorFileIsLoadedOnlyWhenOneIsNamed() {
        TestApplication started;
        started.mainWindow().actions().openBox(1);
        QVERIFY(started.boxes.shown().isEmpty());

        QTemporaryDir dir;
        const QString missing = dir.filePath(QStringLiteral("新規作成.TXT"));
        started.app->held().editorCurrentFile = missing.toStdString();
        auto reopen = [&] {
            delete started.app->existingForm<ViewerWindow>();
            started.mainWindow().actions().openBox(1);
            return started.app->existingForm<ViewerWindow>();
        };
        // OK tries again, Cancel goes on.
        started.boxes.answer({true, false});
        QVERIFY(reopen()->isVisible());
        QCOMPARE(started.boxes.shown().size(), 2);
        const ui::MessageRequest& shown = started.boxes.shown().front();
        QCOMPARE(shown.kind, ui::MessageKind::kRetry);
        QCOMPARE(shown.title, QStringLiteral("Quillfern  Form_LoadError"));
        QVERIFY2(shown.text.contains(missing), qPrintable(shown.text));

        QFile file(missing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x87\x40\x87\x8A\xFB\xFC\r\nmemo");  // ①㈱髙 in CP932
        file.close();
        started.boxes.clear();
        delete started.app->existingForm<ViewerWindow>();
        ViewerWindow* viewer = &started.app->form<ViewerWindow>();  // loaded, no box listed
        QVERIFY(started.boxes.shown().isEmpty());
        QCOMPARE(control<QTextEdit>(*viewer, "rtfEd")->toPlainText(),
                 QStringLiteral("①㈱髙\nmemo\n"));
        QVERIFY(!viewer->editorChanged());
    }

    // A mail with what CP932 lacks (tests/data/mail/utf8-emoji-and-beyond-
    // cp932.eml, made by Python's email library): its record holds "?", its
    // original every character. The viewer shows the original's texts, a
    // reply takes its thread, quick save writes the shown text in CP932.
    void aMailWithItsOriginalShowsEveryCharacterAsWritten() {
        const std::string original = sampleMail("utf8-emoji-and-beyond-cp932.eml");
        QVERIFY(!original.empty());
        TestApplication started([&](WindowTestFolder& folder) {
            withMails(6, 1)(folder);
            const transport::DecodedMail decoded = transport::decodeMail(original);
            const store::MailFields record{asCp932Keeps(decoded.headers.subject),
                                           asCp932Keeps(decoded.headers.sender),
                                           decoded.headers.date, asCp932Keeps(decoded.body)};
            const std::string data = folder.programFolder().dataFolder().string();
            store::MailStore store(data);
            (void)store.append(6, record);
            (void)store::Originals(data).keep(6, store.currentFields(6), original);
        });
        started.mainWindow().actions().openBox(6);
        ViewerWindow& viewer = *started.app->existingForm<ViewerWindow>();
        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 1);

        const QString subject = QStringLiteral("今日のランチ😊 𠮷野家 café 안녕하세요");
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text(), subject);
        QCOMPARE(control<QLineEdit>(viewer, "Text8")->text(),
                 QStringLiteral("花子 <hanako@example.jp>"));
        const QString body = control<QTextEdit>(viewer, "rtfEd")->toPlainText();
        QVERIFY2(body.startsWith(QStringLiteral("🍻 と 🍰 で乾杯。\n𠮷野家")), qPrintable(body));
        QVERIFY(body.contains(QStringLiteral("한국어도 씁니다.")));
        QCOMPARE(viewer.shownMail().recordNumber, 2);
        QCOMPARE(viewer.shownMail().to, std::string("qftest@example.jp"));
        QCOMPARE(viewer.shownMail().thread.inReplyTo, std::string("<lunch-20261209@example.jp>"));

        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 0);  // no original
        QCOMPARE(control<QLineEdit>(viewer, "Text7")->text(),
                 QString::fromStdString(mailNumber(1).subject));
        QVERIFY(viewer.shownMail().thread.empty());

        clickRow(*control<QTreeWidget>(viewer, "MailListView"), 1);
        viewer.quickSave();
        const auto saved = started.folder.programFolder().quickSaveFolder();
        std::string bytes;
        for (const auto& entry : std::filesystem::directory_iterator(saved)) {
            std::ifstream in(entry.path(), std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        QVERIFY2(bytes.starts_with(text::toCp932("Subject:  今日のランチ? 𠮷野家 caf? ")),
                 bytes.c_str());
        QVERIFY(bytes.find(text::toCp932("𠮷野家の前で会いましょう。")) != std::string::npos);
    }

  private:
    static std::string sampleMail(const char* name) {
        std::ifstream in(
            qEnvironmentVariable("QF_SOURCE_DIR").toStdString() + "/tests/data/mail/" + name,
            std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    QTemporaryDir m_settings;
};

}  // namespace qf::viewer

QTEST_MAIN(qf::viewer::ViewerWindowTest)
#include "ViewerWindow_test.moc"
