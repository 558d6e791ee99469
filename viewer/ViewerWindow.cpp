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
#include "editor/EditorLayout.h"
#include "editor/EditorText.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PlainText.h"
#include "ui/WindowEnvironment.h"
#include "viewer/EditorCommands.h"
#include "viewer/EditorSettings.h"
#include "viewer/ViewerLayout.h"

namespace qf::viewer {
namespace {

using base::twipsToPixels;
using ui::pixelRect;

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
    // An open box follows the receive runs, the timed ones included.
    connect(&env, &ui::WindowEnvironment::mailsArrived, this, [this](int box) {
        if (box == m_currentBox && isVisible()) {
            listArrivedMails();
        }
    });
    showCommandPictures();
    addSearchAllMenuItem();
    addMailMenu();
}

ViewerWindow::ViewerWindow(const settings::ProgramFolder& folder, MailStore& store, QWidget* parent,
                           int* heldBox, std::string* heldEditorFile)
    : QMainWindow(parent),
      m_folder(folder),
      m_store(store),
      m_currentBox(heldBox != nullptr ? *heldBox : m_ownBox),
      m_editorFile(heldEditorFile != nullptr ? *heldEditorFile : m_ownEditorFile) {
    setObjectName(QStringLiteral("TyakuForm"));
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
    m_mailList->header()->resizeSection(0, twipsToPixels(widths.subject));
    m_mailList->header()->resizeSection(1, twipsToPixels(widths.from));
    m_mailList->header()->resizeSection(2, twipsToPixels(widths.date));
    placeBodyPane();
    m_mailList->resize(twipsToPixels(listWidthFor(kDesignWidthTwips)), m_mailList->height());
    loadEditorFile();
    m_body->show();

    connectCommands();  // the viewer's commands (ViewerCommands.cpp)
}

ViewerWindow::~ViewerWindow() = default;

void ViewerWindow::createList(QWidget* client) {
    m_mailList = new QTreeWidget(client);
    m_mailList->setObjectName(QStringLiteral("MailListView"));
    m_mailList->setGeometry(pixelRect(kMailListRect));
    m_mailList->setColumnCount(3);
    m_mailList->setHeaderLabels(
        {QStringLiteral("Subject"), QStringLiteral("From"), QStringLiteral("Date")});
    m_mailList->setRootIsDecorated(false);
    m_mailList->setUniformRowHeights(true);  // keeps a list of thousands of mails quick
    m_mailList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_mailList->setAllColumnsShowFocus(true);
    m_mailList->header()->setStretchLastSection(false);
    // The columns' design widths add up to the list's outer width, a few
    // pixels more than its inside (frame, scroll bar): the Date column takes
    // what the other two leave, so no horizontal scroll bar shows for those.
    m_mailList->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    // A click anywhere on the list counts, also on an empty one.
    m_mailList->viewport()->installEventFilter(this);
    // The keys that move the selection show the mail they land on; the
    // window opens with the list at the keyboard.
    m_mailList->installEventFilter(this);
    m_mailList->setFocus();
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
        {&m_moveToKeepBoxPicture, "Image2", "Botan11.gif", &m_moveToKeepBox, "Label3", QString(),
         kMoveRect},
        {&m_deleteOnePicture, "Image1", "Botan10.gif", &m_deleteOne, "Label5",
         QStringLiteral("一件削除"), kDeleteOneRect},
        {&m_registerSenderPicture, "Image3", "Botan12.gif", &m_registerSender, "Label6",
         QStringLiteral("アドレス帳登録"), kRegisterRect},
        {&m_replyPicture, "Image4", "Botan13.gif", &m_reply, "Label7", QStringLiteral("返事"),
         kReplyRect},
        {&m_deleteAllPicture, "Image5", "Botan14.gif", &m_deleteAll, "Label8",
         QStringLiteral("全件削除"), kDeleteAllRect},
    };
    for (const Command& command : commands) {
        *command.picture =
            createPicture(QString::fromLatin1(command.pictureName), command.pictureFile, client);
        (*command.picture)->setGeometry(pixelRect(command.rect));
        *command.label =
            createCommandLabel(QString::fromLatin1(command.labelName), command.caption,
                               commandCaptionRect(command.rect, kCommandCaptionTopTwips), client);
    }

    m_countLabel =
        createCaption(QStringLiteral("Label4"), QStringLiteral("件数"), kCountLabelRect, client);
    m_count = createField(QStringLiteral("Text2"), kCountRect, client);
    m_count->setReadOnly(true);
    m_count->setAlignment(Qt::AlignRight);

