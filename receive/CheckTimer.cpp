#include "receive/CheckTimer.h"

#include <QApplication>
#include <algorithm>

#include "receive/ReceiveWindows.h"
#include "ui/BusyScope.h"
#include "ui/WindowEnvironment.h"

namespace qf::receive {
namespace {

using Clock = CheckSchedule::Clock;
using std::chrono::milliseconds;

}  // namespace

CheckTimer::CheckTimer(ui::WindowEnvironment& env, milliseconds minute)
    : QObject(&env), m_env(env), m_minute(minute) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CheckTimer::checkNow);
    connect(&m_env, &ui::WindowEnvironment::serverSettingsChanged, this,
            &CheckTimer::followSettings);
    connect(&ReceiveController::of(m_env), &ReceiveController::runEnded, this,
            &CheckTimer::noteRun);
    followSettings();
}

void CheckTimer::followSettings() {
    m_schedule.setInterval(m_minute * m_env.held().server.checkMinutes, Clock::now());
    plan();
}

void CheckTimer::noteRun(const ReceiveOutcome& outcome) {
    m_schedule.noteRun(Clock::now(), outcome.loginDelaySeconds);
    plan();
}

void CheckTimer::plan() {
    if (!m_schedule.enabled()) {
        m_timer.stop();
        return;
    }
    const auto wait = std::chrono::ceil<milliseconds>(m_schedule.nextCheck() - Clock::now());
    m_timer.start(std::max(wait, milliseconds::zero()));
}

void CheckTimer::checkNow() {
    if (!m_schedule.enabled() || m_env.shuttingDown()) {
        return;
    }
    if (Clock::now() < m_schedule.nextCheck()) {
        plan();
        return;
    }
    if (programBusy()) {
        m_timer.start(
            std::min<milliseconds>(m_minute * m_env.held().server.checkMinutes, kBusyRetry));
        return;
    }
    // The run's end plans the next check (noteRun).
    (void)ReceiveController::of(m_env).start(RunTrigger::kTimer);
}

// A run started now would break into what the user is doing or answering.
bool CheckTimer::programBusy() const {
    return QApplication::activeModalWidget() != nullptr ||
           QApplication::activePopupWidget() != nullptr || ui::BusyScope::active() ||
           ReceiveController::of(m_env).isRunning();
}

}  // namespace qf::receive
