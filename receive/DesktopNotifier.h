// Tells the desktop that new mail came: after each receive run that stored
// mail, a notice through the freedesktop notification service
// (org.freedesktop.Notifications on the session bus) that says how many
// mails each box took, by the names the main window shows. Where the
// service offers actions, clicking the notice opens the box that took the
// newest mail, with its last mail shown.
//
// No call waits for the bus: the service is asked asynchronously, and
// without a session bus or a service nothing happens and nothing is printed.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <map>

#include "receive/ReceiveRun.h"

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::receive {

class DesktopNotifier : public QObject {
    Q_OBJECT

  public:
    // Follows every run of the application's receive controller.
    explicit DesktopNotifier(ui::WindowEnvironment& env,
                             const QDBusConnection& bus = QDBusConnection::sessionBus());

    // Sends the notice for `outcome` when it stored mail.
    void tell(const ReceiveOutcome& outcome);

    inline static const QString kService = QStringLiteral("org.freedesktop.Notifications");
    inline static const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

  private slots:
    void onActionInvoked(uint notice, const QString& action);
    void onClosed(uint notice, uint reason);

  private:
    QString boxName(int box) const;
    void send(const QString& body, int box, const QStringList& capabilities);
    void listenToService();

    ui::WindowEnvironment& m_env;
    QDBusConnection m_bus;
    bool m_listening = false;
    std::map<uint, int> m_boxOfNotice;  // the notices still up that open a box
};

}  // namespace qf::receive
