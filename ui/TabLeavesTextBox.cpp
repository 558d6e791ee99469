#include "ui/TabLeavesTextBox.h"

#include <QKeyEvent>
#include <QTextEdit>

namespace qf::ui {

namespace {

class CtrlTabTypesTab final : public QObject {
  public:
    explicit CtrlTabTypesTab(QTextEdit& box) : QObject(&box), m_box(box) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
                m_box.insertPlainText(QStringLiteral("\t"));
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QTextEdit& m_box;
};

}  // namespace

void makeTabLeaveTextBox(QTextEdit& box) {
    box.setTabChangesFocus(true);
    box.installEventFilter(new CtrlTabTypesTab(box));
}

}  // namespace qf::ui
