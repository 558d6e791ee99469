// One receive run as a background job: the run (Qt-free, ReceiveRun.h) works
// on a thread of its own, and the observer given here hears every callback
// on the thread that made the job (the window thread), in order, through
// queued calls. The windows repaint and take input meanwhile.
//
// Why a worker thread rather than Qt's asynchronous sockets: the run is core
// code the store tool runs on a terminal too, and much of its time goes to
// disk, not to the network (decoding a large mail, writing its attachments,
// syncing the box files). A thread takes all of it off the window thread
// and leaves the run a plain sequence of steps, which the journal's rules
// depend on; the windows only ever see its callbacks.
//
// The question on a lost seen-list waits for the window thread's answer;
// a stop requested meanwhile answers it with kCancel.
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "receive/MailTransport.h"
#include "receive/ReceiveRun.h"

namespace qf::receive {

class ReceiveJob final : public QObject {
    Q_OBJECT

  public:
    // `session` and `transport` must outlive the job; `observer` is the job's.
    ReceiveJob(ReceiveSession& session, ReceiveRequest request, MailTransport& transport,
               std::unique_ptr<ReceiveObserver> observer, QObject* parent = nullptr);
    // Stops the run at its next safe point and waits for it.
    ~ReceiveJob() override;
    ReceiveJob(const ReceiveJob&) = delete;
    ReceiveJob& operator=(const ReceiveJob&) = delete;

    void start();
    // Stops the run after the mail being stored (before the login: at once).
    void requestStop();
    bool stopRequested() const { return m_stop.load(); }
    ReceiveObserver& observer() { return *m_observer; }

  signals:
    // On the window thread, after every callback of the run.
    void finished(const qf::receive::ReceiveOutcome& outcome);

  private:
    class Relay;

    SeenListChoice askOnWindowThread(const SeenListLoss& loss);

    ReceiveSession& m_session;
    ReceiveRequest m_request;
    MailTransport& m_transport;
    std::unique_ptr<ReceiveObserver> m_observer;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    // The answer to the seen-list question, handed from the window thread.
    std::mutex m_answerMutex;
    std::condition_variable m_answered;
    std::optional<SeenListChoice> m_answer;
};

}  // namespace qf::receive
