// One OAuth sign-in off the window thread: the loopback listener waits for
// the browser's redirect on a thread of its own, and the outcome comes back
// through `finished` on the window thread. Destroying the job cancels the
// wait and waits for the thread (at most the token request's limit).
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>

#include "auth/AccountAccess.h"

namespace qf::auth {

class SignInJob : public QObject {
    Q_OBJECT

  public:
    // REQUIRES: `access` outlives the job.
    SignInJob(auth::AccountAccess& access, std::string user, QObject* parent = nullptr);
    ~SignInJob() override;

    void start();
    bool running() const { return m_thread.joinable() && !m_done; }

    // The browser the sign-in page opens in: QUILLFERN_BROWSER (a program
    // given the address as its one argument) when set, else the desktop's.
    static void openInBrowser(const QString& url);

  signals:
    // ok: signed in; otherwise the core's diagnostic (no secret in it).
    void finished(bool ok, const QString& diagnostic);

  private:
    auth::AccountAccess& m_access;
    std::string m_user;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

}  // namespace qf::auth
