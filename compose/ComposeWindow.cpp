#include "compose/ComposeWindow.h"

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
#include <QMouseEvent>
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
#include "compose/DraftSaver.h"
#include "compose/Quoting.h"
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
#include "ui/WindowPlacement.h"

namespace qf::compose {
namespace {

namespace layout = writelayout;
using base::twipsToPixels;
using ui::placeInTwips;

const QColor kBatchGreen(0, 128, 0);
const QColor kWhite(255, 255, 255);

void setListBackground(QListWidget* list, const QColor& colour) {
    QPalette palette = list->palette();
    palette.setColor(QPalette::Base, colour);
    list->setPalette(palette);
}

// Radio buttons of one group cannot be unchecked one by one; this one can.
void deselect(QRadioButton* option) {
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

// The rich-text box holds LF line ends; the program's texts use CR LF.
std::string toProgramText(const QString& boxText) {
    return text::withCrLf(boxText.toStdString());
}

ComposeEnvironment environmentOf(ui::WindowEnvironment& env) {
    ComposeEnvironment environment;
    environment.folder = env.folder();
    environment.serverSettings = [&env] { return env.held().server; };
    // The account the receive run would use.
    environment.account = [&env] { return env.accountInUse(); };
    environment.accessTokenSource = [&env] { return env.accessTokenSource(); };
    environment.clockText = [&env] { return env.mainWindow().clockText(); };
    // The pictures beside the program when the folder has none of its own.
    environment.picturePath = [&env](const QString& name) { return env.picturePath(name); };
    environment.mailStore = &env.mailStore();
    environment.shuttingDown = [&env] { return env.shuttingDown(); };
    return environment;
}

}  // namespace

ComposeWindow::ComposeWindow(ui::WindowEnvironment& env) : ComposeWindow(environmentOf(env)) {}

ComposeWindow::ComposeWindow(ComposeEnvironment environment, QWidget* parent)
    : QWidget(parent, Qt::Window), m_env(std::move(environment)) {
    setObjectName(QStringLiteral("WriteForm"));
    setWindowTitle(QStringLiteral("新規作成"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_chooseFile = [this] { return chooseAttachmentFile(this); };
    m_sender = new ComposeSender(m_env, this);
    m_sender->setParent(this);
    connect(m_sender, &ComposeSender::progress, this,
            [this](const QString& text) { m_status->setText(text); });
    connect(m_sender, &ComposeSender::finished, this, &ComposeWindow::finishSend);
    m_content = new QWidget(this);
    placeInTwips(m_content, {0, 0, layout::kPaneOpenWidth, layout::kPasteRowHeight});
    buildControls();
    buildPictureButtons();
    buildAddressPane();
    buildHelpTexts();
    setUpDrafts();

    // Opening, in order: size, initial states, greetings, the address list.
    placeWindow(layout::kClosedWidth, layout::kHeight);
    deselect(m_batchSend);
    m_pasteButton->hide();
    m_pasteButton->setEnabled(false);
    m_attachMore->setEnabled(false);
    m_attachList->hide();
    m_fortune->setChecked(false);
    m_recordNumbers.clear();
    for (std::string_view sentence : kGreetingSentences) {
        m_greetings->addItem(
            QString::fromUtf8(sentence.data(), static_cast<qsizetype>(sentence.size())));
    }
    m_greetings->setCurrentIndex(-1);
    loadAddressList();
    m_openingBody = startingBody(QString());
    m_body->setPlainText(m_openingBody);
}

// `text` with the signature of the settings under it.
QString ComposeWindow::startingBody(const QString& text) const {
    const std::string signature = m_env.serverSettings ? m_env.serverSettings().signature : "";
    return ui::fromUtf8(withSignature(text.toStdString(), signature));
}

void ComposeWindow::placeWindow(int widthTwips, int heightTwips) {
    m_widthTwips = widthTwips;
    m_heightTwips = heightTwips;
    setFixedSize(twipsToPixels(widthTwips), twipsToPixels(heightTwips));
}

void ComposeWindow::centreOnScreen() {
    QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const auto corner =
        layout::centredOn(base::pixelsToTwips(area.width()), base::pixelsToTwips(area.height()),
                          m_widthTwips, m_heightTwips);
    move(area.left() + twipsToPixels(corner.left), area.top() + twipsToPixels(corner.top));
    // A window taller than the screen is fitted into it, not centred off it.
    ui::placeOnScreen(*this, nullptr);
}

bool ComposeWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
            if (watched == m_body->viewport()) {
                m_helpBox->hide();
            } else if (QVariant help = watched->property("helpText"); help.isValid()) {
                m_helpBox->setText(help.toString());
                m_helpBox->show();
            }
            break;
        case QEvent::FocusOut:
            if (watched == m_greetings) {
                // The popup and a window switch take focus without leaving the box.
                auto reason = static_cast<QFocusEvent*>(event)->reason();
                if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
                    insertGreeting();
                }
            }
            break;
        case QEvent::MouseButtonPress:
            if (watched == m_addressList->viewport()) {
                // Let the list take the press first, so the row under it is selected.
                m_addressList->viewport()->removeEventFilter(this);
                QCoreApplication::sendEvent(m_addressList->viewport(), event);
                m_addressList->viewport()->installEventFilter(this);
                addressListPressed(static_cast<QMouseEvent*>(event)->modifiers());
                return true;
            }
            break;
        case QEvent::MouseButtonDblClick:
            if (watched == m_status) {
                revealPasteRow();
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void ComposeWindow::closeEvent(QCloseEvent* event) {
    if (m_sender->sending()) {
        // A batch stops after the pass being sent. The window closes by
        // itself when everything went out, and otherwise keeps the mail.
        m_sender->stopAfterThisPass();
        event->ignore();
        return;
    }
    // The frame's close and "送信中止" ask before typed text goes; a send does not.
    if (!ui::mayCloseHoldingTypedText(this, *this, m_sender->sending(), m_closingByCommand,
                                      m_env.shuttingDown())) {
        event->ignore();
        return;
    }
    m_draft->windowClosing(m_env.shuttingDown());
    QWidget::closeEvent(event);
}

bool ComposeWindow::holdsTypedText() const {
    return !m_to->text().isEmpty() || !m_cc->text().isEmpty() || !m_bcc->text().isEmpty() ||
           !m_subject->text().isEmpty() || m_body->toPlainText() != m_openingBody ||
           !m_attachPaths->text().isEmpty() || !m_attachedMails.empty();
}

void ComposeWindow::loadAddressList() {
    m_addressList->clear();
    m_recordNumbers.clear();
    Result<std::vector<addressbook::AddressEntry>> entries =
        addressbook::readAddressBook(m_env.folder.dataFolder().string());
    if (!entries) {
        ui::tell(this, ui::Say::kAddressBookNotRead, {}, entries.status());
    } else {
        for (const addressbook::AddressEntry& entry : entries.value()) {
            m_addressList->addItem(QString::fromStdString(entry.name));
            m_recordNumbers.push_back(entry.recordNumber);
        }
    }
    m_addressCount->setText(QString::number(m_addressList->count()));
}

void ComposeWindow::addressListPressed(Qt::KeyboardModifiers modifiers) {
    const int row = m_addressList->currentRow();
    if (row < 0 || m_addressList->selectedItems().isEmpty()) {
        ui::tell(this, ui::Say::kNoEntrySelected);
        m_addressList->setFocus();
        return;
    }
    Result<std::optional<std::string>> address = addressbook::recipientOf(
        m_env.folder.dataFolder().string(), m_recordNumbers[static_cast<std::size_t>(row)]);
    if (!address) {
        ui::tell(this, ui::Say::kAddressBookNotRead, {}, address.status());
    } else if (!address.value()) {
        // The entry was deleted in the address book since the list was filled.
        ui::tell(this, ui::Say::kNoEntrySelected);
    } else if (QLineEdit* copies = modifiers.testFlag(Qt::ControlModifier) ? m_cc
                                   : modifiers.testFlag(Qt::ShiftModifier) ? m_bcc
                                                                           : nullptr;
               copies != nullptr && copies->isEnabled()) {
        const QString added = QString::fromStdString(*address.value());
        copies->setText(copies->text().trimmed().isEmpty()
                            ? added
                            : copies->text().trimmed() + QStringLiteral(", ") + added);
    } else {
        m_to->setText(QString::fromStdString(*address.value()));
    }
}

// A batch sends one mail to each entry, so it carries no copies.
void ComposeWindow::showCopyFields(bool enabled) {
    m_cc->setEnabled(enabled);
    m_bcc->setEnabled(enabled);
    if (!enabled && !(m_cc->text().isEmpty() && m_bcc->text().isEmpty())) {
        m_status->setText(ui::words(ui::Say::kBatchLeavesCopiesOut, {}, QString()));
    }
}

void ComposeWindow::batchChosen() {
    setListBackground(m_addressList, kBatchGreen);
    if (m_batchSend->isChecked()) {
        m_fortune->setEnabled(false);
        showCopyFields(false);
    }
}

void ComposeWindow::batchCancelled() {
    m_sender->forgetBatch();
    m_to->clear();
    setListBackground(m_addressList, kWhite);
    m_openPane.caption->setText(QString());
    showCopyFields(true);
}

// Only a new choice replaces the body: leaving the box unpicked, or passing
// through it again (Shift+Tab) after a greeting was put in, keeps what was
// typed. The body is replaced as one edit, so Undo brings it back.
void ComposeWindow::insertGreeting() {
    const int picked = m_greetings->currentIndex();
    if (picked < 0 || picked == m_insertedGreeting) {
        return;
    }
    m_insertedGreeting = picked;
    QTextCursor cursor(m_body->document());
    cursor.select(QTextCursor::Document);
    cursor.insertText(startingBody(m_greetings->currentText()));
}

void ComposeWindow::revealPasteRow() {
    if (m_to->text() != QStringLiteral("yuzu")) {
        return;
    }
    placeWindow(m_widthTwips, layout::kPasteRowHeight);
    m_pasteButton->show();
    m_pasteButton->setEnabled(true);
    m_pasteRow->setFocusPolicy(Qt::StrongFocus);
}

void ComposeWindow::clearAll() {
    m_sender->forgetBatch();
    m_to->clear();
    m_cc->clear();
    m_bcc->clear();
    m_subject->clear();
    m_body->setPlainText(m_openingBody);
    m_attachPaths->clear();
    m_attachedMails.clear();
    deselect(m_batchSend);
    showCopyFields(true);
    m_attachList->clear();
    m_attachList->hide();
    m_attachMore->setEnabled(false);
    m_dropAttachments->setEnabled(false);
    m_attachFirst->setEnabled(true);
    m_fortune->setChecked(false);
    setListBackground(m_addressList, kWhite);
    m_draftKind = DraftKind::kCompose;
    m_draft->discard();
}

bool ComposeWindow::startMail(const MailtoLink& link) {
    if (holdsTypedText() && !ui::tell(this, ui::Say::kReplaceTypedMailWithLink)) {
        return false;
    }
    clearAll();
    m_to->setText(QString::fromStdString(joinedAddressLine(link.to)));
    m_cc->setText(QString::fromStdString(joinedAddressLine(link.cc)));
    m_bcc->setText(QString::fromStdString(joinedAddressLine(link.bcc)));
    m_subject->setText(QString::fromStdString(link.subject));
    m_body->setPlainText(startingBody(QString::fromStdString(link.body)));
    m_status->clear();
    return true;
}

void ComposeWindow::pasteRecipient() {
    m_to->setText(QGuiApplication::clipboard()->text());
}

void ComposeWindow::pasteBody() {
    m_body->setPlainText(m_body->toPlainText() + QGuiApplication::clipboard()->text());
}

void ComposeWindow::openAddressPane() {
    placeWindow(layout::kPaneOpenWidth, m_heightTwips);
    centreOnScreen();
    loadAddressList();
}

void ComposeWindow::closeAddressPane() {
    placeWindow(layout::kClosedWidth, m_heightTwips);
    setListBackground(m_addressList, kWhite);
    centreOnScreen();
}

// Typed text is lost here as by the frame's close, so the close asks alike.
void ComposeWindow::stopWithoutSending() {
    close();
}

void ComposeWindow::holdInput(bool hold) {
    m_content->setEnabled(!hold);
}

bool ComposeWindow::sending() const {
    return m_sender->sending();
}

void ComposeWindow::send() {
    if (m_sender->sending()) {
        return;
    }
    // After a batch that reached only some, a second batch goes only to the
    // others, or nowhere: no recipient gets the mail twice.
    std::optional<std::vector<BatchRecipient>> recipients =
        m_sender->agreedRecipients(m_batchSend->isChecked());
    if (!recipients) {
        return;
    }
    const std::vector<std::string> attachments = chosenAttachments(
        {m_attachFirst, m_attachMore, m_dropAttachments, m_attachPaths, m_attachList});
    m_attachMore->setEnabled(false);
    m_attachList->hide();
    m_attachFirst->setEnabled(true);

    m_typedBody = m_body->toPlainText();
    ComposedMail mail{m_to->text().toStdString(), m_subject->text().toStdString(),
                      toProgramText(m_typedBody), attachments};
    mail.mails = m_attachedMails;
    if (!m_batchSend->isChecked()) {
        mail.cc = m_cc->text().toStdString();
        mail.bcc = m_bcc->text().toStdString();
    }
    SendOptions options;
    options.batch = m_batchSend->isChecked();
    options.batchPassCount = m_addressList->count();
    options.retry = std::move(*recipients);
    options.fortune = m_fortune->isChecked();
    options.fortuneSource = m_fortuneSource;
    holdInput(true);
    m_sender->send(mail, std::move(options));
}

void ComposeWindow::finishSend(const SendReport& report, bool batch) {
    holdInput(false);
    if (report.historyFailures() > 0) {
        for (const PassOutcome& pass : report.passes) {
            if (!pass.history.isOk()) {
                ui::tell(this, ui::Say::kSendHistoryNotWritten, {}, pass.history);
                break;
            }
        }
    }
    if (report.allSent()) {
        if (!batch) {
            m_body->setPlainText(ui::toBoxText(report.sentBody));
        }
        emptyAndClose();
        return;
    }
    if (batch) {
        m_status->setText(ui::fromUtf8(batchSummary(report)));
        return;
    }
    // What the user typed stays, without the fortune a failed pass added.
    m_body->setPlainText(m_typedBody);
    m_status->setText(ui::words(report.count(PassResult::kUnconfirmed) > 0
                                    ? ui::Say::kSendUnconfirmedTextKept
                                    : ui::Say::kSendFailedTextKept,
                                {}, QString()));
}

void ComposeWindow::emptyAndClose() {
    m_status->setText(ui::words(ui::Say::kSendDone, {}, QString()));
    m_to->clear();
    m_cc->clear();
    m_bcc->clear();
    m_subject->clear();
    m_body->clear();
    m_attachPaths->clear();
    m_attachedMails.clear();
    m_fortune->setChecked(false);
    deselect(m_batchSend);
    m_pasteButton->hide();
    m_draft->finish();
    emit sent();
    m_closingByCommand = true;
    close();
}

}  // namespace qf::compose
