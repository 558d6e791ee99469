#include "app/MainWindow.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QShortcut>
#include <algorithm>
#include <tuple>

#include "app/Application.h"
#include "app/MainLayout.h"
#include "settings/ServerSettingsWindow.h"
#include "store/MailStore.h"
#include "ui/ActiveLabel.h"
#include "ui/FormHelpers.h"
#include "ui/MessageBoxes.h"
#include "ui/PictureButton.h"
#include "ui/PlainText.h"

namespace qf::app {
namespace layout = mainlayout;

namespace {

const QString kPressedPicture = QStringLiteral("Botan9.gif");
const QString kWindowColour = QStringLiteral("#eef3ea");
const QString kRawTextPlaceholder = QStringLiteral("受信中のメールがここに表示されます");

void place(QWidget& widget, const TwipsRect& rect) {
    ui::placeInTwips(&widget, rect);
}

// Places a new label of the window: a picture, a caption, or both in one.
ActiveLabel* newLabel(QWidget* parent, const QString& name, const TwipsRect& rect,
                      const QString& text = {}) {
    auto* label = new ActiveLabel(name, parent);
    label->setText(text);
    place(*label, rect);
    return label;
}

QLineEdit* newField(QWidget* parent, const QString& name, const TwipsRect& rect,
                    Qt::Alignment alignment) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(name);
    field->setReadOnly(true);
    field->setAlignment(alignment);
    field->setFocusPolicy(Qt::NoFocus);
    place(*field, rect);
    return field;
}

// The system's short date and its short time with the seconds added, as a
// date-time value is written on the system ("2026/12/08 9:05:03" on a
// Japanese one): the system's own form, whatever language Qt's texts have.
QString localClockText(const QDateTime& now) {
    const QLocale locale = QLocale::system();
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    const qsizetype minutes = timeFormat.indexOf(QStringLiteral("mm"));
    if (!timeFormat.contains(QLatin1Char('s')) && minutes >= 0) {
        const QString separator =
            minutes > 0 ? timeFormat.mid(minutes - 1, 1) : QStringLiteral(":");
        timeFormat.insert(minutes + 2, separator + QStringLiteral("ss"));
    }
    return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(now.time(), timeFormat);
}

// Nine spaces lead the caption of the box that takes unsorted mail.
const QString kOtherBoxCaption = QStringLiteral("         その他");

}  // namespace

