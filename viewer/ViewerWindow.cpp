#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeWidget>

#include "base/DurableWrite.h"
#include "editor/EditorCommands.h"
#include "editor/EditorLayout.h"
#include "editor/EditorSettings.h"
#include "editor/EditorText.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PlainText.h"
#include "ui/WindowEnvironment.h"
#include "viewer/ViewerLayout.h"

namespace qf::viewer {
namespace {

using ui::pixelRect;
using ui::twipsToPixels;

// Spaces (U+0020 only) removed at both ends, as every field of a record is.
QString stripSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ') {
        ++begin;
    }
    while (end > begin && text.at(end - 1) == u' ') {
        --end;
    }
    return text.mid(begin, end - begin);
}

QLineEdit* createField(const QString& name, const TwipsRect& rect, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setGeometry(pixelRect(rect));
    return field;
}

QLabel* createCaption(const QString& name, const QString& text, const TwipsRect& rect,
                      QWidget* parent) {
    auto* label = ui::plainLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(pixelRect(rect));
    return label;
}

// A command's caption lies over its picture and takes the picture's place.
ui::ActiveLabel* createCommandLabel(const QString& name, const QString& text, const TwipsRect& rect,
                                    QWidget* parent) {
    auto* label = new ui::ActiveLabel(name, parent);
    label->setText(text);
    label->setGeometry(pixelRect(rect));
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setIndent(twipsToPixels(120));
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

}  // namespace

const QString ViewerWindow::kSelectedMarker = QStringLiteral("1");

ViewerWindow::ViewerWindow(ui::WindowEnvironment& env)
    : ViewerWindow(env.folder(), env.mailStore(), nullptr, &env.held().currentBox,
                   &env.held().editorCurrentFile) {
    m_env = &env;  // the viewer's commands reach the other windows through it
    showCommandPictures();
    addSearchAllMenuItem();
}