    m_searchLabel = createCaption(QStringLiteral("Label2"), QStringLiteral("検索文字"),
                                  kSearchLabelRect, client);
    m_searchText = createField(QStringLiteral("Text1"), kSearchRect, client);

    m_helpBox = new QPlainTextEdit(client);
    m_helpBox->setObjectName(QStringLiteral("Text4"));
    m_helpBox->setGeometry(pixelRect(kHelpRect));
    m_helpBox->setReadOnly(true);
}

void ViewerWindow::createFields(QWidget* client) {
    m_subject = createField(QStringLiteral("Text7"), kSubjectRect, client);
    m_sender = createField(QStringLiteral("Text8"), kSenderRect, client);
    m_date = createField(QStringLiteral("Text9"), kDateRect, client);

    m_body = new QTextEdit(client);
    m_body->setObjectName(QStringLiteral("rtfEd"));
    m_body->setAcceptRichText(false);
    connect(m_body, &QTextEdit::textChanged, this, [this] { m_changed = true; });
}

void ViewerWindow::createMenus() {
    using Editor = EditorCommands;
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
    m_toolBar = addToolBar(QStringLiteral("tbToolBar"));
    m_toolBar->setObjectName(QStringLiteral("tbToolBar"));
    m_toolBar->setMovable(false);
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
        m_toolBar->addAction(button.text)->setObjectName(QString::fromLatin1(button.key));
        if (qstrcmp(button.key, "Print") == 0 || qstrcmp(button.key, "Paste") == 0) {
            m_toolBar->addSeparator();
        }
    }
    connect(m_toolBar, &QToolBar::actionTriggered, this,
            [this](QAction* action) { m_editor->runToolbarKey(action->objectName()); });
}

void ViewerWindow::createStatusBar() {
    m_statusBar = statusBar();
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_quickSave = new QPushButton(QStringLiteral("Text Quick Save"), m_statusBar);
    m_quickSave->setObjectName(QStringLiteral("Command1"));
    m_copyField = new QLineEdit(m_statusBar);
    m_copyField->setObjectName(QStringLiteral("Text6"));
    m_copyField->setMinimumWidth(twipsToPixels(3000));
    m_copyHeader = new QPushButton(QStringLiteral("コピー（Subject/from/Data）"), m_statusBar);
    m_copyHeader->setObjectName(QStringLiteral("Command2"));
    m_statusBar->addWidget(m_quickSave);
    m_statusBar->addWidget(m_copyField);
    m_statusBar->addWidget(m_copyHeader);
}

void ViewerWindow::placeBodyPane() {
    const int top = twipsToPixels(kBodyPaneTopTwips);
    const int height =
        twipsToPixels(kDesignHeightTwips - kBodyPaneTopTwips - kBodyPaneBottomMarginTwips);
    m_body->setGeometry(twipsToPixels(kBodyPaneLeftTwips), top,
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
        Result<std::string> bytes = base::readWholeFile(m_editorFile);
        if (bytes.isOk()) {
            m_body->setPlainText(QString::fromStdString(editor::textFromFileBytes(bytes.value())));
            m_changed = false;
            return;
        }
        if (!ui::tell(this, ui::Say::kEditorFileNotLoaded, {QString::fromStdString(m_editorFile)},
                      bytes.status())) {
            return;
        }
    }
}

void ViewerWindow::clearShownMail() {
    m_shown = {};
    m_subject->clear();
    m_sender->clear();
    m_date->clear();
    m_body->clear();
}

void ViewerWindow::applyBox(const BoxEntry& box, const QString& caption) {
    m_currentBox = box.number;
    m_moveToKeepBox->setText(
        QString::fromUtf8(box.moveCaption.data(), qsizetype(box.moveCaption.size())));
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
    m_moveToKeepBox->setFont(font);
    m_moveToKeepBox->setPalette(palette);
    m_moveToKeepBox->setGeometry(pixelRect(commandCaptionRect(kMoveRect, captionTop))
                                     .translated(0, twipsToPixels(m_rowShiftTwips)));
    m_moveToKeepBoxPicture->setEnabled(box.movePictureEnabled);
    m_reply->setEnabled(box.replyEnabled);
    setWindowTitle(ui::literalWindowTitle(caption));
}

}  // namespace qf::viewer
