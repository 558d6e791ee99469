#include "receive/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "receive/ReceiveWindows.h"
#include "receive/ReceiveWords.h"
#include "store/MailStore.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowEnvironment.h"

namespace qf::receive {
namespace {

// The action a click on the notice itself invokes.
const QString kDefaultAction = QStringLiteral("default");
// How long the notice stays up, as the service sees fit.
constexpr int kServiceTimeout = -1;

}  // namespace

DesktopNotifier::DesktopNotifier(ui::WindowEnvironment& env, const QDBusConnection& bus)
    : QObject(&env), m_env(env), m_bus(bus) {
    connect(&ReceiveController::of(m_env), &ReceiveController::runEnded, this,
            &DesktopNotifier::tell);
}

QString DesktopNotifier::boxName(int box) const {
    const QString caption = m_env.mainWindow().boxCaption(box).trimmed();
    return caption.isEmpty() && box <= static_cast<int>(settings::kSortingRegistrationCount)
               ? m_env.mainWindow().registeredAddress(box)
               : caption;
}

void DesktopNotifier::tell(const ReceiveOutcome& outcome) {
    if (outcome.stored <= 0 || outcome.newestSlot < 0 || !m_bus.isConnected()) {
        return;
    }
    std::array<std::string, kBoxSlotCount> names;
    for (int slot = 0; slot < kBoxSlotCount; ++slot) {
        names[static_cast<std::size_t>(slot)] = boxName(slot + 1).toStdString();
    }
    const QString body =
        ui::words(ui::Say::kNewMailArrived,
                  {QString::fromStdString(newMailCounts(outcome.storedPerSlot, names))});
    const int box = outcome.newestSlot + 1;
    // What the service can do decides whether the notice offers to open the box.
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                            QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, body, box] {
        watcher->deleteLater();
        const QDBusPendingReply<QStringList> capabilities = *watcher;
        if (!capabilities.isError()) {
            send(body, box, capabilities.value());
        }
    });
}

void DesktopNotifier::send(const QString& body, int box, const QStringList& capabilities) {
    const bool opensBox = capabilities.contains(QStringLiteral("actions"));
    if (opensBox) {
        listenToService();
    }
    // A service that reads markup gets the names as plain text.
    const QString shownBody =
        capabilities.contains(QStringLiteral("body-markup")) ? body.toHtmlEscaped() : body;
    const QStringList actions =
        opensBox ? QStringList{kDefaultAction, QStringLiteral("開く")} : QStringList{};
    const QVariantMap hints{{QStringLiteral("category"), QStringLiteral("email.arrived")},
                            {QStringLiteral("desktop-entry"), QStringLiteral("quillfern")}};
    QDBusMessage notify =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    notify << QStringLiteral("Quillfern") << 0U << QStringLiteral("quillfern")
           << QString::fromUtf8(ui::wording(ui::Say::kNewMailArrived).title) << shownBody << actions
           << hints << kServiceTimeout;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, box, opensBox] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> notice = *watcher;
        if (opensBox && !notice.isError()) {
            m_boxOfNotice[notice.value()] = box;
        }
    });
}

void DesktopNotifier::listenToService() {
    if (m_listening) {
        return;
    }
    m_listening = m_bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this,
                                SLOT(onActionInvoked(uint, QString))) &&
                  m_bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"),
                                this, SLOT(onClosed(uint, uint)));
}

// The box's last record is its newest mail, whatever was deleted meanwhile.
void DesktopNotifier::onActionInvoked(uint notice, const QString& action) {
    const auto found = m_boxOfNotice.find(notice);
    if (found == m_boxOfNotice.end() || action != kDefaultAction || m_env.shuttingDown()) {
        return;
    }
    const int box = found->second;
    m_boxOfNotice.erase(found);
    const Result<int> count = m_env.mailStore().count(box);
    m_env.intents().showMailInViewer(box, count ? count.value() : 0);
}

void DesktopNotifier::onClosed(uint notice, uint /*reason*/) {
    m_boxOfNotice.erase(notice);
}

}  // namespace qf::receive
