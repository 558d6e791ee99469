// The server settings window: SMTP server, POP3 server, the user's own
// address, the APOP choice, the timed check for new mail (every N minutes),
// and the name and signature of outgoing mail. It stays above every other
// window.
//
// It opens showing the values the main window holds. "設定" makes the typed
// values the held ones and rewrites the server settings file; "中止" closes
// and changes nothing. When the file cannot be written the user is told and
// the window stays open, so nothing typed is lost. Choosing to leave mail on
// the server starts the list of mails stored (by intent: only the program knows the receive run)
// when there is none, so that the next receive knows an empty list is right.
#pragma once

#include <QWidget>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::settings {

class ServerSettingsWindow : public QWidget {
    Q_OBJECT

  public:
    explicit ServerSettingsWindow(ui::WindowEnvironment& env);

  private:
    // Tests find these by object name (SmtpText, Pop3Text, MailText,
    // ApopCheck, KeepCheck, KeepDaysSpin, TimerCheck, MinutesSpin, OkCommand,
    // CancelCommand).
    QLineEdit* m_smtpServer;
    QLineEdit* m_pop3Server;
    QLineEdit* m_ownAddress;
    QCheckBox* m_useApop;
    QCheckBox* m_keepOnServer;
    QSpinBox* m_keepDays;
    QCheckBox* m_checkOnTimer;  // "新着メールを自動で確認する"
    QSpinBox* m_checkMinutes;   // every N minutes, 1 … kMaxCheckMinutes
    QLineEdit* m_senderName;    // the From header's display name
    QPlainTextEdit* m_signature;
    QPushButton* m_ok;
    QPushButton* m_cancel;

    void createKeepControls(bool keepOnServer, int keepDays);
    void createTimerControls(int checkMinutes);
    void confirm();

    ui::WindowEnvironment& m_env;
};

}  // namespace qf::settings