MainWindow::MainWindow(Application& app) : m_app(app) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quillfern Ver 1.55"));
    setFixedSize(twipsToPixels(layout::kClient.width), twipsToPixels(layout::kClient.height));
    createControls();
    connectHelpTexts();
    connectButtons();

    // The timers are controls of the window like the others: named, and its
    // children, so they can be found by name. A member child leaves the
    // parent's list when it is destroyed, before the window deletes children.
    const std::tuple<QTimer*, const char16_t*, int> timers[] = {{&m_risingTimer, u"Timer1", 100},
                                                                {&m_fallingTimer, u"Timer2", 100},
                                                                {&m_clockTimer, u"Timer3", 1000}};
    for (const auto& [timer, name, intervalMs] : timers) {
        timer->setParent(this);
        timer->setObjectName(QString::fromUtf16(name));
        timer->setInterval(intervalMs);
    }
    connect(&m_risingTimer, &QTimer::timeout, this,
            [this] { slideOneStep(*m_risingPicture, layout::kRisingTops, m_risingStep); });
    connect(&m_fallingTimer, &QTimer::timeout, this,
            [this] { slideOneStep(*m_fallingPicture, layout::kFallingTops, m_fallingStep); });
    connect(&m_clockTimer, &QTimer::timeout, this, &MainWindow::showClock);
    showClock();
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls() {
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(
        QStringLiteral(
            "qf--app--MainWindow { background: %1; }"
            "QLineEdit { background: white; border: 1px solid #9fbf9a; border-radius: 3px;"
            "  padding: 0 3px; color: #1f3d25; }"
            "QPlainTextEdit { background: #fbfdf8; border: 1px solid #9fbf9a; border-radius: 3px;"
            "  color: #48604c; }")
            .arg(kWindowColour));

    m_banner = newLabel(this, QStringLiteral("Image1"), layout::kBanner);
    m_banner->showPicture(picture(QStringLiteral("Title.gif")));
    m_homePageButton =
        newLabel(this, QStringLiteral("Label22"), layout::kHomePage, QStringLiteral("  HP"));
    m_minimiseButton =
        newLabel(this, QStringLiteral("Label23"), layout::kMinimise, QStringLiteral("Small"));
    m_searchButton =
        newLabel(this, QStringLiteral("Label24"), layout::kSearch, QStringLiteral("検索"));
    for (ActiveLabel* small : {m_homePageButton, m_minimiseButton, m_searchButton}) {
        small->setAlignment(Qt::AlignCenter);
        small->setCursor(Qt::PointingHandCursor);
        small->setStyleSheet(QStringLiteral(
            "color: white; border: 1px solid #d9c27a; border-radius: 4px; font-weight: bold;"));
    }
    m_version = ui::plainLabel(QStringLiteral("Ver 1.55"), this);
    m_version->setObjectName(QStringLiteral("Label21"));
    m_version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_version->setStyleSheet(QStringLiteral("color: #d9e8d0; font-size: 8pt;"));
    place(*m_version, layout::kVersion);

    m_risingPicture = newLabel(this, QStringLiteral("Image17"), layout::kRisingPicture);
    m_risingPicture->showPicture(picture(QStringLiteral("Rising.gif")));
    m_fallingPicture = newLabel(this, QStringLiteral("Image18"), layout::kFallingPicture);
    m_fallingPicture->showPicture(picture(QStringLiteral("Falling.gif")));

    createButtons();
    createBoxTable();
    createStatusArea();
}

void MainWindow::createButtons() {
    struct ButtonParts {
        ActiveLabel** caption;
        ActiveLabel** face;
        const char16_t* captionName;
        const char16_t* faceName;
        const char16_t* letter;
        const char16_t* picture;
    };
    const ButtonParts buttons[2][4] = {
        {{&m_newButton, &m_newPicture, u"Label5", u"Image3", u"N", u"Botan1.gif"},
         {&m_receiveButton, &m_receivePicture, u"Label6", u"Image2", u"R", u"Botan2.gif"},
         {&m_sentButton, &m_sentPicture, u"Label8", u"Image10", u"S", u"Botan4.gif"},
         {&m_keepButton, &m_keepPicture, u"Label15", u"Image11", u"K", u"Botan5.gif"}},
        {{&m_addressButton, &m_addressPicture, u"Label16", u"Image4", u"Ad", u"Botan3.gif"},
         {&m_divideButton, &m_dividePicture, u"Label17", u"Image15", u"D", u"Botan6.gif"},
         {&m_attachButton, &m_attachPicture, u"Label18", u"Image13", u"At", u"Botan7.gif"},
         {&m_settingsButton, &m_settingsPicture, u"Label19", u"Image12", u"O", u"Botan8.gif"}},
    };
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 4; ++column) {
            const ButtonParts& parts = buttons[row][column];
            // The face first, so that its caption lies on top of it.
            *parts.face =
                newLabel(this, QString::fromUtf16(parts.faceName), layout::buttonFace(row, column));
            (*parts.face)->showPicture(picture(QString::fromUtf16(parts.picture)));
            *parts.caption =
                newLabel(this, QString::fromUtf16(parts.captionName),
                         layout::buttonCaption(row, column), QString::fromUtf16(parts.letter));
            (*parts.caption)->setAlignment(Qt::AlignCenter);
            (*parts.caption)
                ->setStyleSheet(
                    QStringLiteral("color: white; font-size: 20pt; font-weight: bold;"));
            for (ActiveLabel* part : {*parts.face, *parts.caption}) {
                part->setCursor(Qt::PointingHandCursor);
            }
        }
    }
}

