#include "ui/WindowEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include "ui/TypedText.h"
#include "ui/WindowPlacement.h"

namespace qf::ui {
namespace {

// Time enough for a window manager to frame a window it maps.
constexpr int kFramedAfterMilliseconds = 300;

}  // namespace

WindowEnvironment::WindowEnvironment(settings::ProgramFolder folder, QString pictureFolder)
    : m_folder(std::move(folder)), m_pictureFolder(std::move(pictureFolder)) {}

WindowEnvironment::~WindowEnvironment() {
    destroyWindows();
}

void WindowEnvironment::destroyWindows() {
    for (auto& [type, window] : m_forms) {
        delete window.data();
    }
    m_forms.clear();
}

QString WindowEnvironment::picturePath(const QString& name) const {
    return QDir(m_pictureFolder).filePath(name);
}

settings::Account WindowEnvironment::accountInUse() const {
    if (m_held.accountShown) {
        return *m_held.accountShown;
    }
    if (m_held.account) {
        return *m_held.account;
    }
    return accountAccess().account().account;
}

std::shared_ptr<auth::AccountAccess> WindowEnvironment::sharedAccountAccess() const {
    if (!m_accountAccess || m_accountAccess->server() != m_held.server.pop3) {
        m_accountAccess = std::make_shared<auth::AccountAccess>(m_folder, m_held.server.pop3);
    }
    return m_accountAccess;
}

std::function<Result<std::string>(bool refused)> WindowEnvironment::accessTokenSource() const {
    std::shared_ptr<auth::AccountAccess> access = sharedAccountAccess();
    if (!access->isOAuth()) {
        return {};
    }
    return [access](bool refused) { return access->accessToken(refused); };
}

bool WindowEnvironment::accountKeptInFile() const {
    if (m_held.account) {
        return m_held.keepAccount;
    }
    return settings::accountKept(m_folder.accountFile());
}

QWidget* WindowEnvironment::findForm(std::type_index type) const {
    const auto found = m_forms.find(type);
    return found == m_forms.end() ? nullptr : found->second.data();
}

void WindowEnvironment::adoptForm(std::type_index type, QWidget* window) {
    // A closed window is gone; the next use creates and loads it again.
    window->setAttribute(Qt::WA_DeleteOnClose);
    m_forms[type] = window;
}

void WindowEnvironment::bringUp(QWidget& window) {
    if (window.isMinimized()) {
        window.showNormal();
    }
    // The window the user opened it from is the active one.
    placeOnScreen(window, QApplication::activeWindow());
    window.show();
    // Once the window manager has framed it, its own frame is known: fitted
    // again, it cannot run off the screen by a guess that was too small.
    QTimer::singleShot(kFramedAfterMilliseconds, &window,
                       [&window] { placeOnScreen(window, nullptr); });
    window.raise();
    window.activateWindow();
}

void WindowEnvironment::centreOnMainWindow(QWidget& window) {
    window.adjustSize();
    const QRect main = mainWindow().window().frameGeometry();
    window.move(main.center() - QPoint(window.width() / 2, window.height() / 2));
}

bool WindowEnvironment::anyWindowHoldsTypedText() const {
    for (const auto& [type, window] : m_forms) {
        const auto* typed = dynamic_cast<const HoldsTypedText*>(window.data());
        if (typed != nullptr && typed->holdsTypedText()) {
            return true;
        }
    }
    return false;
}

void WindowEnvironment::closeForShutdown() {
    m_shuttingDown = true;
    for (auto& [type, window] : m_forms) {
        if (!window.isNull()) {
            window->close();
        }
    }
}

}  // namespace qf::ui
