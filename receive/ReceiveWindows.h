// The receive run as the windows show it: the main window counts each stored
// mail and shows the run's progress and the raw text of the mail being
// fetched; the viewer's fields show the mail being stored; messages come up
// in message boxes; a run that could not reach the server or log in says so
// and what to check; at the end of a run that succeeded, while no mail has
// been stored in this program run, the "新着メールなし" notice shows for six
// seconds.
//
// The run is a background job (ReceiveJob.h): every window repaints and
// takes input while it works, and what the run tells is shown as it comes.
// The Receive button starts no second run meanwhile; Esc on the main window
// (the help bar says so) stops it after the mail being stored, and so does
// closing the program, which closes once the run has ended. The notice is
// taken down by a timer; a new run ends a notice that is still up.
//
// A run the timer starts (CheckTimer) is the same run. What would come up
// again at every tick while nothing changes is said in the help bar instead
// of a message box: that the run could not reach the server or log in (the
// Receive button then says why), and that it waits for an answer on a lost
// seen-list once the question was answered キャンセル. It shows no
// "新着メールなし" notice.
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

#include "receive/MailTransport.h"
#include "receive/ReceiveRun.h"

class QWidget;

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::receive {

class ReceiveJob;

// Who started a run.
enum class RunTrigger { kButton, kTimer };

class ReceiveController : public QObject {
    Q_OBJECT

  public:
    // The application's controller, created on first use; it lives as long as
    // the application and keeps the new-mail flag of the program run.
    static ReceiveController& of(ui::WindowEnvironment& env);
    // Stops a run still under way and waits for it.
    ~ReceiveController() override;

    bool isRunning() const { return m_job != nullptr; }

    // Starts one receive run in the background with the settings and account
    // the windows hold; runEnded follows. False, doing nothing, while a run
    // is in progress.
    bool start(RunTrigger trigger = RunTrigger::kButton);
    // The same through another transport (tests), which must outlive the run.
    bool start(MailTransport& transport, RunTrigger trigger = RunTrigger::kButton);
    // Stops the run under way after the mail being stored; the help bar says so.
    void stop();
    // True when nothing runs. Otherwise the run is stopped, `window` is
    // closed again once it has ended, and false.
    bool settleBeforeClosing(QWidget& window);

    // How long the no-new-mail notice stays up.
    static constexpr int kNoticeMs = 6000;

  signals:
    // A run has ended and the user has been told about it.
    void runEnded(const qf::receive::ReceiveOutcome& outcome);

  private:
    explicit ReceiveController(ui::WindowEnvironment& env);

    void finish(const ReceiveOutcome& outcome, RunTrigger trigger);
    ReceiveRequest request();
    void tellOutcome(const ReceiveOutcome& outcome);
    void tellTimedOutcome(const ReceiveOutcome& outcome);
    void showNoNewMailNotice();
    void endNoNewMailNotice();

    ui::WindowEnvironment& m_env;
    ReceiveSession m_session;
    NetworkTransport m_network;
    std::unique_ptr<ReceiveJob> m_job;
    // The question on a lost seen-list was answered キャンセル in this program
    // run: the timed check waits for the Receive button rather than asking
    // again at every interval.
    bool m_seenListDeclined = false;
    QTimer m_notice;
};

// The Receive button: one run, unless one is already in progress.
void runReceive(ui::WindowEnvironment& env);

}  // namespace qf::receive
