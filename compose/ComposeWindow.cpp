#include "compose/ComposeWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
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
#include "ui/TabLeavesTextBox.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::compose {
namespace {

namespace layout = writelayout;
using ui::placeInTwips;
using ui::twipsToPixels;
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
    setObjectName(QStringLiteral("ComposeWindow"));
    setWindowTitle(QStringLiteral("新規作成"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_chooseFile = [this] {
        // One existing file; Qt's dialog has no read-only check box to hide.
        QFileDialog dialog(this);
        dialog.setObjectName(QStringLiteral("AttachCommonDialog"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
    };
    m_content = new QWidget(this);
    placeInTwips(m_content, {0, 0, layout::kPaneOpenWidth, layout::kPasteRowHeight});
    buildControls();
    buildPictureButtons();
    buildAddressPane();
    buildHelpTexts();

    // Opening, in order: size, initial states, greetings, the address list.
    placeWindow(layout::kClosedWidth, layout::kHeight);
    deselect(Option2);
    PasteCommand->hide();
    PasteCommand->setEnabled(false);
    Command9->setEnabled(false);
    List2->hide();
    Check1->setChecked(false);
    m_recordNumbers.clear();
    for (std::string_view sentence : kGreetingSentences) {
        Combo1->addItem(
            QString::fromUtf8(sentence.data(), static_cast<qsizetype>(sentence.size())));
    }
    Combo1->setCurrentIndex(-1);
    loadAddressList();
}

void ComposeWindow::buildControls() {
    auto addLabel = [this](const QString& text, const ui::TwipsRect& field) {
        auto* label = new QLabel(text, m_content);
        placeInTwips(label, layout::labelBeside(field));
    };
    ToText = new QLineEdit(m_content);
    ToText->setObjectName(QStringLiteral("ToText"));
    ToText->setValidator(new TypingLimit(kRecipientTypingLimit, ToText));
    placeInTwips(ToText, layout::kToRow);
    addLabel(QStringLiteral("宛先"), layout::kToRow);

    SubjectText = new QLineEdit(m_content);
    SubjectText->setObjectName(QStringLiteral("SubjectText"));
    placeInTwips(SubjectText, layout::kSubjectRow);
    addLabel(QStringLiteral("件名"), layout::kSubjectRow);

    Combo1 = new QComboBox(m_content);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->installEventFilter(this);
    placeInTwips(Combo1, layout::kGreetingRow);
    addLabel(QStringLiteral("首記例"), layout::kGreetingRow);

    AttachText = new QLineEdit(m_content);
    AttachText->setObjectName(QStringLiteral("AttachText"));
    placeInTwips(AttachText, layout::kAttachText);
    addLabel(QStringLiteral("添付"), layout::kAttachText);
    AttachCommand = new QPushButton(QStringLiteral("添付File"), m_content);
    AttachCommand->setObjectName(QStringLiteral("AttachCommand"));
    placeInTwips(AttachCommand, layout::kAttachCommand);
    Command9 = new QPushButton(QStringLiteral("追加"), m_content);
    Command9->setObjectName(QStringLiteral("Command9"));
    placeInTwips(Command9, layout::kAddCommand);
    Command10 = new QPushButton(QStringLiteral("取り消し"), m_content);
    Command10->setObjectName(QStringLiteral("Command10"));
    placeInTwips(Command10, layout::kDropCommand);

    Check1 = new QCheckBox(
        QStringLiteral("★　親しい人に占いを添付する　★ （一括送信では使用不可）"), m_content);
    Check1->setObjectName(QStringLiteral("Check1"));
    placeInTwips(Check1, layout::kFortuneCheck);
    Option1 = new QRadioButton(QStringLiteral("取消"), m_content);
    Option1->setObjectName(QStringLiteral("Option1"));
    placeInTwips(Option1, layout::kCancelOption);
    connect(Option1, &QRadioButton::clicked, this, &ComposeWindow::batchCancelled);
    Option2 = new QRadioButton(QStringLiteral("一括送信"), m_content);
    Option2->setObjectName(QStringLiteral("Option2"));
    placeInTwips(Option2, layout::kBatchOption);
    connect(Option2, &QRadioButton::clicked, this, &ComposeWindow::batchChosen);

    BodyText = new QTextEdit(m_content);
    BodyText->setObjectName(QStringLiteral("BodyText"));
    BodyText->setAcceptRichText(false);
    BodyText->viewport()->installEventFilter(this);
    // Tab moves on to the next control, as in the other fields; Ctrl+Tab
    // types a tab into the body (eventFilter).
    ui::makeTabLeaveTextBox(*BodyText);
    placeInTwips(BodyText, layout::kBody);

    List2 = new QListWidget(m_content);
    List2->setObjectName(QStringLiteral("List2"));
    placeInTwips(List2, layout::kAttachList);
    connectAttachmentButtons({AttachCommand, Command9, Command10, AttachText, List2},
                             [this] { return m_chooseFile(); });

    PasteText = new QLineEdit(m_content);
    PasteText->setObjectName(QStringLiteral("PasteText"));
    placeInTwips(PasteText, layout::kPasteRow);
    // Below the window's edge until the row is revealed: Tab passes it by.
    PasteText->setFocusPolicy(Qt::ClickFocus);
    PasteCommand = new QPushButton(QStringLiteral("貼付け"), m_content);
    PasteCommand->setObjectName(QStringLiteral("PasteCommand"));
    placeInTwips(PasteCommand, layout::kPasteButton);
    connect(PasteCommand, &QPushButton::clicked, this,
            [this] { PasteText->setText(QGuiApplication::clipboard()->text()); });

    // The status line and help box stay readable while a send holds input off.
    Label7 = new QLabel(this);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->installEventFilter(this);
    placeInTwips(Label7, layout::kStatusLine);
    Text14 = new QLineEdit(this);
    Text14->setObjectName(QStringLiteral("Text14"));
    Text14->setReadOnly(true);
    Text14->hide();
    placeInTwips(Text14, layout::kHelpBox);
}

ComposeWindow::PictureButton ComposeWindow::addPictureButton(
    const ui::TwipsRect& face, const QString& name, const QString& caption,
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
    auto* title = new QLabel(QStringLiteral("アドレス帳"), m_content);
    placeInTwips(title, layout::kPaneTitle);
    List1 = new QListWidget(m_content);
    List1->setObjectName(QStringLiteral("List1"));
    List1->viewport()->installEventFilter(this);
    placeInTwips(List1, layout::kAddressList);
    auto* countLabel = new QLabel(QStringLiteral("件数"), m_content);
    placeInTwips(countLabel, layout::kCountLabel);
    Text1 = new QLineEdit(m_content);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    placeInTwips(Text1, layout::kCountText);
}

void ComposeWindow::setHelp(QWidget* control, const QString& text) {
    control->setProperty("helpText", text);
    control->setMouseTracking(true);
    control->installEventFilter(this);
}

void ComposeWindow::buildHelpTexts() {
    setHelp(AttachCommand, QStringLiteral("各種ファイルを添付して送信できます。"));
    setHelp(Command9,
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
    const QRect area = screen->geometry();
    const auto corner =
        layout::centredOn(ui::pixelsToTwips(area.width()), ui::pixelsToTwips(area.height()),
                          m_widthTwips, m_heightTwips);
    move(area.left() + twipsToPixels(corner.left), area.top() + twipsToPixels(corner.top));
}

bool ComposeWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
            if (watched == BodyText->viewport()) {
                Text14->hide();
            } else if (QVariant help = watched->property("helpText"); help.isValid()) {
                Text14->setText(help.toString());
                Text14->show();
            }
            break;
        case QEvent::FocusOut:
            if (watched == Combo1) {
                // The popup and a window switch take focus without leaving the box.
                auto reason = static_cast<QFocusEvent*>(event)->reason();
                if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
                    insertGreeting();
                }
            }
            break;
        case QEvent::MouseButtonPress:
            if (watched == List1->viewport()) {
                // Let the list take the press first, so the row under it is selected.
                List1->viewport()->removeEventFilter(this);
                QCoreApplication::sendEvent(List1->viewport(), event);
                List1->viewport()->installEventFilter(this);
                addressListPressed();
                return true;
            }
            break;
        case QEvent::MouseButtonDblClick:
            if (watched == Label7) {
                revealPasteRow();
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void ComposeWindow::closeEvent(QCloseEvent* event) {
    // A window closed mid-send would pull the controls from under the passes.
    if (m_sending) {
        event->ignore();
        return;
    }
    // The frame's close asks before typed text goes; "中止" and a send do not.
    const bool asked = !m_closingByCommand && !m_env.shuttingDown();
    m_closingByCommand = false;
    if (asked && !ui::mayDiscardTypedText(this, *this)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool ComposeWindow::holdsTypedText() const {
    return !ToText->text().isEmpty() || !SubjectText->text().isEmpty() ||
           !BodyText->toPlainText().isEmpty() || !AttachText->text().isEmpty();
}

void ComposeWindow::loadAddressList() {
    List1->clear();
    m_recordNumbers.clear();
    Result<std::vector<addressbook::AddressEntry>> entries =
        addressbook::readAddressBook(m_env.folder.dataFolder().string());
    if (!entries) {
        ui::tell(this, ui::Say::kAddressBookNotRead, {},
                 QString::fromStdString(entries.status().message()));
    } else {
        for (const addressbook::AddressEntry& entry : entries.value()) {
            List1->addItem(QString::fromStdString(entry.name));
            m_recordNumbers.push_back(entry.recordNumber);
        }
    }
    Text1->setText(QString::number(List1->count()));
}

void ComposeWindow::addressListPressed() {
    const int row = List1->currentRow();
    if (row < 0 || List1->selectedItems().isEmpty()) {
        ui::tell(this, ui::Say::kNoEntrySelected);
        List1->setFocus();
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
        ToText->setText(QString::fromStdString(*address.value()));
    }
}

void ComposeWindow::batchChosen() {
    setListBackground(List1, kBatchGreen);
    if (Option2->isChecked()) {
        Check1->setEnabled(false);
    }
}

void ComposeWindow::batchCancelled() {
    forgetRefusedPasses();
    ToText->clear();
    setListBackground(List1, kWhite);
    m_openPane.caption->setText(QString());
}

// Only a new choice replaces the body: leaving the box unpicked, or passing
// through it again (Shift+Tab) after a greeting was put in, keeps what was
// typed. The body is replaced as one edit, so Undo brings it back.
void ComposeWindow::insertGreeting() {
    const int picked = Combo1->currentIndex();
    if (picked < 0 || picked == m_insertedGreeting) {
        return;
    }
    m_insertedGreeting = picked;
    QTextCursor cursor(BodyText->document());
    cursor.select(QTextCursor::Document);
    cursor.insertText(Combo1->currentText());
}

void ComposeWindow::revealPasteRow() {
    if (ToText->text() != QStringLiteral("yuzu")) {
        return;
    }
    placeWindow(m_widthTwips, layout::kPasteRowHeight);
    PasteCommand->show();
    PasteCommand->setEnabled(true);
    PasteText->setFocusPolicy(Qt::StrongFocus);
}

void ComposeWindow::clearAll() {
    forgetRefusedPasses();
    ToText->clear();
    SubjectText->clear();
    BodyText->clear();
    AttachText->clear();
    deselect(Option2);
    List2->clear();
    List2->hide();
    Command9->setEnabled(false);
    Command10->setEnabled(false);
    AttachCommand->setEnabled(true);
    Check1->setChecked(false);
    setListBackground(List1, kWhite);
}

bool ComposeWindow::startMail(const MailtoLink& link) {
    if (holdsTypedText() && !ui::tell(this, ui::Say::kReplaceTypedMailWithLink)) {
        return false;
    }
    clearAll();
    ToText->setText(QString::fromStdString(link.recipientLine()));
    SubjectText->setText(QString::fromStdString(link.subject));
    BodyText->setPlainText(QString::fromStdString(link.body));
    Label7->setText(
        link.bcc.empty()
            ? QString()
            : QStringLiteral("リンクの Bcc（%1件）は宛先に入れていません。").arg(link.bcc.size()));
    return true;
}

void ComposeWindow::pasteRecipient() {
    ToText->setText(QGuiApplication::clipboard()->text());
}

void ComposeWindow::pasteBody() {
    BodyText->setPlainText(BodyText->toPlainText() + QGuiApplication::clipboard()->text());
}

void ComposeWindow::openAddressPane() {
    placeWindow(layout::kPaneOpenWidth, m_heightTwips);
    centreOnScreen();
    loadAddressList();
}

void ComposeWindow::closeAddressPane() {
    placeWindow(layout::kClosedWidth, m_heightTwips);
    setListBackground(List1, kWhite);
    centreOnScreen();
}

void ComposeWindow::stopWithoutSending() {
    m_closingByCommand = true;
    close();
}

void ComposeWindow::holdInput(bool hold) {
    m_sending = hold;
    m_content->setEnabled(!hold);
}

void ComposeWindow::send() {
    if (m_sending) {
        return;
    }
    // After a batch that reached only some, a second batch goes only to the
    // others, or nowhere: no recipient gets the mail twice.
    std::vector<int> onlyPasses;
    if (Option2->isChecked() && !m_refusedPasses.empty()) {
        const QString count = QString::number(m_refusedPasses.size());
        const QString names = m_refusedRecipients.join(QStringLiteral("、"));
        const bool agreed =
            m_unconfirmedRecipients.isEmpty()
                ? ui::tell(this, ui::Say::kBatchSendOnlyFailed, {count, names})
                : ui::tell(this, ui::Say::kBatchSendAgainMayDuplicate,
                           {count, names, m_unconfirmedRecipients.join(QStringLiteral("、"))});
        if (!agreed) {
            return;
        }
        onlyPasses = m_refusedPasses;
    }
    Command9->setEnabled(false);
    List2->hide();
    AttachCommand->setEnabled(true);
    Label7->setText(kSendingText);

    const QString typedBody = BodyText->toPlainText();
    ComposedMail mail{ToText->text().toStdString(), SubjectText->text().toStdString(),
                      toProgramText(typedBody), AttachText->text().toStdString()};
    const settings::ServerSettings server = m_env.serverSettings();
    const settings::Account account = m_env.account();
    SendSettings sendSettings{server.smtp,
                              server.mail,
                              account.id,
                              account.password,
                              m_env.clockText().toStdString(),
                              m_env.accessTokenSource()};
    SendOptions options;
    options.batch = Option2->isChecked();
    options.batchPassCount = List1->count();
    options.onlyPasses = std::move(onlyPasses);
    options.fortune = Check1->isChecked();
    options.fortuneSource = m_fortuneSource;

    SendObserver observer;
    observer.beforePass = [this, batch = options.batch](int pass, int passCount) {
        if (batch) {
            Label7->setText(kSendingText +
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
            BodyText->setPlainText(ui::toBoxText(report.sentBody));
        }
        emptyAndClose();
        return;
    }
    if (batch) {
        rememberRefusedPasses(report);
        Label7->setText(batchSummary(report));
        return;
    }
    // What the user typed stays, without the fortune a failed pass added.
    BodyText->setPlainText(typedBody);
    Label7->setText(
        report.count(PassResult::kUnconfirmed) > 0
            ? QStringLiteral(
                  "送信できたか確認できませんでした。入力した内容はそのまま残っています。")
            : QStringLiteral("送信できませんでした。入力した内容はそのまま残っています。"));
}

void ComposeWindow::rememberRefusedPasses(const SendReport& report) {
    forgetRefusedPasses();
    for (const PassOutcome& pass : report.passes) {
        if (pass.result == PassResult::kRefused || pass.result == PassResult::kUnconfirmed) {
            m_refusedPasses.push_back(pass.pass);
        }
    }
    m_unconfirmedRecipients = recipientsOf(report, PassResult::kUnconfirmed);
    m_refusedRecipients = recipientsOf(report, PassResult::kRefused) + m_unconfirmedRecipients;
}

void ComposeWindow::forgetRefusedPasses() {
    m_refusedPasses.clear();
    m_refusedRecipients.clear();
    m_unconfirmedRecipients.clear();
}

void ComposeWindow::emptyAndClose() {
    Label7->setText(kDoneText);
    ToText->clear();
    SubjectText->clear();
    BodyText->clear();
    AttachText->clear();
    Check1->setChecked(false);
    deselect(Option2);
    PasteCommand->hide();
    emit sent();
    m_closingByCommand = true;
    close();
}

}  // namespace qf::compose
