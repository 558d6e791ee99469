#include "viewer/EditorCommands.h"

#include <QAbstractTextDocumentLayout>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <utility>

#include "base/DurableWrite.h"
#include "editor/EditorText.h"
#include "editor/HeaderLines.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
#include "ui/MessageBoxes.h"
#include "ui/PlainText.h"
#include "ui/TextConversion.h"
#include "viewer/BackgroundFileLoad.h"

namespace qf::viewer {

namespace {

// The user's own document, saved where they chose: a new one gets the
// umask's bits, as other editors give theirs.
base::ReplaceOptions userDocument() {
    base::ReplaceOptions options;
    options.newFilePermissions = std::nullopt;
    return options;
}

std::u16string_view utf16(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())};
}

QString selectedText(const QTextEdit& pane) {
    return pane.textCursor().selection().toPlainText();
}

QString copyFileName(const QString& fileName, int copy) {
    if (copy == 1) {
        return fileName;
    }
    const QFileInfo info(fileName);
    const QString suffix = info.suffix().isEmpty() ? QString() : u'.' + info.suffix();
    return info.path() + u'/' + info.completeBaseName() + QStringLiteral(" (%1)").arg(copy) +
           suffix;
}

}  // namespace

void printCopies(QPrinter& printer, const QString& text, const QFont& font) {
    QFont printFont(font.family());
    printFont.setPointSizeF(font.pointSizeF());
    printFont.setBold(font.bold());
    printFont.setItalic(font.italic());
    // Laid out on the printer's own pages, so that only the text is printed
    // (an unpaginated document would get page numbers added).
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&printer);
    document.setPageSize(printer.pageRect(QPrinter::DevicePixel).size());
    document.setDefaultFont(printFont);
    document.setPlainText(text);

    const int copies = std::max(1, printer.copyCount());
    const QString fileName = printer.outputFileName();
    printer.setCopyCount(1);
    for (int copy = 1; copy <= copies; ++copy) {
        if (!fileName.isEmpty()) {
            printer.setOutputFileName(copyFileName(fileName, copy));
        }
        document.print(&printer);  // one print job each
    }
}

