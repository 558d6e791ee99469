// The POP3 account window: user ID and password.
//
// It opens with the ID and password stored in the account file. "OK" makes
// them the held account; with "IDパスワードを保存する" checked it also
// stores them (and the choice "1"), unchecked it stores only the choice "0"
// and leaves the stored ID and password as they are. "Cancel" changes
// nothing. When the file cannot be written the user is told and the window
// stays open.
//
// While the window is open the receive run uses m_id and m_password as
// typed; after an OK, the account confirmed there, for the rest of the run.
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

    QLineEdit* m_id;
    QLineEdit* m_password;     // shows "*" for each character
    QCheckBox* m_keepAccount;  // keep ID and password; starts unchecked
    QPushButton* m_ok;
    QPushButton* m_cancel;

  private:
    Account typedAccount() const;
    void showTypedAccount();
    void confirm();

    ui::WindowEnvironment& m_env;
};

}  // namespace qf::settings