ViewerWindow::ViewerWindow(const settings::ProgramFolder& folder, MailStore& store, QWidget* parent,
                           int* heldBox, std::string* heldEditorFile)
    : QMainWindow(parent),
      m_folder(folder),
      m_store(store),
      m_currentBox(heldBox != nullptr ? *heldBox : m_ownBox),
      m_editorFile(heldEditorFile != nullptr ? *heldEditorFile : m_ownEditorFile) {
    setObjectName(QStringLiteral("ViewerWindow"));
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    // Small enough for a 1366 x 768 screen at scale 1.5; the resize layout
    // places every control inside it.
    client->setMinimumSize(twipsToPixels(kDesignWidthTwips),
                           twipsToPixels(kMinimumClientHeightTwips));
    setCentralWidget(client);
    createStatusBar();
    createList(client);
    createCommands(client);
    createFields(client);
    createEditor();
    createMenus();
    createToolBar();

    // The load steps, in order.
    const ColumnWidths widths = listColumnWidths(kMailListRect.width);
    MailListView->header()->resizeSection(0, twipsToPixels(widths.subject));
    MailListView->header()->resizeSection(1, twipsToPixels(widths.from));
    MailListView->header()->resizeSection(2, twipsToPixels(widths.date));
    placeBodyPane();
    MailListView->resize(twipsToPixels(listWidthFor(kDesignWidthTwips)), MailListView->height());
    loadEditorFile();
    rtfEd->show();

    connectCommands();  // the viewer's commands (ViewerCommands.cpp)
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::createList(QWidget* client) {
    MailListView = new QTreeWidget(client);
    MailListView->setObjectName(QStringLiteral("MailListView"));
    MailListView->setGeometry(pixelRect(kMailListRect));
    MailListView->setColumnCount(3);
    MailListView->setHeaderLabels(
        {QStringLiteral("Subject"), QStringLiteral("From"), QStringLiteral("Date")});
    MailListView->setRootIsDecorated(false);
    MailListView->setUniformRowHeights(true);  // keeps a list of thousands of mails quick
    MailListView->setSelectionMode(QAbstractItemView::SingleSelection);
    MailListView->setAllColumnsShowFocus(true);
    MailListView->header()->setStretchLastSection(false);
    // The columns' design widths add up to the list's outer width, a few
    // pixels more than its inside (frame, scroll bar): the Date column takes
    // what the other two leave, so no horizontal scroll bar shows for those.
    MailListView->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    // A click anywhere on the list counts, also on an empty one.
    MailListView->viewport()->installEventFilter(this);
    // The keys that move the selection show the mail they land on; the
    // window opens with the list at the keyboard.
    MailListView->installEventFilter(this);
    MailListView->setFocus();
}

ui::ActiveLabel* ViewerWindow::createPicture(const QString& name, const char* pictureFile,
                                             QWidget* client) {
    auto* picture = new ui::ActiveLabel(name, client);
    picture->showPicture(picturePath(pictureFile));
    return picture;
}

void ViewerWindow::createCommands(QWidget* client) {
    struct Command {
        ui::ActiveLabel** picture;
        const char* pictureName;
        const char* pictureFile;
        ui::ActiveLabel** label;
        const char* labelName;
        QString caption;
        TwipsRect rect;
    };
    const Command commands[] = {
        {&Image2, "Image2", "Botan11.gif", &Label3, "Label3", QString(), kMoveRect},
        {&Image1, "Image1", "Botan10.gif", &Label5, "Label5", QStringLiteral("一件削除"),
         kDeleteOneRect},
        {&Image3, "Image3", "Botan12.gif", &Label6, "Label6", QStringLiteral("アドレス帳登録"),
         kRegisterRect},
        {&Image4, "Image4", "Botan13.gif", &Label7, "Label7", QStringLiteral("返事"), kReplyRect},
        {&Image5, "Image5", "Botan14.gif", &Label8, "Label8", QStringLiteral("全件削除"),
         kDeleteAllRect},
    };
    for (const Command& command : commands) {
        *command.picture =
            createPicture(QString::fromLatin1(command.pictureName), command.pictureFile, client);
        (*command.picture)->setGeometry(pixelRect(command.rect));
        *command.label =
            createCommandLabel(QString::fromLatin1(command.labelName), command.caption,
                               commandCaptionRect(command.rect, kCommandCaptionTopTwips), client);
    }

    Label4 =
        createCaption(QStringLiteral("Label4"), QStringLiteral("件数"), kCountLabelRect, client);
    Text2 = createField(QStringLiteral("Text2"), kCountRect, client);
    Text2->setReadOnly(true);
    Text2->setAlignment(Qt::AlignRight);

    Label2 = createCaption(QStringLiteral("Label2"), QStringLiteral("検索文字"), kSearchLabelRect,
                           client);
    Text1 = createField(QStringLiteral("Text1"), kSearchRect, client);

    Text4 = new QPlainTextEdit(client);
    Text4->setObjectName(QStringLiteral("Text4"));
    Text4->setGeometry(pixelRect(kHelpRect));
    Text4->setReadOnly(true);
}

void ViewerWindow::createFields(QWidget* client) {
    Text7 = createField(QStringLiteral("Text7"), kSubjectRect, client);
    Text8 = createField(QStringLiteral("Text8"), kSenderRect, client);
    Text9 = createField(QStringLiteral("Text9"), kDateRect, client);

    rtfEd = new QTextEdit(client);
    rtfEd->setObjectName(QStringLiteral("rtfEd"));
    rtfEd->setAcceptRichText(false);
    connect(rtfEd, &QTextEdit::textChanged, this, [this] { m_changed = true; });
}

void ViewerWindow::createMenus() {
    using Editor = editor::EditorCommands;
    struct Item {
        const char* name;
        QString caption;  // empty: a separator
        void (Editor::*command)() = nullptr;
    };
    auto addMenu = [this](const char* name, const QString& title,
                          std::initializer_list<Item> items) {
        QMenu* menu = menuBar()->addMenu(title);
        menu->setObjectName(QString::fromLatin1(name));
        for (const Item& item : items) {
            if (item.caption.isEmpty()) {
                menu->addSeparator()->setObjectName(QString::fromLatin1(item.name));
                continue;
            }
            QAction* action = menu->addAction(item.caption);
            action->setObjectName(QString::fromLatin1(item.name));
            if (item.command == nullptr) {
                connect(action, &QAction::triggered, this, &QWidget::close);
            } else {
                connect(action, &QAction::triggered, m_editor, item.command);
            }
        }
    };
    // "印刷" prints as the toolbar's Print does.
    addMenu("mFile", QStringLiteral("ファイル(&F)"),
            {{"mnew", QStringLiteral("新規作成"), &Editor::newFile},
             {"mopen", QStringLiteral("開く"), &Editor::open},
             {"msave", QStringLiteral("名前をつけて保存"), &Editor::saveWithHeader},
             {"mprint", QStringLiteral("印刷"), &Editor::print},
             {"mline", QString()},
             {"mend", QStringLiteral("戻る")}});
    addMenu("medit", QStringLiteral("編集(&E)"),
            {{"mall", QStringLiteral("全て選択"), &Editor::selectAll},
             {"matamajump", QStringLiteral("文頭へジャンプ"), &Editor::jumpToTop},
             {"mbunmatujump", QStringLiteral("文末へジャンプ"), &Editor::jumpToEnd},
             {"mline2", QString()},
             {"mkensaku", QStringLiteral("検索"), &Editor::find},
             {"mtugikensaku", QStringLiteral("次を検索"), &Editor::findNext},
             {"mline3", QString()},
             {"mcut", QStringLiteral("切り取り"), &Editor::cut},
             {"mcopy", QStringLiteral("コピー"), &Editor::copy},
             {"mpaste", QStringLiteral("貼付け"), &Editor::paste}});
}

// "検索" of the edit menu finds text in the shown mail; this one, beside
// it, opens the search over every box.
void ViewerWindow::addSearchAllMenuItem() {
    auto* menu = findChild<QMenu*>(QStringLiteral("medit"));
    auto* before = findChild<QAction*>(QStringLiteral("mline3"));
    if (m_env == nullptr || menu == nullptr) {
        return;
    }
    auto* action = new QAction(QStringLiteral("全メールから検索..."), menu);
    action->setObjectName(QStringLiteral("mzenkensaku"));
    menu->insertAction(before, action);
    connect(action, &QAction::triggered, this, [this] { m_env->intents().openSearch(); });
}

// A click is dispatched on the button's key, its objectName().
void ViewerWindow::createToolBar() {
    tbToolBar = addToolBar(QStringLiteral("tbToolBar"));
    tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
    tbToolBar->setMovable(false);
    struct Button {
        const char* key;
        QString text;
    };
    const Button buttons[] = {
        {"New", QStringLiteral("新規")},   {"Open", QStringLiteral("開く")},
        {"Save", QStringLiteral("保存")},  {"Print", QStringLiteral("印刷")},
        {"Cut", QStringLiteral("切取")},   {"Copy", QStringLiteral("コピー")},
        {"Paste", QStringLiteral("貼付")}, {"Bold", QStringLiteral("B")},
        {"Italic", QStringLiteral("I")},   {"Underline", QStringLiteral("U")},
    };
    for (const Button& button : buttons) {
        tbToolBar->addAction(button.text)->setObjectName(QString::fromLatin1(button.key));
        if (qstrcmp(button.key, "Print") == 0 || qstrcmp(button.key, "Paste") == 0) {
            tbToolBar->addSeparator();
        }
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this,
            [this](QAction* action) { m_editor->runToolbarKey(action->objectName()); });
}

void ViewerWindow::createStatusBar() {
    StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    Command1 = new QPushButton(QStringLiteral("Text Quick Save"), StatusBar1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Text6 = new QLineEdit(StatusBar1);
    Text6->setObjectName(QStringLiteral("Text6"));
    Text6->setMinimumWidth(twipsToPixels(3000));
    Command2 = new QPushButton(QStringLiteral("コピー（Subject/from/Data）"), StatusBar1);
    Command2->setObjectName(QStringLiteral("Command2"));
    StatusBar1->addWidget(Command1);
    StatusBar1->addWidget(Text6);
    StatusBar1->addWidget(Command2);
}

void ViewerWindow::placeBodyPane() {
    const int top = twipsToPixels(kBodyPaneTopTwips);
    const int height =
        twipsToPixels(kDesignHeightTwips - kBodyPaneTopTwips - kBodyPaneBottomMarginTwips);
    rtfEd->setGeometry(twipsToPixels(kBodyPaneLeftTwips), top,
                       twipsToPixels(bodyPaneWidthFor(kDesignWidthTwips)), height);
}

// The editor's current file is empty until the user first creates one; then
// there is nothing to load and nothing to report. A named file that cannot be
// read is reported, and OK tries again. The file is read as the editor
// writes it: CP932 (a UTF-8 file is recognised as such).
void ViewerWindow::loadEditorFile() {
    if (m_editorFile.empty()) {
        m_changed = false;
        return;
    }
    for (;;) {
        Result<std::string> bytes = store::readWholeFile(m_editorFile);
        if (bytes.isOk()) {
            rtfEd->setPlainText(QString::fromStdString(editor::textFromFileBytes(bytes.value())));
            m_changed = false;
            return;
        }
        if (!ui::tell(this, ui::Say::kEditorFileNotLoaded, {QString::fromStdString(m_editorFile)},
                      QString::fromStdString(bytes.status().message()))) {
            return;
        }
    }
}

void ViewerWindow::clearShownMail() {
    Text7->clear();
    Text8->clear();
    Text9->clear();
    rtfEd->clear();
}

void ViewerWindow::applyBox(const BoxEntry& box, const QString& caption) {
    m_currentBox = box.number;
    Label3->setText(QString::fromUtf8(box.moveCaption.data(), qsizetype(box.moveCaption.size())));
    // Every box sets the whole look, so it does not depend on the box shown before.
    QFont font;
    QPalette palette;
    int captionTop = kCommandCaptionTopTwips;
    if (box.moveCaptionEmphasised) {
        font.setBold(true);
        font.setPointSize(10);
        palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
        captionTop = kEmphasisedCaptionTopTwips;
    }
    Label3->setFont(font);
    Label3->setPalette(palette);
    Label3->setGeometry(pixelRect(commandCaptionRect(kMoveRect, captionTop))
                            .translated(0, twipsToPixels(m_rowShiftTwips)));
    Image2->setEnabled(box.movePictureEnabled);
    Label7->setEnabled(box.replyEnabled);
    setWindowTitle(ui::literalWindowTitle(caption));
}

void ViewerWindow::loadList() {
    MailListView->clear();
    rtfEd->clear();
    BoxListing listing = listBox(m_store, m_currentBox);

    QList<QTreeWidgetItem*> items;
    items.reserve(qsizetype(listing.rows.size()));
    for (const ListedMail& row : listing.rows) {
        items.append(new QTreeWidgetItem(QStringList{QString::fromStdString(row.subject),
                                                     QString::fromStdString(row.fromOrTo),
                                                     QString::fromStdString(row.date)}));
    }
    MailListView->addTopLevelItems(items);
    if (!items.isEmpty()) {
        // The last mail is the one shown: the arrow keys move on from it.
        MailListView->selectionModel()->setCurrentIndex(
            MailListView->model()->index(int(items.size()) - 1, 0), QItemSelectionModel::NoUpdate);
    }
    if (listing.last) {
        showMail(*listing.last);
        passBodyThroughClipboard();
    }
    writeCount();
    if (!listing.status.isOk()) {
        ui::tell(this, ui::Say::kBoxNotReadToEnd, {},
                 QString::fromStdString(listing.status.message()));
    }
}

void ViewerWindow::showSelectedMail() {
    m_selectionMarker = kSelectedMarker;
    if (MailListView->topLevelItemCount() == 0) {
        ui::tell(this, ui::Say::kNothingToSelect);
        return;
    }
    QTreeWidgetItem* item = MailListView->currentItem();
    if (item == nullptr || !item->isSelected()) {
        // Items but none chosen: there is no mail this click could mean.
        m_selectionMarker.clear();
        return;
    }
    const int recordNumber = MailListView->indexOfTopLevelItem(item) + 1;
    Result<ShownMail> mail = readMail(m_store, m_currentBox, recordNumber);
    if (!mail.isOk()) {
        ui::tell(this, ui::Say::kMailNotRead, {}, QString::fromStdString(mail.status().message()));
        return;
    }
    showMail(mail.value());
    writeCount();
    passBodyThroughClipboard();
}

void ViewerWindow::showRecord(int recordNumber) {
    QTreeWidgetItem* item = MailListView->topLevelItem(recordNumber - 1);
    if (item == nullptr) {
        return;
    }
    MailListView->setCurrentItem(item);
    MailListView->scrollToItem(item);
    showSelectedMail();
}

void ViewerWindow::stageMail(const QString& subject, const QString& sender, const QString& date,
                             const QString& body) {
    showFields(subject, sender, date);
    rtfEd->setPlainText(body);
}

void ViewerWindow::showHighlightedMail() {
    QTreeWidgetItem* item = MailListView->currentItem();
    Result<ShownMail> mail = Status::notFound("no mail highlighted");
    if (item != nullptr && item->isSelected()) {
        mail = readMail(m_store, m_currentBox, MailListView->indexOfTopLevelItem(item) + 1);
    }
    writeCount();
    if (!mail.isOk()) {
        clearShownMail();
        m_selectionMarker.clear();
        return;
    }
    // As a click shows it, but the user's clipboard is left alone.
    showMail(mail.value());
    rtfEd->setPlainText(stripSpaces(rtfEd->toPlainText()));
}

// A long text shows from its beginning.
void ViewerWindow::showFields(const QString& subject, const QString& fromOrTo,
                              const QString& date) {
    for (auto [field, text] : {std::pair{Text7, &subject}, {Text8, &fromOrTo}, {Text9, &date}}) {
        field->setText(*text);
        field->setCursorPosition(0);
    }
}

void ViewerWindow::writeCount() {
    Text2->setText(QString::number(MailListView->topLevelItemCount()));
}

void ViewerWindow::showMail(const ShownMail& mail) {
    showFields(QString::fromStdString(mail.subject), QString::fromStdString(mail.fromOrTo),
               QString::fromStdString(mail.date));
    rtfEd->setPlainText(QString::fromStdString(mail.body));
}

// Whatever body is shown also goes through the plain-text clipboard, so the
// clipboard holds it afterwards and the pane shows exactly plain text.
void ViewerWindow::passBodyThroughClipboard() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(rtfEd->toPlainText());
    rtfEd->setPlainText(stripSpaces(clipboard->text()));
}

bool ViewerWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == MailListView->viewport() && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // After the view has updated its selection for this click.
        QMetaObject::invokeMethod(this, &ViewerWindow::showSelectedMail, Qt::QueuedConnection);
    }
    if (watched == MailListView && event->type() == QEvent::KeyPress) {
        showMailAfterKeyMove();
    }
    return QMainWindow::eventFilter(watched, event);
}

