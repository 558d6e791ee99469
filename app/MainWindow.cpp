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
            ui::tell(this, ui::Say::kBoxFileNotOpened, {}, count.status());
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
    m_rawText->setPlaceholderText(ui::words(ui::Say::kRawTextPlaceholder, {}, QString()));
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
