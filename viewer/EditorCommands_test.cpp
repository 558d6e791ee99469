#include "viewer/EditorCommands.h"

#include <sys/stat.h>

#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "editor/EditorText.h"
#include "ui/ScriptedMessageBoxes.h"

namespace qf::viewer {
namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The controls the viewer hands the editor, and its held values.
struct Editor {
    QWidget window;
    QTextEdit* pane = new QTextEdit(&window);
    QLineEdit* search = new QLineEdit(&window);
    QLineEdit* subject = new QLineEdit(&window);
    QLineEdit* sender = new QLineEdit(&window);
    QLineEdit* date = new QLineEdit(&window);
    std::string currentFile;
    bool changed = false;
    QTemporaryDir programFolder;
    EditorCommands commands{{&window, pane, search, subject, sender, date},
                            currentFile,
                            programFolder.path().toStdString(),
                            changed};

    Editor() {
        pane->setAcceptRichText(false);
        QObject::connect(pane, &QTextEdit::textChanged, [this] { changed = true; });
    }
    QString programFile(const QString& name) const { return programFolder.filePath(name); }
    int selectionStart() const { return pane->textCursor().selectionStart(); }
    QString selected() const { return pane->textCursor().selectedText(); }
};

const QString kNewName = QStringLiteral("新規作成.TXT");

}  // namespace

class EditorCommandsTest : public QObject {
    Q_OBJECT

  private slots:
    void newNamesItsFileInTheProgramFolderAndASecondNewDoesNothing() {
        ui::ScriptedMessageBoxes boxes;
        Editor editor;
        editor.pane->setPlainText(QStringLiteral("下書き"));
        editor.commands.newFile();
        const QString made = editor.programFile(kNewName);
        QCOMPARE(QString::fromStdString(editor.currentFile), made);
        QCOMPARE(readFile(made), QByteArray());
        QVERIFY(editor.pane->toPlainText().isEmpty());
        QVERIFY(!editor.changed);
        QCOMPARE(editor.window.windowTitle(), kNewName + QStringLiteral("      ") + made);

        editor.pane->setPlainText(QStringLiteral("続き"));
        editor.commands.newFile();
        QCOMPARE(editor.pane->toPlainText(), QStringLiteral("続き"));
        QCOMPARE(readFile(made), QByteArray());  // nothing saved either
        QVERIFY(boxes.shown().isEmpty());
    }

    void newSavesAChangedPaneWithoutAskingUnlessTheChoiceIsShinai() {
        ui::ScriptedMessageBoxes boxes;
        Editor editor;
        const QString memo = editor.programFile(QStringLiteral("memo.txt"));
        editor.currentFile = memo.toStdString();
        editor.pane->setPlainText(QStringLiteral("あ\nb"));
        editor.commands.newFile();
        QVERIFY(boxes.shown().isEmpty());
        QCOMPARE(readFile(memo), QByteArray("\x82\xA0\r\nb"));
        QCOMPARE(QString::fromStdString(editor.currentFile), editor.programFile(kNewName));

        Editor asking;
        const QString other = asking.programFile(QStringLiteral("other.txt"));
        asking.currentFile = other.toStdString();
        asking.commands.setAutoSaveChoice(kAskBeforeSaving);
        asking.pane->setPlainText(QStringLiteral("x"));
        boxes.choose({ui::Choice::kCancelButton, ui::Choice::kNoButton});
        asking.commands.newFile();
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().front().title, QStringLiteral("ファイルオープン"));
        QCOMPARE(boxes.shown().front().text, QStringLiteral("編集中のファイルを保存しますか？"));
        QCOMPARE(asking.pane->toPlainText(), QStringLiteral("x"));  // Cancel ends the command
        QCOMPARE(QString::fromStdString(asking.currentFile), other);

