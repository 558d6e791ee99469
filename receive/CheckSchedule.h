// When the next timed check for new mail may start.
//
// A check is due one interval after the last receive run ended (the Receive
// button's as well as the timer's), and never before the least time between
// two logins that the server asked for (LOGIN-DELAY) has passed since then.
// The first check comes one interval after the checks were turned on. The
// server's delay is kept from the last run that reached it.
#pragma once

#include <chrono>
#include <optional>

namespace qf::receive {

class CheckSchedule {
  public:
    using Clock = std::chrono::steady_clock;

    // A zero interval turns the checks off. Turning them on (or changing the
    // interval while they are off) starts counting at `now`.
    void setInterval(Clock::duration interval, Clock::time_point now);
    bool enabled() const { return m_interval > Clock::duration::zero(); }

    // A receive run ended at `now`; `loginDelaySeconds` is the server's
    // delay when the run reached it.
    void noteRun(Clock::time_point now, std::optional<int> loginDelaySeconds);

    // The earliest moment of the next check. REQUIRES: enabled().
    Clock::time_point nextCheck() const;

  private:
    Clock::duration m_interval{};
    Clock::time_point m_lastRun{};
    std::chrono::seconds m_loginDelay{};
};

}  // namespace qf::receive
