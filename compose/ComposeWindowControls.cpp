// The compose window's controls as they are laid out: the fields, the
// picture buttons, the address pane and the help texts.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextCursor>
#include <QTextEdit>
#include <optional>

#include "addressbook/AddressLookup.h"
#include "compose/AttachmentButtons.h"
#include "compose/ComposeLayout.h"
#include "compose/ComposeSender.h"
#include "compose/ComposeWindow.h"
#include "compose/SendWords.h"
#include "text/LineBreaks.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PictureButton.h"
#include "ui/PlainText.h"
#include "ui/TabLeavesTextBox.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::compose {
namespace {

namespace layout = writelayout;
using base::twipsToPixels;
using ui::placeInTwips;
using ui::TypingLimit;

constexpr int kRecipientTypingLimit = 60;

}  // namespace

void ComposeWindow::buildControls() {
    auto addLabel = [this](const QString& text, const base::TwipsRect& field) {
        auto* label = ui::plainLabel(text, m_content);
        placeInTwips(label, layout::labelBeside(field));
    };
    m_to = new QLineEdit(m_content);
    m_to->setObjectName(QStringLiteral("ToText"));
    m_to->setValidator(new TypingLimit(kRecipientTypingLimit, m_to));
    placeInTwips(m_to, layout::kToRow);
    addLabel(QStringLiteral("宛先"), layout::kToRow);
    // Copies hold several addresses: no typing limit of the recipient's.
    m_cc = new QLineEdit(m_content);
    m_cc->setObjectName(QStringLiteral("CcText"));
    placeInTwips(m_cc, layout::kCcRow);
    addLabel(QStringLiteral("Cc"), layout::kCcRow);
    m_bcc = new QLineEdit(m_content);
    m_bcc->setObjectName(QStringLiteral("BccText"));
    placeInTwips(m_bcc, layout::kBccRow);
    addLabel(QStringLiteral("Bcc"), layout::kBccRow);

    m_subject = new QLineEdit(m_content);
    m_subject->setObjectName(QStringLiteral("SubjectText"));
    placeInTwips(m_subject, layout::kSubjectRow);
    addLabel(QStringLiteral("件名"), layout::kSubjectRow);

    m_greetings = new QComboBox(m_content);
    m_greetings->setObjectName(QStringLiteral("Combo1"));
    m_greetings->installEventFilter(this);
    placeInTwips(m_greetings, layout::kGreetingRow);
    addLabel(QStringLiteral("首記例"), layout::kGreetingRow);

    m_attachPaths = new QLineEdit(m_content);
    m_attachPaths->setObjectName(QStringLiteral("AttachText"));
    placeInTwips(m_attachPaths, layout::kAttachText);
    addLabel(QStringLiteral("添付"), layout::kAttachText);
    m_attachFirst = new QPushButton(QStringLiteral("添付File"), m_content);
    m_attachFirst->setObjectName(QStringLiteral("AttachCommand"));
    placeInTwips(m_attachFirst, layout::kAttachCommand);
    m_attachMore = new QPushButton(QStringLiteral("追加"), m_content);
    m_attachMore->setObjectName(QStringLiteral("Command9"));
    placeInTwips(m_attachMore, layout::kAddCommand);
    m_dropAttachments = new QPushButton(QStringLiteral("取り消し"), m_content);
    m_dropAttachments->setObjectName(QStringLiteral("Command10"));
    placeInTwips(m_dropAttachments, layout::kDropCommand);

    m_fortune = new QCheckBox(
        QStringLiteral("★　親しい人に占いを添付する　★ （一括送信では使用不可）"), m_content);
    m_fortune->setObjectName(QStringLiteral("Check1"));
    placeInTwips(m_fortune, layout::kFortuneCheck);
    m_singleSend = new QRadioButton(QStringLiteral("取消"), m_content);
    m_singleSend->setObjectName(QStringLiteral("Option1"));
    placeInTwips(m_singleSend, layout::kCancelOption);
    connect(m_singleSend, &QRadioButton::clicked, this, &ComposeWindow::batchCancelled);
    m_batchSend = new QRadioButton(QStringLiteral("一括送信"), m_content);
    m_batchSend->setObjectName(QStringLiteral("Option2"));
    placeInTwips(m_batchSend, layout::kBatchOption);
    connect(m_batchSend, &QRadioButton::clicked, this, &ComposeWindow::batchChosen);

    m_body = new QTextEdit(m_content);
    m_body->setObjectName(QStringLiteral("BodyText"));
    m_body->setAcceptRichText(false);
    m_body->viewport()->installEventFilter(this);
    // Tab moves on to the next control, as in the other fields; Ctrl+Tab
    // types a tab into the body (eventFilter).
    ui::makeTabLeaveTextBox(*m_body);
    placeInTwips(m_body, layout::kBody);

    m_attachList = new QListWidget(m_content);
    m_attachList->setObjectName(QStringLiteral("List2"));
    placeInTwips(m_attachList, layout::kAttachList);
    connectAttachmentButtons(
        {m_attachFirst, m_attachMore, m_dropAttachments, m_attachPaths, m_attachList},
        [this] { return m_chooseFile(); });

    m_pasteRow = new QLineEdit(m_content);
    m_pasteRow->setObjectName(QStringLiteral("PasteText"));
    placeInTwips(m_pasteRow, layout::kPasteRow);
    // Below the window's edge until the row is revealed: Tab passes it by.
    m_pasteRow->setFocusPolicy(Qt::ClickFocus);
    m_pasteButton = new QPushButton(QStringLiteral("貼付け"), m_content);
    m_pasteButton->setObjectName(QStringLiteral("PasteCommand"));
    placeInTwips(m_pasteButton, layout::kPasteButton);
    connect(m_pasteButton, &QPushButton::clicked, this,
            [this] { m_pasteRow->setText(QGuiApplication::clipboard()->text()); });

    // The status line and help box stay readable while a send holds input off.
    m_status = ui::plainLabel(QString(), this);
    m_status->setObjectName(QStringLiteral("Label7"));
    m_status->installEventFilter(this);
    placeInTwips(m_status, layout::kStatusLine);
    m_helpBox = new QLineEdit(this);
    m_helpBox->setObjectName(QStringLiteral("Text14"));
    m_helpBox->setReadOnly(true);
    m_helpBox->hide();
    placeInTwips(m_helpBox, layout::kHelpBox);
}

