// Return/Enter and Esc of a window with an OK and a Cancel button, as a
// dialog has them: Return or Enter presses the push button that has the
// focus, or OK from anywhere else in the window (a text box, a check box);
// Esc presses Cancel. A window without an OK button takes Return on its
// buttons only; one without a Cancel button closes on Esc.
#pragma once

#include <QObject>
#include <QPointer>

class QPushButton;
class QWidget;

namespace qf::ui {

class OkCancelKeys final : public QObject {
    Q_OBJECT

  public:
    // Watches the keys that reach `window` (owned by it).
    static void install(QWidget& window, QPushButton* ok, QPushButton* cancel);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    OkCancelKeys(QWidget& window, QPushButton* ok, QPushButton* cancel);

    QPointer<QPushButton> m_ok;
    QPointer<QPushButton> m_cancel;
    bool m_hasCancel;
};

}  // namespace qf::ui
