// The viewer's commands: move to the keep box, register the sender, reply,
// delete one, delete all, quick save and header copy; the help box and the
// pressed pictures of the five command buttons. The box files are changed
// by the store and the core of this folder; these handlers only ask, call
// and show.
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeWidget>
#include <functional>

#include "base/NotDurable.h"
#include "editor/HeaderLines.h"
#include "ui/ActiveLabel.h"
#include "ui/MessageBoxes.h"
#include "ui/PictureButton.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"
#include "viewer/MailCommands.h"
#include "viewer/QuickSave.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {
namespace {

using ui::fromUtf8;

const char kPressedPicture[] = "Botan15.gif";

const QString kQuickSaveHelp = QStringLiteral(
    "選択したデータをテキスト形式で本ソフト内の「TextQuickSave」フォルダ内に「Subject」「From」"
    "「Date」「Boby」で保存します。ファイル名は「Subject」が自動的に当てられます。同名のファイルが"
    "既に存在する場合は警告メッセージを出します。");
const QString kHeaderCopyHelp = QStringLiteral(
    "本文以外のコピーに使用します。「Subject」「From」「Date」に表示されるデータをコピーします（貼"
    "り"
    "付けはメニューバー、ツールバーで出来ます）。Body（本文）はメニューバー、ツールバーからコピー・"
    "貼り付けが出来ます。\r\n\r\n 本文への貼り付け（あるいは本ソフトでの貼り付け機能がある部分）、"
    "他のアプリケーションへの貼り付けが可能です。\r\n\r\nコピーされる内容は右の欄に反映されます。");
const QString kMoveHelp = QStringLiteral(
    "受信したメールを保管箱に移します。「その他」に格納されたメール以外はこの操作は出来ません。");
const QString kDeleteOneHelp = QStringLiteral(
    "受信したメールを１件ずつ削除します。リストでメールを選択（クリック）してから実行して下さい。");
const QString kRegisterHelp = QStringLiteral(
    "受信したメールをアドレス帳に登録します。リストからメールを選択（クリック）してから実行して下さ"
    "い。");
const QString kReplyHelp = QStringLiteral(
    "受信したメールに返事を出します。リストからメールを選択（クリック）してから実行して下さい。");
const QString kDeleteAllHelp = QStringLiteral("受信したメール全件削除します。");
const QString kSearchHelp = QStringLiteral(
    "検索した文字を入力し、メニューバーから「検索」「次を検索」を選択し、検索したい文字を本文中"
    "(body)から検索します。");

// Calls `onMove` whenever the mouse enters or moves over the watched widget.
class MouseMoveWatcher final : public QObject {
  public:
    MouseMoveWatcher(QWidget* watched, std::function<void()> onMove)
        : QObject(watched), m_onMove(std::move(onMove)) {
        watched->setMouseTracking(true);
        watched->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
            m_onMove();
        }
        return false;
    }

  private:
    std::function<void()> m_onMove;
};

// Calls `onMove` when the mouse moves over the bare background of a widget.
class BackgroundMoveWatcher final : public QObject {
  public:
    BackgroundMoveWatcher(QWidget* background, std::function<void()> onMove)
        : QObject(background), m_background(background), m_onMove(std::move(onMove)) {}

  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::MouseMove &&
            m_background->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()) ==
                nullptr) {
            m_onMove();
        }
        return false;
    }

  private:
    QWidget* m_background;
    std::function<void()> m_onMove;
};

void onMouseMove(QWidget* widget, std::function<void()> onMove) {
    new MouseMoveWatcher(widget, std::move(onMove));
}