ComposeWindow::PictureButton ComposeWindow::addPictureButton(
    const base::TwipsRect& face, const QString& name, const QString& caption,
    const QString& ownPicture, const QString& pressedPicture, void (ComposeWindow::*action)()) {
    auto* picture = new ui::ActiveLabel(QStringLiteral("Image") + name, m_content);
    placeInTwips(picture, face);
    picture->showPicture(this->picture(ownPicture));
    auto* label = new ui::ActiveLabel(name, m_content);
    label->setText(caption);
    label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
    label->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
    placeInTwips(label, layout::captionOn(face));
    connect(label, &ui::ActiveLabel::clicked, this,
            [this, picture, ownPicture, pressedPicture, action] {
                ui::pressThenAct(*picture, this->picture(pressedPicture), this->picture(ownPicture),
                                 [this, action] { (this->*action)(); });
            });
    return {picture, label};
}

void ComposeWindow::buildPictureButtons() {
    const QString botan15 = QStringLiteral("Botan15.gif");
    const QString switchFace = QStringLiteral("Switch.gif");
    // Captions are padded on the left so they sit on the middle of the face.
    m_send = addPictureButton(layout::kSendButton, QStringLiteral("Label8"),
                              QStringLiteral("      送   信"), QStringLiteral("Botan13.gif"),
                              botan15, &ComposeWindow::send);
    m_stop = addPictureButton(layout::kStopButton, QStringLiteral("Label14"),
                              QStringLiteral("     送信中止"), QStringLiteral("Botan12.gif"),
                              botan15, &ComposeWindow::stopWithoutSending);
    m_clear = addPictureButton(layout::smallButton(0), QStringLiteral("Label13"),
                               QStringLiteral("      クリア"), QStringLiteral("Clire.gif"),
                               switchFace, &ComposeWindow::clearAll);
    m_pasteTo = addPictureButton(layout::smallButton(1), QStringLiteral("Label12"),
                                 QStringLiteral("    宛先貼付"), QStringLiteral("Atesaki.gif"),
                                 switchFace, &ComposeWindow::pasteRecipient);
    m_pasteBody = addPictureButton(layout::smallButton(2), QStringLiteral("Label11"),
                                   QStringLiteral("    本文貼付"), QStringLiteral("Honbun.gif"),
                                   switchFace, &ComposeWindow::pasteBody);
    m_openPane = addPictureButton(layout::smallButton(3), QStringLiteral("Label6"),
                                  QStringLiteral("   アドレス帳"), QStringLiteral("Addoress.gif"),
                                  switchFace, &ComposeWindow::openAddressPane);
    m_closePane = addPictureButton(layout::smallButton(4), QStringLiteral("Label9"),
                                   QStringLiteral("   元のサイズ"), QStringLiteral("Motosize.gif"),
                                   switchFace, &ComposeWindow::closeAddressPane);
}

