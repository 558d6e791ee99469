#include "compose/SendWorker.h"

#include <QMetaObject>
#include <QThread>

namespace qf::compose {

SendWorker::SendWorker(QObject* context) : m_context(context) {}

SendWorker::~SendWorker() {
    if (m_thread) {
        m_stop = true;
        m_thread->wait();
    }
}

void SendWorker::post(std::function<void()> report) const {
    // Queued to the context object: dropped with it, never run on this thread.
    QMetaObject::invokeMethod(m_context.data(), std::move(report), Qt::QueuedConnection);
}

void SendWorker::start(std::function<void()> job, std::function<void()> done) {
    if (m_running || m_context.isNull()) {
        return;
    }
    if (m_thread) {
        m_thread->wait();  // the last job's thread has posted its end already
    }
    m_running = true;
    m_stop = false;
    m_thread.reset(QThread::create([this, job = std::move(job), done = std::move(done)]() mutable {
        job();
        post([this, done = std::move(done)] {
            m_running = false;
            done();
        });
    }));
    m_thread->start();
}

}  // namespace qf::compose