void MainWindow::createBoxTable() {
    m_boxPanel = newLabel(this, QStringLiteral("Image14"), layout::kBoxPanel);
    m_boxPanel->showPicture(picture(QStringLiteral("Panel.gif")));
    const QString headingStyle = QStringLiteral("color: #1f5a29; font-weight: bold;");
    for (const auto& [text, rect] : {std::pair{QStringLiteral("累積"), layout::kTotalHeading},
                                     std::pair{QStringLiteral("新着"), layout::kNewHeading}}) {
        auto* heading = ui::plainLabel(text, this);
        heading->setAlignment(Qt::AlignCenter);
        heading->setStyleSheet(headingStyle);
        place(*heading, rect);
    }

    // Rows of boxes 1-6: caption label, registered address, total, new.
    struct Names {
        ActiveLabel** caption;
        QLineEdit** address;
        QLineEdit** total;
        QLineEdit** fresh;
        const char16_t* captionName;
        const char16_t* addressName;
        const char16_t* totalName;
        const char16_t* freshName;
    };
    const Names names[kReceivingBoxes] = {
        {&m_box1Caption, &m_box1Address, &m_box1Total, &m_box1New, u"Label3", u"Text13", u"Text1",
         u"Text2"},
        {&m_box2Caption, &m_box2Address, &m_box2Total, &m_box2New, u"Label4", u"Text14", u"Text4",
         u"Text3"},
        {&m_box3Caption, &m_box3Address, &m_box3Total, &m_box3New, u"Label9", u"Text15", u"Text6",
         u"Text5"},
        {&m_box4Caption, &m_box4Address, &m_box4Total, &m_box4New, u"Label11", u"Text16", u"Text8",
         u"Text7"},
        {&m_box5Caption, &m_box5Address, &m_box5Total, &m_box5New, u"Label12", u"Text17", u"Text10",
         u"Text9"},
        {&m_otherBoxCaption, nullptr, &m_otherBoxTotal, &m_otherBoxNew, u"Label13", nullptr,
         u"Text12", u"Text11"},
    };
    for (int i = 0; i < kReceivingBoxes; ++i) {
        const Names& n = names[i];
        *n.caption = newLabel(this, QString::fromUtf16(n.captionName), layout::boxCaption(i));
        (*n.caption)->setCursor(Qt::PointingHandCursor);
        (*n.caption)->setStyleSheet(QStringLiteral("color: #1f3d25; font-weight: bold;"));
        QLineEdit* address = nullptr;
        if (n.address != nullptr) {
            address = newField(this, QString::fromUtf16(n.addressName), layout::boxAddress(i),
                               Qt::AlignLeft | Qt::AlignVCenter);
            address->setPlaceholderText(QStringLiteral("（未登録）"));
            address->setStyleSheet(QStringLiteral(
                "background: transparent; border: none; color: #5f7a63; font-size: 7pt;"));
            *n.address = address;
        }
        *n.total = newField(this, QString::fromUtf16(n.totalName), layout::boxTotal(i),
                            Qt::AlignRight | Qt::AlignVCenter);
        *n.fresh = newField(this, QString::fromUtf16(n.freshName), layout::boxNew(i),
                            Qt::AlignRight | Qt::AlignVCenter);
        (*n.fresh)->setStyleSheet(QStringLiteral("color: #b5493d; font-weight: bold;"));
        m_rows[static_cast<std::size_t>(i)] = {*n.caption, address, *n.total, *n.fresh, {}, 0};
    }
    m_otherBoxCaption->setText(kOtherBoxCaption);
}