// A key that moves the list's selection (arrows, Page Up/Down, Home, End)
// shows the mail it lands on and sets the marker, as a click does; a key
// that leaves the selection where it was shows nothing again.
void ViewerWindow::showMailAfterKeyMove() {
    const QPersistentModelIndex before(MailListView->currentIndex());
    QMetaObject::invokeMethod(
        this,
        [this, before] {
            const QModelIndex now = MailListView->currentIndex();
            if (now.isValid() && now != before && MailListView->selectionModel()->isSelected(now)) {
                showSelectedMail();
            }
        },
        Qt::QueuedConnection);
}

// ---- The editor on the body pane: its commands, the resize layout ----

void ViewerWindow::createEditor() {
    m_editor = new editor::EditorCommands({this, rtfEd, Text1, Text7, Text8, Text9}, m_editorFile,
                                          m_folder.root().string(), m_changed, this);
}

void ViewerWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    applyResizeLayout(true);
}

void ViewerWindow::reapplyLayoutWithoutMaximisedRule() {
    applyResizeLayout(false);
}

// Text6 and Command2 lie on the status bar, whose own layout keeps them there
// in any window state; the layout here shows them and places the rest.
void ViewerWindow::applyResizeLayout(bool withMaximisedRule) {
    using ui::pixelsToTwips;
    editor::ResizeInput in;
    in.windowWidth = pixelsToTwips(width());
    in.windowHeight = pixelsToTwips(height());
    in.paneLeft = kBodyPaneLeftTwips;
    in.command1Left = pixelsToTwips(StatusBar1->x() + Command1->x());
    in.statusBar = {pixelsToTwips(StatusBar1->x()), pixelsToTwips(StatusBar1->y()),
                    pixelsToTwips(StatusBar1->width()), pixelsToTwips(StatusBar1->height())};
    in.maximised = isMaximized();
    in.clientHeight = pixelsToTwips(centralWidget()->height());
    // A whole date with its zone, e.g. "+0900", and the field's frame.
    in.dateMinWidth = pixelsToTwips(
        Text9->fontMetrics().horizontalAdvance(QStringLiteral("Wed, 30 Sep 2026 23:59:59 +0900")) +
        12);
    const editor::ResizeLayout out = editor::resizeLayout(in, withMaximisedRule);

    Text6->show();
    Command2->show();
    MailListView->resize(twipsToPixels(out.listWidth), twipsToPixels(out.listHeight));
    for (auto [field, rect] :
         {std::pair{Text7, out.subject}, {Text8, out.sender}, {Text9, out.date}}) {
        field->setGeometry(twipsToPixels(rect.left), twipsToPixels(rect.top),
                           twipsToPixels(rect.width), field->height());
    }
    rtfEd->setGeometry(pixelRect(out.pane));

    // The command and search rows keep their distance below the list.
    const int moveBy = twipsToPixels(out.commandRowShift) - twipsToPixels(m_rowShiftTwips);
    m_rowShiftTwips = out.commandRowShift;
    if (moveBy != 0) {
        for (QWidget* row : std::initializer_list<QWidget*>{Image1, Image2, Image3, Image4, Image5,
                                                            Label3, Label5, Label6, Label7, Label8,
                                                            Label4, Text2, Label2, Text1, Text4}) {
            row->move(row->x(), row->y() + moveBy);
        }
    }
}

void ViewerWindow::closeEvent(QCloseEvent* event) {
    editor::writeClosingSettings(m_editor->autoSaveChoice());
    QMainWindow::closeEvent(event);
}

}  // namespace qf::viewer
