#include "receive/ReceiveWindows.h"

#include <QTime>
#include <QWidget>
#include <algorithm>
#include <map>
#include <set>
#include <string_view>

#include "receive/ReceiveAccount.h"
#include "receive/ReceiveJob.h"
#include "receive/ReceiveWords.h"
#include "store/MailStore.h"
#include "ui/MessageBoxes.h"
#include "ui/TextConversion.h"
#include "ui/WindowEnvironment.h"

namespace qf::receive {
namespace {

using ui::fromUtf8;

constexpr std::size_t kRawTextShownBytes = 64 * 1024;

// What the run tells the windows, shown as it happens (on the window thread:
// ReceiveJob brings every callback there).
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
    // The record each of those boxes took last.
    const std::map<int, int>& lastRecords() const { return m_lastRecords; }

    void onRegistrationsRead(const settings::SortingRegistrations& registrations) override {
        m_env.held().registrations = registrations;
    }

    void onProgress(int mailNumber, int mailCount) override {
        if (m_stopping) {
            return;  // the help bar says the run is stopping
        }
        m_main.showProgress(ui::words(ui::Say::kReceiveProgress,
                                      {QString::number(mailNumber), QString::number(mailCount)},
                                      QString()) +
                            ui::words(ui::Say::kReceiveStopKey, {}, QString()));
    }

    void noteStopping() {
        m_stopping = true;
        m_main.showHelpText(ui::words(ui::Say::kReceiveStopping, {}, QString()));
    }

    // The start of the raw text: the field previews the mail, and laying out
    // a mail of many megabytes would hold the window for a second or more.
    void onRawText(const std::string& text) override {
        std::size_t shown = std::min(text.size(), kRawTextShownBytes);
        while (shown < text.size() && shown > 0 &&
               (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80) {
            --shown;  // not inside a character
        }
        m_main.showRawText(fromUtf8(std::string_view(text).substr(0, shown)));
    }

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

    void onMailStored(int slot, int recordNumber) override {
        const int box = slot + 1;
        m_boxesWithNewMail.insert(box);
        m_lastRecords[box] = recordNumber;
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
    bool m_stopping = false;
    std::set<int> m_boxesWithNewMail;
    std::map<int, int> m_lastRecords;
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

ReceiveController::~ReceiveController() = default;

bool ReceiveController::start(RunTrigger trigger) {
    return start(m_network, trigger);
}

bool ReceiveController::start(MailTransport& transport, RunTrigger trigger) {
    if (m_job) {
        return false;
    }
    if (m_notice.isActive()) {
        m_notice.stop();
        endNoNewMailNotice();
    }
    ReceiveRequest run = request();
    // The run writes through a store of its own, on its own thread; the
    // windows' store learns of the new records at the end (finish).
    run.store = nullptr;
    m_job = std::make_unique<ReceiveJob>(
        m_session, std::move(run), transport,
        std::make_unique<WindowObserver>(m_env, trigger, m_seenListDeclined));
    connect(m_job.get(), &ReceiveJob::finished, this,
            [this, trigger](const ReceiveOutcome& outcome) { finish(outcome, trigger); });
    m_job->start();
    return true;
}

void ReceiveController::stop() {
    if (!m_job || m_job->stopRequested()) {
        return;
    }
    m_job->requestStop();
    static_cast<WindowObserver&>(m_job->observer()).noteStopping();
}

bool ReceiveController::settleBeforeClosing(QWidget& window) {
    if (!m_job) {
        return true;
    }
    stop();
    connect(this, &ReceiveController::runEnded, &window, &QWidget::close, Qt::SingleShotConnection);
    return false;
}

void ReceiveController::finish(const ReceiveOutcome& outcome, RunTrigger trigger) {
    // The job's thread has ended; the job itself goes after this call.
    ReceiveJob* job = m_job.release();
    job->deleteLater();
    const auto& observer = static_cast<const WindowObserver&>(job->observer());
    // The windows' store holds each box's last new record in its buffer, as
    // after a write of its own.
    for (const auto& [box, record] : observer.lastRecords()) {
        (void)m_env.mailStore().readRecord(box, record);
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
    m_env.mainWindow().showHelpText(
        ui::words(outcome.end == RunEnd::kStopped ? ui::Say::kReceiveStopped : ui::Say::kIdle, {},
                  QString()));
    if (trigger == RunTrigger::kTimer) {
        tellTimedOutcome(outcome);
    } else {
        tellOutcome(outcome);
    }
    if (observer.noticeRequested()) {
        showNoNewMailNotice();
    }
    emit runEnded(outcome);
}

// What the run itself did not tell as it went: why it could not start, and
// an account that was to be kept but could not be written.
void ReceiveController::tellOutcome(const ReceiveOutcome& outcome) {
    QWidget* main = &m_env.mainWindow().window();
    if (std::optional<ui::Message> failed = startFailureOf(outcome, m_env.held().server.pop3)) {
        ui::tell(main, *failed);
    }
    if (!outcome.accountSave) {
        ui::tell(main, {ui::Say::kReceiveAccountNotSaved, {}, outcome.accountSave.outsideText()});
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
    main.showNoNewMailNotice(ui::words(ui::Say::kReceiveNoNewMailNotice, {}, QString()));
    main.showHelpText(ui::words(ui::Say::kReceiveNoNewMailHelp, {}, QString()));
    m_notice.start();
}

void ReceiveController::endNoNewMailNotice() {
    ui::MainWindowIntents& main = m_env.mainWindow();
    main.endNoNewMailNotice();
    main.showHelpText(ui::words(ui::Say::kIdle, {}, QString()));
}

void runReceive(ui::WindowEnvironment& env) {
    (void)ReceiveController::of(env).start();
}

}  // namespace qf::receive