void MainWindow::createStatusArea() {
    m_rawText = new QPlainTextEdit(this);
    m_rawText->setObjectName(QStringLiteral("Text19"));
    m_rawText->setReadOnly(true);
    m_rawText->setFocusPolicy(Qt::NoFocus);
    m_rawText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_rawText->setPlaceholderText(kRawTextPlaceholder);
    place(*m_rawText, layout::kRawText);

    m_noNewMailNotice = newField(this, QStringLiteral("Text20"), layout::kNotice, Qt::AlignCenter);
    m_noNewMailNotice->setStyleSheet(QStringLiteral(
        "background: #fff6d8; border: 1px solid #d9c27a; color: #b5493d; font-weight: bold;"));

    m_helpBar = ui::plainLabel(ui::words(ui::Say::kIdle, {}, QString()), this);
    m_helpBar->setObjectName(QStringLiteral("Label10"));
    m_helpBar->setStyleSheet(QStringLiteral(
        "background: #fbfdf8; border: 1px solid #9fbf9a; border-radius: 3px; padding: 0 6px;"
        "color: #1f3d25;"));
    place(*m_helpBar, layout::kHelpBar);

    m_clock = newField(this, QStringLiteral("Text18"), layout::kClock, Qt::AlignCenter);
}

void MainWindow::connectHelpTexts() {
    const std::pair<ActiveLabel*, QString> texts[] = {
        {m_newButton, QStringLiteral("「New」メールの新規作成を行います。")},
        {m_receiveButton, QStringLiteral("「Receive」新規メールの受信を行います。")},
        {m_sentButton, QStringLiteral("「Send」送信メールの履歴閲覧を行います。")},
        {m_keepButton, QStringLiteral("「Keep」保管箱の閲覧。")},
        {m_addressButton, QStringLiteral("「Address」メールアドレスの登録を行います。")},
        {m_divideButton, QStringLiteral("「Devide」分別用のアドレスを登録。")},
        {m_dividePicture, QStringLiteral("「Divide」新着メール分別の為の登録を実行。")},
        {m_attachButton, QStringLiteral("「Attach to」添付ファイルの確認。")},
        {m_settingsButton, QStringLiteral("「Other」ID,パスワードの設定を行います。")},
        {m_homePageButton, QStringLiteral("「HP」Quillfernのホームページです。")},
        {m_minimiseButton, QStringLiteral("フォーム（メイン画面）の最小化を行います。")},
        {m_searchButton,
         QStringLiteral("「検索」全てのメールボックスからメールを探します。（Ctrl+F）")},
        {m_banner, QString()},
        {m_boxPanel, QString()},
    };
    for (const auto& [control, text] : texts) {
        connect(control, &ActiveLabel::hovered, this, [this, help = text] { showHelpText(help); });
    }
}

void MainWindow::connectButtons() {
    // A press on the caption or on the face of a picture button.
    const auto button = [this](ActiveLabel* caption, ActiveLabel* face, QString own, auto action) {
        const auto press = [this, face, own, action] {
            ui::pressThenAct(*face, picture(kPressedPicture), picture(own), action);
        };
        connect(caption, &ActiveLabel::clicked, this, press);
        connect(face, &ActiveLabel::clicked, this, press);
        face->setFocusPolicy(Qt::NoFocus);  // the caption on it is the keyboard's stop
    };
    button(m_newButton, m_newPicture, QStringLiteral("Botan1.gif"),
           [this] { m_actions.compose(); });
    button(m_receiveButton, m_receivePicture, QStringLiteral("Botan2.gif"),
           [this] { m_actions.receive(); });
    button(m_addressButton, m_addressPicture, QStringLiteral("Botan3.gif"),
           [this] { m_actions.addressBook(); });
    button(m_divideButton, m_dividePicture, QStringLiteral("Botan6.gif"),
           [this] { m_actions.sortingRegistration(); });
    button(m_attachButton, m_attachPicture, QStringLiteral("Botan7.gif"),
           [this] { m_actions.attachments(); });
    button(m_settingsButton, m_settingsPicture, QStringLiteral("Botan8.gif"),
           [this] { m_actions.settings(); });
    button(m_sentButton, m_sentPicture, QStringLiteral("Botan4.gif"),
           [this] { m_actions.openBox(kSendHistoryBox); });
    button(m_keepButton, m_keepPicture, QStringLiteral("Botan5.gif"),
           [this] { m_actions.openBox(kKeepBox); });

    for (int box = 1; box <= kReceivingBoxes; ++box) {
        connect(row(box).caption, &ActiveLabel::clicked, this,
                [this, box] { m_actions.openBox(box); });
    }
    connect(m_homePageButton, &ActiveLabel::clicked, this, [this] { m_actions.homePage(); });
    connect(m_minimiseButton, &ActiveLabel::clicked, this, &QWidget::showMinimized);
    connect(m_searchButton, &ActiveLabel::clicked, this, [this] { m_actions.search(); });
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] { m_actions.search(); });
    auto* stop = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(stop, &QShortcut::activated, this, [this] { m_actions.stopReceive(); });
    setKeyboardOrder();
}

