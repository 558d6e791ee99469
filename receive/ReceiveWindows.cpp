#include "receive/ReceiveWindows.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/Application.h"
#include "app/ButtonActions.h"
#include "app/MainForm.h"
#include "receive/MailTransport.h"
#include "settings/IdPassForm.h"
#include "ui/MessageBoxes.h"
#include "viewer/TyakuForm.h"

namespace qf::receive {
namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::Close:
            return true;
        default:
            return false;
    }
}

// Holds off clicks, keys and window closes for the program's windows while it
// lives. A modal message box shown meanwhile still gets them.
class InputHold final : public QObject {
  public:
    InputHold() { qApp->installEventFilter(this); }
    ~InputHold() override { qApp->removeEventFilter(this); }
    InputHold(const InputHold&) = delete;
    InputHold& operator=(const InputHold&) = delete;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Window-level events reach the widgets again; they are judged there.
        if (!watched->isWidgetType() || !isUserInput(event->type())) {
            return false;
        }
        const QWidget* modal = QApplication::activeModalWidget();
        const auto* widget = static_cast<const QWidget*>(watched);
        return modal == nullptr || !(widget == modal || modal->isAncestorOf(widget));
    }
};

// What the run tells the windows, shown as it happens: the run does not
// return to the event loop, so each change is painted at once.
class WindowObserver final : public ReceiveObserver {
  public:
    explicit WindowObserver(app::Application& app) : m_app(app), m_main(app.mainForm()) {}

    bool noticeRequested() const { return m_noticeRequested; }

    void onRegistrationsRead(const settings::SortingRegistrations& registrations) override {
        m_main.setRegistrations(registrations);
    }

    void onProgress(int mailNumber, int mailCount) override {
        m_main.setHelpText(
            QStringLiteral("受信中・・・ %1 / %2 通目").arg(mailNumber).arg(mailCount));
        m_main.Label10->repaint();
    }

    void onRawText(const std::string& text) override {
        m_main.Text19->setPlainText(fromUtf8(text));
        m_main.Text19->repaint();
    }

    void onMessage(const ReceiveMessage& message) override {
        const QString title = message.title.empty() ? app::kProgramTitle : fromUtf8(message.title);
        const bool failure =
            message.kind == MessageKind::kStoreFailed || message.kind == MessageKind::kFetchFailed;
        if (failure) {
            app::warn(&m_main, fromUtf8(message.text), title);
        } else {
            app::inform(&m_main, fromUtf8(message.text), title);
        }
    }

    // The viewer's fields show the mail being stored; the viewer is loaded
    // without being shown when it is not open.
    void onMailStaged(int /*slot*/, const StagedMail& mail) override {
        viewer::TyakuForm& viewer = m_app.form<viewer::TyakuForm>();
        viewer.stageMail(fromUtf8(mail.subject), fromUtf8(mail.sender), fromUtf8(mail.date),
                         fromUtf8(mail.body));
        viewer.writeCount();
        if (viewer.isVisible()) {
            viewer.repaint();
        }
    }

    void onMailStored(int slot, int /*recordNumber*/) override {
        const int box = slot + 1;
        m_main.setNewMailFlag(true);
        m_main.countNewMail(box);
        m_main.newCounter(box)->repaint();
    }

    void onNoNewMail() override { m_noticeRequested = true; }

  private:
    app::Application& m_app;
    app::MainForm& m_main;
    bool m_noticeRequested = false;
};

}  // namespace

ReceiveController::ReceiveController(app::Application& app) : QObject(&app), m_app(app) {
    m_notice.setSingleShot(true);
    m_notice.setInterval(kNoticeMs);
    connect(&m_notice, &QTimer::timeout, this, &ReceiveController::endNoNewMailNotice);
}

ReceiveController& ReceiveController::of(app::Application& app) {
    if (auto* controller =
            app.findChild<ReceiveController*>(QString(), Qt::FindDirectChildrenOnly)) {
        return *controller;
    }
    return *new ReceiveController(app);
}

ReceiveOutcome ReceiveController::run() {
    NMailTransport transport;
    return run(transport);
}

ReceiveOutcome ReceiveController::run(MailTransport& transport) {
    if (m_session.isRunning()) {
        ReceiveOutcome refused;
        refused.end = RunEnd::kAlreadyRunning;
        return refused;
    }
    if (m_notice.isActive()) {
        m_notice.stop();
        endNoNewMailNotice();
    }
    WindowObserver observer(m_app);
    ReceiveOutcome outcome;
    {
        InputHold hold;
        outcome = m_session.run(request(), observer, transport);
    }
    m_app.mainForm().setHelpText(QString::fromUtf8(kIdleHelp));
    if (observer.noticeRequested()) {
        showNoNewMailNotice();
    }
    return outcome;
}

// The account is the one in the ID/password window's fields; a window that
// is not open is loaded for it, which fills them from the account file.
// Routing uses the senders the main window shows since start-up.
ReceiveRequest ReceiveController::request() {
    app::MainForm& main = m_app.mainForm();
    settings::IdPassForm& account = m_app.form<settings::IdPassForm>();
    ReceiveRequest request;
    request.folder = m_app.folder();
    request.pop3Server = main.serverSettings().pop3;
    request.apop = main.serverSettings().apop;
    // The program's one store: each write fills that box's current record.
    request.store = &m_app.mailStore();
    request.account = {account.IdText->text().toStdString(),
                       account.PassText->text().toStdString()};
    for (std::size_t i = 0; i < request.routingAddresses.size(); ++i) {
        request.routingAddresses[i] =
            main.registeredAddress(static_cast<int>(i) + 1)->text().toStdString();
    }
    return request;
}

void ReceiveController::showNoNewMailNotice() {
    app::MainForm& main = m_app.mainForm();
    main.Text20->show();
    main.setHelpText(QString::fromUtf8(kNoNewMailHelp));
    main.Text20->setText(QString::fromUtf8(kNoNewMailNotice));
    m_notice.start();
}

void ReceiveController::endNoNewMailNotice() {
    app::MainForm& main = m_app.mainForm();
    main.Text20->hide();
    main.setHelpText(QString::fromUtf8(kIdleHelp));
}

}  // namespace qf::receive

namespace qf::app {

void runReceive(Application& app) {
    (void)receive::ReceiveController::of(app).run();
}

}  // namespace qf::app
