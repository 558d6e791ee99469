#include "compose/ReplyWindow.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextEdit>

#include "compose/AttachmentButtons.h"
#include "compose/DraftSaver.h"
#include "compose/Quoting.h"
#include "compose/ReplyLayout.h"
#include "compose/ReplyText.h"
#include "compose/SendPass.h"
#include "compose/SendWords.h"
#include "settings/ServerSettings.h"
#include "store/BoxCatalogue.h"
#include "store/MailStore.h"
#include "text/FixedField.h"
#include "text/LineBreaks.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PictureButton.h"
#include "ui/PlainText.h"
#include "ui/TabLeavesTextBox.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"
#include "viewer/OriginalText.h"

namespace qf::compose {
namespace {

namespace layout = backlayout;
using base::pixelsToTwips;
using base::twipsToPixels;
using ui::placeInTwips;

const QString kPressedPicture = QStringLiteral("Switch.gif");

bool pastesIntoReply(int box) {
    return (box >= 1 && box <= store::kOtherBox) || box == store::kKeepBox;
}

}  // namespace

ReplyWindow::ReplyWindow(ui::WindowEnvironment& env) : QWidget(nullptr, Qt::Window), m_env(env) {
    setObjectName(QStringLiteral("BackForm"));
    setWindowTitle(QStringLiteral("返事を書く"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_chooseFile = [this] { return chooseAttachmentFile(this); };
    buildControls();
    m_filled = fields();
    addPictureButton(0, QStringLiteral("Label1"), QStringLiteral("送信"),
                     QStringLiteral("Motosize.gif"), &ReplyWindow::send);
    addPictureButton(1, QStringLiteral("Label3"), QStringLiteral("中止"),
                     QStringLiteral("Honbun.gif"), &ReplyWindow::stopWithoutSending);
    addPictureButton(2, QStringLiteral("Label4"), QStringLiteral("本文貼付"),
                     QStringLiteral("Addoress.gif"), &ReplyWindow::pasteBody);
    setUpDrafts();

    // Opening: the attachment field's design width, the list hidden.
    m_attachPaths->resize(twipsToPixels(layout::kAttachTextOpenWidth), m_attachPaths->height());
    m_attachList->hide();
    resize(twipsToPixels(layout::kOpenWidth), twipsToPixels(layout::kOpenHeight));
}

void ReplyWindow::buildControls() {
    auto addRow = [this](const QString& name, const QString& caption, int top) {
        auto* label = ui::plainLabel(caption, this);
        placeInTwips(label, {layout::kLabelLeft, top, layout::kLabelWidth, layout::kRowHeight});
        auto* field = new QLineEdit(this);
        field->setObjectName(name);
        placeInTwips(field,
                     {layout::kFieldLeft, top, layout::kAttachTextOpenWidth, layout::kRowHeight});
        return field;
    };
    m_to = addRow(QStringLiteral("ToText"), QStringLiteral("宛先"), layout::kToTop);
    m_subject = addRow(QStringLiteral("SubjectText"), QStringLiteral("題名"), layout::kSubjectTop);
    m_attachPaths =
        addRow(QStringLiteral("AttachText"), QStringLiteral("添付File"), layout::kAttachTop);

    auto addButton = [this](const QString& name, const QString& caption, int widthTwips) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(name);
        placeInTwips(button, {0, layout::kAttachTop, widthTwips, layout::kRowHeight});
        return button;
    };
    m_attachFirst = addButton(QStringLiteral("AttachCommand"), QStringLiteral("添付"),
                              layout::kAttachCommandWidth);
    m_attachMore =
        addButton(QStringLiteral("Command9"), QStringLiteral("追加"), layout::kAddCommandWidth);
    m_dropAttachments = addButton(QStringLiteral("Command10"), QStringLiteral("取り消し"),
                                  layout::kDropCommandWidth);

    m_quote = new QCheckBox(QStringLiteral("引用する（> ）"), this);
    m_quote->setObjectName(QStringLiteral("QuoteCheck"));
    m_quote->setChecked(m_env.held().server.quoteReplies);
    placeInTwips(m_quote, layout::kQuoteCheck);
    connect(m_quote, &QCheckBox::toggled, this, &ReplyWindow::quotingChosen);

    m_body = new QTextEdit(this);
    m_body->setObjectName(QStringLiteral("BodyText"));
    m_body->setAcceptRichText(false);
    ui::makeTabLeaveTextBox(*m_body);
    placeInTwips(m_body, {layout::kBodyLeft, layout::kBodyTop, 0, 0});

    // The attachment list lies over the top of the body while it shows.
    m_attachList = new QListWidget(this);
    m_attachList->setObjectName(QStringLiteral("List2"));
    connectAttachmentButtons(
        {m_attachFirst, m_attachMore, m_dropAttachments, m_attachPaths, m_attachList},
        [this] { return m_chooseFile(); });
}

void ReplyWindow::addPictureButton(int column, const QString& name, const QString& caption,
                                   const QString& ownPicture, void (ReplyWindow::*action)()) {
    const base::TwipsRect face = layout::pictureButton(column);
    auto* image = new ui::ActiveLabel(QStringLiteral("Image") + name.mid(5), this);
    placeInTwips(image, face);
    image->showPicture(picture(ownPicture));
    auto* label = new ui::ActiveLabel(name, this);
    label->setText(caption);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
    placeInTwips(label, layout::captionOn(face));
    connect(label, &ui::ActiveLabel::clicked, this, [this, image, ownPicture, action] {
        ui::pressThenAct(*image, picture(kPressedPicture), picture(ownPicture),
                         [this, action] { (this->*action)(); });
    });
}

QString ReplyWindow::picture(const QString& name) const {
    return m_env.picturePath(name);
}

void ReplyWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applySizes();
}

void ReplyWindow::applySizes() {
    const layout::Sizes sizes = layout::sizesFor(pixelsToTwips(width()), pixelsToTwips(height()));
    m_body->resize(twipsToPixels(sizes.bodyWidth), twipsToPixels(sizes.bodyHeight));
    m_to->resize(twipsToPixels(sizes.fieldWidth), m_to->height());
    m_subject->resize(twipsToPixels(sizes.fieldWidth), m_subject->height());
    m_attachPaths->resize(twipsToPixels(sizes.attachTextWidth), m_attachPaths->height());
    // The buttons follow the attachment field's new width.
    m_attachFirst->move(twipsToPixels(sizes.attachCommandLeft), m_attachFirst->y());
    m_attachMore->move(twipsToPixels(sizes.addCommandLeft), m_attachMore->y());
    m_dropAttachments->move(twipsToPixels(sizes.dropCommandLeft), m_dropAttachments->y());
    placeInTwips(m_attachList,
                 {sizes.attachCommandLeft, layout::kBodyTop,
                  sizes.dropCommandLeft + layout::kDropCommandWidth - sizes.attachCommandLeft,
                  layout::kAttachListHeight});
}

void ReplyWindow::closeEvent(QCloseEvent* event) {
    // A close by the frame or "中止" asks before typed text goes; a send does not.
    if (!ui::mayCloseHoldingTypedText(this, *this, m_sendWorker.running(), m_closingByCommand,
                                      m_env.shuttingDown())) {
        event->ignore();
        return;
    }
    m_draft->windowClosing(m_env.shuttingDown());
    QWidget::closeEvent(event);
}

QStringList ReplyWindow::fields() const {
    return {m_to->text(), m_subject->text(), m_body->toPlainText(), m_attachPaths->text()};
}

bool ReplyWindow::holdsTypedText() const {
    return fields() != m_filled;
}

void ReplyWindow::fillReply(const QString& receivedSubject, const QString& sender,
                            const QString& receivedBody, const transport::ReplyThread& thread) {
    m_thread = thread;
    m_subject->setText(QString::fromStdString(replySubject(receivedSubject.toStdString())));
    m_to->setText(ui::stripSpaces(sender));
    m_receivedBody = receivedBody.toStdString();
    m_receivedSender = sender.toStdString();
    const int box = m_env.held().currentBox;
    m_receivedDate = pastesIntoReply(box) ? m_env.mailStore().currentFields(box).date : "";
    m_body->setPlainText(
        ui::fromUtf8(replyBody({m_receivedBody, m_receivedSender, m_receivedDate},
                               m_env.held().server.signature, m_quote->isChecked())));
    m_filled = fields();
}

std::string ReplyWindow::receivedPart(bool quote) const {
    return receivedText({m_receivedBody, m_receivedSender, m_receivedDate}, quote);
}

// The choice is kept for the next reply. The received text in the body
// changes with it, the answer above it kept; a received text the user
// edited stays as it is.
void ReplyWindow::quotingChosen(bool quote) {
    settings::ServerSettings& held = m_env.held().server;
    held.quoteReplies = quote;
    const Status written = settings::writeServerSettings(m_env.folder().serverSettingsFile(), held);
    if (!written.isOk()) {
        ui::tell(this, ui::Say::kServerSettingsNotWritten, {}, written);
    }
    const QString before = ui::fromUtf8(receivedPart(!quote));
    const QString body = m_body->toPlainText();
    if (before.isEmpty() || !body.endsWith(before)) {
        return;
    }
    const bool untouched = !holdsTypedText();
    m_body->setPlainText(body.left(body.size() - before.size()) +
                         ui::fromUtf8(receivedPart(quote)));
    if (untouched) {
        m_filled = fields();
    }
}

void ReplyWindow::send() {
    if (m_sendWorker.running()) {
        return;
    }
    const settings::ServerSettings& server = m_env.held().server;
    const settings::Account account = m_env.accountInUse();
    SendSettings sendSettings{server.smtp,      server.mail, account.id,
                              account.password, {},          m_env.accessTokenSource()};
    sendSettings.senderName = server.senderName;
    ComposedMail mail{m_to->text().toStdString(), m_subject->text().toStdString(),
                      text::withCrLf(m_body->toPlainText().toStdString()),
                      chosenAttachments({m_attachFirst, m_attachMore, m_dropAttachments,
                                         m_attachPaths, m_attachList})};
    mail.inReplyTo = m_thread.inReplyTo;
    mail.references = transport::messageIdsOf(m_thread.references);
    setEnabled(false);
    auto failure = std::make_shared<std::optional<SendFailure>>();
    m_sendWorker.start(
        [failure, sendSettings, mail] { *failure = sendSingleMail(sendSettings, mail); },
        [this, failure, smtp = server.smtp] { finishSend(*failure, smtp); });
}

void ReplyWindow::finishSend(const std::optional<SendFailure>& failure,
                             const std::string& smtpServer) {
    setEnabled(true);
    if (failure) {
        // Everything typed stays, so the reply can be sent again.
        ui::tell(this, sendFailureMessage(*failure, smtpServer));
        return;
    }
    emit sent();
    m_closingByCommand = true;
    close();
}

// Typed text is lost here as by the frame's close, so the close asks alike.
void ReplyWindow::stopWithoutSending() {
    close();
}

void ReplyWindow::pasteBody() {
    const int box = m_env.held().currentBox;
    if (!pastesIntoReply(box)) {
        return;
    }
    // The text the viewer shows: the original's, when one is kept.
    const std::string received = viewer::shownBodyOfCurrent(m_env.mailStore(), box);
    QClipboard* clipboard = QGuiApplication::clipboard();
    m_body->setPlainText(ui::toBoxText(pastedReplyBody(clipboard->text().toStdString(), received)));
    clipboard->clear();
    clipboard->setText(m_body->toPlainText());
    m_body->setPlainText(ui::stripSpaces(clipboard->text()));
}

}  // namespace qf::compose
