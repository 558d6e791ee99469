// The POP3 account window: user ID and password.
//
// It opens with the ID and password stored in the account file, and
// "IDパスワードを保存する" as last chosen (the file's NAME3). "OK" makes
// them the held account; with "IDパスワードを保存する" checked it also
// stores them (and the choice "1"), unchecked it stores the choice "0" and
// removes a stored password from the file. "Cancel" changes nothing. When the file cannot be
// written the user is told and the window stays open.
//
// While the window is open the receive run uses the ID and password
// as typed; after an OK, the account confirmed there, for the rest of the run.
#pragma once

#include <QWidget>

#include "settings/AccountFiles.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::settings {

class AccountWindow : public QWidget {
    Q_OBJECT

  public:
    explicit AccountWindow(ui::WindowEnvironment& env);
    ~AccountWindow() override;

  private:
    // Tests find these by object name (IdText, PassText, Check1, OKCommand,
    // CancelCommand).
    QLineEdit* m_id;
    QLineEdit* m_password;     // shows "*" for each character
    QCheckBox* m_keepAccount;  // keep ID and password; starts as last chosen
    QPushButton* m_ok;
    QPushButton* m_cancel;

    Account typedAccount() const;
    void showTypedAccount();
    void confirm();

    ui::WindowEnvironment& m_env;
};

}  // namespace qf::settings
