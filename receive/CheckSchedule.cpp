#include "receive/CheckSchedule.h"

#include <algorithm>

namespace qf::receive {

void CheckSchedule::setInterval(Clock::duration interval, Clock::time_point now) {
    if (!enabled()) {
        m_lastRun = now;
    }
    m_interval = std::max(interval, Clock::duration::zero());
}

void CheckSchedule::noteRun(Clock::time_point now, std::optional<int> loginDelaySeconds) {
    m_lastRun = now;
    if (loginDelaySeconds) {
        m_loginDelay = std::chrono::seconds(std::max(0, *loginDelaySeconds));
    }
}

CheckSchedule::Clock::time_point CheckSchedule::nextCheck() const {
    const Clock::duration wait = std::max<Clock::duration>(m_interval, m_loginDelay);
    return m_lastRun + wait;
}

}  // namespace qf::receive
