#include "receive/ReceiveJob.h"

#include <QMetaObject>
#include <QPointer>
#include <utility>

namespace qf::receive {

// The run's observer on the worker thread: each callback goes on to the
// job's observer as a queued call on the job's thread.
class ReceiveJob::Relay final : public ReceiveObserver {
  public:
    Relay(ReceiveJob& job, bool wantsTexts) : m_job(job), m_wantsTexts(wantsTexts) {}

    void onRegistrationsRead(const settings::SortingRegistrations& registrations) override {
        post([registrations](ReceiveObserver& o) { o.onRegistrationsRead(registrations); });
    }
    void onProgress(int mailNumber, int mailCount) override {
        post([=](ReceiveObserver& o) { o.onProgress(mailNumber, mailCount); });
    }
    void onRawText(const std::string& text) override {
        post([text](ReceiveObserver& o) { o.onRawText(text); });
    }
    bool wantsMailTexts() const override { return m_wantsTexts; }
    void onMessage(const ReceiveMessage& message) override {
        post([message](ReceiveObserver& o) { o.onMessage(message); });
    }
    void onMailStaged(int slot, const StagedMail& mail) override {
        post([slot, mail](ReceiveObserver& o) { o.onMailStaged(slot, mail); });
    }
    void onMailStored(int slot, int recordNumber) override {
        post([=](ReceiveObserver& o) { o.onMailStored(slot, recordNumber); });
    }
    void onNoNewMail() override {
        post([](ReceiveObserver& o) { o.onNoNewMail(); });
    }
    SeenListChoice onSeenListLost(const SeenListLoss& loss) override {
        return m_job.askOnWindowThread(loss);
    }

  private:
    template <typename Call>
    void post(Call call) {
        ReceiveJob* job = &m_job;
        QMetaObject::invokeMethod(
            job, [job, call = std::move(call)] { call(*job->m_observer); }, Qt::QueuedConnection);
    }

    ReceiveJob& m_job;
    bool m_wantsTexts;
};

ReceiveJob::ReceiveJob(ReceiveSession& session, ReceiveRequest request, MailTransport& transport,
                       std::unique_ptr<ReceiveObserver> observer, QObject* parent)
    : QObject(parent),
      m_session(session),
      m_request(std::move(request)),
      m_transport(transport),
      m_observer(std::move(observer)) {
    m_request.stop = &m_stop;
}

ReceiveJob::~ReceiveJob() {
    requestStop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void ReceiveJob::start() {
    m_thread = std::thread([this, wantsTexts = m_observer->wantsMailTexts()] {
        Relay relay(*this, wantsTexts);
        const ReceiveOutcome outcome = m_session.run(m_request, relay, m_transport);
        // Queued behind every callback the run made.
        QMetaObject::invokeMethod(
            this, [this, outcome] { emit finished(outcome); }, Qt::QueuedConnection);
    });
}

void ReceiveJob::requestStop() {
    {
        const std::lock_guard lock(m_answerMutex);
        m_stop = true;
    }
    m_answered.notify_all();
}

SeenListChoice ReceiveJob::askOnWindowThread(const SeenListLoss& loss) {
    {
        const std::lock_guard lock(m_answerMutex);
        m_answer.reset();
    }
    QMetaObject::invokeMethod(
        this,
        [this, loss] {
            const SeenListChoice choice = m_observer->onSeenListLost(loss);
            {
                const std::lock_guard lock(m_answerMutex);
                m_answer = choice;
            }
            m_answered.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(m_answerMutex);
    m_answered.wait(lock, [this] { return m_answer.has_value() || m_stop.load(); });
    return m_answer.value_or(SeenListChoice::kCancel);
}

}  // namespace qf::receive
