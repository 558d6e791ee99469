#include "receive/ReceiveWindows.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTime>
#include <set>

#include "receive/MailTransport.h"
#include "receive/ReceiveAccount.h"
#include "receive/ReceiveWords.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::receive {
namespace {

using ui::fromUtf8;

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}

// Holds off clicks, keys and window closes for the program's windows while it
// lives. A modal message box shown meanwhile still gets them.
class InputHold final : public QObject {
  public:
    InputHold() { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Window-level events reach the widgets again; they are judged there.
        if (!watched->isWidgetType() || !isUserInput(event->type())) {
            return false;
        }
        const QWidget* modal = QApplication::activeModalWidget();
        const auto* widget = static_cast<const QWidget*>(watched);
        return modal == nullptr || !(widget == modal || modal->isAncestorOf(widget));
    }
};

// What the run tells the windows, shown as it happens: the run does not
// return to the event loop, so each change is painted at once.
class WindowObserver final : public ReceiveObserver {
  public:
    // `seenListDeclined`: the program run's note that the question on a lost
    // seen-list was answered キャンセル; a timed run does not ask it again.
    WindowObserver(ui::WindowEnvironment& env, RunTrigger trigger, bool& seenListDeclined)
        : m_env(env),
          m_main(env.mainWindow()),
          m_trigger(trigger),
          m_seenListDeclined(seenListDeclined) {}

    bool noticeRequested() const { return m_noticeRequested; }
    bool staged() const { return m_staged; }
    // The receiving boxes (1-6) this run stored mail in.
    const std::set<int>& boxesWithNewMail() const { return m_boxesWithNewMail; }

    void onRegistrationsRead(const settings::SortingRegistrations& registrations) override {
        m_env.held().registrations = registrations;
    }

    void onProgress(int mailNumber, int mailCount) override {
        m_main.showProgress(
            QStringLiteral("受信中・・・ %1 / %2 通目").arg(mailNumber).arg(mailCount));
    }

    void onRawText(const std::string& text) override { m_main.showRawText(fromUtf8(text)); }

    void onMessage(const ReceiveMessage& message) override {
        // A timed run's refused login is said with its other start failures.
        if (m_trigger == RunTrigger::kTimer && message.kind == MessageKind::kAuthenticationFailed) {
            return;
        }
        ui::tell(&m_main.window(), messageOf(message, m_env.held().server.pop3));
    }

    // The viewer's fields show the mail being stored; the viewer is loaded
    // without being shown when it is not open.
    void onMailStaged(int /*slot*/, const StagedMail& mail) override {
        m_staged = true;
        m_env.intents().stageReceivedMail(fromUtf8(mail.subject), fromUtf8(mail.sender),
                                          fromUtf8(mail.date), fromUtf8(mail.body));
    }

    void onMailStored(int slot, int /*recordNumber*/) override {
        const int box = slot + 1;
        m_boxesWithNewMail.insert(box);
        m_env.held().newMailFlag = true;
        m_main.countNewMail(box);
    }

    void onNoNewMail() override { m_noticeRequested = m_trigger == RunTrigger::kButton; }

    SeenListChoice onSeenListLost(const SeenListLoss& loss) override {
        if (m_trigger == RunTrigger::kTimer && m_seenListDeclined) {
            return SeenListChoice::kCancel;
        }
        const ui::Message question{
            ui::Say::kReceiveSeenListLost, {std::to_string(loss.waiting)}, loss.problem};
        // Enter neither fetches every mail again nor takes unfetched mail as
        // stored: it fetches nothing this time.
        switch (ui::askYesNoCancel(&m_main.window(), QString::fromStdString(ui::words(question)),
                                   QString::fromUtf8(ui::wording(question.id).title),
                                   ui::Choice::kCancelButton)) {
            case ui::Choice::kYesButton:
                return SeenListChoice::kFetchAll;
            case ui::Choice::kNoButton:
                return SeenListChoice::kTreatAsSeen;
            case ui::Choice::kCancelButton:
                break;
        }
        m_seenListDeclined = true;
        return SeenListChoice::kCancel;
    }

  private:
    ui::WindowEnvironment& m_env;
    ui::MainWindowIntents& m_main;
    RunTrigger m_trigger;
    bool& m_seenListDeclined;
    bool m_noticeRequested = false;
    bool m_staged = false;
    std::set<int> m_boxesWithNewMail;
};

}  // namespace

ReceiveController::ReceiveController(ui::WindowEnvironment& env) : QObject(&env), m_env(env) {
    m_notice.setSingleShot(true);
    m_notice.setInterval(kNoticeMs);
    connect(&m_notice, &QTimer::timeout, this, &ReceiveController::endNoNewMailNotice);
}