void ComposeWindow::buildAddressPane() {
    auto* title = ui::plainLabel(QStringLiteral("アドレス帳"), m_content);
    placeInTwips(title, layout::kPaneTitle);
    m_addressList = new QListWidget(m_content);
    m_addressList->setObjectName(QStringLiteral("List1"));
    m_addressList->viewport()->installEventFilter(this);
    placeInTwips(m_addressList, layout::kAddressList);
    auto* countLabel = ui::plainLabel(QStringLiteral("件数"), m_content);
    placeInTwips(countLabel, layout::kCountLabel);
    m_addressCount = new QLineEdit(m_content);
    m_addressCount->setObjectName(QStringLiteral("Text1"));
    m_addressCount->setReadOnly(true);
    placeInTwips(m_addressCount, layout::kCountText);
}

void ComposeWindow::setHelp(QWidget* control, const QString& text) {
    control->setProperty("helpText", text);
    control->setMouseTracking(true);
    control->installEventFilter(this);
}

void ComposeWindow::buildHelpTexts() {
    setHelp(m_attachFirst, QStringLiteral("各種ファイルを添付して送信できます。"));
    setHelp(m_attachMore,
            QStringLiteral("添付ファイルを複数送信する際に使用します。確認しやすいように、"
                           "リストボックスが表示されます。"));
    setHelp(m_send.caption, QStringLiteral("入力した内容を送信します。"));
    setHelp(m_stop.caption, QStringLiteral("送信を中止します。"));
    setHelp(m_clear.caption, QStringLiteral("入力した内容消去します。"));
    setHelp(m_pasteTo.caption,
            QStringLiteral("本ソフト、他のアプリからのテキストを宛先に貼付けます。"));
    setHelp(m_pasteBody.caption,
            QStringLiteral("本ソフト、他のアプリからのテキスト文書を本文中に貼付けます。"));
    setHelp(m_openPane.caption,
            QStringLiteral("アドレス帳を開きます。頻度の高いメールの送信に便利です。"));
    setHelp(m_closePane.caption, QStringLiteral("アドレス帳を閉じ、元のサイズに戻します。"));
    setHelp(m_openPane.picture, QStringLiteral("送信します。電話回線が接続されていない場合は、"
                                               "自動的に接続してメールを送信します。"));
    setHelp(m_closePane.picture, QStringLiteral("送信を中止します。"));
    setHelp(m_cc, ui::words(ui::Say::kComposeCcHelp, {}, QString()));
    setHelp(m_bcc, ui::words(ui::Say::kComposeBccHelp, {}, QString()));
    setHelp(m_addressList, ui::words(ui::Say::kAddressListHelp, {}, QString()));
}

QString ComposeWindow::picture(const QString& name) const {
    if (m_env.picturePath) {
        return m_env.picturePath(name);
    }
    return QString::fromStdString((m_env.folder.pictureFolder() / name.toStdString()).string());
}

}  // namespace qf::compose
