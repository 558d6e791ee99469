// Marks work that a timed check for new mail must not break into while it
// lets events run: a send between its passes, the wait routine (a button
// shows its pressed picture, then its command runs).
#pragma once

namespace qf::ui {

class BusyScope {
  public:
    BusyScope() { ++s_count; }
    ~BusyScope() { --s_count; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    // True while any scope lives.
    static bool active() { return s_count > 0; }

  private:
    // Windows live on the one user-interface thread.
    static inline int s_count = 0;
};

}  // namespace qf::ui
