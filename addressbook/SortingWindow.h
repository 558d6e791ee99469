// The sorting registration window "メール分別": five rows of sender address
// and box caption, stored as keys NAME .. NAME10 of iniIdPass2.ini. Text box
// N always holds key number N. The window reads the file once when it opens
// and writes all ten boxes on "登録" and again whenever the user closes it
// (not when the program ends).
#pragma once

#include <QWidget>
#include <array>

#include "settings/ProgramFolder.h"

class QLineEdit;
class QPushButton;

namespace qf::ui {
class WindowEnvironment;
}  // namespace qf::ui

namespace qf::addressbook {

class SortingWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kBoxCount = 10;

    explicit SortingWindow(settings::ProgramFolder folder, QWidget* parent = nullptr);
    explicit SortingWindow(ui::WindowEnvironment& env);

    // "登録": disables itself until the window is opened again, then writes;
    // a failed write enables it again.
    void registerAll();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    void buildGuidance();
    // Drops line breaks from every box, then writes the ten keys.
    Status writeAll();

    settings::ProgramFolder m_folder;
    ui::WindowEnvironment* m_env = nullptr;       // none for a window of its own
    std::array<QLineEdit*, kBoxCount> m_boxes{};  // m_boxes[N - 1] is TextN
    QPushButton* m_register = nullptr;
};

}  // namespace qf::addressbook