// The pane holds LF line ends.
QString paneText(const std::string& text) {
    return fromUtf8(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

}  // namespace

void ViewerWindow::connectCommands() {
    connect(m_moveToKeepBox, &ui::ActiveLabel::clicked, this, &ViewerWindow::moveToKeepBox);
    connect(m_deleteOne, &ui::ActiveLabel::clicked, this, &ViewerWindow::deleteOne);
    connect(m_registerSender, &ui::ActiveLabel::clicked, this, &ViewerWindow::registerSender);
    connect(m_reply, &ui::ActiveLabel::clicked, this, &ViewerWindow::reply);
    connect(m_deleteAll, &ui::ActiveLabel::clicked, this, &ViewerWindow::deleteAll);
    connect(m_quickSave, &QPushButton::clicked, this, &ViewerWindow::quickSave);
    connect(m_copyHeader, &QPushButton::clicked, this, &ViewerWindow::copyHeader);
    for (QLineEdit* field : {m_subject, m_sender, m_date}) {
        onMouseMove(field, [this, field] {
            m_copyField->setText(field->text());
            m_copyField->setCursorPosition(0);  // a long text shows its beginning
        });
    }
    connectHelp();
    connectPictures();
}

void ViewerWindow::connectHelp() {
    const std::pair<ui::ActiveLabel*, const QString*> labels[] = {
        {m_moveToKeepBox, &kMoveHelp},      {m_deleteOne, &kDeleteOneHelp},
        {m_registerSender, &kRegisterHelp}, {m_reply, &kReplyHelp},
        {m_deleteAll, &kDeleteAllHelp},
    };
    for (const auto& [label, text] : labels) {
        connect(label, &ui::ActiveLabel::hovered, this, [this, help = text] { showHelp(*help); });
    }
    onMouseMove(m_quickSave, [this] { showHelp(kQuickSaveHelp); });
    onMouseMove(m_copyHeader, [this] { showHelp(kHeaderCopyHelp); });
    onMouseMove(m_searchText, [this] { showHelp(kSearchHelp); });
    onMouseMove(m_mailList->viewport(), [this] { hideHelp(); });
    onMouseMove(m_body->viewport(), [this] { hideHelp(); });
    // A move over a command that the command leaves unhandled reaches the
    // background too; only a move over no control counts as the background.
    QWidget* background = centralWidget();
    background->setMouseTracking(true);
    background->installEventFilter(new BackgroundMoveWatcher(background, [this] {
        hideHelp();
        reapplyLayoutWithoutMaximisedRule();
    }));
}

// The program's pictures: those of the window environment (the folder's own
// or those beside the program), else the folder's own.
QString ViewerWindow::picturePath(const char* name) const {
    return m_env != nullptr ? m_env->picturePath(QString::fromLatin1(name))
                            : QString::fromStdString((m_folder.pictureFolder() / name).string());
}

std::array<std::pair<ui::ActiveLabel*, const char*>, 5> ViewerWindow::commandPictures() const {
    return {{{m_moveToKeepBoxPicture, "Botan11.gif"},
             {m_deleteOnePicture, "Botan10.gif"},
             {m_registerSenderPicture, "Botan12.gif"},
             {m_replyPicture, "Botan13.gif"},
             {m_deleteAllPicture, "Botan14.gif"}}};
}

void ViewerWindow::showCommandPictures() {
    for (const auto& [picture, own] : commandPictures()) {
        picture->showPicture(picturePath(own));
    }
}

// A click on a picture only plays its pressed face; the commands belong to
// the labels on the pictures.
void ViewerWindow::connectPictures() {
    for (const auto& [picture, own] : commandPictures()) {
        connect(picture, &ui::ActiveLabel::clicked, this, [this, face = picture, file = own] {
            ui::pressThenAct(*face, picturePath(kPressedPicture), picturePath(file), [] {});
        });
        picture->setFocusPolicy(Qt::NoFocus);  // the caption on it is the keyboard's stop
    }
}

void ViewerWindow::showHelp(const QString& text) {
    m_helpBox->show();
    m_helpBox->setPlainText(text);
}

void ViewerWindow::hideHelp() {
    m_helpBox->hide();
    m_helpBox->clear();
}

// The record number of the chosen row, 0 when no row is chosen.
int ViewerWindow::selectedRecordNumber() const {
    QTreeWidgetItem* item = m_mailList->currentItem();
    if (item == nullptr || !item->isSelected()) {
        return 0;
    }
    return recordNumberOf(item);
}

// After a command changed the box: the list as the file now holds it, and
// the last mail shown with its fields as stored, padding included.
void ViewerWindow::refillAfterChange() {
    clearShownMail();
    loadList();
    if (m_mailList->topLevelItemCount() > 0) {
        const StoredMail last = storedMail(m_store, m_currentBox);
        showFields(fromUtf8(last.subject), fromUtf8(last.fromOrTo), fromUtf8(last.date));
    }
}

// Every command that changes a receiving box shows on the main window what
// its file now holds.
void ViewerWindow::showBoxCountOnMainWindow(int box) {
    if (m_env == nullptr || box < 1 || box > kOtherBox) {
        return;
    }
    if (Result<int> count = m_store.count(box)) {
        m_env->mainWindow().showBoxCount(box, count.value());
    }
}

void ViewerWindow::moveToKeepBox() {
    // The mail last read in "その他" is the one the command means.
    m_selectionMarker = fromUtf8(storedMail(m_store, kOtherBox).fromOrTo);
    if (m_selectionMarker.isEmpty()) {
        ui::tell(this, ui::Say::kNoSelection);
        return;
    }
    if (m_currentBox == kOtherBox) {
        const int recordNumber = selectedRecordNumber();
        if (recordNumber == 0) {
            m_selectionMarker.clear();
            ui::tell(this, ui::Say::kNoSelection);
            return;
        }
        if (!ui::tell(this, ui::Say::kMoveQuestion)) {
            m_selectionMarker.clear();
            return;
        }
        // The keep box gets the mail durably before "その他" loses it.
        Result<int> kept = m_store.moveToKeepBox(recordNumber);
        if (!kept) {
            const bool done = base::isNotDurable(kept.status());
            ui::tell(this, done ? ui::Say::kMovedNotDurable : ui::Say::kMoveNotCompleted, {},
                     kept.status());
        }
        refillAfterChange();
    }
    showBoxCountOnMainWindow(kOtherBox);
    m_selectionMarker.clear();
}

// The commands on the clicked mail spend the marker: without one they only
// say so; with one the pane takes the focus and the marker is emptied.
bool ViewerWindow::takeSelection() {
    if (m_selectionMarker.isEmpty()) {
        ui::tell(this, ui::Say::kNoSelection);
        return false;
    }
    m_body->setFocus();
    m_selectionMarker.clear();
    return true;
}

void ViewerWindow::registerSender() {
    if (!takeSelection()) {
        return;
    }
    if (m_env == nullptr) {
        return;
    }
    m_env->intents().showSenderInAddressBook(m_sender->text());
}

void ViewerWindow::reply() {
    if (!takeSelection()) {
        return;
    }
    if (m_env == nullptr) {
        return;
    }
    // The texts as shown (the user may have changed them); the thread only
    // from the mail this box's list shows, never from another.
    const bool fromThisBox = m_shown.box == m_currentBox && m_shown.recordNumber > 0;
    m_env->intents().openReply(m_subject->text(), m_sender->text(), m_body->toPlainText(),
                               fromThisBox ? m_shown.thread : transport::ReplyThread{});
}

void ViewerWindow::deleteOne() {
    if (m_selectionMarker.isEmpty()) {
        ui::tell(this, ui::Say::kNoSelection);
        return;
    }
    // Nothing read from this box since start: there is no mail to mean.
    m_selectionMarker = fromUtf8(storedMail(m_store, m_currentBox).fromOrTo);
    const int recordNumber = selectedRecordNumber();
    if (m_selectionMarker.isEmpty() || recordNumber == 0) {
        m_selectionMarker.clear();
        ui::tell(this, ui::Say::kNoSelection);
        return;
    }
    if (!ui::tell(this, ui::Say::kDeleteQuestion)) {
        m_body->setFocus();
        m_body->clear();
        m_selectionMarker.clear();
        return;
    }
    m_body->setFocus();
    if (Status deleted = deleteOneMail(m_store, m_currentBox, recordNumber); !deleted) {
        // Gone but maybe not yet durable is not a failure to try again.
        const bool done = base::isNotDurable(deleted);
        ui::tell(this, done ? ui::Say::kMailDeletedNotDurable : ui::Say::kMailNotDeleted, {},
                 deleted);
    }
    refillAfterChange();
    showBoxCountOnMainWindow(m_currentBox);
    m_selectionMarker.clear();
}

void ViewerWindow::deleteAll() {
    // A missing box file is created empty, whatever the answer.
    if (Status made = m_store.createIfMissing(m_currentBox); !made) {
        ui::tell(this, ui::Say::kBoxFileNotMade, {}, made);
        return;
    }
    if (!ui::tell(this, ui::Say::kDeleteAllQuestion)) {
        return;
    }
    if (Status deleted = m_store.deleteAll(m_currentBox); !deleted) {
        const bool done = base::isNotDurable(deleted);
        ui::tell(this, done ? ui::Say::kBoxEmptiedNotDurable : ui::Say::kBoxNotEmptied, {},
                 deleted);
        // The list and the box's total show what the file now holds.
        refillAfterChange();
        showBoxCountOnMainWindow(m_currentBox);
        return;
    }
    m_mailList->clear();
    showBoxCountOnMainWindow(m_currentBox);
    m_count->setText(QStringLiteral("0"));
    clearShownMail();
}

void ViewerWindow::quickSave() {
    if (!takeSelection()) {
        return;
    }
    const std::string subject = m_subject->text().toStdString();
    const std::filesystem::path path = quickSavePath(m_folder.quickSaveFolder(), subject);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool exists = quickSaveExists(path);
    QGuiApplication::restoreOverrideCursor();
    if (exists && !ui::tell(this, ui::Say::kOverwriteQuestion)) {
        return;
    }
    const std::string from = m_sender->text().toStdString();
    const std::string date = m_date->text().toStdString();
    const std::string body = m_body->toPlainText().toStdString();
    const editor::HeaderFields fields{subject, from, date, body};
    if (Status saved = writeQuickSave(path, editor::headerLinesFileBytes(fields)); !saved) {
        ui::tell(this, ui::Say::kQuickSaveFailed, {}, saved);
        return;
    }
    m_body->setPlainText(paneText(editor::headerLinesText(fields)));
}

void ViewerWindow::copyHeader() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_copyField->text());
}

}  // namespace qf::viewer
