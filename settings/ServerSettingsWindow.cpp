#include "settings/ServerSettingsWindow.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "settings/ServerSettings.h"
#include "ui/MessageBoxes.h"
#include "ui/OkCancelKeys.h"
#include "ui/PlainText.h"
#include "ui/WindowEnvironment.h"

namespace qf::settings {
namespace {

QLineEdit* newTextBox(const QString& name, const std::string& value, QWidget* parent) {
    auto* box = new QLineEdit(QString::fromStdString(value), parent);
    box->setObjectName(name);
    box->setMinimumWidth(260);
    return box;
}

// What the interval offers before the user chose one.
constexpr int kDefaultCheckMinutes = 10;

QPushButton* newButton(const QString& name, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

ServerSettingsWindow::ServerSettingsWindow(ui::WindowEnvironment& env) : m_env(env) {
    setObjectName(QStringLiteral("ServerSettingsWindow"));
    setWindowTitle(QStringLiteral("設定"));
    // Above every other window: the servers are entered before anything else.
    setWindowFlag(Qt::WindowStaysOnTopHint);

    const ServerSettings& held = m_env.held().server;
    SmtpText = newTextBox(QStringLiteral("SmtpText"), held.smtp, this);
    Pop3Text = newTextBox(QStringLiteral("Pop3Text"), held.pop3, this);
    MailText = newTextBox(QStringLiteral("MailText"), held.mail, this);
    ApopCheck = new QCheckBox(QStringLiteral("APOP を使用する(&A)"), this);
    ApopCheck->setObjectName(QStringLiteral("ApopCheck"));
    ApopCheck->setChecked(held.apop != 0);
    createKeepControls(held.keepOnServer, held.keepDays);
    createTimerControls(held.checkMinutes);
    OkCommand = newButton(QStringLiteral("OkCommand"), QStringLiteral("設定"), this);
    OkCommand->setDefault(true);
    CancelCommand = newButton(QStringLiteral("CancelCommand"), QStringLiteral("中止"), this);

    auto* fields = new QFormLayout;
    ui::addPlainRow(*fields, QStringLiteral("SMTPサーバー名(&S)"), SmtpText, this);
    ui::addPlainRow(*fields, QStringLiteral("POP3サーバー名(&P)"), Pop3Text, this);
    ui::addPlainRow(*fields, QStringLiteral("メールアドレス(&M)"), MailText, this);
    fields->addRow(QString(), ApopCheck);
    fields->addRow(QString(), KeepCheck);
    auto* days = new QHBoxLayout;
    days->addWidget(KeepDaysSpin);
    auto* daysLabel =
        ui::plainLabel(QStringLiteral("日後にサーバーから削除（0 = 削除しない）"), this);
    daysLabel->setBuddy(KeepDaysSpin);
    days->addWidget(daysLabel);
    days->addStretch();
    fields->addRow(QString(), days);
    auto* timer = new QHBoxLayout;
    timer->addWidget(TimerCheck);
    timer->addWidget(MinutesSpin);
    timer->addStretch();
    fields->addRow(QString(), timer);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkCommand);
    buttons->addWidget(CancelCommand);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    m_env.centreOnMainWindow(*this);

    connect(OkCommand, &QPushButton::clicked, this, &ServerSettingsWindow::confirm);
    connect(CancelCommand, &QPushButton::clicked, this, &QWidget::close);
    ui::OkCancelKeys::install(*this, OkCommand, CancelCommand);
}

void ServerSettingsWindow::createKeepControls(bool keepOnServer, int keepDays) {
    KeepCheck = new QCheckBox(QStringLiteral("サーバーにメールを残す(&K)"), this);
    KeepCheck->setObjectName(QStringLiteral("KeepCheck"));
    KeepCheck->setChecked(keepOnServer);
    KeepDaysSpin = new QSpinBox(this);
    KeepDaysSpin->setObjectName(QStringLiteral("KeepDaysSpin"));
    KeepDaysSpin->setRange(0, 3650);
    KeepDaysSpin->setValue(keepDays);
    KeepDaysSpin->setEnabled(keepOnServer);
    connect(KeepCheck, &QCheckBox::toggled, KeepDaysSpin, &QWidget::setEnabled);
}

// Off keeps the last interval shown, greyed, so turning it on again offers it.
void ServerSettingsWindow::createTimerControls(int checkMinutes) {
    TimerCheck = new QCheckBox(QStringLiteral("新着メールを自動で確認する(&T)"), this);
    TimerCheck->setObjectName(QStringLiteral("TimerCheck"));
    TimerCheck->setChecked(checkMinutes > 0);
    MinutesSpin = new QSpinBox(this);
    MinutesSpin->setObjectName(QStringLiteral("MinutesSpin"));
    MinutesSpin->setRange(1, kMaxCheckMinutes);
    MinutesSpin->setValue(checkMinutes > 0 ? checkMinutes : kDefaultCheckMinutes);
    MinutesSpin->setSuffix(QStringLiteral(" 分ごと"));
    MinutesSpin->setEnabled(TimerCheck->isChecked());
    connect(TimerCheck, &QCheckBox::toggled, MinutesSpin, &QSpinBox::setEnabled);
}

void ServerSettingsWindow::confirm() {
    ServerSettings typed;
    typed.smtp = SmtpText->text().toStdString();
    typed.pop3 = Pop3Text->text().toStdString();
    typed.mail = MailText->text().toStdString();
    typed.apop = ApopCheck->isChecked() ? 1 : 0;
    typed.keepOnServer = KeepCheck->isChecked();
    typed.keepDays = KeepDaysSpin->value();
    if (typed.keepOnServer) {
        const Status started =
            m_env.intents().startLeavingMailOnServer(typed.pop3, m_env.accountInUse().id);
        if (!started) {
            ui::tell(this, ui::Say::kSeenListNotStarted, {},
                     QString::fromStdString(started.message()));
            return;
        }
    }
    typed.checkMinutes = TimerCheck->isChecked() ? MinutesSpin->value() : 0;
    m_env.held().server = typed;
    m_env.announceServerSettings();

    const Status written = writeServerSettings(m_env.folder().serverSettingsFile(), typed);
    if (!written.isOk()) {
        ui::tell(this, ui::Say::kServerSettingsNotWritten, {},
                 QString::fromStdString(written.message()));
        return;
    }
    close();
}

}  // namespace qf::settings