        asking.commands.newFile();  // No: on without saving
        QVERIFY(!QFile::exists(other));
        QCOMPARE(QString::fromStdString(asking.currentFile), asking.programFile(kNewName));
    }

    // A "新規作成.TXT" that holds text (saved there with a header, say) is not
    // emptied behind the user's back.
    void newAsksBeforeEmptyingAFileThatHoldsText() {
        ui::ScriptedMessageBoxes boxes;
        Editor editor;
        const QString made = editor.programFile(kNewName);
        writeFile(made, "Subject:  保存したメール\r\n");
        boxes.answer({false, true});
        editor.commands.newFile();
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(boxes.shown().front().title, QStringLiteral("確認"));
        QVERIFY(editor.currentFile.empty());
        QCOMPARE(readFile(made), QByteArray("Subject:  保存したメール\r\n"));
        editor.commands.newFile();  // Yes
        QCOMPARE(readFile(made), QByteArray());
    }

    void findAndFindNextSelectEachMatchThenNothing() {
        Editor editor;
        editor.pane->setPlainText(QStringLiteral("xxabcxxabc"));
        editor.search->setText(QStringLiteral("abc"));
        editor.commands.find();
        QCOMPARE(editor.selectionStart(), 2);
        QCOMPARE(editor.selected(), QStringLiteral("abc"));
        editor.commands.findNext();
        QCOMPARE(editor.selectionStart(), 7);
        editor.commands.findNext();
        QCOMPARE(editor.commands.lastFound(), 0);
        QCOMPARE(editor.selectionStart(), 7);  // a miss changes nothing else

        // Past 16-bit positions in a 40,000-character body.
        QString body(40000, u'本');
        body.replace(20000, 3, QStringLiteral("abc"));
        body.replace(33000, 3, QStringLiteral("abc"));
        editor.pane->setPlainText(body);
        editor.commands.find();
        editor.commands.findNext();
        QCOMPARE(editor.commands.lastFound(), 33001);
        QCOMPARE(editor.selectionStart(), 33000);

        editor.search->clear();
        editor.pane->moveCursor(QTextCursor::Start);
        editor.commands.findNext();
        QCOMPARE(editor.selectionStart(), 0);  // an empty search text finds nothing
    }

    void clipboardCommandsUsePlainTextAndPasteTrimsSpacesOnly() {
        Editor editor;
        QClipboard* clipboard = QGuiApplication::clipboard();
        editor.pane->setPlainText(QStringLiteral("一行目\n二行目"));
        editor.pane->moveCursor(QTextCursor::End);
        editor.commands.copy();  // nothing selected
        QCOMPARE(editor.pane->textCursor().position(), 0);
        QCOMPARE(clipboard->text(), QString());

        editor.commands.selectAll();
        editor.commands.copy();
        QCOMPARE(clipboard->text(), QStringLiteral("一行目\n二行目"));
        QCOMPARE(editor.pane->textCursor().position(), 7);
        QVERIFY(!editor.pane->textCursor().hasSelection());

        editor.commands.selectAll();
        editor.commands.cut();
        QVERIFY(editor.pane->toPlainText().isEmpty());
        QCOMPARE(clipboard->text(), QStringLiteral("一行目\n二行目"));

        clipboard->setText(QStringLiteral("  \tタブ　全角 \n  "));
        editor.commands.paste();
        QCOMPARE(editor.pane->toPlainText(), QStringLiteral("\tタブ　全角 \n"));
    }

    void fontTogglesAlternateOnTheWholePaneByToolbarKey() {
        Editor editor;
        editor.commands.runToolbarKey(QStringLiteral("Bold"));
        QVERIFY(editor.pane->font().bold());
        editor.commands.runToolbarKey(QStringLiteral("Bold"));
        QVERIFY(!editor.pane->font().bold());
        editor.commands.runToolbarKey(QStringLiteral("Bold"));
        QVERIFY(editor.pane->font().bold());
        editor.commands.runToolbarKey(QStringLiteral("Italic"));
        editor.commands.runToolbarKey(QStringLiteral("Underline"));
        QVERIFY(editor.pane->font().italic());
        QVERIFY(editor.pane->font().underline());
        editor.commands.runToolbarKey(QStringLiteral("Button1"));  // not a key: nothing
        QVERIFY(editor.pane->font().bold());
    }

    void openReadsCp932AndUtf8FilesAndCancelChangesNothing() {
        ui::ScriptedMessageBoxes boxes;
        Editor editor;
        const QString sjis = editor.programFile(QStringLiteral("sjis.txt"));
        const QString utf8 = editor.programFile(QStringLiteral("utf8.txt"));
        // printf '①㈱髙\r\n2' | iconv -t CP932
        writeFile(sjis, "\x87\x40\x87\x8A\xFB\xFC\r\n2");
        writeFile(utf8, "①㈱髙\n2\n");
        for (const QString& path : {sjis, utf8}) {
            editor.commands.chooseOpenFile = [path] { return path; };
            editor.commands.open();
            QCOMPARE(editor.pane->toPlainText(), QStringLiteral("①㈱髙\n2\n"));
            QCOMPARE(editor.window.windowTitle(), path);
        }
        editor.commands.chooseOpenFile = [] { return QString(); };
        editor.commands.open();
        QCOMPARE(editor.window.windowTitle(), utf8);
        QVERIFY(editor.currentFile.empty());  // Open does not change the current file

        editor.commands.chooseOpenFile = [&] { return editor.programFile(QStringLiteral("no")); };
        editor.commands.open();
        QCOMPARE(boxes.shown().size(), 1);
        QCOMPARE(editor.pane->toPlainText(), QStringLiteral("①㈱髙\n2\n"));
    }

    // The dialog lists the filter by its caption alone, and filters by its patterns.
    void fileDialogShowsTheFilterCaptionOnce() {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        prepareTextFileDialog(dialog, QStringLiteral("開く"), false);
        auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types != nullptr);
        QCOMPARE(types->count(), 1);
        QCOMPARE(types->itemText(0), QStringLiteral("txtファイル(*.txt,*.ini)"));
        auto* files = dialog.findChild<QFileSystemModel*>();
        QVERIFY(files != nullptr);
        QCOMPARE(files->nameFilters(),
                 QStringList({QStringLiteral("*.txt"), QStringLiteral("*.ini")}));
    }

    // A pipe (it would wait for a writer) and a device are refused at once; a
    // file over 16 MB is read only after a Yes.
    void openRefusesWhatIsNoFileAndAsksBeforeALargeOne() {
        ui::ScriptedMessageBoxes boxes;
        Editor editor;
        editor.pane->setPlainText(QStringLiteral("kept"));
        const QString pipe = editor.programFile(QStringLiteral("pipe.txt"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const QString large = editor.programFile(QStringLiteral("large.txt"));
        QFile file(large);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(16 * 1024 * 1024 + 1));
        file.close();
        for (const QString& path : {pipe, QStringLiteral("/dev/zero"), large}) {
            editor.commands.chooseOpenFile = [path] { return path; };
            editor.commands.open();
            QCOMPARE(editor.pane->toPlainText(), QStringLiteral("kept"));
        }
        QCOMPARE(boxes.shown().size(), 3);
        QVERIFY(boxes.shown().at(0).text.contains(QStringLiteral("ファイルではない")));
        QVERIFY(boxes.shown().at(2).text.contains(QStringLiteral("16 MB")));
    }

    // Over the limit the file is read in the background: the pane keeps what
    // it holds until the whole text is there, and a cancel keeps it for good.
    void aLargeFileIsReadInTheBackgroundAndACancelKeepsThePane() {
        ui::ScriptedMessageBoxes boxes;
        Editor editor;
        const QByteArray line = QStringLiteral("大きなファイルの一行です。\r\n").toUtf8();
        const int lines = int(editor::kLargeFileBytes / std::uint64_t(line.size())) + 1;
        const QString large = editor.programFile(QStringLiteral("large.txt"));
        writeFile(large, line.repeated(lines));
        editor.pane->setPlainText(QStringLiteral("typed"));
        editor.changed = false;
        editor.commands.chooseOpenFile = [large] { return large; };
        const auto progressBox = [&editor] {
            return editor.window.findChild<QProgressDialog*>(QStringLiteral("openProgress"));
        };

        boxes.answer({true, true});
        editor.commands.open();
        QVERIFY(progressBox() != nullptr);
        QTest::mouseClick(progressBox()->findChild<QPushButton*>(), Qt::LeftButton);
        QVERIFY(!progressBox()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(progressBox() == nullptr, 60000);
        QCOMPARE(editor.pane->toPlainText(), QStringLiteral("typed"));
        QVERIFY(!editor.changed);

        editor.commands.open();
        QVERIFY(progressBox() != nullptr);
        QCOMPARE(editor.pane->toPlainText(), QStringLiteral("typed"));
        QTRY_VERIFY_WITH_TIMEOUT(progressBox() == nullptr, 120000);
        const QTextDocument* shown = editor.pane->document();
        QCOMPARE(shown->blockCount(), lines + 1);
        QCOMPARE(shown->findBlockByNumber(lines - 1).text(),
                 QStringLiteral("大きなファイルの一行です。"));
        QCOMPARE(editor.window.windowTitle(), large);
        QVERIFY(editor.changed);
        QCOMPARE(boxes.shown().size(), 2);  // the two questions, no failure
    }

    void saveWithHeaderWritesTheFourLinesInCp932() {
        ui::ScriptedMessageBoxes boxes;
        Editor editor;
        editor.subject->setText(QStringLiteral("件名"));
        editor.sender->setText(QStringLiteral("a@example.jp"));
        editor.date->setText(QStringLiteral("Tue, 8 Dec 2026 10:00:00 +0900"));
        editor.pane->setPlainText(QStringLiteral("本文\n2"));
        editor.commands.chooseSaveFile = [] { return QString(); };
        editor.commands.saveWithHeader();  // cancelled: the pane keeps the header
        const QString header = QStringLiteral(
            "Subject:  件名\nFrom:  a@example.jp\nDate:  Tue, 8 Dec 2026 10:00:00 +0900\n"
            "Body:  本文\n2");
        QCOMPARE(editor.pane->toPlainText(), header);

        editor.pane->setPlainText(QStringLiteral("本文\n2"));
        const QString saved = editor.programFile(QStringLiteral("saved.txt"));
        writeFile(saved, "old");
        editor.commands.chooseSaveFile = [saved] { return saved; };
        editor.commands.runToolbarKey(QStringLiteral("SaveAs"));
        QCOMPARE(readFile(saved), QByteArray("Subject:  \x8C\x8F\x96\xBC\r\nFrom:  a@example.jp\r\n"
                                             "Date:  Tue, 8 Dec 2026 10:00:00 +0900\r\n"
                                             "Body:  \x96\x7B\x95\xB6\r\n2\r\n"));
        QCOMPARE(editor.window.windowTitle(), saved);
        QVERIFY(boxes.shown().isEmpty());

        editor.commands.chooseSaveFile = [&] { return editor.programFile(QStringLiteral("x/y")); };
        editor.commands.saveWithHeader();
        QCOMPARE(boxes.shown().size(), 1);  // a failed write is reported

        editor.pane->setPlainText(QStringLiteral("😀"));
        editor.commands.chooseSaveFile = [saved] { return saved; };
        editor.commands.saveWithHeader();
        QCOMPARE(boxes.shown().size(), 2);  // and so is a character Shift-JIS cannot hold
        QVERIFY(readFile(saved).endsWith("Body:  ?\r\n"));
    }

    void printMakesOneDocumentPerCopyAndCancelPrintsNothing() {
        Editor editor;
        editor.pane->setPlainText(QStringLiteral("印刷の試験です。\n二行目"));
        const QString pdf = editor.programFile(QStringLiteral("print.pdf"));
        bool offeredSelection = true;
        editor.commands.setUpPrinter = [&](QPrinter& printer, bool hasSelection) {
            offeredSelection = hasSelection;
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setCopyCount(2);
            return false;
        };
        editor.commands.print();
        QVERIFY(!QFile::exists(pdf));
        QVERIFY(!offeredSelection);

        editor.commands.setUpPrinter = [&](QPrinter& printer, bool) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printer.setCopyCount(2);
            return true;
        };
        editor.commands.print();
        QVERIFY(readFile(pdf).startsWith("%PDF"));
        QVERIFY(readFile(editor.programFile(QStringLiteral("print (2).pdf"))).startsWith("%PDF"));
        QVERIFY(!QFile::exists(editor.programFile(QStringLiteral("print (3).pdf"))));
    }
};

}  // namespace qf::viewer

QTEST_MAIN(qf::viewer::EditorCommandsTest)
#include "EditorCommands_test.moc"
