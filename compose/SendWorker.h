// A send off the window thread: one job at a time on a thread of its own,
// its reports carried back to the window thread in order.
//
// The job asks stopRequested() between passes; destroying the worker asks it
// to stop and waits for the pass under way (its mail and its history record
// finish), so a window or the program may close while a send runs.
#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

namespace qf::compose {

class SendWorker {
  public:
    // Reports run on `context`'s thread, and not at all once it is gone.
    explicit SendWorker(QObject* context);
    ~SendWorker();
    SendWorker(const SendWorker&) = delete;
    SendWorker& operator=(const SendWorker&) = delete;

    // From the start of a job until its `done` has run.
    bool running() const { return m_running; }

    // Runs `job` on the worker thread, then `done` on the context's thread
    // (after every report the job posted). Ignored while a job runs.
    void start(std::function<void()> job, std::function<void()> done);

    // Thread-safe: the job's reports (progress, a failure box) run on the
    // context's thread, in the order posted.
    void post(std::function<void()> report) const;

    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }

  private:
    QPointer<QObject> m_context;
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_stop = false;
    bool m_running = false;
};

}  // namespace qf::compose