// Tab goes through the picture buttons row by row, then the boxes, then
// the banner's small buttons (search, home page, minimise); the window opens
// on New.
void MainWindow::setKeyboardOrder() {
    QWidget* const order[] = {m_newButton,     m_receiveButton,   m_sentButton,   m_keepButton,
                              m_addressButton, m_divideButton,    m_attachButton, m_settingsButton,
                              m_box1Caption,   m_box2Caption,     m_box3Caption,  m_box4Caption,
                              m_box5Caption,   m_otherBoxCaption, m_searchButton, m_homePageButton,
                              m_minimiseButton};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    m_newButton->setFocus();
}

void MainWindow::load() {
    const settings::ProgramFolder& folder = m_app.folder();
    reloadRegistrations();
    m_noNewMailNotice->hide();
    showBoxCounts();
    m_app.held().server = settings::readServerSettings(folder.serverSettingsFile());
    // The timed check follows the settings as read, not only later changes.
    m_app.environment().announceServerSettings();
    m_dialogFolder = QDir::currentPath();
    m_risingTimer.start();
    m_fallingTimer.start();
    m_clockTimer.start();
    if (m_app.held().server.pop3.empty()) {
        m_app.showForm<settings::ServerSettingsWindow>();
    }
}

void MainWindow::reloadRegistrations() {
    m_app.held().registrations = settings::readSortingRegistrations(m_app.folder().sortingFile());
    showRegisteredAddresses();
    showBoxCaptions();
}

void MainWindow::showRegisteredAddresses() {
    for (int box = 1; box <= static_cast<int>(settings::kSortingRegistrationCount); ++box) {
        QLineEdit* address = row(box).address;
        address->setText(QString::fromStdString(registration(box).address));
        address->setCursorPosition(0);  // a long address shows its beginning
        address->setToolTip(ui::plainToolTip(address->text()));
    }
}

void MainWindow::showBoxCaptions() {
    for (int box = 1; box <= static_cast<int>(settings::kSortingRegistrationCount); ++box) {
        row(box).caption->setText(QString::fromStdString(registration(box).caption));
    }
}

const settings::SortingRegistration& MainWindow::registration(int box) const {
    return m_app.held().registrations[static_cast<std::size_t>(box - 1)];
}

void MainWindow::showBoxCounts() {
    store::MailStore& mailStore = m_app.mailStore();
    for (int box = 1; box <= kReceivingBoxes; ++box) {
        Status created = mailStore.createIfMissing(box);
        Result<int> count = created.isOk() ? mailStore.count(box) : Result<int>(created);
        row(box).totalCount = count.isOk() ? std::optional<int>(count.value()) : std::nullopt;
        showCounts(box);
        if (!count.isOk()) {
            ui::tell(this, ui::Say::kBoxFileNotOpened, {},
                     QString::fromStdString(count.status().message()));
        }
    }
}

