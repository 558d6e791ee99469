// The desktop's notice of new mail on a private session bus (a dbus-daemon
// of its own, so no notice reaches the desktop of whoever runs the test),
// with a small notification service of the test's own on it.
#include "receive/DesktopNotifier.h"

#include <unistd.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTreeWidget>
#include <iostream>
#include <string>

#include "app/TestApplication.h"
#include "settings/AccountFiles.h"
#include "store/MailStore.h"
#include "ui/TestControls.h"
#include "viewer/ViewerWindow.h"

namespace qf::receive {
namespace {

using app::testing::TestApplication;
using ui::testing::control;
using ui::testing::WindowTestFolder;

// A session bus that starts no services on demand: a name nobody owns
// stays unowned.
const QByteArray kBusConfig = QByteArrayLiteral(
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen>"
    "<auth>EXTERNAL</auth><policy context=\"default\">"
    "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
    "<allow own=\"*\"/></policy></busconfig>\n");

// The service's side of org.freedesktop.Notifications, run as a process of
// its own: this program started with kServiceMode and the capabilities to
// offer. It prints "ready" once it owns the name, then one line per notice:
// summary, body, actions and category joined by "|", line breaks as "\\n".
// A line "click ID" on its input invokes the notice's default action.
const QString kServiceMode = QStringLiteral("--notification-service");

class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    explicit FakeNotifications(QStringList capabilities)
        : m_capabilities(std::move(capabilities)) {}

    void click(uint notice) {
        QDBusMessage clicked = QDBusMessage::createSignal(
            DesktopNotifier::kPath, DesktopNotifier::kService, QStringLiteral("ActionInvoked"));
        clicked << notice << QStringLiteral("default");
        QDBusConnection::sessionBus().send(clicked);
    }

  public slots:
    Q_SCRIPTABLE QStringList GetCapabilities() { return m_capabilities; }
    Q_SCRIPTABLE uint Notify(const QString& /*app*/, uint /*replaces*/, const QString& /*icon*/,
                             const QString& summary, const QString& body,
                             const QStringList& actions, const QVariantMap& hints,
                             int /*timeout*/) {
        const QStringList fields = {summary, body, actions.join(u','),
                                    hints.value(QStringLiteral("category")).toString()};
        QTextStream(stdout) << fields.join(u'|').replace(u'\n', QStringLiteral("\\n")) << Qt::endl;
        return ++m_lastNotice;
    }

  private:
    QStringList m_capabilities;
    uint m_lastNotice = 40;
};

int runNotificationService(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    FakeNotifications service(app.arguments().mid(2));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(DesktopNotifier::kPath, &service,
                            QDBusConnection::ExportScriptableSlots) ||
        !bus.registerService(DesktopNotifier::kService)) {
        return 1;
    }
    QTextStream(stdout) << "ready" << Qt::endl;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) {
            app.quit();
        } else if (line.starts_with("click ")) {
            service.click(static_cast<uint>(std::stoul(line.substr(6))));
        }
    });
    return app.exec();
}

QList<QString> g_printed;

void keepPrinted(QtMsgType, const QMessageLogContext&, const QString& text) {
    g_printed.append(text);
}

// Box 1 is 田中さん's; box 6 holds two mails.
void tanakaAndTwoOthers(WindowTestFolder& folder) {
    const settings::ProgramFolder program = folder.programFolder();
    (void)program.ensureFolders();
    settings::SortingRegistrations registrations;
    registrations[0] = {"tanaka@example.jp", "田中さん"};
    (void)settings::writeSortingRegistrations(program.sortingFile(), registrations);
    store::MailStore store(program.dataFolder().string());
    (void)store.append(6, {"一通目", "news@example.jp", "Tue, 8 Dec 2026", "本文"});
    (void)store.append(6, {"二通目", "news@example.jp", "Tue, 8 Dec 2026", "本文"});
}

ReceiveOutcome threeMails() {
    ReceiveOutcome outcome;
    outcome.stored = 3;
    outcome.storedPerSlot = {2, 0, 0, 0, 0, 1};
    outcome.newestSlot = kOtherSlot;
    return outcome;
}

DesktopNotifier& notifierOf(TestApplication& started) {
    return *started.app->environment().findChild<DesktopNotifier*>();
}

}  // namespace

class DesktopNotifierTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(m_folder.isValid());
        const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kBusConfig);
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--nofork"), QStringLiteral("--print-address=1"),
                        QStringLiteral("--config-file=") + config});
        QVERIFY2(m_daemon.waitForReadyRead(10000), "dbus-daemon did not start");
        const QByteArray address = m_daemon.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    }

    void cleanupTestCase() {
        m_service.kill();
        m_service.waitForFinished();
        m_daemon.kill();
        m_daemon.waitForFinished();
    }

    void withoutAServiceNothingHappensAndNothingIsPrinted() {
        TestApplication started(tanakaAndTwoOthers);
        const QtMessageHandler previous = qInstallMessageHandler(keepPrinted);
        notifierOf(started).tell(threeMails());
        QTest::qWait(300);
        qInstallMessageHandler(previous);
        QVERIFY2(g_printed.isEmpty(), qPrintable(g_printed.join(u'\n')));
        QVERIFY(started.boxes.shown().isEmpty());
    }

    void theNoticeCountsPerBoxAndAClickOpensTheBoxOfTheNewestMail() {
        startService({QStringLiteral("actions"), QStringLiteral("body")});
        TestApplication started(tanakaAndTwoOthers);
        notifierOf(started).tell(threeMails());
        QCOMPARE(nextNotice(), QStringLiteral("新着メール|新着メールが届きました。\\n田中さん 2通, "
                                              "その他 1通|default,開く|email.arrived"));
        QTest::qWait(200);  // the notifier has the notice's number back
        m_service.write("click 41\n");
        QTRY_VERIFY(started.app->existingForm<viewer::ViewerWindow>() != nullptr);
        auto* viewer = started.app->existingForm<viewer::ViewerWindow>();
        QTRY_VERIFY(viewer->isVisible());
        QCOMPARE(started.app->held().currentBox, 6);
        QCOMPARE(control<QTreeWidget>(*viewer, "MailListView")->topLevelItemCount(), 2);
        QCOMPARE(control<QTreeWidget>(*viewer, "MailListView")->currentItem(),
                 control<QTreeWidget>(*viewer, "MailListView")->topLevelItem(1));
        QCOMPARE(control<QLineEdit>(*viewer, "Text7")->text(), QStringLiteral("二通目"));
    }

    void aServiceWithoutActionsGetsANoticeThatOffersNoneAndMarkupStaysText() {
        startService({QStringLiteral("body"), QStringLiteral("body-markup")});
        TestApplication started([](WindowTestFolder& folder) {
            settings::SortingRegistrations registrations;
            registrations[0] = {"a@example.jp", "<b>A&B</b>"};
            (void)folder.programFolder().ensureFolders();
            (void)settings::writeSortingRegistrations(folder.programFolder().sortingFile(),
                                                      registrations);
        });
        ReceiveOutcome one;
        one.stored = 1;
        one.storedPerSlot = {1, 0, 0, 0, 0, 0};
        one.newestSlot = 0;
        notifierOf(started).tell(one);
        QCOMPARE(nextNotice(),
                 QStringLiteral("新着メール|新着メールが届きました。\\n&lt;b&gt;A&amp;B&lt;/"
                                "b&gt; 1通||email.arrived"));
        // A run that stored nothing says nothing.
        notifierOf(started).tell(ReceiveOutcome{});
        QTest::qWait(300);
        QVERIFY(!m_service.canReadLine());
    }

  private:
    void startService(const QStringList& capabilities) {
        m_service.kill();
        m_service.waitForFinished();
        m_service.start(QCoreApplication::applicationFilePath(),
                        QStringList{kServiceMode} + capabilities);
        QVERIFY(m_service.waitForReadyRead(10000));
        QCOMPARE(m_service.readLine().trimmed(), QByteArrayLiteral("ready"));
    }

    // The next notice the service printed, or "" after ten seconds.
    QString nextNotice() {
        QElapsedTimer waited;
        waited.start();
        while (!m_service.canReadLine() && waited.elapsed() < 10000) {
            QTest::qWait(20);
        }
        return QString::fromUtf8(m_service.readLine().trimmed());
    }

    QTemporaryDir m_folder;
    QProcess m_daemon;
    QProcess m_service;
};

}  // namespace qf::receive

int main(int argc, char** argv) {
    if (argc > 1 && QString::fromLocal8Bit(argv[1]) == qf::receive::kServiceMode) {
        return qf::receive::runNotificationService(argc, argv);
    }
    QApplication app(argc, argv);
    qf::receive::DesktopNotifierTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "DesktopNotifier_test.moc"
