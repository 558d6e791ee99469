#include "auth/SignInJob.h"

#include <QDesktopServices>
#include <QMetaObject>
#include <QProcess>
#include <QUrl>

namespace qf::auth {

SignInJob::SignInJob(auth::AccountAccess& access, std::string user, QObject* parent)
    : QObject(parent), m_access(access), m_user(std::move(user)) {}

SignInJob::~SignInJob() {
    m_cancelled = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void SignInJob::openInBrowser(const QString& url) {
    const QString browser = qEnvironmentVariable("QUILLFERN_BROWSER");
    if (!browser.isEmpty()) {
        QProcess::startDetached(browser, {url});
        return;
    }
    QDesktopServices::openUrl(QUrl(url, QUrl::StrictMode));
}

void SignInJob::start() {
    m_thread = std::thread([this] {
        const auto openBrowser = [this](const std::string& url) {
            // The desktop is reached from the window thread only.
            QMetaObject::invokeMethod(
                this, [page = QString::fromStdString(url)] { openInBrowser(page); },
                Qt::QueuedConnection);
            return Status::ok();
        };
        const Status signedIn = m_access.oauth().signIn(m_user, openBrowser, m_cancelled);
        m_done = true;
        if (!m_cancelled) {
            emit finished(signedIn.isOk(), QString::fromStdString(signedIn.outsideText()));
        }
    });
}

}  // namespace qf::auth
