// The viewer's body pane as a small plain-text editor: the commands of the
// viewer's menu bar and toolbar (new, open, save with header, print, select
// all, jumps, find, clipboard, font toggles).
//
// The commands work on the controls they are given and on the editor's
// values: the current file name (held by the caller for the whole run), the
// changed flag (set by the caller whenever the pane's text changes), the
// auto-save choice, the last-found position and the toggle counters. The
// file and printer dialogs are seams a test can replace.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QFont;
class QFileDialog;
class QLineEdit;
class QPrinter;
class QTextDocument;
class QTextEdit;
class QWidget;

namespace qf::viewer {

// The filter of the open and save dialogs: the caption as the user has
// always read it, then the patterns the dialog filters by.
inline const QString kTextFileFilter = QStringLiteral("txtファイル(*.txt,*.ini) (*.txt *.ini)");
// The only auto-save choice under which New asks before saving.
inline const QString kAskBeforeSaving = QStringLiteral("しない");

// The open (or, with `save`, the save) dialog with the text-file filter,
// showing the filter's caption without its patterns repeated after it.
void prepareTextFileDialog(QFileDialog& dialog, const QString& title, bool save);

struct EditorControls {
    QWidget* window = nullptr;  // its caption names the file in the pane
    QTextEdit* pane = nullptr;
    QLineEdit* search = nullptr;  // the search text
    QLineEdit* subject = nullptr;
    QLineEdit* sender = nullptr;
    QLineEdit* date = nullptr;
};

// Prints `text` in `font` (its family, size, bold and italic) on `printer`,
// each of the printer's copies as a document of its own. Printing into a
// file puts the second copy into "<name> (2).<suffix>" and so on.
void printCopies(QPrinter& printer, const QString& text, const QFont& font);

class EditorCommands final : public QObject {
    Q_OBJECT

  public:
    // `currentFile` and `changed` outlive the commands.
    EditorCommands(const EditorControls& controls, std::string& currentFile,
                   std::string programFolder, bool& changed, QObject* parent = nullptr);

    void newFile();
    void open();
    void saveWithHeader();
    void print();
    void selectAll();
    void jumpToTop();
    void jumpToEnd();
    void find();
    void findNext();
    void cut();
    void copy();
    void paste();
    void toggleBold();
    void toggleItalic();
    void toggleUnderline();
    // A toolbar button's key ("New", "SaveAs", "Bold" …); an unknown key
    // does nothing.
    void runToolbarKey(const QString& key);

    const QString& autoSaveChoice() const { return m_autoSaveChoice; }
    void setAutoSaveChoice(const QString& choice) { m_autoSaveChoice = choice; }
    // 1-based, 0 when the last search found nothing.
    std::int64_t lastFound() const { return m_lastFound; }

    // Seams. The chosen path, or a null string when the dialog was cancelled.
    std::function<QString()> chooseOpenFile;
    std::function<QString()> chooseSaveFile;
    // Sets the printer up; false when the dialog was cancelled.
    std::function<bool(QPrinter& printer, bool hasSelection)> setUpPrinter;

  private:
    bool saveToCurrentFile();
    void openInBackground(const QString& path);
    void showLoadedDocument(std::unique_ptr<QTextDocument> document);
    void findFromPosition(std::int64_t start);
    void toggle(int& counter, void (QFont::*set)(bool));

    EditorControls m_controls;
    std::string& m_currentFile;
    std::string m_programFolder;
    bool& m_changed;
    QString m_autoSaveChoice;  // empty at start; nothing in the program changes it
    std::int64_t m_lastFound = 0;
    int m_boldCounter = 0;
    int m_italicCounter = 0;
    int m_underlineCounter = 0;
};

}  // namespace qf::viewer
