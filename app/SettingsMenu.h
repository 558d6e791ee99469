// The settings window: two buttons that open the account window and the
// server settings window. It opens beside the main window's top-left corner.
#pragma once

#include <QWidget>

class QPushButton;

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::app {

class SettingsMenu : public QWidget {
    Q_OBJECT

  public:
    explicit SettingsMenu(ui::WindowEnvironment& env);

  private:
    // Tests find these by object name (Command1, Command2, Command3).
    QPushButton* m_accountButton;      // "ID/PASS"
    QPushButton* m_serverButton;       // "POPサーバー"
    QPushButton* m_loginMethodButton;  // "ログイン方式"
};

}  // namespace qf::app
