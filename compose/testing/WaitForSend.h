// Sends run off the window thread: a test waits for one to end before it
// looks at what the window shows.
#pragma once

#include <QPointer>
#include <QTest>

namespace qf::compose::testing {

// True when the send ended (or the window closed) within the time.
template <typename Window>
bool waitForSend(Window* window, int timeoutMs = 60000) {
    const QPointer<Window> alive(window);
    return QTest::qWaitFor([&] { return alive.isNull() || !alive->sending(); }, timeoutMs);
}

}  // namespace qf::compose::testing
