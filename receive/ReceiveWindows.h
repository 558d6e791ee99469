// The receive run as the windows show it: the main window counts each stored
// mail and shows the run's progress and the raw text of the mail being
// fetched; the viewer's fields show the mail being stored; messages come up
// in message boxes; a run that could not reach the server or log in says so
// and what to check; at the end of a run that succeeded, while no mail has
// been stored in this program run, the "新着メールなし" notice shows for six
// seconds.
//
// While a run works, clicks and keys on the program's windows are held off
// (a message box the run shows still takes them), so no second run can start
// inside it. The notice comes after the run, when the windows take input
// again; it is taken down by a timer rather than a wait inside the Receive
// handler, so it ends on time whatever else runs meanwhile. A new run ends a
// notice that is still up.
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

#include "receive/ReceiveRun.h"

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::receive {

// Who started a run.
enum class RunTrigger { kButton, kTimer };

class ReceiveController : public QObject {
    Q_OBJECT

  public:
    // The application's controller, created on first use; it lives as long as
    // the application and keeps the new-mail flag of the program run.
    static ReceiveController& of(ui::WindowEnvironment& env);

    bool isRunning() const { return m_session.isRunning(); }

    // One receive run with the settings and account the windows hold.
    // Returns kAlreadyRunning, doing nothing, while a run is in progress.
    ReceiveOutcome run(RunTrigger trigger = RunTrigger::kButton);
    // The same through another transport (tests).
    ReceiveOutcome run(MailTransport& transport, RunTrigger trigger = RunTrigger::kButton);

    // How long the no-new-mail notice stays up.
    static constexpr int kNoticeMs = 6000;

  signals:
    // A run has ended and the user has been told about it.
    void runEnded(const qf::receive::ReceiveOutcome& outcome);

  private:
    explicit ReceiveController(ui::WindowEnvironment& env);

    ReceiveRequest request();
    void tellOutcome(const ReceiveOutcome& outcome);
    void tellTimedOutcome(const ReceiveOutcome& outcome);
    void showNoNewMailNotice();
    void endNoNewMailNotice();

    ui::WindowEnvironment& m_env;
    ReceiveSession m_session;
    // The question on a lost seen-list was answered キャンセル in this program
    // run: the timed check waits for the Receive button rather than asking
    // again at every interval.
    bool m_seenListDeclined = false;
    QTimer m_notice;
};

// The Receive button: one run, unless one is already in progress.
void runReceive(ui::WindowEnvironment& env);

}  // namespace qf::receive
