// The login-method window, reached from the server settings window: a
// password account or an OAuth 2.0 account (Google, Microsoft, or endpoints
// typed in), where the secret is kept (the desktop's keyring, the 0600
// account file, or typed at each start), and the sign-in through the
// system browser, run as a job so the window keeps answering.
//
// "設定" writes iniAuth.ini; choosing the keyring while the account file
// still holds a password asks to move it there. An OAuth preset also gives
// the account the provider's servers where corvid.ini has none.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qf::auth {
class AccountAccess;
struct AuthSettings;
struct FilledServers;
}  // namespace qf::auth

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::auth {

class SignInJob;

class SignInWindow : public QWidget {
    Q_OBJECT

  public:
    explicit SignInWindow(ui::WindowEnvironment& env);
    ~SignInWindow() override;

    QRadioButton* m_passwordOption;
    QRadioButton* m_oauthOption;
    QComboBox* m_provider;
    QLineEdit* m_authorizeEndpoint;
    QLineEdit* m_tokenEndpoint;
    QLineEdit* m_scopes;
    QComboBox* m_secretPlace;
    QLabel* m_state;
    QPushButton* m_signInButton;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;

  private:
    void createControls();
    void layOut();
    void showProvider();
    void showChosenKind();
    std::optional<auth::FilledServers> saveChoices();
    void signIn();
    void signInFinished(bool ok, const QString& diagnostic);
    std::optional<auth::FilledServers> fillPresetServers(const auth::AuthSettings& chosen);
    void confirm();

    ui::WindowEnvironment& m_env;
    bool m_keyringAvailable = false;
    std::unique_ptr<auth::AccountAccess> m_access;
    SignInJob* m_job = nullptr;
};

}  // namespace qf::auth