ReceiveController& ReceiveController::of(ui::WindowEnvironment& env) {
    if (auto* controller =
            env.findChild<ReceiveController*>(QString(), Qt::FindDirectChildrenOnly)) {
        return *controller;
    }
    return *new ReceiveController(env);
}

ReceiveOutcome ReceiveController::run(RunTrigger trigger) {
    NMailTransport transport;
    return run(transport, trigger);
}

ReceiveOutcome ReceiveController::run(MailTransport& transport, RunTrigger trigger) {
    if (m_session.isRunning()) {
        ReceiveOutcome refused;
        refused.end = RunEnd::kAlreadyRunning;
        return refused;
    }
    if (m_notice.isActive()) {
        m_notice.stop();
        endNoNewMailNotice();
    }
    WindowObserver observer(m_env, trigger, m_seenListDeclined);
    ReceiveOutcome outcome;
    {
        InputHold hold;
        outcome = m_session.run(request(), observer, transport);
    }
    // An open box lists its new mail first: listing leaves the box's last
    // mail as its current record, and the staging's end gives the viewer's
    // shown mail back.
    for (int box : observer.boxesWithNewMail()) {
        m_env.announceMailsArrived(box);
    }
    // A viewer the user has open gets its shown mail back after the run.
    if (observer.staged()) {
        m_env.intents().endReceivedMailStaging();
    }
    m_env.mainWindow().showHelpText(QString::fromUtf8(kIdleHelp));
    if (trigger == RunTrigger::kTimer) {
        tellTimedOutcome(outcome);
    } else {
        tellOutcome(outcome);
    }
    if (observer.noticeRequested()) {
        showNoNewMailNotice();
    }
    emit runEnded(outcome);
    return outcome;
}

// What the run itself did not tell as it went: why it could not start, and
// an account that was to be kept but could not be written.
void ReceiveController::tellOutcome(const ReceiveOutcome& outcome) {
    QWidget* main = &m_env.mainWindow().window();
    if (std::optional<ui::Message> failed = startFailureOf(outcome, m_env.held().server.pop3)) {
        ui::tell(main, *failed);
    }
    if (!outcome.accountSave) {
        ui::tell(main, {ui::Say::kReceiveAccountNotSaved, {}, outcome.accountSave.message()});
    }
}

// One line in the help bar: the next tick would only say it again, and the
// Receive button tells the whole of it.
void ReceiveController::tellTimedOutcome(const ReceiveOutcome& outcome) {
    const bool notReached = startFailureOf(outcome, m_env.held().server.pop3).has_value();
    if (notReached || outcome.end == RunEnd::kAuthenticationFailed) {
        m_env.mainWindow().showHelpText(
            ui::words(ui::Say::kTimedCheckFailed, {QTime::currentTime().toString(u"HH:mm")}));
    } else if (outcome.end == RunEnd::kCancelled) {
        m_env.mainWindow().showHelpText(ui::words(ui::Say::kTimedCheckAwaitsAnswer, {}, QString()));
    }
}

// The account is the ID/password window's as typed, else the one confirmed
// there in this run, else the account file's. Routing uses the senders the main window
// shows since start-up.
ReceiveRequest ReceiveController::request() {
    const settings::ServerSettings& server = m_env.held().server;
    ReceiveRequest request;
    request.folder = m_env.folder();
    request.pop3Server = server.pop3;
    request.apop = server.apop;
    request.keepOnServer = server.keepOnServer;
    request.keepDays = server.keepDays;
    // The program's one store: each write fills that box's current record.
    request.store = &m_env.mailStore();
    useAccount(request, m_env.sharedAccountAccess(), m_env.accountInUse());
    request.keepAccount = m_env.accountKeptInFile();
    for (std::size_t i = 0; i < request.routingAddresses.size(); ++i) {
        request.routingAddresses[i] =
            m_env.mainWindow().registeredAddress(static_cast<int>(i) + 1).toStdString();
    }
    return request;
}

void ReceiveController::showNoNewMailNotice() {
    ui::MainWindowIntents& main = m_env.mainWindow();
    main.showNoNewMailNotice(QString::fromUtf8(kNoNewMailNotice));
    main.showHelpText(QString::fromUtf8(kNoNewMailHelp));
    m_notice.start();
}

void ReceiveController::endNoNewMailNotice() {
    ui::MainWindowIntents& main = m_env.mainWindow();
    main.endNoNewMailNotice();
    main.showHelpText(QString::fromUtf8(kIdleHelp));
}

void runReceive(ui::WindowEnvironment& env) {
    (void)ReceiveController::of(env).run();
}

}  // namespace qf::receive
