// The wait routine: lets the program's events (clicks, timers, repaints) run
// for a given time and then returns, without keeping the processor busy.
#pragma once

namespace qf::ui {

// Runs a nested event loop until more than `milliseconds` have passed.
// Returns true after the full wait; false when the wait was cut short
// because the application is quitting (every event loop is then told to
// end), so that callers stop their animations instead of carrying on.
bool waitMs(int milliseconds);

}  // namespace qf::ui