void prepareTextFileDialog(QFileDialog& dialog, const QString& title, bool save) {
    dialog.setWindowTitle(title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(kTextFileFilter);
}

EditorCommands::EditorCommands(const EditorControls& controls, std::string& currentFile,
                               std::string programFolder, bool& changed, QObject* parent)
    : QObject(parent),
      m_controls(controls),
      m_currentFile(currentFile),
      m_programFolder(std::move(programFolder)),
      m_changed(changed) {
    const auto chooseFile = [this](const QString& title, bool save) {
        QFileDialog dialog(m_controls.window);
        prepareTextFileDialog(dialog, title, save);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    chooseOpenFile = [chooseFile] { return chooseFile(QStringLiteral("開く"), false); };
    chooseSaveFile = [chooseFile] { return chooseFile(QStringLiteral("名前をつけて保存"), true); };
    setUpPrinter = [this](QPrinter& printer, bool hasSelection) {
        QPrintDialog dialog(&printer, m_controls.window);
        dialog.setOption(QAbstractPrintDialog::PrintSelection, hasSelection);
        if (hasSelection) {
            dialog.setPrintRange(QAbstractPrintDialog::Selection);
        }
        return dialog.exec() == QDialog::Accepted;
    };
}

// Errors (no name yet, an unwritable folder) are not reported: the changed
// flag simply stays set.
bool EditorCommands::saveToCurrentFile() {
    if (m_currentFile.empty()) {
        return false;
    }
    const std::string bytes =
        editor::fileBytesFromText(m_controls.pane->toPlainText().toStdString());
    if (!base::replaceFileDurably(m_currentFile, bytes, userDocument()).isOk()) {
        return false;
    }
    m_changed = false;
    return true;
}

void EditorCommands::newFile() {
    const std::optional<std::string> name = editor::newFileName(m_currentFile, m_programFolder);
    if (!name) {
        return;
    }
    // New writes an empty file: one that holds text already (saved there
    // under that name) is only emptied when the user says so.
    const QString newPath = QString::fromStdString(*name);
    if (QFileInfo(newPath).size() > 0 &&
        !ui::tell(m_controls.window, ui::Say::kEditorReplaceWithEmpty, {newPath})) {
        return;
    }
    if (m_changed) {
        if (m_autoSaveChoice == kAskBeforeSaving) {
            const ui::Choice choice = ui::askYesNoCancel(
                m_controls.window,
                QString::fromStdString(ui::words(ui::Message{ui::Say::kEditorSaveFirst, {}, {}})),
                QString::fromUtf8(ui::wording(ui::Say::kEditorSaveFirst).title));
            if (choice == ui::Choice::kCancelButton) {
                return;
            }
            if (choice == ui::Choice::kYesButton) {
                saveToCurrentFile();
            }
        } else {
            saveToCurrentFile();
        }
    }
    m_controls.pane->clear();
    m_currentFile = *name;
    saveToCurrentFile();
    m_changed = false;
    m_controls.window->setWindowTitle(
        QString::fromUtf8(editor::kNewFileName.data(), qsizetype(editor::kNewFileName.size())) +
        QStringLiteral("      ") + ui::literalWindowTitle(QString::fromStdString(m_currentFile)));
}

void EditorCommands::open() {
    const QString path = chooseOpenFile();
    if (path.isNull()) {
        return;
    }
    if (path.isEmpty()) {
        m_controls.window->setWindowTitle(QStringLiteral("notitle"));
        return;
    }
    const std::string file = QFile::encodeName(path).toStdString();
    const editor::FileToOpen found = editor::inspectFileToOpen(file);
    if (found.exists && !found.regular) {
        ui::tell(m_controls.window, ui::Say::kEditorNotAFile, {path});
        return;
    }
    if (found.sizeBytes > editor::kLargeFileBytes) {
        if (ui::tell(m_controls.window, ui::Say::kEditorLargeFileQuestion,
                     {path, QString::number(found.sizeBytes / (1024 * 1024))})) {
            openInBackground(path);
        }
        return;
    }
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Result<std::string> bytes = base::readWholeFile(file);
    if (bytes.isOk()) {
        m_controls.window->setWindowTitle(ui::literalWindowTitle(path));
        m_controls.pane->setPlainText(
            QString::fromStdString(editor::textFromFileBytes(bytes.value())));
    }
    QGuiApplication::restoreOverrideCursor();
    if (!bytes.isOk()) {
        ui::tell(m_controls.window, ui::Say::kEditorFileNotOpened, {}, bytes.status());
    }
}

// The pane keeps its text until the new one is whole: a failed or cancelled
// read loses nothing. The progress box holds the viewer's input meanwhile.
void EditorCommands::openInBackground(const QString& path) {
    auto* load = new BackgroundFileLoad(QFile::encodeName(path).toStdString(), this);
    auto* progress =
        new QProgressDialog(QString(), QStringLiteral("中止"), 0, 100, m_controls.window);
    // The file's name is shown as it is, never as markup.
    progress->setLabel(ui::plainLabel(ui::words(ui::Say::kEditorLoading, {path}), progress));
    progress->setObjectName(QStringLiteral("openProgress"));
    progress->setWindowTitle(QStringLiteral("開く"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    progress->setValue(0);
    connect(load, &BackgroundFileLoad::progressed, progress, &QProgressDialog::setValue);
    connect(progress, &QProgressDialog::canceled, load, &BackgroundFileLoad::cancel);
    const auto done = [load, progress] {
        progress->deleteLater();
        load->deleteLater();
    };
    connect(load, &BackgroundFileLoad::loaded, this, [this, load, path, done] {
        showLoadedDocument(load->takeDocument());
        m_controls.window->setWindowTitle(ui::literalWindowTitle(path));
        done();
    });
    connect(load, &BackgroundFileLoad::failed, this, [this, done](const QString& diagnostic) {
        done();
        ui::tell(m_controls.window, ui::Say::kEditorFileNotOpened, {}, diagnostic);
    });
    connect(load, &BackgroundFileLoad::cancelled, this, done);
}

void EditorCommands::showLoadedDocument(std::unique_ptr<QTextDocument> document) {
    QTextDocument* previous = m_controls.pane->document();
    document->setDefaultFont(previous->defaultFont());
    document->setDefaultTextOption(previous->defaultTextOption());
    document->setDocumentMargin(previous->documentMargin());
    document->setUndoRedoEnabled(previous->isUndoRedoEnabled());
    // The pane deletes only a document it made itself; one given earlier
    // is the pane's child.
    const bool previousGivenEarlier = previous->parent() == m_controls.pane;
    document->setParent(m_controls.pane);
    m_controls.pane->setDocument(document.release());
    if (previousGivenEarlier) {
        previous->deleteLater();
    }
    m_changed = true;  // as when the pane's text is set
}

void EditorCommands::saveWithHeader() {
    const std::string subject = m_controls.subject->text().toStdString();
    const std::string sender = m_controls.sender->text().toStdString();
    const std::string date = m_controls.date->text().toStdString();
    const std::string body = m_controls.pane->toPlainText().toStdString();
    const editor::HeaderFields fields{subject, sender, date, body};
    m_controls.pane->setPlainText(
        QString::fromStdString(editor::headerLinesText(fields)).replace(u'\r', QString()));

    const QString path = chooseSaveFile();
    if (path.isEmpty()) {
        return;
    }
    m_controls.window->setWindowTitle(ui::literalWindowTitle(path));
    const Status written = base::replaceFileDurably(
        path.toStdString(), editor::headerLinesFileBytes(fields), userDocument());
    if (!written.isOk()) {
        ui::tell(m_controls.window, ui::Say::kFileNotSaved, {}, written);
    } else if (!text::fitsCp932(editor::headerLinesText(fields))) {
        // The file is in CP932; the pane still holds every character.
        ui::tell(m_controls.window, ui::Say::kEditorSavedWithQuestionMarks);
    }
}

void EditorCommands::print() {
    const bool hasSelection = m_controls.pane->textCursor().hasSelection();
    QPrinter printer(QPrinter::HighResolution);
    if (!setUpPrinter(printer, hasSelection)) {
        return;
    }
    // The range chosen in the dialog decides: the selection, or the whole pane.
    const bool selectionOnly =
        hasSelection && printer.printRange() == QPrinter::PrintRange::Selection;
    printCopies(printer,
                selectionOnly ? selectedText(*m_controls.pane) : m_controls.pane->toPlainText(),
                m_controls.pane->font());
}

void EditorCommands::selectAll() {
    m_controls.pane->selectAll();
}

void EditorCommands::jumpToTop() {
    m_controls.pane->moveCursor(QTextCursor::Start);
    m_controls.pane->setFocus();
}

void EditorCommands::jumpToEnd() {
    m_controls.pane->moveCursor(QTextCursor::End);
    m_controls.pane->setFocus();
}

void EditorCommands::findFromPosition(std::int64_t start) {
    const QString needle = m_controls.search->text();
    if (needle.isEmpty()) {
        return;  // an empty search text means nothing to look for
    }
    const QString text = m_controls.pane->toPlainText();
    m_lastFound = editor::findFrom(utf16(text), utf16(needle), start);
    if (m_lastFound == 0) {
        return;
    }
    m_controls.pane->setFocus();
    QTextCursor cursor = m_controls.pane->textCursor();
    const int from = int(m_lastFound - 1);
    cursor.setPosition(from);
    cursor.setPosition(from + int(needle.size()), QTextCursor::KeepAnchor);
    m_controls.pane->setTextCursor(cursor);
}

void EditorCommands::find() {
    findFromPosition(1);
}

void EditorCommands::findNext() {
    findFromPosition(
        editor::findNextStart(m_lastFound, std::size_t(m_controls.search->text().size())));
}

void EditorCommands::cut() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(selectedText(*m_controls.pane));
    m_controls.pane->textCursor().removeSelectedText();
    m_controls.pane->setFocus();
}

// The caret goes to the end of what was selected, or to the start of the text
// when nothing was.
void EditorCommands::copy() {
    QTextCursor cursor = m_controls.pane->textCursor();
    const int end = cursor.hasSelection() ? cursor.selectionEnd() : 0;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(selectedText(*m_controls.pane));
    cursor.setPosition(end);
    m_controls.pane->setTextCursor(cursor);
    m_controls.pane->setFocus();
}

void EditorCommands::paste() {
    m_controls.pane->setFocus();
    m_controls.pane->textCursor().insertText(ui::stripSpaces(QGuiApplication::clipboard()->text()));
}

void EditorCommands::toggle(int& counter, void (QFont::*set)(bool)) {
    const editor::Toggle next = editor::toggled(counter);
    counter = next.counter;
    QFont font = m_controls.pane->font();
    (font.*set)(next.on);
    m_controls.pane->setFont(font);
}

void EditorCommands::toggleBold() {
    toggle(m_boldCounter, &QFont::setBold);
}

void EditorCommands::toggleItalic() {
    toggle(m_italicCounter, &QFont::setItalic);
}

void EditorCommands::toggleUnderline() {
    toggle(m_underlineCounter, &QFont::setUnderline);
}

void EditorCommands::runToolbarKey(const QString& key) {
    static const std::pair<const char*, void (EditorCommands::*)()> kKeys[] = {
        {"New", &EditorCommands::newFile},
        {"Open", &EditorCommands::open},
        {"SaveAs", &EditorCommands::saveWithHeader},
        {"Save", &EditorCommands::saveWithHeader},
        {"Print", &EditorCommands::print},
        {"Cut", &EditorCommands::cut},
        {"Copy", &EditorCommands::copy},
        {"Paste", &EditorCommands::paste},
        {"Bold", &EditorCommands::toggleBold},
        {"Italic", &EditorCommands::toggleItalic},
        {"Underline", &EditorCommands::toggleUnderline},
    };
    for (const auto& [name, command] : kKeys) {
        if (key == QLatin1String(name)) {
            (this->*command)();
            return;
        }
    }
}

}  // namespace qf::viewer
