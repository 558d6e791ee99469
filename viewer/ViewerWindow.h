// The viewer window: the list of the current box's mails, the subject, sender
// and date of one mail and its body in a pane that doubles as a small editor.
//
// The window shows what the core hands it; the box files are read through
// BoxListing, so a handler here only moves texts between controls. Controls
// are named for what they are; each keeps its given name as objectName()
// (docs/GLOSSARY.md).
//
// Opening a box (the main window's box controls): clearShownMail(), then the
// box's settings and caption, then loadList(). After loadList() the fields
// and the pane show the last mail of the box, its record is the box's current
// record and its body is on the clipboard, as if every mail had been shown in
// turn — but only the last one is read in full.
//
// The receive run stages each mail it stores in the same fields (stageMail).
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <array>
#include <string>
#include <utility>

#include "settings/ProgramFolder.h"
#include "viewer/BoxListing.h"
#include "viewer/ViewerBoxes.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace qf::viewer {
class EditorCommands;
}

namespace qf::ui {
class ActiveLabel;
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::viewer {

class ViewerWindow : public QMainWindow {
    Q_OBJECT

  public:
    // The selection marker's value.
    static const QString kSelectedMarker;
    // Each row of the list holds its record's number in this role.
    static constexpr int kRecordNumberRole = Qt::UserRole + 1;

    // The program's viewer: the program's folder and mail store; its current
    // box is the one held for the whole run.
    explicit ViewerWindow(ui::WindowEnvironment& env);
    // `store` holds the current-record buffers and outlives the window. The
    // current box is kept in `heldBox` when given (it must outlive the
    // window), else in the window itself; so is the editor's current file in
    // `heldEditorFile`.
    ViewerWindow(const settings::ProgramFolder& folder, MailStore& store, QWidget* parent = nullptr,
                 int* heldBox = nullptr, std::string* heldEditorFile = nullptr);
    ~ViewerWindow() override;

    // The box whose list is shown; 0 before the first opening.
    int currentBox() const { return m_currentBox; }

    // Empties the subject, sender and date fields and the body pane.
    void clearShownMail();
    // Adopts the box: its move caption, the enabled states of the move picture
    // and the reply command, the move caption's emphasis, and the caption.
    void applyBox(const BoxEntry& box, const QString& caption);
    // Lists the current box in file order, shows its last mail and writes the
    // count. A box file that cannot be read lists what could be read and
    // says what failed.
    void loadList();

    // The click on the list: the marker is set, then the selected record is
    // read by number and shown; an empty list only gets the message.
    void showSelectedMail();
    // Selects the row of record n and shows it as a click on it does;
    // nothing when the list has no such row.
    void showRecord(int recordNumber);

    // The receive run's staging fields: the mail it is storing.
    void stageMail(const QString& subject, const QString& sender, const QString& date,
                   const QString& body);
    // After a receive run staged its mails in the fields: the fields and the
    // pane show again the mail the list highlights, or nothing, with the
    // selection marker empty, so every command acts on what is shown.
    void showHighlightedMail();
    // The number of rows in the list, written to the count field.
    void writeCount();
    // New mail was stored at the end of the current box: its rows join the
    // list and the count, while the shown mail and the highlight stay.
    void listArrivedMails();

    // The selection marker: kSelectedMarker once a click (or a key, or
    // showRecord) chose a mail; the commands on the chosen mail spend it and
    // leave it empty. The keep-box move holds the mail's sender in it while
    // it works.
    const QString& selectionMarker() const { return m_selectionMarker; }

    // The mail the fields show, as read from its box (with its original's
    // texts, addresses and thread when one is kept); the receive run's
    // staged mail has record number 0, an empty viewer an empty value.
    const ShownMail& shownMail() const { return m_shown; }

    // ---- The viewer's commands (ViewerCommands.cpp) ----
    // Each is the click handler of the control of its name (m_deleteOne for
    // deleteOne), callable from tests.
    void moveToKeepBox();
    void deleteOne();
    void registerSender();
    void reply();
    void deleteAll();
    void quickSave();
    void copyHeader();
    // The mail menu (MailMenu.cpp): answer everyone on the shown mail,
    // forward it with its files, forward it whole as an attachment.
    void replyToAll();
    void forward();
    void forwardAsAttachment();
    // ---- end of the viewer's commands ----

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Controls. Each keeps its given name as objectName(), by which tests
    // find it (docs/GLOSSARY.md).
    QTreeWidget* m_mailList = nullptr;
    QTextEdit* m_body = nullptr;
    QLineEdit* m_searchText = nullptr;
    QLineEdit* m_count = nullptr;
    QPlainTextEdit* m_helpBox = nullptr;
    QLineEdit* m_copyField = nullptr;
    QLineEdit* m_subject = nullptr;
    QLineEdit* m_sender = nullptr;
    QLineEdit* m_date = nullptr;
    QLabel* m_searchLabel = nullptr;
    QLabel* m_countLabel = nullptr;
    ui::ActiveLabel* m_moveToKeepBox = nullptr;
    ui::ActiveLabel* m_deleteOne = nullptr;
    ui::ActiveLabel* m_registerSender = nullptr;
    ui::ActiveLabel* m_reply = nullptr;
    ui::ActiveLabel* m_deleteAll = nullptr;
    ui::ActiveLabel* m_deleteOnePicture = nullptr;
    ui::ActiveLabel* m_moveToKeepBoxPicture = nullptr;
    ui::ActiveLabel* m_registerSenderPicture = nullptr;
    ui::ActiveLabel* m_replyPicture = nullptr;
    ui::ActiveLabel* m_deleteAllPicture = nullptr;
    QPushButton* m_quickSave = nullptr;
    QPushButton* m_copyHeader = nullptr;
    QToolBar* m_toolBar = nullptr;
    QStatusBar* m_statusBar = nullptr;
    QString m_selectionMarker;
    ShownMail m_shown;
    static int recordNumberOf(const QTreeWidgetItem* item);

    void createList(QWidget* client);
    void createCommands(QWidget* client);
    void createFields(QWidget* client);
    void createMenus();
    void addSearchAllMenuItem();
    void addMailMenu();
    QStringList shownMailAttachments();
    void createToolBar();
    void createStatusBar();
    ui::ActiveLabel* createPicture(const QString& name, const char* pictureFile, QWidget* client);
    void placeBodyPane();
    void loadEditorFile();
    void showMail(const ShownMail& mail);
    void showFields(const QString& subject, const QString& fromOrTo, const QString& date);
    void passBodyThroughClipboard();
    void showMailAfterKeyMove();

    // ---- The viewer's commands (ViewerCommands.cpp) ----
    void connectCommands();
    void connectHelp();
    void connectPictures();
    int selectedRecordNumber() const;
    bool takeSelection();
    void refillAfterChange();
    void showBoxCountOnMainWindow(int box);
    void showHelp(const QString& text);
    void hideHelp();
    QString picturePath(const char* name) const;
    std::array<std::pair<ui::ActiveLabel*, const char*>, 5> commandPictures() const;
    void showCommandPictures();
    ui::WindowEnvironment* m_env = nullptr;  // the program's; null for a window on its own
    // ---- end of the viewer's commands ----

    settings::ProgramFolder m_folder;
    MailStore& m_store;
    int m_ownBox = 0;
    int& m_currentBox;
    bool m_changed = false;  // the editor's changed flag

    // ---- The editor on the body pane: its commands, the resize layout ----
  public:
    EditorCommands& editor() { return *m_editor; }
    // The editor's changed flag: set by every change of the pane's text.
    bool editorChanged() const { return m_changed; }
    // The layout again without the maximised rule, as a mouse move over the
    // window's background does: the copy field and the header-copy button go
    // back to the status bar.
    void reapplyLayoutWithoutMaximisedRule();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void createEditor();
    void applyResizeLayout(bool withMaximisedRule);

    std::string m_ownEditorFile;
    std::string& m_editorFile;  // the editor's current file (UTF-8 path)
    EditorCommands* m_editor = nullptr;
    int m_rowShiftTwips = 0;  // how far the command rows sit below their design place
};

}  // namespace qf::viewer
