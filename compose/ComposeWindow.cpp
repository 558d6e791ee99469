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
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTextCursor>
#include <QTextEdit>
#include <optional>

#include "addressbook/AddressLookup.h"
#include "compose/AttachmentButtons.h"
#include "compose/ComposeLayout.h"
#include "compose/SendWords.h"
#include "ui/ActiveLabel.h"
#include "ui/BusyScope.h"
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

const QString kSendingText = QStringLiteral("メールを送信中です。しばらくお待ち下さい。");
const QString kDoneText = QStringLiteral("送信完了です。");
const QColor kBatchGreen(0, 128, 0);
const QColor kWhite(255, 255, 255);
constexpr int kRecipientTypingLimit = 60;

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
    QString text = boxText;
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text.toStdString();
}

// The recipients of the passes that ended in `result` ("n件目" when the
// address book could not even name one).
QStringList recipientsOf(const SendReport& report, PassResult result) {
    QStringList names;
    for (const PassOutcome& pass : report.passes) {
        if (pass.result == result) {
            names << (pass.recipient.empty() ? QStringLiteral("%1件目").arg(pass.pass)
                                             : QString::fromStdString(pass.recipient));
        }
    }
    return names;
}

// Addresses as the window lists them in a sentence.
QString joined(const std::vector<std::string>& addresses) {
    QStringList names;
    for (const std::string& address : addresses) {
        names << QString::fromStdString(address);
    }
    return names.join(QStringLiteral("、"));
}

QString batchSummary(const SendReport& report) {
    QString summary = QStringLiteral("%1件中%2件を送信しました。")
                          .arg(report.passCount())
                          .arg(report.count(PassResult::kSent));
    if (int refused = report.count(PassResult::kRefused); refused > 0) {
        summary += QStringLiteral("%1件は送信できませんでした。").arg(refused);
    }
    if (int unsure = report.count(PassResult::kUnconfirmed); unsure > 0) {
        summary += QStringLiteral("%1件は届いたか確認できませんでした。").arg(unsure);
    }
    if (int skipped = report.count(PassResult::kSkipped); skipped > 0) {
        summary +=
            QStringLiteral("%1件はアドレス帳から削除されていたため送信していません。").arg(skipped);
    }
    if (const QStringList failed = recipientsOf(report, PassResult::kRefused); !failed.isEmpty()) {
        summary += QStringLiteral("送信できなかった宛先：") + failed.join(QStringLiteral("、"));
    }
    if (const QStringList unsure = recipientsOf(report, PassResult::kUnconfirmed);
        !unsure.isEmpty()) {
        summary += QStringLiteral(
                       "届いたか確認できなかった宛先（サーバーが受け取った可能性があります）：") +
                   unsure.join(QStringLiteral("、"));
    }
    return summary;
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
    m_content = new QWidget(this);
    placeInTwips(m_content, {0, 0, layout::kPaneOpenWidth, layout::kPasteRowHeight});
    buildControls();
    buildPictureButtons();
    buildAddressPane();
    buildHelpTexts();

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
}

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
}