void MainWindow::showClock() {
    m_clock->setText(localClockText(QDateTime::currentDateTime()));
}

QString MainWindow::clockText() const {
    return m_clock->text();
}

void MainWindow::showHelpText(const QString& text) {
    m_helpBar->setText(text);
}

void MainWindow::showProgress(const QString& text) {
    showHelpText(text);
}

void MainWindow::showRawText(const QString& text) {
    m_rawText->setPlainText(text);
}

// The notice lies on the raw-text field; its placeholder steps aside
// meanwhile, so the two texts are not drawn over each other.
void MainWindow::showNoNewMailNotice(const QString& notice) {
    m_rawText->setPlaceholderText(QString());
    m_noNewMailNotice->show();
    m_noNewMailNotice->setText(notice);
}

void MainWindow::endNoNewMailNotice() {
    m_noNewMailNotice->hide();
    m_rawText->setPlaceholderText(kRawTextPlaceholder);
}

// Each tick moves the picture to its next stop and holds it there until the
// next tick, 100 ms later; after the last stop it starts again from the first.
// Driving the slide from the timer rather than waiting between stops inside
// one tick keeps the two slides from nesting their waits in each other's,
// where each would hold the other (and a button's press) up for seconds.
void MainWindow::slideOneStep(ActiveLabel& picture, const std::array<int, 13>& tops,
                              std::size_t& step) {
    picture.move(picture.x(), twipsToPixels(tops[step]));
    step = (step + 1) % tops.size();
}

const MainWindow::BoxRow& MainWindow::row(int box) const {
    Q_ASSERT(box >= 1 && box <= kReceivingBoxes);
    return m_rows[static_cast<std::size_t>(box - 1)];
}

MainWindow::BoxRow& MainWindow::row(int box) {
    Q_ASSERT(box >= 1 && box <= kReceivingBoxes);
    return m_rows[static_cast<std::size_t>(box - 1)];
}

void MainWindow::showCounts(int box) {
    const BoxRow& counts = row(box);
    counts.total->setText(counts.totalCount ? QString::number(*counts.totalCount) : QString());
    counts.fresh->setText(counts.newCount > 0 ? QString::number(counts.newCount) : QString());
}

QString MainWindow::registeredAddress(int box) const {
    return row(box).address->text();
}

QString MainWindow::boxCaption(int box) const {
    return row(box).caption->text();
}

void MainWindow::countNewMail(int box) {
    ++row(box).newCount;
    showCounts(box);
}

// A total that could not be read counts from nothing.
void MainWindow::addNewToTotal(int box) {
    BoxRow& counts = row(box);
    counts.totalCount = counts.totalCount.value_or(0) + counts.newCount;
    counts.newCount = 0;
    showCounts(box);
}

// The mails not yet added to the total stay counted as new, as far as the
// file still holds them; total plus new is what the file holds.
void MainWindow::showBoxCount(int box, int count) {
    BoxRow& counts = row(box);
    counts.newCount = std::min(counts.newCount, count);
    counts.totalCount = count - counts.newCount;
    showCounts(box);
}

QString MainWindow::picture(const QString& name) const {
    return m_app.picturePath(name);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A mail being written is not lost without a question; nothing else is
    // asked at the end.
    if (m_app.environment().anyWindowHoldsTypedText() &&
        !ui::tell(this, ui::Say::kDiscardTypedMailAtExit)) {
        event->ignore();
        return;
    }
    // A receive under way stops after the mail being stored; the window
    // closes when it has (nothing is lost, so nothing is asked).
    if (!m_actions.mayCloseNow()) {
        event->ignore();
        return;
    }
    m_risingTimer.stop();
    m_fallingTimer.stop();
    m_clockTimer.stop();
    event->accept();
    emit closing();
}

}  // namespace qf::app
