#include "settings/ServerSettingsWindow.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
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
    setObjectName(QStringLiteral("OptionForm"));
    setWindowTitle(QStringLiteral("設定"));
    // Above every other window: the servers are entered before anything else.
    setWindowFlag(Qt::WindowStaysOnTopHint);

    const ServerSettings& held = m_env.held().server;
    m_smtpServer = newTextBox(QStringLiteral("SmtpText"), held.smtp, this);
    m_pop3Server = newTextBox(QStringLiteral("Pop3Text"), held.pop3, this);
    m_ownAddress = newTextBox(QStringLiteral("MailText"), held.mail, this);
    m_useApop = new QCheckBox(QStringLiteral("APOP を使用する(&A)"), this);
    m_useApop->setObjectName(QStringLiteral("ApopCheck"));
    m_useApop->setChecked(held.apop != 0);
    createKeepControls(held.keepOnServer, held.keepDays);
    createTimerControls(held.checkMinutes);
    m_senderName = newTextBox(QStringLiteral("NameText"), held.senderName, this);
    m_signature = new QPlainTextEdit(QString::fromStdString(held.signature), this);
    m_signature->setObjectName(QStringLiteral("SignatureText"));
    m_signature->setTabChangesFocus(true);
    m_signature->setFixedHeight(m_signature->fontMetrics().lineSpacing() * 5 + 12);
    m_ok = newButton(QStringLiteral("OkCommand"), QStringLiteral("設定"), this);
    m_ok->setDefault(true);
    m_cancel = newButton(QStringLiteral("CancelCommand"), QStringLiteral("中止"), this);

    auto* fields = new QFormLayout;
    ui::addPlainRow(*fields, QStringLiteral("SMTPサーバー名(&S)"), m_smtpServer, this);
    ui::addPlainRow(*fields, QStringLiteral("POP3サーバー名(&P)"), m_pop3Server, this);
    ui::addPlainRow(*fields, QStringLiteral("メールアドレス(&M)"), m_ownAddress, this);
    fields->addRow(QString(), m_useApop);
    fields->addRow(QString(), m_keepOnServer);
    auto* days = new QHBoxLayout;
    days->addWidget(m_keepDays);
    auto* daysLabel =
        ui::plainLabel(QStringLiteral("日後にサーバーから削除（0 = 削除しない）"), this);
    daysLabel->setBuddy(m_keepDays);
    days->addWidget(daysLabel);
    days->addStretch();
    fields->addRow(QString(), days);
    auto* timer = new QHBoxLayout;
    timer->addWidget(m_checkOnTimer);
    timer->addWidget(m_checkMinutes);
    timer->addStretch();
    fields->addRow(QString(), timer);
    ui::addPlainRow(*fields, QStringLiteral("名前(&N)"), m_senderName, this);
    ui::addPlainRow(*fields, QStringLiteral("署名(&G)"), m_signature, this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(buttons);

    m_env.centreOnMainWindow(*this);

    connect(m_ok, &QPushButton::clicked, this, &ServerSettingsWindow::confirm);
    connect(m_cancel, &QPushButton::clicked, this, &QWidget::close);
    ui::OkCancelKeys::install(*this, m_ok, m_cancel);
}

void ServerSettingsWindow::createKeepControls(bool keepOnServer, int keepDays) {
    m_keepOnServer = new QCheckBox(QStringLiteral("サーバーにメールを残す(&K)"), this);
    m_keepOnServer->setObjectName(QStringLiteral("KeepCheck"));
    m_keepOnServer->setChecked(keepOnServer);
    m_keepDays = new QSpinBox(this);
    m_keepDays->setObjectName(QStringLiteral("KeepDaysSpin"));
    m_keepDays->setRange(0, 3650);
    m_keepDays->setValue(keepDays);
    m_keepDays->setEnabled(keepOnServer);
    connect(m_keepOnServer, &QCheckBox::toggled, m_keepDays, &QWidget::setEnabled);
}

// Off keeps the last interval shown, greyed, so turning it on again offers it.
void ServerSettingsWindow::createTimerControls(int checkMinutes) {
    m_checkOnTimer = new QCheckBox(QStringLiteral("新着メールを自動で確認する(&T)"), this);
    m_checkOnTimer->setObjectName(QStringLiteral("TimerCheck"));
    m_checkOnTimer->setChecked(checkMinutes > 0);
    m_checkMinutes = new QSpinBox(this);
    m_checkMinutes->setObjectName(QStringLiteral("MinutesSpin"));
    m_checkMinutes->setRange(1, kMaxCheckMinutes);
    m_checkMinutes->setValue(checkMinutes > 0 ? checkMinutes : kDefaultCheckMinutes);
    m_checkMinutes->setSuffix(QStringLiteral(" 分ごと"));
    m_checkMinutes->setEnabled(m_checkOnTimer->isChecked());
    connect(m_checkOnTimer, &QCheckBox::toggled, m_checkMinutes, &QSpinBox::setEnabled);
}

void ServerSettingsWindow::confirm() {
    // Settings this window does not show (the quoting choice) stay as held.
    ServerSettings typed = m_env.held().server;
    typed.smtp = m_smtpServer->text().toStdString();
    typed.pop3 = m_pop3Server->text().toStdString();
    typed.mail = m_ownAddress->text().toStdString();
    typed.apop = m_useApop->isChecked() ? 1 : 0;
    typed.keepOnServer = m_keepOnServer->isChecked();
    typed.keepDays = m_keepDays->value();
    if (typed.keepOnServer) {
        const Status started =
            m_env.intents().startLeavingMailOnServer(typed.pop3, m_env.accountInUse().id);
        if (!started) {
            ui::tell(this, ui::Say::kSeenListNotStarted, {}, started);
            return;
        }
    }
    typed.checkMinutes = m_checkOnTimer->isChecked() ? m_checkMinutes->value() : 0;
    // A name is one header line: a pasted line break becomes a space.
    typed.senderName = m_senderName->text().simplified().toStdString();
    typed.signature = m_signature->toPlainText().toStdString();
    m_env.held().server = typed;
    m_env.announceServerSettings();

    const Status written = writeServerSettings(m_env.folder().serverSettingsFile(), typed);
    if (!written.isOk()) {
        ui::tell(this, ui::Say::kServerSettingsNotWritten, {}, written);
        return;
    }
    close();
}

}  // namespace qf::settings