QString ComposeWindow::picture(const QString& name) const {
    if (m_env.picturePath) {
        return m_env.picturePath(name);
    }
    return QString::fromStdString((m_env.folder.pictureFolder() / name.toStdString()).string());
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
                addressListPressed();
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
    // The frame's close and "送信中止" ask before typed text goes; a send does not.
    if (!ui::mayCloseHoldingTypedText(this, *this, m_sending, m_closingByCommand,
                                      m_env.shuttingDown())) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool ComposeWindow::holdsTypedText() const {
    return !m_to->text().isEmpty() || !m_subject->text().isEmpty() ||
           !m_body->toPlainText().isEmpty() || !m_attachPaths->text().isEmpty();
}

void ComposeWindow::loadAddressList() {
    m_addressList->clear();
    m_recordNumbers.clear();
    Result<std::vector<addressbook::AddressEntry>> entries =
        addressbook::readAddressBook(m_env.folder.dataFolder().string());
    if (!entries) {
        ui::tell(this, ui::Say::kAddressBookNotRead, {},
                 QString::fromStdString(entries.status().message()));
    } else {
        for (const addressbook::AddressEntry& entry : entries.value()) {
            m_addressList->addItem(QString::fromStdString(entry.name));
            m_recordNumbers.push_back(entry.recordNumber);
        }
    }
    m_addressCount->setText(QString::number(m_addressList->count()));
}

void ComposeWindow::addressListPressed() {
    const int row = m_addressList->currentRow();
    if (row < 0 || m_addressList->selectedItems().isEmpty()) {
        ui::tell(this, ui::Say::kNoEntrySelected);
        m_addressList->setFocus();
        return;
    }
    Result<std::optional<std::string>> address = addressbook::recipientOf(
        m_env.folder.dataFolder().string(), m_recordNumbers[static_cast<std::size_t>(row)]);
    if (!address) {
        ui::tell(this, ui::Say::kAddressBookNotRead, {},
                 QString::fromStdString(address.status().message()));
    } else if (!address.value()) {
        // The entry was deleted in the address book since the list was filled.
        ui::tell(this, ui::Say::kNoEntrySelected);
    } else {
        m_to->setText(QString::fromStdString(*address.value()));
    }
}

void ComposeWindow::batchChosen() {
    setListBackground(m_addressList, kBatchGreen);
    if (m_batchSend->isChecked()) {
        m_fortune->setEnabled(false);
    }
}

void ComposeWindow::batchCancelled() {
    m_batch.forget();
    m_to->clear();
    setListBackground(m_addressList, kWhite);
    m_openPane.caption->setText(QString());
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
    cursor.insertText(m_greetings->currentText());
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
    m_batch.forget();
    m_to->clear();
    m_subject->clear();
    m_body->clear();
    m_attachPaths->clear();
    deselect(m_batchSend);
    m_attachList->clear();
    m_attachList->hide();
    m_attachMore->setEnabled(false);
    m_dropAttachments->setEnabled(false);
    m_attachFirst->setEnabled(true);
    m_fortune->setChecked(false);
    setListBackground(m_addressList, kWhite);
}

bool ComposeWindow::startMail(const MailtoLink& link) {
    if (holdsTypedText() && !ui::tell(this, ui::Say::kReplaceTypedMailWithLink)) {
        return false;
    }
    clearAll();
    m_to->setText(QString::fromStdString(link.recipientLine()));
    m_subject->setText(QString::fromStdString(link.subject));
    m_body->setPlainText(QString::fromStdString(link.body));
    m_status->setText(
        link.bcc.empty()
            ? QString()
            : QStringLiteral("リンクの Bcc（%1件）は宛先に入れていません。").arg(link.bcc.size()));
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
    m_sending = hold;
    m_content->setEnabled(!hold);
}

std::optional<std::vector<BatchRecipient>> ComposeWindow::agreedRetry() {
    Result<std::vector<addressbook::AddressEntry>> book =
        addressbook::readAddressBook(m_env.folder.dataFolder().string());
    if (!book) {
        ui::tell(this, ui::Say::kAddressBookNotRead, {},
                 QString::fromStdString(book.status().message()));
        return std::nullopt;
    }
    std::vector<std::string> addresses;
    for (const addressbook::AddressEntry& entry : book.value()) {
        addresses.push_back(entry.address);
    }
    const BatchMemory::RetryPlan plan = m_batch.planRetry(addresses);
    if (plan.recipients.empty()) {
        ui::tell(this, ui::Say::kBatchRetryNobodyLeft, {joined(plan.dropped)});
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::vector<std::string> mayHave;
    for (const BatchRecipient& recipient : plan.recipients) {
        names.push_back(recipient.address);
        if (recipient.mayHaveArrived) {
            mayHave.push_back(recipient.address);
        }
    }
    const QString count = QString::number(names.size());
    QString question = mayHave.empty()
                           ? ui::words(ui::Say::kBatchSendOnlyFailed, {count, joined(names)})
                           : ui::words(ui::Say::kBatchSendAgainMayDuplicate,
                                       {count, joined(names), joined(mayHave)});
    if (plan.bookChanged) {
        QString changed = ui::words(ui::Say::kBatchAddressBookChanged, {}, QString());
        if (!plan.dropped.empty()) {
            changed += ui::words(ui::Say::kBatchRetryLeavesOut, {joined(plan.dropped)});
        }
        question = changed + QLatin1Char('\n') + question;
    }
    if (!ui::ask(this, question)) {
        return std::nullopt;
    }
    return plan.recipients;
}

void ComposeWindow::send() {
    if (m_sending) {
        return;
    }
    // After a batch that reached only some, a second batch goes only to the
    // others, or nowhere: no recipient gets the mail twice.
    std::vector<BatchRecipient> retry;
    if (m_batchSend->isChecked() && m_batch.holdsMissed()) {
        std::optional<std::vector<BatchRecipient>> agreed = agreedRetry();
        if (!agreed) {
            return;
        }
        retry = std::move(*agreed);
    }
    m_attachMore->setEnabled(false);
    m_attachList->hide();
    m_attachFirst->setEnabled(true);
    m_status->setText(kSendingText);

    const QString typedBody = m_body->toPlainText();
    ComposedMail mail{m_to->text().toStdString(), m_subject->text().toStdString(),
                      toProgramText(typedBody), m_attachPaths->text().toStdString()};
    const settings::ServerSettings server = m_env.serverSettings();
    const settings::Account account = m_env.account();
    SendSettings sendSettings{server.smtp,
                              server.mail,
                              account.id,
                              account.password,
                              m_env.clockText().toStdString(),
                              m_env.accessTokenSource()};
    SendOptions options;
    options.batch = m_batchSend->isChecked();
    options.batchPassCount = m_addressList->count();
    options.retry = std::move(retry);
    options.fortune = m_fortune->isChecked();
    options.fortuneSource = m_fortuneSource;

    SendObserver observer;
    observer.beforePass = [this, batch = options.batch](int pass, int passCount) {
        if (batch) {
            m_status->setText(kSendingText +
                              QStringLiteral("（%1/%2件目）").arg(pass).arg(passCount));
        }
        // Repaint between passes; input stays held off meanwhile.
        QCoreApplication::processEvents();
    };
    observer.afterPass = [this, smtp = server.smtp](const PassOutcome& outcome) {
        if (outcome.result == PassResult::kRefused || outcome.result == PassResult::kUnconfirmed) {
            ui::tell(this, sendFailureMessage(outcome.failure, smtp));
        }
    };

    const ui::BusyScope busy;  // events run between the passes
    holdInput(true);
    std::optional<store::MailStore> ownStore;
    if (m_env.mailStore == nullptr) {
        ownStore.emplace(m_env.folder.dataFolder().string());
    }
    store::MailStore& history = m_env.mailStore != nullptr ? *m_env.mailStore : *ownStore;
    const SendReport report = sendComposedMail(history, mail, sendSettings, options, observer);
    holdInput(false);
    finishSend(report, options.batch, typedBody);
}

void ComposeWindow::finishSend(const SendReport& report, bool batch, const QString& typedBody) {
    if (report.historyFailures() > 0) {
        for (const PassOutcome& pass : report.passes) {
            if (!pass.history.isOk()) {
                ui::tell(this, ui::Say::kSendHistoryNotWritten, {},
                         QString::fromStdString(pass.history.message()));
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
        m_batch.remember(report);
        m_status->setText(batchSummary(report));
        return;
    }
    // What the user typed stays, without the fortune a failed pass added.
    m_body->setPlainText(typedBody);
    m_status->setText(
        report.count(PassResult::kUnconfirmed) > 0
            ? QStringLiteral(
                  "送信できたか確認できませんでした。入力した内容はそのまま残っています。")
            : QStringLiteral("送信できませんでした。入力した内容はそのまま残っています。"));
}

void ComposeWindow::emptyAndClose() {
    m_status->setText(kDoneText);
    m_to->clear();
    m_subject->clear();
    m_body->clear();
    m_attachPaths->clear();
    m_fortune->setChecked(false);
    deselect(m_batchSend);
    m_pasteButton->hide();
    emit sent();
    m_closingByCommand = true;
    close();
}

}  // namespace qf::compose
