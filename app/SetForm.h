// The settings window: two buttons that open the account window and the
// server settings window. It opens beside the main window's top-left corner.
#pragma once

#include <QWidget>

class QPushButton;

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::app {

class SetForm : public QWidget {
    Q_OBJECT

  public:
    explicit SetForm(ui::WindowEnvironment& env);

    QPushButton* Command1;  // "ID/PASS"
    QPushButton* Command2;  // "POPサーバー"
};

}  // namespace qf::app
