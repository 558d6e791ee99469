#include "ui/OkCancelKeys.h"

#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace qf::ui {

void OkCancelKeys::install(QWidget& window, QPushButton* ok, QPushButton* cancel) {
    window.installEventFilter(new OkCancelKeys(window, ok, cancel));
}

OkCancelKeys::OkCancelKeys(QWidget& window, QPushButton* ok, QPushButton* cancel)
    : QObject(&window), m_ok(ok), m_cancel(cancel), m_hasCancel(cancel != nullptr) {}

// The window sees the keys its controls left alone: a text box passes
// Return on, a push button outside a dialog does too.
bool OkCancelKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers others = key->modifiers() & ~Qt::KeypadModifier;
    if (others != Qt::NoModifier || key->isAutoRepeat()) {
        return QObject::eventFilter(watched, event);
    }
    QPushButton* target = nullptr;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(static_cast<QWidget*>(watched)->focusWidget());
        target = focused != nullptr ? focused : m_ok.data();
    } else if (key->key() == Qt::Key_Escape) {
        if (!m_hasCancel) {
            static_cast<QWidget*>(watched)->close();
            return true;
        }
        target = m_cancel.data();
    }
    if (target == nullptr || !target->isEnabled()) {
        return QObject::eventFilter(watched, event);
    }
    target->click();
    return true;
}

}  // namespace qf::ui
