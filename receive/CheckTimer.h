// The timed check for new mail: every N minutes (the server settings'
// "CHECK=" line; off when it is absent) the same receive run as the Receive
// button. It starts only while the program waits for the user at the top of
// its event loop: no modal question or menu open, no send, wait or receive
// run in progress. When it comes due at a busy moment it tries again a
// little later. It never starts sooner than the server's LOGIN-DELAY after
// the last run, the Receive button's included (CheckSchedule).
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>

#include "receive/CheckSchedule.h"
#include "receive/ReceiveRun.h"

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::receive {

class CheckTimer : public QObject {
    Q_OBJECT

  public:
    // Follows the held server settings from now on. `minute` is the length
    // of a minute of the setting (tests shorten it).
    explicit CheckTimer(ui::WindowEnvironment& env,
                        std::chrono::milliseconds minute = std::chrono::minutes(1));

    // True while a check is planned.
    bool isActive() const { return m_timer.isActive(); }
    // How long until the planned check; meaningful while isActive().
    std::chrono::milliseconds remainingTime() const { return m_timer.remainingTimeAsDuration(); }

    // The longest wait before a due check is tried again at a busy moment.
    static constexpr std::chrono::seconds kBusyRetry{5};

  private:
    void followSettings();
    void noteRun(const ReceiveOutcome& outcome);
    void plan();
    void checkNow();
    bool programBusy() const;

    ui::WindowEnvironment& m_env;
    std::chrono::milliseconds m_minute;
    CheckSchedule m_schedule;
    QTimer m_timer;
};

}  // namespace qf::receive
